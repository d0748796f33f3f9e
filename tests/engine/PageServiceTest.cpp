// The page service: shared instances by path, reference counts, the worker's queue (order,
// duplicates, discarding on release), waiting out a running render, and the announcement that
// reaches the user-interface thread.

#include "engine/PDFInstance.h"
#include "res/Strings.h"
#include "support/HeldFontFile.h"
#include "support/TestData.h"
#include "work/RegisteredMessage.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace plyfold {
namespace {

using Announced = std::pair<PDFInstance*, int>;

// Records every announcement; can hold the worker inside the announcement of one page (the item is
// still running then) until the test opens the gate.
class Recorder : public PDFInstanceManager::PDFPageCallback {
public:
    void OnPageRetrieved(PDFInstance* instance, int page) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_pages.emplace_back(instance, page);
        m_threads.push_back(std::this_thread::get_id());
        if (m_gated && m_gate == Announced(instance, page)) {
            m_gated = false;
            m_entered = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        }
    }

    void holdAt(PDFInstance* instance, int page) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gate = Announced(instance, page);
        m_gated = true;
        m_entered = false;
        m_open = false;
    }
    bool waitUntilHeld() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_entered; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

    std::vector<Announced> pages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pages;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }
    bool waitForCount(std::size_t count) {
        return QTest::qWaitFor([&] { return pages().size() >= count; }, 30000);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Announced> m_pages;
    std::vector<std::thread::id> m_threads;
    Announced m_gate{nullptr, 0};
    bool m_gated = false;
    bool m_entered = false;
    bool m_open = false;
};

// An instance that reports its destruction.
class WatchedInstance : public PDFInstance {
public:
    WatchedInstance(PDFInstanceManager* manager, std::atomic<bool>* destroyed)
        : PDFInstance(manager), m_destroyed(destroyed) {}
    ~WatchedInstance() override { *m_destroyed = true; }

private:
    std::atomic<bool>* m_destroyed;
};

// Opens and registers a test PDF the way the document list does.
PDFInstance* openRegistered(PDFInstanceManager& manager, const QString& file,
                            std::atomic<bool>* destroyed = nullptr) {
    static std::atomic<bool> ignored;
    auto* instance = new WatchedInstance(&manager, destroyed ? destroyed : &ignored);
    const QString path = test::pdfPath(file);
    if (!instance->Open(path, ids::IDS_ENTER_PASSWORD)) {
        delete instance;
        return nullptr;
    }
    manager.Register(path, instance);
    return instance;
}

TEST(PageServiceTest, LoweringTouchesOnlyAsciiLetters) {
    struct Case {
        const char16_t* path;
        const char16_t* key;
    };
    const Case cases[] = {
        {u"C:\\Docs\\Report.PDF", u"c:\\docs\\report.pdf"},
        {u"/home/Ann/ÉTÉ Crème.PDF", u"/home/ann/ÉtÉ crème.pdf"},
        {u"ΑΒΓ-ＡＢＣ-İ.pdf", u"ΑΒΓ-ＡＢＣ-İ.pdf"}, // Greek, full-width and dotted capitals stay
        {u"@[`{Z]", u"@[`{z]"},                     // the neighbours of A-Z stay
    };
    for (const Case& c : cases) {
        const QString path = QString::fromUtf16(c.path);
        EXPECT_EQ(PDFInstanceManager::LowerAsciiLetters(path), QString::fromUtf16(c.key));
        EXPECT_EQ(PDFInstanceManager::PathKey(path),
                  PDFInstanceManager::kCaseInsensitivePaths ? QString::fromUtf16(c.key) : path);
    }
}

