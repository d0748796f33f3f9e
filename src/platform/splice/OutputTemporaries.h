#pragma once

// The hidden temporary files an output is written into before it replaces its target.
//
// Every such file is named ".<start of the target's name>.plyfold-<8 hex digits>.<kind>", short
// enough for any file system's 255-byte name limit whatever the target's length, and recognisable
// as ours. A program registers the ones it holds so that a signal handler can remove them when it
// is interrupted, and the next save into a folder removes those that an earlier run left behind.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace plyfold::temporaries {

// The name of a new temporary file beside target, for the given kind ("part" or "tmp", letters
// only) and random number. Pure: creates nothing.
std::filesystem::path NameBeside(const std::filesystem::path& target, std::string_view kind,
                                 std::uint32_t random);

// Creates a new temporary file of the kind beside target (never an existing name), registers it
// (with no moment between the two at which RemoveRegistered could miss it) and returns it open for
// writing, with its path in `created`. Null when the folder does not take
// a new file.
std::FILE* OpenBeside(const std::filesystem::path& target, std::string_view kind,
                      std::filesystem::path& created);

// The same, closed again: an empty file that holds the name. Empty when it cannot be created.
std::filesystem::path CreateBeside(const std::filesystem::path& target, std::string_view kind);

// Whether a file name has the form of our temporary files.
bool IsTemporaryName(std::string_view fileName);

// Forgets a file that OpenBeside registered, once it was renamed into place or removed.
// Thread-safe.
void Unregister(const std::filesystem::path& path);

// Removes every registered file, and makes every later OpenBeside fail, for a program that is about
// to end on an interruption. It takes a lock, so it is called from an ordinary thread (one that
// waits for the signals), never from a signal handler.
void RemoveRegistered() noexcept;

// Removes, in folder, the regular files with the name of our temporary files that belong to this
// user and were last changed more than `age` ago: leftovers of a run that was killed or crashed.
// Returns how many were removed; errors are ignored.
int RemoveStale(const std::filesystem::path& folder,
                std::chrono::seconds age = std::chrono::hours(24));

} // namespace plyfold::temporaries
