#include "platform/splice/SpliceNavigation.h"
#include "platform/splice/SpliceWalk.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFCryptoProvider.hh>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>

namespace plyfold::splice {
namespace {

constexpr int maxDepth = 64;
// Rounds of folding: each round can fold objects whose references were folded in the one before
// (an image after its soft mask, a font after its font file and descriptor).
constexpr int maxRounds = 6;

// Dictionaries that are plain shared resources: folding two equal ones changes nothing a reader
// sees. Pages, annotations, form fields and outline items are never folded: they have identity.
bool foldableDictionary(QPDFObjectHandle object) {
    QPDFObjectHandle type = object.getKey("/Type");
    return type.isName() && (type.getName() == "/Font" || type.getName() == "/FontDescriptor" ||
                             type.getName() == "/ExtGState" || type.getName() == "/Encoding");
}

// Objects of one serialized form: the first seen, and for streams the digests of their data.
struct Bucket {
    std::optional<QPDFObjGen> first;
    std::unordered_map<std::string, QPDFObjGen> byDigest;
};

} // namespace

class ObjectFolder::Impl {
public:
    explicit Impl(QPDF& pdf) : m_pdf(pdf) {}

    // Folds the candidates among `objects` into equal objects met before (in earlier calls too)
    // or among themselves, then points every reference in `objects` (and in the extra holders) at
    // the objects kept. With `release`, each folded object is replaced by null, so its memory goes;
    // a folded stream only with `releaseStreams`, since another stream may read its data from it.
    std::size_t fold(std::vector<QPDFObjectHandle> objects, const std::vector<QPDFObjGen>& pages,
                     std::vector<QPDFObjectHandle> holders, bool release, bool releaseStreams) {
        const std::set<QPDFObjGen> appearances = fieldAppearances(pages);
        std::vector<QPDFObjectHandle> candidates;
        for (QPDFObjectHandle& object : objects) {
            if (appearances.count(object.getObjGen())) {
                continue;
            }
            if (object.isStream() || object.isArray() ||
                (object.isDictionary() && foldableDictionary(object))) {
                candidates.push_back(object);
                m_candidate.insert(object.getObjGen());
            }
        }
        // Arrays only when everything they point at is foldable too (colour spaces, widths),
        // never an array of annotations or fields.
        std::vector<QPDFObjectHandle> kept;
        for (QPDFObjectHandle& object : candidates) {
            if (!object.isArray() || onlyCandidates(object, 0)) {
                kept.push_back(object);
            }
        }
        std::vector<QPDFObjGen> foldedHere;
        // What the folds of this call save in the file, roughly: the serialized form of each
        // folded object, and the data of each folded stream.
        std::size_t savedBytes = 0;
        for (int round = 0; round < maxRounds; ++round) {
            // Objects by their serialized form (references through what was folded so far). Equal
            // forms are equal objects, except for streams, whose form stands for their data only
            // by its length: among those, the digest of the data decides, computed only when a
            // second stream with the same form turns up, so unique streams are never read. Forms
            // of earlier calls are looked up; this call's are kept apart until its rounds are
            // done, because a form can still change while references in it are folded.
            std::unordered_map<std::string, Bucket> seen;
            std::size_t foldedNow = 0;
            for (QPDFObjectHandle& object : kept) {
                const QPDFObjGen og = object.getObjGen();
                if (m_canonical.count(og)) {
                    continue;
                }
                const std::string key = keyOf(object);
                std::optional<QPDFObjGen> into;
                // Objects kept by earlier calls are only looked up, never joined: an object of
                // this call may still be folded in a later round, and a kept object must never be.
                if (auto earlier = m_table.find(key); earlier != m_table.end()) {
                    into = find(earlier->second, object);
                }
                if (!into) {
                    into = match(seen[key], object);
                }
                if (into) {
                    const QPDFObjGen target = resolve(*into);
                    if (target == og) {
                        continue; // never fold an object into itself
                    }
                    m_canonical[og] = target;
                    foldedHere.push_back(og);
                    savedBytes += key.size() + storedLength(object);
                    ++foldedNow;
                }
            }
            if (foldedNow == 0) {
                // The forms of this round are final: later calls fold into them.
                for (auto& [key, bucket] : seen) {
                    Bucket& known = m_table[key];
                    if (!known.first) {
                        known = std::move(bucket);
                    }
                }
                break;
            }
        }
        // Pointing references at the objects kept means walking every object of this call. A
        // few small equal dictionaries in a large input (a file that repeats a font entry) save
        // less than that walk costs: they are left as they are. The forms found stay known, so
        // later inputs still fold into this one's objects.
        if (!foldedHere.empty() && savedBytes < objects.size()) {
            for (const QPDFObjGen& og : foldedHere) {
                m_canonical.erase(og);
            }
            foldedHere.clear();
        }
        if (!foldedHere.empty()) {
            for (QPDFObjectHandle& object : objects) {
                if (!m_canonical.count(object.getObjGen())) {
                    redirectIn(object, 0);
                }
            }
            for (QPDFObjectHandle& holder : holders) {
                redirectIn(holder, 0);
            }
            if (release) {
                for (const QPDFObjGen& og : foldedHere) {
                    if (releaseStreams || !m_pdf.getObject(og).isStream()) {
                        m_pdf.replaceObject(og, QPDFObjectHandle::newNull());
                    }
                }
            }
        }
        return foldedHere.size();
    }

private:
    // The appearance streams of form fields: a form filler may rewrite a field's appearance in
    // place, so each field keeps its own even when two are equal. A document without a form has
    // no field a filler could change.
    std::set<QPDFObjGen> fieldAppearances(const std::vector<QPDFObjGen>& pages) {
        std::set<QPDFObjGen> found;
        if (!m_pdf.getRoot().getKey("/AcroForm").isDictionary()) {
            return found;
        }
        auto add = [&](QPDFObjectHandle entry) {
            if (entry.isStream()) {
                found.insert(entry.getObjGen());
            } else if (entry.isDictionary()) {
                for (auto state : entry.ditems()) {
                    if (state.second.isStream()) {
                        found.insert(state.second.getObjGen());
                    }
                }
            }
        };
        for (const QPDFObjGen& og : pages) {
            QPDFObjectHandle annots = m_pdf.getObject(og).getKey("/Annots");
            if (!annots.isArray()) {
                continue;
            }
            for (QPDFObjectHandle annot : annots.aitems()) {
                if (!annot.isDictionary() || !annot.getKey("/Subtype").isNameAndEquals("/Widget")) {
                    continue;
                }
                QPDFObjectHandle ap = annot.getKey("/AP");
                if (ap.isDictionary()) {
                    for (auto kind : ap.ditems()) {
                        add(kind.second);
                    }
                }
            }
        }
        return found;
    }

