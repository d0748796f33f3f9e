#pragma once

// Dialog and control ids of the save dialogs and the output options dialog. Dialog results keep
// the classic values (OK 1, Cancel 2) so that a caller can tell "closed with Cancel" (2) from
// "never shown" (0).

namespace plyfold::ids {

// Dialog results and the standard button ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// "Output Options" (dialog 900).
inline constexpr int IDD_OUTPUT_OPTIONS = 900;
inline constexpr int IDC_UNPROTECTED = 1800; // radio group start
inline constexpr int IDC_PROTECT = 1801;
inline constexpr int IDC_PASSWORD = 1802;
inline constexpr int IDC_REQUIRE_VIEWING = 1803;
inline constexpr int IDC_REQUIRE_PRINTING = 1804;
inline constexpr int IDC_REQUIRE_ANNOTATION = 1805;
inline constexpr int IDC_REQUIRE_FORMS = 1806;
inline constexpr int IDC_REQUIRE_COPYING = 1807;

// The save dialog's extra button.
inline constexpr int IDC_OUTPUT_OPTIONS_BUTTON = 1004;

// "Save Merge Complete" (dialog 333).
inline constexpr int IDD_SAVE_COMPLETE = 333;
inline constexpr int IDC_SAVE_COMPLETE_HEADLINE = 1006;
inline constexpr int IDC_SAVE_COMPLETE_ICON = 1008;
inline constexpr int IDC_SHOW_FOLDER = 6; // also the dialog's result for "Show containing folder"

} // namespace plyfold::ids
