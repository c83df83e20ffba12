#!/usr/bin/env python3
"""Times ExtractZipArchive on archives whose files all lie in one folder.

Makes (once, under the work folder, default /tmp/unzip-many-bench) an archive of 1,000 and one
of 20,000 small files in a single folder, extracts each into a fresh folder with
unzip_extract_bench and prints the time per file and the ratio of the two. Name resolution that
ignores case must cost about the same per file in both: the ratio stays under 1.5.

Usage: many_files_bench.py BENCH_BINARY [--counts 1000,20000] [--runs N] [--work DIR]
(BENCH_BINARY is build/bench/unzip/unzip_extract_bench.)
"""
import argparse
import os
import shutil
import statistics
import subprocess
import zipfile


def make_archive(path, count):
    if os.path.exists(path):
        return
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(count):
            z.writestr("client/data/File%05d.dat" % i, "data of file %d\n" % i)
    os.replace(tmp, path)


def extract_seconds(binary, archive, folder):
    shutil.rmtree(folder, ignore_errors=True)
    out = subprocess.run([binary, archive, folder], capture_output=True, text=True, check=True)
    return float(out.stdout.strip())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--counts", default="1000,20000")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default="/tmp/unzip-many-bench")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    counts = [int(c) for c in args.counts.split(",")]
    per_file = {}
    for count in counts:
        archive = os.path.join(args.work, "files-%d.zip" % count)
        make_archive(archive, count)
        folder = os.path.join(args.work, "out-%d" % count)
        times = [extract_seconds(args.binary, archive, folder) for _ in range(args.runs)]
        shutil.rmtree(folder, ignore_errors=True)
        per_file[count] = statistics.median(times) / count
        print("%6d files in one folder: %.3f s median of %d, %.1f us per file" %
              (count, statistics.median(times), args.runs, per_file[count] * 1e6))
    if len(counts) >= 2:
        ratio = per_file[counts[-1]] / per_file[counts[0]]
        print("per-file time, %d files against %d: %.2fx" % (counts[-1], counts[0], ratio))


if __name__ == "__main__":
    main()
