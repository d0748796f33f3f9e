#pragma once

// The server side of the update query: takes the POST apart (hexadecimal text, RSA-OAEP sealed
// session secret, AES-256-CBC request), checks it, and answers with a reply chosen by the caller.
// It is written from the wire format alone (its own key derivation and decryption), so that a
// client that drifts from the format fails against it.

#include "server/LoopbackHttpServer.h"
#include "update/UpdateInfo.h"
#include "update/UpdateProtocol.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>
#include <vector>

namespace plyfold::test {

class UpdateServerSide {
public:
    // `privateKeyPem`: the server's RSA private key, PEM text.
    explicit UpdateServerSide(const QByteArray& privateKeyPem);
    ~UpdateServerSide();
    UpdateServerSide(const UpdateServerSide&) = delete;
    UpdateServerSide& operator=(const UpdateServerSide&) = delete;

    bool hasKey() const { return m_key != nullptr; }

    // Opens an envelope (binary, not hex). On success `plain` holds the request bytes and
    // `secretLength` the length of the session secret that was sealed.
    bool OpenEnvelope(QByteArrayView envelope, QByteArray* plain, int* secretLength,
                      QString* error) const;

    // What to answer to a well-formed query; the default says "no update".
    std::function<HttpResponse(const UpdateRequest&)> respond;

    // The HTTP handler: checks the verb, the path's script name, the content type, the user agent,
    // the hexadecimal text, the envelope and the magic. A malformed query gets 400 with a
    // plain-text reason; a well-formed one is recorded and answered by `respond`.
    HttpResponse Handle(const HttpRequest& request);

    // Queries decoded so far, and the reasons of the queries that were refused.
    std::vector<UpdateRequest> queries() const;
    std::vector<QString> refusals() const;

    // A proper reply carrying `info`.
    static HttpResponse Reply(const UpdateInfo& info);
    // A reply with this body text and content type (for hostile replies).
    static HttpResponse Raw(const QByteArray& bodyText, const QByteArray& type, int status = 200);

private:
    void* m_key = nullptr; // EVP_PKEY
    mutable std::mutex m_mutex;
    std::vector<UpdateRequest> m_queries;
    std::vector<QString> m_refusals;
};

} // namespace plyfold::test
