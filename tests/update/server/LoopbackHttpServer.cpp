#include "server/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace plyfold::test {

namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;

bool sendAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= sent;
    }
    return true;
}

} // namespace

QByteArray HttpRequest::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : m_handler(std::move(handler)) {}

LoopbackHttpServer::~LoopbackHttpServer() {
    Stop();
}

bool LoopbackHttpServer::Start(std::uint16_t port) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listenFd < 0) {
        return false;
    }
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 16) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_stopping = false;
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void LoopbackHttpServer::Stop() {
    if (m_listenFd < 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (int fd : m_clientFds) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    m_changed.notify_all();
    ::shutdown(m_listenFd, SHUT_RDWR);
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    ::close(m_listenFd);
    m_listenFd = -1;
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        workers.swap(m_workers);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

QString LoopbackHttpServer::server() const {
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

std::vector<HttpRequest> LoopbackHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

bool LoopbackHttpServer::WaitForRequests(std::size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_requests.size() >= count; });
}

bool LoopbackHttpServer::Sleep(int ms) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_stopping.load(); });
    return !m_stopping.load();
}

void LoopbackHttpServer::AcceptLoop() {
    for (;;) {
        pollfd p{m_listenFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (m_stopping.load()) {
            return;
        }
        if (ready <= 0) {
            continue;
        }
        const int fd = ::accept(m_listenFd, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        const int connection = ++m_connections;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping.load()) {
            ::close(fd);
            return;
        }
        m_clientFds.push_back(fd);
        m_workers.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

void LoopbackHttpServer::Serve(int fd, int connection) {
    QByteArray pending;
    char buffer[16384];
    auto fill = [&]() -> bool {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        pending.append(buffer, got);
        return true;
    };
    for (bool open = true; open && !m_stopping.load();) {
        qsizetype end = -1;
        while ((end = pending.indexOf("\r\n\r\n")) < 0) {
            // A TLS handshake (record type 22) is not HTTP: hang up at once rather than wait
            // for a request line that never comes.
            if (pending.startsWith('\x16') || pending.size() > kMaxHeaderBytes || !fill()) {
                open = false;
                break;
            }
        }
        if (!open) {
            break;
        }
        HttpRequest request;
        request.connection = connection;
        const QList<QByteArray> lines = pending.left(end).split('\n');
        pending.remove(0, end + 4);
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) {
                request.headers.append(
                    {line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
            }
        }
        const qsizetype bodyLength = request.header("content-length").toLongLong();
        while (pending.size() < bodyLength) {
            if (!fill()) {
                open = false;
                break;
            }
        }
        if (!open) {
            break;
        }
        request.body = pending.left(bodyLength);
        pending.remove(0, bodyLength);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        m_changed.notify_all();

        const HttpResponse response = m_handler(request);
        if (response.stallBeforeMs > 0 && !Sleep(response.stallBeforeMs)) {
            break;
        }
        const bool closing = response.close || !response.sendLength || response.dropAfter >= 0 ||
                             request.header("connection").toLower() == "close";
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
        for (const auto& [name, value] : response.headers) {
            head += name + ": " + value + "\r\n";
        }
        if (response.sendLength) {
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        }
        if (closing) {
            head += "Connection: close\r\n";
        }
        head += "\r\n";
        const bool isHead = request.method == "HEAD";
        const QByteArray body = isHead                    ? QByteArray()
                                : response.dropAfter >= 0 ? response.body.left(response.dropAfter)
                                                          : response.body;
        if (!sendAll(fd, head.constData(), head.size()) ||
            !sendAll(fd, body.constData(), body.size())) {
            break;
        }
        if (response.dropAfter >= 0 && response.stallAfterMs > 0) {
            Sleep(response.stallAfterMs);
        }
        if (closing) {
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::erase(m_clientFds, fd);
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

std::uint16_t UnusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace plyfold::test
