#pragma once

// The download side of the update server: serves one installer package at one path with Range
// support ("bytes=N-" and "bytes=N-M"), an ETag and a Last-Modified, and can misbehave on request:
// drop the connection part-way, ignore ranges, start a partial answer elsewhere than asked,
// leave out the length, or change its copy (and with it the ETag).

#include "server/LoopbackHttpServer.h"

#include <QByteArray>

#include <mutex>
#include <vector>

namespace plyfold::test {

class InstallerServerSide {
public:
    // Serves `package` at `path` (other paths get 404).
    explicit InstallerServerSide(QByteArray package,
                                 QByteArray path = QByteArrayLiteral("/Plyfold-Installer.msi"));

    // Replaces the copy served and its ETag.
    void SetPackage(QByteArray package, QByteArray etag);
    void SetEtag(QByteArray etag);
    void SetLastModified(QByteArray lastModified);
    // Answer every request with 200 and the whole package.
    void SetIgnoreRange(bool ignore);
    // Answer a range request with a partial response starting at this offset instead of the one
    // asked for (-1: as asked).
    void SetRangeStartOverride(qint64 start);
    // Leave out Content-Length (the body then ends when the connection closes).
    void SetSendLength(bool send);
    // The next `times` responses send only `bytes` bytes of their body, wait `stallMs`, then
    // close the connection.
    void DropNextAfter(qsizetype bytes, int stallMs = 0, int times = 1);

    HttpResponse Handle(const HttpRequest& request);

    // The Range header of every GET of the package, in order (empty when there was none).
    std::vector<QByteArray> ranges() const;
    // Body bytes handed out so far (counting only what was sent).
    qsizetype bytesServed() const;
    const QByteArray& path() const { return m_path; }

private:
    mutable std::mutex m_mutex;
    QByteArray m_package;
    QByteArray m_path;
    QByteArray m_etag = QByteArrayLiteral("\"v1\"");
    QByteArray m_lastModified = QByteArrayLiteral("Tue, 01 Dec 2026 10:00:00 GMT");
    bool m_ignoreRange = false;
    qint64 m_rangeStart = -1;
    bool m_sendLength = true;
    qsizetype m_dropAfter = -1;
    int m_dropStallMs = 0;
    int m_dropTimes = 0;
    qsizetype m_served = 0;
    std::vector<QByteArray> m_ranges;
};

} // namespace plyfold::test
