// Check for Updates end to end against a loopback server that answers the enciphered query and
// serves a signed installer package with Range support, with the message box, the offer dialog,
// the browser, the installer launcher and the application's quit replaced by recorders. Then the
// help menu's other commands: About and the three links.

#include "app/UpdateCommands.h"

#include "app/CNewProgressDlg.h"
#include "app/CPlyfoldApp.h"
#include "app/CPlyfoldSplash.h"
#include "app/ShellOpen.h"
#include "controls/MessageBox.h"
#include "engine/Registry.h"
#include "engine/VersionInfo.h"
#include "res/CommandIds.h"
#include "res/Links.h"
#include "server/InstallerServerSide.h"
#include "server/LoopbackHttpServer.h"
#include "server/UpdateServerSide.h"
#include "update/CUpdateNotifyDlg.h"
#include "update/InstallerTestSupport.h"
#include "update/UpdateSettings.h"
#include "update/UpdateTestSupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace plyfold {
namespace {

using namespace plyfold::test;

const QString kSection = QStringLiteral("AutoUpdate");

// Presses Cancel in the progress dialog as soon as `when` holds while it is up.
class ProgressCanceller {
public:
    explicit ProgressCanceller(std::function<bool()> when) : m_when(std::move(when)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CNewProgressDlg*>(widget);
                if (dialog != nullptr && dialog->isVisible() && !dialog->cancelled && m_when()) {
                    dialog->cancelButton()->click();
                    ++presses;
                }
            }
        });
        m_timer.start(10);
    }
    int presses = 0;

private:
    std::function<bool()> m_when;
    QTimer m_timer;
};

class UpdateRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_package = m_env.signing.Sign(InstallerBytes(200 * 1024, 3));
        m_query = std::make_unique<UpdateServerSide>(readTestKey("test_private.pem"));
        ASSERT_TRUE(m_query->hasKey());
        m_installer = std::make_unique<InstallerServerSide>(m_package);
        m_server = std::make_unique<LoopbackHttpServer>([this](const HttpRequest& request) {
            return request.method == "POST" ? m_query->Handle(request)
                                            : m_installer->Handle(request);
        });
        ASSERT_TRUE(m_server->Start());
        qputenv("PLYFOLD_UPDATE_URL", "http://" + m_server->server().toLatin1() + "/");
        qputenv("PLYFOLD_UPDATE_PUBKEY", testKeyPath("test_public.key").toLocal8Bit());
        Answer(UpdateInfo());

        SetMessageBoxAnswerer([this](const MessageBoxRequest& request) {
            m_messages.push_back(request);
            return int(QMessageBox::Ok);
        });
        CUpdateNotifyDlg::SetAnswerer([this](CUpdateNotifyDlg& dialog) {
            m_offers.push_back(
                qobject_cast<QLabel*>(dialog.Control(ids::IDC_UPDATE_HEADLINE))->text());
            const int button = m_accept ? ids::IDC_UPDATE_ACTION : ids::IDC_UPDATE_DECLINE;
            qobject_cast<QPushButton*>(dialog.Control(button))->click();
        });
        SetUrlOpener([this](const QUrl& url) {
            m_opened.push_back(url.toString());
            return true;
        });
        SetQuitRequester([this] { ++m_quits; });
        m_window.show();
    }
    void TearDown() override {
        m_server->Stop();
        SetMessageBoxAnswerer({});
        CUpdateNotifyDlg::SetAnswerer({});
        SetUrlOpener({});
        SetQuitRequester({});
        qunsetenv("PLYFOLD_UPDATE_URL");
        qunsetenv("PLYFOLD_UPDATE_PUBKEY");
    }

    QString InstallerUrl() const {
        return QStringLiteral("http://") + m_server->server() +
               QString::fromLatin1(m_installer->path());
    }

    // The server's answer to every query.
    void Answer(const UpdateInfo& info) {
        m_query->respond = [info](const UpdateRequest&) { return UpdateServerSide::Reply(info); };
    }

    UpdateInfo NewVersion() const {
        UpdateInfo info;
        info.kind = UpdateInfo::NewVersion;
        info.version = {2, 1, 0, 15};
        info.actionAddress = InstallerUrl();
        info.infoAddress = QStringLiteral("http://www.example.test/news");
        info.lines = {QStringLiteral("Faster")};
        return info;
    }

    UpdateRunResult Run() { return RunUpdateCheck(&m_window); }

    InstallerEnvironment m_env;
    QByteArray m_package;
    std::unique_ptr<UpdateServerSide> m_query;
    std::unique_ptr<InstallerServerSide> m_installer;
    std::unique_ptr<LoopbackHttpServer> m_server;
    QWidget m_window;
    bool m_accept = true;
    std::vector<MessageBoxRequest> m_messages;
    std::vector<QString> m_offers;
    std::vector<QString> m_opened;
    int m_quits = 0;
};

