// Window hooks: chains of hooks in front of a window's event handling, newest first, unhooked in
// any order, and detached when the window is destroyed.

#include "work/CSubclassWnd.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace plyfold {
namespace {

using Log = std::vector<std::string>;

QEvent::Type TestEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void SendTestEvent(QObject* window) {
    QEvent event(TestEventType());
    QCoreApplication::sendEvent(window, &event);
}

// Records the test events it sees, and whether it ever saw the window's final Destroy event.
class RecordingHook : public CSubclassWnd {
public:
    RecordingHook(std::string name, Log* log) : m_name(std::move(name)), m_log(log) {}

    bool handle = false;            // swallow test events
    bool unhookOnEvent = false;     // take itself out of the chain while handling one
    std::vector<QObject*> seenFrom; // windows of the test events seen

    bool Unsubclass(QObject* window) override {
        m_log->push_back(m_name + " unsubclass");
        return CSubclassWnd::Unsubclass(window);
    }

protected:
    bool WindowProc(QObject* window, QEvent* event) override {
        if (event->type() == TestEventType()) {
            m_log->push_back(m_name);
            seenFrom.push_back(window);
            if (unhookOnEvent) {
                Unsubclass(window);
            }
            if (handle) {
                return true;
            }
        } else if (event->type() == QEvent::Destroy) {
            m_log->push_back(m_name + " saw Destroy");
        }
        return CSubclassWnd::WindowProc(window, event);
    }

private:
    std::string m_name;
    Log* m_log;
};

class Window : public QWidget {
public:
    explicit Window(Log* log) : m_log(log) {}

protected:
    bool event(QEvent* e) override {
        if (e->type() == TestEventType()) {
            m_log->push_back("window");
        }
        return QWidget::event(e);
    }

private:
    Log* m_log;
};

// A plain event filter installed before any hook: the last stop before the window itself. It
// notes which hooks still sit on the window when the window's final Destroy event arrives.
class DestroyWitness : public QObject {
public:
    DestroyWitness(Log* log, std::vector<CSubclassWnd*> hooks)
        : m_log(log), m_hooks(std::move(hooks)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Destroy) {
            int attached = 0;
            for (CSubclassWnd* hook : m_hooks) {
                attached += hook->IsSubclassed(watched) ? 1 : 0;
            }
            m_log->push_back("Destroy with " + std::to_string(attached) + " hooks");
        }
        return false;
    }

private:
    Log* m_log;
    std::vector<CSubclassWnd*> m_hooks;
};

Log Take(Log& log) {
    Log taken;
    taken.swap(log);
    return taken;
}

TEST(CSubclassWndTest, NewerHookFirstAndUnhookingTheOlderFirst) {
    Log log;
    Window window(&log);
    RecordingHook older("older", &log);
    RecordingHook newer("newer", &log);
    EXPECT_TRUE(older.Subclass(&window));
    EXPECT_TRUE(newer.Subclass(&window));
    EXPECT_FALSE(older.Subclass(&window)); // already there: stays where it is

    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"newer", "older", "window"}));

    newer.handle = true; // handled: nothing further down the chain sees it
    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"newer"}));
    newer.handle = false;

    EXPECT_TRUE(older.Unsubclass(&window));
    EXPECT_FALSE(older.IsSubclassed(&window));
    EXPECT_TRUE(newer.IsSubclassed(&window));
    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"older unsubclass", "newer", "window"}));

    EXPECT_TRUE(newer.Unsubclass(&window));
    EXPECT_FALSE(newer.Unsubclass(&window));
    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"newer unsubclass", "newer unsubclass", "window"}));
}

TEST(CSubclassWndTest, HookTakingItselfOutWhileHandlingAnEvent) {
    Log log;
    Window window(&log);
    RecordingHook older("older", &log);
    RecordingHook newer("newer", &log);
    older.Subclass(&window);
    newer.Subclass(&window);
    newer.unhookOnEvent = true;
    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"newer", "newer unsubclass", "older", "window"}));
    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"older", "window"}));
}

// Destroying the window takes every hook off it before the window's own final Destroy event, so
// no hook sees it, and the hooks can be destroyed afterwards without touching the dead window.
TEST(CSubclassWndTest, DestroyingTheWindowDetachesEveryHook) {
    Log log;
    auto older = std::make_unique<RecordingHook>("older", &log);
    auto newer = std::make_unique<RecordingHook>("newer", &log);
    auto* window = new Window(&log);
    auto* child = new QWidget(window);
    DestroyWitness witness(&log, {older.get(), newer.get()});
    window->installEventFilter(&witness);
    EXPECT_TRUE(older->Subclass(window));
    EXPECT_TRUE(newer->Subclass(window));
    EXPECT_TRUE(older->Subclass(child)); // a hook on the child too, gone with it

    delete window;
    const Log seen = Take(log);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "Destroy with 0 hooks");
    for (const std::string& entry : seen) {
        EXPECT_EQ(entry.find("saw Destroy"), std::string::npos) << entry;
    }
    EXPECT_TRUE(older->Windows().empty());
    EXPECT_TRUE(newer->Windows().empty());

    older.reset();
    newer.reset();
    EXPECT_EQ(Take(log), Log{});
}

// Any QObject can carry hooks; its destruction detaches them too.
TEST(CSubclassWndTest, DestroyingAPlainObjectDetachesItsHooks) {
    Log log;
    RecordingHook hook("hook", &log);
    auto* object = new QObject;
    auto* child = new QObject(object);
    EXPECT_TRUE(hook.Subclass(object));
    EXPECT_TRUE(hook.Subclass(child));
    SendTestEvent(child);
    EXPECT_EQ(Take(log), (Log{"hook"}));
    delete object;
    EXPECT_TRUE(hook.Windows().empty());
    EXPECT_EQ(Take(log), (Log{"hook unsubclass", "hook unsubclass"}));
}

TEST(CSubclassWndTest, OneHookOnSeveralWindows) {
    Log log;
    Window first(&log);
    auto* second = new Window(&log);
    RecordingHook hook("hook", &log);
    EXPECT_TRUE(hook.Subclass(&first));
    EXPECT_TRUE(hook.Subclass(second));
    EXPECT_EQ(hook.Windows(), (std::vector<QObject*>{&first, second}));

    SendTestEvent(second);
    SendTestEvent(&first);
    EXPECT_EQ(hook.seenFrom, (std::vector<QObject*>{second, &first}));
    Take(log);

    delete second;
    EXPECT_EQ(hook.Windows(), (std::vector<QObject*>{&first}));
    SendTestEvent(&first);
    EXPECT_EQ(Take(log), (Log{"hook unsubclass", "hook", "window"}));

    // A null window detaches from all.
    EXPECT_FALSE(hook.Subclass(nullptr));
    EXPECT_TRUE(hook.Windows().empty());
    SendTestEvent(&first);
    EXPECT_EQ(Take(log), (Log{"hook unsubclass", "window"}));
}

TEST(CSubclassWndTest, DestroyingAHookLeavesTheWindowWorking) {
    Log log;
    Window window(&log);
    auto hook = std::make_unique<RecordingHook>("hook", &log);
    RecordingHook other("other", &log);
    other.Subclass(&window);
    hook->Subclass(&window);
    hook.reset();
    SendTestEvent(&window);
    EXPECT_EQ(Take(log), (Log{"other", "window"}));
}

} // namespace
} // namespace plyfold
