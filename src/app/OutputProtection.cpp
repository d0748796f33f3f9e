#include "app/OutputProtection.h"

#include "res/Strings.h"

namespace plyfold {

std::uint32_t PermissionWord(bool printing, bool copying, bool annotation, bool fillingForms) {
    std::uint32_t word = permission::kAll;
    if (printing) {
        word &= ~(permission::kPrint | permission::kPrintHighQuality);
    }
    if (copying) {
        word &= ~(permission::kCopy | permission::kExtractForAccessibility);
    }
    if (annotation) {
        word &= ~permission::kAnnotate;
    }
    if (fillingForms) {
        word &= ~permission::kFillForms;
    }
    return word;
}

int ValidateOutputProtection(const OutputProtectionChoice& choice) {
    if (choice.protectMode != 1) {
        return 0;
    }
    if (choice.password.isEmpty() && choice.AnyRequirement()) {
        return ids::IDS_EMPTY_PASSWORD;
    }
    if (!choice.password.isEmpty() && !choice.AnyRequirement()) {
        return ids::IDS_PASSWORD_WITHOUT_PERMISSIONS;
    }
    return 0;
}

OutputProtection ComputeOutputProtection(const OutputProtectionChoice& choice) {
    const QString password = choice.protectMode == 1 ? choice.password : QString();
    OutputProtection result;
    result.ownerPassword = password;
    if (choice.viewing) {
        result.userPassword = result.ownerPassword;
    }
    result.permissions =
        PermissionWord(choice.printing, choice.copying, choice.annotation, choice.fillingForms);
    return result;
}

} // namespace plyfold
