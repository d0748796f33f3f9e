#pragma once

// Shared pieces of the update tests: the test key pair and a progress interface that records
// what it is told.

#include "work/NewProgressInterface.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plyfold::test {

inline QString testKeyPath(const char* name) {
    return QStringLiteral(PLYFOLD_UPDATE_TEST_KEYS "/") + QString::fromLatin1(name);
}

inline QByteArray readTestKey(const char* name) {
    QFile file(testKeyPath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records every report as a line of text; Finished keeps its code and value.
class RecordingProgress : public NewProgressInterface {
public:
    void Reset() override { add(QStringLiteral("Reset")); }
    void SetRange(int min, int max, int pos) override {
        add(QStringLiteral("SetRange(%1,%2,%3)").arg(min).arg(max).arg(pos));
    }
    void SetMarquee() override { add(QStringLiteral("SetMarquee")); }
    void SetText(const QString& text, int pos) override {
        add(QStringLiteral("SetText(%1,%2)").arg(text).arg(pos));
    }
    void SetPos(int pos) override { add(QStringLiteral("SetPos(%1)").arg(pos)); }
    void Finished(int code, std::intptr_t value) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.append(QStringLiteral("Finished(%1)").arg(code));
            m_finishedCode = code;
            m_finishedValue = value;
            m_finished = true;
        }
        m_changed.notify_all();
    }
    const std::atomic<bool>* CancelledFlag() override { return &cancelled; }
    void EnableCancel(bool enable) override {
        add(QStringLiteral("EnableCancel(%1)").arg(enable ? 1 : 0));
    }
    NewProgressDisplay* CurrentDisplay() override { return nullptr; }

    QStringList calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    bool WaitFinished(int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_finished; });
    }
    int finishedCode() const { return m_finishedCode; }
    std::intptr_t finishedValue() const { return m_finishedValue; }

    std::atomic<bool> cancelled{false};

private:
    void add(const QString& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.append(line);
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_calls;
    bool m_finished = false;
    int m_finishedCode = -1;
    std::intptr_t m_finishedValue = -1;
};

} // namespace plyfold::test