TEST(PageServiceTest, DocumentsOnOneFileShareAnInstanceAndOneRender) {
    PDFInstanceManager manager;
    Recorder recorder;
    manager.SetCallback(&recorder);
    std::atomic<bool> destroyed{false};
    const QString file = QStringLiteral("crème brûlée – ÉTÉ.pdf");
    PDFInstance* first = openRegistered(manager, file, &destroyed);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(manager.RefCount(first), 1);

    // The same path is the same instance. Other ASCII capitals name the same file only where file
    // names ignore letter case; another accented capital is always another file.
    PDFInstance* second = manager.Lookup(test::pdfPath(file));
    EXPECT_EQ(second, first);
    EXPECT_EQ(manager.RefCount(first), 2);
    QString shouted = test::pdfPath(file);
    shouted.replace(QStringLiteral("crème"), QStringLiteral("CRèME"));
    if (PDFInstance* shoutedInstance = manager.Lookup(shouted)) {
        EXPECT_TRUE(PDFInstanceManager::kCaseInsensitivePaths);
        EXPECT_EQ(shoutedInstance, first);
        manager.Release(shoutedInstance);
    } else {
        EXPECT_FALSE(PDFInstanceManager::kCaseInsensitivePaths);
    }
    QString otherAccent = test::pdfPath(file);
    otherAccent.replace(QStringLiteral("ÉTÉ"), QStringLiteral("éTé"));
    EXPECT_EQ(manager.Lookup(otherAccent), nullptr);

    // Both documents paint page 1: one request, one render, one announcement for the instance.
    EXPECT_TRUE(first->GetPage(1, false).isNull());
    EXPECT_TRUE(second->GetPage(1, false).isNull());
    EXPECT_EQ(manager.QueuedRequests(), 1u);
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(recorder.pages(), (std::vector<Announced>{{first, 1}}));
    EXPECT_FALSE(second->GetPage(1, false).isNull());

    // The last release destroys it and empties its registry entry.
    manager.Release(first);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(manager.RefCount(second), 1);
    manager.Release(second);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(manager.Lookup(test::pdfPath(file)), nullptr);
}

TEST(PageServiceTest, WorkerRendersFirstInFirstOutAndDropsDuplicates) {
    PDFInstanceManager manager;
    Recorder recorder;
    manager.SetCallback(&recorder);
    PDFInstance* a = openRegistered(manager, QStringLiteral("R-intro.pdf"));
    PDFInstance* b = openRegistered(manager, QStringLiteral("refcard-nf.pdf"));
    ASSERT_TRUE(a && b);

    for (const Announced& request :
         std::vector<Announced>{{a, 3}, {b, 1}, {a, 1}, {a, 3}, {b, 2}, {b, 1}, {a, 90}}) {
        EXPECT_TRUE(request.first->GetPage(request.second, false).isNull());
    }
    EXPECT_EQ(manager.QueuedRequests(), 5u);
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(recorder.waitForCount(5));
    const std::vector<Announced> expected{{a, 3}, {b, 1}, {a, 1}, {b, 2}, {a, 90}};
    EXPECT_EQ(recorder.pages(), expected);
    for (std::thread::id thread : recorder.threads()) {
        EXPECT_NE(thread, std::this_thread::get_id()) << "rendered on the worker";
    }
    for (const Announced& page : expected) {
        EXPECT_FALSE(page.first->GetPage(page.second, false).isNull());
    }
    EXPECT_EQ(manager.QueuedRequests(), 0u);
    manager.Release(a);
    manager.Release(b);
}

TEST(PageServiceTest, APageRequestedWhileItRendersIsRenderedOnceAndAnnouncedTwice) {
    PDFInstanceManager manager;
    Recorder recorder;
    manager.SetCallback(&recorder);
    PDFInstance* a = openRegistered(manager, QStringLiteral("R-intro.pdf"));
    ASSERT_NE(a, nullptr);
    recorder.holdAt(a, 7);
    a->GetPage(7, false);
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(recorder.waitUntilHeld());
    const qint64 firstImage = a->GetPage(7, false).cacheKey();

    // The request being run is not compared: a new one is queued.
    manager.RequestPage(a, 7);
    EXPECT_EQ(manager.QueuedRequests(), 1u);
    recorder.open();
    ASSERT_TRUE(recorder.waitForCount(2));
    EXPECT_EQ(recorder.pages(), (std::vector<Announced>{{a, 7}, {a, 7}}));
    EXPECT_EQ(a->GetPage(7, false).cacheKey(), firstImage);
    manager.Release(a);
}

