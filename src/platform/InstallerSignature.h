#pragma once

// Verification of a downloaded installer package before anything in it is started.
//
// The package is a CMS (PKCS #7) SignedData structure in DER form that carries the installer
// itself as its content (an "attached" signature). The maker makes it with this command line:
//
//     openssl cms -sign -binary -nodetach -md sha256 -in <installer>
//         -signer signer.pem -inkey signer.key -outform DER -out <package>
//
// A package is accepted only when all of these hold:
//   - it is SignedData with attached content of type id-data, and exactly one signer;
//   - the signer's digest is SHA-256, SHA-384 or SHA-512;
//   - the signature verifies over the content (the signed attributes included);
//   - the signer's certificate chains, through certificates carried in the package, up to one of
//     the maker's root certificates shipped with the program, and every certificate of the chain
//     is valid now;
//   - the signer's certificate is meant for code signing (extended key usage codeSigning, and a
//     key usage, when present, that allows digital signatures);
//   - its subject has exactly one common name, and that name equals the expected signer name.
//
// What the Windows trust service would also do and this check does not: revocation checking
// (there is no certificate revocation list or responder to ask; a compromised signing key is
// retired by shipping a program with a new root) and accepting a signature made while a since
// expired certificate was valid (there is no time-stamping: a package must be re-signed when its
// certificate expires).

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace plyfold {

// The common name of the maker's code-signing certificate.
inline constexpr char kInstallerSignerName[] = "Tessarine";

// Packages of this size or larger are refused unread (sizes and offsets of a download are 32-bit
// signed numbers).
inline constexpr std::int64_t kMaxInstallerPackageSize = 0x7FFFFFFF;

// Whom a package must come from.
struct InstallerTrust {
    // One or more root certificates, PEM text.
    QByteArray rootCertificates;
    // The signer certificate's common name, compared exactly.
    QString signerName;
};

// The maker's root certificate compiled into the program, PEM text.
QByteArray ProductionInstallerRoot();

// The maker's root and kInstallerSignerName. For tests only, the environment variable
// PLYFOLD_INSTALLER_CA names a PEM file whose certificates replace the compiled-in root (an
// unreadable file leaves no root at all, so nothing verifies).
InstallerTrust CurrentInstallerTrust();

enum class PackageCheck {
    Accepted,
    Unreadable,       // missing, not a file, or cannot be read
    TooLarge,         // kMaxInstallerPackageSize or more
    NotSignedPackage, // not DER SignedData with attached data content and one signer
    WeakDigest,       // the signer's digest is not SHA-256, SHA-384 or SHA-512
    BadSignature,     // the signature does not verify over the content
    UntrustedChain,   // no valid chain to a trusted root (or no root to trust)
    NotCodeSigning,   // the signer certificate is not meant for code signing
    WrongSigner,      // the common name is not the expected signer name
    WriteFailed,      // the content could not be written out
};

struct PackageVerdict {
    PackageCheck result = PackageCheck::Unreadable;
    // The signer's common name when it could be read.
    QString signerName;
    // Why a package was refused, for diagnosis (never shown to the user).
    QString detail;

    bool accepted() const { return result == PackageCheck::Accepted; }
};

// Checks the package at `packagePath` against `trust`. When `contentPath` is not empty and the
// package is accepted, the installer it carries is written to `contentPath` (replacing a file of
// that name); the content goes to a temporary file beside it first and takes its name only once
// every check has passed, so a refused package never leaves content behind.
PackageVerdict VerifySignedPackage(const QString& packagePath, const InstallerTrust& trust,
                                   const QString& contentPath = QString());

} // namespace plyfold
