#pragma once

// Menus as data. Each menu is one popup; its items are listed in display order. A separator has
// command id 0 and no text. Texts keep their "&" mnemonic markers and, after a tab, the shortcut
// shown at the right edge of the item.

#include <QString>
#include <vector>

namespace plyfold {

namespace ids {
inline constexpr int IDR_EDIT_MENU = 119;        // Cut, Copy, Paste; registered under string 306
inline constexpr int IDR_HELP_MENU = 325;        // drops down from the command bar's help button
inline constexpr int IDR_DOCUMENT_MENU = 326;    // context menu of a document header
inline constexpr int IDR_PAGE_MENU = 327;        // context menu of a work-area page box
inline constexpr int IDR_OUTPUT_PAGE_MENU = 328; // context menu of an output-area page box
} // namespace ids

struct MenuItemDef {
    int commandId = 0;
    QString text;
    bool separator = false;
};

// Items of menu `menuId` in order; empty for an unknown id.
std::vector<MenuItemDef> MenuDefinition(int menuId);

// Ids of every menu MenuDefinition knows, ascending.
std::vector<int> MenuIds();

} // namespace plyfold
