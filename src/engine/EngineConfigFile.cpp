#include "engine/EngineConfigFile.h"

#include "engine/PathUtil.h"
#include "engine/QzFileTagReplacer.h"
#include "engine/TextConversion.h"
#include "platform/viewer/XpdfViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <array>

namespace plyfold {

namespace {

struct FontRow {
    int kind; // 0: displayFontTT, 1: displayNamedCIDFontTT
    const char* pdfName;
    const char* file;     // Windows file name
    const char* fallback; // used when `file` is absent from the fonts folder; null: none
};

constexpr std::array<FontRow, 18> kFontTable{{
    {0, "Courier", "cour.ttf", nullptr},
    {0, "Courier-Bold", "courbd.ttf", nullptr},
    {0, "Courier-BoldOblique", "courbi.ttf", nullptr},
    {0, "Courier-Oblique", "couri.ttf", nullptr},
    {0, "Helvetica", "arial.ttf", nullptr},
    {0, "Helvetica-Bold", "arialbd.ttf", nullptr},
    {0, "Helvetica-BoldOblique", "arialbi.ttf", nullptr},
    {0, "Helvetica-Oblique", "ariali.ttf", nullptr},
    {0, "Times-Bold", "timesbd.ttf", nullptr},
    {0, "Times-BoldItalic", "timesbi.ttf", nullptr},
    {0, "Times-Italic", "timesi.ttf", nullptr},
    {0, "Times-Roman", "times.ttf", nullptr},
    {1, "Arial", "arial.ttf", nullptr},
    {1, "Arial,Bold", "arialbd.ttf", nullptr},
    {1, "TimesNewRoman", "times.ttf", nullptr},
    {1, "TimesNewRoman,Bold", "timesbd.ttf", nullptr},
    {1, "BookAntiqua", "bkant.ttf", "times.ttf"},
    {1, "BookAntiqua,Bold", "antquab.ttf", "timesbd.ttf"},
}};

const QString kConfigRelative = QStringLiteral("Tessarine/xpdfrc");
const QString kVendorFolder = QStringLiteral("Tessarine");

QString separator() {
    return QString(QDir::separator());
}

// The environment value when the variable is set (even to an empty text), else `otherwise`.
QString overridden(const char* variable, const QString& otherwise) {
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariable(variable) : otherwise;
}

QString withoutTrailingSeparator(QString folder) {
    while (folder.size() > 1 && IsPathSeparator(folder.back())) {
        folder.chop(1);
    }
    return folder;
}

QString withTrailingSeparator(const QString& folder) {
    if (folder.isEmpty() || IsPathSeparator(folder.back())) {
        return folder;
    }
    return folder + separator();
}

QString defaultFontsFolder() {
#ifdef Q_OS_WIN
    const QString windows = qEnvironmentVariable("WINDIR");
    return windows.isEmpty() ? QString() : QDir::toNativeSeparators(windows + "/Fonts");
#else
    // The system's TrueType folder; among several, the one holding the Liberation fonts, the
    // machine-wide ones (listed last) first.
    const QStringList found = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                        QStringLiteral("fonts/truetype"),
                                                        QStandardPaths::LocateDirectory);
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const QDir folder(*it);
        if (folder.exists(QStringLiteral("liberation")) ||
            folder.exists(QStringLiteral("liberation2"))) {
            return withoutTrailingSeparator(*it);
        }
    }
    return found.isEmpty() ? QString() : withoutTrailingSeparator(found.last());
#endif
}

QString configFile(const QString& folder) {
    return folder.isEmpty() ? QString() : CombinePath(folder, kConfigRelative, false);
}

// CR LF for every LF, as a file written in text mode on Windows has it.
QByteArray withCrLf(QByteArray text) {
    return text.replace("\n", "\r\n");
}

QByteArray fontLine(const FontRow& row, const QString& fontsFolder) {
    QString file = PlatformFontFile(QString::fromLatin1(row.file), fontsFolder);
    if (row.fallback != nullptr && !QFileInfo::exists(fontsFolder + separator() + file)) {
        file = PlatformFontFile(QString::fromLatin1(row.fallback), fontsFolder);
    }
    QByteArray line = row.kind == 0 ? "displayFontTT " : "displayNamedCIDFontTT ";
    line += row.pdfName;
    line += ' ';
    line += ToUtf8(fontsFolder + separator() + file);
    line += "\r\n";
    return line;
}

// The fragments of the language packs, each followed by an empty line end, in name order.
QList<QByteArray> languagePackFragments(const QString& installFolder, const QString& fontsFolder) {
    QList<QByteArray> fragments;
    if (installFolder.isEmpty()) {
        return fragments;
    }
    // "LangPack-*.*" as the shell matches it: the dot is optional, letter case does not matter.
    const QFileInfoList packs =
        QDir(installFolder)
            .entryInfoList({QStringLiteral("LangPack-*")},
                           QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo& pack : packs) {
        const QString fragment =
            CombinePath(pack.absoluteFilePath(), QStringLiteral("add-to-xpdfrc"), false);
        if (!QFileInfo(fragment).isFile()) {
            continue;
        }
        QzFileTagReplacer replacer;
        if (!replacer.Load(fragment)) {
            continue;
        }
        replacer.Replace(QStringLiteral("<!-Fonts->"), fontsFolder);
        replacer.Replace(QStringLiteral("<!-InstallDir->"), installFolder);
        fragments.append(withCrLf(ToUtf8(replacer.content)) + "\r\n");
    }
    return fragments;
}

enum class WriteOutcome { Written, CannotCreate, ShortWrite };

