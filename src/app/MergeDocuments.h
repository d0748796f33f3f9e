#pragma once

// The merge of the window's document list: the checks and the writer of app/MergeJob.h, taken
// over the documents as they are in the list (in list order, each with the password it was opened
// with).

#include "app/MergeJob.h"

#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

namespace plyfold {

class CDoc;
class DocumentList;

// The sources of a merge of the list: every document, in list order, with its path, the password
// its file was opened with, whether it is included and its chosen pages.
std::vector<MergeSource> MergeSources(const DocumentList& documents);

// The checks of app/MergeJob.h over the list's documents.
std::int64_t CountSelectedPages(const DocumentList& documents);
int CountDistinctSources(const DocumentList& documents);
int CheckMergeSelection(const DocumentList& documents);
bool IsExactInputPath(const DocumentList& documents, const QString& path);
bool IsSameFileAsInput(const DocumentList& documents, const QString& path);
bool IsInputFile(const DocumentList& documents, const QString& path);

// Copies the chosen ranges of one document to `output`, one splice call per range in ascending
// order. A document that is not included is skipped (true). One that is included is opened for
// splicing even without chosen pages. On failure shows message 211 with the document's path and
// returns false.
bool WriteDocumentPages(const CDoc& doc, XpdfSpliceOutput output, QWidget* owner);

// Writes the merged file of the included documents to `path`, encrypted (AES-128, with the
// passwords and permission word of `protection`) when `protection` is given and sets a password.
// The three steps of MergeJob on the calling thread, with `progress` as in MergeJob::Write.
//
// The file is written to a fresh temporary file beside the target and moves over the target only
// when everything was written, so a failure never empties, truncates or deletes an existing file,
// and leaves no file behind. Message 226 when the target cannot be written (it names a folder or a
// read-only file, or its folder does not take a new file); 211 then 228 when a document cannot be
// read; 228 when the file cannot be completed or moved into place.
//
// `outlines` false leaves the inputs' outlines out of the merged file (links, named destinations,
// form fields and page labels are kept either way).
MergeResult WriteMergedFile(const DocumentList& documents, const QString& path,
                            const OutputProtection* protection, QWidget* owner,
                            bool outlines = true, const XpdfSpliceProgress& progress = {});

} // namespace plyfold
