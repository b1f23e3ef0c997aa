#!/usr/bin/env python3
"""Measures two commits of tarvex against each other in one run, each built
as the linux-x86_64 download (static): wall time per file over the bench
art (hyperfine, the two builds interleaved), callgrind instruction counts
per file, and time and peak memory for 1 GiB of the art from a file and
from a pipe and for /dev/zero. Prints markdown tables.

Usage: scripts/compare-builds.py BASE [HEAD] [--runs N] [--skip-large]
BASE and HEAD are git revisions (HEAD defaults to the work tree as it is).
Installs hyperfine, valgrind and GNU time when missing.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
GIB = 1 << 30


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


def build(revision, work):
    """Builds the static download of a revision; returns its program."""
    if revision is None:
        source = ROOT
    else:
        source = work / ("src-" + revision.replace("/", "_"))
        run(["git", "-C", str(ROOT), "worktree", "add", "--detach", "-f", str(source), revision],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    binary = work / ("build-" + (revision or "worktree").replace("/", "_"))
    run(["cmake", "--preset", "linux-x86_64", "-S", str(source), "-B", str(binary)],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", str(binary), "-j", str(os.cpu_count() or 2), "--target", "tarvex"],
        stdout=subprocess.DEVNULL)
    return binary / "tarvex"


def art_files(work):
    folder = work / "art"
    run([sys.executable, str(ROOT / "bench" / "make_art.py"), str(folder), "25", "437"])
    return sorted(ROOT.glob("bench/art/*.ans")) + sorted(folder.glob("*.ans"))


def per_file(programs, files, runs, work):
    """Median of per-file medians for each program, and of per-file ratios."""
    medians = [[] for _ in programs]
    for index, art in enumerate(files):
        shutil.copy(art, work / ("in%d.ans" % index))
        out = work / ("h%d.json" % index)
        run(["hyperfine", "-N", "--style", "none", "--warmup", "3", "--runs", str(runs),
             "--export-json", str(out)]
            + ["%s in%d.ans out%d-%d.png" % (p, index, index, n) for n, p in enumerate(programs)],
            cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for n, result in enumerate(json.loads(out.read_text())["results"]):
            medians[n].append(result["median"])
    ratio = statistics.median(b / a for a, b in zip(medians[0], medians[1]))
    return [statistics.median(m) for m in medians], ratio


def instructions(program, art, work):
    out = work / "cg.out"
    run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + str(out), str(program),
         str(art), str(work / "cg.png")], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for line in out.read_text().splitlines():
        if line.startswith("summary:") or line.startswith("totals:"):
            return int(line.split()[1])
    raise RuntimeError("no callgrind totals")


def timed(shell_command, work):
    """Seconds and peak RSS (MiB) of the last command of a shell pipeline."""
    report = work / "time.txt"
    run(["bash", "-c", shell_command.replace("TIME", "/usr/bin/time -f '%e %M' -o " + str(report))],
        cwd=work, stdout=subprocess.DEVNULL)
    seconds, kib = report.read_text().split()[-2:]
    return float(seconds), int(kib) / 1024


def large(programs, files, work):
    art = b"".join(Path(f).read_bytes() for f in files)
    block = art * max(1, (1 << 24) // len(art))
    with open(work / "big-art.ans", "wb") as out:
        written = 0
        while written < GIB:
            piece = block[:GIB - written]
            out.write(piece)
            written += len(piece)
    cases = [("1 GiB of art, file", "TIME {p} big-art.ans big.png"),
             ("1 GiB of art, pipe", "cat big-art.ans | TIME {p} /dev/stdin big.png"),
             ("/dev/zero (refused at 2 GiB)", "TIME {p} /dev/zero zero.png || true")]
    rows = []
    for name, command in cases:
        figures = [[] for _ in programs]
        for _ in range(3):  # alternated, so both meet the same noise
            for n, program in enumerate(programs):
                figures[n].append(timed(command.format(p=program), work))
        rows.append((name, [(statistics.median(s for s, _ in f), max(m for _, m in f))
                            for f in figures]))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("base")
    parser.add_argument("head", nargs="?")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--skip-large", action="store_true")
    args = parser.parse_args()
    run(["bash", str(ROOT / "scripts" / "setup.sh"), "hyperfine", "valgrind", "time"])
    work = Path(tempfile.mkdtemp(prefix="tarvex-compare-"))
    try:
        programs = [build(args.base, work), build(args.head, work)]
        names = [args.base, args.head or "work tree"]
        files = art_files(work)
        print("machine: %d cores, %s" % (os.cpu_count() or 0, cpu_name()))
        print("builds: linux-x86_64 preset (static) of %s (A) and %s (B)" % tuple(names))
        print()
        times, ratio = per_file(programs, files, args.runs, work)
        counts = [[instructions(p, f, work) for f in files] for p in programs]
        count_ratio = statistics.median(b / a for a, b in zip(*counts))
        print("| per file, %d files, %d runs each | A | B | B / A |" % (len(files), args.runs))
        print("|---|---:|---:|---:|")
        print("| wall time (median of per-file medians; ratio: median of per-file ratios) "
              "| %.2f ms | %.2f ms | %.3f |" % (times[0] * 1e3, times[1] * 1e3, ratio))
        print("| instructions (callgrind, median file; ratio: median of per-file ratios) "
              "| %s | %s | %.4f |" % (format(int(statistics.median(counts[0])), ","),
                                      format(int(statistics.median(counts[1])), ","), count_ratio))
        if not args.skip_large:
            print()
            print("| input (median of 3 runs, alternated) | A seconds | A peak RSS | "
                  "B seconds | B peak RSS | B / A time |")
            print("|---|---:|---:|---:|---:|---:|")
            for name, ((ta, ma), (tb, mb)) in large(programs, files, work):
                print("| %s | %.2f | %.1f MiB | %.2f | %.1f MiB | %.3f |"
                      % (name, ta, ma, tb, mb, tb / ta))
    finally:
        for source in work.glob("src-*"):
            subprocess.run(["git", "-C", str(ROOT), "worktree", "remove", "--force", str(source)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)


def cpu_name():
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return "unknown CPU"


if __name__ == "__main__":
    main()
