#pragma once

// Reading a secret from the controlling terminal without echoing it.

#include <QString>

#include <optional>

namespace plyfold {

// True when standard input is a terminal, so a person can be asked.
bool StdinIsTerminal();

// Writes `prompt` to standard error, reads one line from standard input with echo switched off
// (restored afterwards, also when the read fails) and returns it without its line end. Nothing
// when standard input is not a terminal or the input ended before a line was read.
std::optional<QString> ReadSecretFromTerminal(const QString& prompt);

} // namespace plyfold
