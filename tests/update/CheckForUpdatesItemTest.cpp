// The update query end to end against a loopback server that implements the server side: it
// opens the envelope with the test private key and answers with replies of every kind.

#include "update/CheckForUpdatesItem.h"
#include "UpdateTestSupport.h"
#include "engine/Registry.h"
#include "engine/VersionInfo.h"
#include "server/LoopbackHttpServer.h"
#include "server/UpdateServerSide.h"
#include "update/UpdateProtocol.h"
#include "update/UpdateServer.h"
#include "update/UpdateSettings.h"
#include "work/WorkThread.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

using namespace plyfold;
using namespace plyfold::test;

namespace {

const QString kSection = QStringLiteral("AutoUpdate");

void clearUpdateSettings() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tessarine"),
                       QStringLiteral("Plyfold"));
    settings.remove(kSection);
    settings.remove(QStringLiteral("Options/UILanguage"));
    settings.sync();
}

UpdateInfo offer(std::int32_t kind) {
    UpdateInfo info;
    info.kind = kind;
    info.version = {2, 1, 5, 77};
    info.actionAddress = QStringLiteral("http://downloads.example.test/Plyfold-2.1.msi");
    info.infoAddress = QStringLiteral("http://www.example.test/whatsnew");
    info.lines = {QStringLiteral("Faster thumbnails"),
                  QStringLiteral(u"Sprachen: Deutsch, Français")};
    return info;
}

// Runs an item on the calling thread and takes over the result it hands to the progress
// interface.
std::unique_ptr<UpdateInfo> runItem(RecordingProgress& progress, QString* failure = nullptr) {
    CheckForUpdatesItem item(&progress);
    item.Run();
    if (failure != nullptr) {
        *failure = item.failure();
    }
    EXPECT_EQ(progress.finishedCode(), 12);
    return std::unique_ptr<UpdateInfo>(reinterpret_cast<UpdateInfo*>(progress.finishedValue()));
}

class CheckForUpdatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_side = std::make_unique<UpdateServerSide>(readTestKey("test_private.pem"));
        ASSERT_TRUE(m_side->hasKey());
        m_server = std::make_unique<LoopbackHttpServer>(
            [this](const HttpRequest& request) { return m_side->Handle(request); });
        ASSERT_TRUE(m_server->Start());
        qputenv("PLYFOLD_UPDATE_URL", "http://" + m_server->server().toLatin1() + "/");
        qputenv("PLYFOLD_UPDATE_PUBKEY", testKeyPath("test_public.key").toLocal8Bit());
        clearUpdateSettings();
    }
    void TearDown() override {
        m_server->Stop();
        qunsetenv("PLYFOLD_UPDATE_URL");
        qunsetenv("PLYFOLD_UPDATE_PUBKEY");
        clearUpdateSettings();
    }

    std::unique_ptr<UpdateServerSide> m_side;
    std::unique_ptr<LoopbackHttpServer> m_server;
};

} // namespace

