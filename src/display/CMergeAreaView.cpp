#include "display/CBaseAreaView.h"

#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "res/CommandIds.h"
#include "work/RegisteredMessage.h"

namespace plyfold {

CMergeAreaView::CMergeAreaView(DocumentList* documents, QWidget* parent)
    : CBaseAreaView(parent), documents_(documents) {}

CMergeAreaView::~CMergeAreaView() = default;

void CMergeAreaView::PostRemoveDoc(QObject* view, CDoc* doc) {
    PostRegisteredMessage(view, QString::fromLatin1(MessageName::RemoveDoc),
                          reinterpret_cast<quintptr>(doc), 0);
}

void CMergeAreaView::OnMoveDocument(CDoc* doc, CDoc* afterDoc) {
    if (documents_ != nullptr) {
        documents_->MoveDocument(doc, afterDoc);
    }
}

void CMergeAreaView::SortBoxes() {
    std::vector<std::unique_ptr<BaseDisplayBox>> sorted;
    sorted.reserve(boxes_.size());
    if (documents_ != nullptr) {
        for (const auto& doc : documents_->documents()) {
            for (auto& box : boxes_) {
                if (box && box->doc == doc.get()) {
                    sorted.push_back(std::move(box));
                    break;
                }
            }
        }
    }
    // Boxes of documents the list no longer names keep their relative order at the end.
    for (auto& box : boxes_) {
        if (box) {
            sorted.push_back(std::move(box));
        }
    }
    boxes_ = std::move(sorted);
    Relayout();
}

void CMergeAreaView::SendCommand(int commandId) {
    if (commandSink_) {
        commandSink_(commandId);
    }
}

void CMergeAreaView::LeftButtonUpAt(const QPoint& clientPos) {
    if (documents_ != nullptr && documents_->empty()) {
        SendCommand(ids::ID_ADD_FILE);
    }
    CBaseAreaView::LeftButtonUpAt(clientPos);
}

void CMergeAreaView::OnRemoveDocMessage(CDoc* doc) {
    // A second request for the same document (two quick clicks) finds it gone and does nothing.
    if (documents_ != nullptr && documents_->IndexOf(doc) >= 0) {
        documents_->RemoveDocument(doc);
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
