#include "engine/PlyfoldInstance.h"

#include "engine/PathUtil.h"
#include "engine/TextConversion.h"
#include "platform/splice/XpdfSplice.h"
#include "res/Strings.h"
#include "work/BackgroundCall.h"

namespace plyfold {

namespace {

// Bit of the permission word that allows copying (extracting) content.
constexpr std::uint32_t kCopyPermission = 0x10;

enum class CopyProbe { Refused, Allowed, NeedsPassword };

// What the splicing library says about copying pages out of a file opened without a password.
CopyProbe ProbeCopyPermission(const char16_t* path) {
    XpdfSpliceInput input = xpdfSpliceOpenInputW(path);
    if (input == nullptr) {
        return CopyProbe::Refused;
    }
    CopyProbe result = CopyProbe::Allowed;
    if (xpdfSpliceIsEncrypted(input) && (xpdfSpliceGetPermissions(input) & kCopyPermission) == 0) {
        result = CopyProbe::NeedsPassword;
    }
    xpdfSpliceCloseInput(input);
    return result;
}

bool PasswordOpensForSplicing(const char16_t* path, const QByteArray& password) {
    XpdfSpliceInput input = xpdfSpliceOpenInputWithPasswordW(path, password.constData());
    if (input == nullptr) {
        return false;
    }
    xpdfSpliceCloseInput(input);
    return true;
}

} // namespace

bool PlyfoldInstance::Open(const QString& path) {
    // The splicing library's look at the file takes as long as the viewer engine's load, or
    // longer: it runs meanwhile, on a helper thread of its own. Its answer is only read once the
    // engine has opened the file without a password, exactly when it was asked before.
    const auto* widePath = reinterpret_cast<const char16_t*>(path.utf16());
    CopyProbe probe = CopyProbe::Refused;
    BackgroundCall probing([&probe, widePath] { probe = ProbeCopyPermission(widePath); });
    if (!PDFInstance::Open(path, ids::IDS_ENTER_PASSWORD)) {
        return false;
    }
    // A typed open password is given to the splicing library later, which then may copy.
    if (!password.isEmpty()) {
        return true;
    }
    probing.Wait();
    switch (probe) {
    case CopyProbe::Refused:
        return false;
    case CopyProbe::Allowed:
        return true;
    case CopyProbe::NeedsPassword:
        break;
    }
    QString folder;
    QString name;
    if (!SplitPath(path, &folder, &name)) {
        name.clear();
    }
    if (!AskPassword(nullptr, ids::IDS_COPY_PASSWORD, name)) {
        return false;
    }
    const QString typed = password;
    if (!LoadDocument(path, nullptr, &typed, ids::IDS_ENTER_PASSWORD)) {
        return false;
    }
    // The viewer engine loads a file without an open password whatever password it is given, so
    // the typed password is proven where it matters: it must open the file for splicing, which a
    // wrong owner password does not. Otherwise the mistake would only show when saving.
    const QByteArray narrow = ToNarrow(typed);
    return RunInBackground<bool>(
        [widePath, &narrow] { return PasswordOpensForSplicing(widePath, narrow); });
}

} // namespace plyfold
