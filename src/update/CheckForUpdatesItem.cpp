#include "update/CheckForUpdatesItem.h"

#include "engine/Registry.h"
#include "engine/VersionInfo.h"
#include "res/Strings.h"
#include "update/UpdateProtocol.h"
#include "update/UpdateServer.h"
#include "update/UpdateSettings.h"
#include "work/NewProgressInterface.h"

#include <QDateTime>

namespace plyfold {

namespace {

// The largest reply accepted: a real one is a few kilobytes of text.
constexpr std::uint32_t kMaxReplyBody = 1024u * 1024u;

QString section() {
    return QString::fromLatin1(AutoUpdate::Section);
}

std::unique_ptr<UpdateInfo> overrideOffer() {
    auto info = std::make_unique<UpdateInfo>();
    info->override = true;
    return info;
}

} // namespace

CheckForUpdatesItem::CheckForUpdatesItem(NewProgressInterface* progress)
    : m_progress(progress), m_request(QString::fromLatin1(kUpdateUserAgent)) {
    m_request.maxResponseBody = kMaxReplyBody;
    // The user's cancel also stops a transfer that is just starting, before Cancel reaches it.
    if (m_progress != nullptr) {
        m_request.cancelFlag = m_progress->CancelledFlag();
    }
}

CheckForUpdatesItem::~CheckForUpdatesItem() = default;

bool CheckForUpdatesItem::Cancelled() const {
    if (IsCancelled()) {
        return true;
    }
    if (m_progress != nullptr) {
        const std::atomic<bool>* flag = m_progress->CancelledFlag();
        return flag != nullptr && flag->load();
    }
    return false;
}

std::unique_ptr<UpdateInfo> CheckForUpdatesItem::Fail(const QString& why) {
    m_failure = why;
    return nullptr;
}

std::unique_ptr<UpdateInfo> CheckForUpdatesItem::Query() {
    m_failure.clear();
    if (GetProfileInt(section(), QString::fromLatin1(AutoUpdate::InstallerOverride), 0) != 0) {
        return overrideOffer();
    }

    if (m_progress != nullptr) {
        m_progress->SetRange(0, 4, 0);
        m_progress->SetText(LoadResString(ids::IDS_COLLECTING_UPDATE_DATA), -1);
    }
    UpdateRequest query;
    std::unique_ptr<VersionBlock> block;
    if (ReadVersionInfo(nullptr, block) && block) {
        query.version = block->productVersion;
    }
    query.lastNotifiedVersion = ParseNotifiedVersion(
        GetProfileString(section(), QString::fromLatin1(AutoUpdate::LastNotifiedVersion)));
    query.lastNotifiedPatch = static_cast<std::uint16_t>(
        GetProfileInt(section(), QString::fromLatin1(AutoUpdate::LastNotifiedPatch), 0));
    query.languageId = UILanguageId();
    if (m_progress != nullptr) {
        m_progress->SetPos(1);
    }

    const UpdateServerAddress address = CurrentUpdateServer();
    UpdateEnvelope envelope(address.publicKey);
    QByteArray sealed;
    if (!envelope.Seal(SerializeUpdateRequest(query), &sealed)) {
        return Fail(envelope.errorText());
    }
    if (Cancelled()) {
        return Fail(QStringLiteral("cancelled"));
    }

    if (m_progress != nullptr) {
        m_progress->SetText(LoadResString(ids::IDS_CHECKING_FOR_UPDATES), -1);
        m_progress->SetMarquee();
    }
    if (!m_request.PostData(address.path, QString::fromLatin1(kUpdateRequestType),
                            EncodeHex(sealed), address.server)) {
        return Fail(QStringLiteral("request failed (error %1)").arg(m_request.lastError));
    }
    if (Cancelled()) {
        return Fail(QStringLiteral("cancelled"));
    }
    if (m_progress != nullptr) {
        m_progress->SetRange(0, 4, 3);
        m_progress->SetText(LoadResString(ids::IDS_RETRIEVING_RESULTS), -1);
    }

    // The status is not examined: only a reply of exactly this type counts.
    if (m_request.contentType != kUpdateReplyType) {
        return Fail(QStringLiteral("unexpected content type"));
    }
    QByteArray reply;
    if (!DecodeHex(m_request.responseBody, &reply)) {
        return Fail(QStringLiteral("reply is not hexadecimal text"));
    }
    std::unique_ptr<UpdateInfo> info = ParseUpdateReply(reply);
    if (!info) {
        return Fail(QStringLiteral("reply cannot be parsed"));
    }

    WriteLastChecked(QDateTime::currentSecsSinceEpoch());

    // An unfinished installer download takes precedence over "no update" and over a paid offer.
    if ((info->kind == UpdateInfo::NoUpdate || info->kind == UpdateInfo::PaidUpgrade) &&
        !GetProfileString(section(), QString::fromLatin1(AutoUpdate::InstallerURL)).isEmpty()) {
        return overrideOffer();
    }
    return info;
}

void CheckForUpdatesItem::Run() {
    m_result = Query();
    if (m_progress != nullptr) {
        m_progress->Finished(FinishedCode::UpdateQuery,
                             reinterpret_cast<std::intptr_t>(m_result.release()));
    } else {
        m_result.reset();
    }
}

void CheckForUpdatesItem::Cancel() {
    m_request.CloseRequest();
}

} // namespace plyfold
