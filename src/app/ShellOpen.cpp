#include "app/ShellOpen.h"

#include <QDesktopServices>

namespace plyfold {

namespace {

UrlOpener& urlOpener() {
    static UrlOpener opener;
    return opener;
}

} // namespace

bool ShellOpenUrl(const QUrl& url) {
    if (const UrlOpener& opener = urlOpener()) {
        return opener(url);
    }
    return QDesktopServices::openUrl(url);
}

void SetUrlOpener(UrlOpener opener) {
    urlOpener() = std::move(opener);
}

} // namespace plyfold
