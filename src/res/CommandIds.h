#pragma once

// Command ids. The buttons, menus and accelerators send these; the command dispatcher routes them
// to their handlers. Ids from 57344 up keep the values of the classic framework's standard
// commands, so that menus and accelerator tables read the same everywhere.

namespace plyfold::ids {

// Application commands (command bar buttons, accelerators, help menu).
inline constexpr int ID_ADD_FILE = 32772;          // Ctrl+O, "Add File" button
inline constexpr int ID_ADD_FOLDER = 32774;        // Ctrl+F, "Add Folder" button
inline constexpr int ID_ONLINE_HELP = 32778;       // help menu: online help page
inline constexpr int ID_WEBSITE = 32779;           // help menu: the maker's home page
inline constexpr int ID_TRY_TABULON = 32781;       // help menu: the maker's other product
inline constexpr int ID_CHECK_FOR_UPDATES = 32797; // help menu: update check
inline constexpr int ID_FILE_SAVE = 57603;         // Ctrl+S, "Save Merged" button
inline constexpr int ID_EDIT_CLEAR = 57632;        // Ctrl+X, "Clear All" button
inline constexpr int ID_APP_ABOUT = 57664;         // help menu: about window
inline constexpr int ID_HELP = 57670;              // the command bar's help button (drops menu 325)
inline constexpr int ID_NEXT_PANE = 57680;         // F6
inline constexpr int ID_PREV_PANE = 57681;         // Shift+F6

// Edit context menu (menu 119).
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;

// Context menus of document headers and page boxes (menus 326, 327, 328).
inline constexpr int ID_REMOVE_DOCUMENT = 32782;
inline constexpr int ID_DESELECT_ALL_PAGES = 32785;
inline constexpr int ID_ADD_ALL_PAGES = 32786;
inline constexpr int ID_REMOVE_PAGE = 32790;
inline constexpr int ID_USE_PAGE_IN_MERGE = 32791;

} // namespace plyfold::ids
