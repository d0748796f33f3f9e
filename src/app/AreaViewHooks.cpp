#include "app/AreaViewHooks.h"

#include "app/CommandTarget.h"
#include "display/CBaseAreaView.h"
#include "display/COutputAreaWrapper.h"
#include "display/CWorkAreaView.h"

#include <QPalette>

namespace plyfold {

namespace {

// Stands in for an area while no document list is attached: an empty panel in the area's
// background colour.
QWidget* MakePanel(QWidget* parent, const char* name, const QColor& colour) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
    return panel;
}

} // namespace

AreaViewHooks DefaultAreaViewHooks() {
    AreaViewHooks hooks;
    hooks.createWorkArea = [](QWidget* parent, const AreaContext& context) -> QWidget* {
        if (context.documents == nullptr) {
            return MakePanel(parent, "workArea", QColor(CWorkAreaView::kBackground));
        }
        auto* area = new CWorkAreaView(context.documents, parent);
        area->setObjectName(QStringLiteral("workArea"));
        area->SetCommandSink(context.commandSink);
        return area;
    };
    hooks.createOutputArea = [](QWidget* parent, const AreaContext& context) -> QWidget* {
        if (context.documents == nullptr) {
            return MakePanel(parent, "outputArea", QColor(COutputAreaWrapper::kBackground));
        }
        auto* area = new COutputAreaWrapper(context.documents, parent);
        area->setObjectName(QStringLiteral("outputArea"));
        area->SetCommandSink(context.commandSink);
        return area;
    };
    hooks.scrollLine = [](QWidget* widget, bool down) {
        auto* area = qobject_cast<CBaseAreaView*>(widget);
        if (area == nullptr) {
            return false;
        }
        area->OnVScroll(down ? ScrollStep::LineDown : ScrollStep::LineUp);
        return true;
    };
    hooks.offerCommand = [](QWidget* area, int commandId) {
        if (auto* wrapper = qobject_cast<COutputAreaWrapper*>(area)) {
            return wrapper->OnCommand(commandId);
        }
        if (auto* target = dynamic_cast<CommandTarget*>(area)) {
            return target->OnCommand(commandId);
        }
        return false;
    };
    return hooks;
}

} // namespace plyfold
