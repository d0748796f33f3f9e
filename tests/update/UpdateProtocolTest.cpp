// The update query's wire format without a network: request bytes, hexadecimal text, the reply
// parser against well-formed and hostile input, the key format and the envelope.

#include "update/UpdateProtocol.h"
#include "UpdateTestSupport.h"
#include "server/UpdateServerSide.h"
#include "update/UpdateServer.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>

using namespace plyfold;
using plyfold::test::readTestKey;
using plyfold::test::UpdateServerSide;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Little-endian helpers for building replies by hand, independently of the serialiser.
QByteArray le32(std::uint32_t v) {
    QByteArray out;
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    return out;
}
QByteArray le16(std::uint16_t v) {
    return QByteArray(1, static_cast<char>(v & 0xFF)) + QByteArray(1, static_cast<char>(v >> 8));
}
QByteArray str(const QByteArray& utf8) {
    return le32(static_cast<std::uint32_t>(utf8.size())) + utf8;
}

// kind 2, version 3.1.4.15, two addresses, two lines (one with non-ASCII text).
QByteArray fullReply() {
    return le32(2) + le16(3) + le16(1) + le16(4) + le16(15) +
           str("https://example.test/setup.msi") + str("https://example.test/news") + le32(2) +
           str("First line") +
           str("Gr\xC3\xB6\xC3\x9F"
               "er");
}

} // namespace

TEST(UpdateRequestFormat, SerialisesLittleEndianWithoutPadding) {
    UpdateRequest request;
    request.version = {1, 2, 3, 4};
    request.lastNotifiedVersion = {0x0102, 0x0304, 0xFFFF, 0};
    request.lastNotifiedPatch = 0xABCD;
    request.languageId = 1033;
    const QByteArray bytes = SerializeUpdateRequest(request);
    EXPECT_EQ(bytes.size(), kUpdateRequestSize);
    EXPECT_EQ(bytes.toHex().toUpper(), QByteArray("6EE7FCBD"
                                                  "0100020003000400"
                                                  "02010403FFFF0000"
                                                  "CDAB"
                                                  "0904"));
    UpdateRequest back;
    ASSERT_TRUE(ParseUpdateRequest(bytes, &back));
    EXPECT_EQ(back, request);
    EXPECT_FALSE(ParseUpdateRequest(bytes.left(kUpdateRequestSize - 1), &back));
}

TEST(UpdateHexText, EncodesUpperCaseAndDecodesStrictly) {
    EXPECT_EQ(EncodeHex(hex("009fabff10")), QByteArray("009FABFF10"));
    EXPECT_EQ(EncodeHex(QByteArray()), QByteArray());

    struct Case {
        const char* text;
        bool ok;
        const char* bytes; // hex of the expected bytes
    };
    const Case cases[] = {
        {"", true, ""},    {"00FF", true, "00ff"}, {"abCD", true, "abcd"}, {"ABC", false, ""},
        {"0G", false, ""}, {"0 ", false, ""},      {"00\n", false, ""},    {"0\n", false, ""},
        {"-1", false, ""}, {"0x00", false, ""},    {"zz", false, ""},      {"00 00", false, ""},
    };
    for (const Case& c : cases) {
        QByteArray out("left over");
        EXPECT_EQ(DecodeHex(QByteArray(c.text), &out), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(out, hex(c.bytes)) << c.text;
        } else {
            EXPECT_TRUE(out.isEmpty()) << c.text;
        }
    }
}

TEST(UpdateReplyParser, ReadsEveryField) {
    const std::unique_ptr<UpdateInfo> info = ParseUpdateReply(fullReply());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, 2);
    EXPECT_EQ(info->version, (ModuleVersion{3, 1, 4, 15}));
    EXPECT_EQ(info->actionAddress, QStringLiteral("https://example.test/setup.msi"));
    EXPECT_EQ(info->infoAddress, QStringLiteral("https://example.test/news"));
    EXPECT_EQ(info->lines, (QStringList{QStringLiteral("First line"), QStringLiteral(u"Größer")}));
    EXPECT_FALSE(info->override);

    // Bytes after the last line are ignored.
    const std::unique_ptr<UpdateInfo> longer = ParseUpdateReply(fullReply() + "trailing junk");
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->lines.size(), 2);
}

