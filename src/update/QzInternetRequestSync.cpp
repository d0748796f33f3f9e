#include "update/QzInternetRequestSync.h"

#include <curl/curl.h>

#include <QList>

#include <limits>
#include <mutex>
#include <optional>
#include <utility>

namespace plyfold {

namespace {

// Bodies are read and handed on in blocks of this size.
constexpr long kBlockSize = 16384;
// A connection that cannot be made in this time fails; so does a transfer that moves less than
// one byte per second for a minute. Either keeps a dead server from holding the worker for ever.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedTimeSeconds = 60;
constexpr long kMaxRedirects = 5;

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* easy(void* handle) {
    return static_cast<CURL*>(handle);
}

QByteArray trimmed(const char* data, std::size_t length) {
    return QByteArray(data, static_cast<qsizetype>(length)).trimmed();
}

// A decimal number of at most 32 bits, digits only.
std::optional<std::uint32_t> parseU32(QByteArrayView text) {
    if (text.isEmpty() || text.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// A host name or address literal, optionally with ":port". Only characters that cannot change how
// the address is read (no user part, path, query or fragment) are allowed.
bool isValidServer(const QString& server) {
    if (server.isEmpty() || server.size() > 255) {
        return false;
    }
    QString host = server;
    const qsizetype colon = server.lastIndexOf(u':');
    const qsizetype bracket = server.lastIndexOf(u']');
    if (colon > bracket) {
        const std::optional<std::uint32_t> port = parseU32(server.mid(colon + 1).toLatin1());
        if (!port || *port == 0 || *port > 65535) {
            return false;
        }
        host = server.left(colon);
    }
    if (host.isEmpty()) {
        return false;
    }
    if (host.startsWith(u'[')) {
        if (!host.endsWith(u']') || host.size() < 3) {
            return false;
        }
        for (QChar c : QStringView(host).mid(1, host.size() - 2)) {
            if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') ||
                  c == u':' || c == u'.')) {
                return false;
            }
        }
        return true;
    }
    for (QChar c : host) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                        (u >= u'0' && u <= u'9') || u == u'-' || u == u'.' || u == u'_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// The request target: always starting with "/", with bytes that may not appear in an address
// (controls, spaces, non-ASCII, the fragment mark) percent-encoded.
QByteArray encodePath(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    QByteArray out;
    if (!utf8.startsWith('/')) {
        out.append('/');
    }
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b >= 0x7F || b == '#') {
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 15]);
        } else {
            out.append(ch);
        }
    }
    return out;
}

} // namespace

// State of one transfer, shared with libcurl's callbacks.
struct QzInternetRequestSync::Transfer {
    QzInternetRequestSync* owner = nullptr;
    CURL* handle = nullptr;
    // Headers of the latest response (a redirect or informational response is replaced by the
    // next one). Names in lower case, values trimmed, in arrival order.
    QList<std::pair<QByteArray, QByteArray>> headers;
    bool stageDone = false;
    bool stageFailed = false;
    bool consumes = false;
    std::uint32_t length = 0;
    // Why the transfer was stopped from our side.
    bool refused = false;   // the filter refused the response or a block
    bool cancelled = false; // cancelFlag or CloseRequest
    bool tooLarge = false;  // the body outgrew maxResponseBody
    CURLcode stageError = CURLE_OK;

    QByteArray header(QByteArrayView lowerName) const {
        for (const auto& [name, value] : headers) {
            if (name == lowerName) {
                return value;
            }
        }
        return {};
    }

    bool stopRequested() const {
        return owner->closeRequested_.load() ||
               (owner->cancelFlag != nullptr && owner->cancelFlag->load());
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const std::size_t total = size * count;
        const QByteArray line = trimmed(data, total);
        if (line.startsWith("HTTP/")) {
            self->headers.clear();
        } else if (!line.isEmpty()) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) {
                self->headers.append(
                    {line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
            }
        }
        return total;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        QzInternetRequestSync* owner = self->owner;
        const std::size_t total = size * count;
        if (!self->stageDone && !owner->HeaderStage(*self)) {
            return 0;
        }
        if (self->stopRequested()) {
            self->cancelled = true;
            return 0;
        }
        if (total == 0) {
            return 0;
        }
        // libcurl hands over at most CURLOPT_BUFFERSIZE bytes at a time.
        const auto block = static_cast<std::uint32_t>(total);
        if (self->consumes) {
            if (!owner->filter->Consume(data, block)) {
                self->refused = true;
                return 0;
            }
            return total;
        }
        if (static_cast<std::uint64_t>(owner->responseBody.size()) + total >
            owner->maxResponseBody) {
            self->tooLarge = true;
            return 0;
        }
        owner->responseBody.append(data, static_cast<qsizetype>(total));
        if (owner->filter != nullptr) {
            owner->filter->Progress(static_cast<std::uint32_t>(owner->responseBody.size()),
                                    self->length);
        }
        return total;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* self = static_cast<Transfer*>(user);
        if (self->stopRequested()) {
            self->cancelled = true;
            return 1;
        }
        return 0;
    }
};

