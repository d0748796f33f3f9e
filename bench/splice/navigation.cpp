// Merge benchmark: what survives and how big the result is.
//
//   plyfold_bench_splice_nav [--runs N] [--keep DIR] [--pdfs DIR]
//   plyfold_bench_splice_nav --merge-only OUT --page-counts N,N,... file.pdf...  (one merge, no
//   timing; the parent passes the page counts so that the child does nothing but merge)
//
// Runs fixed jobs over the shared test PDFs (distinct manuals; the same file several times; a mix
// with a form twice) through the splicing layer as a whole process and through the command-line
// peers `qpdf --empty --pages`, `pdfunite` and `mutool merge`, and prints for each: median wall
// time, peak memory, output size (and its ratio to the inputs' total size), outline items and
// links that lead to a page of the output, named destinations, and form fields.

#include "platform/splice/XpdfSplice.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::u16string toWide(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned long code = c;
        int extra = 0;
        if (c >= 0xF0) {
            code = c & 0x07u;
            extra = 3;
        } else if (c >= 0xE0) {
            code = c & 0x0Fu;
            extra = 2;
        } else if (c >= 0xC0) {
            code = c & 0x1Fu;
            extra = 1;
        }
        for (int k = 1; k <= extra && i + static_cast<std::size_t>(k) < utf8.size(); ++k) {
            code = (code << 6) |
                   (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

// Every page of every file through the layer, one open per file, as the save does.
bool mergeThroughLayer(const std::string& output, const std::vector<std::string>& files,
                       const std::vector<int>& pages) {
    plyfold::XpdfSpliceOutput out = plyfold::xpdfSpliceOpenOutputW(toWide(output).c_str(), 1.6);
    if (!out) {
        return false;
    }
    bool ok = pages.size() == files.size();
    for (std::size_t i = 0; i < files.size() && ok; ++i) {
        plyfold::XpdfSpliceInput in = plyfold::xpdfSpliceOpenInputW(toWide(files[i]).c_str());
        ok = in && plyfold::xpdfSpliceAddPages(in, 1, pages[i], out);
        plyfold::xpdfSpliceCloseInput(in);
    }
    return plyfold::xpdfSpliceCloseOutput(out) && ok;
}

// Page count of a file (the layer has no such call; the program learns it from its viewer), read
// in another process so that this one stays small (see the timed runs below).
int pageCount(const std::string& file) {
    std::string command = "qpdf --show-npages '";
    for (char c : file) {
        command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    command += "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return -1;
    }
    int pages = -1;
    if (std::fscanf(pipe, "%d", &pages) != 1) {
        pages = -1;
    }
    pclose(pipe);
    return pages;
}

struct ChildRun {
    double seconds = 0;
    long maxRssKb = 0;
    bool ok = false;
};

ChildRun runChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    ChildRun run;
    // posix_spawn shares the parent's memory until exec (unlike fork), so the child's peak
    // resident size is its own, not this process's.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return run;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return run;
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3);
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long long fileSize(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

// What a reader can still navigate in a file.
struct Survival {
    int outlineItems = 0; // items whose destination is a page of the file
    int links = 0;        // link annotations whose destination is a page of the file
    int names = 0;        // named destinations
    int fields = 0;       // form fields
    bool ok = false;
};

int pageOf(QPDF& pdf, QPDFOutlineDocumentHelper& outlines, QPDFObjectHandle dest,
           const std::set<QPDFObjGen>& pages) {
    if (dest.isName() || dest.isString()) {
        dest = outlines.resolveNamedDest(dest);
    }
    if (dest.isDictionary()) {
        dest = dest.getKey("/D");
    }
    (void)pdf;
    if (!dest.isArray() || dest.getArrayNItems() == 0) {
        return -1;
    }
    QPDFObjectHandle page = dest.getArrayItem(0);
    return page.isIndirect() && pages.count(page.getObjGen()) ? 1 : -1;
}

QPDFObjectHandle targetOf(QPDFObjectHandle item) {
    if (item.hasKey("/Dest")) {
        return item.getKey("/Dest");
    }
    QPDFObjectHandle action = item.getKey("/A");
    if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")) {
        return action.getKey("/D");
    }
    return QPDFObjectHandle::newNull();
}

void countItems(QPDF& pdf, QPDFOutlineDocumentHelper& helper,
                std::vector<QPDFOutlineObjectHelper> items, const std::set<QPDFObjGen>& pages,
                int& count) {
    for (QPDFOutlineObjectHelper& item : items) {
        if (pageOf(pdf, helper, targetOf(item.getObjectHandle()), pages) > 0) {
            ++count;
        }
        countItems(pdf, helper, item.getKids(), pages, count);
    }
}

Survival survey(const std::string& path) {
    Survival s;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        std::set<QPDFObjGen> pages;
        for (QPDFObjectHandle page : pdf.getAllPages()) {
            pages.insert(page.getObjGen());
        }
        QPDFOutlineDocumentHelper outlines(pdf);
        countItems(pdf, outlines, outlines.getTopLevelOutlines(), pages, s.outlineItems);
        for (QPDFObjectHandle page : pdf.getAllPages()) {
            QPDFObjectHandle annots = page.getKey("/Annots");
            if (!annots.isArray()) {
                continue;
            }
            for (QPDFObjectHandle annot : annots.aitems()) {
                if (annot.isDictionary() && annot.getKey("/Subtype").isNameAndEquals("/Link") &&
                    pageOf(pdf, outlines, targetOf(annot), pages) > 0) {
                    ++s.links;
                }
            }
        }
        QPDFObjectHandle tree = pdf.getRoot().getKey("/Names").getKey("/Dests");
        if (tree.isDictionary()) {
            for (auto entry : QPDFNameTreeObjectHelper(tree, pdf)) {
                (void)entry;
                ++s.names;
            }
        }
        if (pdf.getRoot().getKey("/Dests").isDictionary()) {
            s.names += static_cast<int>(pdf.getRoot().getKey("/Dests").getKeys().size());
        }
        s.fields = static_cast<int>(QPDFAcroFormDocumentHelper(pdf).getFormFields().size());
        s.ok = true;
    } catch (const std::exception&) {
    }
    return s;
}