TEST_F(UpdateRunTest, NoUpdateAndFailedQueriesSayNoUpdatesFound) {
    const struct {
        const char* name;
        std::function<HttpResponse(const UpdateRequest&)> respond;
    } cases[] = {
        {"no update", [](const UpdateRequest&) { return UpdateServerSide::Reply(UpdateInfo()); }},
        {"wrong content type",
         [](const UpdateRequest&) { return UpdateServerSide::Raw("00000000", "text/plain"); }},
        {"unreadable reply",
         [](const UpdateRequest&) {
             return UpdateServerSide::Raw("0200", "application/x-tessarine-auto-update-reply");
         }},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        m_messages.clear();
        m_query->respond = row.respond;
        EXPECT_EQ(Run(), UpdateRunResult::NoUpdate);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].text, QStringLiteral("No updates found"));
        EXPECT_EQ(m_messages[0].icon, MessageIcon::Information);
        EXPECT_TRUE(m_offers.empty());
    }
    EXPECT_EQ(m_quits, 0);
}

TEST_F(UpdateRunTest, AcceptedUpdateIsDownloadedAcrossADroppedConnectionVerifiedAndLaunched) {
    Answer(NewVersion());
    m_installer->DropNextAfter(70000);

    // The first run's download breaks off: nothing is started, nothing is said, the partial
    // download stays.
    EXPECT_EQ(Run(), UpdateRunResult::NotReady);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_quits, 0);
    EXPECT_EQ(QFileInfo(m_env.partFile()).size(), 70000);
    EXPECT_EQ(GetProfileString(kSection, QStringLiteral("LastNotifiedVersion")),
              QStringLiteral("2.1.0.15"));
    ASSERT_EQ(m_offers.size(), 1u);
    EXPECT_EQ(m_offers[0],
              QStringLiteral("Version 2.1.0.15 of Plyfold is available for download!"));

    // The next run resumes where it stopped, verifies, launches and asks the application to quit.
    EXPECT_EQ(Run(), UpdateRunResult::Launched);
    EXPECT_EQ(m_installer->ranges(), (std::vector<QByteArray>{"", "bytes=70000-"}));
    EXPECT_EQ(m_quits, 1);
    const auto launched = m_env.launched();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].parameters,
              QStringLiteral("/i \"%1\" /qb LAUNCHAPPONEXIT=\"1\"").arg(m_env.contentFile()));
    EXPECT_EQ(ReadFileBytes(m_env.finalFile()), m_package);
    EXPECT_EQ(ReadFileBytes(m_env.contentFile()), InstallerBytes(200 * 1024, 3));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(UpdateRunTest, PendingDownloadIsOfferedWhenTheServerHasNothingNew) {
    Answer(NewVersion());
    m_installer->DropNextAfter(50000);
    EXPECT_EQ(Run(), UpdateRunResult::NotReady);

    // "No update" now turns into the offer of the pending installer (version 0.0.0.0).
    Answer(UpdateInfo());
    EXPECT_EQ(Run(), UpdateRunResult::Launched);
    ASSERT_EQ(m_offers.size(), 2u);
    EXPECT_EQ(m_offers[1], QStringLiteral("Version 0.0.0.0 of Plyfold is available for download!"));
    EXPECT_EQ(m_installer->ranges().back(), "bytes=50000-");
    EXPECT_EQ(m_env.launched().size(), 1u);
    EXPECT_EQ(m_quits, 1);
}

