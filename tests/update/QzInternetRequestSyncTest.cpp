// The synchronous HTTP request against a real server on the loopback interface.

#include "update/QzInternetRequestSync.h"
#include "server/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <chrono>
#include <thread>

using namespace plyfold;
using plyfold::test::HttpRequest;
using plyfold::test::HttpResponse;
using plyfold::test::LoopbackHttpServer;

namespace {

const QString kAgent = QStringLiteral("Tessarine/AutoUpdate-2.0");

HttpResponse textResponse(int status, const QByteArray& body,
                          const QByteArray& type = "text/plain") {
    HttpResponse response;
    response.status = status;
    response.reason = status == 200 ? "OK" : "Other";
    response.headers.append({"Content-Type", type});
    response.body = body;
    return response;
}

// Records what the request tells it and answers as configured.
class RecordingFilter : public QzInternetFilter {
public:
    bool AcceptStatus(std::uint32_t status) override {
        events.append(QStringLiteral("status %1").arg(status));
        return acceptStatus;
    }
    bool AcceptContentType(const QByteArray& type) override {
        events.append(QStringLiteral("type %1").arg(QString::fromLatin1(type)));
        return acceptType;
    }
    void Progress(std::uint32_t received, std::uint32_t total) override {
        events.append(QStringLiteral("progress %1/%2").arg(received).arg(total));
    }
    bool ConsumesData() override { return consumes; }
    bool Consume(const char* data, std::uint32_t length) override {
        ++blocks;
        largestBlock = std::max(largestBlock, length);
        consumed.append(data, length);
        return consumed.size() <= refuseAfter;
    }
    void Begin(std::uint32_t offset, std::uint32_t length) override {
        events.append(QStringLiteral("begin %1 %2").arg(offset).arg(length));
        if (request != nullptr) {
            etag = request->QueryHeader(HttpQuery::ETag);
            modified = request->QueryHeader(HttpQuery::LastModified);
            if (closeInBegin) {
                request->CloseRequest();
            }
        }
    }

    QzInternetRequestSync* request = nullptr;
    bool acceptStatus = true;
    bool acceptType = true;
    bool consumes = false;
    bool closeInBegin = false;
    qsizetype refuseAfter = std::numeric_limits<qsizetype>::max();
    QStringList events;
    QByteArray consumed;
    int blocks = 0;
    std::uint32_t largestBlock = 0;
    QString etag;
    QString modified;
};

bool get(QzInternetRequestSync& request, const LoopbackHttpServer& server, const QString& path,
         const QString& headers = QString()) {
    return request.Request(headers, QByteArray(), false, server.server(), path,
                           QStringLiteral("GET"));
}

} // namespace

TEST(QzInternetRequestSyncTest, ReturnsStatusBodyAndContentTypeOfAnyStatus) {
    LoopbackHttpServer server([](const HttpRequest& request) {
        if (request.target == "/missing") {
            return textResponse(404, "<h1>Not here</h1>", "text/html; charset=utf-8");
        }
        return textResponse(200, "hello", "application/octet-stream");
    });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);

    ASSERT_TRUE(get(request, server, QStringLiteral("/file")));
    EXPECT_EQ(request.statusCode, 200u);
    EXPECT_EQ(request.responseBody, QByteArray("hello"));
    EXPECT_EQ(request.contentType, QByteArray("application/octet-stream"));
    EXPECT_EQ(request.lastError, 0u);

    // Without a filter an error page is a complete response like any other.
    ASSERT_TRUE(get(request, server, QStringLiteral("/missing")));
    EXPECT_EQ(request.statusCode, 404u);
    EXPECT_EQ(request.responseBody, QByteArray("<h1>Not here</h1>"));
    EXPECT_EQ(request.contentType, QByteArray("text/html; charset=utf-8"));
}

TEST(QzInternetRequestSyncTest, SendsVerbPathHeadersBodyAndUserAgent) {
    LoopbackHttpServer server([](const HttpRequest&) { return textResponse(200, "ok"); });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);

    ASSERT_TRUE(request.PostData(QStringLiteral("check-for-update.php"),
                                 QStringLiteral("application/x-test"), "0123ABCD",
                                 server.server()));
    ASSERT_TRUE(request.Request(QStringLiteral("Range: bytes=10-\r\nX-Extra: two words\r\n"),
                                QByteArray(), false, server.server(),
                                QStringLiteral("/dir/setup.msi"), QStringLiteral("GET")));

    const std::vector<HttpRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, QByteArray("POST"));
    EXPECT_EQ(seen[0].target, QByteArray("/check-for-update.php"));
    EXPECT_EQ(seen[0].header("content-type"), QByteArray("application/x-test"));
    EXPECT_EQ(seen[0].header("user-agent"), QByteArray("Tessarine/AutoUpdate-2.0"));
    EXPECT_EQ(seen[0].body, QByteArray("0123ABCD"));
    EXPECT_EQ(seen[1].method, QByteArray("GET"));
    EXPECT_EQ(seen[1].target, QByteArray("/dir/setup.msi"));
    EXPECT_EQ(seen[1].header("range"), QByteArray("bytes=10-"));
    EXPECT_EQ(seen[1].header("x-extra"), QByteArray("two words"));
    EXPECT_EQ(seen[1].header("pragma"), QByteArray("no-cache"));
    EXPECT_TRUE(seen[1].body.isEmpty());
}

