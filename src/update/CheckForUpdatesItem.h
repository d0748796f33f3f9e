#pragma once

// The update query: one enciphered POST to the update server, whose plain reply says whether a
// newer version exists. Runs as a work item on the update run's worker thread and hands its result
// to the progress interface.

#include "update/QzInternetRequestSync.h"
#include "update/UpdateInfo.h"
#include "work/WorkThread.h"

#include <QString>

#include <memory>

namespace plyfold {

class NewProgressInterface;

class CheckForUpdatesItem : public WorkItem {
public:
    // `progress` (not owned, may be null) receives the progress reports and the result; it must
    // outlive the item.
    explicit CheckForUpdatesItem(NewProgressInterface* progress);
    ~CheckForUpdatesItem() override;

    // Query, then Finished(FinishedCode::UpdateQuery, result) on the progress interface, which
    // takes the result over (a null result is passed as 0). Without a progress interface the
    // result is destroyed.
    void Run() override;
    // From another thread: breaks off the POST in progress.
    void Cancel() override;

    // The query without the hand-over (worker thread): the reply parsed into an UpdateInfo, an
    // override object when "InstallerOverride" is set or a pending download takes precedence, or
    // null on any failure (no network, server error, wrong content type, unreadable reply,
    // enciphering failure) and when cancelled. Only a successful query writes to the settings
    // ("LastChecked").
    std::unique_ptr<UpdateInfo> Query();

    // True when the item's cancelFlag or the user's cancel flag reads true.
    bool Cancelled() const;

    // Why the last Query gave no result, for diagnosis (never shown to the user); empty after a
    // query that gave one.
    const QString& failure() const { return m_failure; }

    const QzInternetRequestSync& request() const { return m_request; }

private:
    std::unique_ptr<UpdateInfo> Fail(const QString& why);

    NewProgressInterface* const m_progress;
    std::unique_ptr<UpdateInfo> m_result;
    QzInternetRequestSync m_request;
    QString m_failure;
};

} // namespace plyfold
