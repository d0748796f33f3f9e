#include "display/CBaseAreaView.h"

#include "res/Menus.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

// The context menus of an area view: built from the menu definitions, prepared by the box under
// the pointer, and their chosen command handed back to that box.

namespace plyfold {

namespace {

CBaseAreaView::MenuRunner& menuRunner() {
    static CBaseAreaView::MenuRunner runner;
    return runner;
}

} // namespace

void CBaseAreaView::SetMenuRunner(MenuRunner runner) {
    menuRunner() = std::move(runner);
}

std::unique_ptr<QMenu> CBaseAreaView::BuildMenu(int menuId, QWidget* parent) {
    const auto items = MenuDefinition(menuId);
    if (items.empty()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(parent);
    for (const auto& item : items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(item.text);
        action->setData(item.commandId);
    }
    return menu;
}

QAction* CBaseAreaView::FindMenuAction(QMenu& menu, int commandId) {
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator() && action->data().toInt() == commandId) {
            return action;
        }
    }
    return nullptr;
}

void CBaseAreaView::ShowContextMenu(const QPoint& clientPos, const QPoint& globalPos) {
    const int x = clientPos.x();
    const int y = clientPos.y() + m_scrollPos;
    for (const auto& boxPtr : m_boxes) {
        BaseDisplayBox* box = boxPtr.get();
        PageDisplayBox* item = nullptr;
        const int menuId = box->MenuHitTest(x, y, &item);
        if (menuId == 0) {
            continue;
        }
        auto menu = BuildMenu(menuId, this);
        if (!menu) {
            return;
        }
        // Taking the focus ends an edit in progress (an invalid range text is restored).
        setFocus(Qt::OtherFocusReason);
        box->PrepareMenu(*menu, item);
        QAction* chosen = menuRunner() ? menuRunner()(*menu, globalPos) : menu->exec(globalPos);
        // The menu's own event loop may have removed the box meanwhile.
        if (chosen != nullptr && HoldsBox(box)) {
            const int command = chosen->data().toInt();
            if (command != 0) {
                box->OnMenuCommand(command, item);
            }
        }
        return;
    }
}

void CBaseAreaView::contextMenuEvent(QContextMenuEvent* event) {
    ShowContextMenu(event->pos(), event->globalPos());
}

} // namespace plyfold
