#pragma once

// One blocking HTTP or HTTPS request at a time, on the calling (worker) thread. The object keeps
// its connection open between requests to the same server and scheme, sends optional extra
// headers and an optional body, and hands the response body either to `responseBody` or, block by
// block, to a QzInternetFilter. Another thread may break off a blocking request with CloseRequest.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace plyfold {

// Decides, on behalf of the caller, what happens to a response while it arrives. Every operation
// is called on the thread running the request.
class QzInternetFilter {
public:
    QzInternetFilter() = default;
    QzInternetFilter(const QzInternetFilter&) = delete;
    QzInternetFilter& operator=(const QzInternetFilter&) = delete;
    virtual ~QzInternetFilter() = default;

    // False refuses the response: the request fails with lastError 0.
    virtual bool AcceptStatus(std::uint32_t status) = 0;
    // False refuses the response (lastError 0). `type` is the Content-Type text, empty when absent.
    virtual bool AcceptContentType(const QByteArray& type) = 0;
    // Bytes of the body received so far and the expected length (0 when unknown). Called only when
    // the filter does not consume the body.
    virtual void Progress(std::uint32_t received, std::uint32_t total) = 0;
    // True: the body goes to Consume block by block and is not kept in responseBody.
    virtual bool ConsumesData() { return false; }
    // One block of the body; false stops the transfer (the request fails with lastError 0).
    virtual bool Consume(const char* data, std::uint32_t length) {
        (void)data;
        (void)length;
        return false;
    }
    // Called once before the body with the response's starting offset (from Content-Range of a 206
    // response, else 0) and its length (0 when unknown). The filter may call the request's
    // QueryHeader here, or CloseRequest to refuse the transfer.
    virtual void Begin(std::uint32_t offset, std::uint32_t length) {
        (void)offset;
        (void)length;
    }
};

// The response headers QueryHeader can read, by their information level.
namespace HttpQuery {
inline constexpr int ContentType = 1;
inline constexpr int ContentLength = 5;
inline constexpr int LastModified = 11;
inline constexpr int ContentRange = 53;
inline constexpr int ETag = 54;
} // namespace HttpQuery

// Calling order: construct; set `filter`, `cancelFlag` or `maxResponseBody` as needed; call
// Request or PostData as often as needed, one at a time, on one thread. CloseRequest is the only
// operation another thread may call.
class QzInternetRequestSync {
public:
    explicit QzInternetRequestSync(const QString& userAgent);
    QzInternetRequestSync(const QzInternetRequestSync&) = delete;
    QzInternetRequestSync& operator=(const QzInternetRequestSync&) = delete;
    // Closes the connection.
    virtual ~QzInternetRequestSync();

    // Sends the opened request with its extra headers and body, and receives the response,
    // running the filter stages (status, content type, Begin) and the body loop. Used by Request
    // after Connect; the caller of Request does not call it directly.
    virtual bool SendRequest(const QString& headers, const QByteArray& body);

    // Makes sure a connection for `server` with this scheme is open: an open connection to the same
    // server name (exact comparison) and scheme is reused; any other is closed first. False (with
    // lastError set) when no connection handle can be made. `server` is a host name, optionally
    // followed by ":port"; without a port the connection uses 443 when `secure`, else 80.
    bool Connect(bool secure, const QString& server);

    // One request: `verb` on `path` of `server` (HTTPS when `secure`), with `headers` (lines of
    // "Name: value" separated by "\r\n", may be empty) and `body` (may be empty). True when the
    // whole body was received into responseBody or consumed by the filter, whatever the status.
    // False on any failure; lastError then holds the cause (0 when the filter refused the response
    // or the transfer was cancelled or closed by CloseRequest).
    bool Request(const QString& headers, const QByteArray& body, bool secure, const QString& server,
                 const QString& path, const QString& verb);

    // POST of `body` to `path` on `server` over plain HTTP with the header
    // "Content-Type: <contentType>".
    bool PostData(const QString& path, const QString& contentType, const QByteArray& body,
                  const QString& server);

    // The response header named by `infoLevel` (HttpQuery) of the request in progress, empty when
    // no request is in progress or the header is absent. Meant for the filter's Begin.
    QString QueryHeader(int infoLevel) const;

    // Breaks off the request in progress (from any thread): the blocking call returns false with
    // lastError 0 within about a second. Does nothing when no request is in progress.
    void CloseRequest();

    // The user agent sent with every request.
    const QString userAgent;

    // System error of the last failing call (a libcurl result code here), 0 when a request was
    // refused by the filter, cancelled, or closed by CloseRequest.
    std::uint32_t lastError = 0;
    // HTTP status of the last response.
    std::uint32_t statusCode = 0;
    // The body of the last response when the filter does not consume it.
    QByteArray responseBody;
    // The Content-Type of the last response, empty when it had none.
    QByteArray contentType;
    // When set and reading true, the transfer stops (the request fails with lastError 0).
    const std::atomic<bool>* cancelFlag = nullptr;
    // Not owned; null for none.
    QzInternetFilter* filter = nullptr;
    // A body kept in responseBody may not grow beyond this many bytes; a longer one fails the
    // request. It bounds what a misbehaving server can make the program hold in memory.
    std::uint32_t maxResponseBody = 64u * 1024u * 1024u;

    // Whether the open connection is secure, and the server it is connected to (empty when none).
    bool connectedSecure() const { return m_secure; }
    const QString& connectedServer() const { return m_server; }

private:
    struct Transfer;
    friend struct Transfer;

    void CloseConnection();
    bool HeaderStage(Transfer& transfer);

    bool m_secure = false;
    QString m_server;
    // The connection: a libcurl easy handle, which keeps its connection open between transfers.
    void* m_connection = nullptr;
    // The request in progress, or null (only touched on the requesting thread).
    Transfer* m_request = nullptr;
    // Set by CloseRequest while a request is in progress; read by the transfer's callbacks.
    std::atomic<bool> m_closeRequested{false};
    std::atomic<bool> m_requestOpen{false};
    // Where the next request goes; filled in by Request before SendRequest.
    QByteArray m_url;
    QByteArray m_verb;
};

} // namespace plyfold
