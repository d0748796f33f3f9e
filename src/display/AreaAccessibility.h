#pragma once

// What the area views offer keyboard users and assistive tools (screen readers reach them through
// Qt's accessibility bridge, AT-SPI on Linux):
// - the names of the boxes' controls, saying what each one is and which document and page it
//   belongs to ("Page 3 of report.pdf"); the tooltips stay the short texts they were and serve as
//   the descriptions;
// - the visible page thumbnails, exposed as named images inside the view's content window;
// - keyboard use of the controls: Tab walks them in document order (each box lists its controls
//   through BaseDisplayBox::AppendFocusOrder), Space and Enter press the buttons and check boxes,
//   and a control that takes the focus is scrolled into view.

#include <QRect>
#include <QString>

class QWidget;

namespace plyfold {

class CBaseAreaView;

// The names of the controls and images.
namespace a11y {
QString PageName(int page, const QString& file);           // "Page 3 of report.pdf"
QString PagesFieldName(const QString& file);               // "Pages of report.pdf"
QString IncludeFileName(const QString& file);              // "Include report.pdf"
QString RemoveFileName(const QString& file);               // "Remove report.pdf"
QString RemovePageName(int page, const QString& file);     // "Remove page 3 of report.pdf"
QString ShowPagesName(bool expanded, const QString& file); // "Show/Hide pages of report.pdf"
QString ThumbnailName(int page, const QString& file);      // "Thumbnail of page 3 of report.pdf"
QString FirstPageName(const QString& file);                // "First page of report.pdf"
} // namespace a11y

// Installs the accessibility of the area views' content windows (once per process; the views
// call it when they are made).
void InstallAreaAccessibility();

// Called by a view for each control it registers: Enter presses buttons and check boxes like
// Space, taking the focus scrolls the control into view, and the view's Tab order is brought in
// line with its boxes once the current event is handled.
void PrepareAreaControl(CBaseAreaView* view, QWidget* control);

// Chains the Tab order of the view's controls in the order of its boxes (each box's
// AppendFocusOrder).
void OrderAreaFocus(CBaseAreaView* view);

} // namespace plyfold
