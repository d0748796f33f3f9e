#pragma once

// The main window: title, icon, minimum size, accelerators and its one child, the main view. It is
// the hub of the model-to-window notifications: the document list and the command bar notify the
// frame, and the frame passes every notification down to the view. Page images finished by the
// page service arrive here (on the worker thread), cross to the user-interface thread as the
// registered message "Plyfold::PageRetrieved", and become PageRetrieved notifications for every
// document on that page's instance. Leaving the application cancels what the views were doing
// (AppDeactivated); destroying the frame clears the document list.

#include "app/AreaViewHooks.h"
#include "app/CommandTarget.h"
#include "engine/PDFInstance.h"
#include "work/EventNotify.h"

#include <QMainWindow>

#include <functional>

namespace plyfold {

class CMainView;
class DocumentList;

class CMainFrame : public QMainWindow,
                   public EventNotify,
                   public PDFInstanceManager::PDFPageCallback,
                   public CommandTarget {
    Q_OBJECT
public:
    // Receives every command the view does not handle (accelerators, command-bar buttons, the
    // help menu): the application object's command routing.
    using CommandSink = std::function<void(int commandId)>;

    // A frame without a document list: its areas are empty panels.
    explicit CMainFrame(CommandSink commandSink, QWidget* parent = nullptr);
    // The frame of `documents`: it becomes the list's notification sink and the receiver of the
    // page announcements of the list's page service, its areas (made by `hooks`) show the list,
    // and it clears the list when destroyed. The list must outlive the frame.
    CMainFrame(CommandSink commandSink, DocumentList* documents,
               AreaViewHooks hooks = DefaultAreaViewHooks(), QWidget* parent = nullptr);
    // Clears the document list first (every document announced with DocRemoved while the views
    // still exist), stops the page announcements and lets go of the list, then destroys the view.
    ~CMainFrame() override;

    static constexpr int kMinWidth = 400;
    static constexpr int kMinHeight = 200;
    static constexpr int kViewId = 59648; // the view's child id (the first pane)

    // False when the view could not make its areas; the application then ends.
    bool IsCreated() const;

    DocumentList* documentList() const { return m_documents; }
    CMainView* view() const { return m_view; }

    // EventNotify: passes the notification unchanged to the view.
    void Notify(NotifyCode code, NotifyData data) override;

    // PDFPageCallback, on the page service's worker thread: posts "Plyfold::PageRetrieved"
    // (wParam = the instance, lParam = the page) to this window.
    void OnPageRetrieved(PDFInstance* instance, int page) override;

    // Routes a command: the view (work area, output area) first, then the command sink. Returns
    // true when the view or the sink took it.
    bool OnCommand(int commandId) override;

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void AttachDocumentList(DocumentList* documents);
    void DetachDocumentList();
    void InstallAccelerators();

    CommandSink m_commandSink;
    CMainView* m_view = nullptr;
    DocumentList* m_documents = nullptr;
    PDFInstanceManager* m_pageService = nullptr; // where OnPageRetrieved is registered
};

} // namespace plyfold
