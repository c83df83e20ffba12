#!/usr/bin/env python3
"""Times ExtractZipArchive against `unzip -o -q` on a release-like archive.

The archive (about 300 MB in about 3,000 files: nested folders, text and binary files) is made
once with Info-ZIP zip under the work folder (default /tmp/unzip-bench) and kept for later runs.
Each run extracts into a fresh folder with both tools, alternating which goes first; the medians
and their ratio are printed, for wall-clock and for CPU time.

Usage: run_bench.py BENCH_BINARY [--runs N] [--work DIR]
(BENCH_BINARY is build/bench/unzip/unzip_extract_bench.)
"""
import argparse
import os
import random
import resource
import shutil
import statistics
import subprocess
import time

WORDS = ("order quote price volume strategy position account market limit stop fill "
         "report chart series bar tick symbol exchange margin risk").split()


def make_tree(root, rng):
    """About 3,000 files and 300 MB: a few large binaries, many small text and binary files."""
    total = 0
    files = 0
    folders = [root]
    for depth1 in range(12):
        for depth2 in range(6):
            folder = os.path.join(root, f"module{depth1:02d}", f"part{depth2}",
                                  *(["deep", "er"][: (depth1 + depth2) % 3]))
            os.makedirs(folder, exist_ok=True)
            folders.append(folder)
    for i in range(3000):
        folder = folders[i % len(folders)]
        kind = i % 10
        if i < 12:  # large runtime libraries: half compressible
            size = 10 * 1024 * 1024
            data = rng.randbytes(size // 2) + bytes(size // 2)
            name = f"runtime{i:02d}.dll"
        elif kind < 5:  # text: configuration, scripts, logs
            lines = []
            size = rng.randint(2_000, 120_000)
            length = 0
            while length < size:
                line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + "\r\n"
                lines.append(line)
                length += len(line)
            data = "".join(lines).encode()
            name = f"file{i:04d}.txt"
        elif kind < 8:  # binary, incompressible
            data = rng.randbytes(rng.randint(1_000, 120_000))
            name = f"data{i:04d}.bin"
        else:  # binary with structure
            block = rng.randbytes(256)
            data = block * rng.randint(4, 400)
            name = f"image{i:04d}.res"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        total += len(data)
        files += 1
    return files, total


def timed(command):
    """Wall-clock and CPU (user + system) seconds of one command."""
    os.sync()  # the previous extraction's writes are not charged to this one
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    began = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - began
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--runs", type=int, default=6)  # even: each tool goes first as often
    parser.add_argument("--work", default="/tmp/unzip-bench")
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    archive = os.path.join(work, "release.zip")
    if not os.path.exists(archive):
        source = os.path.join(work, "source")
        shutil.rmtree(source, ignore_errors=True)
        files, total = make_tree(source, random.Random(95))
        print(f"made {files} files, {total / 1e6:.0f} MB")
        subprocess.run(["zip", "-q", "-r", archive, "."], cwd=source, check=True)
        shutil.rmtree(source)
    print(f"archive {os.path.getsize(archive) / 1e6:.0f} MB")

    ours, theirs = [], []
    for run in range(args.runs + 1):
        outputs = {name: os.path.join(work, f"out-{name}") for name in ("ours", "unzip")}
        order = ["ours", "unzip"] if run % 2 == 0 else ["unzip", "ours"]
        times = {}
        for name in order:
            shutil.rmtree(outputs[name], ignore_errors=True)
            if name == "ours":
                times[name] = timed([args.binary, archive, outputs[name]])
            else:
                times[name] = timed(["unzip", "-o", "-q", archive, "-d", outputs[name]])
        if run == 0:
            continue  # warms the page cache
        ours.append(times["ours"])
        theirs.append(times["unzip"])
        print(f"run {run}: ExtractZipArchive {times['ours'][0]:.3f} s (cpu {times['ours'][1]:.3f}),"
              f" unzip {times['unzip'][0]:.3f} s (cpu {times['unzip'][1]:.3f})")
    for folder in outputs.values():
        shutil.rmtree(folder, ignore_errors=True)

    for label, index in (("wall", 0), ("cpu", 1)):
        a = statistics.median(t[index] for t in ours)
        b = statistics.median(t[index] for t in theirs)
        print(f"median {label}: ExtractZipArchive {a:.3f} s, unzip {b:.3f} s, ratio {a / b:.2f}")


if __name__ == "__main__":
    main()
