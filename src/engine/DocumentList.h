#pragma once

// The document list: the ordered documents the user has added. Its order is the output order.
// Every change is announced to one EventNotify sink (the main frame) with the codes of
// work/EventNotify.h; the windows redraw from the list and never poll it. User-interface thread
// only.

#include "work/EventNotify.h"

#include <QString>

#include <memory>
#include <vector>

class QObject;

namespace plyfold {

class CDoc;
class PDFInstance;
class PDFInstanceManager;

class DocumentList {
public:
    // `sink` receives the notifications (null: none are sent); `manager` is the page service whose
    // registry shares instances (null: the process-wide one). Both must outlive the list, or the
    // sink must be cleared with SetNotify(nullptr) before it goes.
    explicit DocumentList(EventNotify* sink = nullptr, PDFInstanceManager* manager = nullptr);
    DocumentList(const DocumentList&) = delete;
    DocumentList& operator=(const DocumentList&) = delete;
    // Destroys the remaining documents without announcing them (call ClearDocuments first to have
    // each removal announced).
    ~DocumentList();

    void SetNotify(EventNotify* sink) { m_sink = sink; }
    EventNotify* notifySink() const { return m_sink; }
    PDFInstanceManager* manager() const { return m_manager; }

    // Owner of the error messages (the main window); null uses the window in front.
    void SetMessageOwner(QObject* owner) { m_messageOwner = owner; }
    QObject* messageOwner() const { return m_messageOwner; }

    // The documents in order (order of the work area and of the output).
    const std::vector<std::unique_ptr<CDoc>>& documents() const { return m_documents; }
    std::size_t size() const { return m_documents.size(); }
    bool empty() const { return m_documents.empty(); }
    CDoc* at(std::size_t index) const { return m_documents.at(index).get(); }
    // Position of the document in the list (pointer identity); -1 when absent.
    int IndexOf(const CDoc* doc) const;

    // Opens the file as a new document (CDoc::Open); on success appends it, announces DocAdded with
    // it and returns it. On failure reports the error 206 "Cannot open file '%s'" with the
    // path and returns null; the list is unchanged.
    CDoc* AddDocument(const QString& path);

    // Adds every entry of `folder` itself (sub-folders are not entered) whose name ends in ".pdf",
    // letter case ignored, in name order; an entry that is a folder is offered too and fails with
    // message 206 like any file that cannot be opened. Returns the number of documents added. A
    // folder without matching entries adds nothing and says nothing.
    int AddFolderContents(const QString& folder);

    // Announces DocRemoved with the document while it is still in the list, then erases and
    // destroys it. A document that is not in the list is ignored (nothing is announced or
    // destroyed), so a removal request that arrives twice is harmless.
    void RemoveDocument(CDoc* doc);

    // Removes every document in list order, each announced with DocRemoved before it is destroyed.
    // An empty list does nothing.
    void ClearDocuments();

    // Moves `doc` to right after `anchor`; a null anchor, or one not in the list (which includes
    // doc itself, taken out first), moves it to the front. Announces DocOrderChanged (null datum).
    // A document not in the list changes nothing and announces nothing.
    void MoveDocument(CDoc* doc, CDoc* anchor);

    // A page image of `instance` is ready: announces PageRetrieved with {document, page} for every
    // document on that instance, in list order.
    void OnPageRetrieved(PDFInstance* instance, int page);

    // Passes one notification to the sink (used by CDoc for its own changes).
    void Notify(NotifyCode code, NotifyData data);

private:
    EventNotify* m_sink;
    PDFInstanceManager* m_manager;
    QObject* m_messageOwner = nullptr;
    std::vector<std::unique_ptr<CDoc>> m_documents;
};

} // namespace plyfold
