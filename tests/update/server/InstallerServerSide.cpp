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
    : m_package(std::move(package)), m_path(std::move(path)) {}

void InstallerServerSide::SetPackage(QByteArray package, QByteArray etag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_package = std::move(package);
    m_etag = std::move(etag);
}

void InstallerServerSide::SetEtag(QByteArray etag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_etag = std::move(etag);
}

void InstallerServerSide::SetLastModified(QByteArray lastModified) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastModified = std::move(lastModified);
}

void InstallerServerSide::SetIgnoreRange(bool ignore) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ignoreRange = ignore;
}

void InstallerServerSide::SetRangeStartOverride(qint64 start) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rangeStart = start;
}

void InstallerServerSide::SetSendLength(bool send) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sendLength = send;
}

void InstallerServerSide::DropNextAfter(qsizetype bytes, int stallMs, int times) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dropAfter = bytes;
    m_dropStallMs = stallMs;
    m_dropTimes = times;
}

std::vector<QByteArray> InstallerServerSide::ranges() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ranges;
}

qsizetype InstallerServerSide::bytesServed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_served;
}

HttpResponse InstallerServerSide::Handle(const HttpRequest& request) {
    std::lock_guard<std::mutex> lock(m_mutex);
    HttpResponse response;
    if (request.target != m_path || (request.method != "GET" && request.method != "HEAD")) {
        response.status = 404;
        response.reason = "Not Found";
        response.body = "no such file";
        return response;
    }
    const QByteArray rangeHeader = request.header("range");
    m_ranges.push_back(rangeHeader);
    response.headers.append({"Content-Type", "application/octet-stream"});
    response.headers.append({"ETag", m_etag});
    response.headers.append({"Last-Modified", m_lastModified});
    response.headers.append({"Accept-Ranges", "bytes"});
    response.sendLength = m_sendLength;

    const qint64 size = m_package.size();
    qint64 first = 0;
    std::optional<qint64> last;
    if (!rangeHeader.isEmpty() && !m_ignoreRange && parseRange(rangeHeader, &first, &last)) {
        if (m_rangeStart >= 0) {
            first = m_rangeStart;
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
        response.body = m_package.mid(first, end - first + 1);
    } else {
        response.body = m_package;
    }
    if (m_dropTimes > 0) {
        --m_dropTimes;
        response.dropAfter = std::min(m_dropAfter, response.body.size());
        response.stallAfterMs = m_dropStallMs;
    }
    m_served += response.dropAfter >= 0 ? response.dropAfter : response.body.size();
    return response;
}

} // namespace plyfold::test
