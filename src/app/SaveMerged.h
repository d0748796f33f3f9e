#pragma once

// The Save Merged command: checks that there is something to merge, asks for the output file and
// its optional protection, writes the merged PDF and offers to open it or its folder.

#include "app/MergeDocuments.h"

#include <QString>

#include <optional>

class QWidget;

namespace plyfold {

class DocumentList;

// Runs the save from the user-interface thread; every outcome is shown to the user. The dialogs,
// the checks and the messages run on the calling thread; the merge itself runs on a work thread
// under the modal progress dialog (pages copied of pages total, then the writing, with Cancel).
// `mainWindow` owns the dialogs and message boxes (may be null). The document list is not changed.
void SaveMerged(const DocumentList& documents, QWidget* mainWindow);

// The merge of Save Merged once the output is chosen: the checks on the target (messages 229,
// 226), then the copying and writing on a work thread while the modal progress dialog shows how
// far it is and offers Cancel, then the file put in place or the failure shown (211 for the
// document, then 228), all messages on the calling thread in that order. Cancel stops at the next
// page: no message, no file left behind, an existing target as it was (Cancelled). The window
// takes no input meanwhile; the page service keeps rendering.
MergeResult RunMergeWithProgress(const DocumentList& documents, const QString& path,
                                 const std::optional<OutputProtection>& protection,
                                 QWidget* mainWindow);

// The folder part of an output path: the text before its last "/" or "\"; empty when the path has
// no separator, ends in one, or the folder part is shorter than two characters.
QString ContainingFolder(const QString& path);

} // namespace plyfold
