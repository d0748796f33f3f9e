#include "engine/PathUtil.h"
#include "engine/QzFileTagReplacer.h"
#include "engine/TextConversion.h"
#include "engine/VersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace plyfold;

namespace {

const QString sep = QDir::separator();

struct CombineCase {
    QString folder, relative;
    bool honourAbsolute;
    QString expected;
};

TEST(CombinePath, JoinsWithExactlyOneSeparator) {
    const CombineCase cases[] = {
        {"", "b.txt", true, "b.txt"},
        {"C:\\A", "", true, "C:\\A"},
        {"/home/u/", "/b.txt", false, "/home/u/b.txt"},
        {"/home/u", "b.txt", false, "/home/u" + sep + "b.txt"},
        {"C:\\A", "D:\\x", false, "C:\\A" + sep + "D:\\x"},
        {"C:\\A", "D:", true, "C:\\A" + sep + "D:"}, // too short to be a drive path
#ifdef Q_OS_WIN
        {"C:\\A\\", "\\b.txt", false, "C:\\A\\b.txt"},
        {"C:\\A", "D:\\x", true, "D:\\x"},
        {"C:\\A", "\\\\server\\share", true, "\\\\server\\share"},
#else
        // "\" is an ordinary character of a name here, and only a path from the root is absolute.
        {"/home/u", "\\b.txt", false, "/home/u/\\b.txt"},
        {"/home/u\\", "b.txt", false, "/home/u\\/b.txt"},
        {"/home/u", "D:\\x", true, "/home/u/D:\\x"},
        {"/home/u", "/etc/x", true, "/etc/x"},
#endif
    };
    for (const CombineCase& c : cases) {
        EXPECT_EQ(CombinePath(c.folder, c.relative, c.honourAbsolute), c.expected)
            << c.folder.toStdString() << " + " << c.relative.toStdString();
    }
}

TEST(SplitPath, SplitsAtTheLastSeparatorAndRefusesRootsAndBareNames) {
    struct Case {
        QString path;
        bool ok;
        QString folder, name;
    };
    const Case cases[] = {
        {"/home/u/doc.pdf", true, "/home/u", "doc.pdf"},
        {"b.pdf", false, "", ""},
        {"/home/u/", false, "", ""},
        {"/b.pdf", false, "", ""},
        {"a/b.pdf", false, "", ""}, // separator at position 1
        {"C:\\A\\", false, "", ""},
        {"\\b.pdf", false, "", ""},
#ifdef Q_OS_WIN
        {"C:\\A\\b.pdf", true, "C:\\A", "b.pdf"},
        {"C:\\A/mixed\\x.pdf", true, "C:\\A/mixed", "x.pdf"},
        {"C\\b.pdf", false, "", ""},
#else
        // "\" is an ordinary character of a name here.
        {"/home/u/report\\2024.pdf", true, "/home/u", "report\\2024.pdf"},
        {"/home/u\\v/x.pdf", true, "/home/u\\v", "x.pdf"},
        {"C:\\A\\b.pdf", false, "", ""},
        {"/home/u\\", true, "/home", "u\\"},
#endif
    };
    for (const Case& c : cases) {
        QString folder = "untouched", name = "untouched";
        EXPECT_EQ(SplitPath(c.path, &folder, &name), c.ok) << c.path.toStdString();
        EXPECT_EQ(folder, c.ok ? c.folder : QString("untouched")) << c.path.toStdString();
        EXPECT_EQ(name, c.ok ? c.name : QString("untouched")) << c.path.toStdString();
    }
    EXPECT_EQ(FileNameAfterFolder("/b.pdf"), "b.pdf");
    EXPECT_EQ(FileNameAfterFolder("b.pdf"), "");
    EXPECT_EQ(FileNameAfterFolder("/home/u/"), "");
}

// The folder SplitPath gives is the one that holds the file, whatever characters its name has.
TEST(SplitPath, GivesTheFolderThatHoldsTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& name : {QStringLiteral("report\\2024.pdf"), QStringLiteral("a b.pdf"),
                                QStringLiteral("\u00e9t\u00e9.pdf")}) {
#ifdef Q_OS_WIN
        if (name.contains(u'\\')) {
            continue;
        }
#endif
        const QString path = dir.filePath(name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.close();
        QString folder, split;
        ASSERT_TRUE(SplitPath(path, &folder, &split)) << path.toStdString();
        EXPECT_EQ(split, name);
        EXPECT_EQ(FileNameAfterFolder(path), name);
        EXPECT_TRUE(QDir(folder).exists(name)) << folder.toStdString();
        EXPECT_EQ(QFileInfo(folder).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
    }
}

TEST(Version, FormatAndParse) {
    const ModuleVersion v{3, 1, 0, 7};
    EXPECT_EQ(FormatVersion(v, 1), "3");
    EXPECT_EQ(FormatVersion(v, 2), "3.1");
    EXPECT_EQ(FormatVersion(v, 3), "3.1.0");
    EXPECT_EQ(FormatVersion(v, 4), "3.1.0.7");
    EXPECT_EQ(FormatVersion(v, 0), "3.1.0.7");

    struct Case {
        QString text;
        bool ok;
        ModuleVersion expected;
    };
    const Case cases[] = {
        {"3.1.5.9", true, {3, 1, 5, 9}},
        {"3.1.5", false, {}},
        {"", false, {}},
        {"10.20.30.40.50", true, {10, 20, 30, 40}},
        {"2x.1b.0.9 beta", true, {2, 1, 0, 9}},
        {"...", true, {0, 0, 0, 0}},
        {"65537.1.2.3", true, {1, 1, 2, 3}}, // kept in 16 bits
    };
    for (const Case& c : cases) {
        ModuleVersion parsed{9, 9, 9, 9};
        EXPECT_EQ(ParseVersion(c.text, &parsed), c.ok) << c.text.toStdString();
        if (c.ok) {
            EXPECT_EQ(parsed, c.expected) << c.text.toStdString();
        } else {
            EXPECT_EQ(parsed, (ModuleVersion{9, 9, 9, 9})) << "left unchanged";
        }
    }
}

TEST(Version, ReadsTheRunningProgramAndOtherExecutables) {
    std::unique_ptr<VersionBlock> block;
    ASSERT_TRUE(ReadVersionInfo(nullptr, block));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->fileVersion, CompiledVersion().fileVersion);
    QString copyright;
    EXPECT_TRUE(VersionInfoString(block.get(), &copyright));
    EXPECT_TRUE(copyright.startsWith("Copyright")) << copyright.toStdString();

    // This test executable links the same record, so reading the file finds the same version.
    const QString self = QCoreApplication::applicationFilePath();
    std::unique_ptr<VersionBlock> fromFile;
    ASSERT_TRUE(ReadVersionInfo(&self, fromFile));
    EXPECT_EQ(fromFile->fileVersion, block->fileVersion);
    EXPECT_EQ(fromFile->productVersion, block->productVersion);

    // A file without a record, or no file at all, gives no block.
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.bin");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\x01PLYFOLD-VERSIONINFO\x02 FileVersion=1.2 no end");
    f.close();
    EXPECT_FALSE(ReadVersionInfo(&plain, fromFile));
    EXPECT_EQ(fromFile, nullptr);
    const QString missing = dir.filePath("missing.exe");
    EXPECT_FALSE(ReadVersionInfo(&missing, fromFile));
    EXPECT_FALSE(VersionInfoString(nullptr, &copyright));
}

