#pragma once

// The viewer engine's font configuration file "xpdfrc": written once, when it is absent, mapping
// the standard PDF fonts to TrueType files of this machine and adding the fragments of installed
// language packs; then the engine is initialised with it.
//
// Content, in this order, every line ending in CR LF:
//   textKeepTinyChars yes
//   one line per font row: "displayFontTT <PDF name> <fonts folder>/<file>" (12 rows) and
//   "displayNamedCIDFontTT <name> <fonts folder>/<file>" (6 rows), the folder in UTF-8;
//   for each folder "LangPack-*" of the install folder holding a readable "add-to-xpdfrc": that
//   fragment with "<!-Fonts->" replaced by the fonts folder and "<!-InstallDir->" by the install
//   folder, in UTF-8, then an empty line end.
//
// Font files by platform. On Windows the rows name the Windows fonts (cour.ttf, arial.ttf,
// times.ttf, ...) in %WINDIR%\Fonts. Elsewhere the fonts folder is the system's TrueType folder
// (/usr/share/fonts/truetype on Debian) and the rows name the Liberation fonts, the metric twins of
// the Windows fonts, in its "liberation" subfolder ("liberation2" when only that exists):
//   cour/courbd/courbi/couri.ttf     -> LiberationMono-Regular/-Bold/-BoldItalic/-Italic.ttf
//   arial/arialbd/arialbi/ariali.ttf -> LiberationSans-Regular/-Bold/-BoldItalic/-Italic.ttf
//   times/timesbd/timesbi/timesi.ttf -> LiberationSerif-Regular/-Bold/-BoldItalic/-Italic.ttf
// Book Antiqua has no twin among those fonts: its two rows name bkant.ttf and antquab.ttf (used
// when someone put those files into the fonts folder) and otherwise fall back to the Times twins.
//
// Where the file goes. The machine-wide configuration folder (the last GenericConfigLocation:
// /etc/xdg here, ProgramData on Windows) + "Tessarine/xpdfrc"; its "Tessarine" folder is not
// created. A normal user cannot write there, so when that file is absent and cannot be created,
// the user's configuration folder (~/.config) + "Tessarine/xpdfrc" is used instead (its folder
// created when missing). An existing file, machine-wide first, is used as it is and never
// rewritten.
//
// Environment overrides (for tests and unusual installs): PLYFOLD_CONFIG_DIR (machine-wide
// folder), PLYFOLD_USER_CONFIG_DIR (fallback folder; set it empty to disable the fallback),
// PLYFOLD_FONTS_DIR, PLYFOLD_INSTALL_DIR.

#include <QString>

namespace plyfold {

struct EngineConfigLocations {
    QString machineConfigFolder; // the file is <folder>/Tessarine/xpdfrc
    QString userConfigFolder;    // fallback location; empty: none
    QString fontsFolder;         // no trailing separator; empty: the file cannot be written
    QString installFolder;       // with a trailing separator; empty: no language packs
};

// The locations of this machine, with the environment overrides applied.
EngineConfigLocations DefaultEngineConfigLocations();

// The file name a font row uses on this platform for a Windows font file name (see above), relative
// to the fonts folder.
QString PlatformFontFile(const QString& windowsFileName, const QString& fontsFolder);

enum class EngineConfigStatus {
    NoLocation, // no configuration folder at all: nothing written, nothing to initialise with
    Present,    // the file existed and was left as it is
    Written,    // the file was written now
    NotWritten, // it could not be created (or there is no fonts folder); the path is still given
    ShortWrite, // a write fell short (disk full): the partial file was removed
};

struct EngineConfigResult {
    EngineConfigStatus status = EngineConfigStatus::NoLocation;
    QString path; // the file the engine is to read (may be absent unless Present or Written)
};

// Writes the file when it is absent (see above) and says which file the engine is to read.
EngineConfigResult WriteEngineConfigFile(const EngineConfigLocations& where);

// Start-up: writes the file when it is absent and initialises the engine with its path (the
// locale's 8-bit encoding). Returns false only when there is no configuration folder at all (the
// engine then uses its built-in fonts, uninitialised). Called once, before any document is opened.
bool WriteEngineConfig();

} // namespace plyfold
