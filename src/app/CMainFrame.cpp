#include "app/CMainFrame.h"

#include "app/CMainView.h"
#include "controls/DialogOwner.h"
#include "engine/DocumentList.h"
#include "res/Accelerators.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "work/RegisteredMessage.h"

#include <QAction>

namespace plyfold {

namespace {

QString PageRetrievedName() {
    return QString::fromLatin1(MessageName::PageRetrieved);
}

// The event type of "Plyfold::PageRetrieved", looked up once: event() sees every event of the
// window and should not take the registry's lock for each.
QEvent::Type PageRetrievedType() {
    static const QEvent::Type type = RegisteredMessage(PageRetrievedName());
    return type;
}

} // namespace

CMainFrame::CMainFrame(CommandSink commandSink, QWidget* parent)
    : CMainFrame(std::move(commandSink), static_cast<DocumentList*>(nullptr),
                 DefaultAreaViewHooks(), parent) {}

CMainFrame::CMainFrame(CommandSink commandSink, DocumentList* documents, AreaViewHooks hooks,
                       QWidget* parent)
    : QMainWindow(parent), m_commandSink(std::move(commandSink)) {
    setObjectName(QStringLiteral("MainFrame"));
    // Dialogs asked for without an owner are shown over this window.
    SetMainWindow(this);
    setWindowTitle(LoadResString(ids::IDR_MAINFRAME));
    setWindowIcon(LoadResIcon(ids::IDI_MAINFRAME));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(960, 640);

    // Page announcements are wanted before any document can render a page.
    AttachDocumentList(documents);

    AreaContext context;
    context.documents = documents;
    context.commandSink = [this](int commandId) { OnCommand(commandId); };
    m_view = new CMainView(this, context, std::move(hooks));
    m_view->setProperty("childId", kViewId);
    setCentralWidget(m_view);
    // The view has the focus when the window first becomes active.
    m_view->setFocus();

    InstallAccelerators();
}

CMainFrame::~CMainFrame() {
    DetachDocumentList();
}

bool CMainFrame::IsCreated() const {
    return m_view != nullptr && !m_view->creationFailed();
}

void CMainFrame::AttachDocumentList(DocumentList* documents) {
    m_documents = documents;
    if (m_documents == nullptr) {
        return;
    }
    m_documents->SetNotify(this);
    m_documents->SetMessageOwner(this);
    m_pageService = m_documents->manager();
    if (m_pageService != nullptr) {
        m_pageService->SetCallback(this);
    }
}

void CMainFrame::DetachDocumentList() {
    // Stop the announcements first: once SetCallback returns, the worker no longer calls us.
    if (m_pageService != nullptr) {
        m_pageService->SetCallback(nullptr);
        m_pageService = nullptr;
    }
    if (m_documents != nullptr) {
        m_documents->ClearDocuments();
        m_documents->SetNotify(nullptr);
        m_documents->SetMessageOwner(nullptr);
        m_documents = nullptr;
    }
}

void CMainFrame::Notify(NotifyCode code, NotifyData data) {
    if (m_view != nullptr) {
        m_view->Notify(code, data);
    }
}

void CMainFrame::OnPageRetrieved(PDFInstance* instance, int page) {
    PostRegisteredMessage(this, PageRetrievedName(), reinterpret_cast<quintptr>(instance),
                          static_cast<quintptr>(page));
}

bool CMainFrame::OnCommand(int commandId) {
    if (m_view != nullptr && m_view->OnCommand(commandId)) {
        return true;
    }
    if (m_commandSink) {
        m_commandSink(commandId);
        return true;
    }
    return false;
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == PageRetrievedType() && event->type() != QEvent::None) {
        // The instance is only compared with each document's, never dereferenced: a message that
        // arrives after its document went finds no match and is dropped.
        const auto* message = static_cast<RegisteredMessageEvent*>(event);
        if (m_documents != nullptr) {
            m_documents->OnPageRetrieved(reinterpret_cast<PDFInstance*>(message->wParam()),
                                         static_cast<int>(message->lParam()));
        }
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        Notify(NotifyCode::AppDeactivated, nullptr);
    }
}

void CMainFrame::focusInEvent(QFocusEvent* event) {
    QMainWindow::focusInEvent(event);
    if (m_view != nullptr) {
        m_view->setFocus();
    }
}

void CMainFrame::InstallAccelerators() {
    for (const AcceleratorDef& accelerator : AcceleratorTable(ids::IDR_MAIN_ACCELERATORS)) {
        auto* action = new QAction(this);
        action->setShortcut(accelerator.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setData(accelerator.commandId);
        const int commandId = accelerator.commandId;
        connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
        addAction(action);
    }
}

} // namespace plyfold
