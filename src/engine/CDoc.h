#pragma once

// One entry of the document list: a file the user added, the shared open document that serves its
// page count and thumbnails, the pages chosen for the merged output, and whether it takes part in
// the output at all.

#include "engine/PageRangeList.h"

#include <QString>

namespace plyfold {

// The splicing layer's input handle (platform/splice/XpdfSplice.h), declared here so that the
// engine's users need not see that layer.
struct XpdfSpliceInputObject;
using XpdfSpliceInput = XpdfSpliceInputObject*;

class DocumentList;
class PDFInstance;
class PDFInstanceManager;

class CDoc {
public:
    // An empty document: no path, no instance, no pages chosen, included. `manager` is the page
    // service whose registry shares instances between documents; null means the process-wide one
    // (PDFInstanceManager::Global()). The manager must outlive the document.
    explicit CDoc(PDFInstanceManager* manager = nullptr);
    CDoc(const CDoc&) = delete;
    CDoc& operator=(const CDoc&) = delete;
    // Releases the instance reference (the last reference closes the document).
    virtual ~CDoc();

    // Opens the file: an instance already registered under the path (ASCII letters compared without
    // case) is shared without asking anything again; otherwise a new PlyfoldInstance opens the file
    // (asking for the open password or the copy-permission password when needed) and is registered.
    // On success the path is kept as given and every page is chosen. A previously held instance is
    // released first. False when the file cannot be opened or a prompt was cancelled.
    bool Open(const QString& path);

    // The path exactly as the user gave it.
    QString GetPath() const { return m_path; }
    const QString& path() const { return m_path; }

    // The shared open document; null before Open succeeds.
    PDFInstance* instance() const { return m_instance; }
    // Page count of the open document; 0 without one.
    int PageCount() const;

    // The chosen pages, ascending.
    const PageRangeList& ranges() const { return m_ranges; }
    // Replaces the chosen pages. Nothing happens when `list` equals the current ranges; otherwise
    // the list that holds this document is told NotifyCode::DocRangesChanged with this document.
    void SetRanges(const PageRangeList& list);

    // Whether the document contributes its pages to the output; its ranges are kept either way.
    bool included() const { return m_included; }
    // Sets the flag; on a real change the holding list is told NotifyCode::DocIncludedChanged.
    void SetIncluded(bool included);

    // Opens the document's own file (not the path the shared instance was registered under) for
    // splicing, with the password that was typed when it was opened, converted to 8-bit text.
    // Null on failure. The caller closes the handle with xpdfSpliceCloseInput.
    XpdfSpliceInput OpenSpliceInput() const;

    // The list that holds this document (set by DocumentList); null for a free-standing one, which
    // announces nothing.
    DocumentList* list() const { return m_list; }

private:
    friend class DocumentList;

    void ReleaseInstance();

    PDFInstanceManager* m_manager;
    PDFInstance* m_instance = nullptr;
    QString m_path;
    PageRangeList m_ranges;
    bool m_included = true;
    DocumentList* m_list = nullptr;
};

} // namespace plyfold
