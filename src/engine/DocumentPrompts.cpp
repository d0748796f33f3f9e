#include "engine/DocumentPrompts.h"

#include <QDebug>

namespace plyfold {

namespace {

PasswordPrompt& installedPrompt() {
    static PasswordPrompt prompt;
    return prompt;
}

ErrorReporter& installedReporter() {
    static ErrorReporter reporter;
    return reporter;
}

} // namespace

void SetPasswordPrompt(PasswordPrompt prompt) {
    installedPrompt() = std::move(prompt);
}

void SetErrorReporter(ErrorReporter reporter) {
    installedReporter() = std::move(reporter);
}

std::optional<QString> AskForPassword(const PasswordPromptRequest& request) {
    if (!installedPrompt()) {
        return std::nullopt;
    }
    return installedPrompt()(request);
}

void ReportError(const ErrorReport& report) {
    if (!installedReporter()) {
        qWarning().noquote() << report.text;
        if (!report.detail.isEmpty()) {
            qWarning().noquote() << report.detail;
        }
        return;
    }
    installedReporter()(report);
}

} // namespace plyfold