TEST(QzFileTagReplacer, ReplacesEveryTagWithoutLooping) {
    QTemporaryDir dir;
    const QString path = dir.filePath("template.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("font <FONTS>\\arial.ttf\r\nfont <FONTS>\\times.ttf\r\nend");
    f.close();

    QzFileTagReplacer replacer;
    ASSERT_TRUE(replacer.Load(path));
    EXPECT_EQ(replacer.original, "font <FONTS>\\arial.ttf\nfont <FONTS>\\times.ttf\nend");

    replacer.Replace("<FONTS>", "<FONTS>/<FONTS>"); // contains the tag: must not loop
    EXPECT_EQ(replacer.content,
              "font <FONTS>/<FONTS>\\arial.ttf\nfont <FONTS>/<FONTS>\\times.ttf\nend");
    replacer.Replace("<FONTS>", QString()); // a null text counts as empty
    EXPECT_EQ(replacer.content, "font /\\arial.ttf\nfont /\\times.ttf\nend");
    EXPECT_NE(replacer.original, replacer.content);

    QzFileTagReplacer missing;
    EXPECT_FALSE(missing.Load(dir.filePath("nope.txt")));
}

TEST(TextConversion, RoundTripsAndEmptyInputs) {
    const QString text = QString::fromUtf8("p\xC3\xA4sswort \xE2\x80\x93 \xE5\xB9\xB6");
    EXPECT_EQ(FromUtf8(ToUtf8(text).constData()), text);
    EXPECT_EQ(ToUtf8(text), QByteArray("p\xC3\xA4sswort \xE2\x80\x93 \xE5\xB9\xB6"));
    EXPECT_EQ(ToWide(ToNarrow(QStringLiteral("plain ascii"))), "plain ascii");
    EXPECT_TRUE(ToNarrow(QString()).isEmpty());
    EXPECT_TRUE(ToNarrow(static_cast<const char16_t*>(nullptr)).isEmpty());
    EXPECT_TRUE(FromUtf8(nullptr).isEmpty());
    EXPECT_TRUE(ToWide(QByteArray()).isEmpty());
}

} // namespace
