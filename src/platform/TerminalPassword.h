#pragma once

// Reading a secret from the controlling terminal without echoing it, or from a file, so that it
// never appears on a command line.

#include <QString>

#include <optional>

namespace plyfold {

// True when standard input is a terminal, so a person can be asked.
bool StdinIsTerminal();

// True when standard error is a terminal, so a line there can be rewritten in place.
bool StderrIsTerminal();

// Writes `prompt` to standard error, reads one line from standard input with echo switched off
// (restored afterwards, also when the read fails) and returns it without its line end. Nothing
// when standard input is not a terminal or the input ended before a line was read.
std::optional<QString> ReadSecretFromTerminal(const QString& prompt);

// Switches echo back on when a prompt of ReadSecretFromTerminal was interrupted. Safe to call from
// a signal handler; does nothing when no prompt is running.
void RestoreTerminalEcho() noexcept;

// The first line of a file without its line end (an empty file gives an empty text). Nothing when
// the file cannot be read.
std::optional<QString> ReadFirstLineOfFile(const QString& path);

} // namespace plyfold