struct Job {
    const char* name;
    std::vector<std::string> files;
};

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::string keep;
    std::string mergeOnly;
    fs::path pdfs;
    std::vector<std::string> files;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else if (arg == "--merge-only" && i + 1 < argc) {
            mergeOnly = argv[++i];
        } else if (arg == "--page-counts" && i + 1 < argc) {
            for (const char* p = argv[++i]; *p;) {
                char* end = nullptr;
                counts.push_back(static_cast<int>(std::strtol(p, &end, 10)));
                p = *end ? end + 1 : end;
            }
        } else if (arg == "--pdfs" && i + 1 < argc) {
            pdfs = argv[++i];
        } else {
            files.push_back(fs::absolute(arg).string());
        }
    }
    plyfold::xpdfSpliceInit();
    if (!mergeOnly.empty()) {
        if (counts.size() != files.size()) {
            counts.clear();
            for (const std::string& file : files) {
                counts.push_back(pageCount(file));
            }
        }
        return mergeThroughLayer(mergeOnly, files, counts) ? 0 : 1;
    }
    if (pdfs.empty()) {
        pdfs = fs::path(argv[0]).parent_path() / "../../../tests/data/pdfs";
    }
    pdfs = fs::absolute(pdfs);
    auto pdf = [&](const char* name) { return (pdfs / name).string(); };
    const std::vector<Job> jobs = {
        {"distinct manuals",
         {pdf("R-intro.pdf"), pdf("pari-users.pdf"), pdf("并行计算_パラレル.pdf"),
          pdf("c-linearized.pdf")}},
        {"same manual 3x", {pdf("R-intro.pdf"), pdf("R-intro.pdf"), pdf("R-intro.pdf")}},
        {"mixed, repeats",
         {pdf("R-intro.pdf"), pdf("refcard-nf.pdf"), pdf("pdflatex-forms.pdf"), pdf("R-intro.pdf"),
          pdf("pdflatex-forms.pdf"), pdf("refcard-nf.pdf")}},
    };

    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length <= 0) {
        return 2;
    }
    exe[length] = '\0';
    const fs::path folder =
        keep.empty() ? fs::temp_directory_path() / ("plyfold-bench-nav-" + std::to_string(getpid()))
                     : fs::path(keep);
    fs::create_directories(folder);

    // First every timed run, then the counting: reading the files here grows this process, and a
    // child's peak memory as the kernel reports it includes its parent's size at the spawn.
    struct Peer {
        std::string name;
        std::vector<std::string> argv;
        std::string output;
        std::vector<double> seconds;
        long rss = 0;
    };
    std::vector<std::vector<Peer>> results;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const Job& job = jobs[j];
        std::string pageCounts;
        for (const std::string& file : job.files) {
            pageCounts += (pageCounts.empty() ? "" : ",") + std::to_string(pageCount(file));
        }
        const std::string tag = "job" + std::to_string(j + 1) + "-";
        std::vector<Peer>& peers = results.emplace_back();
        const std::string layerOut = (folder / (tag + "layer.pdf")).string();
        Peer layer{"plyfold layer",
                   {exe, "--merge-only", layerOut, "--page-counts", pageCounts},
                   layerOut,
                   {},
                   0};
        layer.argv.insert(layer.argv.end(), job.files.begin(), job.files.end());
        peers.push_back(layer);

        Peer qpdf{"qpdf --empty --pages",
                  {"qpdf", "--empty", "--pages"},
                  (folder / (tag + "qpdf.pdf")).string(),
                  {},
                  0};
        qpdf.argv.insert(qpdf.argv.end(), job.files.begin(), job.files.end());
        qpdf.argv.push_back("--");
        qpdf.argv.push_back(qpdf.output);
        peers.push_back(qpdf);

        Peer unite{"pdfunite", {"pdfunite"}, (folder / (tag + "pdfunite.pdf")).string(), {}, 0};
        unite.argv.insert(unite.argv.end(), job.files.begin(), job.files.end());
        unite.argv.push_back(unite.output);
        peers.push_back(unite);

        Peer mutool{"mutool merge",
                    {"mutool", "merge", "-o"},
                    (folder / (tag + "mutool.pdf")).string(),
                    {},
                    0};
        mutool.argv.push_back(mutool.output);
        mutool.argv.insert(mutool.argv.end(), job.files.begin(), job.files.end());
        peers.push_back(mutool);

        // Interleaved, so that a slow moment of the machine hits every peer alike.
        for (int r = 0; r < runs; ++r) {
            for (Peer& peer : peers) {
                const ChildRun run = runChild(peer.argv);
                if (run.ok) {
                    peer.seconds.push_back(run.seconds);
                    peer.rss = std::max(peer.rss, run.maxRssKb);
                }
            }
        }
    }

    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const Job& job = jobs[j];
        long long inputBytes = 0;
        Survival inputs;
        for (const std::string& file : job.files) {
            inputBytes += fileSize(file);
            const Survival s = survey(file);
            inputs.outlineItems += s.outlineItems;
            inputs.links += s.links;
            inputs.names += s.names;
            inputs.fields += s.fields;
        }
        std::printf("\n%s: %zu files, inputs %lld KiB; outline items %d, links %d, named "
                    "destinations %d, form fields %d\n",
                    job.name, job.files.size(), inputBytes / 1024, inputs.outlineItems,
                    inputs.links, inputs.names, inputs.fields);
        std::printf("  %-22s %9s %9s %10s %8s %8s %8s %8s %8s\n", "merge", "median ms", "RSS MiB",
                    "out KiB", "out/in", "outline", "links", "names", "fields");
        for (const Peer& peer : results[j]) {
            if (peer.seconds.empty()) {
                std::printf("  %-22s failed\n", peer.name.c_str());
                continue;
            }
            const Survival s = survey(peer.output);
            std::printf("  %-22s %9.1f %9.1f %10lld %8.2f %8d %8d %8d %8d\n", peer.name.c_str(),
                        median(peer.seconds) * 1000, static_cast<double>(peer.rss) / 1024.0,
                        fileSize(peer.output) / 1024,
                        static_cast<double>(fileSize(peer.output)) /
                            static_cast<double>(inputBytes),
                        s.outlineItems, s.links, s.names, s.fields);
        }
    }
    if (keep.empty()) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    } else {
        std::printf("\noutputs kept in %s\n", folder.string().c_str());
    }
    return 0;
}
