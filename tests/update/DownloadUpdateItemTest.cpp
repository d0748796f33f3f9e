// The installer download against a loopback server with Range support: a fresh download, resuming
// after a dropped connection, restarting when the server's copy changed, servers that ignore or
// misplace ranges, cancelling, and what happens to packages that do not verify. Then the
// preparation, forgetting, readiness and the start of the installer.

#include "update/DownloadUpdateItem.h"

#include "InstallerTestSupport.h"
#include "UpdateTestSupport.h"
#include "engine/Registry.h"
#include "server/InstallerServerSide.h"
#include "server/LoopbackHttpServer.h"
#include "update/UpdateSettings.h"
#include "work/WorkThread.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <thread>

using namespace plyfold;
using namespace plyfold::test;

namespace {

const QString kSection = QStringLiteral("AutoUpdate");

QString setting(const char* name) {
    return GetProfileString(kSection, QString::fromLatin1(name));
}
int settingInt(const char* name) {
    return GetProfileInt(kSection, QString::fromLatin1(name), 0);
}

QByteArray fileBytes(const QString& path) {
    return ReadFileBytes(path);
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_package = m_env.signing.Sign(InstallerBytes(300 * 1024));
        m_side = std::make_unique<InstallerServerSide>(m_package);
        m_server = std::make_unique<LoopbackHttpServer>(
            [this](const HttpRequest& request) { return m_side->Handle(request); });
        ASSERT_TRUE(m_server->Start());
    }
    void TearDown() override { m_server->Stop(); }

    QString Url() const {
        return QStringLiteral("http://") + m_server->server() + QString::fromLatin1(m_side->path());
    }

    UpdateInfo Offer(const QString& version = QStringLiteral("2.1.0.15")) const {
        UpdateInfo info;
        info.kind = UpdateInfo::NewVersion;
        ParseVersion(version, &info.version);
        info.actionAddress = Url();
        return info;
    }

    bool Download(RecordingProgress* progress = nullptr) {
        RecordingProgress own;
        DownloadUpdateItem item(progress != nullptr ? progress : &own);
        const bool ready = item.Download();
        m_failure = item.failure();
        m_restarted = item.restarted();
        return ready;
    }

    // Puts the first `bytes` bytes of the package on disk as an interrupted download of it.
    void Interrupted(qsizetype bytes) {
        PrepareDownload(Offer(), QStringLiteral("Plyfold"));
        m_side->DropNextAfter(bytes);
        ASSERT_FALSE(Download());
        ASSERT_EQ(fileBytes(m_env.partFile()), m_package.left(bytes));
    }

    void ExpectReady() const {
        EXPECT_EQ(setting(AutoUpdate::InstallerFile), m_env.finalFile());
        EXPECT_EQ(fileBytes(m_env.finalFile()), m_package);
        EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
        EXPECT_EQ(settingInt(AutoUpdate::InstallerReady), 1);
        EXPECT_TRUE(setting(AutoUpdate::InstallerURL).isEmpty());
        EXPECT_TRUE(IsInstallerReady());
    }

    InstallerEnvironment m_env;
    QByteArray m_package;
    std::unique_ptr<InstallerServerSide> m_side;
    std::unique_ptr<LoopbackHttpServer> m_server;
    QString m_failure;
    bool m_restarted = false;
};

TEST_F(DownloadTest, FreshDownloadIsVerifiedNamedAndReported) {
    PrepareDownload(Offer(), QStringLiteral("Plyfold"));
    EXPECT_EQ(setting(AutoUpdate::InstallerFile), m_env.partFile());
    EXPECT_EQ(setting(AutoUpdate::InstallerVersion), QStringLiteral("2.1.0.15"));

    RecordingProgress progress;
    DownloadUpdateItem item(&progress);
    item.Run();
    ASSERT_EQ(progress.finishedCode(), 13);
    EXPECT_EQ(progress.finishedValue(), 0);
    ExpectReady();
    EXPECT_EQ(settingInt(AutoUpdate::InstallerSize), m_package.size());
    EXPECT_EQ(setting(AutoUpdate::InstallerETag), QStringLiteral("\"v1\""));
    EXPECT_EQ(setting(AutoUpdate::InstallerModified),
              QStringLiteral("Tue, 01 Dec 2026 10:00:00 GMT"));

    const auto requests = m_server->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_TRUE(requests[0].header("range").isEmpty());
    EXPECT_EQ(requests[0].header("user-agent"), "Tessarine/AutoUpdate-2.0");

    const QStringList calls = progress.calls();
    const int kb = static_cast<int>(m_package.size() / 1024);
    ASSERT_GE(calls.size(), 5);
    EXPECT_EQ(calls[0], QStringLiteral("SetRange(0,10,0)"));
    EXPECT_EQ(calls[1], QStringLiteral("SetText(Initializing Download,-1)"));
    EXPECT_EQ(calls[2], QStringLiteral("SetText(Connecting,-1)"));
    EXPECT_EQ(calls[3], QStringLiteral("SetRange(0,%1,0)").arg(kb));
    EXPECT_EQ(calls[4], QStringLiteral("SetText(Downloading Update,-1)"));
    EXPECT_EQ(calls.last(), QStringLiteral("Finished(13)"));
    EXPECT_EQ(calls[calls.size() - 2],
              QStringLiteral("SetText(Downloading Update\n%1Kb of %1Kb,%1)").arg(kb));
}

