#pragma once

// The viewer engine's configuration file: which TrueType files draw the fonts a document does not
// embed. Plain C++; the engine reads the file once in pdfInitLibrary.

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace plyfold {

struct EngineConfig {
    // "displayFontTT <PDF font name> <file>": 8-bit fonts by their PDF name.
    std::map<std::string, std::string> displayFonts;
    // "displayNamedCIDFontTT <font name> <file>": CID-keyed fonts by their name.
    std::map<std::string, std::string> namedCidFonts;
    // "textKeepTinyChars yes|no": a text-extraction setting; kept, not used for drawing.
    bool textKeepTinyChars = false;
};

// Parses the file's text. Lines end with CR, LF or CRLF. A line is a keyword and its arguments
// separated by spaces or tabs; the file name is the rest of the line (so it may hold spaces),
// without surrounding double quotes. Lines starting with '#', blank lines, unknown keywords and
// lines missing an argument are ignored. A later line for the same font name wins.
EngineConfig parseEngineConfig(std::string_view text);

// Reads and parses the file at path (8-bit, the locale's encoding). A missing or unreadable file
// gives an empty configuration.
EngineConfig readEngineConfigFile(const char* path);

// The configuration in force (set by pdfInitLibrary); never null.
std::shared_ptr<const EngineConfig> currentEngineConfig();
void setCurrentEngineConfig(EngineConfig config);

} // namespace plyfold