    // The object of `bucket` that `object` equals, if any; otherwise `object` joins the bucket.
    std::optional<QPDFObjGen> match(Bucket& bucket, QPDFObjectHandle object) {
        const QPDFObjGen og = object.getObjGen();
        if (!bucket.first) {
            bucket.first = og;
            return std::nullopt;
        }
        if (!object.isStream()) {
            return bucket.first;
        }
        if (bucket.byDigest.empty()) {
            bucket.byDigest.emplace(streamDigest(m_pdf.getObject(*bucket.first)), *bucket.first);
        }
        auto [at, added] = bucket.byDigest.emplace(streamDigest(object), og);
        if (!added) {
            return at->second;
        }
        return std::nullopt;
    }

    // The object that og was folded into, following folds of folds. Folds always point at an
    // object that was not folded when they were made, so a chain ends; a bound guards it anyway.
    QPDFObjGen resolve(QPDFObjGen og) const {
        std::size_t hops = 0;
        for (auto it = m_canonical.find(og); it != m_canonical.end(); it = m_canonical.find(og)) {
            og = it->second;
            if (++hops > m_canonical.size()) {
                throw std::runtime_error("objects folded into each other");
            }
        }
        return og;
    }

    // The object of a bucket of earlier calls that `object` equals, if any; the bucket is not
    // changed except for the digest of its first stream, computed on first need.
    std::optional<QPDFObjGen> find(Bucket& bucket, QPDFObjectHandle object) {
        if (!bucket.first) {
            return std::nullopt;
        }
        if (!object.isStream()) {
            return bucket.first;
        }
        if (bucket.byDigest.empty()) {
            bucket.byDigest.emplace(streamDigest(m_pdf.getObject(*bucket.first)), *bucket.first);
        }
        auto at = bucket.byDigest.find(streamDigest(object));
        if (at == bucket.byDigest.end()) {
            return std::nullopt;
        }
        return at->second;
    }

