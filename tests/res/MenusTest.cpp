#include "res/Menus.h"
#include "res/Accelerators.h"
#include "res/CommandIds.h"
#include "res/Links.h"

#include <gtest/gtest.h>
#include <set>

namespace plyfold {
namespace {

// A separator is written as {0, ""}.
struct ExpectedItem {
    int commandId;
    const char* text;
};

struct MenuCase {
    int menuId;
    std::vector<ExpectedItem> items;
};

TEST(ResMenus, ItemsInOrder) {
    const QString host = QString::fromLatin1(links::kMakerHost);
    const MenuCase cases[] = {
        {119, {{57635, "Cu&t\tCtrl+X"}, {57634, "&Copy\tCtrl+C"}, {57637, "&Paste\tCtrl+V"}}},
        {325,
         {{32778, "Plyfold Online &Help..."},
          {32779, links::kMakerHost},
          {32781, "Try &Tabulon"},
          {0, ""},
          {32797, "Check for &Updates"},
          {0, ""},
          {57664, "About &Plyfold..."}}},
        {326,
         {{32782, "Remove Document"},
          {0, ""},
          {32786, "Add all pages to merge"},
          {32785, "De-Select all pages"}}},
        {327, {{32791, "Use this page in merge"}}},
        {328, {{32790, "Remove page"}}},
    };
    std::set<int> seen;
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(c.menuId);
        seen.insert(c.menuId);
        const std::vector<MenuItemDef> items = MenuDefinition(c.menuId);
        ASSERT_EQ(items.size(), c.items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE(i);
            const bool separator = c.items[i].commandId == 0;
            EXPECT_EQ(items[i].separator, separator);
            EXPECT_EQ(items[i].commandId, c.items[i].commandId);
            EXPECT_EQ(items[i].text, QString::fromUtf8(c.items[i].text));
        }
    }
    const std::vector<int> known = MenuIds();
    EXPECT_EQ(std::set<int>(known.begin(), known.end()), seen);
}

TEST(ResMenus, CommandIdsMatchTheirNames) {
    EXPECT_EQ(ids::ID_ADD_FILE, 32772);
    EXPECT_EQ(ids::ID_ADD_FOLDER, 32774);
    EXPECT_EQ(ids::ID_EDIT_CLEAR, 57632);
    EXPECT_EQ(ids::ID_FILE_SAVE, 57603);
    EXPECT_EQ(ids::ID_ONLINE_HELP, 32778);
    EXPECT_EQ(ids::ID_WEBSITE, 32779);
    EXPECT_EQ(ids::ID_TRY_TABULON, 32781);
    EXPECT_EQ(ids::ID_CHECK_FOR_UPDATES, 32797);
    EXPECT_EQ(ids::ID_APP_ABOUT, 57664);
    EXPECT_EQ(ids::ID_HELP, 57670);
}

TEST(ResMenus, UnknownMenuIsEmpty) {
    for (int id : {0, -1, 128, 324, 329, 900}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(MenuDefinition(id).empty());
    }
}

TEST(ResAccelerators, MainTable) {
    struct Case {
        const char* keys;
        int commandId;
    };
    const Case expected[] = {
        {"Ctrl+O", 32772}, {"Ctrl+F", 32774}, {"Ctrl+X", 57632},
        {"Ctrl+S", 57603}, {"F6", 57680},     {"Shift+F6", 57681},
    };
    const std::vector<AcceleratorDef> table = AcceleratorTable(128);
    ASSERT_EQ(table.size(), std::size(expected));
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(expected[i].keys);
        EXPECT_EQ(table[i].commandId, expected[i].commandId);
        EXPECT_EQ(table[i].keys,
                  QKeySequence(QString::fromLatin1(expected[i].keys), QKeySequence::PortableText));
        EXPECT_EQ(table[i].keys.count(), 1);
    }
}

TEST(ResAccelerators, UnknownTableIsEmpty) {
    EXPECT_TRUE(AcceleratorTable(0).empty());
    EXPECT_TRUE(AcceleratorTable(325).empty());
}

} // namespace
} // namespace plyfold
