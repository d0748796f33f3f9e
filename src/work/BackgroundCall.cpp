#include "work/BackgroundCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace plyfold {

namespace {

// Helper threads that live as long as the process, so that what a library keeps per thread
// (the viewer engine's context) is made once, not once per call.
QThreadPool& HelperThreads() {
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool();
        threads->setMaxThreadCount(4);
        threads->setExpiryTimeout(-1);
        return threads;
    }();
    return *pool;
}

// How often the waiting loop looks whether the task has returned.
constexpr int kPollMs = 2;

// While a wait runs: requests to close a window are put off, and carried out afterwards. Windows
// are widgets here, but this layer knows them only as objects: a close event sent to a widget is
// held back, and the widget's close slot is called once the wait is over.
class CloseDeferrer : public QObject {
public:
    CloseDeferrer() { QCoreApplication::instance()->installEventFilter(this); }
    ~CloseDeferrer() override {
        QCoreApplication::instance()->removeEventFilter(this);
        for (const QPointer<QObject>& window : m_closing) {
            if (window) {
                QMetaObject::invokeMethod(window, "close", Qt::QueuedConnection);
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && watched->isWidgetType()) {
            event->ignore();
            if (!m_closing.contains(watched)) {
                m_closing.append(watched);
            }
            return true;
        }
        return false;
    }

private:
    QList<QPointer<QObject>> m_closing;
};

} // namespace

struct BackgroundCall::State {
    std::function<void()> task;
    std::atomic<bool> done{false};
    std::mutex mutex;
    std::condition_variable finished;
};

BackgroundCall::BackgroundCall(std::function<void()> task) : m_state(std::make_shared<State>()) {
    m_state->task = std::move(task);
    HelperThreads().start([state = m_state] {
        state->task();
        {
            std::lock_guard lock(state->mutex);
            state->done = true;
        }
        state->finished.notify_all();
    });
}

BackgroundCall::~BackgroundCall() {
    Wait();
}

bool BackgroundCall::done() const {
    return m_state->done.load();
}

void BackgroundCall::Wait() {
    if (done()) {
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        CloseDeferrer deferClose;
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(kPollMs);
        QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
            if (done()) {
                loop.quit();
            }
        });
        poll.start();
        // exec returns at once when the application is quitting; then the wait below blocks.
        while (!done() && loop.exec(QEventLoop::ExcludeUserInputEvents) == 0) {
        }
    }
    std::unique_lock lock(m_state->mutex);
    m_state->finished.wait(lock, [this] { return m_state->done.load(); });
}

} // namespace plyfold