// Only what may not appear in a request target is escaped: a target the caller (or the server's
// own address) wrote encoded, with a query, arrives as written.
TEST(QzInternetRequestSyncTest, RequestTargetIsEscapedOnlyWhereItMustBe) {
    LoopbackHttpServer server([](const HttpRequest&) { return textResponse(200, "ok"); });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);
    const std::pair<QString, QByteArray> cases[] = {
        {QStringLiteral("dir/a b#c.msi"), "/dir/a%20b%23c.msi"},
        {QStringLiteral("/Setup%20File.msi?id=3&lang=fr"), "/Setup%20File.msi?id=3&lang=fr"},
        {QStringLiteral("/caf\u00e9/\t100%"), "/caf%C3%A9/%09100%"},
        {QStringLiteral("/a~b_c-d.e!$'()*+,;=:@[]"), "/a~b_c-d.e!$'()*+,;=:@[]"},
    };
    for (const auto& [path, target] : cases) {
        ASSERT_TRUE(get(request, server, path)) << path.toStdString();
        ASSERT_FALSE(server.requests().empty());
        EXPECT_EQ(server.requests().back().target, target) << path.toStdString();
    }
}

TEST(QzInternetRequestSyncTest, KeepsOneConnectionPerServerAndScheme) {
    LoopbackHttpServer server([](const HttpRequest&) { return textResponse(200, "same"); });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);

    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(get(request, server, QStringLiteral("/a")));
    }
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(request.connectedServer(), server.server());

    // Another server name (the same machine, spelt differently) means a new connection.
    const QString otherName = QStringLiteral("localhost:%1").arg(server.port());
    ASSERT_TRUE(request.Request(QString(), QByteArray(), false, otherName, QStringLiteral("/b"),
                                QStringLiteral("GET")));
    EXPECT_EQ(server.connectionCount(), 2);
    ASSERT_TRUE(get(request, server, QStringLiteral("/c")));
    EXPECT_EQ(server.connectionCount(), 3);

    // The other scheme to the same server: the plain connection is not used for it (the TLS
    // handshake fails against this server), and the next plain request connects anew.
    EXPECT_FALSE(request.Request(QString(), QByteArray(), true, server.server(),
                                 QStringLiteral("/d"), QStringLiteral("GET")));
    EXPECT_NE(request.lastError, 0u);
    EXPECT_EQ(server.connectionCount(), 4);
    EXPECT_TRUE(request.connectedSecure());
    ASSERT_TRUE(get(request, server, QStringLiteral("/e")));
    EXPECT_EQ(server.connectionCount(), 5);
    ASSERT_TRUE(get(request, server, QStringLiteral("/f")));
    EXPECT_EQ(server.connectionCount(), 5);
}

TEST(QzInternetRequestSyncTest, OffsetAndLengthFromContentRangeOrContentLength) {
    struct Case {
        const char* what;
        int status;
        QByteArray contentRange; // empty: none sent
        bool sendLength;
        const char* begin;
    };
    const Case cases[] = {
        {"partial with range", 206, "bytes 1000-1999/2000", true, "begin 1000 1000"},
        {"partial, unknown total", 206, "bytes 1000-1999/*", true, "begin 1000 1000"},
        {"partial, no range", 206, "", true, "begin 0 300"},
        {"partial, range not in bytes", 206, "items 1-2/3", true, "begin 0 300"},
        {"partial, backwards range", 206, "bytes 1999-1000/2000", true, "begin 0 300"},
        {"partial, range beyond 32 bits", 206, "bytes 1-4294967296/9999999999", true,
         "begin 0 300"},
        {"partial, garbage range", 206, "bytes x-y/z", true, "begin 0 300"},
        {"whole with a range header", 200, "bytes 5-9/10", true, "begin 0 300"},
        {"whole without length", 200, "", false, "begin 0 0"},
    };
    for (const Case& c : cases) {
        LoopbackHttpServer server([&c](const HttpRequest&) {
            HttpResponse response = textResponse(c.status, QByteArray(300, 'z'));
            if (!c.contentRange.isEmpty()) {
                response.headers.append({"Content-Range", c.contentRange});
            }
            response.sendLength = c.sendLength;
            return response;
        });
        ASSERT_TRUE(server.Start());
        QzInternetRequestSync request(kAgent);
        RecordingFilter filter;
        request.filter = &filter;
        ASSERT_TRUE(get(request, server, QStringLiteral("/x"))) << c.what;
        ASSERT_GE(filter.events.size(), 3) << c.what;
        EXPECT_EQ(filter.events.at(2), QString::fromLatin1(c.begin)) << c.what;
        EXPECT_EQ(request.responseBody.size(), 300) << c.what;
    }
}

