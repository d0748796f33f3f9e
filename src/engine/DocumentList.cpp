#include "engine/DocumentList.h"

#include "engine/CDoc.h"
#include "engine/DocumentPrompts.h"
#include "engine/PDFInstance.h"
#include "res/Strings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace plyfold {

DocumentList::DocumentList(EventNotify* sink, PDFInstanceManager* manager)
    : m_sink(sink), m_manager(manager != nullptr ? manager : &PDFInstanceManager::Global()) {}

DocumentList::~DocumentList() {
    // Newest first, so that each release finds the registry as it was built.
    while (!m_documents.empty()) {
        m_documents.pop_back();
    }
}

int DocumentList::IndexOf(const CDoc* doc) const {
    for (std::size_t i = 0; i < m_documents.size(); ++i) {
        if (m_documents[i].get() == doc) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void DocumentList::Notify(NotifyCode code, NotifyData data) {
    if (m_sink != nullptr) {
        m_sink->Notify(code, data);
    }
}

CDoc* DocumentList::AddDocument(const QString& path) {
    auto doc = std::make_unique<CDoc>(m_manager);
    if (!doc->Open(path)) {
        doc.reset();
        ReportError({m_messageOwner, FormatResString(ids::IDS_OPEN_FAILED, {path}), {}});
        return nullptr;
    }
    doc->m_list = this;
    CDoc* added = doc.get();
    m_documents.push_back(std::move(doc));
    Notify(NotifyCode::DocAdded, added);
    return added;
}

int DocumentList::AddFolderContents(const QString& folder) {
    // Only the folder's own entries; "*.pdf" matches whatever the letter case, as users expect
    // from a file name extension, and entries come in name order so repeated runs agree.
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.pdf")});
    dir.setFilter(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name);
    const QStringList names = dir.entryList();
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')) && !base.endsWith(QDir::separator())) {
        base += QDir::separator();
    }
    int added = 0;
    for (const QString& name : names) {
        if (AddDocument(base + name) != nullptr) {
            ++added;
        }
    }
    return added;
}

void DocumentList::RemoveDocument(CDoc* doc) {
    const int index = IndexOf(doc);
    if (index < 0) {
        return;
    }
    Notify(NotifyCode::DocRemoved, doc);
    // The sink may have changed the list meanwhile; look the document up again.
    const int now = IndexOf(doc);
    if (now < 0) {
        return;
    }
    std::unique_ptr<CDoc> owned = std::move(m_documents[std::size_t(now)]);
    m_documents.erase(m_documents.begin() + now);
    owned->m_list = nullptr;
}

void DocumentList::ClearDocuments() {
    while (!m_documents.empty()) {
        RemoveDocument(m_documents.front().get());
    }
}

void DocumentList::MoveDocument(CDoc* doc, CDoc* anchor) {
    const int index = IndexOf(doc);
    if (index < 0) {
        return;
    }
    std::unique_ptr<CDoc> owned = std::move(m_documents[std::size_t(index)]);
    m_documents.erase(m_documents.begin() + index);
    const int anchorIndex = anchor != nullptr ? IndexOf(anchor) : -1;
    const auto place =
        anchorIndex < 0 ? m_documents.begin() : m_documents.begin() + anchorIndex + 1;
    m_documents.insert(place, std::move(owned));
    Notify(NotifyCode::DocOrderChanged, nullptr);
}

void DocumentList::OnPageRetrieved(PDFInstance* instance, int page) {
    // Collect first: a receiver may change the list while it is told.
    std::vector<CDoc*> showing;
    for (const auto& doc : m_documents) {
        if (doc->instance() == instance) {
            showing.push_back(doc.get());
        }
    }
    for (CDoc* doc : showing) {
        if (IndexOf(doc) < 0) {
            continue;
        }
        PageRetrievedInfo info{doc, page};
        Notify(NotifyCode::PageRetrieved, &info);
    }
}

} // namespace plyfold