    bool onlyCandidates(QPDFObjectHandle object, int depth) {
        if (depth > maxDepth) {
            return false;
        }
        if (depth > 0 && object.isIndirect()) {
            return m_candidate.count(object.getObjGen()) > 0 && !object.isArray();
        }
        if (object.isArray()) {
            for (const QPDFObjectHandle& item : object.getArrayAsVector()) {
                if (!onlyCandidates(item, depth + 1)) {
                    return false;
                }
            }
        } else if (object.isDictionary()) {
            for (auto& entry : object.getDictAsMap()) {
                if (!onlyCandidates(entry.second, depth + 1)) {
                    return false;
                }
            }
        }
        return true;
    }

    void serialize(QPDFObjectHandle object, std::string& out, int depth, bool top) {
        if (depth > maxDepth) {
            throw std::runtime_error("object nested too deeply");
        }
        if (!top && object.isIndirect()) {
            const QPDFObjGen og = resolve(object.getObjGen());
            out += 'R';
            out += std::to_string(og.getObj());
            out += '.';
            out += std::to_string(og.getGen());
            out += ' ';
            return;
        }
        if (object.isStream()) {
            out += 'S';
            QPDFObjectHandle dict = object.getDict();
            for (auto& [key, value] : dict.getDictAsMap()) {
                if (key == "/Length") {
                    continue; // equal data has equal length
                }
                out += key;
                out += ' ';
                serialize(value, out, depth + 1, false);
            }
            // The data is left out here: streams whose key matches are told apart by a digest of
            // their data (with its size), so unique streams are never read. (Not even the stored
            // length: a copy from another file carries none until it is written, and it must
            // match a stream of the output's own document, which has one.)
            out += '|';
            return;
        }
        if (object.isArray()) {
            out += '[';
            for (const QPDFObjectHandle& item : object.getArrayAsVector()) {
                serialize(item, out, depth + 1, false);
            }
            out += ']';
        } else if (object.isDictionary()) {
            out += '<';
            for (auto& [key, value] : object.getDictAsMap()) {
                out += key;
                out += ' ';
                serialize(value, out, depth + 1, false);
            }
            out += '>';
        } else if (object.isString()) {
            const std::string value = object.getStringValue();
            out += '(';
            out += std::to_string(value.size());
            out += ':';
            out += value;
        } else {
            out += object.unparse();
            out += ' ';
        }
    }

    std::string keyOf(QPDFObjectHandle object) {
        std::string key;
        serialize(object, key, 0, true);
        return key;
    }

    // The size of a folded stream's data as stored, from its digest, which folding it computed (0
    // for any other object). A copy from another file has no /Length until it is written.
    std::size_t storedLength(QPDFObjectHandle object) {
        if (!object.isStream()) {
            return 0;
        }
        return std::strtoull(streamDigest(object).c_str(), nullptr, 10);
    }

    // Size and SHA-256 of the stream's data as stored.
    const std::string& streamDigest(QPDFObjectHandle stream) {
        const QPDFObjGen og = stream.getObjGen();
        auto cached = m_digests.find(og);
        if (cached != m_digests.end()) {
            return cached->second;
        }
        std::shared_ptr<Buffer> data = stream.getRawStreamData();
        std::shared_ptr<QPDFCryptoImpl> sha = QPDFCryptoProvider::getImpl();
        sha->SHA2_init(256);
        sha->SHA2_update(data->getBuffer(), data->getSize());
        sha->SHA2_finalize();
        return m_digests.emplace(og, std::to_string(data->getSize()) + ':' + sha->SHA2_digest())
            .first->second;
    }

    // Points every reference to a folded object at the one kept.
    void redirectIn(QPDFObjectHandle object, int depth) {
        if (depth > maxDepth) {
            return;
        }
        if (object.isStream()) {
            redirectIn(object.getDict(), depth + 1);
        } else if (object.isArray()) {
            const int n = object.getArrayNItems();
            for (int i = 0; i < n; ++i) {
                QPDFObjectHandle item = object.getArrayItem(i);
                if (item.isIndirect()) {
                    if (m_canonical.count(item.getObjGen())) {
                        object.setArrayItem(i, m_pdf.getObjectByObjGen(resolve(item.getObjGen())));
                    }
                } else if (item.isArray() || item.isDictionary()) {
                    redirectIn(item, depth + 1);
                }
            }
        } else if (object.isDictionary()) {
            std::vector<std::pair<std::string, QPDFObjGen>> replaced;
            // (One copy of the entries: the library's item iterator copies the keys and then
            // looks each one up again.)
            for (auto& [key, value] : object.getDictAsMap()) {
                if (value.isIndirect()) {
                    if (m_canonical.count(value.getObjGen())) {
                        replaced.emplace_back(key, resolve(value.getObjGen()));
                    }
                } else if (value.isArray() || value.isDictionary()) {
                    redirectIn(value, depth + 1);
                }
            }
            for (const auto& [key, og] : replaced) {
                object.replaceKey(key, m_pdf.getObjectByObjGen(og));
            }
        }
    }

