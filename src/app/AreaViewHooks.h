#pragma once

// How the main view makes its work area and output area, and how it scrolls one of them by a
// line. The main view needs only these three things from the area classes, so they are gathered
// here; tests pass their own areas.

#include <QWidget>

#include <functional>

namespace plyfold {

class DocumentList;

// What an area is made with.
struct AreaContext {
    // The document list the areas show; null when the frame has none (the areas are then empty
    // panels).
    DocumentList* documents = nullptr;
    // Where the areas send application commands (the main frame's routing), e.g. Add File after a
    // click in an empty area.
    std::function<void(int commandId)> commandSink;
};

struct AreaViewHooks {
    // Create the work area (left) or the output area's window (right column) as a child of
    // `parent`. Null makes the view's creation fail.
    std::function<QWidget*(QWidget* parent, const AreaContext& context)> createWorkArea;
    std::function<QWidget*(QWidget* parent, const AreaContext& context)> createOutputArea;
    // If `widget` is an area view, scrolls it one line down (`down`) or up, as a click on its
    // scroll bar's arrow would, and returns true; otherwise returns false and does nothing.
    std::function<bool(QWidget* widget, bool down)> scrollLine;
    // Offers a command to an area; true when the area took it. Empty: the areas take none.
    std::function<bool(QWidget* area, int commandId)> offerCommand;
};

// The program's own areas: the work area (CWorkAreaView) and the output column
// (COutputAreaWrapper) of the context's document list; empty panels without a list.
AreaViewHooks DefaultAreaViewHooks();

} // namespace plyfold
