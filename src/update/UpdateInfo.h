#pragma once

#include "engine/VersionInfo.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace plyfold {

// What the update server offers, as parsed from its reply, or a pending installer download.
// A heap object owned by whoever holds it last (it travels through the progress interface's
// Finished as a pointer).
struct UpdateInfo {
    // The kinds of offer the server makes; any value other than these counts as NewVersion.
    enum Kind : std::int32_t { NoUpdate = 0, Patch = 1, NewVersion = 2, PaidUpgrade = 3 };

    std::int32_t kind = NoUpdate;
    ModuleVersion version;
    // The installer's address, or for a paid upgrade the web page to open.
    QString actionAddress;
    // The target of the "More Information" link.
    QString infoAddress;
    // Shown as bullet lines, in order.
    QStringList lines;
    // True when this stands for an installer download that is already under way (or complete)
    // rather than for a server offer; the other fields are then zero or empty.
    bool override = false;
};

} // namespace plyfold
