#include "update/QzInternetRequestSync.h"

#include <curl/curl.h>

#include <QUrl>

#include <charconv>
#include <limits>
#include <mutex>
#include <optional>

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

// A decimal number of 32 bits, digits only (no sign, no spaces).
std::optional<std::uint32_t> parseU32(QByteArrayView text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value);
    if (error != std::errc() || end != text.end()) {
        return std::nullopt;
    }
    return value;
}

// A host name or address literal, optionally with ":port" (1 to 65535). Nothing that could change
// how the address is read is allowed: no user part, path, query or fragment, so the address read
// back must be the text given.
bool isValidServer(const QString& server) {
    const QUrl url(QStringLiteral("http://") + server, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && url.userInfo().isEmpty() && url.port() != 0 &&
           url.authority(QUrl::FullyEncoded).compare(server, Qt::CaseInsensitive) == 0;
}

// The request target: always starting with "/". Controls, spaces, non-ASCII and the fragment mark
// are percent-encoded; every other printable character stays as written, so a "%", "?" or "/" the
// caller wrote keeps its meaning (an address from the server may come encoded already).
QByteArray encodePath(const QString& path) {
    static const QByteArray kKept = QByteArrayLiteral("!\"$&'()*+,/:;<=>?@[\\]^`{|}");
    // The encoder always escapes "%" itself, as "%25" (the only escape that stands for "%").
    QByteArray out = QUrl::toPercentEncoding(path, kKept).replace("%25", "%");
    if (!out.startsWith('/')) {
        out.prepend('/');
    }
    return out;
}

// The value of the response header `name` (any case) of the latest response on `handle`, trimmed;
// empty when the response has none. The first one counts when a header comes more than once.
QByteArray responseHeader(CURL* handle, const char* name) {
    curl_header* header = nullptr;
    if (curl_easy_header(handle, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK ||
        header == nullptr || header->value == nullptr) {
        return {};
    }
    return QByteArray(header->value);
}

} // namespace

// State of one transfer, shared with libcurl's callbacks.
struct QzInternetRequestSync::Transfer {
    QzInternetRequestSync* owner = nullptr;
    CURL* handle = nullptr;
    bool stageDone = false;
    bool stageFailed = false;
    bool consumes = false;
    std::uint32_t length = 0;
    // Why the transfer was stopped from our side.
    bool refused = false;   // the filter refused the response or a block
    bool cancelled = false; // cancelFlag or CloseRequest
    bool tooLarge = false;  // the body outgrew maxResponseBody
    CURLcode stageError = CURLE_OK;

    bool stopRequested() const {
        return owner->m_closeRequested.load() ||
               (owner->cancelFlag != nullptr && owner->cancelFlag->load());
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
    if (m_connection != nullptr) {
        curl_easy_cleanup(easy(m_connection));
        m_connection = nullptr;
    }
    m_server.clear();
}

bool QzInternetRequestSync::Connect(bool secure, const QString& server) {
    if (m_connection != nullptr && secure == m_secure && server == m_server) {
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
    m_connection = handle;
    m_server = server;
    m_secure = secure;
    return true;
}

bool QzInternetRequestSync::Request(const QString& headers, const QByteArray& body, bool secure,
                                    const QString& server, const QString& path,
                                    const QString& verb) {
    if (!Connect(secure, server)) {
        return false;
    }
    const QString scheme = secure ? QStringLiteral("https://") : QStringLiteral("http://");
    m_url = (scheme + server).toLatin1() + encodePath(path);
    m_verb = verb.toLatin1();
    return SendRequest(headers, body);
}

bool QzInternetRequestSync::PostData(const QString& path, const QString& type,
                                     const QByteArray& body, const QString& server) {
    const QString headers = QStringLiteral("Content-Type: ") + type + QStringLiteral("\r\n");
    return Request(headers, body, false, server, path, QStringLiteral("POST"));
}

bool QzInternetRequestSync::SendRequest(const QString& headers, const QByteArray& body) {
    CURL* handle = easy(m_connection);
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
    curl_easy_setopt(handle, CURLOPT_URL, m_url.constData());
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
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const bool hasBody = !body.isEmpty() || m_verb == "POST" || m_verb == "PUT";
    if (hasBody) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.constData());
    }
    if (m_verb == "HEAD") {
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    } else if (!(m_verb == "GET" && !hasBody) && !(m_verb == "POST" && hasBody)) {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, m_verb.constData());
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

    m_closeRequested = false;
    m_request = &transfer;
    m_requestOpen = true;
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
    } else if (transfer.refused || transfer.cancelled || m_closeRequested.load()) {
        lastError = 0;
    } else if (transfer.tooLarge) {
        lastError = CURLE_FILESIZE_EXCEEDED;
    } else {
        lastError = static_cast<std::uint32_t>(result);
    }

    m_requestOpen = false;
    m_request = nullptr;
    m_closeRequested = false;
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
    contentType = responseHeader(transfer.handle, "Content-Type");
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
        const QByteArray range = responseHeader(transfer.handle, "Content-Range");
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
        // libcurl's reading of Content-Length; -1 when the response has none.
        curl_off_t whole = -1;
        curl_easy_getinfo(transfer.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &whole);
        length = whole >= 0 && whole <= std::numeric_limits<std::uint32_t>::max()
                     ? static_cast<std::uint32_t>(whole)
                     : 0;
    }
    transfer.length = *length;

    if (filter != nullptr) {
        transfer.consumes = filter->ConsumesData();
        filter->Begin(offset, transfer.length);
        if (!transfer.consumes) {
            filter->Progress(0, transfer.length);
        }
    }
    if (m_closeRequested.load()) {
        // The filter's Begin refused the transfer by closing the request.
        transfer.stageFailed = true;
        transfer.cancelled = true;
        lastError = 0;
        return false;
    }
    return true;
}

QString QzInternetRequestSync::QueryHeader(int infoLevel) const {
    if (!m_requestOpen.load() || m_request == nullptr) {
        return {};
    }
    const char* name = nullptr;
    switch (infoLevel) {
    case HttpQuery::ContentType:
        name = "Content-Type";
        break;
    case HttpQuery::ContentLength:
        name = "Content-Length";
        break;
    case HttpQuery::LastModified:
        name = "Last-Modified";
        break;
    case HttpQuery::ContentRange:
        name = "Content-Range";
        break;
    case HttpQuery::ETag:
        name = "ETag";
        break;
    default:
        return {};
    }
    return QString::fromLatin1(responseHeader(m_request->handle, name));
}

void QzInternetRequestSync::CloseRequest() {
    if (m_requestOpen.load()) {
        m_closeRequested = true;
    }
}

} // namespace plyfold
