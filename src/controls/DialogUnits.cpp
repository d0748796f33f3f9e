#include "controls/DialogUnits.h"

#include <QFontMetrics>

#include <algorithm>

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

} // namespace plyfold
