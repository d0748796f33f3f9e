#pragma once

// The Save Merged command: checks that there is something to merge, asks for the output file and
// its optional protection, writes the merged PDF and offers to open it or its folder.

#include <QString>

class QWidget;

namespace plyfold {

class DocumentList;

// Runs the whole save on the calling (user-interface) thread; every outcome is shown to the user.
// `mainWindow` owns the dialogs and message boxes (may be null). The document list is not changed.
void SaveMerged(const DocumentList& documents, QWidget* mainWindow);

// The folder part of an output path: the text before its last "/" or "\"; empty when the path has
// no separator, ends in one, or the folder part is shorter than two characters.
QString ContainingFolder(const QString& path);

} // namespace plyfold
