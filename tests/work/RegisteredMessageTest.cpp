// Registered messages: one event type per name for the whole process, and posting them with their
// two words of payload.

#include "work/RegisteredMessage.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <array>
#include <set>
#include <thread>
#include <vector>

namespace plyfold {
namespace {

TEST(RegisteredMessageTest, OneTypePerName) {
    const QEvent::Type pageRetrieved = RegisteredMessage(MessageName::PageRetrieved);
    EXPECT_GE(int(pageRetrieved), int(QEvent::User));
    EXPECT_LE(int(pageRetrieved), int(QEvent::MaxUser));
    EXPECT_EQ(RegisteredMessage(QStringLiteral("Plyfold::PageRetrieved")), pageRetrieved);

    const std::set<int> types = {int(pageRetrieved), int(RegisteredMessage(MessageName::RemoveDoc)),
                                 int(RegisteredMessage(MessageName::RemovePage)),
                                 int(RegisteredMessage(MessageName::NewProgressUpdate))};
    EXPECT_EQ(types.size(), 4u);
    // Names are compared exactly.
    EXPECT_NE(RegisteredMessage(QStringLiteral("plyfold::pageretrieved")), pageRetrieved);
    EXPECT_EQ(RegisteredMessage(QString()), QEvent::None);
}

TEST(RegisteredMessageTest, ConcurrentFirstLookupsAgree) {
    constexpr int kThreads = 8;
    const std::array<QString, 4> names = {
        QStringLiteral("Test::RaceA"), QStringLiteral("Test::RaceB"), QStringLiteral("Test::RaceC"),
        QStringLiteral("Test::RaceD")};
    std::vector<std::array<int, 4>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each thread asks in a different order, so first registrations collide.
            for (int i = 0; i < 4; ++i) {
                const int n = (i + t) % 4;
                seen[t][n] = int(RegisteredMessage(names[n]));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 1; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], seen[0]) << "thread " << t;
    }
    EXPECT_EQ(std::set<int>(seen[0].begin(), seen[0].end()).size(), 4u);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(int(RegisteredMessage(names[n])), seen[0][n]);
    }
}

class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == RegisteredMessage(MessageName::RemovePage)) {
            const auto* message = static_cast<RegisteredMessageEvent*>(e);
            received.push_back({message->wParam(), message->lParam()});
            return true;
        }
        return QObject::event(e);
    }
    std::vector<std::pair<quintptr, quintptr>> received;
};

// Posted from a worker thread, delivered in order on the receiver's thread.
TEST(RegisteredMessageTest, PostedMessagesCarryTheirWords) {
    Receiver receiver;
    std::thread worker([&] {
        EXPECT_TRUE(PostRegisteredMessage(&receiver, MessageName::RemovePage, 0x1234, 7));
        EXPECT_TRUE(PostRegisteredMessage(&receiver, MessageName::RemovePage, ~quintptr(0),
                                          quintptr(1) << (sizeof(quintptr) * 8 - 1)));
    });
    worker.join();
    EXPECT_TRUE(receiver.received.empty()); // posted, not sent
    QCoreApplication::sendPostedEvents(&receiver, RegisteredMessage(MessageName::RemovePage));
    const std::vector<std::pair<quintptr, quintptr>> expected = {
        {0x1234, 7}, {~quintptr(0), quintptr(1) << (sizeof(quintptr) * 8 - 1)}};
    EXPECT_EQ(receiver.received, expected);
    EXPECT_FALSE(PostRegisteredMessage(nullptr, MessageName::RemovePage, 0, 0));
}

} // namespace
} // namespace plyfold
