#include "server/UpdateServerSide.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <memory>

namespace plyfold::test {

namespace {

EVP_PKEY* pkey(void* key) {
    return static_cast<EVP_PKEY*>(key);
}

const unsigned char* bytesOf(QByteArrayView view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}

HttpResponse badRequest(const QString& why) {
    HttpResponse response;
    response.status = 400;
    response.reason = "Bad Request";
    response.headers.append({"Content-Type", "text/plain"});
    response.body = why.toUtf8();
    return response;
}

} // namespace

UpdateServerSide::UpdateServerSide(const QByteArray& privateKeyPem) {
    BIO* bio = BIO_new_mem_buf(privateKeyPem.constData(), static_cast<int>(privateKeyPem.size()));
    if (bio != nullptr) {
        m_key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
        BIO_free(bio);
    }
    respond = [](const UpdateRequest&) { return Reply(UpdateInfo{}); };
}

UpdateServerSide::~UpdateServerSide() {
    EVP_PKEY_free(pkey(m_key));
}

bool UpdateServerSide::OpenEnvelope(QByteArrayView envelope, QByteArray* plain, int* secretLength,
                                    QString* error) const {
    auto fail = [error](const char* why) {
        if (error != nullptr) {
            *error = QString::fromLatin1(why);
        }
        return false;
    };
    if (m_key == nullptr) {
        return fail("no private key");
    }
    const int keySize = EVP_PKEY_get_size(pkey(m_key));
    if (envelope.size() <= keySize) {
        return fail("envelope too short");
    }
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> rsa(
        EVP_PKEY_CTX_new(pkey(m_key), nullptr), &EVP_PKEY_CTX_free);
    unsigned char secret[1024];
    size_t secretSize = sizeof secret;
    if (!rsa || EVP_PKEY_decrypt_init(rsa.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(rsa.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
        EVP_PKEY_CTX_set_rsa_oaep_md(rsa.get(), EVP_sha1()) != 1 ||
        EVP_PKEY_CTX_set_rsa_mgf1_md(rsa.get(), EVP_sha1()) != 1 ||
        EVP_PKEY_decrypt(rsa.get(), secret, &secretSize, bytesOf(envelope),
                         static_cast<size_t>(keySize)) != 1) {
        return fail("session secret does not open");
    }
    if (secretLength != nullptr) {
        *secretLength = static_cast<int>(secretSize);
    }
    unsigned char aesKey[32];
    unsigned char iv[16];
    static const unsigned char salt[8] = {'V', 'e', 'k', 'q', '7', 'R', 's', 'm'};
    if (EVP_BytesToKey(EVP_aes_256_cbc(), EVP_sha1(), salt, secret, static_cast<int>(secretSize), 5,
                       aesKey, iv) != 32) {
        return fail("key derivation failed");
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> aes(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    const QByteArrayView cipher = envelope.sliced(keySize);
    QByteArray out(cipher.size() + 32, '\0');
    int written = 0;
    int tail = 0;
    if (!aes || EVP_DecryptInit_ex(aes.get(), EVP_aes_256_cbc(), nullptr, aesKey, iv) != 1 ||
        EVP_DecryptUpdate(aes.get(), reinterpret_cast<unsigned char*>(out.data()), &written,
                          bytesOf(cipher), static_cast<int>(cipher.size())) != 1 ||
        EVP_DecryptFinal_ex(aes.get(), reinterpret_cast<unsigned char*>(out.data()) + written,
                            &tail) != 1) {
        return fail("request does not decrypt");
    }
    out.resize(written + tail);
    if (plain != nullptr) {
        *plain = out;
    }
    return true;
}

HttpResponse UpdateServerSide::Handle(const HttpRequest& request) {
    auto refuse = [this](const QString& why) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_refusals.push_back(why);
        return badRequest(why);
    };
    if (request.method != "POST") {
        return refuse(QStringLiteral("not a POST"));
    }
    if (!request.target.endsWith("/check-for-update.php")) {
        return refuse(QStringLiteral("wrong script"));
    }
    if (request.header("content-type") != "application/x-tessarine-auto-update-request") {
        return refuse(QStringLiteral("wrong content type"));
    }
    if (request.header("user-agent") != "Tessarine/AutoUpdate-2.0") {
        return refuse(QStringLiteral("wrong user agent"));
    }
    // Upper-case digits only, two per byte.
    const QByteArray& text = request.body;
    if (text.isEmpty() || text.size() % 2 != 0) {
        return refuse(QStringLiteral("body is not hexadecimal text"));
    }
    QByteArray envelope;
    for (qsizetype i = 0; i < text.size(); i += 2) {
        auto digit = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) {
            return refuse(QStringLiteral("body is not upper-case hexadecimal text"));
        }
        envelope.append(static_cast<char>(high * 16 + low));
    }
    QByteArray plain;
    int secretLength = 0;
    QString error;
    if (!OpenEnvelope(envelope, &plain, &secretLength, &error)) {
        return refuse(error);
    }
    if (secretLength != EVP_PKEY_get_size(pkey(m_key)) - 42) {
        return refuse(QStringLiteral("session secret of the wrong size"));
    }
    // Little-endian fields, read here without the client's parser.
    if (plain.size() != 24) {
        return refuse(QStringLiteral("request of the wrong size"));
    }
    auto u16 = [&plain](int at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(plain[at]) |
                                          (static_cast<unsigned char>(plain[at + 1]) << 8));
    };
    UpdateRequest query;
    query.magic = static_cast<std::uint32_t>(u16(0)) | (static_cast<std::uint32_t>(u16(2)) << 16);
    query.version = {u16(4), u16(6), u16(8), u16(10)};
    query.lastNotifiedVersion = {u16(12), u16(14), u16(16), u16(18)};
    query.lastNotifiedPatch = u16(20);
    query.languageId = u16(22);
    if (query.magic != 0xBDFCE76Eu) {
        return refuse(QStringLiteral("wrong magic"));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queries.push_back(query);
    }
    return respond(query);
}

std::vector<UpdateRequest> UpdateServerSide::queries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queries;
}

std::vector<QString> UpdateServerSide::refusals() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_refusals;
}

HttpResponse UpdateServerSide::Reply(const UpdateInfo& info) {
    return Raw(EncodeHex(SerializeUpdateReply(info)), "application/x-tessarine-auto-update-reply");
}

HttpResponse UpdateServerSide::Raw(const QByteArray& bodyText, const QByteArray& type, int status) {
    HttpResponse response;
    response.status = status;
    response.reason = status == 200 ? "OK" : "Status";
    if (!type.isEmpty()) {
        response.headers.append({"Content-Type", type});
    }
    response.body = bodyText;
    return response;
}

} // namespace plyfold::test
