#pragma once

// The program's dialogs as the engine's document prompts (engine/DocumentPrompts.h): a password is
// asked with the password dialog (CStringDlg in password mode, titled with the question), an error
// is shown in the application's message box with the error icon. Both keep their test answerers
// (SetStringDlgAnswerer, SetMessageBoxAnswerer).

namespace plyfold {

// Installs both; called once when the program starts, before any document is opened.
void InstallDialogPrompts();

} // namespace plyfold
