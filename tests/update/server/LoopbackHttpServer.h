#pragma once

// A small HTTP/1.1 server on the loopback interface for the update tests: keep-alive
// connections, one thread per connection, request bodies by Content-Length, and responses that can
// stall, drop the connection part-way, or omit their length. It counts the connections it accepts
// so that tests can see whether a client reused its connection.

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace plyfold::test {

// Header lines in order: (name, value).
class HeaderList {
public:
    using Entry = std::pair<QByteArray, QByteArray>;
    void append(Entry entry) { m_entries.push_back(std::move(entry)); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }
    std::size_t size() const { return m_entries.size(); }

private:
    std::vector<Entry> m_entries;
};

struct HttpRequest {
    QByteArray method;
    QByteArray target;
    HeaderList headers; // names in lower case, values trimmed
    QByteArray body;
    int connection = 0; // 1 for the first connection accepted, and so on

    // The first header of that (lower-case) name, empty when absent.
    QByteArray header(QByteArrayView name) const;
};

struct HttpResponse {
    int status = 200;
    QByteArray reason = "OK";
    HeaderList headers;
    QByteArray body;
    // Send a Content-Length header (otherwise the body ends when the connection closes).
    bool sendLength = true;
    // Wait this long before sending anything (ended early when the server stops).
    int stallBeforeMs = 0;
    // Send only this many bytes of the body, then wait stallAfterMs and close the connection
    // (-1: the whole body).
    qsizetype dropAfter = -1;
    int stallAfterMs = 0;
    // Close the connection after this response.
    bool close = false;
};

class LoopbackHttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Listens on 127.0.0.1 (port 0: any free port). False when the socket cannot be set up.
    bool Start(std::uint16_t port = 0);
    // Closes the listening socket and every connection, ends stalls and joins the threads.
    void Stop();

    std::uint16_t port() const { return m_port; }
    // "127.0.0.1:<port>"
    QString server() const;
    // Connections accepted so far.
    int connectionCount() const { return m_connections.load(); }
    // Every request received so far, in order.
    std::vector<HttpRequest> requests() const;
    // Blocks until at least `count` requests have arrived or `timeoutMs` has passed.
    bool WaitForRequests(std::size_t count, int timeoutMs) const;

private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    // Sleeps up to ms; false when the server stops meanwhile.
    bool Sleep(int ms) const;

    Handler m_handler;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::thread> m_workers;
    std::vector<int> m_clientFds;
    std::vector<HttpRequest> m_requests;
};

// A free loopback port with nothing listening on it (the socket that found it is closed again).
std::uint16_t UnusedLoopbackPort();

} // namespace plyfold::test
