#pragma once

// The protection of a merged file: what the user chose in "Output Options" and the passwords and
// permission word that the writer receives. Pure functions, shared by the dialog and the command
// line, so that both turn the same choice into the same protection.

#include <QString>

#include <cstdint>

namespace plyfold {

// User access permission bits of the PDF standard security handler.
namespace permission {
inline constexpr std::uint32_t kPrint = 0x4;
inline constexpr std::uint32_t kModify = 0x8;
inline constexpr std::uint32_t kCopy = 0x10;
inline constexpr std::uint32_t kAnnotate = 0x20;
inline constexpr std::uint32_t kFillForms = 0x100;
inline constexpr std::uint32_t kExtractForAccessibility = 0x200;
inline constexpr std::uint32_t kAssemble = 0x400;
inline constexpr std::uint32_t kPrintHighQuality = 0x800;
inline constexpr std::uint32_t kAll = 0xFFFFFFFF;
} // namespace permission

// The dialog's controls: which radio button, the password text and the five "Require this
// password for" boxes.
struct OutputProtectionChoice {
    int protectMode = 0; // 0 "Unprotected", 1 "Protect with password:"
    QString password;
    bool viewing = false;
    bool printing = false;
    bool copying = false;
    bool annotation = false;
    bool fillingForms = false;

    bool AnyRequirement() const {
        return viewing || printing || copying || annotation || fillingForms;
    }
};

// What the writer receives. The output is encrypted only when a password is set.
struct OutputProtection {
    QString ownerPassword;
    QString userPassword; // equal to ownerPassword when viewing needs the password, else empty
    std::uint32_t permissions = permission::kAll;

    bool Encrypts() const { return !ownerPassword.isEmpty() || !userPassword.isEmpty(); }
    friend bool operator==(const OutputProtection&, const OutputProtection&) = default;
};

// The permission word: all bits set, then for each required action its bits cleared (printing:
// print and high-quality print; copying: copy and extract for accessibility; annotation: annotate;
// filling forms: fill in forms). Modify, assemble and every bit above 0x800 always stay set.
std::uint32_t PermissionWord(bool printing, bool copying, bool annotation, bool fillingForms);

// The string id of the message that refuses the choice, or 0 when it is acceptable:
// 580 for "Protect with password:" with an empty password and some box checked, 581 for a
// password with no box checked. "Unprotected" is always acceptable.
int ValidateOutputProtection(const OutputProtectionChoice& choice);

// The protection of an acceptable choice. "Unprotected" ignores the password (the boxes still
// shape the permission word, which has no effect without a password).
OutputProtection ComputeOutputProtection(const OutputProtectionChoice& choice);

} // namespace plyfold
