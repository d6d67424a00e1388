#!/usr/bin/env python3
"""End to end: the Lyrevane program and its settings file, on a private X screen.

    tests/e2e/player_store_test.py PATH/TO/Lyrevane

1. Another process holds the settings file locked (SQLite exclusive locking mode, a write
   transaction open) for the player's whole run: the main window shows on the defaults,
   one message box says that the settings file is busy, closing ends the program, and
   the stored window settings are unchanged afterwards. The seconds from start to the
   window and from the close request to the end are printed (bench figures; limits
   belong to bench/, not here).
2. Under LC_ALL=de_DE.UTF-8 (a decimal comma): stored "700.6" reads as 701, and the
   values written at shutdown use the store's fixed forms (digits and "."). Skipped when
   the machine has no such locale (scripts/install-deps generates it).

The player runs in its own network namespace (unshare -n): with the file locked it falls
back to the built-in portal address, which must not be reached.

Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
"""

from __future__ import annotations

import locale
import os
import sqlite3
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop  # noqa: E402

WINDOW_SECTION = "v1_0\\WindowSettings"
COMMA_LOCALE = "de_DE.UTF-8"
# How long a condition is waited for (a busy machine included); not a performance limit.
# LYREVANE_E2E_PATIENCE=seconds raises it, to measure a build that waits long.
PATIENCE = float(os.environ.get("LYREVANE_E2E_PATIENCE", "120"))
# The player runs in a network namespace of its own (chosen in main()).
UNSHARE = ["unshare", "-n"]

failures = desktop.failures
check = desktop.check


def windows_of(desk: desktop.Desktop, pid: int) -> list[tuple[int, int, int]]:
    """Mapped top-level windows of `pid` captioned with the application title:
    (window, width, height)."""
    x11 = desk.x11()
    found = []
    for window in x11.top_level_windows():
        if x11._longs(window, "_NET_WM_PID") != [pid]:
            continue
        if x11._property(window, "_NET_WM_NAME")[1].decode("utf-8", "replace") != desktop.APP_TITLE:
            continue
        attributes = desktop._WindowAttributes()
        if (x11._x.XGetWindowAttributes(x11._dpy, window, desktop.ctypes.byref(attributes))
                and attributes.map_state == x11.IS_VIEWABLE):
            found.append((window, attributes.width, attributes.height))
    return found


