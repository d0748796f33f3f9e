#pragma once

// The program's string table: every user-visible text that the program loads by number.
//
// Texts are kept exactly as the program shows them, including printf-style placeholders
// (%s, %d, %u), the "&" mnemonic markers, line feeds that split a tooltip into its title and its
// description, and the "|"-separated file-dialog filters. Use FormatResString to fill the
// placeholders: it never interprets the arguments themselves, so a path holding "%s" is safe.

#include <QString>
#include <QStringList>
#include <vector>

namespace plyfold {

namespace ids {

// Start-up and the main window.
inline constexpr int IDS_OLE_INIT_FAILED = 100; // plain message box, the application ends
inline constexpr int IDR_MAINFRAME = 128;       // main window title "Tessarine Plyfold"
inline constexpr int IDS_APP_TITLE = 57344;     // application title, also the settings name

// Command bar captions and tooltips (tooltips are "title\ndescription").
inline constexpr int IDS_ADD_FILE = 200;
inline constexpr int IDS_ADD_FOLDER = 201;
inline constexpr int IDS_CLEAR_ALL = 202;
inline constexpr int IDS_SAVE_MERGED = 203;
inline constexpr int IDS_ADD_FILE_TIP = 235;
inline constexpr int IDS_ADD_FOLDER_TIP = 236;
inline constexpr int IDS_CLEAR_ALL_TIP = 237;
inline constexpr int IDS_SAVE_MERGED_TIP = 238;

// File and folder choosers.
inline constexpr int IDS_PDF_FILTER = 204;     // "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*||"
inline constexpr int IDS_SELECT_FOLDER = 220;  // folder browser title
inline constexpr int IDS_OPTIONS_BUTTON = 231; // "Options..." button of the save dialog

// Opening documents and passwords.
inline constexpr int IDS_ENTER_PASSWORD = 205; // "Enter Password for %s" (file name)
inline constexpr int IDS_OPEN_FAILED = 206;    // "Cannot open file '%s'" (path)
inline constexpr int IDS_COPY_PASSWORD = 212;  // copy-permission password prompt (file name)

// Work area and output area.
inline constexpr int IDS_EMPTY_AREA_TITLE = 207;
inline constexpr int IDS_EMPTY_AREA_HINT = 208;
inline constexpr int IDS_OUTPUT_PAGE_COUNT = 209;  // "Output File: %d Pages"
inline constexpr int IDS_PAGE_CAPTION = 210;       // "Page: %d"
inline constexpr int IDS_PAGE_CAPTION_SHORT = 239; // "P.: %d", when the long caption is too wide
inline constexpr int IDS_SHOW_CONTENTS = 213;
inline constexpr int IDS_HIDE_CONTENTS = 214;
inline constexpr int IDS_REMOVE_FILE_TIP = 215;
inline constexpr int IDS_REMOVE_PAGE_TIP = 216;
inline constexpr int IDS_TOGGLE_FILE_TIP = 217;
inline constexpr int IDS_TOGGLE_PAGE_TIP = 218;
inline constexpr int IDS_LOADING = 233; // drawn where a page image is not ready yet

// Saving the merged file.
inline constexpr int IDS_READ_ERROR = 211; // "Error while reading %s" (path)
inline constexpr int IDS_SAVE_FAILED = 226;
inline constexpr int IDS_NO_PAGES_SELECTED = 227;
inline constexpr int IDS_MERGE_FAILED = 228;
inline constexpr int IDS_OUTPUT_IS_INPUT = 229;
inline constexpr int IDS_NO_DOCUMENTS = 232;
inline constexpr int IDS_TOO_FEW_SOURCES = 234;

// Output options.
inline constexpr int IDS_EMPTY_PASSWORD = 580;
inline constexpr int IDS_PASSWORD_WITHOUT_PERMISSIONS = 581;

// Splash and about window ("<version>", "<user>", "<company>", "<copyright>" are replaced).
inline constexpr int IDS_SPLASH_VERSION = 222;
inline constexpr int IDS_CLICK_TO_DISMISS = 223;
inline constexpr int IDS_SPLASH_COPYRIGHT = 241;

// Product name and the edit context menu's name.
inline constexpr int IDS_PRODUCT_NAME = 240;
inline constexpr int IDS_EDIT_MENU = 306;

// Update check, download and offer.
inline constexpr int IDS_NO_UPDATES = 242;
inline constexpr int IDS_CHECKING_FOR_UPDATES = 3404;
inline constexpr int IDS_COLLECTING_UPDATE_DATA = 3405;
inline constexpr int IDS_RETRIEVING_RESULTS = 3406;
inline constexpr int IDS_INITIALIZING_DOWNLOAD = 3407;
inline constexpr int IDS_CONNECTING = 3408;
inline constexpr int IDS_DOWNLOADING_UPDATE = 3409;
inline constexpr int IDS_DOWNLOAD_PROGRESS = 3410; // "Downloading Update\n%uKb of %uKb"
inline constexpr int IDS_PURCHASE_UPDATE = 3411;
inline constexpr int IDS_DOWNLOAD = 3412;
inline constexpr int IDS_CLOSE = 3413;
inline constexpr int IDS_IGNORE = 3414;

} // namespace ids

// Text of string `id`; an empty string when the table has no such id.
QString LoadResString(int id);

// True when the table holds string `id`.
bool HasResString(int id);

// Every id of the table, ascending.
std::vector<int> ResStringIds();

// Replaces the printf-style conversions of `format` (%s, %d, %i, %u, %ls, %S; "%%" is a percent
// sign) by `args` in order, in one pass: text inside an argument is never expanded again. A
// conversion without an argument becomes empty; surplus arguments are ignored; a "%" followed by
// anything else stays as it is.
QString FormatText(const QString& format, const QStringList& args);

// FormatText over string `id`; an empty string when the id is missing.
QString FormatResString(int id, const QStringList& args);

} // namespace plyfold