TEST_F(CheckForUpdatesTest, NewVersionEndToEnd) {
    WriteProfileString(kSection, QStringLiteral("LastNotifiedVersion"), QStringLiteral("1.4.0.2"));
    WriteProfileInt(kSection, QStringLiteral("LastNotifiedPatch"), 7);
    WriteProfileInt(QStringLiteral("Options"), QStringLiteral("UILanguage"), 1036);
    m_side->respond = [](const UpdateRequest&) { return UpdateServerSide::Reply(offer(2)); };

    RecordingProgress progress;
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const std::unique_ptr<UpdateInfo> info = runItem(progress);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, 2);
    EXPECT_EQ(info->version, (ModuleVersion{2, 1, 5, 77}));
    EXPECT_EQ(info->actionAddress, offer(2).actionAddress);
    EXPECT_EQ(info->infoAddress, offer(2).infoAddress);
    EXPECT_EQ(info->lines, offer(2).lines);
    EXPECT_FALSE(info->override);

    // What the server decoded.
    EXPECT_TRUE(m_side->refusals().empty());
    const std::vector<UpdateRequest> queries = m_side->queries();
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].magic, 0xBDFCE76Eu);
    EXPECT_EQ(queries[0].version, CompiledVersion().productVersion);
    EXPECT_EQ(queries[0].lastNotifiedVersion, (ModuleVersion{1, 4, 0, 2}));
    EXPECT_EQ(queries[0].lastNotifiedPatch, 7);
    EXPECT_EQ(queries[0].languageId, 1036);
    const HttpRequest post = m_server->requests().at(0);
    EXPECT_EQ(post.target, QByteArray("/check-for-update.php"));
    EXPECT_EQ(post.body.size(), 2 * (256 + 32));

    EXPECT_EQ(progress.calls(),
              (QStringList{"SetRange(0,4,0)", "SetText(Collecting Update Data,-1)", "SetPos(1)",
                           "SetText(Checking for Updates,-1)", "SetMarquee", "SetRange(0,4,3)",
                           "SetText(Retriving Results,-1)", "Finished(12)"}));

    std::int64_t checked = 0;
    ASSERT_TRUE(ReadLastChecked(&checked));
    EXPECT_GE(checked, before);
    EXPECT_LE(checked, QDateTime::currentSecsSinceEpoch());
    // The query only reports; what was shown is recorded by the run.
    EXPECT_EQ(GetProfileString(kSection, QStringLiteral("LastNotifiedVersion")),
              QStringLiteral("1.4.0.2"));
}

TEST_F(CheckForUpdatesTest, RequestCarriesTheStoredState) {
    struct Case {
        const char* lastVersion;
        int lastPatch;
        int uiLanguage;
        ModuleVersion version;
        std::uint16_t patch;
        std::uint16_t language;
    };
    const Case cases[] = {
        {"2.5.1", 0, 0, {}, 0, 1033},                // two dots: sent as 0.0.0.0
        {"", 70000, 3, {}, 4464, 1040},              // patch cut to 16 bits
        {"9.8.7.6", 1, 50, {9, 8, 7, 6}, 1, 1033},   // 7..100 is index 0
        {"1.0.0.0", 2, 3082, {1, 0, 0, 0}, 2, 3082}, // a language identifier
        {"x.y.z.w", 0, 2057, {0, 0, 0, 0}, 0, 1033}, // an unknown identifier
    };
    for (const Case& c : cases) {
        WriteProfileString(kSection, QStringLiteral("LastNotifiedVersion"),
                           QString::fromLatin1(c.lastVersion));
        WriteProfileInt(kSection, QStringLiteral("LastNotifiedPatch"), c.lastPatch);
        WriteProfileInt(QStringLiteral("Options"), QStringLiteral("UILanguage"), c.uiLanguage);
        RecordingProgress progress;
        ASSERT_TRUE(runItem(progress)) << c.lastVersion;
        const UpdateRequest query = m_side->queries().back();
        EXPECT_EQ(query.lastNotifiedVersion, c.version) << c.lastVersion;
        EXPECT_EQ(query.lastNotifiedPatch, c.patch) << c.lastVersion;
        EXPECT_EQ(query.languageId, c.language) << c.lastVersion;
    }
    EXPECT_EQ(m_side->queries().size(), std::size(cases));
}

TEST_F(CheckForUpdatesTest, PendingInstallerTakesPrecedenceOverNoUpdateAndPaidOffer) {
    struct Case {
        std::int32_t kind;
        bool pendingDownload;
        std::int32_t resultKind;
        bool override;
    };
    const Case cases[] = {
        {0, false, 0, false}, {0, true, 0, true},  {3, true, 0, true},
        {3, false, 3, false}, {1, true, 1, false}, {2, true, 2, false},
    };
    for (const Case& c : cases) {
        WriteProfileString(kSection, QStringLiteral("InstallerURL"),
                           c.pendingDownload ? QStringLiteral("http://host/old.msi") : QString());
        m_side->respond = [&c](const UpdateRequest&) {
            return UpdateServerSide::Reply(c.kind == 0 ? UpdateInfo{} : offer(c.kind));
        };
        RecordingProgress progress;
        const std::unique_ptr<UpdateInfo> info = runItem(progress);
        ASSERT_TRUE(info) << c.kind;
        EXPECT_EQ(info->kind, c.resultKind) << c.kind << ' ' << c.pendingDownload;
        EXPECT_EQ(info->override, c.override) << c.kind << ' ' << c.pendingDownload;
        if (c.override) {
            EXPECT_EQ(info->version, ModuleVersion{});
            EXPECT_TRUE(info->lines.isEmpty());
            EXPECT_TRUE(info->actionAddress.isEmpty());
        }
    }
}

