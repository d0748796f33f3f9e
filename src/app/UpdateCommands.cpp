#include "app/UpdateCommands.h"

#include "app/CMainFrame.h"
#include "app/CNewProgressDlg.h"
#include "app/CPlyfoldApp.h"
#include "app/CPlyfoldSplash.h"
#include "app/ShellOpen.h"
#include "controls/MessageBox.h"
#include "res/CommandIds.h"
#include "res/Links.h"
#include "res/Strings.h"
#include "update/CUpdateNotifyDlg.h"
#include "update/CheckForUpdatesItem.h"
#include "update/DownloadUpdateItem.h"
#include "update/UpdateSettings.h"
#include "work/WorkThreadWithProgress.h"

#include <QCoreApplication>
#include <QUrl>

#include <memory>

namespace plyfold {

namespace {

QuitRequester& quitRequester() {
    static QuitRequester requester;
    return requester;
}

// Ends the application the way the platform's quit message does: once the event loop runs again.
void requestQuit() {
    if (const QuitRequester& requester = quitRequester()) {
        requester();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void openLink(const char* address) {
    // The result is ignored, as for every link.
    ShellOpenUrl(QUrl(QString::fromLatin1(address)));
}

} // namespace

bool IsWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    return scheme == QStringLiteral("http") || scheme == QStringLiteral("https");
}

void SetQuitRequester(QuitRequester requester) {
    quitRequester() = std::move(requester);
}

UpdateRunResult RunUpdateCheck(QWidget* mainWindow) {
    // The thread is destroyed last (after the dialog that reports through it); destroying it stops
    // the worker.
    WorkThreadWithProgress thread;
    CNewProgressDlg progress(mainWindow, &thread);
    thread.Start();
    // The reports travel through the main window's event queue; without a main window, through
    // the dialog's own.
    thread.AttachToWindow(mainWindow != nullptr ? static_cast<QObject*>(mainWindow) : &progress);
    thread.Reset();

    progress.storeResult = true;
    thread.AddItem(std::make_unique<CheckForUpdatesItem>(&thread));
    progress.DoModal();

    std::unique_ptr<UpdateInfo> result;
    if (progress.finishedCode == FinishedCode::UpdateQuery && progress.finishedValue != 0) {
        result.reset(reinterpret_cast<UpdateInfo*>(progress.finishedValue));
    }
    if (progress.cancelled) {
        return UpdateRunResult::Cancelled;
    }
    if (!result || (result->kind == UpdateInfo::NoUpdate && !result->override)) {
        AppMessageBox(mainWindow, ids::IDS_NO_UPDATES, {}, MessageIcon::Information);
        return UpdateRunResult::NoUpdate;
    }

    const QString displayName = LoadResString(ids::IDS_PRODUCT_NAME);
    CUpdateNotifyDlg offer(*result, displayName, mainWindow);
    if (offer.DoModal() != CUpdateNotifyDlg::kAccepted) {
        RecordNotified(result.get());
        return UpdateRunResult::Declined;
    }
    if (result->kind == UpdateInfo::PaidUpgrade) {
        // The address comes from the server: only a web page is opened, never a program or file.
        const bool web = IsWebAddress(result->actionAddress);
        if (web) {
            ShellOpenUrl(QUrl(result->actionAddress));
        }
        RecordNotified(result.get());
        return web ? UpdateRunResult::PurchaseOpened : UpdateRunResult::PurchaseRefused;
    }

    if (!result->override) {
        PrepareDownload(*result, displayName);
    }
    thread.Reset();
    thread.AddItem(std::make_unique<DownloadUpdateItem>(&thread));
    progress.DoModal();
    if (progress.cancelled) {
        return UpdateRunResult::DownloadCancelled;
    }
    if (!IsInstallerReady()) {
        return UpdateRunResult::NotReady;
    }
    if (!LaunchInstaller()) {
        return UpdateRunResult::LaunchFailed;
    }
    requestQuit();
    return UpdateRunResult::Launched;
}

void RegisterUpdateCommands(CPlyfoldApp& app) {
    CommandDispatcher& commands = app.commands();
    commands.Register(ids::ID_CHECK_FOR_UPDATES, [&app] { RunUpdateCheck(app.mainFrame()); });
    commands.Register(ids::ID_APP_ABOUT, [&app] { ShowAbout(app.mainFrame()); });
    commands.Register(ids::ID_ONLINE_HELP, [] { openLink(links::kOnlineHelpUrl); });
    commands.Register(ids::ID_WEBSITE, [] { openLink(links::kMakerHomeUrl); });
    commands.Register(ids::ID_TRY_TABULON, [] { openLink(links::kOtherProductUrl); });
}

} // namespace plyfold
