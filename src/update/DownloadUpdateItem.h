#pragma once

// The installer download of an accepted update: a resumable GET into a ".part" file in the user's
// application-data folder, the check of the finished package's signature and signer, and the
// start of the installer it carries. The state of a download lives in the settings section
// "AutoUpdate" (UpdateSettings.h), so that an interrupted download resumes on the next run:
//
//   no installer      "InstallerFile" empty;
//   downloading       "InstallerFile" ends in ".part", "InstallerURL" and "InstallerVersion" set,
//                     "InstallerReady" 0, "InstallerSize", "InstallerETag", "InstallerModified"
//                     describe the server's copy;
//   ready             "InstallerFile" is the complete, verified package, "InstallerReady" 1,
//                     "InstallerURL" empty.
//
// A package is never given its final name (without ".part") before its signature and signer have
// been accepted, and nothing is ever started from a package that does not verify (see
// platform/InstallerSignature.h for what is checked).

#include "update/QzInternetRequestSync.h"
#include "update/UpdateInfo.h"
#include "work/WorkThread.h"

#include <QFile>
#include <QString>

#include <cstdint>

namespace plyfold {

class NewProgressInterface;

// An installer address taken apart. There is no port in the address the server gives; a
// "host:port" written in it stays in `host`.
struct InstallerAddress {
    QString scheme;
    QString host;
    QString path;        // starts with "/"
    bool secure = false; // the scheme is exactly "https" (HTTPS, port 443); else HTTP, port 80
};

// Splits "scheme://host/path": the scheme is the text before "://", the host runs to the next
// "/" (or the end), the path is the rest ("/" when there is none). False without "://" or with an
// empty host.
bool SplitInstallerAddress(const QString& url, InstallerAddress* address);

// The user's application-data folder followed by "Tessarine" (platform/UserFolders.h), empty
// when the platform names none.
QString InstallerDownloadFolder();
// Where a fresh download goes: the download folder, then `displayName` + "-Installer.msi.part".
// Empty when there is no download folder.
QString FreshInstallerFileName(const QString& displayName);
// The name of a completed download: `partName` without its final ".part".
QString CompletedInstallerFileName(const QString& partName);
// Where LaunchInstaller writes the installer carried by the package `packagePath`: beside it,
// "-content" added to its base name ("Plyfold-Installer.msi" -> "Plyfold-Installer-content.msi").
QString InstallerContentPath(const QString& packagePath);

// User-interface thread, before a DownloadUpdateItem is queued for the offer `info`: records that
// the offer was shown (RecordNotified); keeps a download of the same version from the same
// address for resuming; otherwise deletes the old installer and points the settings at a fresh
// ".part" file (its folders created, a stale file of that name deleted).
void PrepareDownload(const UpdateInfo& info, const QString& displayName);

// Deletes the installer named by "InstallerFile" (and what was unpacked from it), empties
// "InstallerFile", "InstallerURL" and "InstallerVersion" and sets "InstallerReady" and
// "InstallerOverride" to 0. "InstallerSize", "InstallerETag" and "InstallerModified" stay.
void ForgetInstaller();

// True when the package at `path` is signed by the maker (CurrentInstallerTrust).
bool VerifyInstaller(const QString& path);

// "InstallerReady" is set, "InstallerFile" is not empty, and that file verifies.
bool IsInstallerReady();

// The installer service's parameter string for `installerPath`: /i "<path>" /qb
// LAUNCHAPPONEXIT="1", and " ProductLanguage=<id>" when the "UILanguage" setting reduces to a
// non-zero index. Empty for a path the string cannot carry.
QString InstallerParameters(const QString& installerPath);

// Starts the installer of the package `path` (empty: "InstallerFile"; false when that is empty
// too). The package is verified and its content unpacked beside it in one step
// (InstallerContentPath); false when it does not verify. Then the installer is started through
// the platform launcher (platform/InstallerLauncher.h) with InstallerParameters; true when it
// started.
bool LaunchInstaller(const QString& path = QString());

// The download itself, a work item of the update run's worker thread. It is the filter of its
// own request.
class DownloadUpdateItem : public WorkItem, public QzInternetFilter {
public:
    // `progress` (not owned, may be null) receives the progress reports; it must outlive the item.
    explicit DownloadUpdateItem(NewProgressInterface* progress);
    ~DownloadUpdateItem() override;

    // Download(), then Finished(FinishedCode::InstallerDownload, 0) on the progress interface.
    void Run() override;
    // From another thread: breaks off the transfer in progress.
    void Cancel() override;

    // Worker thread: downloads what the settings describe, resuming the ".part" file with a Range
    // request, restarting from the beginning when the server's copy changed. A finished package
    // that verifies gets its final name and the state "ready"; one that does not is deleted and
    // the state returns to "no installer". A download cancelled by the user is forgotten
    // (ForgetInstaller); any other failure keeps the partial file for a later resume. True when a
    // verified installer is ready.
    virtual bool Download();

    // --- QzInternetFilter ---
    // 200 empties the file and accepts; 206 accepts; anything else refuses.
    bool AcceptStatus(std::uint32_t status) override;
    // Every type.
    bool AcceptContentType(const QByteArray& type) override;
    void Progress(std::uint32_t received, std::uint32_t total) override;
    bool ConsumesData() override { return true; }
    // Appends the block to the file; false on a short write, past the size limit, or when
    // cancelled.
    bool Consume(const char* data, std::uint32_t length) override;
    // Checks a partial response against the download on disk (same ETag and Last-Modified, same
    // offset) or starts over for a full one; see the implementation.
    void Begin(std::uint32_t offset, std::uint32_t length) override;

    // The item's cancelFlag or the user's cancel reads true.
    bool Cancelled() const;
    // The user's cancel reads true (a stopped thread alone does not count).
    bool UserCancelled() const;

    std::uint32_t totalSize() const { return m_total; }
    std::uint32_t bytesDownloaded() const { return m_downloaded; }
    // True once the server's copy was found changed during this download.
    bool restarted() const { return m_restarted; }
    // Why the last Download ended without a ready installer, for diagnosis (never shown).
    const QString& failure() const { return m_failure; }
    const QzInternetRequestSync& request() const { return m_request; }

private:
    bool OpenOutput(bool append);
    bool CutFile(std::uint32_t length);
    bool Fail(const QString& why);
    bool Finish(const QString& partName);

    NewProgressInterface* const m_progress;
    QzInternetRequestSync m_request;
    QFile m_file;
    std::uint32_t m_total = 0;
    std::uint32_t m_downloaded = 0;
    std::uint32_t m_status = 0;
    bool m_restart = false;
    bool m_restarted = false;
    QString m_failure;
};

} // namespace plyfold
