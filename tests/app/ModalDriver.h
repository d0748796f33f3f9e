#pragma once

// Drives real modal dialogs in tests: each step waits until the active modal widget is of the
// step's type, acts on it, and the next step waits in turn. Steps must not run a nested modal loop
// themselves (the driver's timer cannot fire inside its own call), so a click that opens another
// dialog or ends one is posted with postClick().

#include "controls/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

namespace plyfold::test {

// Clicks the button once control returns to the event loop.
inline void postClick(QObject* button) {
    ASSERT_NE(button, nullptr);
    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
}

// A mouse click on a button's indicator or text: check boxes and radio buttons take clicks only
// there, not on the empty rest of their rectangle.
inline void clickButton(QWidget* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
}

class ModalDriver {
public:
    ModalDriver() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_clock.start();
        m_timer.start();
    }
    ~ModalDriver() {
        m_timer.stop();
        EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " dialog step(s) never ran";
    }

    // Adds a step that runs once the active modal widget is a T.
    template <typename T> ModalDriver& when(std::function<void(T*)> action) {
        m_steps.push_back([action](QWidget* modal) {
            T* dialog = qobject_cast<T*>(modal);
            if (!dialog || !dialog->isVisible()) {
                return false;
            }
            action(dialog);
            return true;
        });
        return *this;
    }

private:
    void Tick() {
        if (m_clock.elapsed() > 10000 && QApplication::activeModalWidget()) {
            // A dialog nobody answers would hang the test: close every modal dialog instead.
            ADD_FAILURE() << "a dialog stayed open; steps left: " << m_steps.size();
            m_steps.clear();
            while (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
                QApplication::processEvents();
            }
            return;
        }
        if (!m_steps.empty() && m_steps.front()(QApplication::activeModalWidget())) {
            m_steps.pop_front();
        }
    }

    std::deque<std::function<bool(QWidget*)>> m_steps;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// Answers the application's message boxes while it lives and records what they said. Each box is
// answered with the next of `answers`, then with `fallback`.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(std::deque<int> answers = {}, int fallback = QMessageBox::Ok)
        : m_answers(std::move(answers)), m_fallback(fallback) {
        SetMessageBoxAnswerer([this](const MessageBoxRequest& request) {
            m_requests.push_back(request);
            if (m_answers.empty()) {
                return m_fallback;
            }
            const int answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
    }
    ~MessageBoxRecorder() { SetMessageBoxAnswerer({}); }

    const std::vector<MessageBoxRequest>& requests() const { return m_requests; }
    QStringList texts() const {
        QStringList result;
        for (const MessageBoxRequest& r : m_requests) {
            result.append(r.text);
        }
        return result;
    }
    void clear() { m_requests.clear(); }

private:
    std::deque<int> m_answers;
    int m_fallback;
    std::vector<MessageBoxRequest> m_requests;
};

} // namespace plyfold::test