// A screen with twice the pixel density gets thumbnails rendered at twice the resolution, kept
// apart from the 1x ones, so that each screen shows its own sharp image.
TEST(PageServiceTest, ThumbnailsAreRenderedAndKeptPerDevicePixelRatio) {
    PDFInstanceManager manager;
    PDFInstance* a = openRegistered(manager, QStringLiteral("R-intro.pdf"));
    ASSERT_NE(a, nullptr);
    const QImage one = a->GetPage(1, true);
    const QImage two = a->GetPage(1, true, 2.0);
    ASSERT_FALSE(one.isNull());
    ASSERT_FALSE(two.isNull());
    EXPECT_EQ(one.devicePixelRatio(), 1.0);
    EXPECT_EQ(two.devicePixelRatio(), 2.0);
    EXPECT_NEAR(two.width(), 2 * one.width(), 2);
    EXPECT_NEAR(two.height(), 2 * one.height(), 2);
    // Each ratio has its own cached image; a nearby ratio shares its key's.
    EXPECT_EQ(a->GetPage(1, false).cacheKey(), one.cacheKey());
    EXPECT_EQ(a->GetPage(1, false, 2.0).cacheKey(), two.cacheKey());
    EXPECT_EQ(a->GetPage(1, false, 2.001).cacheKey(), two.cacheKey());
    // A miss queues one request per ratio, and the worker renders it at that ratio.
    EXPECT_TRUE(a->GetPage(2, false, 1.5).isNull());
    EXPECT_TRUE(a->GetPage(2, false, 1.5).isNull());
    EXPECT_TRUE(a->GetPage(2, false).isNull());
    EXPECT_EQ(manager.QueuedRequests(), 2u);
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a->GetPage(2, false, 1.5).isNull(); }, 20000));
    EXPECT_EQ(a->GetPage(2, false, 1.5).devicePixelRatio(), 1.5);
    manager.Release(a);
}

TEST(PageServiceTest, ReleaseDiscardsQueuedRequestsAndWaitsOutTheRunningRender) {
    PDFInstanceManager manager;
    Recorder recorder;
    manager.SetCallback(&recorder);
    std::atomic<bool> destroyed{false};
    PDFInstance* a = openRegistered(manager, QStringLiteral("R-intro.pdf"), &destroyed);
    PDFInstance* b = openRegistered(manager, QStringLiteral("refcard-nf.pdf"));
    ASSERT_TRUE(a && b);
    for (const Announced& request :
         std::vector<Announced>{{a, 1}, {a, 2}, {b, 1}, {a, 3}, {b, 2}, {a, 4}}) {
        request.first->GetPage(request.second, false);
    }
    // Hold the worker inside the run of a's page 1.
    recorder.holdAt(a, 1);
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(recorder.waitUntilHeld());

    std::atomic<bool> renderEnded{false};
    std::thread finisher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        renderEnded = true;
        recorder.open();
    });
    manager.Release(a);
    // Release returned only after the running item of a had ended, and then destroyed a.
    EXPECT_TRUE(renderEnded);
    EXPECT_TRUE(destroyed);
    finisher.join();

    // a's other requests are gone; b's kept their order.
    ASSERT_TRUE(recorder.waitForCount(3));
    EXPECT_EQ(recorder.pages(), (std::vector<Announced>{{a, 1}, {b, 1}, {b, 2}}));
    EXPECT_EQ(manager.QueuedRequests(), 0u);
    manager.Release(b);
}

TEST(PageServiceTest, ReleaseOfAnIdleInstanceDoesNotWait) {
    PDFInstanceManager manager;
    ASSERT_TRUE(manager.Start());
    std::atomic<bool> destroyed{false};
    PDFInstance* a = openRegistered(manager, QStringLiteral("refcard-nf.pdf"), &destroyed);
    ASSERT_NE(a, nullptr);
    manager.Release(a);
    EXPECT_TRUE(destroyed);
}

