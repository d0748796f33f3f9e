#include "app/CPlyfoldApp.h"

#include "app/CMainFrame.h"
#include "app/CPlyfoldSplash.h"
#include "app/DialogPrompts.h"
#include "app/DocumentCommands.h"
#include "app/UpdateCommands.h"
#include "app/WindowPlacement.h"
#include "engine/DocumentList.h"
#include "engine/EngineConfigFile.h"
#include "engine/ProcessGlobals.h"
#include "engine/Registry.h"
#include "engine/SettingsKeys.h"
#include "engine/VersionInfo.h"
#include "platform/splice/XpdfSplice.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QApplication>
#include <QIcon>

#include <algorithm>

namespace plyfold {

namespace {

CPlyfoldApp* g_app = nullptr;

const QString kOptions = QString::fromLatin1(Options::Section);
const QString kPageSize = QString::fromLatin1(Options::PageSize);

} // namespace

CPlyfoldApp::CPlyfoldApp() {
    g_app = this;
    // The application's identity for the desktop: "Tessarine.Plyfold.1." + major.minor of the
    // file version (0.0 when the version cannot be read).
    std::unique_ptr<VersionBlock> version;
    const ModuleVersion fileVersion =
        ReadVersionInfo(nullptr, version) ? version->fileVersion : ModuleVersion{};
    m_appUserModelId = QStringLiteral("Tessarine.Plyfold.1.") + FormatVersion(fileVersion, 2);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessarine"));
    QCoreApplication::setApplicationName(QStringLiteral("Plyfold"));
    QCoreApplication::setApplicationVersion(FormatVersion(fileVersion, 4));
    // The launcher's file name (com.tessarine.Plyfold.desktop): the shell groups the windows with
    // it and shows its icon; on Wayland it is the windows' application id.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tessarine.Plyfold"));
}

CPlyfoldApp::~CPlyfoldApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

CPlyfoldApp* CPlyfoldApp::instance() {
    return g_app;
}

bool CPlyfoldApp::InitInstance() {
    InitResources();
    // Every window shows the program's icon: the frame, the splash and the dialogs.
    QApplication::setWindowIcon(LoadResIcon(ids::IDI_MAINFRAME));

    ReadSettings();
    m_log << QStringLiteral("settings");

    loadingText = LoadResString(ids::IDS_LOADING);
    m_log << QStringLiteral("loadingText");

    // The viewer engine, after its font configuration file is written (only when absent).
    WriteEngineConfig();
    m_log << QStringLiteral("engine");

    // The pictures every box draws its buttons with. A missing picture stays null; the boxes
    // then draw the button without an image.
    buttonImages[0] = QImage(QStringLiteral(":/png/322"));
    buttonImages[1] = QImage(QStringLiteral(":/png/323"));
    buttonImages[2] = QImage(QStringLiteral(":/png/324"));
    m_log << QStringLiteral("pictures");

    m_productTitle = LoadResString(ids::IDS_PRODUCT_NAME);
    QGuiApplication::setApplicationDisplayName(m_productTitle);
    m_log << QStringLiteral("title");

    ShowSplash(false);
    m_log << QStringLiteral("splash");

    // Documents ask for passwords and report errors through the program's dialogs.
    InstallDialogPrompts();
    m_documents = std::make_unique<DocumentList>();
    m_mainFrame =
        std::make_unique<CMainFrame>([this](int id) { OnCommand(id); }, m_documents.get());
    if (!m_mainFrame->IsCreated()) {
        CloseSplash(true);
        m_mainFrame.reset();
        return false;
    }
    RegisterDocumentCommands(m_commands, *m_documents,
                             [this] { return static_cast<QWidget*>(m_mainFrame.get()); });
    RegisterUpdateCommands(*this);
    m_log << QStringLiteral("frame");

    // Must come before any other call of the splicing library.
    xpdfSpliceInit();
    m_log << QStringLiteral("splice");

    // Where the window was when the program last ended, or its default size; within the screens.
    RestoreWindowPlacement(
        m_mainFrame.get(),
        GetProfileBinary(kOptions, QString::fromLatin1(Options::WindowPlacement)));
    // Once shown, the window manager's frame is known: fit once more with it.
    KeepWithinScreensOnceShown(m_mainFrame.get());
    m_mainFrame->show();
    m_log << QStringLiteral("show");

    ArmSplashCloseTimer();
    return true;
}

int CPlyfoldApp::ExitInstance() {
    CloseSplash(true);
    if (m_mainFrame != nullptr) {
        WriteProfileBinary(kOptions, QString::fromLatin1(Options::WindowPlacement),
                           SaveWindowPlacement(m_mainFrame.get()));
    }
    // The frame goes first: destroying it releases the documents.
    m_mainFrame.reset();
    WriteSettings();
    m_log << QStringLiteral("exit");
    return 0;
}

bool CPlyfoldApp::OnCommand(int commandId) {
    return m_commands.Dispatch(commandId);
}

void CPlyfoldApp::ReadSettings() {
    const int pageSize = std::clamp(GetProfileInt(kOptions, kPageSize, Options::PageSizeDefault),
                                    kMinPageSize, kMaxPageSize);
    thumbnailSize = pageSize * 10;
}

void CPlyfoldApp::WriteSettings() {
    WriteProfileInt(kOptions, kPageSize, thumbnailSize / 10);
}

} // namespace plyfold
