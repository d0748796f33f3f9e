// libFuzzer target for the parts of the update query that read what the network hands over: the
// hexadecimal decoder, the reply parser and the key-format parser. Besides not crashing or reading
// past the input (AddressSanitizer), a reply that parses must survive a write-and-read round trip
// unchanged, and decoded text must encode back to the same digits.

#include "update/UpdateProtocol.h"

#include <cstdint>
#include <cstdlib>

using namespace plyfold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView input(data, static_cast<qsizetype>(size));

    QByteArray bytes;
    if (DecodeHex(input, &bytes)) {
        if (bytes.size() * 2 != input.size() || EncodeHex(bytes) != input.toByteArray().toUpper()) {
            std::abort();
        }
    }

    for (const QByteArrayView reply : {input, QByteArrayView(bytes)}) {
        const std::unique_ptr<UpdateInfo> info = ParseUpdateReply(reply);
        if (!info) {
            continue;
        }
        const std::unique_ptr<UpdateInfo> again = ParseUpdateReply(SerializeUpdateReply(*info));
        if (!again || again->kind != info->kind || !(again->version == info->version) ||
            again->actionAddress != info->actionAddress ||
            again->infoAddress != info->infoAddress || again->lines != info->lines) {
            std::abort();
        }
    }

    RsaPublicKeyParts parts;
    if (ParsePublicKeyBlob(input, &parts)) {
        RsaPublicKeyParts back;
        if (!ParsePublicKeyBlob(MakePublicKeyBlob(parts), &back) || back.modulus != parts.modulus ||
            back.exponent != parts.exponent) {
            std::abort();
        }
    }
    return 0;
}