TEST(UpdateReplyParser, KindZeroEndsTheReply) {
    for (const QByteArray& bytes : {le32(0), le32(0) + QByteArray("\xFF\xFF\xFF\xFF rest")}) {
        const std::unique_ptr<UpdateInfo> info = ParseUpdateReply(bytes);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->kind, 0);
        EXPECT_TRUE(info->lines.isEmpty());
        EXPECT_TRUE(info->actionAddress.isEmpty());
    }
}

TEST(UpdateReplyParser, EmptyStringsAndNoLines) {
    const QByteArray bytes = le32(static_cast<std::uint32_t>(-7)) + le16(1) + le16(0) + le16(0) +
                             le16(0) + str("") + str("") + le32(0);
    const std::unique_ptr<UpdateInfo> info = ParseUpdateReply(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, -7);
    EXPECT_TRUE(info->actionAddress.isEmpty());
    EXPECT_TRUE(info->lines.isEmpty());
}

TEST(UpdateReplyParser, EveryTruncationIsRefused) {
    const QByteArray whole = fullReply();
    for (qsizetype length = 0; length < whole.size(); ++length) {
        EXPECT_FALSE(ParseUpdateReply(whole.left(length))) << "length " << length;
    }
    EXPECT_TRUE(ParseUpdateReply(whole));
}

TEST(UpdateReplyParser, LengthsBeyondTheDataAreRefused) {
    const QByteArray head = le32(1) + le16(1) + le16(2) + le16(3) + le16(4);
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"action length one past the end", head + le32(5) + "abcd"},
        {"action length 0xFFFFFFFF", head + le32(0xFFFFFFFFu) + "abcd"},
        {"action length 0x80000000", head + le32(0x80000000u) + "abcd"},
        {"info length past the end", head + str("a") + le32(100) + "b"},
        {"line count 0xFFFFFFFF", head + str("a") + str("b") + le32(0xFFFFFFFFu) + str("x")},
        {"line count one too many", head + str("a") + str("b") + le32(2) + str("x")},
        {"line length past the end", head + str("a") + str("b") + le32(1) + le32(9) + "12345678"},
        {"line count missing", head + str("a") + str("b")},
        {"version cut short", le32(2) + le16(1) + le16(2)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ParseUpdateReply(c.bytes)) << c.what;
    }
}

TEST(UpdateReplyParser, SerialiserRoundTrip) {
    for (std::int32_t kind : {1, 2, 3, -1, 1000}) {
        UpdateInfo info;
        info.kind = kind;
        info.version = {9, 8, 7, 6};
        info.actionAddress = QStringLiteral("http://host/a b");
        info.infoAddress = QStringLiteral(u"http://host/é");
        info.lines = {QStringLiteral("one"), QString(), QStringLiteral("three")};
        const std::unique_ptr<UpdateInfo> back = ParseUpdateReply(SerializeUpdateReply(info));
        ASSERT_TRUE(back) << kind;
        EXPECT_EQ(back->kind, kind);
        EXPECT_EQ(back->version, info.version);
        EXPECT_EQ(back->actionAddress, info.actionAddress);
        EXPECT_EQ(back->infoAddress, info.infoAddress);
        EXPECT_EQ(back->lines, info.lines);
    }
}

TEST(UpdateLanguage, SettingReducesToIndexAndIdentifier) {
    struct Case {
        int setting;
        int index;
        std::uint16_t id;
    };
    const Case cases[] = {
        {0, 0, 1033},    {1, 1, 1046},    {2, 2, 3082},    {3, 3, 1040},    {4, 4, 1036},
        {5, 5, 1031},    {6, 6, 1043},    {7, 0, 1033},    {100, 0, 1033},  {101, 0, 1033},
        {1031, 5, 1031}, {1036, 4, 1036}, {1040, 3, 1040}, {1043, 6, 1043}, {1046, 1, 1046},
        {3082, 2, 3082}, {1033, 0, 1033}, {2057, 0, 1033}, {-1, 0, 1033},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UILanguageIndex(c.setting), c.index) << c.setting;
        EXPECT_EQ(LanguageIdForIndex(UILanguageIndex(c.setting)), c.id) << c.setting;
    }
}

TEST(UpdateLanguage, NotifiedVersionNeedsThreeDots) {
    EXPECT_EQ(ParseNotifiedVersion(QStringLiteral("2.5.1")), ModuleVersion{});
    EXPECT_EQ(ParseNotifiedVersion(QString()), ModuleVersion{});
    EXPECT_EQ(ParseNotifiedVersion(QStringLiteral("2.5.1.7")), (ModuleVersion{2, 5, 1, 7}));
    EXPECT_EQ(ParseNotifiedVersion(QStringLiteral("70000.1.2.3")), (ModuleVersion{4464, 1, 2, 3}));
}

