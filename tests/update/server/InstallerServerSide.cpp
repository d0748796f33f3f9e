#include "server/InstallerServerSide.h"

#include <algorithm>
#include <optional>

namespace plyfold::test {

namespace {

// "bytes=N-" or "bytes=N-M": the first and (optional) last byte asked for.
bool parseRange(const QByteArray& header, qint64* first, std::optional<qint64>* last) {
    if (!header.startsWith("bytes=")) {
        return false;
    }
    const QByteArray spec = header.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    if (dash <= 0 || spec.contains(',')) {
        return false;
    }
    bool ok = false;
    *first = spec.left(dash).toLongLong(&ok);
    if (!ok || *first < 0) {
        return false;
    }
    const QByteArray end = spec.mid(dash + 1);
    last->reset();
    if (!end.isEmpty()) {
        const qint64 value = end.toLongLong(&ok);
        if (!ok || value < *first) {
            return false;
        }
        *last = value;
    }
    return true;
}

} // namespace

InstallerServerSide::InstallerServerSide(QByteArray package, QByteArray path)
    : package_(std::move(package)), path_(std::move(path)) {}

void InstallerServerSide::SetPackage(QByteArray package, QByteArray etag) {
    std::lock_guard<std::mutex> lock(mutex_);
    package_ = std::move(package);
    etag_ = std::move(etag);
}

void InstallerServerSide::SetEtag(QByteArray etag) {
    std::lock_guard<std::mutex> lock(mutex_);
    etag_ = std::move(etag);
}

void InstallerServerSide::SetLastModified(QByteArray lastModified) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastModified_ = std::move(lastModified);
}

void InstallerServerSide::SetIgnoreRange(bool ignore) {
    std::lock_guard<std::mutex> lock(mutex_);
    ignoreRange_ = ignore;
}

void InstallerServerSide::SetRangeStartOverride(qint64 start) {
    std::lock_guard<std::mutex> lock(mutex_);
    rangeStart_ = start;
}

void InstallerServerSide::SetSendLength(bool send) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendLength_ = send;
}

void InstallerServerSide::DropNextAfter(qsizetype bytes, int stallMs, int times) {
    std::lock_guard<std::mutex> lock(mutex_);
    dropAfter_ = bytes;
    dropStallMs_ = stallMs;
    dropTimes_ = times;
}

std::vector<QByteArray> InstallerServerSide::ranges() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ranges_;
}

qsizetype InstallerServerSide::bytesServed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return served_;
}

HttpResponse InstallerServerSide::Handle(const HttpRequest& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    HttpResponse response;
    if (request.target != path_ || (request.method != "GET" && request.method != "HEAD")) {
        response.status = 404;
        response.reason = "Not Found";
        response.body = "no such file";
        return response;
    }
    const QByteArray rangeHeader = request.header("range");
    ranges_.push_back(rangeHeader);
    response.headers.append({"Content-Type", "application/octet-stream"});
    response.headers.append({"ETag", etag_});
    response.headers.append({"Last-Modified", lastModified_});
    response.headers.append({"Accept-Ranges", "bytes"});
    response.sendLength = sendLength_;

    const qint64 size = package_.size();
    qint64 first = 0;
    std::optional<qint64> last;
    if (!rangeHeader.isEmpty() && !ignoreRange_ && parseRange(rangeHeader, &first, &last)) {
        if (rangeStart_ >= 0) {
            first = rangeStart_;
            last.reset();
        }
        if (first >= size) {
            response.status = 416;
            response.reason = "Range Not Satisfiable";
            response.headers.append({"Content-Range", "bytes */" + QByteArray::number(size)});
            response.body.clear();
            return response;
        }
        const qint64 end = std::min(last.value_or(size - 1), size - 1);
        response.status = 206;
        response.reason = "Partial Content";
        response.headers.append({"Content-Range", "bytes " + QByteArray::number(first) + '-' +
                                                      QByteArray::number(end) + '/' +
                                                      QByteArray::number(size)});
        response.body = package_.mid(first, end - first + 1);
    } else {
        response.body = package_;
    }
    if (dropTimes_ > 0) {
        --dropTimes_;
        response.dropAfter = std::min(dropAfter_, response.body.size());
        response.stallAfterMs = dropStallMs_;
    }
    served_ += response.dropAfter >= 0 ? response.dropAfter : response.body.size();
    return response;
}

} // namespace plyfold::test
