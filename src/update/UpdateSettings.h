#pragma once

// The update state kept between runs in the settings section AutoUpdate (SettingsKeys.h), and the
// settings the update query reports.

#include "engine/SettingsKeys.h"
#include "update/UpdateInfo.h"

#include <QString>

#include <cstdint>

namespace plyfold {

// The "UILanguage" setting of section "Options" reduced to its index 0 to 6 (UILanguageIndex).
int UILanguageIndex();
// The language identifier sent with the query for the current "UILanguage" setting.
std::uint16_t UILanguageId();

// Remembers that the user has been shown `info`: a patch stores its build number in
// "LastNotifiedPatch"; a new version or paid upgrade (any kind but 0 and 1) stores its version text
// in "LastNotifiedVersion"; kind 0 (and a null pointer) changes nothing.
void RecordNotified(const UpdateInfo* info);

// Stores "LastChecked": `secondsSince1970` as 8 bytes, little-endian.
bool WriteLastChecked(std::int64_t secondsSince1970);
// Reads "LastChecked" back; false when it is absent or not 8 bytes (the program itself never
// needs it; this is for inspection).
bool ReadLastChecked(std::int64_t* secondsSince1970);

} // namespace plyfold
