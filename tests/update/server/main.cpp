// plyfold_update_server: the update server side on its own, for trying the program against a
// local server by hand. See README.md in this folder.

#include "server/InstallerServerSide.h"
#include "server/LoopbackHttpServer.h"
#include "server/UpdateServerSide.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace plyfold;
using namespace plyfold::test;

static int usage() {
    std::fprintf(stderr,
                 "usage: plyfold_update_server --key PRIVATE.pem [--port N] [--kind K]\n"
                 "       [--version a.b.c.d] [--action URL] [--info URL] [--line TEXT]...\n"
                 "       [--installer SIGNED-PACKAGE [--installer-path /NAME]]\n"
                 "Answers every well-formed query with the reply described by the options\n"
                 "(default: kind 0, no update) until standard input ends. With --installer,\n"
                 "GET requests of the installer path (default /Plyfold-Installer.msi) are\n"
                 "answered with that file, ranges honoured.\n");
    return 2;
}

int main(int argc, char** argv) {
    QString keyPath;
    std::uint16_t port = 0;
    UpdateInfo info;
    QString installerFile;
    QByteArray installerPath = QByteArrayLiteral("/Plyfold-Installer.msi");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (arg == "--key") {
            keyPath = value;
        } else if (arg == "--port") {
            port = static_cast<std::uint16_t>(value.toUInt());
        } else if (arg == "--kind") {
            info.kind = value.toInt();
        } else if (arg == "--version") {
            ParseVersion(value, &info.version);
        } else if (arg == "--action") {
            info.actionAddress = value;
        } else if (arg == "--info") {
            info.infoAddress = value;
        } else if (arg == "--line") {
            info.lines.append(value);
        } else if (arg == "--installer") {
            installerFile = value;
        } else if (arg == "--installer-path") {
            installerPath = value.toUtf8();
        } else {
            return usage();
        }
    }
    QFile keyFile(keyPath);
    if (keyPath.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) {
        return usage();
    }
    UpdateServerSide side(keyFile.readAll());
    if (!side.hasKey()) {
        std::fprintf(stderr, "cannot read the private key\n");
        return 1;
    }
    side.respond = [info](const UpdateRequest& query) {
        std::fprintf(stderr, "query: version %s, last notified %s, patch %u, language %u\n",
                     qPrintable(FormatVersion(query.version, 4)),
                     qPrintable(FormatVersion(query.lastNotifiedVersion, 4)),
                     query.lastNotifiedPatch, query.languageId);
        return UpdateServerSide::Reply(info);
    };
    QByteArray package;
    if (!installerFile.isEmpty()) {
        QFile file(installerFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read the installer package\n");
            return 1;
        }
        package = file.readAll();
    }
    InstallerServerSide installer(package, installerPath);
    LoopbackHttpServer server([&](const HttpRequest& request) {
        if (!installerFile.isEmpty() && request.method != "POST") {
            return installer.Handle(request);
        }
        return side.Handle(request);
    });
    if (!server.Start(port)) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    std::printf("PLYFOLD_UPDATE_URL=http://%s/\n", qPrintable(server.server()));
    if (!installerFile.isEmpty()) {
        std::printf("installer: http://%s%s\n", qPrintable(server.server()),
                    installerPath.constData());
    }
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.Stop();
    return 0;
}
