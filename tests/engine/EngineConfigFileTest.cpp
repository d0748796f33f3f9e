// The engine's font configuration file: content, fallbacks, language packs, written once, the
// fallback location, a short write, and the engine reading the file it was given.

#include "engine/EngineConfigFile.h"
#include "platform/viewer/EngineConfig.h"
#include "platform/viewer/XpdfViewer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace plyfold {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A machine folder with its vendor folder, a fonts folder with the Liberation files, an install
// folder, and a user folder for the fallback, all inside one temporary folder.
class EngineConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        where.machineConfigFolder = root.filePath("machine");
        where.userConfigFolder = root.filePath("user");
        where.fontsFolder = root.filePath("fonts");
        where.installFolder = root.filePath("install") + "/";
        ASSERT_TRUE(QDir().mkpath(where.machineConfigFolder + "/Tessarine"));
        ASSERT_TRUE(QDir().mkpath(where.installFolder));
        for (const char* name : {"Mono", "Sans", "Serif"}) {
            for (const char* style : {"Regular", "Bold", "Italic", "BoldItalic"}) {
                ASSERT_TRUE(writeFile(QStringLiteral("%1/liberation/Liberation%2-%3.ttf")
                                          .arg(where.fontsFolder, name, style),
                                      "ttf"));
            }
        }
    }
    QString machineFile() const { return where.machineConfigFolder + "/Tessarine/xpdfrc"; }
    QString userFile() const { return where.userConfigFolder + "/Tessarine/xpdfrc"; }
    QString font(const char* file) const {
        return where.fontsFolder + "/liberation/" + QString::fromLatin1(file);
    }

    QTemporaryDir root;
    EngineConfigLocations where;
};

TEST_F(EngineConfigFileTest, WritesTheFontTableWithCrLfLineEnds) {
    const EngineConfigResult result = WriteEngineConfigFile(where);
    EXPECT_EQ(result.status, EngineConfigStatus::Written);
    EXPECT_EQ(result.path, machineFile());
    const QByteArray text = readAll(machineFile());
    ASSERT_FALSE(text.isEmpty());
    EXPECT_EQ(text.count('\n'), text.count("\r\n")) << "every line ends in CR LF";
    EXPECT_TRUE(text.endsWith("\r\n"));

    const QString f = where.fontsFolder + "/liberation/";
    const QStringList expected{
        "textKeepTinyChars yes",
        "displayFontTT Courier " + f + "LiberationMono-Regular.ttf",
        "displayFontTT Courier-Bold " + f + "LiberationMono-Bold.ttf",
        "displayFontTT Courier-BoldOblique " + f + "LiberationMono-BoldItalic.ttf",
        "displayFontTT Courier-Oblique " + f + "LiberationMono-Italic.ttf",
        "displayFontTT Helvetica " + f + "LiberationSans-Regular.ttf",
        "displayFontTT Helvetica-Bold " + f + "LiberationSans-Bold.ttf",
        "displayFontTT Helvetica-BoldOblique " + f + "LiberationSans-BoldItalic.ttf",
        "displayFontTT Helvetica-Oblique " + f + "LiberationSans-Italic.ttf",
        "displayFontTT Times-Bold " + f + "LiberationSerif-Bold.ttf",
        "displayFontTT Times-BoldItalic " + f + "LiberationSerif-BoldItalic.ttf",
        "displayFontTT Times-Italic " + f + "LiberationSerif-Italic.ttf",
        "displayFontTT Times-Roman " + f + "LiberationSerif-Regular.ttf",
        "displayNamedCIDFontTT Arial " + f + "LiberationSans-Regular.ttf",
        "displayNamedCIDFontTT Arial,Bold " + f + "LiberationSans-Bold.ttf",
        "displayNamedCIDFontTT TimesNewRoman " + f + "LiberationSerif-Regular.ttf",
        "displayNamedCIDFontTT TimesNewRoman,Bold " + f + "LiberationSerif-Bold.ttf",
        // No Book Antiqua in this fonts folder: the Times twins stand in.
        "displayNamedCIDFontTT BookAntiqua " + f + "LiberationSerif-Regular.ttf",
        "displayNamedCIDFontTT BookAntiqua,Bold " + f + "LiberationSerif-Bold.ttf",
    };
    QStringList lines = QString::fromUtf8(text).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.takeLast(), QString());
    EXPECT_EQ(lines, expected);
}

TEST_F(EngineConfigFileTest, BookAntiquaIsNamedWhenItsFilesArePresent) {
    ASSERT_TRUE(writeFile(where.fontsFolder + "/bkant.ttf", "ttf"));
    EXPECT_EQ(WriteEngineConfigFile(where).status, EngineConfigStatus::Written);
    const QString text = QString::fromUtf8(readAll(machineFile()));
    EXPECT_TRUE(
        text.contains("displayNamedCIDFontTT BookAntiqua " + where.fontsFolder + "/bkant.ttf\r\n"));
    // Only the regular face is there: the bold one still falls back.
    EXPECT_TRUE(text.contains("displayNamedCIDFontTT BookAntiqua,Bold " +
                              font("LiberationSerif-Bold.ttf") + "\r\n"));
}

