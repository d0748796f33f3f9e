// plyfold-merge and the inputs' bookmarks: one entry per input by default, none with --no-outline.

#include "MergeTestSupport.h"
#include "support/TestData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

// The top-level bookmark titles of a file, as qpdf reports them.
QStringList topLevelTitles(const QString& file) {
    const test::ToolRun json =
        test::RunTool(QStringLiteral("qpdf"), {"--json=2", "--json-key=outlines", file});
    QStringList titles;
    for (const QJsonValue& item :
         QJsonDocument::fromJson(json.out.toUtf8()).object()["outlines"].toArray()) {
        titles << item["title"].toString();
    }
    return titles;
}

TEST(MergeOutlineOption, BookmarksPerInputUnlessLeftOut) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString intro = test::pdfPath(QStringLiteral("R-intro.pdf"));
    const QString card = test::pdfPath(QStringLiteral("refcard-nf.pdf"));
    const QString with = dir.filePath(QStringLiteral("with.pdf"));
    const QString without = dir.filePath(QStringLiteral("without.pdf"));

    test::ToolRun run = test::RunTool(QStringLiteral(PLYFOLD_MERGE_EXE),
                                      {"-o", with, intro + ":1-10", card, intro + ":20"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(topLevelTitles(with), (QStringList{"R-intro", "refcard-nf", "R-intro"}));

    run = test::RunTool(QStringLiteral(PLYFOLD_MERGE_EXE),
                        {"--no-outline", "-o", without, intro + ":1-10", card});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(topLevelTitles(without).isEmpty());
    EXPECT_EQ(test::PageCountOf(without), 13);
    EXPECT_EQ(test::RunTool(QStringLiteral("qpdf"), {"--check", without}).exitCode, 0);
}

} // namespace
} // namespace plyfold
