#include "app/CMainFrame.h"

#include "res/Accelerators.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QAction>
#include <QFrame>

namespace plyfold {

CMainFrame::CMainFrame(CommandSink commandSink, QWidget* parent)
    : QMainWindow(parent), m_commandSink(std::move(commandSink)) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(LoadResString(ids::IDR_MAINFRAME));
    setWindowIcon(LoadResIcon(ids::IDI_MAINFRAME));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(960, 640);

    // Placeholder content until the work area and the output area take the window.
    auto* content = new QFrame(this);
    content->setObjectName(QStringLiteral("MainFrameContent"));
    content->setFrameShape(QFrame::NoFrame);
    setCentralWidget(content);

    InstallAccelerators();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::InstallAccelerators() {
    for (const AcceleratorDef& accelerator : AcceleratorTable(ids::IDR_MAIN_ACCELERATORS)) {
        auto* action = new QAction(this);
        action->setShortcut(accelerator.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setData(accelerator.commandId);
        const int commandId = accelerator.commandId;
        connect(action, &QAction::triggered, this, [this, commandId] {
            if (m_commandSink) {
                m_commandSink(commandId);
            }
        });
        addAction(action);
    }
}

} // namespace plyfold
