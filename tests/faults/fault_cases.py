"""The cases of the fault suite: one fault each, how the faulted run must end, what the window
and the log must say, and what the next start may find under the installation's name."""

import shutil
import signal
import subprocess
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional

INSTALL_NAME = "BRivostel471203v9.5"
NEW_FIX, NEW_QUANT = "9.5.7.3", "9.5.1.4"
REMOTE = "9.5BRivostelIE"
KILL, TERM = signal.SIGKILL, signal.SIGTERM
ENOSPC, EROFS, EACCES = 28, 30, 13

# The worker's log lines, in the order of a run.
STEP_LINES = ["Version: IE_9.5.7.1", "下载前端依赖库", "下载服务依赖库", "下载配置文件", "下载运行库",
              "下载Quant", "安装前端依赖库", "安装服务依赖库", "安装运行库", "安装配置文件",
              "安装Quant运行库", "清理安装文件", "保存更新版本信息", "删除源文件",
              "复制新版本数据到原目录"]
SWAP_LINES = STEP_LINES[-2:]  # from here on a kill may leave either release

# The window's texts in English (the runs use en_US).
MOVE_FAILED = "Move new version into place Fail"


def cache_value(build, name):
    for line in (Path(build) / "CMakeCache.txt").read_text().splitlines():
        if line.startswith(name + ":"):
            return line.split("=", 1)[1]
    raise KeyError(name)


@dataclass
class Paths:
    root: Path
    local: Path
    install: Path
    staging: Path
    aside: Path
    journal: Path
    registry: Path
    release: Path


@dataclass
class Case:
    name: str
    fault: str
    ends: str = "failed"  # killed | failed | finished
    outcomes: tuple = ("old",)  # what the next start may find
    shim: Optional[Callable[[Paths], dict]] = None  # the shim's settings
    kill_line: Optional[tuple] = None  # (log line, signal)
    rules: list = field(default_factory=list)  # the bucket's faults
    setup: Optional[Callable[[Paths], Optional[Callable[[], None]]]] = None  # returns its undo
    window: str = ""
    log: tuple = ()
    kept: tuple = ()  # names beside the installation that must stay
    bound: float = 45
    needs_namespace: bool = False

    @property
    def fires(self):
        return self.shim is not None

    def environment(self, paths):
        return self.shim(paths) if self.shim else {}


def result(case, problems, outcome, seconds, window, log, passed=None):
    return {"name": case.name, "fault": case.fault, "outcome": outcome, "seconds": seconds,
            "window": window, "log": log, "problems": problems,
            "passed": (not problems) if passed is None else passed}


def shim(call, path, action, nth=1, every=False):
    def settings(paths):
        text = path(paths) if callable(path) else path
        env = {"FAULT_CALL": call, "FAULT_PATH": text, "FAULT_ACTION": action,
               "FAULT_NTH": str(nth)}
        if every:
            env["FAULT_EVERY"] = "1"
        return env
    return settings


def exactly(which):
    return lambda p: "==" + str(getattr(p, which))


def below(which):
    return lambda p: "=" + str(getattr(p, which))


CASES = []

# Kills when each step line reaches the log, SIGKILL and SIGTERM in turn.
for i, line in enumerate(STEP_LINES):
    sig = KILL if i % 2 == 0 else TERM
    CASES.append(Case(
        f"kill-at-line-{i + 1:02d}", f"{sig.name} at log line {line}", ends="killed",
        kill_line=(line, sig), outcomes=("old", "new") if line in SWAP_LINES else ("old",)))

