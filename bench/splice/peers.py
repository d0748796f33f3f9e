#!/usr/bin/env python3
"""Merge jobs through plyfold-merge and its command-line peers, side by side in one run.

    bench/splice/peers.py [--runs N] [--jobs NAME,...] [--merge PATH] [--keep DIR]

Each job merges the same pages with every tool: plyfold-merge, `qpdf --empty --pages`, pdfunite
(whole files only) and `mutool merge`. The tools take turns within each round, so that a change in
the machine's load falls on all of them; every figure is the median over the rounds. Wall time and
peak memory come from /usr/bin/time -v; every output is checked with `qpdf --check` and its size
and page count are printed. Ratios are to qpdf's command line on the same job.

The jobs use the R manuals of Debian's r-doc-pdf package (scripts/setup-deps.sh installs it):
  copies100   100 copies (distinct files) of the 113-page R-intro.pdf, whole: 11,300 pages
  manuals     the 2,415-page fullrefman.pdf with the 113-page R-intro.pdf, whole
  manual+1    fullrefman.pdf with page 1 of R-intro.pdf
  pages3-22   pages 3-22 of each of the 100 copies: 2,000 pages
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

MANUALS = "/usr/share/R/doc/manual"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def copies(folder, count):
    paths = []
    source = os.path.join(MANUALS, "R-intro.pdf")
    for i in range(count):
        path = os.path.join(folder, "copy%03d.pdf" % (i + 1))
        if not os.path.exists(path):
            shutil.copyfile(source, path)
        paths.append(path)
    return paths


def jobs(folder):
    """Each job: a list of (file, pages) with pages None for the whole file or (first, last)."""
    big = os.path.join(MANUALS, "fullrefman.pdf")
    intro = os.path.join(MANUALS, "R-intro.pdf")
    hundred = copies(folder, 100)
    return {
        "copies100": [(f, None) for f in hundred],
        "manuals": [(big, None), (intro, None)],
        "manual+1": [(big, None), (intro, (1, 1))],
        "pages3-22": [(f, (3, 22)) for f in hundred],
    }


def commands(tool, merge, pieces, out):
    whole = all(p is None for _, p in pieces)
    if tool == "plyfold":
        return [merge, "-o", out] + [f if p is None else "%s:%d-%d" % (f, p[0], p[1])
                                     for f, p in pieces]
    if tool == "qpdf":
        args = ["qpdf", "--empty", "--pages"]
        for f, p in pieces:
            args += [f] if p is None else [f, "%d-%d" % p]
        return args + ["--", out]
    if tool == "pdfunite":
        return ["pdfunite"] + [f for f, _ in pieces] + [out] if whole else None
    if tool == "mutool":
        args = ["mutool", "merge", "-o", out]
        for f, p in pieces:
            args += [f] if p is None else [f, "%d-%d" % p]
        return args
    raise ValueError(tool)


def run_timed(args):
    """Wall seconds and peak resident kilobytes of one run, or None when it failed."""
    result = subprocess.run(["/usr/bin/time", "-v"] + args, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.stderr.write("failed: %s\n%s\n" % (" ".join(args[:4]), result.stderr[-2000:]))
        return None
    wall = peak = None
    for line in result.stderr.splitlines():
        line = line.strip()
        if line.startswith("Elapsed (wall clock) time"):
            clock = line.rsplit(" ", 1)[1].split(":")
            wall = sum(float(part) * 60 ** i for i, part in enumerate(reversed(clock)))
        elif line.startswith("Maximum resident set size"):
            peak = int(line.rsplit(" ", 1)[1])
    return wall, peak


def check(path):
    result = subprocess.run(["qpdf", "--check", path], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode == 0:
        return "clean"
    return "warnings" if result.returncode == 3 else "ERRORS"


def pages(path):
    result = subprocess.run(["qpdf", "--show-npages", path], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    return result.stdout.strip() or "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--jobs", default="copies100,manuals,manual+1,pages3-22")
    parser.add_argument("--merge", default=os.path.join(ROOT, "build-bench", "src", "app",
                                                        "plyfold-merge"))
    parser.add_argument("--keep", help="folder for the inputs and outputs (kept afterwards)")
    options = parser.parse_args()
    if not os.path.exists(os.path.join(MANUALS, "fullrefman.pdf")):
        sys.exit("the R manuals are missing: run scripts/setup-deps.sh (package r-doc-pdf)")
    if not os.access(options.merge, os.X_OK):
        sys.exit("no plyfold-merge at %s (build it, or pass --merge)" % options.merge)
    folder = options.keep or tempfile.mkdtemp(prefix="plyfold-peers-")
    os.makedirs(folder, exist_ok=True)
    all_jobs = jobs(folder)
    tools = ["plyfold", "qpdf", "pdfunite", "mutool"]
    print("%d rounds; medians; ratios to qpdf --empty --pages on the same job" % options.runs)
    for name in options.jobs.split(","):
        pieces = all_jobs[name]
        samples = {tool: [] for tool in tools}
        outputs = {}
        for _ in range(options.runs):
            for tool in tools:
                out = os.path.join(folder, "%s-%s.pdf" % (name, tool))
                args = commands(tool, options.merge, pieces, out)
                if args is None:
                    continue
                if os.path.exists(out):
                    os.remove(out)
                measured = run_timed(args)
                if measured:
                    samples[tool].append(measured)
                    outputs[tool] = out
        print("\n%s" % name)
        print("  %-9s %9s %10s %8s %8s %11s %7s %8s" %
              ("tool", "wall s", "peak MB", "x time", "x mem", "size KB", "pages", "check"))
        base = samples["qpdf"]
        base_wall = statistics.median(s[0] for s in base) if base else None
        base_peak = statistics.median(s[1] for s in base) if base else None
        for tool in tools:
            if not samples[tool]:
                print("  %-9s %9s" % (tool, "n/a"))
                continue
            wall = statistics.median(s[0] for s in samples[tool])
            peak = statistics.median(s[1] for s in samples[tool])
            out = outputs[tool]
            print("  %-9s %9.2f %10.1f %8s %8s %11d %7s %8s" % (
                tool, wall, peak / 1024.0,
                "%.2f" % (wall / base_wall) if base_wall else "-",
                "%.2f" % (peak / base_peak) if base_peak else "-",
                os.path.getsize(out) // 1024, pages(out), check(out)))
    if not options.keep:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
