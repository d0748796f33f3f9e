#pragma once

// Dialog units: the font-relative measure in which the dialogs' layouts are given. One horizontal
// unit is a quarter of the font's average character width, one vertical unit an eighth of its
// height, so a dialog keeps its proportions with any font and screen.

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

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

// The width a control needs to show its one-line text whole: a label's (without word wrap) or a
// check box's or radio button's size hint, a push button's text with the style's margins around it
// (a push button's size hint also holds the style's minimum width, which is no need of its text).
// 0 for other controls and for controls without text.
int TextNeededWidth(const QWidget* control);

// Dialog layouts are given in dialog units for the fonts they were drawn with; another font can
// need more room for a text. This widens each direct child of `dialog` that shows a one-line text
// (a label without word wrap, a push button, check box or radio button) and is narrower than its
// text needs, to the width its text needs; controls to its right on the same row move right by as
// much, and the dialog grows so that `margin` pixels stay right of every control so changed.
// Controls whose text fits are left as they are. Call it once the texts are set.
void FitChildTexts(QWidget* dialog, int margin);

} // namespace plyfold
