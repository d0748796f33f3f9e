#include "app/MergeDocuments.h"

#include "controls/MessageBox.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "res/Strings.h"

#include <optional>
#include <utility>

namespace plyfold {

std::vector<MergeSource> MergeSources(const DocumentList& documents) {
    std::vector<MergeSource> sources;
    sources.reserve(documents.documents().size());
    for (const auto& doc : documents.documents()) {
        MergeSource source;
        source.path = doc->path();
        source.password = doc->instance() != nullptr ? doc->instance()->password : QString();
        source.included = doc->included();
        source.ranges = doc->ranges();
        sources.push_back(std::move(source));
    }
    return sources;
}

std::int64_t CountSelectedPages(const DocumentList& documents) {
    return CountSelectedPages(MergeSources(documents));
}

int CountDistinctSources(const DocumentList& documents) {
    return CountDistinctSources(MergeSources(documents));
}

int CheckMergeSelection(const DocumentList& documents) {
    return CheckMergeSelection(MergeSources(documents));
}

bool IsExactInputPath(const DocumentList& documents, const QString& path) {
    return IsExactInputPath(MergeSources(documents), path);
}

bool IsSameFileAsInput(const DocumentList& documents, const QString& path) {
    return IsSameFileAsInput(MergeSources(documents), path);
}

bool IsInputFile(const DocumentList& documents, const QString& path) {
    return IsInputFile(MergeSources(documents), path);
}

bool WriteDocumentPages(const CDoc& doc, XpdfSpliceOutput output, QWidget* owner) {
    if (!doc.included()) {
        return true;
    }
    XpdfSpliceInput input = doc.OpenSpliceInput();
    bool success = input != nullptr;
    for (const PageRange& range : doc.ranges()) {
        if (!success) {
            break;
        }
        success = xpdfSpliceAddPages(input, range.first, range.end - 1, output);
    }
    if (input != nullptr) {
        xpdfSpliceCloseInput(input);
    }
    if (!success) {
        AppMessageBox(owner, ids::IDS_READ_ERROR, {doc.GetPath()}, MessageIcon::Error);
    }
    return success;
}

MergeResult WriteMergedFile(const DocumentList& documents, const QString& path,
                            const OutputProtection* protection, QWidget* owner, bool outlines,
                            const XpdfSpliceProgress& progress) {
    MergeJob job;
    if (const MergeResult prepared = job.Prepare(MergeSources(documents), path, owner);
        prepared != MergeResult::Written) {
        return prepared;
    }
    std::optional<OutputProtection> given;
    if (protection != nullptr) {
        given = *protection;
    }
    return job.Finish(job.Write(given, outlines, progress), owner);
}

} // namespace plyfold
