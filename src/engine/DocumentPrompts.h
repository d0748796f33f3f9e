#pragma once

// What opening documents needs from the person at the program: a password typed for a file, and
// being told that a file cannot be opened. The engine asks only through these two calls; how they
// are answered belongs to the user interface, which installs its dialogs (app/DialogPrompts.h)
// or, for a command, its terminal. Until something is installed no password can be asked (the
// file is refused as after Cancel) and an error goes to the log. User-interface thread.

#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace plyfold {

struct PasswordPromptRequest {
    QObject* owner = nullptr; // the window the question belongs over; null: the one in front
    QString title;            // the question, e.g. "Enter Password for report.pdf"
};

struct ErrorReport {
    QObject* owner = nullptr; // the window the message belongs over; null: the one in front
    QString text;             // the whole message
    QString detail;           // why, when known (shown below the message); may be empty
};

// Returns the password confirmed by the person, or nothing when they cancelled or cannot be asked.
using PasswordPrompt = std::function<std::optional<QString>(const PasswordPromptRequest&)>;
using ErrorReporter = std::function<void(const ErrorReport&)>;

// Installs the answers of the user interface; an empty function restores the default.
void SetPasswordPrompt(PasswordPrompt prompt);
void SetErrorReporter(ErrorReporter reporter);

// Used by the engine: passes the request to what is installed.
std::optional<QString> AskForPassword(const PasswordPromptRequest& request);
void ReportError(const ErrorReport& report);

} // namespace plyfold
