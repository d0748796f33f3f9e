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
    explicit ProgressCanceller(std::function<bool()> when) : when_(std::move(when)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CNewProgressDlg*>(widget);
                if (dialog != nullptr && dialog->isVisible() && !dialog->cancelled && when_()) {
                    dialog->cancelButton()->click();
                    ++presses;
                }
            }
        });
        timer_.start(10);
    }
    int presses = 0;

private:
    std::function<bool()> when_;
    QTimer timer_;
};

class UpdateRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        package_ = env_.signing.Sign(InstallerBytes(200 * 1024, 3));
        query_ = std::make_unique<UpdateServerSide>(readTestKey("test_private.pem"));
        ASSERT_TRUE(query_->hasKey());
        installer_ = std::make_unique<InstallerServerSide>(package_);
        server_ = std::make_unique<LoopbackHttpServer>([this](const HttpRequest& request) {
            return request.method == "POST" ? query_->Handle(request) : installer_->Handle(request);
        });
        ASSERT_TRUE(server_->Start());
        qputenv("PLYFOLD_UPDATE_URL", "http://" + server_->server().toLatin1() + "/");
        qputenv("PLYFOLD_UPDATE_PUBKEY", testKeyPath("test_public.key").toLocal8Bit());
        Answer(UpdateInfo());

        SetMessageBoxAnswerer([this](const MessageBoxRequest& request) {
            messages_.push_back(request);
            return int(QMessageBox::Ok);
        });
        CUpdateNotifyDlg::SetAnswerer([this](CUpdateNotifyDlg& dialog) {
            offers_.push_back(
                qobject_cast<QLabel*>(dialog.Control(ids::IDC_UPDATE_HEADLINE))->text());
            const int button = accept_ ? ids::IDC_UPDATE_ACTION : ids::IDC_UPDATE_DECLINE;
            qobject_cast<QPushButton*>(dialog.Control(button))->click();
        });
        SetUrlOpener([this](const QUrl& url) {
            opened_.push_back(url.toString());
            return true;
        });
        SetQuitRequester([this] { ++quits_; });
        window_.show();
    }
    void TearDown() override {
        server_->Stop();
        SetMessageBoxAnswerer({});
        CUpdateNotifyDlg::SetAnswerer({});
        SetUrlOpener({});
        SetQuitRequester({});
        qunsetenv("PLYFOLD_UPDATE_URL");
        qunsetenv("PLYFOLD_UPDATE_PUBKEY");
    }

    QString InstallerUrl() const {
        return QStringLiteral("http://") + server_->server() +
               QString::fromLatin1(installer_->path());
    }

    // The server's answer to every query.
    void Answer(const UpdateInfo& info) {
        query_->respond = [info](const UpdateRequest&) { return UpdateServerSide::Reply(info); };
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

    UpdateRunResult Run() { return RunUpdateCheck(&window_); }

    InstallerEnvironment env_;
    QByteArray package_;
    std::unique_ptr<UpdateServerSide> query_;
    std::unique_ptr<InstallerServerSide> installer_;
    std::unique_ptr<LoopbackHttpServer> server_;
    QWidget window_;
    bool accept_ = true;
    std::vector<MessageBoxRequest> messages_;
    std::vector<QString> offers_;
    std::vector<QString> opened_;
    int quits_ = 0;
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
        messages_.clear();
        query_->respond = row.respond;
        EXPECT_EQ(Run(), UpdateRunResult::NoUpdate);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, QStringLiteral("No updates found"));
        EXPECT_EQ(messages_[0].icon, MessageIcon::Information);
        EXPECT_TRUE(offers_.empty());
    }
    EXPECT_EQ(quits_, 0);
}

TEST_F(UpdateRunTest, AcceptedUpdateIsDownloadedAcrossADroppedConnectionVerifiedAndLaunched) {
    Answer(NewVersion());
    installer_->DropNextAfter(70000);

    // The first run's download breaks off: nothing is started, nothing is said, the partial
    // download stays.
    EXPECT_EQ(Run(), UpdateRunResult::NotReady);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(quits_, 0);
    EXPECT_EQ(QFileInfo(env_.partFile()).size(), 70000);
    EXPECT_EQ(GetProfileString(kSection, QStringLiteral("LastNotifiedVersion")),
              QStringLiteral("2.1.0.15"));
    ASSERT_EQ(offers_.size(), 1u);
    EXPECT_EQ(offers_[0], QStringLiteral("Version 2.1.0.15 of Plyfold is available for download!"));

    // The next run resumes where it stopped, verifies, launches and asks the application to quit.
    EXPECT_EQ(Run(), UpdateRunResult::Launched);
    EXPECT_EQ(installer_->ranges(), (std::vector<QByteArray>{"", "bytes=70000-"}));
    EXPECT_EQ(quits_, 1);
    const auto launched = env_.launched();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].parameters,
              QStringLiteral("/i \"%1\" /qb LAUNCHAPPONEXIT=\"1\"").arg(env_.contentFile()));
    EXPECT_EQ(ReadFileBytes(env_.finalFile()), package_);
    EXPECT_EQ(ReadFileBytes(env_.contentFile()), InstallerBytes(200 * 1024, 3));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(UpdateRunTest, PendingDownloadIsOfferedWhenTheServerHasNothingNew) {
    Answer(NewVersion());
    installer_->DropNextAfter(50000);
    EXPECT_EQ(Run(), UpdateRunResult::NotReady);

    // "No update" now turns into the offer of the pending installer (version 0.0.0.0).
    Answer(UpdateInfo());
    EXPECT_EQ(Run(), UpdateRunResult::Launched);
    ASSERT_EQ(offers_.size(), 2u);
    EXPECT_EQ(offers_[1], QStringLiteral("Version 0.0.0.0 of Plyfold is available for download!"));
    EXPECT_EQ(installer_->ranges().back(), "bytes=50000-");
    EXPECT_EQ(env_.launched().size(), 1u);
    EXPECT_EQ(quits_, 1);
}