TEST_F(UpdateRunTest, PackageThatDoesNotVerifyIsNeverLaunched) {
    CertificateOptions otherName;
    otherName.commonName = QStringLiteral("Mallory");
    const TestCertificate mallory = MakeCertificate(otherName, &m_env.signing.root);
    m_installer->SetPackage(SignPackage(InstallerBytes(200 * 1024, 3), mallory), "\"m\"");
    Answer(NewVersion());
    EXPECT_EQ(Run(), UpdateRunResult::NotReady);
    EXPECT_TRUE(m_env.launched().empty());
    EXPECT_EQ(m_quits, 0);
    EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
    EXPECT_FALSE(QFileInfo::exists(m_env.finalFile()));

    // With the pending download forgotten, "no update" is just that.
    Answer(UpdateInfo());
    EXPECT_EQ(Run(), UpdateRunResult::NoUpdate);
}

TEST_F(UpdateRunTest, InstallerThatCannotStartLeavesTheApplicationRunning) {
    Answer(NewVersion());
    m_env.launchAnswer = false;
    EXPECT_EQ(Run(), UpdateRunResult::LaunchFailed);
    EXPECT_EQ(m_env.launched().size(), 1u);
    EXPECT_EQ(m_quits, 0);
}

TEST_F(UpdateRunTest, DeclinedOfferIsRememberedAndNothingElseHappens) {
    UpdateInfo patch = NewVersion();
    patch.kind = UpdateInfo::Patch;
    patch.version = {2, 1, 7, 0};
    Answer(patch);
    m_accept = false;
    EXPECT_EQ(Run(), UpdateRunResult::Declined);
    EXPECT_EQ(GetProfileInt(kSection, QStringLiteral("LastNotifiedPatch"), 0), 7);
    EXPECT_TRUE(m_installer->ranges().empty());
    EXPECT_TRUE(GetProfileString(kSection, QStringLiteral("InstallerFile")).isEmpty());
}

TEST_F(UpdateRunTest, PaidUpgradeOpensOnlyAWebPage) {
    const struct {
        const char* address;
        UpdateRunResult result;
    } cases[] = {
        {"https://www.example.test/buy?upgrade=2", UpdateRunResult::PurchaseOpened},
        {"http://www.example.test/buy", UpdateRunResult::PurchaseOpened},
        {"file:///usr/bin/xterm", UpdateRunResult::PurchaseRefused},
        {"/usr/bin/xterm", UpdateRunResult::PurchaseRefused},
        {"javascript:alert(1)", UpdateRunResult::PurchaseRefused},
        {"", UpdateRunResult::PurchaseRefused},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.address);
        m_opened.clear();
        UpdateInfo paid = NewVersion();
        paid.kind = UpdateInfo::PaidUpgrade;
        paid.version = {3, 0, 0, 1};
        paid.actionAddress = QString::fromLatin1(row.address);
        Answer(paid);
        EXPECT_EQ(Run(), row.result);
        if (row.result == UpdateRunResult::PurchaseOpened) {
            EXPECT_EQ(m_opened, std::vector<QString>{QString::fromLatin1(row.address)});
        } else {
            EXPECT_TRUE(m_opened.empty());
        }
        EXPECT_EQ(GetProfileString(kSection, QStringLiteral("LastNotifiedVersion")),
                  QStringLiteral("3.0.0.1"));
    }
    EXPECT_TRUE(m_installer->ranges().empty());
    EXPECT_EQ(m_quits, 0);
}

TEST_F(UpdateRunTest, CancellingTheQueryEndsTheRunWithoutAMessage) {
    m_query->respond = [](const UpdateRequest&) {
        HttpResponse response = UpdateServerSide::Reply(UpdateInfo());
        response.stallBeforeMs = 20000;
        return response;
    };
    ProgressCanceller canceller([this] { return !m_query->queries().empty(); });
    EXPECT_EQ(Run(), UpdateRunResult::Cancelled);
    EXPECT_EQ(canceller.presses, 1);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_offers.empty());
}

