#include "controls/DialogUnits.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace plyfold {

namespace {

// a * b / c rounded to nearest, as dialog templates are scaled.
int mulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width over the 52 Latin letters, rounded, is the classic dialog base unit.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (letters / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

int DialogUnits::X(int units) const {
    return mulDiv(units, m_baseX, 4);
}

int DialogUnits::Y(int units) const {
    return mulDiv(units, m_baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    // Each edge is mapped on its own, as the platform maps a dialog rectangle.
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

int TextNeededWidth(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull()) {
            return 0;
        }
        return label->sizeHint().width();
    }
    if (const auto* push = qobject_cast<const QPushButton*>(control)) {
        if (push->text().isEmpty()) {
            return 0;
        }
        QString text = push->text();
        text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        const QStyle* style = push->style();
        return push->fontMetrics().horizontalAdvance(text) +
               2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, push);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        if (button->text().isEmpty()) {
            return 0;
        }
        return button->sizeHint().width();
    }
    return 0;
}

namespace {

bool SameRow(const QRect& a, const QRect& b) {
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

} // namespace

void FitChildTexts(QWidget* dialog, int margin) {
    if (dialog == nullptr) {
        return;
    }
    std::vector<QWidget*> children;
    for (QObject* object : dialog->children()) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget != nullptr && !widget->isWindow()) {
            children.push_back(widget);
        }
    }
    // Left to right, so that a control moved by its neighbour is then widened from its new place.
    std::sort(children.begin(), children.end(),
              [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });
    // Moves the controls right of `control` on its row that it now covers or nearly touches, by
    // as much as keeps a small gap; they in turn push their own neighbours.
    constexpr int kGap = 6;
    std::vector<const QWidget*> changed;
    auto pushRight = [&children, &changed](QWidget* control, int oldRight, auto& self) -> void {
        const QRect now = control->geometry();
        for (QWidget* other : children) {
            const QRect place = other->geometry();
            if (other == control || place.left() <= oldRight || !SameRow(place, now) ||
                place.left() > now.right() + kGap) {
                continue;
            }
            const int before = place.right();
            other->move(now.right() + 1 + kGap, place.y());
            changed.push_back(other);
            self(other, before, self);
        }
    };
    for (QWidget* control : children) {
        const int extra = TextNeededWidth(control) - control->width();
        if (extra > 0) {
            const int oldRight = control->geometry().right();
            control->resize(control->width() + extra, control->height());
            changed.push_back(control);
            pushRight(control, oldRight, pushRight);
        }
    }
    // The dialog grows only for what was widened or moved; the template's own margins stay.
    int right = 0;
    for (const QWidget* control : changed) {
        if (!control->isHidden()) {
            right = std::max(right, control->geometry().right() + 1);
        }
    }
    if (right + margin > dialog->width()) {
        const QSize size(right + margin, dialog->height());
        if (dialog->minimumSize() == dialog->maximumSize()) {
            dialog->setFixedSize(size);
        } else {
            dialog->resize(size);
        }
    }
}

} // namespace plyfold