TEST_F(UpdateRunTest, PackageThatDoesNotVerifyIsNeverLaunched) {
    CertificateOptions otherName;
    otherName.commonName = QStringLiteral("Mallory");
    const TestCertificate mallory = MakeCertificate(otherName, &env_.signing.root);
    installer_->SetPackage(SignPackage(InstallerBytes(200 * 1024, 3), mallory), "\"m\"");
    Answer(NewVersion());
    EXPECT_EQ(Run(), UpdateRunResult::NotReady);
    EXPECT_TRUE(env_.launched().empty());
    EXPECT_EQ(quits_, 0);
    EXPECT_FALSE(QFileInfo::exists(env_.partFile()));
    EXPECT_FALSE(QFileInfo::exists(env_.finalFile()));

    // With the pending download forgotten, "no update" is just that.
    Answer(UpdateInfo());
    EXPECT_EQ(Run(), UpdateRunResult::NoUpdate);
}

TEST_F(UpdateRunTest, InstallerThatCannotStartLeavesTheApplicationRunning) {
    Answer(NewVersion());
    env_.launchAnswer = false;
    EXPECT_EQ(Run(), UpdateRunResult::LaunchFailed);
    EXPECT_EQ(env_.launched().size(), 1u);
    EXPECT_EQ(quits_, 0);
}

TEST_F(UpdateRunTest, DeclinedOfferIsRememberedAndNothingElseHappens) {
    UpdateInfo patch = NewVersion();
    patch.kind = UpdateInfo::Patch;
    patch.version = {2, 1, 7, 0};
    Answer(patch);
    accept_ = false;
    EXPECT_EQ(Run(), UpdateRunResult::Declined);
    EXPECT_EQ(GetProfileInt(kSection, QStringLiteral("LastNotifiedPatch"), 0), 7);
    EXPECT_TRUE(installer_->ranges().empty());
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
        opened_.clear();
        UpdateInfo paid = NewVersion();
        paid.kind = UpdateInfo::PaidUpgrade;
        paid.version = {3, 0, 0, 1};
        paid.actionAddress = QString::fromLatin1(row.address);
        Answer(paid);
        EXPECT_EQ(Run(), row.result);
        if (row.result == UpdateRunResult::PurchaseOpened) {
            EXPECT_EQ(opened_, std::vector<QString>{QString::fromLatin1(row.address)});
        } else {
            EXPECT_TRUE(opened_.empty());
        }
        EXPECT_EQ(GetProfileString(kSection, QStringLiteral("LastNotifiedVersion")),
                  QStringLiteral("3.0.0.1"));
    }
    EXPECT_TRUE(installer_->ranges().empty());
    EXPECT_EQ(quits_, 0);
}

TEST_F(UpdateRunTest, CancellingTheQueryEndsTheRunWithoutAMessage) {
    query_->respond = [](const UpdateRequest&) {
        HttpResponse response = UpdateServerSide::Reply(UpdateInfo());
        response.stallBeforeMs = 20000;
        return response;
    };
    ProgressCanceller canceller([this] { return !query_->queries().empty(); });
    EXPECT_EQ(Run(), UpdateRunResult::Cancelled);
    EXPECT_EQ(canceller.presses, 1);
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(offers_.empty());
}

TEST_F(UpdateRunTest, CancellingTheDownloadForgetsIt) {
    Answer(NewVersion());
    installer_->DropNextAfter(60000, 20000);
    ProgressCanceller canceller([this] { return QFileInfo(env_.partFile()).size() >= 60000; });
    EXPECT_EQ(Run(), UpdateRunResult::DownloadCancelled);
    EXPECT_EQ(canceller.presses, 1);
    EXPECT_FALSE(QFileInfo::exists(env_.partFile()));
    EXPECT_TRUE(GetProfileString(kSection, QStringLiteral("InstallerFile")).isEmpty());
    EXPECT_TRUE(env_.launched().empty());
    EXPECT_EQ(quits_, 0);
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
