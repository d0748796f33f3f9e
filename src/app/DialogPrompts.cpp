#include "app/DialogPrompts.h"

#include "controls/CStringDlg.h"
#include "controls/MessageBox.h"
#include "engine/DocumentPrompts.h"

#include <QWidget>

namespace plyfold {

void InstallDialogPrompts() {
    SetPasswordPrompt([](const PasswordPromptRequest& request) -> std::optional<QString> {
        CStringDlg prompt(qobject_cast<QWidget*>(request.owner));
        prompt.passwordMode = true;
        prompt.title = request.title;
        if (prompt.DoModal() != CStringDlg::kResultOk) {
            return std::nullopt;
        }
        return prompt.text;
    });
    SetErrorReporter([](const ErrorReport& report) {
        AppMessageBoxText(qobject_cast<QWidget*>(report.owner), report.text, MessageIcon::Error,
                          QMessageBox::Ok, QString(), report.detail);
    });
}

} // namespace plyfold