TEST(QzInternetRequestSyncTest, FilterStagesInOrderAndEmptyBody) {
    LoopbackHttpServer server([](const HttpRequest& request) {
        HttpResponse response = textResponse(200, request.target == "/empty" ? "" : "abcdef");
        response.headers.append({"ETag", "\"v1-abc\""});
        response.headers.append({"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"});
        return response;
    });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);
    RecordingFilter filter;
    filter.request = &request;
    request.filter = &filter;

    ASSERT_TRUE(get(request, server, QStringLiteral("/body")));
    EXPECT_EQ(filter.events, (QStringList{"status 200", "type text/plain", "begin 0 6",
                                          "progress 0/6", "progress 6/6"}));
    EXPECT_EQ(filter.etag, QStringLiteral("\"v1-abc\""));
    EXPECT_EQ(filter.modified, QStringLiteral("Wed, 21 Oct 2015 07:28:00 GMT"));
    // Headers belong to the request in progress only.
    EXPECT_TRUE(request.QueryHeader(HttpQuery::ETag).isEmpty());

    filter.events.clear();
    ASSERT_TRUE(get(request, server, QStringLiteral("/empty")));
    EXPECT_EQ(filter.events,
              (QStringList{"status 200", "type text/plain", "begin 0 0", "progress 0/0"}));
    EXPECT_TRUE(request.responseBody.isEmpty());
}

TEST(QzInternetRequestSyncTest, ConsumingFilterGetsTheBodyInBlocks) {
    QByteArray payload;
    for (int i = 0; i < 100000; ++i) {
        payload.append(static_cast<char>(i * 7));
    }
    LoopbackHttpServer server([&payload](const HttpRequest&) {
        return textResponse(200, payload, "application/octet-stream");
    });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);
    RecordingFilter filter;
    filter.consumes = true;
    request.filter = &filter;

    ASSERT_TRUE(get(request, server, QStringLiteral("/big")));
    EXPECT_EQ(filter.consumed, payload);
    EXPECT_TRUE(request.responseBody.isEmpty());
    EXPECT_LE(filter.largestBlock, 16384u);
    EXPECT_GE(filter.blocks, 7);
    // A consuming filter is not told of progress by the request.
    EXPECT_EQ(filter.events,
              (QStringList{"status 200", "type application/octet-stream", "begin 0 100000"}));

    // Refusing a block stops the transfer; that is not a system error.
    RecordingFilter refusing;
    refusing.consumes = true;
    refusing.refuseAfter = 20000;
    request.filter = &refusing;
    EXPECT_FALSE(get(request, server, QStringLiteral("/big")));
    EXPECT_EQ(request.lastError, 0u);
    EXPECT_LT(refusing.consumed.size(), payload.size());
}

TEST(QzInternetRequestSyncTest, RefusalsAndCancelLeaveLastErrorZero) {
    LoopbackHttpServer server([](const HttpRequest&) { return textResponse(200, "body"); });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);

    struct Case {
        const char* what;
        bool acceptStatus;
        bool acceptType;
        bool closeInBegin;
        bool cancelled;
    };
    const Case cases[] = {
        {"status refused", false, true, false, false},
        {"content type refused", true, false, false, false},
        {"closed in Begin", true, true, true, false},
        {"cancel flag set", true, true, false, true},
    };
    for (const Case& c : cases) {
        RecordingFilter filter;
        filter.request = &request;
        filter.acceptStatus = c.acceptStatus;
        filter.acceptType = c.acceptType;
        filter.closeInBegin = c.closeInBegin;
        request.filter = &filter;
        std::atomic<bool> cancel{c.cancelled};
        request.cancelFlag = &cancel;
        request.lastError = 12345;
        EXPECT_FALSE(get(request, server, QStringLiteral("/r"))) << c.what;
        EXPECT_EQ(request.lastError, 0u) << c.what;
        request.cancelFlag = nullptr;
    }
    // The object stays usable.
    request.filter = nullptr;
    EXPECT_TRUE(get(request, server, QStringLiteral("/r")));
    EXPECT_EQ(request.responseBody, QByteArray("body"));
}

