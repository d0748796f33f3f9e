// plyfold_bench_render [--reps N] [--dpi D] file.pdf...
//
// For each file, in one run and interleaved repetition by repetition:
// - every registered in-process renderer opens the file, renders every page at D dpi (14.4 by
//   default, the thumbnail resolution) and closes it;
// - the whole-process peers `mutool draw -r D file` (MuPDF's own mode that renders and writes
//   nothing) and `pdftoppm -r D file <tmp>/x` (uncompressed PPM into a memory file system, so no
//   encoding and no disk) do the same as separate processes (skipped when absent).
// It prints the median time per file and per page for each, and ratios to the baseline (the
// renderer registered with the lowest order, raw MuPDF). Whole-process figures include process
// start and opening the file, which the per-file figures of the in-process renderers include too.

#include "RenderBench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace plyfold::bench {

namespace {

std::vector<RendererInfo>& registry() {
    static std::vector<RendererInfo> renderers;
    return renderers;
}

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// Runs a program with its output discarded; false when it cannot start or exits non-zero.
bool runQuiet(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct ProcessPeer {
    std::string name;
    std::string program;
    // Arguments after the program for one file, writing into dir.
    std::function<std::vector<std::string>(const std::string& file, const std::string& dir,
                                           double dpi)>
        args;
};

struct Series {
    std::string name;
    bool inProcess = true;
    std::vector<double> fileMs{}; // one per repetition
    std::vector<double> pageMs{}; // every page of every repetition (in-process only)
    std::vector<double> openMs{}; // open and page count, per repetition (in-process only)
    bool failed = false;
};

void printRow(const Series& s, int pages, double baselineMs) {
    const double fileMedian = median(s.fileMs);
    if (s.failed || s.fileMs.empty()) {
        std::printf("  %-16s %12s\n", s.name.c_str(), "failed/skipped");
        return;
    }
    const double perPage = s.inProcess ? median(s.pageMs) : fileMedian / std::max(pages, 1);
    char open[32] = "-";
    if (s.inProcess)
        std::snprintf(open, sizeof open, "%.2f", median(s.openMs));
    std::printf("  %-16s %12.2f %10s %12.3f %10.3f %8.2fx\n", s.name.c_str(), fileMedian, open,
                fileMedian / std::max(pages, 1), perPage,
                baselineMs > 0 ? fileMedian / baselineMs : 0.0);
}

int run(int argc, char** argv) {
    int reps = 5;
    double dpi = 14.4;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reps" && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--dpi" && i + 1 < argc)
            dpi = std::atof(argv[++i]);
        else
            files.push_back(arg);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s [--reps N] [--dpi D] file.pdf...\n", argv[0]);
        return 2;
    }

    auto& renderers = registry();
    std::stable_sort(
        renderers.begin(), renderers.end(),
        [](const RendererInfo& a, const RendererInfo& b) { return a.order < b.order; });

    std::vector<ProcessPeer> peers;
    if (auto mutool = findProgram("mutool"))
        peers.push_back(
            {"mutool draw", *mutool, [](const std::string& file, const std::string& dir, double d) {
                 static_cast<void>(dir);
                 return std::vector<std::string>{"draw", "-q", "-r", std::to_string(d), file};
             }});
    else
        std::printf("mutool not found: skipped\n");
    if (auto pdftoppm = findProgram("pdftoppm"))
        peers.push_back(
            {"pdftoppm", *pdftoppm, [](const std::string& file, const std::string& dir, double d) {
                 return std::vector<std::string>{"-r", std::to_string(d), file, dir + "/x"};
             }});
    else
        std::printf("pdftoppm not found: skipped\n");

    // PPM pages go to memory where the system has a memory file system.
    char dirTemplate[] = "/dev/shm/plyfold-bench-render-XXXXXX";
    if (::access("/dev/shm", W_OK) != 0) {
        std::memcpy(dirTemplate, "/tmp/", 5);
        std::memmove(dirTemplate + 5, dirTemplate + 9, sizeof dirTemplate - 9);
    }
    const char* tmp = ::mkdtemp(dirTemplate);
    if (!tmp) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string outDir = tmp;

    std::printf("render benchmark: %.1f dpi, %d repetitions, medians\n", dpi, reps);
    std::map<std::string, std::vector<double>> totalRatios; // name -> per-file ratio to baseline
    for (const std::string& file : files) {
        std::vector<std::unique_ptr<PageRenderer>> instances;
        std::vector<Series> series;
        for (const RendererInfo& info : renderers) {
            instances.push_back(info.make());
            series.push_back(Series{.name = info.name, .inProcess = true});
        }
        for (const ProcessPeer& peer : peers)
            series.push_back(Series{.name = peer.name, .inProcess = false});

        int pages = 0;
        for (int rep = 0; rep < reps; ++rep) {
            for (std::size_t r = 0; r < instances.size(); ++r) {
                Series& s = series[r];
                if (s.failed)
                    continue;
                PageRenderer& renderer = *instances[r];
                const auto start = Clock::now();
                if (!renderer.open(file)) {
                    s.failed = true;
                    continue;
                }
                const int count = renderer.pageCount();
                s.openMs.push_back(msSince(start));
                bool ok = count > 0;
                for (int page = 1; ok && page <= count; ++page) {
                    const auto pageStart = Clock::now();
                    ok = renderer.renderPage(page, dpi);
                    s.pageMs.push_back(msSince(pageStart));
                }
                renderer.close();
                if (!ok) {
                    s.failed = true;
                    continue;
                }
                s.fileMs.push_back(msSince(start));
                pages = std::max(pages, count);
            }
            for (std::size_t p = 0; p < peers.size(); ++p) {
                Series& s = series[instances.size() + p];
                if (s.failed)
                    continue;
                const auto start = Clock::now();
                if (!runQuiet([&] {
                        auto a = peers[p].args(file, outDir, dpi);
                        a.insert(a.begin(), peers[p].program);
                        return a;
                    }()))
                    s.failed = true;
                else
                    s.fileMs.push_back(msSince(start));
                for (const auto& entry : std::filesystem::directory_iterator(outDir))
                    std::filesystem::remove(entry.path());
            }
        }

        std::printf("\n%s (%d pages)\n", file.c_str(), pages);
        std::printf("  %-16s %12s %10s %12s %10s %9s\n", "", "file ms", "open ms", "ms/page",
                    "page med", "ratio");
        const double baseline = series.empty() || series[0].failed ? 0.0 : median(series[0].fileMs);
        for (const Series& s : series) {
            printRow(s, pages, baseline);
            if (!s.failed && baseline > 0 && !s.fileMs.empty())
                totalRatios[s.name].push_back(median(s.fileMs) / baseline);
        }
    }
    std::filesystem::remove_all(outDir);

    std::printf("\nmedian ratio to %s over the files:\n",
                renderers.empty() ? "?" : renderers.front().name.c_str());
    for (const auto& [name, ratios] : totalRatios)
        std::printf("  %-16s %8.2fx\n", name.c_str(), median(ratios));
    return 0;
}

} // namespace

RendererRegistration::RendererRegistration(RendererInfo info) {
    registry().push_back(std::move(info));
}

} // namespace plyfold::bench

int main(int argc, char** argv) {
    return plyfold::bench::run(argc, argv);
}
