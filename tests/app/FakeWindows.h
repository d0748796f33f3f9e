#pragma once

// Stand-ins for the windows around the main view and the command bar: a top-level window that
// records the commands and notifications it receives, and an area that records what the view
// passes to it.

#include "app/AreaViewHooks.h"
#include "app/CommandTarget.h"
#include "work/EventNotify.h"

#include <QLineEdit>
#include <QList>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

namespace plyfold::test {

struct Received {
    QString receiver;
    NotifyCode code;
    NotifyData data;
    PageRetrievedInfo page; // copy of the datum of PageRetrieved
};

// A top-level window in the main frame's place: takes commands and notifications.
class FakeFrame : public QWidget, public CommandTarget, public EventNotify {
public:
    bool OnCommand(int commandId) override {
        commands << commandId;
        return true;
    }
    void Notify(NotifyCode code, NotifyData data) override {
        codes << code;
        (void)data;
    }

    QList<int> commands;
    QList<NotifyCode> codes;
};

// An area: records notifications (into a log shared with the other area), commands offered to it
// (taking only `takes`), and the lines the view scrolled it by. It holds an edit box, so that the
// wheel can be turned over a control inside an area.
class FakeArea : public QWidget, public EventNotify, public CommandTarget {
public:
    FakeArea(QWidget* parent, QString name, std::vector<Received>* log, int takes = 0)
        : QWidget(parent), m_name(std::move(name)), m_log(log), m_takes(takes) {
        setObjectName(m_name);
        edit = new QLineEdit(this);
        edit->setGeometry(10, 10, 80, 22);
    }
    void Notify(NotifyCode code, NotifyData data) override {
        Received r{m_name, code, data, {}};
        if (code == NotifyCode::PageRetrieved && data.page() != nullptr) {
            r.page = *data.page();
        }
        m_log->push_back(r);
    }
    bool OnCommand(int commandId) override {
        offered << commandId;
        return commandId == m_takes;
    }

    QLineEdit* edit = nullptr;
    QList<int> offered;
    QList<bool> lines; // true: a line down

private:
    QString m_name;
    std::vector<Received>* m_log;
    int m_takes;
};

// Hooks that make two FakeAreas and remember them; the work area takes command `workTakes`.
struct FakeAreas {
    std::vector<Received> log;
    FakeArea* work = nullptr;
    FakeArea* output = nullptr;
    AreaContext context; // what the hooks were given

    AreaViewHooks Hooks(int workTakes = 0) {
        AreaViewHooks hooks;
        hooks.createWorkArea = [this, workTakes](QWidget* parent, const AreaContext& c) {
            context = c;
            work = new FakeArea(parent, QStringLiteral("work"), &log, workTakes);
            return work;
        };
        hooks.createOutputArea = [this](QWidget* parent, const AreaContext&) {
            output = new FakeArea(parent, QStringLiteral("output"), &log);
            return output;
        };
        hooks.scrollLine = [](QWidget* widget, bool down) {
            auto* area = dynamic_cast<FakeArea*>(widget);
            if (area == nullptr) {
                return false;
            }
            area->lines << down;
            return true;
        };
        hooks.offerCommand = [](QWidget* widget, int commandId) {
            auto* area = dynamic_cast<FakeArea*>(widget);
            return area != nullptr && area->OnCommand(commandId);
        };
        return hooks;
    }
};

} // namespace plyfold::test
