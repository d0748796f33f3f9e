#include "display/COutputAreaView.h"

#include "display/OutputAreaDoc.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "work/RegisteredMessage.h"

#include <QToolButton>

namespace plyfold {

COutputAreaView::COutputAreaView(DocumentList* documents, QWidget* parent)
    : CMergeAreaView(documents, parent) {
    SetBackgroundColour(QColor::fromRgba(kBackground));
    setObjectName(QStringLiteral("outputAreaView"));
}

COutputAreaView::~COutputAreaView() = default;

bool COutputAreaView::HasSection(const CDoc* doc) {
    return doc != nullptr && doc->included() && !doc->ranges().IsEmpty();
}

OutputAreaDocDisplay* COutputAreaView::SectionOf(const CDoc* doc) const {
    return static_cast<OutputAreaDocDisplay*>(FindBox(doc));
}

OutputAreaDocDisplay* COutputAreaView::SectionAt(std::size_t index) const {
    return index < m_boxes.size() ? static_cast<OutputAreaDocDisplay*>(m_boxes[index].get())
                                  : nullptr;
}

OutputAreaDocDisplay* COutputAreaView::InsertSection(CDoc* doc) {
    if (doc == nullptr) {
        return nullptr;
    }
    if (OutputAreaDocDisplay* existing = SectionOf(doc)) {
        return existing;
    }
    // Right after the section of the nearest earlier document that has one.
    std::size_t index = 0;
    if (DocumentList* list = documents(); list != nullptr) {
        const int at = list->IndexOf(doc);
        for (int i = at - 1; i >= 0; --i) {
            const BaseDisplayBox* before = FindBox(list->at(static_cast<std::size_t>(i)));
            if (before == nullptr) {
                continue;
            }
            for (std::size_t b = 0; b < m_boxes.size(); ++b) {
                if (m_boxes[b].get() == before) {
                    index = b + 1;
                    break;
                }
            }
            break;
        }
    }
    auto section = std::make_unique<OutputAreaDocDisplay>(this, doc);
    OutputAreaDocDisplay* raw = section.get();
    InsertBox(index, std::move(section)); // lays out and invalidates everything
    return raw;
}

void COutputAreaView::Notify(NotifyCode code, NotifyData data) {
    CDoc* doc = data.doc();
    switch (code) {
    case NotifyCode::DocAdded:
        if (HasSection(doc) && SectionOf(doc) == nullptr) {
            AppendBox(std::make_unique<OutputAreaDocDisplay>(this, doc));
        }
        return;
    case NotifyCode::DocRemoved:
        RemoveBox(doc);
        return;
    case NotifyCode::DocIncludedChanged:
        if (!HasSection(doc)) {
            RemoveBox(doc);
        } else if (OutputAreaDocDisplay* section = SectionOf(doc)) {
            // Already shown (a repeated notification): bring its pages in step.
            section->HandleNotify(NotifyCode::DocRangesChanged, doc);
        } else {
            InsertSection(doc);
        }
        return;
    case NotifyCode::DocRangesChanged:
        if (!HasSection(doc)) {
            RemoveBox(doc);
        } else if (OutputAreaDocDisplay* section = SectionOf(doc)) {
            section->HandleNotify(code, doc);
        } else {
            InsertSection(doc);
        }
        return;
    case NotifyCode::ThumbSizeChanged:
        // Every section forgets its page positions; one layout then serves them all.
        for (const auto& box : m_boxes) {
            static_cast<OutputAreaDocDisplay*>(box.get())->ResetPagePositions();
        }
        Relayout();
        return;
    case NotifyCode::PageRetrieved:
        for (const auto& box : m_boxes) {
            box->HandleNotify(code, data);
        }
        return;
    case NotifyCode::DocOrderChanged:
        SortBoxes();
        return;
    case NotifyCode::AppDeactivated:
        return;
    }
}

int COutputAreaView::Layout(const QRect& area) {
    const QRect visible = area.translated(0, scrollPos());
    int y = area.y();
    for (const auto& box : m_boxes) {
        y = static_cast<OutputAreaDocDisplay*>(box.get())->SectionLayout(y, area.width(), visible);
    }
    return y - area.y();
}

std::optional<QColor> COutputAreaView::ControlBrush(QWidget* control, BaseDisplayBox* box) {
    auto* section = static_cast<OutputAreaDocDisplay*>(box);
    if (section != nullptr && control != nullptr && control == section->expandButton) {
        return QColor::fromRgba(kHeaderBrush);
    }
    return QColor::fromRgba(kPageBrush);
}

bool COutputAreaView::OnCommand(int commandId) {
    (void)commandId;
    return false;
}

void COutputAreaView::PostRemovePage(QObject* view, CDoc* doc, int page) {
    PostRegisteredMessage(view, QString::fromLatin1(MessageName::RemovePage),
                          reinterpret_cast<quintptr>(doc), static_cast<quintptr>(page));
}

void COutputAreaView::OnRemovePageMessage(CDoc* doc, int page) {
    // The document may have been removed after the request was posted.
    DocumentList* list = documents();
    if (list == nullptr || list->IndexOf(doc) < 0) {
        return;
    }
    doc->SetRanges(doc->ranges().Subtract(PageRange{page, page + 1}));
}

bool COutputAreaView::event(QEvent* event) {
    static const QEvent::Type removePage =
        RegisteredMessage(QString::fromLatin1(MessageName::RemovePage));
    if (removePage != QEvent::None && event->type() == removePage) {
        auto* message = static_cast<RegisteredMessageEvent*>(event);
        const auto page = static_cast<qint64>(message->lParam());
        if (page >= 1 && page <= PageRangeList::kMaxPage) {
            OnRemovePageMessage(reinterpret_cast<CDoc*>(message->wParam()), static_cast<int>(page));
        }
        return true;
    }
    return CMergeAreaView::event(event);
}

} // namespace plyfold
