#include "res/Menus.h"

#include "res/CommandIds.h"
#include "res/Links.h"

namespace plyfold {

namespace {

MenuItemDef Item(int commandId, const QString& text) {
    return {commandId, text, false};
}
MenuItemDef Separator() {
    return {0, QString(), true};
}

} // namespace

std::vector<MenuItemDef> MenuDefinition(int menuId) {
    switch (menuId) {
    case ids::IDR_EDIT_MENU:
        return {Item(ids::ID_EDIT_CUT, QStringLiteral("Cu&t\tCtrl+X")),
                Item(ids::ID_EDIT_COPY, QStringLiteral("&Copy\tCtrl+C")),
                Item(ids::ID_EDIT_PASTE, QStringLiteral("&Paste\tCtrl+V"))};
    case ids::IDR_HELP_MENU:
        return {Item(ids::ID_ONLINE_HELP, QStringLiteral("Plyfold Online &Help...")),
                Item(ids::ID_WEBSITE, QString::fromLatin1(links::kMakerHost)),
                Item(ids::ID_TRY_TABULON, QStringLiteral("Try &Tabulon")),
                Separator(),
                Item(ids::ID_CHECK_FOR_UPDATES, QStringLiteral("Check for &Updates")),
                Separator(),
                Item(ids::ID_APP_ABOUT, QStringLiteral("About &Plyfold..."))};
    case ids::IDR_DOCUMENT_MENU:
        return {Item(ids::ID_REMOVE_DOCUMENT, QStringLiteral("Remove Document")), Separator(),
                Item(ids::ID_ADD_ALL_PAGES, QStringLiteral("Add all pages to merge")),
                Item(ids::ID_DESELECT_ALL_PAGES, QStringLiteral("De-Select all pages"))};
    case ids::IDR_PAGE_MENU:
        return {Item(ids::ID_USE_PAGE_IN_MERGE, QStringLiteral("Use this page in merge"))};
    case ids::IDR_OUTPUT_PAGE_MENU:
        return {Item(ids::ID_REMOVE_PAGE, QStringLiteral("Remove page"))};
    default:
        return {};
    }
}

std::vector<int> MenuIds() {
    return {ids::IDR_EDIT_MENU, ids::IDR_HELP_MENU, ids::IDR_DOCUMENT_MENU, ids::IDR_PAGE_MENU,
            ids::IDR_OUTPUT_PAGE_MENU};
}

} // namespace plyfold
