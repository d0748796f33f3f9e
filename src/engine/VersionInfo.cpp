#include "engine/VersionInfo.h"

#include "plyfold_version.h"

#include <QCoreApplication>
#include <QFile>

namespace plyfold {

namespace {

// The version record embedded in every Plyfold executable. It is kept in the binary as plain text
// between a start and an end tag so that the version of a program file can be read without running
// it:  <start tag>FileVersion=a.b.c.d;ProductVersion=a.b.c.d;LegalCopyright=...<end tag>
constexpr char kStartTag[] = "\x01PLYFOLD-VERSIONINFO\x02";
constexpr char kEndTag[] = "\x03";
constexpr qsizetype kMaxRecord = 0x100000; // a record larger than 1 MiB is not a version record

#define PLYFOLD_STR2(x) #x
#define PLYFOLD_STR(x) PLYFOLD_STR2(x)
#define PLYFOLD_VERSION_DOTTED                                                                     \
    PLYFOLD_STR(PLYFOLD_VERSION_MAJOR)                                                             \
    "." PLYFOLD_STR(PLYFOLD_VERSION_MINOR) "." PLYFOLD_STR(PLYFOLD_VERSION_BUILD) "." PLYFOLD_STR( \
        PLYFOLD_VERSION_REVISION)

// `used` keeps the record in the binary even though only the parser reads it.
[[gnu::used]] constexpr char kRecord[] =
    "\x01PLYFOLD-VERSIONINFO\x02"
    "FileVersion=" PLYFOLD_VERSION_DOTTED ";ProductVersion=" PLYFOLD_VERSION_DOTTED
    ";LegalCopyright=" PLYFOLD_LEGAL_COPYRIGHT "\x03";

bool parseRecord(const QByteArray& record, VersionBlock* block) {
    bool haveFile = false;
    bool haveProduct = false;
    for (const QByteArray& field : record.split(';')) {
        const qsizetype eq = field.indexOf('=');
        if (eq <= 0) {
            continue;
        }
        const QByteArray key = field.left(eq);
        const QString value = QString::fromUtf8(field.mid(eq + 1));
        if (key == "FileVersion") {
            haveFile = ParseVersion(value, &block->fileVersion);
        } else if (key == "ProductVersion") {
            haveProduct = ParseVersion(value, &block->productVersion);
        } else if (key == "LegalCopyright") {
            block->legalCopyright = value;
        }
    }
    return haveFile && haveProduct;
}

bool readRecordFromFile(const QString& path, VersionBlock* block) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    const QByteArray start(kStartTag);
    // The parser's own copy of the start tag sits in the binary too; take the first occurrence
    // that is followed by a well-formed record.
    for (qsizetype at = bytes.indexOf(start); at >= 0; at = bytes.indexOf(start, at + 1)) {
        const qsizetype begin = at + start.size();
        const qsizetype end = bytes.indexOf(kEndTag, begin);
        if (end <= begin || end - begin > kMaxRecord) {
            continue;
        }
        if (parseRecord(bytes.mid(begin, end - begin), block)) {
            return true;
        }
    }
    return false;
}

} // namespace

const VersionBlock& CompiledVersion() {
    static const VersionBlock block = [] {
        VersionBlock b;
        const QByteArray record(kRecord);
        const QByteArray start(kStartTag);
        parseRecord(record.mid(start.size(), record.size() - start.size() - 1), &b);
        return b;
    }();
    return block;
}

bool ReadVersionInfo(const QString* file, std::unique_ptr<VersionBlock>& block) {
    block.reset();
    if (file == nullptr || file->isEmpty()) {
        block = std::make_unique<VersionBlock>(CompiledVersion());
        return true;
    }
    auto read = std::make_unique<VersionBlock>();
    if (!readRecordFromFile(*file, read.get())) {
        return false;
    }
    block = std::move(read);
    return true;
}

bool VersionInfoString(const VersionBlock* block, QString* text) {
    if (block == nullptr || block->legalCopyright.isEmpty()) {
        return false;
    }
    if (text != nullptr) {
        const qsizetype zero = block->legalCopyright.indexOf(QChar(0));
        *text = zero < 0 ? block->legalCopyright : block->legalCopyright.left(zero);
    }
    return true;
}

QString FormatVersion(const ModuleVersion& version, int parts) {
    switch (parts) {
    case 1:
        return QString::number(version.major);
    case 2:
        return QStringLiteral("%1.%2").arg(version.major).arg(version.minor);
    case 3:
        return QStringLiteral("%1.%2.%3").arg(version.major).arg(version.minor).arg(version.build);
    default:
        return QStringLiteral("%1.%2.%3.%4")
            .arg(version.major)
            .arg(version.minor)
            .arg(version.build)
            .arg(version.revision);
    }
}

bool ParseVersion(const QString& text, ModuleVersion* version) {
    if (text.count(u'.') < 3) {
        return false;
    }
    // Each field is a signed decimal read up to its first non-digit (like atoi), kept in 16 bits.
    auto leadingNumber = [](QStringView field) -> std::uint16_t {
        qsizetype i = 0;
        while (i < field.size() && field.at(i).isSpace()) {
            ++i;
        }
        bool negative = false;
        if (i < field.size() && (field.at(i) == u'-' || field.at(i) == u'+')) {
            negative = field.at(i) == u'-';
            ++i;
        }
        std::uint32_t value = 0;
        for (; i < field.size() && field.at(i) >= u'0' && field.at(i) <= u'9'; ++i) {
            value = value * 10 + static_cast<std::uint32_t>(field.at(i).unicode() - u'0');
            value &= 0xFFFFFFu; // keep it bounded; only the low 16 bits are stored
        }
        if (negative) {
            value = 0u - value;
        }
        return static_cast<std::uint16_t>(value & 0xFFFFu);
    };
    const QStringList fields = text.split(u'.');
    if (version != nullptr) {
        version->major = leadingNumber(fields.at(0));
        version->minor = leadingNumber(fields.at(1));
        version->build = leadingNumber(fields.at(2));
        version->revision = leadingNumber(fields.at(3));
    }
    return true;
}

} // namespace plyfold
