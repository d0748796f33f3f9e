#include "update/DownloadUpdateItem.h"

#include "engine/Registry.h"
#include "engine/VersionInfo.h"
#include "platform/InstallerLauncher.h"
#include "platform/InstallerSignature.h"
#include "platform/UserFolders.h"
#include "res/Strings.h"
#include "update/UpdateProtocol.h"
#include "update/UpdateSettings.h"
#include "work/NewProgressInterface.h"

#include <QDir>
#include <QFileInfo>

namespace plyfold {

namespace {

constexpr char kPartSuffix[] = ".part";
constexpr char kInstallerSuffix[] = "-Installer.msi.part";
// A download may not grow to this size (file lengths are signed 32-bit numbers).
constexpr std::uint64_t kMaxDownload = static_cast<std::uint64_t>(kMaxInstallerPackageSize);

QString section() {
    return QString::fromLatin1(AutoUpdate::Section);
}

QString readString(const char* entry) {
    return GetProfileString(section(), QString::fromLatin1(entry));
}

int readInt(const char* entry) {
    return GetProfileInt(section(), QString::fromLatin1(entry), 0);
}

void writeString(const char* entry, const QString& value) {
    WriteProfileString(section(), QString::fromLatin1(entry), value);
}

void writeInt(const char* entry, int value) {
    WriteProfileInt(section(), QString::fromLatin1(entry), value);
}

// Deletes a package and what was unpacked from it.
void removeInstallerFiles(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    QFile::remove(path);
    QFile::remove(InstallerContentPath(path));
}

} // namespace

bool SplitInstallerAddress(const QString& url, InstallerAddress* address) {
    *address = InstallerAddress();
    const qsizetype separator = url.indexOf(QStringLiteral("://"));
    if (separator < 0) {
        return false;
    }
    const QString rest = url.mid(separator + 3);
    const qsizetype slash = rest.indexOf(u'/');
    const QString host = slash < 0 ? rest : rest.left(slash);
    if (host.isEmpty()) {
        return false;
    }
    address->scheme = url.left(separator);
    address->host = host;
    address->path = slash < 0 ? QStringLiteral("/") : rest.mid(slash);
    // Exactly these five lower-case letters; "HTTPS" is plain HTTP.
    address->secure = address->scheme == QStringLiteral("https");
    return true;
}

QString InstallerDownloadFolder() {
    const QString folder = UserApplicationDataFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Tessarine");
}

QString FreshInstallerFileName(const QString& displayName) {
    const QString folder = InstallerDownloadFolder();
    if (folder.isEmpty()) {
        return {};
    }
    return folder + u'/' + displayName + QString::fromLatin1(kInstallerSuffix);
}

QString CompletedInstallerFileName(const QString& partName) {
    const QString suffix = QString::fromLatin1(kPartSuffix);
    return partName.endsWith(suffix) ? partName.chopped(suffix.size()) : partName;
}

QString InstallerContentPath(const QString& packagePath) {
    if (packagePath.isEmpty()) {
        return {};
    }
    const QFileInfo info(packagePath);
    const QString suffix = info.suffix();
    const QString base = info.path() + u'/' + info.completeBaseName() + QStringLiteral("-content");
    return suffix.isEmpty() ? base : base + u'.' + suffix;
}

void PrepareDownload(const UpdateInfo& info, const QString& displayName) {
    RecordNotified(&info);

    const QString versionText = FormatVersion(info.version, 4);
    const QString stored = readString(AutoUpdate::InstallerFile);
    if (!stored.isEmpty()) {
        // The same version from the same address: keep it, so that the download resumes.
        if (readString(AutoUpdate::InstallerVersion) == versionText &&
            readString(AutoUpdate::InstallerURL) == info.actionAddress) {
            return;
        }
        removeInstallerFiles(stored);
    }

    const QString fresh = FreshInstallerFileName(displayName);
    if (!fresh.isEmpty()) {
        const QFileInfo file(fresh);
        if (!file.isFile()) {
            QDir().mkpath(file.path());
        }
        if (file.exists() && !file.isDir()) {
            QFile::remove(fresh);
        }
    }
    writeString(AutoUpdate::InstallerFile, fresh);
    writeString(AutoUpdate::InstallerURL, info.actionAddress);
    writeString(AutoUpdate::InstallerVersion, versionText);
    writeInt(AutoUpdate::InstallerOverride, 0);
    writeInt(AutoUpdate::InstallerReady, 0);
}

void ForgetInstaller() {
    removeInstallerFiles(readString(AutoUpdate::InstallerFile));
    writeString(AutoUpdate::InstallerFile, QString());
    writeString(AutoUpdate::InstallerURL, QString());
    writeString(AutoUpdate::InstallerVersion, QString());
    writeInt(AutoUpdate::InstallerReady, 0);
    writeInt(AutoUpdate::InstallerOverride, 0);
}

bool VerifyInstaller(const QString& path) {
    return VerifySignedPackage(path, CurrentInstallerTrust()).accepted();
}

bool IsInstallerReady() {
    if (readInt(AutoUpdate::InstallerReady) == 0) {
        return false;
    }
    const QString file = readString(AutoUpdate::InstallerFile);
    return !file.isEmpty() && VerifyInstaller(file);
}

QString InstallerParameters(const QString& installerPath) {
    InstallerCommand command;
    const int index = UILanguageIndex();
    BuildInstallerCommand(installerPath, index != 0 ? LanguageIdForIndex(index) : 0, &command);
    return command.parameters;
}

bool LaunchInstaller(const QString& path) {
    const QString package = path.isEmpty() ? readString(AutoUpdate::InstallerFile) : path;
    if (package.isEmpty()) {
        return false;
    }
    // What is started is exactly what was verified: the content is written out by the same pass
    // that checks the signature.
    const QString content = InstallerContentPath(package);
    if (!VerifySignedPackage(package, CurrentInstallerTrust(), content).accepted()) {
        return false;
    }
    const int index = UILanguageIndex();
    InstallerCommand command;
    if (!BuildInstallerCommand(content, index != 0 ? LanguageIdForIndex(index) : 0, &command)) {
        return false;
    }
    return StartInstaller(command);
}

DownloadUpdateItem::DownloadUpdateItem(NewProgressInterface* progress)
    : m_progress(progress), m_request(QString::fromLatin1(kUpdateUserAgent)) {
    m_request.filter = this;
    // The user's cancel also stops a transfer that is just starting, before Cancel reaches it.
    if (m_progress != nullptr) {
        m_request.cancelFlag = m_progress->CancelledFlag();
    }
}

DownloadUpdateItem::~DownloadUpdateItem() = default;

bool DownloadUpdateItem::Cancelled() const {
    return IsCancelled() || UserCancelled();
}

bool DownloadUpdateItem::UserCancelled() const {
    if (m_progress == nullptr) {
        return false;
    }
    const std::atomic<bool>* flag = m_progress->CancelledFlag();
    return flag != nullptr && flag->load();
}

void DownloadUpdateItem::Run() {
    Download();
    if (m_progress != nullptr) {
        m_progress->Finished(FinishedCode::InstallerDownload, 0);
    }
}

void DownloadUpdateItem::Cancel() {
    m_request.CloseRequest();
}

bool DownloadUpdateItem::Fail(const QString& why) {
    m_failure = why;
    return false;
}

bool DownloadUpdateItem::OpenOutput(bool append) {
    m_file.close();
    const QString name = readString(AutoUpdate::InstallerFile);
    m_file.setFileName(name);
    if (append && m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        const qint64 size = m_file.size();
        if (size >= 0 && static_cast<std::uint64_t>(size) < kMaxDownload) {
            m_downloaded = static_cast<std::uint32_t>(size);
            return true;
        }
        // Nothing this large is a download of ours: start it again.
        if (m_file.resize(0)) {
            m_downloaded = 0;
            return true;
        }
        m_file.close();
    }
    m_downloaded = 0;
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool DownloadUpdateItem::CutFile(std::uint32_t length) {
    if (!m_file.isOpen() || !m_file.resize(length)) {
        return false;
    }
    m_downloaded = length;
    return true;
}

bool DownloadUpdateItem::Download() {
    m_failure.clear();
    m_restart = false;
    m_restarted = false;
    if (m_progress != nullptr) {
        m_progress->SetRange(0, 10, 0);
        m_progress->SetText(LoadResString(ids::IDS_INITIALIZING_DOWNLOAD), -1);
    }

    InstallerAddress address;
    const QString url = readString(AutoUpdate::InstallerURL);
    if (url.isEmpty() || !SplitInstallerAddress(url, &address)) {
        return Fail(QStringLiteral("no installer address"));
    }
    const QString partName = readString(AutoUpdate::InstallerFile);
    // Only a ".part" file is downloaded into: its completed name is what the download produces.
    if (partName.isEmpty() || !partName.endsWith(QString::fromLatin1(kPartSuffix))) {
        return Fail(QStringLiteral("no download file"));
    }
    m_total = static_cast<std::uint32_t>(std::max(0, readInt(AutoUpdate::InstallerSize)));

    if (!OpenOutput(true)) {
        return Fail(QStringLiteral("cannot open the download file"));
    }
    if (Cancelled()) {
        m_file.close();
        if (UserCancelled()) {
            ForgetInstaller();
        }
        return Fail(QStringLiteral("cancelled"));
    }

    bool complete = false;
    // A file that already holds every byte (the program stopped between the last block and the
    // renaming) needs no request: it is checked and finished like any completed download.
    if (m_downloaded != 0 && m_downloaded == m_total) {
        complete = true;
    } else {
        const bool ranged = m_downloaded != 0;
        const QString headers =
            ranged ? QStringLiteral("Range: bytes=%1-").arg(m_downloaded) : QString();
        if (m_progress != nullptr) {
            m_progress->SetText(LoadResString(ids::IDS_CONNECTING), -1);
        }
        complete = m_request.Request(headers, QByteArray(), address.secure, address.host,
                                     address.path, QStringLiteral("GET"));
        if (!complete && m_restart && ranged && !Cancelled()) {
            // The server's copy changed (or cannot continue ours): start again from nothing.
            m_restarted = true;
            m_restart = false;
            m_total = 0;
            if (!OpenOutput(false)) {
                return Fail(QStringLiteral("cannot create the download file"));
            }
            complete = m_request.Request(QString(), QByteArray(), address.secure, address.host,
                                         address.path, QStringLiteral("GET"));
        }
    }
    m_file.close();

    if (complete) {
        return Finish(partName);
    }
    if (UserCancelled()) {
        ForgetInstaller();
        return Fail(QStringLiteral("cancelled"));
    }
    // Network or server failure: the partial file and the settings stay for a later resume.
    return Fail(QStringLiteral("download failed (error %1, status %2)")
                    .arg(m_request.lastError)
                    .arg(m_request.statusCode));
}

bool DownloadUpdateItem::Finish(const QString& partName) {
    // The package is checked before it gets its final name, so an unverified file never carries
    // it. A package that does not verify is deleted and the download forgotten entirely: keeping
    // its address would turn every later "no update" into an offer of a download that cannot
    // succeed.
    if (!VerifyInstaller(partName)) {
        ForgetInstaller();
        writeInt(AutoUpdate::InstallerSize, 0);
        return Fail(QStringLiteral("the package does not verify"));
    }
    const QString finalName = CompletedInstallerFileName(partName);
    QFile::remove(finalName);
    if (!QFile::rename(partName, finalName)) {
        return Fail(QStringLiteral("cannot rename the package"));
    }
    writeString(AutoUpdate::InstallerFile, finalName);
    writeInt(AutoUpdate::InstallerReady, 1);
    if (IsInstallerReady()) {
        writeString(AutoUpdate::InstallerURL, QString());
        return true;
    }
    ForgetInstaller();
    writeInt(AutoUpdate::InstallerSize, 0);
    return Fail(QStringLiteral("the package does not verify"));
}

bool DownloadUpdateItem::AcceptStatus(std::uint32_t status) {
    m_status = status;
    if (status == 200) {
        return CutFile(0);
    }
    return status == 206;
}

bool DownloadUpdateItem::AcceptContentType(const QByteArray& type) {
    (void)type;
    return true;
}

void DownloadUpdateItem::Progress(std::uint32_t received, std::uint32_t total) {
    (void)received;
    (void)total;
}

bool DownloadUpdateItem::Consume(const char* data, std::uint32_t length) {
    if (static_cast<std::uint64_t>(m_downloaded) + length >= kMaxDownload) {
        return false;
    }
    if (m_file.write(data, length) != static_cast<qint64>(length)) {
        return false;
    }
    m_downloaded += length;
    if (m_total != 0 && m_progress != nullptr) {
        m_progress->SetText(
            FormatResString(ids::IDS_DOWNLOAD_PROGRESS, {QString::number(m_downloaded / 1024),
                                                         QString::number(m_total / 1024)}),
            static_cast<int>(m_downloaded / 1024));
    }
    return !Cancelled();
}

void DownloadUpdateItem::Begin(std::uint32_t offset, std::uint32_t length) {
    if (static_cast<std::uint64_t>(offset) + length >= kMaxDownload) {
        m_request.CloseRequest();
        return;
    }
    if (offset > 0) {
        // A partial response continues our file only if it comes from the same copy.
        const QString etag = m_request.QueryHeader(HttpQuery::ETag);
        const QString modified = m_request.QueryHeader(HttpQuery::LastModified);
        if (etag != readString(AutoUpdate::InstallerETag) ||
            modified != readString(AutoUpdate::InstallerModified)) {
            m_restart = true;
            m_request.CloseRequest();
            return;
        }
        if (offset > m_downloaded) {
            // The body would leave a gap in the file: start again from the beginning.
            m_restart = true;
            m_request.CloseRequest();
            return;
        }
        if (offset < m_downloaded && !CutFile(offset)) {
            m_request.CloseRequest();
            return;
        }
    } else {
        // A partial response must say where it starts; one that does not cannot be placed.
        if (m_status == 206 && !m_request.QueryHeader(HttpQuery::ContentRange)
                                    .startsWith(QStringLiteral("bytes 0-"))) {
            m_request.CloseRequest();
            return;
        }
        if (length != m_total) {
            m_total = length;
            writeInt(AutoUpdate::InstallerSize, static_cast<int>(m_total));
        }
        // The body is the whole package: whatever the file held goes, also for a partial
        // response that starts at 0.
        if (!CutFile(0)) {
            m_request.CloseRequest();
            return;
        }
        writeString(AutoUpdate::InstallerETag, m_request.QueryHeader(HttpQuery::ETag));
        writeString(AutoUpdate::InstallerModified, m_request.QueryHeader(HttpQuery::LastModified));
    }
    if (m_progress != nullptr) {
        if (m_total != 0) {
            m_progress->SetRange(0, static_cast<int>(m_total / 1024),
                                 static_cast<int>(m_downloaded / 1024));
        } else {
            m_progress->SetMarquee();
        }
        m_progress->SetText(LoadResString(ids::IDS_DOWNLOADING_UPDATE), -1);
    }
}

} // namespace plyfold
