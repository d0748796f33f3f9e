#pragma once

// Opening web pages, files and folders with the desktop's default program.

#include <QUrl>

#include <functional>

namespace plyfold {

// Opens the address with the desktop's default handler (a web page in the browser, a local file
// with its program). Returns what the desktop reported; callers that ignore failures may.
bool ShellOpenUrl(const QUrl& url);

// Tests replace the desktop: while an opener is set, ShellOpenUrl hands every address to it and
// returns its answer instead of starting anything. Pass an empty function to restore the desktop.
using UrlOpener = std::function<bool(const QUrl&)>;
void SetUrlOpener(UrlOpener opener);

} // namespace plyfold
