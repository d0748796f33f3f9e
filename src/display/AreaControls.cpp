#include "display/AreaControls.h"

#include "display/AreaAccessibility.h"
#include "display/CBaseAreaView.h"
#include "display/DisplayBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

#include <algorithm>

namespace plyfold {

namespace {

const char kControlIdProperty[] = "plyfoldControlId";

} // namespace

AreaControls::AreaControls(CBaseAreaView* view) : QObject(view), m_view(view) {}

int AreaControls::Register(BaseDisplayBox* box, QWidget* control) {
    std::size_t index = 0;
    while (index < m_entries.size() &&
           (m_entries[index].owner != nullptr || m_entries[index].control != nullptr)) {
        ++index;
    }
    if (index == m_entries.size()) {
        m_entries.push_back({});
    }
    m_entries[index] = {box, control};
    const int id = kFirstControlId + static_cast<int>(index);
    if (control == nullptr) {
        return id;
    }
    control->setProperty(kControlIdProperty, id);
    control->installEventFilter(this);
    PrepareAreaControl(m_view, control);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, id] { Dispatch(id, &BaseDisplayBox::OnControlClicked); });
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textEdited, this,
                [this, id] { Dispatch(id, &BaseDisplayBox::OnEditChanged); });
    }
    return id;
}

void AreaControls::Release(QWidget* control) {
    if (control == nullptr) {
        return;
    }
    const int id = IdOf(control);
    if (id != 0) {
        m_entries[static_cast<std::size_t>(id - kFirstControlId)] = {};
    }
    control->removeEventFilter(this);
    if (control == m_dispatching) {
        // Never delete a control inside its own signal; it goes once the click has returned.
        control->hide();
        control->deleteLater();
        m_dispatching = nullptr;
    } else {
        delete control;
    }
}

void AreaControls::ReleaseAllOf(const BaseDisplayBox* box) {
    for (auto& entry : m_entries) {
        if (entry.owner == box) {
            if (entry.control != nullptr) {
                QWidget* control = entry.control;
                entry = {};
                Release(control);
            }
            entry = {};
        }
    }
    while (!m_entries.empty() && m_entries.back().owner == nullptr &&
           m_entries.back().control == nullptr) {
        m_entries.pop_back();
    }
}

BaseDisplayBox* AreaControls::Owner(int id) const {
    const int index = id - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        return nullptr;
    }
    return m_entries[static_cast<std::size_t>(index)].owner;
}

QWidget* AreaControls::Window(int id) const {
    const int index = id - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        return nullptr;
    }
    return m_entries[static_cast<std::size_t>(index)].control;
}

int AreaControls::IdOf(const QWidget* control) const {
    if (control == nullptr) {
        return 0;
    }
    bool ok = false;
    const int id = control->property(kControlIdProperty).toInt(&ok);
    if (!ok || Window(id) != control) {
        return 0;
    }
    return id;
}

int AreaControls::LiveCount() const {
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [](const Entry& e) { return e.control; }));
}

void AreaControls::Dispatch(int id, Handler handler) {
    BaseDisplayBox* owner = Owner(id);
    if (owner == nullptr) {
        return;
    }
    QWidget* previous = m_dispatching;
    m_dispatching = Window(id);
    (owner->*handler)(id);
    m_dispatching = previous;
}

void AreaControls::ShowToolTip(QWidget* control, const QPoint& globalPos) {
    BaseDisplayBox* owner = Owner(IdOf(control));
    const QString text = owner != nullptr ? owner->GetControlToolText(control) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    m_toolText = text;
    QToolTip::showText(globalPos, m_toolText, control);
}

bool AreaControls::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (control != nullptr && IdOf(control) != 0) {
        if (event->type() == QEvent::FocusOut && qobject_cast<QLineEdit*>(control) != nullptr) {
            auto* fe = static_cast<QFocusEvent*>(event);
            if (fe->reason() != Qt::PopupFocusReason) {
                Dispatch(IdOf(control), &BaseDisplayBox::OnEditFocusLost);
            }
        } else if (event->type() == QEvent::ToolTip && control->toolTip().isEmpty()) {
            ShowToolTip(control, static_cast<QHelpEvent*>(event)->globalPos());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---- The view's side of the registry: the controls' colours and tips ---------------------

void CBaseAreaView::UpdateControlColours(QWidget* control) {
    const int id = ControlId(control);
    if (id == 0) {
        return;
    }
    BaseDisplayBox* owner = ControlOwner(id);
    if (owner == nullptr) {
        return;
    }
    QPalette pal = control->palette();
    if (const auto brush = ControlBrush(control, owner)) {
        pal.setColor(QPalette::Window, *brush);
        pal.setColor(QPalette::Button, *brush);
        control->setAutoFillBackground(true);
    }
    const auto text = ControlTextColour(control, owner);
    const QColor textColour = text ? *text : QApplication::palette(control).color(QPalette::Text);
    pal.setColor(QPalette::Text, textColour);
    control->setPalette(pal);
}

void CBaseAreaView::SetControlTip(QWidget* control, const QString& text) {
    if (control == nullptr) {
        return;
    }
    control->setToolTip(text);
    control->setAccessibleName(text);
}

std::optional<QColor> CBaseAreaView::ControlBrush(QWidget* control, BaseDisplayBox* box) {
    (void)control;
    (void)box;
    return std::nullopt;
}

std::optional<QColor> CBaseAreaView::ControlTextColour(QWidget* control, BaseDisplayBox* box) {
    (void)control;
    (void)box;
    return std::nullopt;
}

} // namespace plyfold
