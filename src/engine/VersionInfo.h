#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace plyfold {

struct ModuleVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;

    friend bool operator==(const ModuleVersion&, const ModuleVersion&) = default;
};

// A program's version block: its file and product versions and its version strings. Plyfold's
// executables carry the block as a tagged text record (see VersionInfo.cpp), written from the
// project's VERSION file at build time.
struct VersionBlock {
    ModuleVersion fileVersion;
    ModuleVersion productVersion;
    QString legalCopyright;
};

// Reads the version block of `file`, or of the running program when `file` is null or empty.
// Any block held is released first; on failure `block` is null and the result false.
bool ReadVersionInfo(const QString* file, std::unique_ptr<VersionBlock>& block);

// The block's "LegalCopyright" string; false when the block is null or has none.
bool VersionInfoString(const VersionBlock* block, QString* text);

// parts 1: "major"; 2: "major.minor"; 3: "major.minor.build"; anything else all four.
QString FormatVersion(const ModuleVersion& version, int parts);

// Reads "major.minor.build.revision". The text must hold at least three dots; each number is read
// as a signed decimal up to its first non-digit and kept in 16 bits.
bool ParseVersion(const QString& text, ModuleVersion* version);

// The running program's version block as compiled in (never fails).
const VersionBlock& CompiledVersion();

} // namespace plyfold