TEST_F(UpdateRunTest, CancellingTheDownloadForgetsIt) {
    Answer(NewVersion());
    m_installer->DropNextAfter(60000, 20000);
    ProgressCanceller canceller([this] { return QFileInfo(m_env.partFile()).size() >= 60000; });
    EXPECT_EQ(Run(), UpdateRunResult::DownloadCancelled);
    EXPECT_EQ(canceller.presses, 1);
    EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
    EXPECT_TRUE(GetProfileString(kSection, QStringLiteral("InstallerFile")).isEmpty());
    EXPECT_TRUE(m_env.launched().empty());
    EXPECT_EQ(m_quits, 0);
}

TEST(WebAddressTest, OnlyHttpAndHttpsWithAHost) {
    EXPECT_TRUE(IsWebAddress(QStringLiteral("https://a.test/x")));
    EXPECT_TRUE(IsWebAddress(QStringLiteral("HTTP://a.test")));
    for (const char* bad : {"file:///etc/passwd", "ftp://a.test/x", "https://", "a.test/x",
                            "mailto:x@a.test", "http:// a.test"}) {
        EXPECT_FALSE(IsWebAddress(QString::fromLatin1(bad))) << bad;
    }
}

TEST(HelpCommandsTest, RegisteredCommandsOpenTheLinksAndTheAboutWindow) {
    CPlyfoldApp app;
    RegisterUpdateCommands(app);
    for (const int id : {ids::ID_CHECK_FOR_UPDATES, ids::ID_APP_ABOUT, ids::ID_ONLINE_HELP,
                         ids::ID_WEBSITE, ids::ID_TRY_TABULON}) {
        EXPECT_TRUE(app.commands().HasHandler(id)) << id;
    }

    std::vector<QString> opened;
    SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url.toString());
        return false; // the result is ignored
    });
    EXPECT_TRUE(app.OnCommand(ids::ID_ONLINE_HELP));
    EXPECT_TRUE(app.OnCommand(ids::ID_WEBSITE));
    EXPECT_TRUE(app.OnCommand(ids::ID_TRY_TABULON));
    SetUrlOpener({});
    EXPECT_EQ(opened, (std::vector<QString>{QString::fromLatin1(links::kOnlineHelpUrl),
                                            QString::fromLatin1(links::kMakerHomeUrl),
                                            QString::fromLatin1(links::kOtherProductUrl)}));

    // About: the splash in about mode, modal until dismissed.
    bool sawModalAbout = false;
    QTimer::singleShot(50, [&] {
        CPlyfoldSplash* splash = CPlyfoldSplash::Current();
        sawModalAbout = splash != nullptr && splash->isModal() && splash->clickToDismiss();
        if (splash != nullptr) {
            splash->Close(false);
        }
    });
    EXPECT_TRUE(app.OnCommand(ids::ID_APP_ABOUT));
    EXPECT_TRUE(sawModalAbout);
    CloseSplash(true);
}

TEST(HelpCommandsTest, CheckForUpdatesRunsWithoutAMainFrame) {
    InstallerEnvironment env;
    UpdateServerSide query(readTestKey("test_private.pem"));
    LoopbackHttpServer server([&](const HttpRequest& request) { return query.Handle(request); });
    ASSERT_TRUE(server.Start());
    qputenv("PLYFOLD_UPDATE_URL", "http://" + server.server().toLatin1() + "/");
    qputenv("PLYFOLD_UPDATE_PUBKEY", testKeyPath("test_public.key").toLocal8Bit());
    std::vector<QString> texts;
    SetMessageBoxAnswerer([&](const MessageBoxRequest& request) {
        texts.push_back(request.text);
        return int(QMessageBox::Ok);
    });

    CPlyfoldApp app;
    RegisterUpdateCommands(app);
    EXPECT_TRUE(app.OnCommand(ids::ID_CHECK_FOR_UPDATES));
    EXPECT_EQ(texts, std::vector<QString>{QStringLiteral("No updates found")});
    EXPECT_EQ(query.queries().size(), 1u);

    SetMessageBoxAnswerer({});
    server.Stop();
    qunsetenv("PLYFOLD_UPDATE_URL");
    qunsetenv("PLYFOLD_UPDATE_PUBKEY");
}

} // namespace
} // namespace plyfold
