#include "update/UpdateProtocol.h"

#include <QtEndian>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <cstring>
#include <memory>

namespace plyfold {

namespace {

// Appends `value` as little-endian bytes.
template <typename T> void putLittleEndian(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

void putU16(QByteArray& out, std::uint16_t value) {
    putLittleEndian(out, value);
}

void putU32(QByteArray& out, std::uint32_t value) {
    putLittleEndian(out, value);
}

void putVersion(QByteArray& out, const ModuleVersion& v) {
    putU16(out, v.major);
    putU16(out, v.minor);
    putU16(out, v.build);
    putU16(out, v.revision);
}

void putString(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    putU32(out, static_cast<std::uint32_t>(utf8.size()));
    out.append(utf8);
}

// Reads little-endian fields from a byte range; every read checks the bytes that remain, and a
// failed read leaves the reader failed for good.
class Reader {
public:
    explicit Reader(QByteArrayView bytes) : m_data(bytes) {}

    bool ok() const { return m_ok; }
    qsizetype remaining() const { return m_data.size() - m_pos; }

    std::uint16_t u16() { return take(2) ? qFromLittleEndian<std::uint16_t>(at(m_pos - 2)) : 0; }
    std::uint32_t u32() { return take(4) ? qFromLittleEndian<std::uint32_t>(at(m_pos - 4)) : 0; }
    ModuleVersion version() {
        ModuleVersion v;
        v.major = u16();
        v.minor = u16();
        v.build = u16();
        v.revision = u16();
        return v;
    }
    QByteArrayView bytes(std::uint32_t length) {
        // Compared in 64 bits: a length near 4 GiB must not wrap around.
        if (!m_ok || static_cast<std::uint64_t>(length) > static_cast<std::uint64_t>(remaining())) {
            m_ok = false;
            return {};
        }
        const QByteArrayView view = m_data.sliced(m_pos, length);
        m_pos += length;
        return view;
    }
    QString string() {
        const std::uint32_t length = u32();
        const QByteArrayView text = bytes(length);
        return m_ok ? QString::fromUtf8(text) : QString();
    }

private:
    bool take(qsizetype count) {
        if (!m_ok || remaining() < count) {
            m_ok = false;
            return false;
        }
        m_pos += count;
        return true;
    }
    const char* at(qsizetype offset) const { return m_data.data() + offset; }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
};
struct BnFree {
    void operator()(BIGNUM* p) const { BN_free(p); }
};
struct ParamBldFree {
    void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
};
struct ParamFree {
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};

const unsigned char* bytesOf(QByteArrayView view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}

std::unique_ptr<EVP_PKEY, PkeyFree> makeRsaPublicKey(const RsaPublicKeyParts& parts) {
    std::unique_ptr<BIGNUM, BnFree> n(
        BN_bin2bn(bytesOf(parts.modulus), static_cast<int>(parts.modulus.size()), nullptr));
    std::unique_ptr<BIGNUM, BnFree> e(
        BN_bin2bn(bytesOf(parts.exponent), static_cast<int>(parts.exponent.size()), nullptr));
    if (!n || !e || BN_is_zero(n.get()) || BN_is_zero(e.get())) {
        return nullptr;
    }
    std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree> build(OSSL_PARAM_BLD_new());
    if (!build || OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
        return nullptr;
    }
    std::unique_ptr<OSSL_PARAM, ParamFree> params(OSSL_PARAM_BLD_to_param(build.get()));
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(
        EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) {
        return nullptr;
    }
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        return nullptr;
    }
    return std::unique_ptr<EVP_PKEY, PkeyFree>(key);
}

} // namespace

QByteArray SerializeUpdateRequest(const UpdateRequest& request) {
    QByteArray out;
    out.reserve(kUpdateRequestSize);
    putU32(out, request.magic);
    putVersion(out, request.version);
    putVersion(out, request.lastNotifiedVersion);
    putU16(out, request.lastNotifiedPatch);
    putU16(out, request.languageId);
    return out;
}

bool ParseUpdateRequest(QByteArrayView bytes, UpdateRequest* request) {
    Reader reader(bytes);
    UpdateRequest parsed;
    parsed.magic = reader.u32();
    parsed.version = reader.version();
    parsed.lastNotifiedVersion = reader.version();
    parsed.lastNotifiedPatch = reader.u16();
    parsed.languageId = reader.u16();
    if (!reader.ok()) {
        return false;
    }
    if (request != nullptr) {
        *request = parsed;
    }
    return true;
}

QByteArray EncodeHex(QByteArrayView bytes) {
    return bytes.toByteArray().toHex().toUpper();
}

bool DecodeHex(QByteArrayView text, QByteArray* bytes) {
    QByteArray out = QByteArray::fromHex(text.toByteArray());
    // The decoder skips whatever is not a digit pair; text is hexadecimal only when the bytes
    // encode back to it (an odd length or any other character cannot).
    const bool valid = out.toHex().compare(text, Qt::CaseInsensitive) == 0;
    if (bytes != nullptr) {
        *bytes = valid ? std::move(out) : QByteArray();
    }
    return valid;
}

std::unique_ptr<UpdateInfo> ParseUpdateReply(QByteArrayView bytes) {
    Reader reader(bytes);
    auto info = std::make_unique<UpdateInfo>();
    info->kind = static_cast<std::int32_t>(reader.u32());
    if (!reader.ok()) {
        return nullptr;
    }
    if (info->kind == UpdateInfo::NoUpdate) {
        return info;
    }
    info->version = reader.version();
    info->actionAddress = reader.string();
    info->infoAddress = reader.string();
    const std::uint32_t count = reader.u32();
    if (!reader.ok()) {
        return nullptr;
    }
    // Every line takes at least its 4-byte length: a count beyond that cannot be satisfied, and
    // checking first keeps a hostile count from reserving memory it never fills.
    if (static_cast<std::uint64_t>(count) * 4 > static_cast<std::uint64_t>(reader.remaining())) {
        return nullptr;
    }
    info->lines.reserve(static_cast<qsizetype>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        QString line = reader.string();
        if (!reader.ok()) {
            return nullptr;
        }
        info->lines.append(std::move(line));
    }
    return info;
}

QByteArray SerializeUpdateReply(const UpdateInfo& info) {
    QByteArray out;
    putU32(out, static_cast<std::uint32_t>(info.kind));
    if (info.kind == UpdateInfo::NoUpdate) {
        return out;
    }
    putVersion(out, info.version);
    putString(out, info.actionAddress);
    putString(out, info.infoAddress);
    putU32(out, static_cast<std::uint32_t>(info.lines.size()));
    for (const QString& line : info.lines) {
        putString(out, line);
    }
    return out;
}

ModuleVersion ParseNotifiedVersion(const QString& text) {
    ModuleVersion version;
    if (!ParseVersion(text, &version)) {
        return ModuleVersion{};
    }
    return version;
}

int UILanguageIndex(int setting) {
    if (setting >= 0 && setting <= 6) {
        return setting;
    }
    if (setting <= 100) {
        return 0;
    }
    switch (setting) {
    case 1031:
        return 5;
    case 1036:
        return 4;
    case 1040:
        return 3;
    case 1043:
        return 6;
    case 1046:
        return 1;
    case 3082:
        return 2;
    default:
        return 0;
    }
}

std::uint16_t LanguageIdForIndex(int index) {
    switch (index) {
    case 1:
        return 1046;
    case 2:
        return 3082;
    case 3:
        return 1040;
    case 4:
        return 1036;
    case 5:
        return 1031;
    case 6:
        return 1043;
    default:
        return 1033;
    }
}

bool ParsePublicKeyBlob(QByteArrayView blob, RsaPublicKeyParts* parts) {
    Reader reader(blob);
    const QByteArrayView flag = reader.bytes(1);
    if (!reader.ok() || flag[0] != 1) {
        return false;
    }
    const std::uint32_t modulusLength = reader.u32();
    if (!reader.ok() || modulusLength == 0 || modulusLength > 1024) {
        return false;
    }
    const QByteArrayView modulus = reader.bytes(modulusLength);
    const std::uint32_t exponentLength = reader.u32();
    if (!reader.ok() || exponentLength == 0 || exponentLength > 8) {
        return false;
    }
    const QByteArrayView exponent = reader.bytes(exponentLength);
    // The private-part marker must be there; what follows a non-zero one is not needed.
    reader.bytes(1);
    if (!reader.ok()) {
        return false;
    }
    if (parts != nullptr) {
        parts->modulus = modulus.toByteArray();
        parts->exponent = exponent.toByteArray();
    }
    return true;
}

QByteArray MakePublicKeyBlob(const RsaPublicKeyParts& parts) {
    QByteArray out;
    out.append('\x01');
    putU32(out, static_cast<std::uint32_t>(parts.modulus.size()));
    out.append(parts.modulus);
    putU32(out, static_cast<std::uint32_t>(parts.exponent.size()));
    out.append(parts.exponent);
    out.append('\0');
    return out;
}

bool DeriveEnvelopeKey(QByteArrayView secret, unsigned char (&key)[32], unsigned char (&iv)[16]) {
    const int size = EVP_BytesToKey(
        EVP_aes_256_cbc(), EVP_sha1(), reinterpret_cast<const unsigned char*>(kEnvelopeSalt),
        bytesOf(secret), static_cast<int>(secret.size()), kEnvelopeKeyRounds, key, iv);
    return size == 32;
}

UpdateEnvelope::UpdateEnvelope(QByteArray publicKeyBlob)
    : m_publicKeyBlob(std::move(publicKeyBlob)) {}

bool UpdateEnvelope::Seal(QByteArrayView plain, QByteArray* envelope) {
    envelope->clear();
    m_errorText.clear();
    RsaPublicKeyParts parts;
    std::unique_ptr<EVP_PKEY, PkeyFree> key;
    if (ParsePublicKeyBlob(m_publicKeyBlob, &parts)) {
        key = makeRsaPublicKey(parts);
    }
    if (!key) {
        m_errorText = QStringLiteral("Public key not specified");
        return false;
    }
    const int keySize = EVP_PKEY_get_size(key.get());
    if (keySize <= kOaepSha1Overhead) {
        m_errorText = QStringLiteral("RSA Key is too small. Use a larger key");
        return false;
    }

    QByteArray secret(keySize - kOaepSha1Overhead, '\0');
    auto wipe = [&secret] { OPENSSL_cleanse(secret.data(), static_cast<size_t>(secret.size())); };
    if (RAND_bytes(reinterpret_cast<unsigned char*>(secret.data()),
                   static_cast<int>(secret.size())) != 1) {
        wipe();
        m_errorText = QStringLiteral("Failed to generate a random session key");
        return false;
    }

    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> rsa(EVP_PKEY_CTX_new(key.get(), nullptr));
    size_t sealedLength = 0;
    if (!rsa || EVP_PKEY_encrypt_init(rsa.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(rsa.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
        EVP_PKEY_CTX_set_rsa_oaep_md(rsa.get(), EVP_sha1()) != 1 ||
        EVP_PKEY_CTX_set_rsa_mgf1_md(rsa.get(), EVP_sha1()) != 1 ||
        EVP_PKEY_encrypt(rsa.get(), nullptr, &sealedLength, bytesOf(secret),
                         static_cast<size_t>(secret.size())) != 1) {
        wipe();
        m_errorText = QStringLiteral("Failed to encrypt the session key");
        return false;
    }
    QByteArray sealedSecret(static_cast<qsizetype>(sealedLength), '\0');
    if (EVP_PKEY_encrypt(rsa.get(), reinterpret_cast<unsigned char*>(sealedSecret.data()),
                         &sealedLength, bytesOf(secret), static_cast<size_t>(secret.size())) != 1) {
        wipe();
        m_errorText = QStringLiteral("Failed to encrypt the session key");
        return false;
    }
    // The server takes exactly the first key-size bytes as the sealed secret.
    if (sealedLength != static_cast<size_t>(keySize)) {
        wipe();
        m_errorText = QStringLiteral("Failed to store encrypted session key in output");
        return false;
    }
    sealedSecret.resize(keySize);

    unsigned char aesKey[32];
    unsigned char iv[16];
    const bool derived = DeriveEnvelopeKey(secret, aesKey, iv);
    wipe();
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> aes(EVP_CIPHER_CTX_new());
    if (!derived || !aes ||
        EVP_EncryptInit_ex(aes.get(), EVP_aes_256_cbc(), nullptr, aesKey, iv) != 1) {
        OPENSSL_cleanse(aesKey, sizeof aesKey);
        m_errorText = QStringLiteral("Failed to encrypt content");
        return false;
    }
    OPENSSL_cleanse(aesKey, sizeof aesKey);
    QByteArray cipher(plain.size() + 16, '\0');
    int written = 0;
    if (EVP_EncryptUpdate(aes.get(), reinterpret_cast<unsigned char*>(cipher.data()), &written,
                          bytesOf(plain), static_cast<int>(plain.size())) != 1) {
        m_errorText = QStringLiteral("Failed to encrypt content");
        return false;
    }
    int tail = 0;
    if (EVP_EncryptFinal_ex(aes.get(), reinterpret_cast<unsigned char*>(cipher.data()) + written,
                            &tail) != 1) {
        m_errorText = QStringLiteral("Failed to finalize encrypted content");
        return false;
    }
    cipher.resize(written + tail);
    *envelope = sealedSecret + cipher;
    return true;
}

} // namespace plyfold