TEST(UpdateKeyFormat, ProductionAndTestKeysAre2048BitWithExponent65537) {
    for (const QByteArray& blob : {ProductionUpdatePublicKey(), readTestKey("test_public.key")}) {
        RsaPublicKeyParts parts;
        ASSERT_TRUE(ParsePublicKeyBlob(blob, &parts));
        EXPECT_EQ(parts.modulus.size(), 256);
        EXPECT_NE(static_cast<unsigned char>(parts.modulus[0]) & 0x80, 0);
        EXPECT_EQ(parts.exponent, hex("010001"));
        EXPECT_EQ(MakePublicKeyBlob(parts), blob);
        EXPECT_EQ(blob.size(), 1 + 4 + 256 + 4 + 3 + 1);
        EXPECT_EQ(blob.back(), '\0');
    }
    EXPECT_NE(ProductionUpdatePublicKey(), readTestKey("test_public.key"));
}

TEST(UpdateKeyFormat, DamagedBlobsAreRefused) {
    const QByteArray blob = readTestKey("test_public.key");
    for (qsizetype length = 0; length < blob.size(); ++length) {
        EXPECT_FALSE(ParsePublicKeyBlob(blob.left(length), nullptr)) << "length " << length;
    }
    QByteArray noPublicPart = blob;
    noPublicPart[0] = 0;
    EXPECT_FALSE(ParsePublicKeyBlob(noPublicPart, nullptr));
    const QByteArray longModulus = QByteArray(1, '\x01') + le32(0x7FFFFFFF) + QByteArray(300, 'x');
    EXPECT_FALSE(ParsePublicKeyBlob(longModulus, nullptr));
    const QByteArray emptyModulus = QByteArray(1, '\x01') + le32(0) + le32(1) + "\x03" + '\0';
    EXPECT_FALSE(ParsePublicKeyBlob(emptyModulus, nullptr));
}

TEST(UpdateEnvelopeTest, ServerOpensWhatTheProgramSeals) {
    UpdateServerSide server(readTestKey("test_private.pem"));
    ASSERT_TRUE(server.hasKey());
    UpdateRequest request;
    request.version = {1, 0, 0, 0};
    request.languageId = 1036;
    const QByteArray plain = SerializeUpdateRequest(request);

    UpdateEnvelope envelope(readTestKey("test_public.key"));
    QByteArray first;
    ASSERT_TRUE(envelope.Seal(plain, &first)) << envelope.errorText().toStdString();
    EXPECT_TRUE(envelope.errorText().isEmpty());
    // 256 bytes of sealed secret, then 24 bytes of request padded to two AES blocks.
    EXPECT_EQ(first.size(), 256 + 32);

    QByteArray opened;
    int secretLength = 0;
    QString error;
    ASSERT_TRUE(server.OpenEnvelope(first, &opened, &secretLength, &error)) << error.toStdString();
    EXPECT_EQ(opened, plain);
    EXPECT_EQ(secretLength, 256 - 42);

    // A fresh secret every time.
    QByteArray second;
    ASSERT_TRUE(envelope.Seal(plain, &second));
    EXPECT_NE(first.left(256), second.left(256));
    EXPECT_NE(first.mid(256), second.mid(256));

    // Another key pair cannot open it.
    UpdateEnvelope wrongKey(ProductionUpdatePublicKey());
    QByteArray sealedForOther;
    ASSERT_TRUE(wrongKey.Seal(plain, &sealedForOther));
    EXPECT_FALSE(server.OpenEnvelope(sealedForOther, &opened, nullptr, &error));
}

TEST(UpdateEnvelopeTest, KeyFailuresAreRecordedAsText) {
    QByteArray out("x");
    UpdateEnvelope none{QByteArray()};
    EXPECT_FALSE(none.Seal("data", &out));
    EXPECT_EQ(none.errorText(), QStringLiteral("Public key not specified"));
    EXPECT_TRUE(out.isEmpty());

    // A 40-byte modulus leaves no room for the session secret.
    RsaPublicKeyParts tiny;
    tiny.modulus = QByteArray(40, '\xC3');
    tiny.exponent = hex("010001");
    UpdateEnvelope small(MakePublicKeyBlob(tiny));
    EXPECT_FALSE(small.Seal("data", &out));
    EXPECT_EQ(small.errorText(), QStringLiteral("RSA Key is too small. Use a larger key"));
}
