#include "app/OutputProtection.h"
#include "app/FileDialogFilter.h"
#include "controls/DialogUnits.h"
#include "res/Strings.h"

#include <QFont>
#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace plyfold;

namespace {

TEST(OutputProtection, PermissionWordClearsTheBitsOfEachRequiredAction) {
    struct Case {
        bool printing, copying, annotation, forms;
        std::uint32_t word;
    };
    const Case cases[] = {
        {false, false, false, false, 0xFFFFFFFF},
        {true, false, false, false, 0xFFFFF7FB}, // print 0x4, high-quality print 0x800
        {false, true, false, false, 0xFFFFFDEF}, // copy 0x10, accessibility 0x200
        {false, false, true, false, 0xFFFFFFDF}, // annotate 0x20
        {false, false, false, true, 0xFFFFFEFF}, // fill forms 0x100
        {true, true, false, false, 0xFFFFF5EB},
        {true, true, true, true, 0xFFFFF4CB},
        {false, true, true, true, 0xFFFFFCCF},
    };
    for (const Case& c : cases) {
        const std::uint32_t word = PermissionWord(c.printing, c.copying, c.annotation, c.forms);
        EXPECT_EQ(word, c.word) << std::hex << "got 0x" << word << " for " << c.printing
                                << c.copying << c.annotation << c.forms;
        // Modify contents, assemble and everything above 0x800 stay allowed in every case.
        EXPECT_EQ(word & 0xFFFFF408, 0xFFFFF408u);
    }
}

TEST(OutputProtection, ValidationRefusesAPasswordWithoutUseAndUseWithoutPassword) {
    struct Case {
        OutputProtectionChoice choice;
        int message;
    };
    auto choice = [](int mode, const QString& password, bool viewing, bool printing, bool copying,
                     bool annotation, bool forms) {
        return OutputProtectionChoice{mode,    password,   viewing, printing,
                                      copying, annotation, forms};
    };
    const Case cases[] = {
        {choice(0, "", false, false, false, false, false), 0},
        {choice(0, "secret", false, false, false, false, false), 0},
        {choice(0, "", true, true, true, true, true), 0},
        {choice(1, "", false, false, false, false, false), 0},
        {choice(1, "", false, true, false, false, false), ids::IDS_EMPTY_PASSWORD},
        {choice(1, "", false, false, false, false, true), ids::IDS_EMPTY_PASSWORD},
        {choice(1, "secret", false, false, false, false, false),
         ids::IDS_PASSWORD_WITHOUT_PERMISSIONS},
        {choice(1, "secret", true, false, false, false, false), 0},
        {choice(1, "secret", false, false, true, false, false), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValidateOutputProtection(c.choice), c.message)
            << "mode " << c.choice.protectMode << " password \"" << c.choice.password.toStdString()
            << "\"";
    }
    EXPECT_EQ(LoadResString(ids::IDS_EMPTY_PASSWORD), "Error: you must enter a non-empty password");
    EXPECT_EQ(LoadResString(ids::IDS_PASSWORD_WITHOUT_PERMISSIONS),
              "Error: you've entered a password, but didn't select any permissions to require "
              "that password");
}

TEST(OutputProtection, AcceptedChoicesBecomePasswordsAndPermissionWord) {
    struct Case {
        const char* name;
        OutputProtectionChoice choice;
        OutputProtection result;
        bool encrypts;
    };
    const Case cases[] = {
        {"unprotected", {0, "", false, false, false, false, false}, {"", "", 0xFFFFFFFF}, false},
        {"unprotected ignores a typed password and its boxes",
         {0, "secret", true, true, false, false, false},
         {"", "", 0xFFFFF7FB},
         false},
        {"protect, empty password, no box",
         {1, "", false, false, false, false, false},
         {"", "", 0xFFFFFFFF},
         false},
        {"protect, only viewing",
         {1, "pw", true, false, false, false, false},
         {"pw", "pw", 0xFFFFFFFF},
         true},
        {"protect, printing and copying",
         {1, "pw", false, true, true, false, false},
         {"pw", "", 0xFFFFF5EB},
         true},
        {"protect, all five",
         {1, "pw", true, true, true, true, true},
         {"pw", "pw", 0xFFFFF4CB},
         true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ValidateOutputProtection(c.choice), 0) << c.name;
        const OutputProtection result = ComputeOutputProtection(c.choice);
        EXPECT_EQ(result.ownerPassword, c.result.ownerPassword) << c.name;
        EXPECT_EQ(result.userPassword, c.result.userPassword) << c.name;
        EXPECT_EQ(result.permissions, c.result.permissions) << c.name;
        EXPECT_EQ(result.Encrypts(), c.encrypts) << c.name;
    }
}

TEST(FileDialogFilter, ConvertsTheStringTableFormToNameFilters) {
    struct Case {
        QString filter;
        QStringList expected;
    };
    const Case cases[] = {
        {LoadResString(ids::IDS_PDF_FILTER), {"PDF Files (*.pdf)", "All Files (*)"}},
        {"Images|*.png;*.jpg||", {"Images (*.png *.jpg)"}},
        {"Text (*.txt)|*.txt|Broken", {"Text (*.txt)"}},
        {"|*.pdf|No patterns||", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameFiltersFromResFilter(c.filter), c.expected) << c.filter.toStdString();
    }
}

TEST(DialogUnits, ScaleWithTheFontAndMapEachEdge) {
    QFont font;
    font.setPixelSize(13);
    const DialogUnits du(font);
    const QFontMetrics metrics(font);
    EXPECT_EQ(du.BaseY(), metrics.height());
    EXPECT_GT(du.BaseX(), 0);
    EXPECT_EQ(du.X(4), du.BaseX());
    EXPECT_EQ(du.Y(8), du.BaseY());
    EXPECT_EQ(du.X(0), 0);
    // Rectangles map left and right edges separately, so neighbouring controls never overlap.
    const QRect a = du.Rect(7, 44, 87, 14);
    const QRect b = du.Rect(94, 44, 10, 14);
    EXPECT_EQ(a.left() + a.width(), b.left());
    EXPECT_EQ(a.top(), du.Y(44));
    EXPECT_EQ(a.bottom() + 1, du.Y(58));

    QFont larger = font;
    larger.setPixelSize(26);
    EXPECT_GT(DialogUnits(larger).X(138), du.X(138));
}

} // namespace
