#pragma once

// The user's own folders that the program writes to.

#include <QString>

namespace plyfold {

// The user's application-data folder (the roaming application data on Windows, the XDG data
// home elsewhere), without a trailing separator; empty when the platform names none. For tests
// (and unusual set-ups) the environment variable PLYFOLD_USER_DATA_DIR replaces it.
QString UserApplicationDataFolder();

} // namespace plyfold
