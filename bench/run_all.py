#!/usr/bin/env python3
"""Runs every benchmark beside its peer in the same run and prints one table.

  bench/run_all.py BUILD_DIR [--quick] [--only NAME,...] [--work DIR] [--out docs/benchmarks.md]

BUILD_DIR is a Release build with the bench targets built (what `./run bench` makes). Each figure
times our program and its peer in turn (A B A B ...), takes the ratio pair by pair and reports the
median, so that a machine whose speed drifts during the run still gives a fair ratio. Times are
whole processes (start to exit), read with wait4; peak memory is the process's own maximum
resident set. Test data is made once under the work folder and kept for later runs.

It reports and never fails on a figure: the exit status is 0 unless a command itself failed.
"""
import argparse
import os
import platform
import random
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench", "unzip"))
import run_bench as release_tree  # noqa: E402  (the release-like tree of the extraction bench)

BUCKET = "rxpublish"
REMOTE = "9.5BRivostelIE"
FIX = "9.5.7.2"
WORKER_PAUSES_S = 0.6  # the worker's six pauses of 100 ms


class Run:
    """One finished process: wall, user and system seconds, peak resident MB, its output."""

    def __init__(self, wall, user, system, peak_mb, output):
        self.wall, self.user, self.system, self.peak_mb, self.output = (
            wall, user, system, peak_mb, output)


MEASURE = None  # bench_measure of the build: forks the command from a small process


def run(command, env=None, cwd=None):
    """Runs one command to its end. Wall time is read here; CPU time and peak memory are the
    command's own, through MEASURE (a child forked from this driver would count the driver's
    memory into its peak)."""
    with tempfile.TemporaryFile() as out, tempfile.NamedTemporaryFile("r") as figures:
        began = time.perf_counter()
        child = subprocess.Popen([MEASURE, figures.name] + command, stdout=out,
                                 stderr=subprocess.STDOUT, env=env, cwd=cwd)
        child.wait()
        wall = time.perf_counter() - began
        out.seek(0)
        output = out.read().decode(errors="replace")
        fields = dict(part.split("=") for part in figures.read().split())
    if child.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s" % (" ".join(command), child.returncode, output))
    return Run(wall, float(fields["user_s"]), float(fields["sys_s"]),
               int(fields["peak_kb"]) / 1024, output)


def pairs(ours, peer, count, before=None):
    """Runs ours() and peer() `count` times each, alternating which goes first, after one warm-up
    pair; `before` runs ahead of every single run and is not timed. Returns both lists."""
    a, b = [], []
    for index in range(count + 1):
        order = [(ours, a), (peer, b)] if index % 2 == 0 else [(peer, b), (ours, a)]
        for command, results in order:
            if before:
                before()
            result = command()
            if index > 0:
                results.append(result)
    return a, b


def median_ratio(a, b, key=lambda r: r.wall, offset=0.0):
    return statistics.median((key(x) - offset) / key(y) for x, y in zip(a, b))


def median(runs, key=lambda r: r.wall):
    return statistics.median(key(r) for r in runs)


class Table:
    def __init__(self):
        self.rows = []

    def add(self, figure, ours, peer, ratio, goal, met):
        self.rows.append((figure, ours, peer, ratio, goal,
                          "—" if met is None else ("met" if met else "short")))
        print("  %s: %s / %s, %s (goal %s)" % (figure, ours, peer, ratio, goal), flush=True)

    def markdown(self):
        lines = ["| figure | ours | peer | ratio | goal | met |", "|---|---|---|---|---|---|"]
        lines += ["| " + " | ".join(row) + " |" for row in self.rows]
        return "\n".join(lines)

    def text(self):
        header = ("figure", "ours", "peer", "ratio", "goal", "met")
        widths = [max(len(r[i]) for r in self.rows + [header]) for i in range(6)]
        line = lambda r: "  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip()
        return "\n".join([line(header), line(["-" * w for w in widths])] +
                         [line(r) for r in self.rows])


def fresh(folder):
    """An empty folder, and the disk caught up with what the last run wrote, so that no run pays
    for the writing back of another's files."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    os.sync()


def drop(folder):
    shutil.rmtree(folder, ignore_errors=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """nginx serving `root` on a free loopback port, as the bucket (it checks no signature)."""

    def __init__(self, root, work):
        self.port = free_port()
        os.makedirs(os.path.join(work, "tmp"), exist_ok=True)
        config = os.path.join(work, "nginx.conf")
        temp = os.path.join(work, "tmp")
        with open(config, "w") as f:
            f.write("""worker_processes 1;
