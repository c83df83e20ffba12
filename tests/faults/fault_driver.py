"""What a worker of the fault suite does: its releases, its bucket, the root with the older
release that every case starts from, and each case's runs of the program with their checks."""

import hashlib
import http.client
import json
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

import fault_cases
from fault_cases import INSTALL_NAME, STEP_LINES

TITLE = "远帆"
USER = "user1"
CLEAN_BOUND = 60  # seconds for a whole clean installation


def read_or_none(path):
    try:
        return path.read_bytes()
    except OSError:
        return None


def checksums(folder):
    """{relative path: sha256 or "dir"} of a folder, without its log (it grows with every run)."""
    if not folder.is_dir():
        return None
    listing = {}
    for path in sorted(folder.rglob("*")):
        relative = path.relative_to(folder).as_posix()
        if relative == "log" or relative.startswith("log/"):
            continue
        listing[relative] = "dir" if path.is_dir() else hashlib.sha256(path.read_bytes()).hexdigest()
    return listing


class Bucket:
    """tools/local-bucket on the build's endpoint, serving one folder."""

    def __init__(self, source, build, root, folder):
        self.host, port = fault_cases.cache_value(build, "INSTALLER_OSS_ENDPOINT").split(":")
        self.port = int(port)
        account = (fault_cases.cache_value(build, "INSTALLER_OSS_ACCESS_KEY_ID") + ":" +
                   fault_cases.cache_value(build, "INSTALLER_OSS_ACCESS_KEY_SECRET"))
        port_file = folder / "bucket.port"
        port_file.unlink(missing_ok=True)
        self.log = open(folder / "bucket.log", "ab")
        self.process = subprocess.Popen(
            ["python3", str(Path(source) / "tools/local-bucket"), "--root", str(root), "--bucket",
             fault_cases.cache_value(build, "INSTALLER_OSS_BUCKET"), "--account", account,
             "--host", self.host, "--port", str(self.port), "--port-file", str(port_file),
             "--quiet"], stdout=subprocess.DEVNULL, stderr=self.log)
        deadline = time.monotonic() + 20
        while not (port_file.exists() and port_file.read_text().strip()):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"local-bucket did not start (see {folder}/bucket.log)")
            time.sleep(0.02)

    def control(self, method, path, body=None):
        connection = http.client.HTTPConnection(self.host, self.port, timeout=10)
        connection.request(method, path, json.dumps(body) if body is not None else None)
        answer = connection.getresponse()
        answer.read()
        connection.close()
        if answer.status != 200:
            raise RuntimeError(f"{method} {path}: {answer.status}")

    def set_faults(self, rules):
        self.control("DELETE", "/_local/faults")
        if rules:
            self.control("POST", "/_local/faults", rules)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.log.close()