# Kills at exact file-system calls of the swap and what follows it.
CASES += [
    Case("kill-after-aside-move", "SIGKILL after the rename that sets the old folder aside",
         ends="killed", outcomes=("new",), shim=shim("rename", exactly("install"), "kill-after")),
    Case("term-after-aside-move", "SIGTERM after the rename that sets the old folder aside",
         ends="killed", outcomes=("new",), shim=shim("rename", exactly("install"), "term-after")),
    Case("kill-before-staging-move", "SIGKILL at the rename of the staging folder into place",
         ends="killed", outcomes=("new",), shim=shim("rename", exactly("staging"), "kill")),
    Case("term-after-staging-move", "SIGTERM after the rename of the staging folder into place",
         ends="killed", outcomes=("new",), shim=shim("rename", exactly("staging"), "term-after")),
    Case("kill-at-journal-aside", "SIGKILL at the journal's first write", ends="killed",
         shim=shim("open", "swap.ini.tmp-", "kill")),
    Case("kill-at-journal-state", "SIGKILL at the journal's second write (the state)",
         ends="killed", shim=shim("open", "swap.ini.tmp-", "kill", nth=2)),
    Case("kill-at-journal-placed", "SIGKILL at the journal's mark after the move", ends="killed",
         outcomes=("new",), shim=shim("open", "swap.ini.tmp-", "kill", nth=3)),
    Case("kill-deleting-set-aside", "SIGKILL at the fifth deletion in the set-aside copy",
         ends="killed", outcomes=("new",), shim=shim("unlink", below("aside"), "kill", nth=5)),
    Case("kill-writing-hklm", "SIGKILL after the temporary hive file is made (uninstall entry)",
         ends="killed", outcomes=("new",), shim=shim("open", "HKLM.reg.", "kill-after")),
    Case("term-writing-hkcr", "SIGTERM after the temporary hive file is made (URL protocol)",
         ends="killed", outcomes=("new",), shim=shim("open", "HKCR.reg.", "term-after")),
    Case("kill-writing-shortcut", "SIGKILL at the shortcut's write", ends="killed",
         outcomes=("new",), shim=shim("open", ".lnk", "kill")),
    Case("kill-writing-settings", "SIGKILL after the temporary settings file is made",
         ends="killed", shim=shim("open", "brivostel.Default.pri.tmp-", "kill-after")),
    Case("term-extracting-runtime", "SIGTERM at the runtime package's first file", ends="killed",
         shim=shim("open", lambda p: "=" + str(p.staging / "runtime"), "term")),
]

# Calls that fail.
CASES += [
    Case("aside-move-fails", "the rename that sets the old folder aside fails (EACCES)",
         shim=shim("rename", exactly("install"), f"fail:{EACCES}"), window=MOVE_FAILED,
         log=("Rename Fail,from:",)),
    Case("staging-move-fails", "the rename of the staging folder into place fails (EACCES)",
         shim=shim("rename", exactly("staging"), f"fail:{EACCES}"), window=MOVE_FAILED,
         log=("Rename Fail,from:",)),
    Case("update-ini-write-fails", "the write of update.ini fails (ENOSPC)",
         shim=shim("write", "update.ini.tmp-", f"fail:{ENOSPC}", every=True),
         window="Save version information Fail", log=("WritePrivateProfileString Fail",)),
    Case("hive-commit-fails", "every write of the machine hive fails (ENOSPC)", ends="finished",
         outcomes=("new",), shim=shim("write", "HKLM.reg.", f"fail:{ENOSPC}", every=True),
         window="Open", log=("DisplayName Setvalue Failed",)),
    Case("settings-write-fails", "the write of the client's settings fails (ENOSPC)",
         ends="finished", outcomes=("new without settings",),
         shim=shim("write", "brivostel.Default.pub.tmp-", f"fail:{ENOSPC}", every=True),
         window="Open", log=("WritePrivateProfileString Fail",)),
    Case("set-aside-delete-fails", "the set-aside copy cannot be deleted (EACCES)",
         ends="finished", outcomes=("new",),
         shim=shim("unlink", below("aside"), f"fail:{EACCES}", every=True),
         window="Open", log=("Delete Fail,path:",)),
    Case("read-only-installation", "every change under the installation folder fails (EROFS)",
         shim=shim("any-write", below("install"), f"fail:{EROFS}", every=True),
         window=MOVE_FAILED, log=("Rename Fail,from:",)),
]


