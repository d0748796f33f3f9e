#pragma once

// Every value the program keeps between runs in its per-user settings (Registry.h): the section
// and entry names, with what a missing entry reads as. Call sites name these, never the text.

namespace plyfold {

namespace Options {
inline constexpr char Section[] = "Options";
inline constexpr char PageSize[] = "PageSize"; // thumbnail edge in tens of pixels, 8 to 16
inline constexpr int PageSizeDefault = 10;
inline constexpr char LastFolder[] = "LastFolder"; // Add Folder's last choice; default none
inline constexpr char UILanguage[] = "UILanguage"; // language code; 0 is the system's
inline constexpr int UILanguageDefault = 0;
inline constexpr char WindowPlacement[] = "WindowPlacement"; // main window geometry (bytes)
} // namespace Options

// The update state kept between runs: what the user was last told of, and the download of an
// installer, so that an interrupted one resumes on the next run. Every entry reads as empty or 0
// when missing.
namespace AutoUpdate {
inline constexpr char Section[] = "AutoUpdate";
inline constexpr char LastNotifiedVersion[] = "LastNotifiedVersion"; // version text a.b.c.d
inline constexpr char LastNotifiedPatch[] = "LastNotifiedPatch";     // build number
inline constexpr char LastChecked[] = "LastChecked";                 // 8 bytes, written only
inline constexpr char InstallerOverride[] = "InstallerOverride";
inline constexpr char InstallerFile[] = "InstallerFile";
inline constexpr char InstallerURL[] = "InstallerURL";
inline constexpr char InstallerVersion[] = "InstallerVersion";
inline constexpr char InstallerReady[] = "InstallerReady";
inline constexpr char InstallerSize[] = "InstallerSize";
inline constexpr char InstallerETag[] = "InstallerETag";
inline constexpr char InstallerModified[] = "InstallerModified";
} // namespace AutoUpdate

} // namespace plyfold