class ProgramRun:
    """One run of the installer program in a case's root, watched through its window's texts."""

    def __init__(self, worker, case_folder, tag, fault_env):
        self.folder = case_folder
        self.trace = case_folder / f"{tag}.texts"
        self.writes = case_folder / f"{tag}.writes"
        self.record = case_folder / f"{tag}.fired"
        for f in (self.trace, self.writes, self.record):
            f.unlink(missing_ok=True)
        env = dict(os.environ)
        home = case_folder / "home"
        (home / "tmp").mkdir(parents=True, exist_ok=True)
        env.update(WINROOT=str(case_folder / "winroot"), LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8",
                   WINLAYER_USER=USER, WINLAYER_CONSOLE_USER=USER, HOME=str(home),
                   TMPDIR=str(home / "tmp"), XDG_CACHE_HOME=str(home / ".cache"),
                   WINLAYER_TEXT_TRACE=str(self.trace), FAULT_TRACE=str(self.writes),
                   FAULT_RECORD=str(self.record), LD_PRELOAD=worker.shim,
                   BRIVOSTEL_CLIENT_RECORD=str(case_folder / "client.txt"))
        env.update(fault_env)
        self.started = time.monotonic()
        self.output = open(case_folder / f"{tag}.out", "wb")
        self.process = subprocess.Popen([worker.program], env=env, stdout=self.output,
                                        stderr=subprocess.STDOUT)
        self.window = None

    def texts(self):
        try:
            return self.trace.read_text(errors="replace").splitlines()
        except FileNotFoundError:
            return []

    def alive(self):
        return self.process.poll() is None

    def wait_for(self, predicate, seconds, step=0.01):
        """Polls until predicate() holds or the program ends; True when it held."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if predicate():
                return True
            if not self.alive():
                return predicate()
            time.sleep(step)
        return False

    def find_window(self):
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                                f"^{TITLE}$"], capture_output=True, text=True, timeout=20)
        ids = found.stdout.split()
        if not ids:
            raise RuntimeError("the installer's window did not appear")
        self.window = ids[-1]
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.window],
                                  capture_output=True, text=True, timeout=10).stdout
        values = dict(line.split("=", 1) for line in geometry.split())
        self.x, self.y = int(values["X"]), int(values["Y"])

    def click(self, x, y):
        subprocess.run(["xdotool", "mousemove", "--sync", str(self.x + x), str(self.y + y),
                        "click", "1", "mousemove", "--sync", "5", "5"], capture_output=True,
                       timeout=10)

    def wait_idle(self):
        """Waits until the window shows its Install button (the start is over)."""
        if not self.wait_for(lambda: "Install" in self.texts(), 20):
            raise RuntimeError("the window never showed Install")
        self.find_window()

    def press_install(self):
        self.click(250, 220)

    def press_cross(self):
        self.click(488, 12)

    def ended_state(self):
        texts = self.texts()
        if "Open" in texts:  # the button of Finished
            return "finished"
        if any(t.endswith(" Fail") for t in texts):
            return "failed"
        return None

    def wait_exit(self, seconds):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

    def end(self):
        if self.alive():
            self.process.kill()
            self.process.wait(10)
        self.output.close()


class Worker:
    def __init__(self, source, build, shim, folder, isolated):
        self.source, self.build, self.shim = source, build, shim
        self.folder, self.isolated = folder, isolated
        self.program = str(Path(build) / "installer/brivostel-setup")
        self.bucket = None

    # The roots and paths of a case.
    def appdata(self, root):
        return root / "winroot/drive_c/Users" / USER / "AppData/Local"

    def paths(self, case_folder):
        local = self.appdata(case_folder)
        install = local / INSTALL_NAME
        return fault_cases.Paths(
            root=case_folder, local=local, install=install,
            staging=local / (INSTALL_NAME + "temp"), aside=local / (INSTALL_NAME + "old"),
            journal=local / (INSTALL_NAME + "swap.ini"),
            registry=case_folder / "winroot/registry",
            release=self.folder / "new-bucket" / fault_cases.cache_value(
                self.build, "INSTALLER_OSS_BUCKET") / "9.5BRivostelIE")

    def make_release(self, name, arguments):
        out = self.folder / name
        subprocess.run(["python3", str(Path(self.source) / "tools/make-sample-release"), "--client",
                        str(Path(self.build) / "tools/sample_client"), "--out", str(out),
                        "--bucket", fault_cases.cache_value(self.build, "INSTALLER_OSS_BUCKET")]
                       + arguments, check=True, stdout=subprocess.DEVNULL)
        return out

    def clean_install(self, case_folder, tag):
        """A run without faults from Idle to Finished; returns (problems, run)."""
        run = ProgramRun(self, case_folder, tag, {})
        problems = []
        try:
            run.wait_idle()
            run.press_install()
            if not run.wait_for(lambda: run.ended_state() is not None, CLEAN_BOUND):
                problems.append(f"{tag}: no end within {CLEAN_BOUND} s")
            elif run.ended_state() != "finished":
                problems.append(f"{tag}: ended {run.ended_state()}: {run.texts()[-1:]}")
            run.press_cross()
            if run.wait_exit(10) is None:
                problems.append(f"{tag}: did not exit within 10 s of the cross")
        except (RuntimeError, subprocess.TimeoutExpired) as error:
            problems.append(f"{tag}: {error}")
        finally:
            run.end()
        return problems, run

    def prepare(self):
        """The older release installed once into a root every case copies; the new one's list."""
        self.make_release("old-bucket", [])
        self.make_release("new-bucket", ["--fix", "9.5.7.3", "--quant", "9.5.1.4"])
        if self.isolated:
            subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        self.bucket = Bucket(self.source, self.build, self.folder / "old-bucket", self.folder)
        template = self.folder / "template"
        template.mkdir()
        problems, _ = self.clean_install(template, "template")
        self.bucket.stop()
        if problems:
            raise RuntimeError("installing the older release: " + "; ".join(problems))
        self.old = checksums(self.paths(template).install)
        # What a new machine's root has beside the installation (its Temp folder).
        self.standard = {p.name for p in self.paths(template).local.iterdir()} - {INSTALL_NAME}
        self.bucket = Bucket(self.source, self.build, self.folder / "new-bucket", self.folder)
        reference = self.folder / "reference"
        shutil.copytree(template, reference, symlinks=True)
        problems, _ = self.clean_install(reference, "reference")
        if problems:
            raise RuntimeError("installing the new release: " + "; ".join(problems))
        self.new = checksums(self.paths(reference).install)
        if self.old == self.new or not self.old:
            raise RuntimeError("the two releases cannot be told apart")

    def state_of(self, folder):
        listing = checksums(folder)
        if listing is None:
            return "none"
        if listing == self.old:
            return "old"
        if listing == self.new:
            return "new"
        # The client's settings are the one write whose failure the installation ignores.
        settings = ("config/brivostel.Default.pub", "config/brivostel.Default.pri")
        if all(listing.get(k) == self.new.get(k) for k in set(listing) | set(self.new)
               if k not in settings):
            return "new without settings"
        return "mixed"

    def run(self, cases):
        try:
            self.prepare()
        except Exception as error:  # every case of this worker fails with the reason
            return [fault_cases.result(c, ["worker: " + str(error)], "", 0, "", "") for c in cases]
        results = []
        for case in cases:
            try:
                results.append(self.run_case(case))
            except Exception as error:
                results.append(fault_cases.result(case, [f"{type(error).__name__}: {error}"],
                                                  "error", 0, "", ""))
        self.bucket.stop()
        return results

    def run_case(self, case):
        folder = self.folder / case.name
        shutil.copytree(self.folder / "template", folder, symlinks=True)
        paths = self.paths(folder)
        problems = []
        if case.needs_namespace and not self.isolated:
            return fault_cases.result(case, [], "skipped: no mount namespace for a tmpfs", 0, "", "",
                                      passed=True)
        self.bucket.set_faults(case.rules)
        restore = case.setup(paths) if case.setup else None
        run = ProgramRun(self, folder, "fault", case.environment(paths))
        attempt_log = b""
        try:
            run.wait_idle()
            run.press_install()
            if case.kill_line:
                text, sig = case.kill_line
                line = b"\t\t" + text.encode("gbk") + b"\r\n"
                # The log moves with the staging folder: a loaded machine may only look again
                # once the swap's rename has carried it into the installation folder, where the
                # older release's own log lay before.
                logs = (paths.staging / "log/install.log", paths.install / "log/install.log")
                older = read_or_none(logs[1])

                def reached():
                    for log in logs:
                        text = read_or_none(log)
                        if text is not None and text != older and line in text:
                            return True
                    return False
                if run.wait_for(reached, case.bound, step=0.002):
                    run.process.send_signal(sig)
                else:
                    problems.append("the log line never came")
            if not run.wait_for(lambda: run.ended_state() is not None, case.bound):
                if run.alive():
                    problems.append(f"still running after {case.bound} s")
            ended = run.ended_state() if run.alive() else "killed"
            # The attempt's log, before the end of the program may remove its folder.
            for candidate in (paths.staging / "log/install.log",
                              paths.install / "log/install.log"):
                if candidate.exists():
                    attempt_log = candidate.read_bytes()
                    break
            if run.alive():
                run.press_cross()
                # A click that the loaded display lost is given again once.
                if run.wait_exit(4) is None:
                    run.press_cross()
                if run.wait_exit(6) is None:
                    problems.append("did not exit within 10 s of the cross")
            seconds = time.monotonic() - run.started
        finally:
            run.end()
            if restore:
                restore()
            self.bucket.set_faults([])
        if case.ends != ended:
            problems.append(f"the run ended {ended}, not {case.ends}")
        if ended == "failed" and not (paths.local / (INSTALL_NAME + "failed.log")).exists():
            problems.append("the failed attempt's log was not kept for the next run")
        if case.fires and not run.record.exists():
            problems.append("the injected fault never fired")
        window = ""
        if case.window:
            window = case.window
            if case.window not in run.texts():
                problems.append(f"the window never said {case.window!r}")
        log_text = attempt_log.decode("gbk", errors="replace")
        shown_log = ""
        for expected in case.log:
            shown_log = expected if not shown_log else shown_log
            if expected not in log_text:
                problems.append(f"the log lacks {expected!r}")

        # The next start: recovery first, then a clean installation.
        rerun = ProgramRun(self, folder, "rerun", {})
        try:
            rerun.wait_idle()
            outcome = self.state_of(paths.install)
            if outcome not in case.outcomes:
                problems.append(f"at the next start the installation is {outcome}")
            rerun.press_install()
            if not rerun.wait_for(lambda: rerun.ended_state() is not None, CLEAN_BOUND):
                problems.append("the clean run did not end")
            elif rerun.ended_state() != "finished":
                problems.append(f"the clean run ended {rerun.ended_state()}")
            rerun.press_cross()
            if rerun.wait_exit(10) is None:
                problems.append("the clean run did not exit")
        except (RuntimeError, subprocess.TimeoutExpired) as error:
            outcome = "no window"
            problems.append(f"the next start: {error}")
        finally:
            rerun.end()
        problems += self.check_clean_end(case, paths, [run, rerun])
        return fault_cases.result(case, problems, outcome, seconds, window, shown_log)

    def check_clean_end(self, case, paths, runs):
        problems = []
        if self.state_of(paths.install) != "new":
            problems.append(f"after the clean run the installation is {self.state_of(paths.install)}")
        left = sorted(p.name for p in paths.local.iterdir()
                      if p.name != INSTALL_NAME and p.name not in case.kept
                      and p.name not in self.standard)
        if left:
            problems.append("left beside the installation: " + ", ".join(left))
        problems += [f"{name} is gone" for name in case.kept if not (paths.local / name).exists()]
        hives = sorted(p.name for p in paths.registry.iterdir() if not p.name.endswith(".lock"))
        if any(not h.endswith(".reg") for h in hives):
            problems.append("left in the registry folder: " + ", ".join(hives))
        hklm = (paths.registry / "HKLM.reg").read_text(errors="replace")
        if '"DisplayVersion"="9.5.7.3"' not in hklm:
            problems.append("the uninstall entry does not name 9.5.7.3")
        root = str(paths.root.resolve()) + "/"
        for run in runs:
            if not run.writes.exists():
                continue
            for line in run.writes.read_text(errors="replace").splitlines():
                for path in line.split("\t"):
                    if path and not path.startswith(root) and not path.startswith("/dev/"):
                        problems.append(f"written outside the root: {path}")
                        return problems
        return problems
