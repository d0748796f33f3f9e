#include "display/COutputAreaWrapper.h"

#include "display/COutputAreaView.h"
#include "display/DisplayBoxes.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "res/Strings.h"

#include <QPaintEvent>
#include <QPainter>

#include <cstdint>
#include <limits>

namespace plyfold {

COutputAreaWrapper::COutputAreaWrapper(DocumentList* documents, QWidget* parent)
    : QWidget(parent), m_documents(documents) {
    setObjectName(QStringLiteral("outputArea"));
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    m_view = new COutputAreaView(documents, this);
    m_view->setProperty("childId", kViewId);
    m_view->setGeometry(0, kBandHeight, width(), std::max(0, height() - kBandHeight));
    m_view->show();
    UpdateAccessibleName();
}

COutputAreaWrapper::~COutputAreaWrapper() = default;

void COutputAreaWrapper::SetCommandSink(std::function<void(int commandId)> sink) {
    m_view->SetCommandSink(std::move(sink));
}

void COutputAreaWrapper::Notify(NotifyCode code, NotifyData data) {
    m_view->Notify(code, data);
    // A document is announced as removed while the list still holds it: its pages no longer count.
    m_leaving = code == NotifyCode::DocRemoved ? data.doc() : nullptr;
    UpdateAccessibleName();
    m_leaving = nullptr;
    update();
}

bool COutputAreaWrapper::OnCommand(int commandId) {
    return m_view->OnCommand(commandId);
}

int COutputAreaWrapper::OutputPageCount() const {
    if (m_documents == nullptr) {
        return 0;
    }
    std::int64_t total = 0;
    for (const auto& doc : m_documents->documents()) {
        if (doc->included() && doc.get() != m_leaving) {
            total += doc->ranges().PageCount();
        }
    }
    return static_cast<int>(std::min<std::int64_t>(total, std::numeric_limits<int>::max()));
}

QString COutputAreaWrapper::TitleText() const {
    return LoadResString(ids::IDS_OUTPUT_PAGE_COUNT)
        .replace(QStringLiteral("%d"), QString::number(OutputPageCount()));
}

QRect COutputAreaWrapper::BandRect() const {
    return EdgeRect(3, 3, width() - 3, 34);
}

void COutputAreaWrapper::UpdateAccessibleName() {
    // The band is the column's caption: assistive tools read the page count from it, on the
    // column and on the list of pages under the band.
    setAccessibleName(TitleText());
    m_view->setAccessibleName(TitleText());
}

void COutputAreaWrapper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_view->setGeometry(0, kBandHeight, width(), std::max(0, height() - kBandHeight));
}

void COutputAreaWrapper::paintEvent(QPaintEvent* event) {
    QPainter g(this);
    g.fillRect(event->rect(), QColor::fromRgba(kBackground));
    const QRect band = BandRect();
    if (band.width() <= 0) {
        return;
    }
    g.fillRect(band, QColor::fromRgba(kBand));
    const QRect textRect = band.adjusted(3, 0, -3, 0);
    g.setFont(BoxFontVertical(12, true, this));
    g.setPen(QColor::fromRgba(boxcolours::kText));
    g.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, TitleText());
}

} // namespace plyfold