QzInternetRequestSync::QzInternetRequestSync(const QString& agent) : userAgent(agent) {}

QzInternetRequestSync::~QzInternetRequestSync() {
    CloseConnection();
}

void QzInternetRequestSync::CloseConnection() {
    if (connection_ != nullptr) {
        curl_easy_cleanup(easy(connection_));
        connection_ = nullptr;
    }
    server_.clear();
}

bool QzInternetRequestSync::Connect(bool secure, const QString& server) {
    if (connection_ != nullptr && secure == secure_ && server == server_) {
        return true;
    }
    // A connection to another server or with the other scheme is not kept: the handle (and with
    // it every connection it holds) goes.
    CloseConnection();
    if (!isValidServer(server)) {
        lastError = CURLE_URL_MALFORMAT;
        return false;
    }
    globalInit();
    CURL* handle = curl_easy_init();
    if (handle == nullptr) {
        lastError = CURLE_FAILED_INIT;
        return false;
    }
    connection_ = handle;
    server_ = server;
    secure_ = secure;
    return true;
}

bool QzInternetRequestSync::Request(const QString& headers, const QByteArray& body, bool secure,
                                    const QString& server, const QString& path,
                                    const QString& verb) {
    if (!Connect(secure, server)) {
        return false;
    }
    const QString scheme = secure ? QStringLiteral("https://") : QStringLiteral("http://");
    url_ = (scheme + server).toLatin1() + encodePath(path);
    verb_ = verb.toLatin1();
    return SendRequest(headers, body);
}

bool QzInternetRequestSync::PostData(const QString& path, const QString& type,
                                     const QByteArray& body, const QString& server) {
    const QString headers = QStringLiteral("Content-Type: ") + type + QStringLiteral("\r\n");
    return Request(headers, body, false, server, path, QStringLiteral("POST"));
}

bool QzInternetRequestSync::SendRequest(const QString& headers, const QByteArray& body) {
    CURL* handle = easy(connection_);
    if (handle == nullptr) {
        lastError = CURLE_FAILED_INIT;
        return false;
    }
    Transfer transfer;
    transfer.owner = this;
    transfer.handle = handle;
    responseBody.clear();
    contentType.clear();
    statusCode = 0;

    // Options are set afresh for every request; the connection cache of the handle survives the
    // reset, so a request to the same server goes over the same connection.
    curl_easy_reset(handle);
    curl_easy_setopt(handle, CURLOPT_URL, url_.constData());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent.toLatin1().constData());
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Direct connection: no proxy, not even one named by the environment.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXCONNECTS, 1L);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kBlockSize);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const bool hasBody = !body.isEmpty() || verb_ == "POST" || verb_ == "PUT";
    if (hasBody) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.constData());
    }
    if (verb_ == "HEAD") {
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    } else if (!(verb_ == "GET" && !hasBody) && !(verb_ == "POST" && hasBody)) {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, verb_.constData());
    }

    // Never served from a cache on the way, and no waiting for a "100 Continue".
    curl_slist* list = nullptr;
    list = curl_slist_append(list, "Pragma: no-cache");
    list = curl_slist_append(list, "Cache-Control: no-cache");
    list = curl_slist_append(list, "Expect:");
    for (const QString& line : headers.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QByteArray bytes = line.toLatin1();
        // A header line may not smuggle in a line break of its own.
        if (bytes.contains('\n') || bytes.contains('\r') || !bytes.contains(':')) {
            continue;
        }
        list = curl_slist_append(list, bytes.constData());
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);

    closeRequested_ = false;
    request_ = &transfer;
    requestOpen_ = true;
    const CURLcode result = curl_easy_perform(handle);

    bool ok = false;
    if (result == CURLE_OK) {
        if (!transfer.stageDone) {
            HeaderStage(transfer); // an empty body: the stages still run
        }
        if (transfer.stageFailed) {
            ok = false;
        } else if (transfer.stopRequested()) {
            // Cancelled or closed after the last block: not a complete transfer.
            lastError = 0;
        } else {
            lastError = 0;
            ok = true;
        }
    } else if (transfer.stageFailed && !transfer.refused && !transfer.cancelled) {
        lastError = static_cast<std::uint32_t>(transfer.stageError);
    } else if (transfer.refused || transfer.cancelled || closeRequested_.load()) {
        lastError = 0;
    } else if (transfer.tooLarge) {
        lastError = CURLE_FILESIZE_EXCEEDED;
    } else {
        lastError = static_cast<std::uint32_t>(result);
    }

    requestOpen_ = false;
    request_ = nullptr;
    closeRequested_ = false;
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(list);
    return ok;
}

