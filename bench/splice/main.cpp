// Splice benchmark.
//
//   plyfold_bench_splice [--runs N] [--keep DIR] file.pdf...
//   plyfold_bench_splice --merge-only OUT [--page-counts N,N,...] file.pdf...   (one merge, no
//   timing)
//
// Merges every page of the given files, in order, into one PDF 1.6:
//   - through the splicing layer inside this process (median wall time);
//   - through the splicing layer as a whole process (this program run as a child with
//   --merge-only),
//     so its start-up, wall time and peak memory compare with a command-line peer's;
//   - with `qpdf --empty --pages f1 f2 ... -- out.pdf` (qpdf's defaults, which also scan every page
//     for unreferenced resources), and with qpdf set up like the layer (no resource scan, stream
//     data preserved, object streams generated).
// Peak memory is each child's maximum resident set size as the kernel reports it at wait4().
// Files must open without a password.

#include "platform/splice/XpdfSplice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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

// Page count through qpdf's command line (the layer has no page-count call; the program learns page
// counts from its viewer engine).
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

// One merge through the layer, as the program's save does it: inputs closed before the output.
bool mergeThroughLayer(const std::string& output, const std::vector<std::string>& files,
                       const std::vector<int>& pages) {
    plyfold::XpdfSpliceOutput out = plyfold::xpdfSpliceOpenOutputW(toWide(output).c_str(), 1.6);
    if (!out) {
        return false;
    }
    bool ok = true;
    for (std::size_t i = 0; i < files.size() && ok; ++i) {
        plyfold::XpdfSpliceInput in = plyfold::xpdfSpliceOpenInputW(toWide(files[i]).c_str());
        ok = in && plyfold::xpdfSpliceAddPages(in, 1, pages[i], out);
        plyfold::xpdfSpliceCloseInput(in);
    }
    return plyfold::xpdfSpliceCloseOutput(out) && ok;
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
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) {
        return run;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return run;
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    // qpdf exits 3 when it succeeded with warnings.
    run.ok = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3);
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long maxOf(const std::vector<long>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

long long fileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string keep;
    std::string mergeOnly;
    std::vector<std::string> files;
    std::vector<int> pages;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else if (arg == "--merge-only" && i + 1 < argc) {
            mergeOnly = argv[++i];
        } else if (arg == "--page-counts" && i + 1 < argc) {
            // Given by the parent to its --merge-only child, so the child does nothing but merge.
            for (const char* p = argv[++i]; *p;) {
                char* end = nullptr;
                pages.push_back(static_cast<int>(std::strtol(p, &end, 10)));
                p = *end ? end + 1 : end;
            }
        } else {
            files.push_back(std::filesystem::absolute(arg).string());
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s [--runs N] [--keep DIR] file.pdf...\n", argv[0]);
        return 2;
    }
    if (pages.size() != files.size()) {
        pages.clear();
        for (const std::string& file : files) {
            pages.push_back(pageCount(file));
        }
    }
    int totalPages = 0;
    std::string counts;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (pages[i] < 1) {
            std::fprintf(stderr, "cannot count the pages of %s\n", files[i].c_str());
            return 2;
        }
        totalPages += pages[i];
        counts += (i ? "," : "") + std::to_string(pages[i]);
    }
    plyfold::xpdfSpliceInit();

    if (!mergeOnly.empty()) {
        return mergeThroughLayer(mergeOnly, files, pages) ? 0 : 1;
    }

    const std::filesystem::path folder =
        keep.empty() ? std::filesystem::temp_directory_path() /
                           ("plyfold-bench-splice-" + std::to_string(getpid()))
                     : std::filesystem::path(keep);
    std::filesystem::create_directories(folder);
    const std::string layerOut = (folder / "layer.pdf").string();
    const std::string layerChildOut = (folder / "layer-process.pdf").string();
    const std::string qpdfOut = (folder / "qpdf.pdf").string();
    const std::string qpdfLikeOut = (folder / "qpdf-like-layer.pdf").string();

    std::vector<std::string> self = {"/proc/self/exe"};
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) {
        exe[length] = '\0';
        self = {exe};
    }
    self.push_back("--merge-only");
    self.push_back(layerChildOut);
    self.push_back("--page-counts");
    self.push_back(counts);
    self.insert(self.end(), files.begin(), files.end());

    std::vector<std::string> qpdf = {"qpdf", "--empty", "--pages"};
    qpdf.insert(qpdf.end(), files.begin(), files.end());
    qpdf.push_back("--");
    std::vector<std::string> qpdfLike = qpdf;
    qpdf.push_back(qpdfOut);
    qpdfLike.insert(qpdfLike.begin() + 2,
                    {"--remove-unreferenced-resources=no", "--stream-data=preserve",
                     "--object-streams=generate", "--min-version=1.6"});
    qpdfLike.push_back(qpdfLikeOut);

    struct Peer {
        const char* name;
        std::vector<std::string> argv;
        std::string output;
        std::vector<double> seconds;
        std::vector<long> rss;
    };
    std::vector<Peer> peers = {
        {"layer (whole process)", self, layerChildOut, {}, {}},
        {"qpdf --empty --pages (defaults)", qpdf, qpdfOut, {}, {}},
        {"qpdf --empty --pages (like the layer)", qpdfLike, qpdfLikeOut, {}, {}}};
    // Interleave the runs so that a slow moment of the machine hits every peer alike.
    std::vector<double> inProcess;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        if (!mergeThroughLayer(layerOut, files, pages)) {
            std::fprintf(stderr, "layer merge failed: %s\n",
                         plyfold::xpdfSpliceLastError().c_str());
            return 1;
        }
        inProcess.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        for (Peer& peer : peers) {
            const ChildRun run = runChild(peer.argv);
            if (!run.ok) {
                std::fprintf(stderr, "%s failed\n", peer.name);
                return 1;
            }
            peer.seconds.push_back(run.seconds);
            peer.rss.push_back(run.maxRssKb);
        }
    }

    std::printf("files: %zu, pages: %d, runs: %d\n", files.size(), totalPages, runs);
    std::printf("%-40s %12s %14s %12s\n", "merge", "median ms", "peak RSS MiB", "output KiB");
    std::printf("%-40s %12.1f %14s %12lld\n", "layer (in process)", median(inProcess) * 1000, "-",
                fileSize(layerOut) / 1024);
    for (const Peer& peer : peers) {
        std::printf("%-40s %12.1f %14.1f %12lld\n", peer.name, median(peer.seconds) * 1000,
                    static_cast<double>(maxOf(peer.rss)) / 1024.0, fileSize(peer.output) / 1024);
    }
    const double layerProcess = median(peers[0].seconds);
    std::printf("ratio layer process / qpdf defaults:      %.2f (time), %.2f (peak memory)\n",
                layerProcess / median(peers[1].seconds),
                static_cast<double>(maxOf(peers[0].rss)) /
                    static_cast<double>(maxOf(peers[1].rss)));
    std::printf("ratio layer process / qpdf like the layer: %.2f (time), %.2f (peak memory)\n",
                layerProcess / median(peers[2].seconds),
                static_cast<double>(maxOf(peers[0].rss)) /
                    static_cast<double>(maxOf(peers[2].rss)));
    std::printf("ratio layer in process / qpdf defaults:   %.2f (time)\n",
                median(inProcess) / median(peers[1].seconds));
    if (keep.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    } else {
        std::printf("outputs kept in %s\n", folder.string().c_str());
    }
    return 0;
}