TEST_F(EngineConfigFileTest, NonAsciiFontsFolderIsWrittenInUtf8) {
    where.fontsFolder = root.filePath(QStringLiteral("Schriften ÄÖ 字体"));
    ASSERT_TRUE(QDir().mkpath(where.fontsFolder));
    EXPECT_EQ(WriteEngineConfigFile(where).status, EngineConfigStatus::Written);
    const QByteArray text = readAll(machineFile());
    EXPECT_TRUE(text.contains(("displayFontTT Courier " + where.fontsFolder).toUtf8()));
}

TEST_F(EngineConfigFileTest, AnExistingFileIsNeverRewritten) {
    for (const QByteArray& existing :
         {QByteArray(), QByteArray("displayFontTT Courier /x.ttf\n")}) {
        ASSERT_TRUE(writeFile(machineFile(), existing));
        const EngineConfigResult result = WriteEngineConfigFile(where);
        EXPECT_EQ(result.status, EngineConfigStatus::Present);
        EXPECT_EQ(result.path, machineFile());
        EXPECT_EQ(readAll(machineFile()), existing);
        EXPECT_FALSE(QFile::exists(userFile()));
    }
}

TEST_F(EngineConfigFileTest, LanguagePackFragmentsAreAppendedWithTagsReplaced) {
    const QString install = where.installFolder;
    ASSERT_TRUE(writeFile(install + "LangPack-ja.1/add-to-xpdfrc",
                          "cidToUnicode Adobe-Japan1 <!-InstallDir->ja.cidToUnicode\r\n"
                          "displayCIDFontTT Adobe-Japan1 <!-Fonts->/msgothic.ttc\r\n"
                          "fontFileCC <!-Fonts->/a <!-Fonts->/b"));
    ASSERT_TRUE(writeFile(install + "LangPack-de/add-to-xpdfrc", "textEncoding Latin1\n"));
    // A file named like a pack, a pack without a fragment, and an unrelated folder add nothing.
    ASSERT_TRUE(writeFile(install + "LangPack-fr.1", "textEncoding NotAFolder\n"));
    ASSERT_TRUE(QDir().mkpath(install + "LangPack-ru.2"));
    ASSERT_TRUE(writeFile(install + "Other-zh.1/add-to-xpdfrc", "textEncoding Other\n"));

    EXPECT_EQ(WriteEngineConfigFile(where).status, EngineConfigStatus::Written);
    const QByteArray text = readAll(machineFile());
    const QByteArray fonts = where.fontsFolder.toUtf8();
    const QByteArray expectedTail = "displayNamedCIDFontTT BookAntiqua,Bold " +
                                    font("LiberationSerif-Bold.ttf").toUtf8() +
                                    "\r\n"
                                    "textEncoding Latin1\r\n"
                                    "\r\n"
                                    "cidToUnicode Adobe-Japan1 " +
                                    install.toUtf8() +
                                    "ja.cidToUnicode\r\n"
                                    "displayCIDFontTT Adobe-Japan1 " +
                                    fonts +
                                    "/msgothic.ttc\r\n"
                                    "fontFileCC " +
                                    fonts + "/a " + fonts + "/b\r\n";
    EXPECT_TRUE(text.endsWith(expectedTail)) << text.toStdString();
    EXPECT_FALSE(text.contains("NotAFolder"));
    EXPECT_FALSE(text.contains("Other"));
}

TEST_F(EngineConfigFileTest, AnUnwritableMachineFolderFallsBackToTheUserFolder) {
    // The vendor folder of the machine-wide location is missing (as /etc/xdg/Tessarine is for a
    // normal user): it is not created there.
    ASSERT_TRUE(QDir(where.machineConfigFolder).rmdir("Tessarine"));
    EngineConfigResult result = WriteEngineConfigFile(where);
    EXPECT_EQ(result.status, EngineConfigStatus::Written);
    EXPECT_EQ(result.path, userFile());
    EXPECT_FALSE(QDir(where.machineConfigFolder + "/Tessarine").exists());
    EXPECT_TRUE(readAll(userFile()).startsWith("textKeepTinyChars yes\r\n"));

    // The next start finds the user file and leaves it alone.
    ASSERT_TRUE(writeFile(userFile(), "kept"));
    result = WriteEngineConfigFile(where);
    EXPECT_EQ(result.status, EngineConfigStatus::Present);
    EXPECT_EQ(result.path, userFile());
    EXPECT_EQ(readAll(userFile()), "kept");

    // Without a fallback nothing is written, but the machine path is still given to the engine.
    where.userConfigFolder.clear();
    result = WriteEngineConfigFile(where);
    EXPECT_EQ(result.status, EngineConfigStatus::NotWritten);
    EXPECT_EQ(result.path, machineFile());
    EXPECT_FALSE(QFile::exists(machineFile()));
}

