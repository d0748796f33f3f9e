#pragma once

// The wire format of the update query, as pure functions: the serialised request, the hexadecimal
// text of the HTTP bodies, the reply, the public-key format and the envelope that enciphers the
// request. Nothing here touches the network or the settings, so every part is testable alone and
// the server side can use the same code.
//
// Request body: upper-case hexadecimal text of the envelope
//     RSA-OAEP(SHA-1) of a random session secret (key size - 42 bytes)   key size bytes
//     AES-256-CBC (PKCS padding) of the serialised request               the rest
// where the AES key and IV come from EVP_BytesToKey(SHA-1, salt "Vekq7Rsm", 5 rounds) over the
// session secret. Reply body: hexadecimal text of the plain reply bytes (see ParseUpdateReply).

#include "engine/VersionInfo.h"
#include "update/UpdateInfo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>

namespace plyfold {

inline constexpr std::uint32_t kUpdateRequestMagic = 0xBDFCE76Eu;
// Size of a serialised request: magic, two versions, patch and language.
inline constexpr qsizetype kUpdateRequestSize = 4 + 8 + 8 + 2 + 2;
inline constexpr char kUpdateRequestType[] = "application/x-tessarine-auto-update-request";
inline constexpr char kUpdateReplyType[] = "application/x-tessarine-auto-update-reply";
inline constexpr char kUpdateUserAgent[] = "Tessarine/AutoUpdate-2.0";
inline constexpr char kUpdateScript[] = "check-for-update.php";
inline constexpr char kEnvelopeSalt[] = "Vekq7Rsm"; // 8 bytes, no terminator used
inline constexpr int kEnvelopeKeyRounds = 5;
// OAEP with SHA-1 leaves room for (key size - 42) bytes of message.
inline constexpr int kOaepSha1Overhead = 42;

// The query the program sends.
struct UpdateRequest {
    std::uint32_t magic = kUpdateRequestMagic;
    ModuleVersion version;             // the running program's product version
    ModuleVersion lastNotifiedVersion; // "LastNotifiedVersion", 0.0.0.0 when empty or unreadable
    std::uint16_t lastNotifiedPatch = 0;
    std::uint16_t languageId = 0; // see LanguageIdForIndex

    friend bool operator==(const UpdateRequest&, const UpdateRequest&) = default;
};

// Little-endian, no padding: magic, version (major first), last notified version, patch,
// language; kUpdateRequestSize bytes.
QByteArray SerializeUpdateRequest(const UpdateRequest& request);
// The reverse (for the server side). False unless `bytes` holds at least kUpdateRequestSize bytes;
// the magic is returned as read, not checked. Bytes beyond the request are ignored.
bool ParseUpdateRequest(QByteArrayView bytes, UpdateRequest* request);

// Two upper-case hexadecimal digits per byte, no separators.
QByteArray EncodeHex(QByteArrayView bytes);
// Reads hexadecimal text (either case). False, leaving `bytes` empty, for text of odd length or
// with any character that is not a hexadecimal digit (spaces and line breaks included).
bool DecodeHex(QByteArrayView text, QByteArray* bytes);

// Reply bytes, little-endian: kind (4 bytes, signed); if the kind is 0 the reply ends there;
// otherwise version (4 x 2 bytes), action address, information address, number of lines (4 bytes)
// and that many strings. A string is a 4-byte length and that many bytes of UTF-8 text. Bytes after
// the last line are ignored. Returns null when the reply is too short for what it announces; never
// reads past `bytes`.
std::unique_ptr<UpdateInfo> ParseUpdateReply(QByteArrayView bytes);
// The reverse (for the server side). An override object is written as its kind like any other.
QByteArray SerializeUpdateReply(const UpdateInfo& info);

// "LastNotifiedVersion" as sent: the version when the text holds all three dots, else 0.0.0.0.
ModuleVersion ParseNotifiedVersion(const QString& text);

// The "UILanguage" setting reduced to an index 0 to 6: 0..6 stay; 7..100 give 0; a larger value is
// read as a language identifier (1031 5, 1036 4, 1040 3, 1043 6, 1046 1, 3082 2, others 0); a
// negative value gives 0.
int UILanguageIndex(int setting);
// The language identifier sent for an index: 1 1046, 2 3082, 3 1040, 4 1036, 5 1031, 6 1043,
// anything else 1033.
std::uint16_t LanguageIdForIndex(int index);

// The halves of an RSA public key, big-endian bytes.
struct RsaPublicKeyParts {
    QByteArray modulus;
    QByteArray exponent;
};

// The program's key format: a byte 1 (a public part follows); the modulus and then the exponent,
// each as a 4-byte little-endian length and that many big-endian bytes; then a byte 0 (no private
// part). Parsing checks every length against the data; a key of more than 8192 bits or an exponent
// longer than 8 bytes is refused. A private part (a non-zero last byte) is not read.
bool ParsePublicKeyBlob(QByteArrayView blob, RsaPublicKeyParts* parts);
QByteArray MakePublicKeyBlob(const RsaPublicKeyParts& parts);

// The enciphering object of the request. Failures are kept as text (errorText) for diagnosis and
// are never shown to the user.
class UpdateEnvelope {
public:
    // `publicKeyBlob` in the program's key format.
    explicit UpdateEnvelope(QByteArray publicKeyBlob);

    // Enciphers `plain` with a fresh random session secret. False (with errorText set and
    // `envelope` empty) on any failure.
    bool Seal(QByteArrayView plain, QByteArray* envelope);

    // The text of the last failure, empty after a success.
    const QString& errorText() const { return m_errorText; }

private:
    QByteArray m_publicKeyBlob;
    QString m_errorText;
};

// EVP_BytesToKey over the session secret as the envelope uses it: 32 bytes of AES-256 key and 16
// bytes of IV. Shared with the server side. False if the derivation fails.
bool DeriveEnvelopeKey(QByteArrayView secret, unsigned char (&key)[32], unsigned char (&iv)[16]);

} // namespace plyfold
