#include "platform/viewer/EngineConfig.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

namespace plyfold {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits off the first blank-separated word of s; s keeps the rest, trimmed.
std::string_view nextWord(std::string_view& s) {
    s = trim(s);
    std::size_t end = 0;
    while (end < s.size() && !isBlank(s[end]))
        ++end;
    std::string_view word = s.substr(0, end);
    s = trim(s.substr(end));
    return word;
}

std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

void parseLine(std::string_view line, EngineConfig& config) {
    std::string_view rest = line;
    std::string_view keyword = nextWord(rest);
    if (keyword.empty() || keyword.front() == '#')
        return;
    if (keyword == "displayFontTT" || keyword == "displayNamedCIDFontTT") {
        std::string_view name = nextWord(rest);
        std::string_view file = unquote(rest);
        if (name.empty() || file.empty())
            return;
        auto& table = keyword == "displayFontTT" ? config.displayFonts : config.namedCidFonts;
        table[std::string(name)] = std::string(file);
    } else if (keyword == "textKeepTinyChars") {
        std::string_view value = nextWord(rest);
        if (value == "yes")
            config.textKeepTinyChars = true;
        else if (value == "no")
            config.textKeepTinyChars = false;
    }
}

std::mutex gConfigMutex;
std::shared_ptr<const EngineConfig> gConfig = std::make_shared<const EngineConfig>();

} // namespace

EngineConfig parseEngineConfig(std::string_view text) {
    EngineConfig config;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        parseLine(text.substr(start, end - start), config);
        if (end >= text.size())
            break;
        // CRLF counts as one line end.
        if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return config;
}

EngineConfig readEngineConfigFile(const char* path) {
    if (path == nullptr || *path == '\0')
        return {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseEngineConfig(text);
}

std::shared_ptr<const EngineConfig> currentEngineConfig() {
    std::lock_guard lock(gConfigMutex);
    return gConfig;
}

void setCurrentEngineConfig(EngineConfig config) {
    auto next = std::make_shared<const EngineConfig>(std::move(config));
    std::lock_guard lock(gConfigMutex);
    gConfig = std::move(next);
}

} // namespace plyfold
