// The reader aside: an input's outlines, links, named destinations and page labels, read from a
// second opening of its file on a thread of its own (see AsideReader in SpliceNavigation.h).

#include "platform/splice/SpliceNavigation.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#endif

namespace plyfold::splice {

std::optional<FileIdentity> fileIdentity(std::FILE* file) {
#if defined(__unix__) || defined(__APPLE__)
    struct stat info {};
    if (::fstat(fileno(file), &info) != 0) {
        return std::nullopt;
    }
    FileIdentity id;
    id.device = static_cast<unsigned long long>(info.st_dev);
    id.inode = static_cast<unsigned long long>(info.st_ino);
    id.size = static_cast<long long>(info.st_size);
#if defined(__APPLE__)
    id.modifiedSeconds = static_cast<long long>(info.st_mtimespec.tv_sec);
    id.modifiedNanoseconds = static_cast<long long>(info.st_mtimespec.tv_nsec);
#else
    id.modifiedSeconds = static_cast<long long>(info.st_mtim.tv_sec);
    id.modifiedNanoseconds = static_cast<long long>(info.st_mtim.tv_nsec);
#endif
    return id;
#else
    static_cast<void>(file);
    return std::nullopt;
#endif
}

namespace {

// Readers whose thread has not yet ended, in the whole program.
std::atomic<int> liveReaders{0};

// Moves the share extracted into `from` (what the output keeps of its source) to `to`.
void moveShare(Contribution& from, Contribution& to) {
    to.mappedNames = std::move(from.mappedNames);
    to.links = std::move(from.links);
    to.outline = std::move(from.outline);
    to.labels = std::move(from.labels);
    to.labelled = from.labelled;
    to.linksRead = from.linksRead;
}

} // namespace

class AsideReader::State {
public:
    explicit State(Reopening reopening) : m_reopening(std::move(reopening)) {}

    void run() {
        std::unique_ptr<QPDF> pdf;
        std::vector<QPDFObjGen> pages;
        try {
            pdf = open();
            if (pdf) {
                m_work.source = pdf.get();
                m_work.sourcePages = m_reopening.readPages(*pdf);
                pages.reserve(m_work.sourcePages.size());
                for (const QPDFObjectHandle& page : m_work.sourcePages) {
                    pages.push_back(page.getObjGen());
                }
            }
        } catch (...) {
            m_work = Contribution();
            pdf.reset();
        }
        {
            std::lock_guard lock(m_mutex);
            m_phase = pdf && !m_abandoned ? Phase::Ready : Phase::Failed;
            m_pages = std::move(pages);
        }
        m_changed.notify_all();
        if (m_phase == Phase::Ready) {
            try {
                work(*pdf);
            } catch (const std::exception& e) {
                fail(e.what());
            } catch (...) {
                fail("unknown error");
            }
        }
        // The second opening goes (freed beside the caller's work), with what was handed over
        // (handles of the output's objects), before the share is announced: another reader may
        // then start.
        m_work = Contribution();
        if (pdf && m_reopening.dispose) {
            m_reopening.dispose(std::shared_ptr<QPDF>(std::move(pdf)));
        }
        pdf.reset();
        liveReaders.fetch_sub(1);
        {
            std::lock_guard lock(m_mutex);
            m_done = m_handed;
        }
        m_changed.notify_all();
    }

    bool handOver(Contribution& c, bool outlines) {
        // A reader still reading the pages is waited for: it started with the first opening's
        // reading of them and so is near its end, and the share is then read aside every time.
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_phase != Phase::Opening || m_abandoned; });
        const bool samePages = m_phase == Phase::Ready && m_pages.size() == c.sourcePages.size() &&
                               std::equal(m_pages.begin(), m_pages.end(), c.sourcePages.begin(),
                                          [](const QPDFObjGen& og, const QPDFObjectHandle& page) {
                                              return og == page.getObjGen();
                                          });
        if (!samePages || m_abandoned || m_handed) {
            m_abandoned = true;
            m_stop.store(true);
            m_changed.notify_all();
            return false;
        }
        // Only what the copying recorded crosses over; the reader's own opening supplies the rest.
        m_given.outputPage = std::move(c.outputPage);
        m_given.runs = c.runs;
        m_given.annotations = std::move(c.annotations);
        m_outlines = outlines;
        m_handed = true;
        m_changed.notify_all();
        return true;
    }

    void collect(Contribution& c, std::vector<std::string>& log) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_done; });
        moveShare(m_result, c);
        for (std::string& line : m_log) {
            log.push_back(std::move(line));
        }
        m_log.clear();
    }

    void abandon() {
        {
            std::lock_guard lock(m_mutex);
            m_abandoned = true;
        }
        m_stop.store(true);
        m_changed.notify_all();
    }

    std::thread thread;

