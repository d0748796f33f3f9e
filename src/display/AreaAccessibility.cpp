#include "display/AreaAccessibility.h"

#include "display/CBaseAreaView.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWindow>

#include <climits>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace plyfold {

namespace a11y {

namespace {
QString Tr(const char* text) {
    return QCoreApplication::translate("AreaAccessibility", text);
}
} // namespace

QString PageName(int page, const QString& file) {
    return Tr("Page %1 of %2").arg(page).arg(file);
}
QString PagesFieldName(const QString& file) {
    return Tr("Pages of %1").arg(file);
}
QString IncludeFileName(const QString& file) {
    return Tr("Include %1").arg(file);
}
QString RemoveFileName(const QString& file) {
    return Tr("Remove %1").arg(file);
}
QString RemovePageName(int page, const QString& file) {
    return Tr("Remove page %1 of %2").arg(page).arg(file);
}
QString ShowPagesName(bool expanded, const QString& file) {
    return (expanded ? Tr("Hide pages of %1") : Tr("Show pages of %1")).arg(file);
}
QString ThumbnailName(int page, const QString& file) {
    return Tr("Thumbnail of page %1 of %2").arg(page).arg(file);
}
QString FirstPageName(const QString& file) {
    return Tr("First page of %1").arg(file);
}

} // namespace a11y

namespace {

// Every thumbnail of the view whose place meets `area` (content coordinates), box by box.
std::vector<std::pair<const CDoc*, AccessibleThumbnail>> Thumbnails(const CBaseAreaView* view,
                                                                    const QRect& area) {
    std::vector<std::pair<const CDoc*, AccessibleThumbnail>> all;
    std::vector<AccessibleThumbnail> ofBox;
    for (const auto& box : view->boxes()) {
        ofBox.clear();
        box->AppendThumbnails(ofBox, area);
        for (AccessibleThumbnail& thumbnail : ofBox) {
            all.emplace_back(box->doc, std::move(thumbnail));
        }
    }
    return all;
}

// A rectangle that meets every place in the content.
QRect WholeContent() {
    return QRect(INT_MIN / 4, INT_MIN / 4, INT_MAX / 2, INT_MAX / 2);
}

// One thumbnail: an image without a widget of its own, found again through the view each time it
// is asked, so that it never outlives what it shows (it is then invalid).
class ThumbnailAccessible : public QAccessibleInterface, public QAccessibleImageInterface {
public:
    ThumbnailAccessible(QWidget* canvas, CBaseAreaView* view, const CDoc* doc, int key)
        : m_canvas(canvas), m_view(view), m_doc(doc), m_key(key) {}

    bool isValid() const override { return Find().has_value(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return m_canvas != nullptr ? m_canvas->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return m_canvas != nullptr ? QAccessible::queryAccessibleInterface(m_canvas) : nullptr;
    }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name) {
            return {};
        }
        const auto found = Find();
        return found ? found->name : QString();
    }
    void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}
    QRect rect() const override {
        const auto found = Find();
        if (!found || m_canvas == nullptr || m_view == nullptr) {
            return {};
        }
        const QRect client = found->rect.translated(0, -m_view->scrollPos());
        return QRect(m_canvas->mapToGlobal(client.topLeft()), client.size());
    }
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override {
        QAccessible::State state;
        const auto found = Find();
        if (!found || m_view == nullptr || !found->rect.intersects(m_view->VisibleContentRect())) {
            state.invisible = true;
            state.offscreen = true;
        }
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ImageInterface) {
            return static_cast<QAccessibleImageInterface*>(this);
        }
        return nullptr;
    }

    // QAccessibleImageInterface
    QString imageDescription() const override { return text(QAccessible::Name); }
    QSize imageSize() const override { return rect().size(); }
    QPoint imagePosition() const override { return rect().topLeft(); }

    const CDoc* doc() const { return m_doc; }
    int key() const { return m_key; }

private:
    std::optional<AccessibleThumbnail> Find() const {
        if (m_canvas == nullptr || m_view == nullptr) {
            return std::nullopt;
        }
        const BaseDisplayBox* box = m_view->FindBox(m_doc);
        if (box == nullptr) {
            return std::nullopt;
        }
        std::vector<AccessibleThumbnail> thumbnails;
        box->AppendThumbnails(thumbnails, WholeContent());
        for (AccessibleThumbnail& thumbnail : thumbnails) {
            if (thumbnail.key == m_key) {
                return std::move(thumbnail);
            }
        }
        return std::nullopt;
    }

    QPointer<QWidget> m_canvas;
    QPointer<CBaseAreaView> m_view;
    const CDoc* m_doc; // compared, never dereferenced
    int m_key;
};

// The content window of a view: its child controls, then its visible thumbnails. It carries the
// view's name.
class AreaCanvasAccessible : public QAccessibleWidget {
public:
    AreaCanvasAccessible(QWidget* canvas, CBaseAreaView* view)
        : QAccessibleWidget(canvas, QAccessible::Pane), m_view(view) {}

