#include "res/Strings.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

// Every string id the program loads by number.
const int kExpectedIds[] = {
    100, 128,  200,  201,  202,  203,  204,  205,  206,  207,  208,  209,  210,   211,
    212, 213,  214,  215,  216,  217,  218,  220,  222,  223,  226,  227,  228,   229,
    231, 232,  233,  234,  235,  236,  237,  238,  239,  240,  241,  242,  306,   580,
    581, 3404, 3405, 3406, 3407, 3408, 3409, 3410, 3411, 3412, 3413, 3414, 57344,
};

TEST(ResStrings, EveryIdTheProgramUsesExistsWithText) {
    for (int id : kExpectedIds) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(HasResString(id));
        EXPECT_FALSE(LoadResString(id).isEmpty());
    }
    EXPECT_EQ(ResStringIds().size(), std::size(kExpectedIds));
}

// Texts whose exact form matters: doubled spaces, placeholders, tooltip line feeds, filters with
// their trailing separators, mnemonic markers, and wording kept exactly as the program shows it.
struct TextCase {
    int id;
    const char* text;
};
const TextCase kExactTexts[] = {
    {ids::IDS_LOADING, "Loading..."},
    {ids::IDS_OPEN_FAILED, "Cannot open file '%s'"},
    {ids::IDR_MAINFRAME, "Tessarine Plyfold"},
    {ids::IDS_PRODUCT_NAME, "Plyfold"},
    {ids::IDS_APP_TITLE, "Plyfold"},
    {ids::IDS_OLE_INIT_FAILED,
     "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {ids::IDS_PDF_FILTER, "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*||"},
    {ids::IDS_ENTER_PASSWORD, "Enter Password for %s"},
    {ids::IDS_COPY_PASSWORD, "Enter password for copying permission of file %s"},
    {ids::IDS_ADD_FOLDER_TIP, "Add Folder (ctrl+f)\nAdd contents of folder to merge"},
    {ids::IDS_SAVE_MERGED_TIP, "Save Merged (ctrl+s)\nCreate merged file and save"},
    {ids::IDS_SPLASH_VERSION, "Version <version>\n\n<user>\n<company>"},
    {ids::IDS_MERGE_FAILED, "An error has occured while creating the merged file"},
    {ids::IDS_RETRIEVING_RESULTS, "Retriving Results"},
    {ids::IDS_DOWNLOAD_PROGRESS, "Downloading Update\n%uKb of %uKb"},
    {ids::IDS_PURCHASE_UPDATE, "&Purchase Update"},
    {ids::IDS_NO_DOCUMENTS,
     "Please add one or more documents by dragging them into the application, "
     "or by using the Add File or Add Folder buttons"},
    {ids::IDS_PASSWORD_WITHOUT_PERMISSIONS, "Error: you've entered a password, but didn't select "
                                            "any permissions to require that password"},
    {ids::IDS_EDIT_MENU, "Edit"},
};

TEST(ResStrings, TextsAreExact) {
    for (const TextCase& c : kExactTexts) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(LoadResString(c.id), QString::fromUtf8(c.text));
    }
}

// The placeholders of each formatted text, in order; every other text has none, so that a
// caller's FormatResString never swallows a stray argument.
TEST(ResStrings, PlaceholdersMatchTheirUse) {
    struct Case {
        int id;
        QStringList conversions;
    };
    const Case cases[] = {
        {ids::IDS_ENTER_PASSWORD, {"%s"}},     {ids::IDS_OPEN_FAILED, {"%s"}},
        {ids::IDS_READ_ERROR, {"%s"}},         {ids::IDS_COPY_PASSWORD, {"%s"}},
        {ids::IDS_OUTPUT_PAGE_COUNT, {"%d"}},  {ids::IDS_PAGE_CAPTION, {"%d"}},
        {ids::IDS_PAGE_CAPTION_SHORT, {"%d"}}, {ids::IDS_DOWNLOAD_PROGRESS, {"%u", "%u"}},
    };
    const QRegularExpression conversion(QStringLiteral("%[a-zA-Z]"));
    for (int id : ResStringIds()) {
        SCOPED_TRACE(id);
        QStringList found;
        auto it = conversion.globalMatch(LoadResString(id));
        while (it.hasNext()) {
            found << it.next().captured();
        }
        QStringList expected;
        for (const Case& c : cases) {
            if (c.id == id) {
                expected = c.conversions;
            }
        }
        EXPECT_EQ(found, expected);
    }
}

TEST(ResStrings, MissingIdGivesEmptyText) {
    for (int id : {0, -1, 99, 219, 230, 3403, 57345, 1 << 30}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(HasResString(id));
        EXPECT_TRUE(LoadResString(id).isEmpty());
        EXPECT_TRUE(FormatResString(id, {QStringLiteral("x")}).isEmpty());
    }
}

TEST(ResStrings, IdsAreListedAscending) {
    const std::vector<int> all = ResStringIds();
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

TEST(ResStrings, FormatText) {
    struct Case {
        const char* format;
        QStringList args;
        const char* expected;
    };
    const Case cases[] = {
        {"Cannot open file '%s'", {"C:\\a\\b.pdf"}, "Cannot open file 'C:\\a\\b.pdf'"},
        // An argument that itself holds conversions is inserted as it stands.
        {"Error while reading %s", {"/tmp/100%s%d.pdf"}, "Error while reading /tmp/100%s%d.pdf"},
        {"Downloading Update\n%uKb of %uKb", {"12", "340"}, "Downloading Update\n12Kb of 340Kb"},
        {"%d%%", {"50"}, "50%"},
        {"%ls and %S", {"a", "b"}, "a and b"},
        {"%i", {"7"}, "7"},
        // Missing arguments become empty, surplus ones are ignored.
        {"[%s] [%s]", {"one"}, "[one] []"},
        {"Page: %d", {"3", "4"}, "Page: 3"},
        // Anything that is not a conversion stays as it is.
        {"100% sure %x %", {"unused"}, "100% sure %x %"},
        {"", {"a"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(FormatText(QString::fromUtf8(c.format), c.args), QString::fromUtf8(c.expected));
    }
}

TEST(ResStrings, FormatResStringFillsTheTableText) {
    EXPECT_EQ(FormatResString(ids::IDS_OPEN_FAILED, {QStringLiteral("/x/y.pdf")}),
              QStringLiteral("Cannot open file '/x/y.pdf'"));
    EXPECT_EQ(FormatResString(ids::IDS_OUTPUT_PAGE_COUNT, {QString::number(7)}),
              QStringLiteral("Output File: 7 Pages"));
}

} // namespace
} // namespace plyfold
