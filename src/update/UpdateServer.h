#pragma once

// Where the update query goes and the key it is enciphered with.

#include <QByteArray>
#include <QString>

namespace plyfold {

struct UpdateServerAddress {
    // Host name, optionally with ":port" (plain HTTP).
    QString server;
    // Request target of the query script, starting with "/".
    QString path;
    // The server's RSA public key in the program's key format (UpdateProtocol.h).
    QByteArray publicKey;
};

// The maker's update server and its public key. For tests only, two environment variables replace
// them: PLYFOLD_UPDATE_URL, an address "http://host[:port][/folder/]" under which the query script
// is reached (an address that cannot be read leaves the server empty, so the query fails rather
// than reaching the real server), and PLYFOLD_UPDATE_PUBKEY, the path of a key file in the
// program's key format (an unreadable file leaves the key empty).
UpdateServerAddress CurrentUpdateServer();

// The public half of the maker's update key, in the program's key format.
QByteArray ProductionUpdatePublicKey();

} // namespace plyfold