def wait_for(condition, timeout: float = PATIENCE, step: float = 0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def start_isolated(desk: desktop.Desktop, binary: str, profile: desktop.Profile,
                   logfile: Path, extra_env: dict[str, str] | None = None) -> subprocess.Popen:
    env = desk.player_environment(profile)
    env.update(extra_env or {})
    if UNSHARE[1] != "-n" and "--no-sandbox" not in env["QTWEBENGINE_CHROMIUM_FLAGS"]:
        env["QTWEBENGINE_CHROMIUM_FLAGS"] += " --no-sandbox"  # root inside the namespace
    out = open(logfile, "wb")
    try:
        return desk.spawn([*UNSHARE, binary], own_group=True, env=env, stdout=out,
                          stderr=subprocess.STDOUT)
    finally:
        out.close()


def ends(process: subprocess.Popen, timeout: float = PATIENCE) -> int | None:
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        return None


def locked_store(desk: desktop.Desktop, binary: str) -> None:
    profile = desktop.Profile(desk.dir / "locked", "http://127.0.0.1:9")
    stored = {"Width": "800", "Height": "600", "Volume": "33"}
    profile.write(WINDOW_SECTION, stored)

    holder = sqlite3.connect(profile.store, isolation_level=None)
    holder.executescript("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                         "CREATE TABLE lock_holder (x); INSERT INTO lock_holder VALUES (1);")
    try:
        logfile = desk.dir / "locked.log"
        started = time.monotonic()
        player = start_isolated(desk, binary, profile, logfile)
        first = wait_for(lambda: windows_of(desk, player.pid))
        shown = time.monotonic() - started
        check(bool(first), f"a window shows with the settings file locked "
                           f"({shown:.2f} s after start)")
        both = wait_for(lambda: len(windows_of(desk, player.pid)) >= 2)
        boxed = time.monotonic() - started
        check(bool(both), f"the main window and a message box are up ({boxed:.2f} s after start)")
        windows = sorted(windows_of(desk, player.pid), key=lambda w: w[1] * w[2])
        if len(windows) >= 2:
            main = windows[-1]
            check((main[1], main[2]) == (640, 480),
                  f"the main window has the default size ({main[1]}x{main[2]})")
            # Said once: no second box follows while the first is open.
            time.sleep(1.0)
            check(len(windows_of(desk, player.pid)) == 2,
                  f"exactly one message box ({len(windows_of(desk, player.pid)) - 1})")
            box = windows[0][0]
            desk.x11().request_close(box)
            wait_for(lambda: len(windows_of(desk, player.pid)) == 1)
            closing = time.monotonic()
            check(desk.x11().request_close(main[0]), "the main window takes WM_DELETE_WINDOW")
            status = ends(player)
            closed = time.monotonic() - closing
            check(status == 0, f"the program ends with status 0 ({status}), "
                               f"{closed:.2f} s after the close request")
            print(f"FIGURES locked store: window {shown:.2f} s, message box {boxed:.2f} s, "
                  f"close {closed:.2f} s", flush=True)
        log = logfile.read_text(errors="replace")
        check("busy" in log, "stderr says the settings file is busy")
    finally:
        holder.execute("ROLLBACK")
        holder.close()
    after = profile.read(WINDOW_SECTION)
    check(all(after.get(k) == v for k, v in stored.items()),
          f"the stored window settings are unchanged ({after})")


def comma_locale(desk: desktop.Desktop, binary: str) -> None:
    try:
        locale.setlocale(locale.LC_ALL, COMMA_LOCALE)
        locale.setlocale(locale.LC_ALL, "C")
    except locale.Error:
        print(f"SKIP: the locale {COMMA_LOCALE} is not installed (scripts/install-deps "
              "generates it)", flush=True)
        return
    profile = desktop.Profile(desk.dir / "comma", "http://127.0.0.1:9")
    profile.write(WINDOW_SECTION, {"Width": "700.6", "Height": "500,4", "Volume": "70.6",
                                   "PlayBarBottom": "120.5"})
    started = time.monotonic()
    player = start_isolated(desk, binary, profile, desk.dir / "comma.log",
                            {"LC_ALL": COMMA_LOCALE})
    window = wait_for(lambda: windows_of(desk, player.pid))
    shown = time.monotonic() - started
    if not check(bool(window), f"the window shows under LC_ALL={COMMA_LOCALE}"):
        return
    print(f"FIGURES free store: window {shown:.2f} s", flush=True)
    _, width, height = window[0]
    check((width, height) == (701, 500), f"stored 700.6 x 500,4 open 701 x 500 ({width}x{height})")
    desk.x11().request_close(window[0][0])
    check(ends(player) == 0, "the program ends after the close request")
    saved = profile.read(WINDOW_SECTION)
    check((saved.get("Width"), saved.get("Height"), saved.get("Volume")) == ("701", "500", "71"),
          f"saved as 701, 500 and 71 ({saved})")
    bottom = saved.get("PlayBarBottom", "")
    check(bottom != "" and "," not in bottom and float(bottom) > 0,
          f"PlayBarBottom saved with digits and a point ({bottom!r})")


def main() -> int:
    binary = desktop.player_from_argv(__doc__, ("Xvfb", "unshare"))
    if isinstance(binary, int):
        return binary
    global UNSHARE
    for command in (["unshare", "-n"], ["unshare", "-rn"]):  # as root, or in a user namespace
        if subprocess.run([*command, "true"], capture_output=True).returncode == 0:
            UNSHARE = command
            break
    else:
        print("SKIP: cannot make a network namespace here (unshare -n or -rn)")
        return 77
    with desktop.Desktop(sound=False) as desk:
        locked_store(desk, binary)
        comma_locale(desk, binary)
    return desktop.verdict()


if __name__ == "__main__":
    sys.exit(main())