def unemptiable_staging(paths):
    (paths.staging / "earlier").mkdir(parents=True)
    (paths.staging / "earlier/attempt.txt").write_text("an earlier attempt")


def foreign_aside(paths):
    paths.aside.mkdir()
    (paths.aside / "mine.txt").write_text("the user's")


CASES += [
    Case("unemptiable-staging", "an earlier attempt's staging folder cannot be emptied",
         setup=unemptiable_staging,
         shim=shim("unlink", lambda p: "=" + str(p.staging / "earlier"), f"fail:{EACCES}",
                   every=True),
         window="Delete install files Fail", log=("Staging folder not empty",)),
    Case("foreign-set-aside-folder", "a folder named like the set-aside one, not the installer's",
         ends="finished", outcomes=("new",), setup=foreign_aside, window="Open",
         kept=(INSTALL_NAME + "old",)),
]


def full_disk(paths):
    """A tmpfs over the user's local folder, with room for the old release and a part of the
    new one; undone by moving what it holds back onto the disk."""
    keep = paths.root / "local-before"
    shutil.copytree(paths.local, keep, symlinks=True)
    used = sum(f.stat().st_size for f in keep.rglob("*") if f.is_file())
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={used + 96 * 1024}", "tmpfs",
                    str(paths.local)], check=True)
    shutil.copytree(keep, paths.local, symlinks=True, dirs_exist_ok=True)
    shutil.rmtree(keep)

    def undo():
        shutil.copytree(paths.local, keep, symlinks=True)
        subprocess.run(["umount", str(paths.local)], check=True)
        shutil.rmtree(paths.local)
        shutil.move(str(keep), str(paths.local))
    return undo


CASES.append(Case("full-disk", "the disk of the installation and staging folders fills up",
                  setup=full_disk, needs_namespace=True))

# Server faults, per package.
PACKAGES = [
    ("base", f"{REMOTE}/base.zip", "Download service dependency library Fail",
     "Install service dependency library Fail"),
    ("config", f"{REMOTE}/config.zip", "Download configuration file Fail",
     "Install configuration file Fail"),
    ("runtime", f"{REMOTE}/fix/{NEW_FIX}.zip", "Download runtime library Fail",
     "Install runtime library Fail"),
    ("quant", f"{REMOTE}/quant/{NEW_QUANT}.zip", "Download Quant runtime library Fail",
     "Install Quant Runtime Library Fail"),
]


def empty_object(key):
    def setup(paths):
        target = paths.release / key.split("/", 1)[1]
        saved = target.read_bytes()
        target.write_bytes(b"")
        return lambda: target.write_bytes(saved)
    return setup


for package, key, download_failed, install_failed in PACKAGES:
    CASES += [
        Case(f"{package}-500s", f"{package}: 500 until the retries run out",
             rules=[{"method": "GET", "key": key, "status": 500, "times": -1}],
             window=download_failed),
        # Reset before any body byte: an attempt that brings bytes is continued by the next and
        # costs no retry, so resets after some bytes would end in a (slow) success.
        Case(f"{package}-reset", f"{package}: the connection reset before the first body byte",
             rules=[{"method": "GET", "key": key, "reset_after": 0, "times": -1}],
             window=download_failed),
        Case(f"{package}-truncated", f"{package}: a body shorter than its Content-Length",
             rules=[{"method": "GET", "key": key, "content_length": "999999", "times": -1}],
             window=download_failed),
        Case(f"{package}-wrong-crc", f"{package}: a wrong CRC-64 header",
             rules=[{"method": "GET", "key": key, "crc64": "wrong", "times": -1}],
             window=download_failed),
        Case(f"{package}-empty", f"{package}: an empty object", setup=empty_object(key),
             window=install_failed),
    ]