// Creates the file (never over an existing one) and writes it piece by piece; a piece written short
// removes the file again.
WriteOutcome writeConfig(const QString& path, const QList<QByteArray>& pieces) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        return WriteOutcome::CannotCreate;
    }
    for (const QByteArray& piece : pieces) {
        if (file.write(piece) != piece.size()) {
            file.close();
            file.remove();
            return WriteOutcome::ShortWrite;
        }
    }
    file.close();
    return WriteOutcome::Written;
}

} // namespace

EngineConfigLocations DefaultEngineConfigLocations() {
    EngineConfigLocations where;
    const QStringList configFolders =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    where.machineConfigFolder = overridden(
        "PLYFOLD_CONFIG_DIR", configFolders.isEmpty() ? QString() : configFolders.last());
    const QString userFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    where.userConfigFolder = overridden("PLYFOLD_USER_CONFIG_DIR", userFolder);
    if (QDir::cleanPath(where.userConfigFolder) == QDir::cleanPath(where.machineConfigFolder)) {
        where.userConfigFolder.clear();
    }
    where.fontsFolder =
        withoutTrailingSeparator(overridden("PLYFOLD_FONTS_DIR", defaultFontsFolder()));
    const QString programFolder =
        QCoreApplication::instance() != nullptr
            ? QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
            : QString();
    where.installFolder = withTrailingSeparator(overridden("PLYFOLD_INSTALL_DIR", programFolder));
    return where;
}

QString PlatformFontFile(const QString& windowsFileName, const QString& fontsFolder) {
#ifdef Q_OS_WIN
    Q_UNUSED(fontsFolder);
    return windowsFileName;
#else
    struct Twin {
        const char* windows;
        const char* liberation;
    };
    static constexpr Twin kTwins[] = {
        {"cour.ttf", "LiberationMono-Regular.ttf"},
        {"courbd.ttf", "LiberationMono-Bold.ttf"},
        {"courbi.ttf", "LiberationMono-BoldItalic.ttf"},
        {"couri.ttf", "LiberationMono-Italic.ttf"},
        {"arial.ttf", "LiberationSans-Regular.ttf"},
        {"arialbd.ttf", "LiberationSans-Bold.ttf"},
        {"arialbi.ttf", "LiberationSans-BoldItalic.ttf"},
        {"ariali.ttf", "LiberationSans-Italic.ttf"},
        {"times.ttf", "LiberationSerif-Regular.ttf"},
        {"timesbd.ttf", "LiberationSerif-Bold.ttf"},
        {"timesbi.ttf", "LiberationSerif-BoldItalic.ttf"},
        {"timesi.ttf", "LiberationSerif-Italic.ttf"},
    };
    for (const Twin& twin : kTwins) {
        if (windowsFileName.compare(QLatin1String(twin.windows), Qt::CaseInsensitive) == 0) {
            const QDir folder(fontsFolder);
            const QString subfolder = !folder.exists(QStringLiteral("liberation")) &&
                                              folder.exists(QStringLiteral("liberation2"))
                                          ? QStringLiteral("liberation2")
                                          : QStringLiteral("liberation");
            return subfolder + separator() + QLatin1String(twin.liberation);
        }
    }
    return windowsFileName;
#endif
}

EngineConfigResult WriteEngineConfigFile(const EngineConfigLocations& where) {
    EngineConfigResult result;
    const QString machinePath = configFile(where.machineConfigFolder);
    const QString userPath = configFile(where.userConfigFolder);
    const QString firstChoice = !machinePath.isEmpty() ? machinePath : userPath;
    if (firstChoice.isEmpty()) {
        return result;
    }
    result.path = firstChoice;
    for (const QString& path : {machinePath, userPath}) {
        if (!path.isEmpty() && QFileInfo::exists(path)) {
            result.status = EngineConfigStatus::Present;
            result.path = path;
            return result;
        }
    }
    result.status = EngineConfigStatus::NotWritten;
    if (where.fontsFolder.isEmpty()) {
        return result;
    }

    QList<QByteArray> pieces;
    pieces.append("textKeepTinyChars yes\r\n");
    for (const FontRow& row : kFontTable) {
        pieces.append(fontLine(row, where.fontsFolder));
    }
    pieces.append(languagePackFragments(where.installFolder, where.fontsFolder));

    if (!machinePath.isEmpty()) {
        // The vendor folder of the machine-wide location is not created here.
        switch (writeConfig(machinePath, pieces)) {
        case WriteOutcome::Written:
            result.status = EngineConfigStatus::Written;
            return result;
        case WriteOutcome::ShortWrite:
            result.status = EngineConfigStatus::ShortWrite;
            return result;
        case WriteOutcome::CannotCreate:
            break;
        }
    }
    if (!userPath.isEmpty() && QDir(where.userConfigFolder).mkpath(kVendorFolder)) {
        switch (writeConfig(userPath, pieces)) {
        case WriteOutcome::Written:
            result.status = EngineConfigStatus::Written;
            result.path = userPath;
            return result;
        case WriteOutcome::ShortWrite:
            result.status = EngineConfigStatus::ShortWrite;
            result.path = userPath;
            return result;
        case WriteOutcome::CannotCreate:
            break;
        }
    }
    return result;
}

bool WriteEngineConfig() {
    const EngineConfigResult result = WriteEngineConfigFile(DefaultEngineConfigLocations());
    if (result.status == EngineConfigStatus::NoLocation) {
        return false;
    }
    pdfInitLibrary(ToNarrow(result.path).constData());
    return true;
}

} // namespace plyfold
