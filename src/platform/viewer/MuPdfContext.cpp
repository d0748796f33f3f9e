#include "platform/viewer/MuPdfContext.h"

#include "platform/viewer/EngineConfig.h"

#include <mupdf/pdf.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace plyfold::mupdf {

namespace {

// MuPDF's own locks, one per lock number. MuPDF takes them very often (its allocation lock
// around every allocation) and holds them briefly, so each is a spin lock that yields the
// processor while another thread holds it: an uncontended lock is one atomic exchange, against a
// call into the thread library each way for a mutex.
class SpinLock {
public:
    void lock() {
        while (m_held.exchange(true, std::memory_order_acquire)) {
            while (m_held.load(std::memory_order_relaxed)) {
                std::this_thread::yield();
            }
        }
    }
    void unlock() { m_held.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_held{false};
};

std::array<SpinLock, FZ_LOCK_MAX> gMuLocks;

void lockMu(void*, int lock) {
    gMuLocks[static_cast<std::size_t>(lock)].lock();
}
void unlockMu(void*, int lock) {
    gMuLocks[static_cast<std::size_t>(lock)].unlock();
}

fz_locks_context gLocks = {nullptr, lockMu, unlockMu};

// MuPDF prints errors and warnings to stderr by default; damaged files are expected input here and
// failures reach the caller as result codes, so the text is dropped.
void quietMessage(void*, const char*) {}

void silence(fz_context* ctx) {
    fz_set_error_callback(ctx, quietMessage, nullptr);
    fz_set_warning_callback(ctx, quietMessage, nullptr);
}

// ---- Fonts -----------------------------------------------------------------------------------

// Bytes of the TrueType files read so far, by path; kept for the whole process so each file is
// read once. Buffers are immutable and reference-counted, so documents on any thread share them.
// Like the base context the table is never destroyed: a thread still drawing during static
// destruction finds it intact, and the buffers stay reachable rather than orphaned at exit.
std::mutex gFontFilesMutex;
std::map<std::string, fz_buffer*>& fontFiles() {
    static auto* const files = new std::map<std::string, fz_buffer*>;
    return *files;
}

// Reads a font file once; null when it cannot be read. Called inside the font hooks, whose
// callers catch MuPDF errors; this one catches its own so a missing file just means "no font".
fz_buffer* fontFileBytes(fz_context* ctx, const std::string& path) {
    {
        std::lock_guard lock(gFontFilesMutex);
        auto it = fontFiles().find(path);
        if (it != fontFiles().end())
            return it->second ? fz_keep_buffer(ctx, it->second) : nullptr;
    }
    fz_buffer* volatile bytes = nullptr;
    fz_try(ctx) {
        bytes = fz_read_file(ctx, path.c_str());
    }
    fz_catch(ctx) {
        bytes = nullptr;
    }
    std::lock_guard lock(gFontFilesMutex);
    auto [it, inserted] = fontFiles().emplace(path, bytes);
    if (!inserted) {
        // Another thread read it meanwhile: use that copy.
        fz_drop_buffer(ctx, bytes);
        return it->second ? fz_keep_buffer(ctx, it->second) : nullptr;
    }
    return bytes ? fz_keep_buffer(ctx, bytes) : nullptr;
}

// The file the configuration names, tried as written and, when written with Windows folder
// separators, with '/' instead.
fz_font* fontFromFile(fz_context* ctx, const char* name, const std::string& file) {
    fz_buffer* bytes = fontFileBytes(ctx, file);
    if (!bytes && file.find('\\') != std::string::npos) {
        std::string slashed = file;
        for (char& c : slashed)
            if (c == '\\')
                c = '/';
        bytes = fontFileBytes(ctx, slashed);
    }
    if (!bytes)
        return nullptr;
    fz_font* volatile font = nullptr;
    fz_try(ctx) {
        font = fz_new_font_from_buffer(ctx, name, bytes, 0, 1);
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, bytes);
    }
    fz_catch(ctx) {
        font = nullptr;
    }
    return font;
}

const std::string* lookup(const std::map<std::string, std::string>& table, const std::string& key) {
    auto it = table.find(key);
    return it == table.end() ? nullptr : &it->second;
}

// Drops a subset tag such as "ABCDEF+" from a font name.
std::string withoutSubsetTag(const char* name) {
    std::string s = name;
    if (s.size() > 7 && s[6] == '+') {
        bool tag = true;
        for (int i = 0; i < 6; ++i)
            tag = tag && s[static_cast<std::size_t>(i)] >= 'A' &&
                  s[static_cast<std::size_t>(i)] <= 'Z';
        if (tag)
            s.erase(0, 7);
    }
    return s;
}

// The configured file for a font a document does not embed: by its own name among the 8-bit
// fonts, then among the named CID fonts, then by the standard font it stands for ("Arial,Bold" is
// drawn as "Helvetica-Bold").
const std::string* configuredFile(const EngineConfig& config, const char* name, bool cidFirst) {
    const std::string plain = withoutSubsetTag(name);
    const auto* first = cidFirst ? &config.namedCidFonts : &config.displayFonts;
    const auto* second = cidFirst ? &config.displayFonts : &config.namedCidFonts;
    if (const std::string* file = lookup(*first, plain))
        return file;
    if (const std::string* file = lookup(*second, plain))
        return file;
    const char* standard = pdf_clean_font_name(plain.c_str());
    if (standard != plain.c_str())
        return lookup(config.displayFonts, standard);
    return nullptr;
}

// MuPDF asks this for every font a document does not embed (standard fonts and substitutes)
// before it falls back to its built-in fonts. Null means "use the built-in font".
fz_font* loadConfiguredFont(fz_context* ctx, const char* name, int, int, int) {
    if (name == nullptr)
        return nullptr;
    auto config = currentEngineConfig();
    const std::string* file = configuredFile(*config, name, false);
    return file ? fontFromFile(ctx, name, *file) : nullptr;
}

// The same for CID-keyed fonts of the Chinese, Japanese and Korean collections.
fz_font* loadConfiguredCjkFont(fz_context* ctx, const char* name, int, int) {
    if (name == nullptr)
        return nullptr;
    auto config = currentEngineConfig();
    const std::string* file = configuredFile(*config, name, true);
    return file ? fontFromFile(ctx, name, *file) : nullptr;
}

fz_context* makeBaseContext() {
    fz_context* ctx = fz_new_context(nullptr, &gLocks, FZ_STORE_DEFAULT);
    if (!ctx)
        return nullptr;
    silence(ctx);
    fz_install_load_system_font_funcs(ctx, loadConfiguredFont, loadConfiguredCjkFont, nullptr);
    return ctx;
}

// Owns this thread's clone.
struct ThreadContext {
    fz_context* ctx = nullptr;
    ThreadContext() {
        if (fz_context* base = baseContext()) {
            ctx = fz_clone_context(base);
            if (ctx)
                silence(ctx);
        }
    }
    ~ThreadContext() { fz_drop_context(ctx); }
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;
};

} // namespace

fz_context* baseContext() {
    // Made once and never dropped: clones held by threads that outlive static destruction would
    // otherwise refer to a dead base.
    static fz_context* const base = makeBaseContext();
    return base;
}

fz_context* threadContext() {
    thread_local ThreadContext local;
    return local.ctx;
}

} // namespace plyfold::mupdf