TEST_F(EngineConfigFileTest, WithoutFontsFolderOrConfigFolderNothingIsWritten) {
    EngineConfigLocations noFonts = where;
    noFonts.fontsFolder.clear();
    const EngineConfigResult result = WriteEngineConfigFile(noFonts);
    EXPECT_EQ(result.status, EngineConfigStatus::NotWritten);
    EXPECT_EQ(result.path, machineFile());
    EXPECT_FALSE(QFile::exists(machineFile()));

    EngineConfigLocations nowhere = where;
    nowhere.machineConfigFolder.clear();
    nowhere.userConfigFolder.clear();
    EXPECT_EQ(WriteEngineConfigFile(nowhere).status, EngineConfigStatus::NoLocation);
}

#ifdef Q_OS_UNIX
// A real short write: the process may write no more than a few hundred bytes into any file while
// the limit is set, as on a full disk.
TEST_F(EngineConfigFileTest, AShortWriteLeavesNoFile) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const EngineConfigResult result = WriteEngineConfigFile(where);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result.status, EngineConfigStatus::ShortWrite);
    EXPECT_EQ(result.path, machineFile());
    EXPECT_FALSE(QFile::exists(machineFile()));
    EXPECT_FALSE(QFile::exists(userFile()));
    // With room again, the next start writes the whole file.
    EXPECT_EQ(WriteEngineConfigFile(where).status, EngineConfigStatus::Written);
}
#endif

// Sets environment variables for one test and restores them.
class ScopedEnv {
public:
    void set(const char* name, const QString& value) {
        m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv() {
        for (const Saved& s : m_saved) {
            if (s.wasSet) {
                qputenv(s.name, s.value);
            } else {
                qunsetenv(s.name);
            }
        }
    }

private:
    struct Saved {
        const char* name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> m_saved;
};

TEST_F(EngineConfigFileTest, EnvironmentOverridesEveryLocation) {
    ScopedEnv env;
    env.set("PLYFOLD_CONFIG_DIR", where.machineConfigFolder);
    env.set("PLYFOLD_USER_CONFIG_DIR", QString());
    env.set("PLYFOLD_FONTS_DIR", where.fontsFolder + "/");
    env.set("PLYFOLD_INSTALL_DIR", root.filePath("install"));
    const EngineConfigLocations found = DefaultEngineConfigLocations();
    EXPECT_EQ(found.machineConfigFolder, where.machineConfigFolder);
    EXPECT_EQ(found.userConfigFolder, QString());
    EXPECT_EQ(found.fontsFolder, where.fontsFolder);
    EXPECT_EQ(found.installFolder, where.installFolder);
}

TEST(EngineConfigDefaultsTest, MachineWideFolderAndSystemFontsOfThisPlatform) {
    const EngineConfigLocations found = DefaultEngineConfigLocations();
#ifdef Q_OS_LINUX
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_DIRS")) {
        EXPECT_EQ(found.machineConfigFolder, QStringLiteral("/etc/xdg"));
    }
    if (QFile::exists("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf")) {
        EXPECT_EQ(found.fontsFolder, QStringLiteral("/usr/share/fonts/truetype"));
        EXPECT_TRUE(QFile::exists(found.fontsFolder + "/" +
                                  PlatformFontFile("arial.ttf", found.fontsFolder)));
    }
#endif
    EXPECT_NE(found.userConfigFolder, found.machineConfigFolder);
    EXPECT_TRUE(found.installFolder.endsWith(QDir::separator()));
}

TEST_F(EngineConfigFileTest, StartUpWritesTheFileAndTheEngineReadsIt) {
    ScopedEnv env;
    env.set("PLYFOLD_CONFIG_DIR", where.machineConfigFolder);
    env.set("PLYFOLD_USER_CONFIG_DIR", QString());
    env.set("PLYFOLD_FONTS_DIR", where.fontsFolder);
    env.set("PLYFOLD_INSTALL_DIR", where.installFolder);
    ASSERT_TRUE(WriteEngineConfig());
    EXPECT_TRUE(QFile::exists(machineFile()));
    const auto config = currentEngineConfig();
    // The fonts here are stand-ins: put the engine back on its built-in fonts for later tests.
    pdfInitLibrary(nullptr);
    ASSERT_EQ(config->displayFonts.count("Helvetica"), 1u);
    EXPECT_EQ(QString::fromUtf8(config->displayFonts.at("Helvetica")),
              font("LiberationSans-Regular.ttf"));
    EXPECT_TRUE(config->textKeepTinyChars);
}

} // namespace
} // namespace plyfold
