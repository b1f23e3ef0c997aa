#!/usr/bin/env python3
"""Measures commits of tarvex against a base in one run, each built as the
linux-x86_64 download (static): wall time per file over the bench art
(hyperfine, the builds interleaved), callgrind instruction counts per file
and for 16 MiB of the art, and time and peak memory for 1 GiB of the art
from a file and from a pipe and for /dev/zero. Prints markdown tables.

Usage: scripts/compare-builds.py BASE [HEAD...] [--runs N] [--skip-large]
BASE and HEAD are git revisions; without HEAD the work tree as it is.
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
SAMPLE = 16 << 20


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
    """Per-file medians of each program, file by file. hyperfine times one
    command after the other, and the first is slower: the order turns with
    every file, so each build is first as often as the others."""
    medians = [[] for _ in programs]
    for index, art in enumerate(files):
        shutil.copy(art, work / ("in%d.ans" % index))
        out = work / ("h%d.json" % index)
        order = [(index + k) % len(programs) for k in range(len(programs))]
        run(["hyperfine", "-N", "--style", "none", "--warmup", "3", "--runs", str(runs),
             "--export-json", str(out)]
            + ["%s in%d.ans out%d-%d.png" % (programs[n], index, index, n) for n in order],
            cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for n, result in zip(order, json.loads(out.read_text())["results"]):
            medians[n].append(result["median"])
    return medians


def instructions(program, art, work):
    out = work / "cg.out"
    run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + str(out), str(program),
         str(art), str(work / "cg.png")], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for line in out.read_text().splitlines():
        if line.startswith("summary:") or line.startswith("totals:"):
            return int(line.split()[1])
    raise RuntimeError("no callgrind totals")


def timed(shell_command, work):
    """Seconds and peak RSS (MiB) of the command after TIME in a shell line."""
    report = work / "time.txt"
    run(["bash", "-c", shell_command.replace("TIME", "/usr/bin/time -f '%e %M' -o " + str(report))],
        cwd=work, stdout=subprocess.DEVNULL)
    seconds, kib = report.read_text().split()[-2:]
    return float(seconds), int(kib) / 1024


def write_large_art(files, work):
    art = b"".join(Path(f).read_bytes() for f in files)
    block = art * max(1, (1 << 24) // len(art))
    with open(work / "big-art.ans", "wb") as out:
        written = 0
        while written < GIB:
            piece = block[:GIB - written]
            out.write(piece)
            written += len(piece)
    (work / "sample.ans").write_bytes(block[:SAMPLE])


LARGE = [("1 GiB of art, file", "TIME {p} big-art.ans big.png"),
         ("1 GiB of art, pipe", "cat big-art.ans | TIME {p} /dev/stdin big.png"),
         ("/dev/zero (refused at 2 GiB)", "TIME {p} /dev/zero zero.png || true")]


def large(programs, work):
    rows = []
    for name, command in LARGE:
        figures = [[] for _ in programs]
        for _ in range(3):  # alternated, so every build meets the same noise
            for n, program in enumerate(programs):
                figures[n].append(timed(command.format(p=program), work))
        rows.append((name, [(statistics.median(s for s, _ in f), max(m for _, m in f))
                            for f in figures]))
    return rows


def ratio(new, old):
    return statistics.median(b / a for a, b in zip(old, new))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("base")
    parser.add_argument("heads", nargs="*")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--skip-large", action="store_true")
    args = parser.parse_args()
    run(["bash", "-c", '. scripts/lib.sh && Install "${BASE_PACKAGES[@]}" hyperfine valgrind time'],
        cwd=ROOT)
    work = Path(tempfile.mkdtemp(prefix="tarvex-compare-"))
    names = [args.base] + (args.heads or ["work tree"])
    try:
        programs = [build(args.base, work)] + [build(h, work) for h in (args.heads or [None])]
        files = art_files(work)
        write_large_art(files, work)
        print("machine: %d cores, %s" % (os.cpu_count() or 0, cpu_name()))
        print("builds: linux-x86_64 preset (static); base %s" % names[0])
        print("art: bench/art and bench/make_art.py (%d files), %d runs per file and build"
              % (len(files), args.runs))
        print()
        times = per_file(programs, files, args.runs, work)
        counts = [[instructions(p, f, work) for f in files] for p in programs]
        sample = [instructions(p, work / "sample.ans", work) for p in programs]
        print("| build | per file, ms (median) | per file / base (median of per-file ratios) "
              "| instructions per file / base | instructions, 16 MiB of art / base |")
        print("|---|---:|---:|---:|---:|")
        for n, name in enumerate(names):
            print("| %s | %.2f | %.3f | %.4f | %.4f |"
                  % (name, statistics.median(times[n]) * 1e3, ratio(times[n], times[0]),
                     ratio(counts[n], counts[0]), sample[n] / sample[0]))
        print()
        print("instructions for 16 MiB of art: " +
              ", ".join("%s %s" % (name, format(c, ",")) for name, c in zip(names, sample)))
        if not args.skip_large:
            print()
            print("| input (median of 3 runs, alternated) | " +
                  " | ".join("%s: s, peak RSS" % name for name in names) + " | " +
                  " | ".join("%s / base" % name for name in names[1:]) + " |")
            print("|---|" + "---:|" * (2 * len(names) - 1))
            for name, figures in large(programs, work):
                print("| %s | " % name +
                      " | ".join("%.2f s, %.1f MiB" % f for f in figures) + " | " +
                      " | ".join("%.3f" % (f[0] / figures[0][0]) for f in figures[1:]) + " |")
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