daemon off;
pid %(work)s/nginx.pid;
error_log %(work)s/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    client_body_temp_path %(temp)s/body;
    proxy_temp_path %(temp)s/proxy;
    fastcgi_temp_path %(temp)s/fastcgi;
    uwsgi_temp_path %(temp)s/uwsgi;
    scgi_temp_path %(temp)s/scgi;
    server { listen 127.0.0.1:%(port)d; root %(root)s; }
}
""" % {"work": work, "temp": temp, "port": self.port, "root": root})
        self.process = subprocess.Popen(["nginx", "-p", work, "-c", config, "-e",
                                         os.path.join(work, "error.log")])
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("nginx did not start")

    def stop(self):
        self.process.terminate()
        self.process.wait()


def read_all(folder):
    """Puts every file of the folder into the page cache, so that no run pays for the disk."""
    for base, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(base, name), "rb") as f:
                while f.read(1 << 20):
                    pass


def release_archive(work):
    """The release-like archive (about 300 MB in 3,000 files, made by Info-ZIP zip)."""
    archive = os.path.join(work, "release.zip")
    if not os.path.exists(archive):
        source = os.path.join(work, "release-source")
        drop(source)
        release_tree.make_tree(source, random.Random(95))
        subprocess.run(["zip", "-q", "-r", archive + ".tmp", "."], cwd=source, check=True)
        os.replace(archive + ".tmp", archive)
        drop(source)
    return archive


def bench_extraction(build, work, table, count):
    extract = os.path.join(build, "bench", "unzip", "unzip_extract_bench")
    archive = release_archive(work)
    read_all(work)
    out = os.path.join(work, "out")
    label = "extraction, 300 MB / 3,000 files (%.0f MB zip)" % (os.path.getsize(archive) / 1e6)
    ours, tar = pairs(lambda: run([extract, archive, out]),
                      lambda: run(["bsdtar", "-xf", archive, "-C", out]), count,
                      before=lambda: fresh(out))
    ratio = median_ratio(ours, tar)
    table.add(label + ", vs bsdtar", "%.2f s" % median(ours), "%.2f s" % median(tar),
              "%.2f" % ratio, "≤ 0.90", ratio <= 0.9)
    ours, unzip = pairs(lambda: run([extract, archive, out]),
                        lambda: run(["unzip", "-o", "-q", archive, "-d", out]), max(2, count // 2),
                        before=lambda: fresh(out))
    ratio = median_ratio(ours, unzip)
    table.add(label + ", vs unzip -o -q", "%.2f s" % median(ours), "%.2f s" % median(unzip),
              "%.2f" % ratio, "—", None)
    drop(out)


def small_files_archive(work, count):
    archive = os.path.join(work, "files-%d.zip" % count)
    if not os.path.exists(archive):
        with zipfile.ZipFile(archive + ".tmp", "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(count):
                z.writestr("client/data/File%05d.dat" % i, "data of file %d\n" % i)
        os.replace(archive + ".tmp", archive)
    return archive


def bench_scale(build, work, table, count):
    extract = os.path.join(build, "bench", "unzip", "unzip_extract_bench")
    out = os.path.join(work, "out")
    per_file = {}
    for files in (1000, 50000):
        archive = small_files_archive(work, files)
        ours, tar = pairs(lambda: run([extract, archive, out]),
                          lambda: run(["bsdtar", "-xf", archive, "-C", out]), max(2, count // 2),
                          before=lambda: fresh(out))
        per_file[files] = (median(ours) / files * 1e6, median(tar) / files * 1e6)
    drop(out)
    ratio = per_file[50000][0] / per_file[1000][0]
    table.add("per-file cost, 50,000 against 1,000 small files in one folder",
              "%.0f / %.0f µs" % (per_file[50000][0], per_file[1000][0]),
              "bsdtar %.0f / %.0f µs" % (per_file[50000][1], per_file[1000][1]),
              "%.2f" % ratio, "flat (≤ 1.25)", ratio <= 1.25)


def zip64_archive(work):
    """One zip64 entry of 4.25 GiB (compressible, so the archive stays small) and a small file
    after it."""
    archive = os.path.join(work, "zip64.zip")
    if not os.path.exists(archive):
        block = (b"zip64 bench block " * 4096)[:1 << 16]
        with zipfile.ZipFile(archive + ".tmp", "w", zipfile.ZIP_DEFLATED) as z:
            info = zipfile.ZipInfo("big/volume.dat", date_time=(2024, 1, 2, 3, 4, 6))
            info.compress_type = zipfile.ZIP_DEFLATED
            with z.open(info, "w", force_zip64=True) as f:
                for _ in range((17 << 30) // 4 // len(block)):
                    f.write(block)
            z.writestr("big/after.txt", "after the large entry\n")
        os.replace(archive + ".tmp", archive)
    return archive


def bench_zip64(build, work, table):
    extract = os.path.join(build, "bench", "unzip", "unzip_extract_bench")
    archive = zip64_archive(work)
    out = os.path.join(work, "out")
    try:
        ours, tar = pairs(lambda: run([extract, archive, out]),
                          lambda: run(["bsdtar", "-xf", archive, "-C", out]), 1,
                          before=lambda: fresh(out))
    except RuntimeError as failure:
        drop(out)
        print(failure)
        table.add("zip64 entry of 4.25 GiB", "fails", "—", "—", "extracts, ≤ 32 MB", False)
        return
    drop(out)
    table.add("zip64 entry of 4.25 GiB: time vs bsdtar", "%.2f s" % median(ours),
              "%.2f s" % median(tar), "%.2f" % median_ratio(ours, tar), "—", None)
    peak = max(r.peak_mb for r in ours)
    table.add("zip64 entry of 4.25 GiB: peak RSS", "%.1f MB" % peak,
              "bsdtar %.1f MB" % max(r.peak_mb for r in tar), "—", "≤ 32 MB", peak <= 32)


def bench_install(build, work, table, count):
    installer = os.path.join(build, "bench", "core", "core_install_bench")
    www = os.path.join(work, "www")
    if not os.path.exists(os.path.join(www, "ready")):
        drop(www)
        subprocess.run([os.path.join(ROOT, "tools", "make-sample-release"), "--client",
                        os.path.join(build, "tools", "sample_client"), "--out", www, "--no-quant",
                        "--release-like", "--size-mib", "300", "--files", "3000"],
                       check=True, stdout=subprocess.DEVNULL)
        open(os.path.join(www, "ready"), "w").close()
    read_all(www)
    server = Nginx(www, os.path.join(work, "nginx"))
    root = os.path.join(work, "winroot")
    staging = os.path.join(work, "staging")
    url = "http://127.0.0.1:%d/%s/%s" % (server.port, BUCKET, REMOTE)
    objects = ["summary.ini", "base.zip", "config.zip", "fix/%s.zip" % FIX]
    # curl fetches the objects, then bsdtar extracts the packages in the worker's order.
    script = " && ".join(
        ["curl -s -f -o %s/%s %s/%s" % (staging, os.path.basename(o), url, o) for o in objects] +
        ["bsdtar -xf %s/%s -C %s" % (staging, p, staging)
         for p in ("base.zip", FIX + ".zip", "config.zip")])
    env = dict(os.environ, WINROOT=root, WINLAYER_DISPLAY="headless", WINLAYER_USER="bench",
               WINLAYER_CONSOLE_USER="bench")

    def prepare():
        for folder in (root, staging):
            drop(folder)
        for folder in ("drive_c", "registry"):
            os.makedirs(os.path.join(root, folder))
        os.makedirs(staging)
        os.sync()

    try:
        ours, peer = pairs(lambda: run([installer, "127.0.0.1:%d" % server.port], env=env),
                           lambda: run(["sh", "-c", script]), count, before=prepare)
    finally:
        server.stop()
        drop(root)
        drop(staging)
    ratio = median_ratio(ours, peer, offset=WORKER_PAUSES_S)
    table.add("whole install, 300 MiB / 3,000 files, less the 0.6 s of pauses, vs curl then "
              "bsdtar", "%.2f s" % median(ours), "%.2f s" % median(peer), "%.2f" % ratio,
              "≤ 1.00", ratio <= 1.0)
    peak = max(r.peak_mb for r in ours)
    table.add("whole install: peak RSS", "%.1f MB" % peak, "—", "—", "≤ 32 MB", peak <= 32)


def bench_download(build, work, table, count):
    client = os.path.join(build, "bench", "oss", "oss_download_bench")
    www = os.path.join(work, "download")
    obj = os.path.join(www, BUCKET, "bench", "object.bin")
    if not os.path.exists(obj) or os.path.getsize(obj) != 1 << 30:
        os.makedirs(os.path.dirname(obj), exist_ok=True)
        with open(obj + ".tmp", "wb") as f:
            for _ in range(1024):
                f.write(os.urandom(1 << 20))
        os.replace(obj + ".tmp", obj)
    read_all(www)
    server = Nginx(www, os.path.join(work, "nginx"))
    target = os.path.join(work, "downloaded.bin")
    url = "http://127.0.0.1:%d/%s/bench/object.bin" % (server.port, BUCKET)
    try:
        ours, curl = pairs(
            lambda: run([client, "127.0.0.1:%d" % server.port, BUCKET, "bench/object.bin", target]),
            lambda: run(["curl", "-s", "-f", "-o", target, url]), count,
            before=lambda: (os.path.exists(target) and os.remove(target), os.sync()))
    finally:
        server.stop()
        if os.path.exists(target):
            os.remove(target)
    ratio = median_ratio(ours, curl)
    table.add("download of 1 GiB over loopback, vs curl -o", "%.2f s" % median(ours),
              "%.2f s" % median(curl), "%.2f" % ratio, "≤ 1.00", ratio <= 1.0)
    peak = max(r.peak_mb for r in ours)
    table.add("download: peak RSS", "%.1f MB" % peak, "curl %.1f MB" % max(r.peak_mb for r in curl),
              "—", "≤ 16 MB", peak <= 16)


def bench_paint(build, table):
    paint = os.path.join(build, "bench", "gdi32", "gdi32_paint_bench")
    env = dict(os.environ, WINLAYER_DISPLAY="headless")
    for state in ("idle", "installing"):
        result = run([paint, "1000", state], env=env)
        fields = dict(part.split("=") for part in result.output.split() if "=" in part)
        value = float(fields["median_ms"])
        table.add("repaint of the %s window (median of 1,000)" % state, "%.3f ms" % value, "—",
                  "—", "≤ 1 ms", value <= 1.0)


def bench_crc64(build, table):
    crc = os.path.join(build, "bench", "oss", "oss_crc64_bench")
    if not os.path.exists(crc):
        return
    result = run([crc, "--benchmark_filter=/268435456", "--benchmark_format=csv"])
    rates = {}
    for line in result.output.splitlines():
        if line.startswith('"BM_'):
            cells = line.split(",")
            rates[cells[0].strip('"').split("/")[0]] = float(cells[5]) / 1e9  # bytes_per_second
    ours, lzma = rates["BM_Crc64Update"], rates["BM_LzmaCrc64"]
    table.add("CRC-64 of 256 MiB, speed against liblzma", "%.1f GB/s" % ours, "%.1f GB/s" % lzma,
              "%.2f" % (ours / lzma), "keep (≥ 1)", ours >= lzma)


BENCHES = ("extraction", "scale", "zip64", "install", "download", "paint", "crc64")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--quick", action="store_true", help="fewer pairs, for a try")
    parser.add_argument("--only", default=",".join(BENCHES))
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "installer-bench"))
    parser.add_argument("--out", default=os.path.join(ROOT, "docs", "benchmarks.md"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    global MEASURE
    MEASURE = os.path.join(build, "bench", "support", "bench_measure")
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    only = args.only.split(",")
    count = 2 if args.quick else 5
    build_type = "unknown"
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith("CMAKE_BUILD_TYPE:"):
                build_type = line.split("=", 1)[1].strip()

    table = Table()
    began = time.time()
    load_before = os.getloadavg()[0]
    steps = {
        "extraction": lambda: bench_extraction(build, work, table, count),
        "scale": lambda: bench_scale(build, work, table, count),
        "zip64": lambda: bench_zip64(build, work, table),
        "install": lambda: bench_install(build, work, table, max(3, count - 2)),
        "download": lambda: bench_download(build, work, table, count),
        "paint": lambda: bench_paint(build, table),
        "crc64": lambda: bench_crc64(build, table),
    }
    for name in BENCHES:
        if name in only:
            print("%s ..." % name, flush=True)
            steps[name]()
    took = time.time() - began

    heading = ("%d cores, %s build, %s; %d pairs a figure (A B A B, median of the ratios); "
               "load average %.1f at the start, %.1f at the end; %.0f s in all" %
               (os.cpu_count(), build_type, platform.platform(terse=True), count, load_before,
                os.getloadavg()[0], took))
    print()
    print(heading)
    print(table.text())
    with open(args.out, "w") as f:
        f.write("# Benchmarks\n\nWritten by `./run bench` on %s.\n\n%s.\n\n%s\n\n%s\n" %
                (time.strftime("%Y-%m-%d"), heading, table.markdown(), NOTES))


NOTES = """Every figure times whole processes, ours beside its peer in the same run, alternating
which goes first; the ratio is taken pair by pair and the median of those is shown (a ratio
below 1 means ours is faster). Absolute times move with the machine's load; the ratios are what
to compare between runs. Test data is made once under the work folder and reused.

- extraction: `unzip_extract_bench` (ExtractZipArchive) against `bsdtar -xf` and
  `unzip -o -q`, each into a fresh folder, the archive in the page cache.
- per-file cost: the same with 1,000 and with 50,000 small files in one folder; the ratio is our
  time per file at 50,000 over that at 1,000.
- zip64: one deflated entry of 4.25 GiB; the peak resident memory shows that an entry of any
  size streams through a bounded buffer.
- whole install: `core_install_bench` (the install worker, from the manifest to the registered
  client) against curl fetching the same objects from the same nginx, then bsdtar extracting
  the packages in the worker's order; the worker's six pauses of 100 ms are taken off its time.
- download: `oss_download_bench` (OssClient::GetObject into a file) against `curl -o`.
- repaint: `gdi32_paint_bench`, a painting like the dialog's through the layer, no peer.
- CRC-64: `oss_crc64_bench` against liblzma's `lzma_crc64` over the same buffer."""


if __name__ == "__main__":
    main()