TEST_F(DownloadTest, ResumesAfterADroppedConnectionWithARangeRequest) {
    Interrupted(100000);
    // The interrupted state stays for the next run.
    EXPECT_EQ(setting(AutoUpdate::InstallerFile), m_env.partFile());
    EXPECT_EQ(setting(AutoUpdate::InstallerURL), Url());
    EXPECT_EQ(settingInt(AutoUpdate::InstallerReady), 0);

    // The next run's preparation for the same offer keeps the partial file.
    PrepareDownload(Offer(), QStringLiteral("Plyfold"));
    ASSERT_EQ(fileBytes(m_env.partFile()).size(), 100000);

    RecordingProgress progress;
    ASSERT_TRUE(Download(&progress)) << m_failure.toStdString();
    EXPECT_FALSE(m_restarted);
    ExpectReady();
    EXPECT_EQ(m_side->ranges().back(), "bytes=100000-");
    // Only the missing part crossed the wire the second time.
    EXPECT_EQ(m_side->bytesServed(), m_package.size());
    EXPECT_TRUE(progress.calls().contains(
        QStringLiteral("SetRange(0,%1,%2)").arg(m_package.size() / 1024).arg(100000 / 1024)));
}

// Servers that cannot continue the partial file as asked: each ends with the exact package.
TEST_F(DownloadTest, ServersThatDoNotContinueAsAskedStillGiveTheExactPackage) {
    const struct {
        const char* name;
        std::function<void(InstallerServerSide&)> misbehave;
        std::vector<QByteArray> ranges; // of the requests after the interruption
        bool restart;
    } cases[] = {
        {"changed ETag",
         [](InstallerServerSide& s) { s.SetEtag("\"v2\""); },
         {"bytes=100000-", ""},
         true},
        {"changed Last-Modified",
         [](InstallerServerSide& s) { s.SetLastModified("Wed, 02 Dec 2026 10:00:00 GMT"); },
         {"bytes=100000-", ""},
         true},
        {"range ignored (200)",
         [](InstallerServerSide& s) { s.SetIgnoreRange(true); },
         {"bytes=100000-"},
         false},
        {"206 starting below",
         [](InstallerServerSide& s) { s.SetRangeStartOverride(40000); },
         {"bytes=100000-"},
         false},
        {"206 starting at 0",
         [](InstallerServerSide& s) { s.SetRangeStartOverride(0); },
         {"bytes=100000-"},
         false},
        {"206 starting beyond",
         [](InstallerServerSide& s) { s.SetRangeStartOverride(150000); },
         {"bytes=100000-", ""},
         true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        ClearAutoUpdateSettings();
        m_side = std::make_unique<InstallerServerSide>(m_package);
        Interrupted(100000);
        row.misbehave(*m_side);
        ASSERT_TRUE(Download()) << m_failure.toStdString();
        EXPECT_EQ(m_restarted, row.restart);
        ExpectReady();
        auto ranges = m_side->ranges();
        ranges.erase(ranges.begin()); // the interrupted request
        EXPECT_EQ(ranges, row.ranges);
        QFile::remove(m_env.finalFile());
    }
}

TEST_F(DownloadTest, FileAlreadyCompleteOnDiskIsFinishedWithoutARequest) {
    Interrupted(100000);
    test::WriteFileBytes(m_env.partFile(), m_package);
    WriteProfileInt(kSection, QString::fromLatin1(AutoUpdate::InstallerSize),
                    static_cast<int>(m_package.size()));
    const std::size_t before = m_server->requests().size();
    ASSERT_TRUE(Download());
    EXPECT_EQ(m_server->requests().size(), before);
    ExpectReady();
}

TEST_F(DownloadTest, UnknownSizeRunsAsMarquee) {
    m_side->SetSendLength(false);
    PrepareDownload(Offer(), QStringLiteral("Plyfold"));
    RecordingProgress progress;
    ASSERT_TRUE(Download(&progress)) << m_failure.toStdString();
    ExpectReady();
    const QStringList calls = progress.calls();
    EXPECT_TRUE(calls.contains(QStringLiteral("SetMarquee")));
    EXPECT_FALSE(calls.filter(QStringLiteral("Kb of")).size() > 0);
}

// Packages that must never be kept: each is deleted, the download forgotten, nothing launched.
TEST_F(DownloadTest, PackagesThatDoNotVerifyAreDeletedAndForgotten) {
    QByteArray tampered = m_package;
    tampered[tampered.size() / 2] = static_cast<char>(tampered[tampered.size() / 2] ^ 0x55);
    CertificateOptions otherName;
    otherName.commonName = QStringLiteral("Mallory");
    const TestCertificate wrongSigner = MakeCertificate(otherName, &m_env.signing.root);
    const TestCertificate foreignRoot = MakeRoot(QStringLiteral("Foreign"));
    const TestCertificate foreignSigner = MakeCertificate(CertificateOptions(), &foreignRoot);
    const QByteArray content = InstallerBytes(300 * 1024);

    const struct {
        const char* name;
        QByteArray served;
    } cases[] = {
        {"tampered", tampered},
        {"wrong signer name", SignPackage(content, wrongSigner)},
        {"untrusted root", SignPackage(content, foreignSigner)},
        {"unsigned", content},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        ClearAutoUpdateSettings();
        m_side->SetPackage(row.served, "\"bad\"");
        PrepareDownload(Offer(), QStringLiteral("Plyfold"));
        EXPECT_FALSE(Download());
        EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
        EXPECT_FALSE(QFileInfo::exists(m_env.finalFile()));
        EXPECT_TRUE(setting(AutoUpdate::InstallerFile).isEmpty());
        EXPECT_TRUE(setting(AutoUpdate::InstallerURL).isEmpty());
        EXPECT_EQ(settingInt(AutoUpdate::InstallerReady), 0);
        EXPECT_EQ(settingInt(AutoUpdate::InstallerSize), 0);
        EXPECT_FALSE(IsInstallerReady());
        EXPECT_FALSE(LaunchInstaller());
    }
    EXPECT_TRUE(m_env.launched().empty());
}

TEST_F(DownloadTest, ServerErrorKeepsThePartialFileForLater) {
    Interrupted(100000);
    UpdateInfo info = Offer();
    info.actionAddress = QStringLiteral("http://") + m_server->server() + "/missing.msi";
    WriteProfileString(kSection, QString::fromLatin1(AutoUpdate::InstallerURL), info.actionAddress);
    EXPECT_FALSE(Download());
    EXPECT_EQ(fileBytes(m_env.partFile()), m_package.left(100000));
    EXPECT_EQ(setting(AutoUpdate::InstallerFile), m_env.partFile());
}

// Cancelling while the body is arriving: the user's cancel forgets the download; a stopped thread
// (the item's own cancel flag) keeps the partial file for resuming.
TEST_F(DownloadTest, CancelMidTransfer) {
    for (const bool byUser : {true, false}) {
        SCOPED_TRACE(byUser ? "user" : "thread stopped");
        ClearAutoUpdateSettings();
        PrepareDownload(Offer(), QStringLiteral("Plyfold"));
        m_side->DropNextAfter(120000, 20000);
        RecordingProgress progress;
        DownloadUpdateItem item(&progress);
        bool ready = true;
        std::thread worker([&] { ready = item.Download(); });
        // Wait until the first part is on disk, then cancel while the server stalls.
        for (int i = 0; i < 500 && QFileInfo(m_env.partFile()).size() < 120000; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(QFileInfo(m_env.partFile()).size(), 120000);
        const auto started = std::chrono::steady_clock::now();
        if (byUser) {
            progress.cancelled = true;
        } else {
            item.cancelFlag = &alwaysCancelled;
        }
        item.Cancel();
        worker.join();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_FALSE(ready);
        EXPECT_FALSE(QFileInfo::exists(m_env.finalFile()));
        if (byUser) {
            EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
            EXPECT_TRUE(setting(AutoUpdate::InstallerFile).isEmpty());
            EXPECT_TRUE(setting(AutoUpdate::InstallerURL).isEmpty());
        } else {
            EXPECT_EQ(QFileInfo(m_env.partFile()).size(), 120000);
            EXPECT_EQ(setting(AutoUpdate::InstallerFile), m_env.partFile());
            EXPECT_EQ(setting(AutoUpdate::InstallerURL), Url());
        }
        m_server->Stop();
        m_server = std::make_unique<LoopbackHttpServer>(
            [this](const HttpRequest& request) { return m_side->Handle(request); });
        ASSERT_TRUE(m_server->Start());
    }
}

TEST(InstallerAddressTest, SplitsAsTheDownloadReadsIt) {
    const struct {
        const char* url;
        bool ok;
        const char* host;
        const char* path;
        bool secure;
    } cases[] = {
        {"http://dl.example.test/dir/setup.msi", true, "dl.example.test", "/dir/setup.msi", false},
        {"https://dl.example.test/setup.msi", true, "dl.example.test", "/setup.msi", true},
        {"HTTPS://dl.example.test/setup.msi", true, "dl.example.test", "/setup.msi", false},
        {"ftp://dl.example.test", true, "dl.example.test", "/", false},
        {"http://127.0.0.1:8080/a.msi", true, "127.0.0.1:8080", "/a.msi", false},
        {"dl.example.test/setup.msi", false, "", "", false},
        {"http:///setup.msi", false, "", "", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.url);
        InstallerAddress address;
        ASSERT_EQ(SplitInstallerAddress(QString::fromLatin1(row.url), &address), row.ok);
        EXPECT_EQ(address.host, QString::fromLatin1(row.host));
        EXPECT_EQ(address.path, QString::fromLatin1(row.path));
        EXPECT_EQ(address.secure, row.secure);
    }
}

class InstallerStateTest : public ::testing::Test {
protected:
    UpdateInfo Offer(const char* version, const char* url) const {
        UpdateInfo info;
        info.kind = UpdateInfo::NewVersion;
        ParseVersion(QString::fromLatin1(version), &info.version);
        info.actionAddress = QString::fromLatin1(url);
        return info;
    }
    InstallerEnvironment m_env;
};

TEST_F(InstallerStateTest, PrepareKeepsTheSameDownloadAndReplacesAnother) {
    PrepareDownload(Offer("2.1.0.15", "http://a.test/p.msi"), QStringLiteral("Plyfold"));
    EXPECT_TRUE(QDir(m_env.downloadFolder()).exists());
    EXPECT_EQ(setting(AutoUpdate::LastNotifiedVersion), QStringLiteral("2.1.0.15"));
    test::WriteFileBytes(m_env.partFile(), "partial");

    PrepareDownload(Offer("2.1.0.15", "http://a.test/p.msi"), QStringLiteral("Plyfold"));
    EXPECT_EQ(fileBytes(m_env.partFile()), "partial");

    // Another version, or the same from another address: the old file goes.
    for (const auto& [version, url] : {std::pair{"2.1.0.16", "http://a.test/p.msi"},
                                       std::pair{"2.1.0.16", "http://b.test/p.msi"}}) {
        test::WriteFileBytes(m_env.partFile(), "partial");
        PrepareDownload(Offer(version, url), QStringLiteral("Plyfold"));
        EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
        EXPECT_EQ(setting(AutoUpdate::InstallerFile), m_env.partFile());
        EXPECT_EQ(setting(AutoUpdate::InstallerURL), QString::fromLatin1(url));
        EXPECT_EQ(setting(AutoUpdate::InstallerVersion), QString::fromLatin1(version));
    }
    // A ready installer of an older offer is replaced too, with what was unpacked from it.
    test::WriteFileBytes(m_env.finalFile(), "old");
    test::WriteFileBytes(m_env.contentFile(), "old content");
    WriteProfileString(kSection, QString::fromLatin1(AutoUpdate::InstallerFile), m_env.finalFile());
    WriteProfileInt(kSection, QString::fromLatin1(AutoUpdate::InstallerReady), 1);
    WriteProfileInt(kSection, QString::fromLatin1(AutoUpdate::InstallerOverride), 1);
    PrepareDownload(Offer("3.0.0.0", "http://a.test/p.msi"), QStringLiteral("Plyfold"));
    EXPECT_FALSE(QFileInfo::exists(m_env.finalFile()));
    EXPECT_FALSE(QFileInfo::exists(m_env.contentFile()));
    EXPECT_EQ(settingInt(AutoUpdate::InstallerReady), 0);
    EXPECT_EQ(settingInt(AutoUpdate::InstallerOverride), 0);
}

TEST_F(InstallerStateTest, ForgetDeletesAndClearsButKeepsTheServerCopyFacts) {
    PrepareDownload(Offer("2.1.0.15", "http://a.test/p.msi"), QStringLiteral("Plyfold"));
    test::WriteFileBytes(m_env.partFile(), "partial");
    WriteProfileInt(kSection, QString::fromLatin1(AutoUpdate::InstallerSize), 1234);
    WriteProfileString(kSection, QString::fromLatin1(AutoUpdate::InstallerETag), "\"e\"");
    ForgetInstaller();
    EXPECT_FALSE(QFileInfo::exists(m_env.partFile()));
    EXPECT_TRUE(setting(AutoUpdate::InstallerFile).isEmpty());
    EXPECT_TRUE(setting(AutoUpdate::InstallerURL).isEmpty());
    EXPECT_TRUE(setting(AutoUpdate::InstallerVersion).isEmpty());
    EXPECT_EQ(settingInt(AutoUpdate::InstallerSize), 1234);
    EXPECT_EQ(setting(AutoUpdate::InstallerETag), QStringLiteral("\"e\""));
}

TEST_F(InstallerStateTest, LaunchStartsOnlyAVerifiedInstallerWithTheSpecifiedParameters) {
    QDir().mkpath(m_env.downloadFolder());
    const QByteArray installer = InstallerBytes(5000);
    test::WriteFileBytes(m_env.finalFile(), m_env.signing.Sign(installer));

    // No file named and none stored.
    EXPECT_FALSE(LaunchInstaller());
    EXPECT_FALSE(IsInstallerReady());

    WriteProfileString(kSection, QString::fromLatin1(AutoUpdate::InstallerFile), m_env.finalFile());
    EXPECT_FALSE(IsInstallerReady()); // not marked ready
    WriteProfileInt(kSection, QString::fromLatin1(AutoUpdate::InstallerReady), 1);
    EXPECT_TRUE(IsInstallerReady());

    EXPECT_TRUE(LaunchInstaller());
    WriteProfileInt(QStringLiteral("Options"), QStringLiteral("UILanguage"), 1031);
    m_env.launchAnswer = false;
    EXPECT_FALSE(LaunchInstaller(m_env.finalFile()));

    const auto launched = m_env.launched();
    ASSERT_EQ(launched.size(), 2u);
    EXPECT_EQ(launched[0].program, QStringLiteral("msiexec"));
    EXPECT_EQ(launched[0].installerPath, m_env.contentFile());
    EXPECT_EQ(launched[0].parameters,
              QStringLiteral("/i \"%1\" /qb LAUNCHAPPONEXIT=\"1\"").arg(m_env.contentFile()));
    EXPECT_EQ(launched[1].parameters,
              QStringLiteral("/i \"%1\" /qb LAUNCHAPPONEXIT=\"1\" ProductLanguage=1031")
                  .arg(m_env.contentFile()));
    EXPECT_EQ(fileBytes(m_env.contentFile()), installer);
    EXPECT_EQ(InstallerParameters(QStringLiteral("/x.msi")),
              QStringLiteral("/i \"/x.msi\" /qb LAUNCHAPPONEXIT=\"1\" ProductLanguage=1031"));

    // Changed after it was found ready: refused at launch, nothing started.
    QByteArray changed = ReadFileBytes(m_env.finalFile());
    changed[changed.size() - 100] = static_cast<char>(changed[changed.size() - 100] ^ 1);
    test::WriteFileBytes(m_env.finalFile(), changed);
    QFile::remove(m_env.contentFile());
    EXPECT_FALSE(IsInstallerReady());
    EXPECT_FALSE(LaunchInstaller());
    EXPECT_EQ(m_env.launched().size(), 2u);
    EXPECT_FALSE(QFileInfo::exists(m_env.contentFile()));
}

} // namespace
