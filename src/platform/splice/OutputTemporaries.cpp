#include "platform/splice/OutputTemporaries.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace plyfold::temporaries {
namespace {

constexpr std::string_view kMarker = ".plyfold-";
// Bytes of the target's name kept at the front of a temporary name: enough to tell which file it
// belongs to, short enough that the whole name stays far below 255 bytes.
constexpr std::size_t kKeptNameBytes = 64;

// The registered files. The lock is held from a file's creation until it is registered, so that
// RemoveRegistered never runs between the two and misses a file that already exists.
struct Registry {
    std::mutex lock;
    std::vector<fs::path> paths;
    bool closed = false; // RemoveRegistered ran: no new file is created
};
Registry& registry() {
    static Registry instance;
    return instance;
}

std::string NativeBytes(const fs::path& path) {
    return path.string();
}

bool IsLowerHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

fs::path NameBeside(const fs::path& target, std::string_view kind, std::uint32_t random) {
    std::string kept = NativeBytes(target.filename());
    if (kept.size() > kKeptNameBytes) {
        std::size_t cut = kKeptNameBytes;
        // Never end inside a multi-byte UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(kept[cut]) & 0xC0u) == 0x80u) {
            --cut;
        }
        kept.resize(cut);
    }
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random));
    std::string name = ".";
    name += kept;
    name += kMarker;
    name += digits;
    name += '.';
    name += kind;
    return target.parent_path() / fs::path(name);
}

bool IsTemporaryName(std::string_view name) {
    std::string_view rest = name;
    if (rest.empty() || rest.front() != '.') {
        return false;
    }
    const std::size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view kind = rest.substr(dot + 1);
    if (kind != "part" && kind != "tmp") {
        return false;
    }
    rest = rest.substr(0, dot);
    if (rest.size() < kMarker.size() + 8) {
        return false;
    }
    const std::string_view digits = rest.substr(rest.size() - 8);
    for (char c : digits) {
        if (!IsLowerHex(c)) {
            return false;
        }
    }
    return rest.substr(rest.size() - 8 - kMarker.size(), kMarker.size()) == kMarker;
}

std::FILE* OpenBeside(const fs::path& target, std::string_view kind, fs::path& created) {
    std::random_device random;
    Registry& files = registry();
    for (int attempt = 0; attempt < 16; ++attempt) {
        fs::path candidate = NameBeside(target, kind, random());
        const std::lock_guard hold(files.lock);
        if (files.closed) {
            return nullptr;
        }
        // "x": fail rather than reuse a name that already exists.
        std::FILE* file = std::fopen(candidate.c_str(), "wbx");
        if (file) {
            files.paths.push_back(candidate);
            created = std::move(candidate);
            return file;
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

fs::path CreateBeside(const fs::path& target, std::string_view kind) {
    fs::path created;
    std::FILE* file = OpenBeside(target, kind, created);
    if (!file) {
        return {};
    }
    if (std::fclose(file) != 0) {
        std::error_code ec;
        fs::remove(created, ec);
        Unregister(created);
        return {};
    }
    return created;
}

void Unregister(const fs::path& path) {
    Registry& files = registry();
    const std::lock_guard hold(files.lock);
    const auto found = std::find(files.paths.begin(), files.paths.end(), path);
    if (found != files.paths.end()) {
        files.paths.erase(found);
    }
}

void RemoveRegistered() noexcept {
    Registry& files = registry();
    const std::lock_guard hold(files.lock);
    files.closed = true;
    for (const fs::path& path : files.paths) {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    files.paths.clear();
}

int RemoveStale(const fs::path& folder, std::chrono::seconds age) {
    int removed = 0;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        return 0;
    }
    const auto now = fs::file_time_type::clock::now();
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        const fs::path& path = it->path();
        if (!IsTemporaryName(NativeBytes(path.filename()))) {
            continue;
        }
        std::error_code entryError;
        if (!fs::is_regular_file(fs::symlink_status(path, entryError)) || entryError) {
            continue; // links and folders are never ours
        }
#if defined(__unix__) || defined(__APPLE__)
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || info.st_uid != ::getuid()) {
            continue;
        }
#endif
        const auto changed = fs::last_write_time(path, entryError);
        if (entryError || now - changed < age) {
            continue;
        }
        if (fs::remove(path, entryError)) {
            ++removed;
        }
    }
    return removed;
}

} // namespace plyfold::temporaries
