#pragma once

#include <QString>

namespace plyfold {

// Whether c separates a path's parts: "/", and on Windows "\" as well; elsewhere "\" is an
// ordinary character of a file name.
bool IsPathSeparator(QChar c);

// Joins a folder and a relative path with exactly one separator between them.
// An empty folder gives `relative`, an empty relative gives `folder`. With `honourAbsolute`, a
// relative path that is itself absolute (on Windows a drive path "X:..." or a network path
// "\\..."; elsewhere a path from the root) is returned unchanged. The separator added is the
// platform's own; a leading separator of `relative` is dropped.
QString CombinePath(const QString& folder, const QString& relative, bool honourAbsolute);

// Splits a path at its last separator into the folder before and the name after it. The separator
// is "/", and on Windows "\" as well: elsewhere "\" is an ordinary character of a file name.
// Fails (outputs unchanged) without a separator, with the separator as last character, or with the
// separator at position 0 or 1 (a root is not split off).
bool SplitPath(const QString& path, QString* folder, QString* name);

// The text after the last separator of `path` (as SplitPath reads separators); empty when the path
// has none.
QString FileNameAfterFolder(const QString& path);

// Whether this platform's file names ignore letter case (then "A.pdf" and "a.pdf" are one file).
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
inline constexpr bool kCaseInsensitivePaths = true;
#else
inline constexpr bool kCaseInsensitivePaths = false;
#endif

// The ASCII letters A to Z lowered, every other character as it is.
QString LowerAsciiLetters(const QString& path);

// The key under which a path is found again among opened files: LowerAsciiLetters where file names
// ignore letter case, the path as it is elsewhere, so that two different files never share a key.
QString PathKey(const QString& path);

} // namespace plyfold