TEST_F(CheckForUpdatesTest, InstallerOverrideSkipsTheNetwork) {
    WriteProfileInt(kSection, QStringLiteral("InstallerOverride"), 1);
    RecordingProgress progress;
    const std::unique_ptr<UpdateInfo> info = runItem(progress);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->override);
    EXPECT_EQ(info->kind, 0);
    EXPECT_EQ(info->version, ModuleVersion{});
    EXPECT_TRUE(info->lines.isEmpty());
    EXPECT_EQ(m_server->connectionCount(), 0);
    EXPECT_EQ(progress.calls(), QStringList{"Finished(12)"});
    EXPECT_FALSE(ReadLastChecked(nullptr));
}

TEST_F(CheckForUpdatesTest, HostileOrWrongRepliesGiveNoResult) {
    const QByteArray type = kUpdateReplyType;
    const QByteArray good = EncodeHex(SerializeUpdateReply(offer(2)));
    struct Case {
        const char* what;
        HttpResponse response;
    };
    QByteArray hugeLines = SerializeUpdateReply(offer(2));
    hugeLines.chop(4 + offer(2).lines.at(1).toUtf8().size() + 4 +
                   offer(2).lines.at(0).toUtf8().size());
    hugeLines.chop(4);
    hugeLines += QByteArray("\xFF\xFF\xFF\x7F", 4);
    HttpResponse unknownLength = UpdateServerSide::Raw(good, type);
    unknownLength.sendLength = false;
    unknownLength.dropAfter = good.size() / 2;
    const Case cases[] = {
        {"type with a charset", UpdateServerSide::Raw(good, type + "; charset=utf-8")},
        {"type in other case",
         UpdateServerSide::Raw(good, "Application/X-Tessarine-Auto-Update-Reply")},
        {"plain text", UpdateServerSide::Raw(good, "text/plain")},
        {"no content type", UpdateServerSide::Raw(good, "")},
        {"odd hex length", UpdateServerSide::Raw(good + "0", type)},
        {"not hex", UpdateServerSide::Raw("0200000G", type)},
        {"trailing line break", UpdateServerSide::Raw(good + "\r\n", type)},
        {"empty body", UpdateServerSide::Raw("", type)},
        {"truncated reply", UpdateServerSide::Raw(good.left(good.size() - 10), type)},
        {"kind only", UpdateServerSide::Raw("02000000", type)},
        {"string length beyond data",
         UpdateServerSide::Raw(EncodeHex(QByteArray("\x02\0\0\0\1\0\2\0\3\0\4\0\xFF\xFF\0\0", 16)),
                               type)},
        {"line count beyond data", UpdateServerSide::Raw(EncodeHex(hugeLines), type)},
        {"reply beyond 1 MiB", UpdateServerSide::Raw(good + QByteArray(1100000, '0'), type)},
        {"body cut short by the server closing", unknownLength},
    };
    for (const Case& c : cases) {
        m_side->respond = [&c](const UpdateRequest&) { return c.response; };
        RecordingProgress progress;
        QString failure;
        EXPECT_FALSE(runItem(progress, &failure)) << c.what;
        EXPECT_FALSE(failure.isEmpty()) << c.what;
        EXPECT_FALSE(ReadLastChecked(nullptr)) << c.what;
    }
    EXPECT_EQ(m_side->queries().size(), std::size(cases));

    // The status is not examined: the content type decides.
    m_side->respond = [&](const UpdateRequest&) { return UpdateServerSide::Raw(good, type, 500); };
    RecordingProgress progress;
    const std::unique_ptr<UpdateInfo> info = runItem(progress);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, 2);
    // Lower-case hexadecimal digits are digits too.
    m_side->respond = [&](const UpdateRequest&) {
        return UpdateServerSide::Raw(good.toLower(), type);
    };
    RecordingProgress lower;
    EXPECT_TRUE(runItem(lower));
}

