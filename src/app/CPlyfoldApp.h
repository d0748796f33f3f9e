#pragma once

#include "app/CommandDispatcher.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace plyfold {

class CMainFrame;
class DocumentList;

// The application object: starts the program in its fixed order, owns the main window and the
// process-wide settings, and handles the application-level commands. Create it after the
// QApplication; run InitInstance, the event loop, then ExitInstance.
class CPlyfoldApp : public QObject {
    Q_OBJECT
public:
    CPlyfoldApp();
    ~CPlyfoldApp() override;

    static CPlyfoldApp* instance(); // the one application object, or null

    // Start-up in order: settings, loading text, viewer engine, shared pictures, product title,
    // splash, main frame, splicing library, showing the frame. False ends the application.
    bool InitInstance();
    // Exit: closes what start-up opened and writes the settings back. Returns the exit code.
    int ExitInstance();

    // Routes a command id to its handler; false when no handler knows the id.
    bool OnCommand(int commandId);
    CommandDispatcher& commands() { return m_commands; }

    CMainFrame* mainFrame() const { return m_mainFrame.get(); }
    // The documents in work-area order, which is also the output order.
    DocumentList* documents() const { return m_documents.get(); }
    const QString& productTitle() const { return m_productTitle; }
    const QString& appUserModelId() const { return m_appUserModelId; }

    // Names of the start-up and exit steps in the order they ran, so the order can be checked.
    const QStringList& lifecycleLog() const { return m_log; }

private:
    void ReadSettings();
    void WriteSettings();

    CommandDispatcher m_commands;
    // Declared before the frame: the frame clears the list when it is destroyed.
    std::unique_ptr<DocumentList> m_documents;
    std::unique_ptr<CMainFrame> m_mainFrame;
    QString m_productTitle;
    QString m_appUserModelId;
    QStringList m_log;
};

} // namespace plyfold
