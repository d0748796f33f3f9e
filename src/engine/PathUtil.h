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

} // namespace plyfold
