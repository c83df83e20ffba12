#!/usr/bin/env python3
"""fault_suite: the installer program against one injected fault per case.

  fault_suite.py --source SRC --build BUILD --shim LIB [--jobs N] [--only NAME,...] [--list]
                 [--table FILE]

Every case starts from a Windows root that holds an older release (9.5.7.2), runs the built
program (BUILD/installer/brivostel-setup on the layer, on a virtual X display of its own) against
the local bucket serving the new one (9.5.7.3), presses Install and injects its fault: a kill
(SIGKILL or SIGTERM) when a step line reaches the install log or at an exact file-system call
(fault_shim.c, preloaded), a failing call, a server fault on one package, a full disk, a read-only
installation folder, an earlier attempt's folder that cannot be emptied. It then checks
  - that the program ended within a bound (a failure: once the window says so and its cross is
    pressed);
  - what the window and the install log said;
  - at the next start: the installation folder is exactly the old release or exactly the new one
    (lists of checksums), and after a clean run from there, the new release, registered, with
    nothing left beside it (no staging, set-aside or temporary file, no journal);
  - that the program wrote nothing outside the case's folder (every changing call is traced).
Cases run in parallel workers, each in network and mount namespaces of its own (so each has the
build's compiled-in endpoint to itself, and may mount a small tmpfs) with its own display; as
root, or else in a user namespace of its own. Where the kernel allows neither, one worker takes
the machine-wide lock of the endpoint instead, and the full-disk case is skipped.
The table of cases and outcomes is printed at the end (and written to --table). Exit 0 when
every case passed.
"""

import argparse
import concurrent.futures
import fcntl
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import fault_cases  # noqa: E402
from fault_driver import Worker  # noqa: E402


def namespace_command():
    """The unshare command that gives a worker network and mount namespaces of its own: as root
    directly, otherwise in a user namespace of its own (where the kernel allows one)."""
    for command in (["unshare", "--net", "--mount"],
                    ["unshare", "--user", "--map-root-user", "--net", "--mount"]):
        try:
            if subprocess.run(command + ["true"], capture_output=True, timeout=10).returncode == 0:
                return command
        except (OSError, subprocess.TimeoutExpired):
            pass
    return None


def run_worker_process(args, names, folder, namespaces):
    """One worker: its own network and mount namespaces (when there are) and display."""
    command = [sys.executable, __file__, "--source", args.source, "--build", args.build, "--shim",
               args.shim, "--worker", folder, "--only", ",".join(names)]
    if namespaces:
        command = namespaces + ["--"] + command + ["--isolated"]
    command = [str(Path(args.source) / "tools/xvfb-session"), "--"] + command
    with open(Path(folder) / "worker.log", "w") as log:
        subprocess.run(command, stdout=log, stderr=subprocess.STDOUT, timeout=1200)
    results = Path(folder) / "results.json"
    if not results.exists():
        sys.stderr.write((Path(folder) / "worker.log").read_text(errors="replace"))
        return [{"name": n, "passed": False, "outcome": "worker failed", "problems": ["no result"],
                 "fault": "", "seconds": 0, "window": "", "log": ""} for n in names]
    return json.loads(results.read_text())


def table(results):
    lines = ["| # | case | fault | outcome at the next start | window | log | s | result |",
             "|---|---|---|---|---|---|---|---|"]
    for i, r in enumerate(results, 1):
        lines.append(f"| {i} | {r['name']} | {r['fault']} | {r['outcome']} | {r['window']} | "
                     f"{r['log']} | {r['seconds']:.1f} | "
                     f"{'pass' if r['passed'] else 'FAIL: ' + '; '.join(r['problems'])} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--only", default="")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--table")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    parser.add_argument("--isolated", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    cases = fault_cases.CASES
    if args.only:
        wanted = args.only.split(",")
        cases = [c for c in cases if c.name in wanted]
    if args.list:
        for c in cases:
            print(f"{c.name}: {c.fault}")
        return 0
    if args.worker:
        worker = Worker(args.source, args.build, args.shim, Path(args.worker), args.isolated)
        results = worker.run(cases)
        (Path(args.worker) / "results.json").write_text(json.dumps(results))
        return 0

    started = time.monotonic()
    namespaces = namespace_command()
    isolated = namespaces is not None
    work = Path(tempfile.mkdtemp(prefix="fault-suite.", dir=os.environ.get("TMPDIR", "/tmp")))
    lock = None
    if not isolated:
        print("fault suite: no network namespaces here: one worker, under the machine-wide lock "
              "of the endpoint; the full-disk case is skipped", flush=True)
        args.jobs = 1
        endpoint = fault_cases.cache_value(args.build, "INSTALLER_OSS_ENDPOINT")
        lock = open(f"/tmp/installer-e2e-{endpoint}.lock", "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
    jobs = max(1, min(args.jobs, len(cases)))
    shares = [[c.name for c in cases[i::jobs]] for i in range(jobs)]
    results = []
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = []
        for i, names in enumerate(shares):
            folder = work / f"worker{i}"
            folder.mkdir()
            futures.append(pool.submit(run_worker_process, args, names, str(folder), namespaces))
        for future in futures:
            results.extend(future.result())
    order = {c.name: i for i, c in enumerate(cases)}
    results.sort(key=lambda r: order.get(r["name"], 0))
    text = table(results)
    print(text)
    if args.table:
        Path(args.table).write_text(text + "\n")
    failed = [r["name"] for r in results if not r["passed"]]
    print(f"\n{len(results) - len(failed)} of {len(results)} cases passed in "
          f"{time.monotonic() - started:.0f} s; work folder {work}")
    if failed:
        print("failed: " + ", ".join(failed))
        return 1
    subprocess.run(["rm", "-rf", str(work)])
    return 0


if __name__ == "__main__":
    sys.exit(main())
