#pragma once

// The help menu's commands: Check for Updates (the whole update run), About, and the three web
// links (online help, the maker's home page, the maker's other product).

#include <QString>

#include <functional>

class QWidget;

namespace plyfold {

class CPlyfoldApp;

// Registers the handlers of ID_CHECK_FOR_UPDATES, ID_APP_ABOUT, ID_ONLINE_HELP, ID_WEBSITE and
// ID_TRY_TABULON on app.commands(). The handlers use the application's main frame at the time
// they run.
void RegisterUpdateCommands(CPlyfoldApp& app);

// How an update run ended.
enum class UpdateRunResult {
    Cancelled,       // the user cancelled the query
    NoUpdate,        // no offer, or the query failed: "No updates found" was shown
    Declined,        // the offer was shown and declined (remembered as shown)
    PurchaseOpened,  // a paid upgrade's page was opened
    PurchaseRefused, // a paid upgrade's address was not a web address and was not opened
    DownloadCancelled,
    NotReady,     // the download ended without a verified installer; nothing is started
    LaunchFailed, // the installer could not be started; the application keeps running
    Launched,     // the installer started and the application was asked to quit
};

// The update run of Check for Updates, on the user-interface thread: the query under the modal
// progress dialog, "No updates found" (string 242, information icon) or the offer dialog; on
// acceptance the purchase page, or the download under the same progress dialog, the check of the
// package and the installer's start, after which the application is asked to quit.
UpdateRunResult RunUpdateCheck(QWidget* mainWindow);

// True for an absolute http or https address with a host: the only addresses the update run
// opens in the browser on the server's word.
bool IsWebAddress(const QString& address);

// Tests replace the end of the application: while a requester is set, a run whose installer
// started calls it instead of asking the application to quit. Pass an empty function to restore.
using QuitRequester = std::function<void()>;
void SetQuitRequester(QuitRequester requester);

} // namespace plyfold