TEST_F(CheckForUpdatesTest, KeyAndServerFailuresGiveNoResult) {
    // The program's key does not match the server's: the server cannot open the query.
    qputenv("PLYFOLD_UPDATE_PUBKEY", QByteArray());
    {
        RecordingProgress progress;
        QString failure;
        EXPECT_FALSE(runItem(progress, &failure));
        EXPECT_EQ(failure, QStringLiteral("Public key not specified"));
        EXPECT_EQ(m_server->connectionCount(), 0);
    }
    const QTemporaryDir keyDir;
    const QString otherKey = keyDir.filePath(QStringLiteral("other.key"));
    {
        QFile file(otherKey);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ProductionUpdatePublicKey());
    }
    qputenv("PLYFOLD_UPDATE_PUBKEY", otherKey.toLocal8Bit());
    {
        RecordingProgress progress;
        EXPECT_FALSE(runItem(progress));
        ASSERT_EQ(m_side->refusals().size(), 1u);
        EXPECT_TRUE(m_side->queries().empty());
    }

    // Nobody listening.
    qputenv("PLYFOLD_UPDATE_PUBKEY", testKeyPath("test_public.key").toLocal8Bit());
    qputenv("PLYFOLD_UPDATE_URL",
            QByteArray("http://127.0.0.1:") + QByteArray::number(UnusedLoopbackPort()) + "/");
    {
        RecordingProgress progress;
        EXPECT_FALSE(runItem(progress));
    }
    // An override address that cannot be read never falls back to the real server.
    qputenv("PLYFOLD_UPDATE_URL", "ftp://127.0.0.1/");
    {
        RecordingProgress progress;
        EXPECT_FALSE(runItem(progress));
    }
    EXPECT_FALSE(ReadLastChecked(nullptr));
}

TEST_F(CheckForUpdatesTest, CancelDuringThePostEndsTheItemWithoutResult) {
    m_side->respond = [](const UpdateRequest&) {
        HttpResponse response = UpdateServerSide::Reply(offer(2));
        response.stallBeforeMs = 60000;
        return response;
    };
    RecordingProgress progress;
    WorkThread thread(true);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.AddItem(std::make_unique<CheckForUpdatesItem>(&progress)));
    ASSERT_TRUE(m_server->WaitForRequests(1, 20000));

    const auto start = std::chrono::steady_clock::now();
    // What the dialog's Cancel does: the user's flag, then the running item is cancelled.
    progress.cancelled = true;
    thread.LockAndCancelCurrent(false);
    ASSERT_TRUE(progress.WaitFinished(20000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(progress.finishedCode(), 12);
    EXPECT_EQ(progress.finishedValue(), 0);
    EXPECT_FALSE(ReadLastChecked(nullptr));
    thread.Stop(5000);
}

TEST_F(CheckForUpdatesTest, CancelledBeforeThePostSendsNothing) {
    RecordingProgress progress;
    progress.cancelled = true;
    EXPECT_FALSE(runItem(progress));
    EXPECT_EQ(m_server->connectionCount(), 0);
}

TEST(RecordNotifiedTest, StoresWhatTheUserWasShown) {
    clearUpdateSettings();
    struct Case {
        std::int32_t kind;
        const char* version; // expected "LastNotifiedVersion"
        int patch;           // expected "LastNotifiedPatch"
    };
    const Case cases[] = {
        {0, "", 0}, {1, "", 5}, {2, "2.1.5.77", 0}, {3, "2.1.5.77", 0}, {-4, "2.1.5.77", 0},
    };
    for (const Case& c : cases) {
        clearUpdateSettings();
        const UpdateInfo info = offer(c.kind);
        RecordNotified(&info);
        EXPECT_EQ(GetProfileString(kSection, QStringLiteral("LastNotifiedVersion")),
                  QString::fromLatin1(c.version))
            << c.kind;
        EXPECT_EQ(GetProfileInt(kSection, QStringLiteral("LastNotifiedPatch"), 0), c.patch)
            << c.kind;
    }
    RecordNotified(nullptr);
    clearUpdateSettings();
}