TEST(QzInternetRequestSyncTest, CloseRequestFromAnotherThreadBreaksAStall) {
    struct Case {
        const char* what;
        HttpResponse response;
    };
    HttpResponse beforeHeaders = textResponse(200, "late");
    beforeHeaders.stallBeforeMs = 60000;
    HttpResponse midBody = textResponse(200, QByteArray(50000, 'm'));
    midBody.dropAfter = 20000;
    midBody.stallAfterMs = 60000;
    const Case cases[] = {{"before the headers", beforeHeaders}, {"in the body", midBody}};
    for (const Case& c : cases) {
        LoopbackHttpServer server([&c](const HttpRequest&) { return c.response; });
        ASSERT_TRUE(server.Start());
        QzInternetRequestSync request(kAgent);
        std::thread closer([&] {
            server.WaitForRequests(1, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            request.CloseRequest();
        });
        const auto start = std::chrono::steady_clock::now();
        const bool ok = get(request, server, QStringLiteral("/stall"));
        const auto waited = std::chrono::steady_clock::now() - start;
        closer.join();
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(request.lastError, 0u) << c.what;
        // Broken off by the close, long before the server would have ended the stall.
        EXPECT_LT(waited, std::chrono::seconds(20)) << c.what;
        server.Stop();
    }
}

TEST(QzInternetRequestSyncTest, CloseRequestWithoutARequestDoesNothing) {
    LoopbackHttpServer server([](const HttpRequest&) { return textResponse(200, "fine"); });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);
    request.CloseRequest();
    EXPECT_TRUE(get(request, server, QStringLiteral("/")));
}

TEST(QzInternetRequestSyncTest, NetworkFailuresCarryTheLibraryError) {
    QzInternetRequestSync request(kAgent);
    const QString nobody = QStringLiteral("127.0.0.1:%1").arg(plyfold::test::UnusedLoopbackPort());
    EXPECT_FALSE(request.Request(QString(), QByteArray(), false, nobody, QStringLiteral("/"),
                                 QStringLiteral("GET")));
    EXPECT_NE(request.lastError, 0u) << "a refused connection is a network failure";

    // A connection dropped part-way through the body.
    LoopbackHttpServer server([](const HttpRequest&) {
        HttpResponse response = textResponse(200, QByteArray(40000, 'd'));
        response.dropAfter = 1000;
        return response;
    });
    ASSERT_TRUE(server.Start());
    EXPECT_FALSE(get(request, server, QStringLiteral("/drop")));
    EXPECT_NE(request.lastError, 0u);

    // Server names that would change the address are refused before any traffic.
    for (const QString& bad :
         {QStringLiteral("host/path"), QStringLiteral("user@host"), QStringLiteral("a b"),
          QString(), QStringLiteral("host:0"), QStringLiteral("host:99999"),
          QStringLiteral("host?x"), QStringLiteral("host#x"), QStringLiteral("host:")}) {
        request.lastError = 0;
        EXPECT_FALSE(request.Request(QString(), QByteArray(), false, bad, QStringLiteral("/"),
                                     QStringLiteral("GET")))
            << bad.toStdString();
        EXPECT_NE(request.lastError, 0u) << bad.toStdString();
    }
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(QzInternetRequestSyncTest, BodyKeptInMemoryIsBounded) {
    LoopbackHttpServer server(
        [](const HttpRequest&) { return textResponse(200, QByteArray(200000, 'b')); });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);
    request.maxResponseBody = 100000;
    EXPECT_FALSE(get(request, server, QStringLiteral("/huge")));
    EXPECT_NE(request.lastError, 0u);
    request.maxResponseBody = 200000;
    EXPECT_TRUE(get(request, server, QStringLiteral("/huge")));
    EXPECT_EQ(request.responseBody.size(), 200000);
}

TEST(QzInternetRequestSyncTest, FollowsARedirectAndReportsTheFinalResponse) {
    LoopbackHttpServer server([](const HttpRequest& request) {
        if (request.target == "/old") {
            HttpResponse moved = textResponse(302, "moved body");
            moved.reason = "Found";
            moved.headers.append({"Location", "/new"});
            moved.headers.append({"ETag", "\"old\""});
            return moved;
        }
        HttpResponse response = textResponse(200, "new body");
        response.headers.append({"ETag", "\"new\""});
        return response;
    });
    ASSERT_TRUE(server.Start());
    QzInternetRequestSync request(kAgent);
    RecordingFilter filter;
    filter.request = &request;
    request.filter = &filter;
    ASSERT_TRUE(get(request, server, QStringLiteral("/old")));
    EXPECT_EQ(request.statusCode, 200u);
    EXPECT_EQ(request.responseBody, QByteArray("new body"));
    EXPECT_EQ(filter.etag, QStringLiteral("\"new\""));
    EXPECT_EQ(filter.events.first(), QStringLiteral("status 200"));
}