bool QzInternetRequestSync::HeaderStage(Transfer& transfer) {
    transfer.stageDone = true;
    long code = 0;
    if (curl_easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK ||
        code <= 0) {
        transfer.stageFailed = true;
        transfer.stageError = CURLE_WEIRD_SERVER_REPLY;
        lastError = CURLE_WEIRD_SERVER_REPLY;
        return false;
    }
    statusCode = static_cast<std::uint32_t>(code);
    if (filter != nullptr && !filter->AcceptStatus(statusCode)) {
        transfer.stageFailed = true;
        transfer.refused = true;
        lastError = 0;
        return false;
    }
    contentType = transfer.header("content-type");
    if (filter != nullptr && !filter->AcceptContentType(contentType)) {
        transfer.stageFailed = true;
        transfer.refused = true;
        lastError = 0;
        return false;
    }

    // Where the body starts and how long it is: Content-Range of a partial response, else
    // Content-Length.
    std::uint32_t offset = 0;
    std::optional<std::uint32_t> length;
    if (statusCode == 206) {
        const QByteArray range = transfer.header("content-range");
        if (range.startsWith("bytes ")) {
            const QByteArray rangeText = range.mid(6).trimmed();
            const qsizetype dash = rangeText.indexOf('-');
            const qsizetype slash = rangeText.indexOf('/');
            if (dash > 0 && slash > dash) {
                const auto first = parseU32(QByteArrayView(rangeText).first(dash));
                const auto last =
                    parseU32(QByteArrayView(rangeText).sliced(dash + 1, slash - dash - 1));
                const QByteArrayView whole = QByteArrayView(rangeText).sliced(slash + 1);
                const bool totalOk = whole == "*" || parseU32(whole).has_value();
                // A range that cannot be read as a whole (or runs backwards, or beyond 32 bits)
                // is not used at all.
                if (first && last && totalOk && *last >= *first &&
                    *last - *first < std::numeric_limits<std::uint32_t>::max()) {
                    offset = *first;
                    length = *last - *first + 1;
                }
            }
        }
    }
    if (!length) {
        length = parseU32(transfer.header("content-length")).value_or(0);
    }
    transfer.length = *length;

    if (filter != nullptr) {
        transfer.consumes = filter->ConsumesData();
        filter->Begin(offset, transfer.length);
        if (!transfer.consumes) {
            filter->Progress(0, transfer.length);
        }
    }
    if (closeRequested_.load()) {
        // The filter's Begin refused the transfer by closing the request.
        transfer.stageFailed = true;
        transfer.cancelled = true;
        lastError = 0;
        return false;
    }
    return true;
}

QString QzInternetRequestSync::QueryHeader(int infoLevel) const {
    if (!requestOpen_.load() || request_ == nullptr) {
        return {};
    }
    const char* name = nullptr;
    switch (infoLevel) {
    case HttpQuery::ContentType:
        name = "content-type";
        break;
    case HttpQuery::ContentLength:
        name = "content-length";
        break;
    case HttpQuery::LastModified:
        name = "last-modified";
        break;
    case HttpQuery::ContentRange:
        name = "content-range";
        break;
    case HttpQuery::ETag:
        name = "etag";
        break;
    default:
        return {};
    }
    return QString::fromLatin1(request_->header(name));
}

void QzInternetRequestSync::CloseRequest() {
    if (requestOpen_.load()) {
        closeRequested_ = true;
    }
}

} // namespace plyfold