private:
    enum class Phase { Opening, Ready, Failed };

    // The second opening, or null when the path no longer names the file that was first opened.
    std::unique_ptr<QPDF> open() {
        std::FILE* file = std::fopen(m_reopening.path.c_str(), "rb");
        if (!file) {
            return nullptr;
        }
        const std::optional<FileIdentity> id = fileIdentity(file);
        if (!id || !(*id == m_reopening.identity)) {
            std::fclose(file);
            return nullptr;
        }
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        // The library closes the file, also when it throws.
        pdf->processFile(m_reopening.path.c_str(), file, true,
                         m_reopening.password ? m_reopening.password->c_str() : nullptr);
        return pdf;
    }

    void work(QPDF& pdf) {
        readAhead(pdf);
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_handed || m_abandoned; });
            if (m_abandoned) {
                return;
            }
            m_work.outputPage = std::move(m_given.outputPage);
            m_work.runs = std::move(m_given.runs);
            m_work.annotations = std::move(m_given.annotations);
        }
        std::vector<std::string> log;
        try {
            // The copies' source annotations are this opening's objects of the same number, or
            // for one held directly in its page's list, the entry at the same place.
            for (CopiedAnnotation& a : m_work.annotations) {
                if (a.source.isIndirect()) {
                    a.source = pdf.getObject(a.source.getObjGen());
                } else if (a.page >= 0 &&
                           a.page < static_cast<long long>(m_work.sourcePages.size())) {
                    a.source = m_work.sourcePages[static_cast<std::size_t>(a.page)]
                                   .getKey("/Annots")
                                   .getArrayItem(a.index);
                } else {
                    a.source = QPDFObjectHandle::newNull();
                }
            }
            extractFromSource(m_work, m_outlines, log);
        } catch (const std::exception& e) {
            log.push_back(std::string("links, outlines and page labels: ") + e.what());
        }
        std::lock_guard lock(m_mutex);
        moveShare(m_work, m_result);
        m_log = std::move(log);
    }

    // Reads, before the record of copied pages comes, what extracting will need: the named
    // destinations (kept), and the objects of the outline and of the pages' annotations (only
    // parsed, so that the extraction finds them). Stops when asked to; a part that cannot be read
    // is left for the extraction to meet and report.
    void readAhead(QPDF& pdf) {
        try {
            readSourceNames(m_work);
        } catch (const std::exception&) {
            m_work.sourceNames.clear();
            m_work.sourceNamesRead = false;
        }
        try {
            std::set<QPDFObjGen> seen;
            std::vector<QPDFObjectHandle> stack{pdf.getRoot().getKey("/Outlines")};
            std::size_t count = 0;
            while (!stack.empty() && !m_stop.load(std::memory_order_relaxed) &&
                   ++count < maxOutlineItems) {
                QPDFObjectHandle item = stack.back();
                stack.pop_back();
                if (!item.isDictionary() ||
                    (item.isIndirect() && !seen.insert(item.getObjGen()).second)) {
                    continue;
                }
                static_cast<void>(item.getKey("/A").isDictionary());
                stack.push_back(item.getKey("/Next"));
                stack.push_back(item.getKey("/First"));
            }
        } catch (const std::exception&) {
        }
        try {
            for (QPDFObjectHandle page : m_work.sourcePages) {
                if (m_stop.load(std::memory_order_relaxed)) {
                    return;
                }
                QPDFObjectHandle annots = page.getKey("/Annots");
                if (!annots.isArray()) {
                    continue;
                }
                for (QPDFObjectHandle annot : annots.aitems()) {
                    if (annot.isDictionary()) {
                        static_cast<void>(annot.getKey("/A").isDictionary());
                    }
                }
            }
        } catch (const std::exception&) {
        }
    }

    // After a failure: a record not yet handed over is refused; one handed over gets no share.
    void fail(const std::string& why) {
        {
            std::lock_guard lock(m_mutex);
            if (m_handed) {
                m_log.push_back("links, outlines and page labels: " + why);
            } else {
                m_phase = Phase::Failed;
            }
        }
        m_changed.notify_all();
    }

    static constexpr std::size_t maxOutlineItems = 200000;

    Reopening m_reopening;
    std::vector<QPDFObjGen> m_pages; // of the reader's opening, under the mutex
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<bool> m_stop{false};
    Phase m_phase = Phase::Opening;
    bool m_abandoned = false;
    bool m_handed = false;
    bool m_done = false;
    bool m_outlines = true;
    Contribution m_given;  // the record handed over, under the mutex
    Contribution m_work;   // the reader's own, touched by its thread only
    Contribution m_result; // the share read, under the mutex
    std::vector<std::string> m_log;
};

std::shared_ptr<AsideReader> AsideReader::start(Reopening reopening) {
    if (liveReaders.fetch_add(1) > 0) {
        liveReaders.fetch_sub(1);
        return nullptr;
    }
    try {
        return std::shared_ptr<AsideReader>(new AsideReader(std::move(reopening)));
    } catch (...) {
        liveReaders.fetch_sub(1); // no thread to be had
        return nullptr;
    }
}

AsideReader::AsideReader(Reopening reopening)
    : m_state(std::make_shared<State>(std::move(reopening))) {
    m_state->thread = std::thread([state = m_state.get()] { state->run(); });
}

AsideReader::~AsideReader() {
    m_state->abandon();
    if (m_state->thread.joinable()) {
        m_state->thread.join();
    }
}

bool AsideReader::handOver(Contribution& c, bool outlines) {
    return m_state->handOver(c, outlines);
}

void AsideReader::collect(Contribution& c, std::vector<std::string>& log) {
    m_state->collect(c, log);
}

void AsideReader::abandon() {
    m_state->abandon();
}

} // namespace plyfold::splice