// Receives the posted announcements on the thread it lives on.
class PageReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == RegisteredMessage(QString::fromLatin1(MessageName::PageRetrieved))) {
            const auto* message = static_cast<RegisteredMessageEvent*>(e);
            received.emplace_back(message->wParam(), message->lParam());
            onThread = QThread::currentThread();
            return true;
        }
        return QObject::event(e);
    }
    std::vector<std::pair<quintptr, quintptr>> received;
    QThread* onThread = nullptr;
};

TEST(PageServiceTest, FinishedPagesArePostedToTheTargetOnItsThread) {
    PDFInstanceManager manager;
    PageReceiver receiver;
    manager.SetTarget(&receiver);
    PDFInstance* a = openRegistered(manager, QStringLiteral("to-rotate.pdf"));
    ASSERT_NE(a, nullptr);
    a->GetPage(2, false);
    a->GetPage(11, false);
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.received.size() >= 2; }, 20000));
    const std::vector<std::pair<quintptr, quintptr>> expected{{reinterpret_cast<quintptr>(a), 2},
                                                              {reinterpret_cast<quintptr>(a), 11}};
    EXPECT_EQ(receiver.received, expected);
    EXPECT_EQ(receiver.onThread, QCoreApplication::instance()->thread());

    // Without a target nothing more is posted.
    manager.SetTarget(nullptr);
    a->GetPage(3, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a->GetPage(3, false).isNull(); }, 20000));
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.received.size(), 2u);
    manager.Release(a);
}

TEST(PageServiceTest, InstancesUseTheProcessWideServiceByDefault) {
    PDFInstance instance;
    EXPECT_EQ(instance.manager(), &PDFInstanceManager::Global());
    EXPECT_TRUE(PDFInstanceManager::Global().IsRunning());
    EXPECT_FALSE(PDFInstanceManager::Global().useWakeEvent());
}

// Painting's queries (page count, aspect, the cached image with a request on a miss) are answered
// while the worker's render of the same document is held part-way through (in the read of a mapped
// font); released, the render finishes and the page queued meanwhile follows.
TEST(PageServiceTest, PaintingQueriesDoNotWaitForRenders) {
    test::HeldFontFile font;
    ASSERT_TRUE(font.MapAs("Helvetica"));
    PDFInstanceManager manager;
    Recorder recorder;
    manager.SetCallback(&recorder);
    // Its first page draws Helvetica, which the file does not embed; both pages are 612 x 396.
    PDFInstance* doc =
        openRegistered(manager, QStringLiteral("PDF 2.0 with page level output intent.pdf"));
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->GetPage(1, false).isNull());
    ASSERT_TRUE(manager.Start());

    const bool held = font.WaitForReader([&] { return !recorder.pages().empty(); });
    EXPECT_TRUE(held) << "the render never read the mapped font";
    if (held) {
        EXPECT_TRUE(font.ReturnWhileHeld([&] {
            EXPECT_EQ(doc->PageCount(), 2);
            EXPECT_DOUBLE_EQ(doc->GetPageAspect(2), 612.0 / 396.0);
            EXPECT_TRUE(doc->GetPage(1, false).isNull());
            EXPECT_TRUE(doc->GetPage(2, false).isNull());
        })) << "the queries waited for the render";
        EXPECT_TRUE(recorder.pages().empty()) << "the render was not held while the queries ran";
    }
    font.Release();
    // Page 1 was not waiting while it rendered, so the lookup above asked for it once more.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<Announced> pages = recorder.pages();
            return std::find(pages.begin(), pages.end(), Announced(doc, 2)) != pages.end();
        },
        30000));
    EXPECT_EQ(recorder.pages().front(), Announced(doc, 1));
    EXPECT_FALSE(doc->GetPage(1, false).isNull());
    EXPECT_FALSE(doc->GetPage(2, false).isNull());
    manager.Release(doc);
}

} // namespace
} // namespace plyfold