    ~AreaCanvasAccessible() override {
        for (const auto& entry : m_made) {
            QAccessible::deleteAccessibleInterface(entry.second);
        }
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && m_view != nullptr) {
            return m_view->accessibleName();
        }
        return QAccessibleWidget::text(t);
    }

    int childCount() const override {
        return QAccessibleWidget::childCount() + static_cast<int>(Visible().size());
    }

    QAccessibleInterface* child(int index) const override {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets) {
            return QAccessibleWidget::child(index);
        }
        const auto visible = Visible();
        const auto at = static_cast<std::size_t>(index - widgets);
        if (at >= visible.size()) {
            return nullptr;
        }
        return InterfaceFor(visible[at].first, visible[at].second.key);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (const auto* thumbnail = dynamic_cast<const ThumbnailAccessible*>(child)) {
            const auto visible = Visible();
            for (std::size_t i = 0; i < visible.size(); ++i) {
                if (visible[i].first == thumbnail->doc() &&
                    visible[i].second.key == thumbnail->key()) {
                    return QAccessibleWidget::childCount() + static_cast<int>(i);
                }
            }
            return -1;
        }
        return QAccessibleWidget::indexOfChild(child);
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        if (QAccessibleInterface* widget = QAccessibleWidget::childAt(x, y)) {
            return widget;
        }
        for (const auto& [doc, thumbnail] : Visible()) {
            QAccessibleInterface* face = InterfaceFor(doc, thumbnail.key);
            if (face != nullptr && face->rect().contains(x, y)) {
                return face;
            }
        }
        return nullptr;
    }

private:
    std::vector<std::pair<const CDoc*, AccessibleThumbnail>> Visible() const {
        if (m_view == nullptr) {
            return {};
        }
        return Thumbnails(m_view, m_view->VisibleContentRect());
    }

    QAccessibleInterface* InterfaceFor(const CDoc* doc, int key) const {
        // Thumbnails of documents that left are dropped; the others keep their identity for as
        // long as the content window lives.
        for (auto it = m_made.begin(); it != m_made.end();) {
            if (m_view == nullptr || m_view->FindBox(it->first.first) == nullptr) {
                QAccessible::deleteAccessibleInterface(it->second);
                it = m_made.erase(it);
            } else {
                ++it;
            }
        }
        const auto found = m_made.find({doc, key});
        if (found != m_made.end()) {
            if (QAccessibleInterface* face = QAccessible::accessibleInterface(found->second)) {
                return face;
            }
            m_made.erase(found);
        }
        auto* face = new ThumbnailAccessible(widget(), m_view, doc, key);
        m_made[{doc, key}] = QAccessible::registerAccessibleInterface(face);
        return face;
    }

    QPointer<CBaseAreaView> m_view;
    mutable std::map<std::pair<const CDoc*, int>, QAccessible::Id> m_made;
};

QAccessibleInterface* AreaFactory(const QString& /*className*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    auto* view = qobject_cast<CBaseAreaView*>(widget->parentWidget());
    if (view == nullptr || view->ControlParent() != widget) {
        return nullptr;
    }
    return new AreaCanvasAccessible(widget, view);
}

// Keyboard use of the controls of one view.
class AreaControlKeys : public QObject {
public:
    explicit AreaControlKeys(CBaseAreaView* view) : QObject(view), m_view(view) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* control = qobject_cast<QWidget*>(watched);
        if (control == nullptr) {
            return false;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            auto* button = qobject_cast<QAbstractButton*>(control);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (button != nullptr && enter &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                // Enter presses the button (a check box toggles), as Space does.
                if (button->isEnabled()) {
                    button->click();
                }
                return true;
            }
        } else if (event->type() == QEvent::FocusIn) {
            const auto* focus = static_cast<QFocusEvent*>(event);
            if (focus->reason() != Qt::MouseFocusReason) {
                ScrollIntoView(control);
            }
        }
        return false;
    }

private:
    void ScrollIntoView(QWidget* control) {
        if (m_view == nullptr || control->parentWidget() != m_view->ControlParent()) {
            return;
        }
        const QRect client = m_view->ClientRect();
        const QRect place = control->geometry();
        int delta = 0;
        if (place.top() < client.top()) {
            delta = place.top() - client.top() - 6;
        } else if (place.bottom() > client.bottom()) {
            delta = place.bottom() - client.bottom() + 6;
        }
        if (delta != 0) {
            m_view->OnVScroll(ScrollToPos{m_view->scrollPos() + delta});
        }
    }

    QPointer<CBaseAreaView> m_view;
};

constexpr char kKeysName[] = "plyfoldAreaControlKeys";
constexpr char kOrderDue[] = "plyfoldFocusOrderDue";

} // namespace

void InstallAreaAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(AreaFactory); });
}

void PrepareAreaControl(CBaseAreaView* view, QWidget* control) {
    if (view == nullptr || control == nullptr) {
        return;
    }
    auto* keys = view->findChild<AreaControlKeys*>(QString::fromLatin1(kKeysName),
                                                   Qt::FindDirectChildrenOnly);
    if (keys == nullptr) {
        keys = new AreaControlKeys(view);
        keys->setObjectName(QString::fromLatin1(kKeysName));
    }
    control->installEventFilter(keys);
    // New controls join the end of the window's Tab chain; once the current layout or scroll is
    // done, the whole view's order is set again, once.
    if (!view->property(kOrderDue).toBool()) {
        view->setProperty(kOrderDue, true);
        QPointer<CBaseAreaView> guarded(view);
        QMetaObject::invokeMethod(
            view,
            [guarded] {
                if (guarded != nullptr) {
                    guarded->setProperty(kOrderDue, false);
                    OrderAreaFocus(guarded);
                }
            },
            Qt::QueuedConnection);
    }
}

void OrderAreaFocus(CBaseAreaView* view) {
    if (view == nullptr) {
        return;
    }
    std::vector<QWidget*> order;
    for (const auto& box : view->boxes()) {
        box->AppendFocusOrder(order);
    }
    QWidget* previous = nullptr;
    for (QWidget* control : order) {
        if (control == nullptr) {
            continue;
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}

} // namespace plyfold
