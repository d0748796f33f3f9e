#include "display/CBaseAreaView.h"

#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "res/CommandIds.h"
#include "work/RegisteredMessage.h"

namespace plyfold {

CMergeAreaView::CMergeAreaView(DocumentList* documents, QWidget* parent)
    : CBaseAreaView(parent), m_documents(documents) {}

CMergeAreaView::~CMergeAreaView() = default;

void CMergeAreaView::PostRemoveDoc(QObject* view, CDoc* doc) {
    PostRegisteredMessage(view, QString::fromLatin1(MessageName::RemoveDoc),
                          reinterpret_cast<quintptr>(doc), 0);
}

void CMergeAreaView::OnMoveDocument(CDoc* doc, CDoc* afterDoc) {
    if (m_documents != nullptr) {
        m_documents->MoveDocument(doc, afterDoc);
    }
}

void CMergeAreaView::SortBoxes() {
    std::vector<std::unique_ptr<BaseDisplayBox>> sorted;
    sorted.reserve(m_boxes.size());
    if (m_documents != nullptr) {
        for (const auto& doc : m_documents->documents()) {
            for (auto& box : m_boxes) {
                if (box && box->doc == doc.get()) {
                    sorted.push_back(std::move(box));
                    break;
                }
            }
        }
    }
    // Boxes of documents the list no longer names keep their relative order at the end.
    for (auto& box : m_boxes) {
        if (box) {
            sorted.push_back(std::move(box));
        }
    }
    m_boxes = std::move(sorted);
    Relayout();
}

void CMergeAreaView::SendCommand(int commandId) {
    if (m_commandSink) {
        m_commandSink(commandId);
    }
}

void CMergeAreaView::LeftButtonUpAt(const QPoint& clientPos) {
    if (m_documents != nullptr && m_documents->empty()) {
        SendCommand(ids::ID_ADD_FILE);
    }
    CBaseAreaView::LeftButtonUpAt(clientPos);
}

void CMergeAreaView::OnRemoveDocMessage(CDoc* doc) {
    // A second request for the same document (two quick clicks) finds it gone and does nothing.
    if (m_documents != nullptr && m_documents->IndexOf(doc) >= 0) {
        m_documents->RemoveDocument(doc);
    }
}

bool CMergeAreaView::event(QEvent* event) {
    static const QEvent::Type removeDoc =
        RegisteredMessage(QString::fromLatin1(MessageName::RemoveDoc));
    if (event->type() == removeDoc && removeDoc != QEvent::None) {
        auto* message = static_cast<RegisteredMessageEvent*>(event);
        OnRemoveDocMessage(reinterpret_cast<CDoc*>(message->wParam()));
        return true;
    }
    return CBaseAreaView::event(event);
}

} // namespace plyfold