    QPDF& m_pdf;
    std::set<QPDFObjGen> m_candidate;
    std::map<QPDFObjGen, QPDFObjGen> m_canonical;
    std::map<QPDFObjGen, std::string> m_digests;
    std::unordered_map<std::string, Bucket> m_table;
};

ObjectFolder::ObjectFolder(QPDF& output) : m_impl(std::make_unique<Impl>(output)), m_pdf(output) {}

ObjectFolder::~ObjectFolder() = default;

std::size_t ObjectFolder::foldNewObjects() {
    return foldSince(true);
}

std::size_t ObjectFolder::foldRemaining() {
    return foldSince(false);
}

bool ObjectFolder::markWalked(QPDFObjGen og) {
    // Object numbers below this are marked in a bit vector; a file that uses a few huge numbers
    // costs set entries, not a vector as long as its largest number.
    constexpr int maxBitNumber = 1 << 26;
    const int number = og.getObj();
    if (og.getGen() == 0 && number >= 0 && number < maxBitNumber) {
        const auto at = static_cast<std::size_t>(number);
        if (at >= m_walked.size()) {
            m_walked.resize(std::max<std::size_t>(at + 1, m_walked.size() * 2));
        }
        if (m_walked[at]) {
            return false;
        }
        m_walked[at] = true;
        return true;
    }
    const auto key = (static_cast<unsigned long long>(static_cast<unsigned>(number)) << 32) |
                     static_cast<unsigned>(og.getGen());
    return m_walkedOther.insert(key).second;
}

void ObjectFolder::keepStreams() {
    m_keepStreams = true;
}

// Adds to `fresh` every object reachable from `root` that no earlier walk reached. A root is
// always looked into, walked before or not, since it is one of the objects that take references
// to new ones; what an object walked before refers to was walked with it.
void ObjectFolder::reachFrom(QPDFObjectHandle root, std::vector<QPDFObjectHandle>& fresh) {
    if (root.isIndirect() && markWalked(root.getObjGen()) && !root.isNull()) {
        fresh.push_back(root);
    }
    walkReachable({root}, [&](QPDFObjectHandle& item) {
        if (!markWalked(item.getObjGen()) || item.isNull()) {
            return false; // walked before, or a reference to nothing
        }
        fresh.push_back(item);
        return true;
    });
}

std::size_t ObjectFolder::foldSince(bool release) {
    // Only what the output reaches is folded. Objects nothing refers to are never written, and
    // some of them still matter: a stream that the library copied within the output (a form
    // field's look) reads its data from the first copy when written, and nothing else refers to
    // that. Walking the reachable objects, not every object number, also keeps one reference to a
    // huge object number from costing a lookup for each number below it.
    QPDFObjectHandle root = m_pdf.getRoot();
    QPDFObjectHandle form = root.getKey("/AcroForm");
    const std::vector<QPDFObjectHandle>& allPages = m_pdf.getAllPages();
    std::vector<QPDFObjectHandle> fresh;
    std::vector<QPDFObjGen> pages;
    for (std::size_t i = std::min(m_pagesWalked, allPages.size()); i < allPages.size(); ++i) {
        pages.push_back(allPages[i].getObjGen());
        reachFrom(allPages[i], fresh);
    }
    m_pagesWalked = allPages.size();
    // Earlier objects that take references to new ones: the form, its fields and default
    // resources, and at the end the trailer and catalog (document information, outlines, names).
    std::vector<QPDFObjectHandle> holders;
    if (!release) {
        holders.push_back(m_pdf.getTrailer());
        holders.push_back(root);
    }
    if (form.isDictionary()) {
        holders.push_back(form);
        if (form.getKey("/Fields").isArray()) {
            holders.push_back(form.getKey("/Fields"));
        }
        QPDFObjectHandle resources = form.getKey("/DR");
        if (resources.isDictionary()) {
            holders.push_back(resources);
            for (const char* kind : {"/Font", "/XObject", "/ExtGState", "/ColorSpace"}) {
                if (resources.getKey(kind).isDictionary()) {
                    holders.push_back(resources.getKey(kind));
                }
            }
        }
    }
    for (const QPDFObjectHandle& holder : holders) {
        reachFrom(holder, fresh);
    }
    return m_impl->fold(fresh, pages, holders, release, !m_keepStreams);
}

} // namespace plyfold::splice
