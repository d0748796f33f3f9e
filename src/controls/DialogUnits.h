#pragma once

// Dialog units: the font-relative measure in which the dialogs' layouts are given. One horizontal
// unit is a quarter of the font's average character width, one vertical unit an eighth of its
// height, so a dialog keeps its proportions with any font and screen.

#include <QFont>
#include <QRect>
#include <QSize>

namespace plyfold {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int BaseX() const { return m_baseX; } // average character width in pixels
    int BaseY() const { return m_baseY; } // character height in pixels

    int X(int units) const; // horizontal units to pixels, rounded to nearest
    int Y(int units) const; // vertical units to pixels, rounded to nearest
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int m_baseX;
    int m_baseY;
};

} // namespace plyfold
