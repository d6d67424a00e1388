#!/usr/bin/env python3
"""The skinned Lyrevane program under real window systems.

    tests/e2e/skin_desktop_test.py openbox PATH/TO/Lyrevane
    tests/e2e/skin_desktop_test.py wayland PATH/TO/Lyrevane

openbox: on a private X screen managed by openbox, the main window and the Customise Skin
dialog have no desktop frame (_NET_FRAME_EXTENTS all zero, _MOTIF_WM_HINTS without
decorations), dragging the main window's drawn caption with the pointer (XTest) moves it and
dragging its corner resizes it; closing it saves the seven skin settings.

wayland: on a headless Weston compositor (QT_QPA_PLATFORM=wayland, no X display), the
skinned player starts on the demo stream, Icecast counts it, its sound reaches a private
null sink, a compositor screenshot shows the drawn caption bar, and SIGTERM ends it with
the skin settings saved.

Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
"""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import listener_count  # noqa: E402

SKIN_SECTION = "v1_0\\SkinSettings"
SKIN_KEYS = ["Colourise", "Hue", "Saturation", "AdjustRGB", "PercentRed", "PercentGreen",
             "PercentBlue"]
MOUNT = "/quillmoor.mp3"
# Nothing listens here: the window's pages fail at once and nothing leaves the machine.
NO_PORTAL = "http://127.0.0.1:9"
# The body's face colour with the first-run transforms.
FACE_COLOUR = (121, 174, 152)

failures = desktop.failures
check = desktop.check


def wait(condition, timeout: float) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return bool(condition())


def run(args: list[str], env: dict[str, str]) -> str:
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=20)
    return result.stdout if result.returncode == 0 else ""


def saved_skin(profile: desktop.Profile) -> dict[str, str]:
    return profile.read(SKIN_SECTION)


def position(env: dict[str, str], window: int) -> tuple[int, int] | None:
    found = re.search(r"Position: (-?\d+),(-?\d+)",
                      run(["xdotool", "getwindowgeometry", str(window)], env))
    return (int(found.group(1)), int(found.group(2))) if found else None


def size(env: dict[str, str], window: int) -> tuple[int, int] | None:
    found = re.search(r"Geometry: (\d+)x(\d+)",
                      run(["xdotool", "getwindowgeometry", str(window)], env))
    return (int(found.group(1)), int(found.group(2))) if found else None


def drag(env: dict[str, str], grab: tuple[int, int], by: tuple[int, int], changed) -> bool:
    """Presses at `grab`, nudges until `changed()` (the window manager has taken over),
    then moves the pointer by `by` and releases. Whether the window manager took over."""
    run(["xdotool", "mousemove", str(grab[0]), str(grab[1])], env)
    run(["xdotool", "mousedown", "1"], env)
    nudge = 0

    def nudged() -> bool:
        nonlocal nudge
        nudge = 1 - nudge
        run(["xdotool", "mousemove", str(grab[0] + 2 + nudge), str(grab[1] + 1 + nudge)], env)
        return changed()

    began = wait(nudged, 10)
    for i in range(1, 6):
        run(["xdotool", "mousemove", str(grab[0] + by[0] * i // 5),
             str(grab[1] + by[1] * i // 5)], env)
    return began


def frameless(env: dict[str, str], window: int, what: str) -> None:
    """Checks that the window asks for no decorations and openbox draws no frame round it."""
    extents = ""

    def framed() -> bool:
        nonlocal extents
        extents = run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], env)
        return "=" in extents

    wait(framed, 15)
    hints = run(["xprop", "-id", str(window), "_MOTIF_WM_HINTS"], env)
    # flags, functions, decorations, ...: the decorations flag (2) set and no decoration
    fields = [int(v, 0) for v in re.findall(r"0x[0-9a-f]+|\d+", hints.split("=")[-1])]
    check(len(fields) >= 3 and fields[0] & 2 and fields[2] == 0
          and re.search(r"=\s*0,\s*0,\s*0,\s*0", extents) is not None,
          f"{what} is frameless to the window manager ({hints.strip()}; {extents.strip()})")


def openbox(binary: str) -> None:
    with desktop.Desktop(sound=False) as desk:
        desk.spawn(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(wait(lambda: run(["wmctrl", "-m"], desk.env) != "", 15), "openbox manages the screen")
        profile = desktop.Profile(desk.dir / "profile", NO_PORTAL)
        logfile = desk.dir / "player.log"
        player = desk.start_player(binary, [], profile, logfile)
        # xdotool rather than the desktop module's X11 helper: a window manager's windows come
        # and go while the tree is walked, which that helper does not survive.
        window = None

        def found() -> bool:
            nonlocal window
            ids = run(["xdotool", "search", "--pid", str(player.pid), "--name",
                       desktop.APP_TITLE], desk.env).split()
            window = int(ids[0]) if ids else None
            return window is not None

        wait(found, 60)
        if not check(window is not None, "the main window appears"):
            print(logfile.read_text(errors="replace")[-3000:])
            return
        extents = ""

        def framed() -> bool:
            nonlocal extents
            extents = run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], desk.env)
            return "=" in extents

        wait(framed, 15)
        check(re.search(r"=\s*0,\s*0,\s*0,\s*0", extents) is not None,
              f"openbox adds no frame ({extents.strip()})")
        frameless(desk.env, window, "the main window")

        start = None
        wait(lambda: position(desk.env, window) is not None, 10)
        # The window manager has placed it once two readings in a row agree.
        placed = [position(desk.env, window)]

        def settled() -> bool:
            now = position(desk.env, window)
            same = now is not None and now == placed[0]
            placed[0] = now
            return same

        wait(settled, 10)
        start = placed[0]
        if check(start is not None, f"the window's position is known ({start})"):
            x, y = start
            grab = (x + 200, y + 12)  # on the caption bar, away from its buttons
            pointer = list(grab)

            def move_to(px: int, py: int) -> None:
                pointer[:] = [px, py]
                run(["xdotool", "mousemove", str(px), str(py)], desk.env)

            move_to(*grab)
            run(["xdotool", "mousedown", "1"], desk.env)
            # The window manager takes the move over when the player asks it to: nudge the
            # pointer until the window follows.
            nudge = 0

            def following() -> bool:
                nonlocal nudge
                nudge = 1 - nudge
                move_to(grab[0] + 2 + nudge, grab[1] + 1 + nudge)
                return position(desk.env, window) != start

            began = wait(following, 10)
            check(began, "the window follows the pointer once the caption is pressed")
            now = position(desk.env, window) or start
            offset = (pointer[0] - now[0], pointer[1] - now[1])
            for i in range(1, 6):
                move_to(grab[0] + 20 * i, grab[1] + 12 * i)
            target = (grab[0] + 100 - offset[0], grab[1] + 60 - offset[1])
            moved = wait(lambda: position(desk.env, window) == target, 10)
            run(["xdotool", "mouseup", "1"], desk.env)
            end = position(desk.env, window)
            check(moved and end is not None and abs(end[0] - (x + 100)) <= 4
                  and abs(end[1] - (y + 60)) <= 4,
                  f"dragging the caption 100 right and 60 down moves the window from {start} "
                  f"with the pointer ({end})")

        # The bottom right corner resizes through the window manager.
        wait(lambda: size(desk.env, window) is not None, 10)
        before = size(desk.env, window)
        where = position(desk.env, window)
        if check(before is not None and where is not None, f"the window's size is known ({before})"):
            corner = (where[0] + before[0] - 2, where[1] + before[1] - 2)
            began = drag(desk.env, corner, (60, 40), lambda: size(desk.env, window) != before)
            grown = wait(lambda: (s := size(desk.env, window)) is not None
                         and abs(s[0] - before[0] - 60) <= 4 and abs(s[1] - before[1] - 40) <= 4,
                         10)
            run(["xdotool", "mouseup", "1"], desk.env)
            check(began and grown, f"dragging the corner resizes the window from {before} "
                                   f"({size(desk.env, window)})")

        # File > Customize Skin, from the keyboard: its dialog is skinned the same way.
        run(["xdotool", "windowactivate", "--sync", str(window), "key", "alt+f", "c"], desk.env)
        dialog: list[int] = []
        wait(lambda: bool(dialog.extend(int(i) for i in run(
            ["xdotool", "search", "--name", "Customise Skin"], desk.env).split()) or dialog), 20)
        if check(bool(dialog), "File > Customize Skin opens its dialog"):
            frameless(desk.env, dialog[0], "the Customise Skin dialog")
            run(["xdotool", "key", "--window", str(dialog[0]), "Escape"], desk.env)

        subprocess.run(["wmctrl", "-i", "-c", hex(window)], env=desk.env, timeout=20)
        try:
            status = player.wait(20)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 0, f"the program ends with status 0 ({status})")
        check(list(saved_skin(profile)) and all(k in saved_skin(profile) for k in SKIN_KEYS),
              f"the seven skin settings are saved ({saved_skin(profile)})")
        if failures:
            print(logfile.read_text(errors="replace")[-3000:])


def wayland(binary: str) -> None:
    with desktop.Desktop() as desk:
        runtime = desk.dir / "weston-runtime"
        runtime.mkdir(mode=0o700)
        socket = runtime / "lyrevane-wayland"
        weston_env = dict(desk.env, XDG_RUNTIME_DIR=str(runtime))
        weston_env.pop("DISPLAY", None)
        weston_log = open(desk.dir / "weston.log", "wb")
        desk.spawn(["weston", "--backend=headless-backend.so", "--use-pixman", "--width=1024",
                    "--height=768", f"--socket={socket.name}", "--idle-time=0", "--debug"],
                   env=weston_env, stdout=weston_log, stderr=subprocess.STDOUT, cwd=desk.dir)
        weston_log.close()
        if not check(wait(socket.exists, 20), "weston's headless compositor starts"):
            print((desk.dir / "weston.log").read_text(errors="replace")[-3000:])
            return

        streams = desk.start_streams()
        portal = desk.start_portal(streams)
        profile = desktop.Profile(desk.dir / "profile", portal)
        env = desk.player_environment(profile)
        env.pop("DISPLAY", None)
        env.update(QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=str(socket))
        logfile = desk.dir / "player.log"
        command = "lyrev:play?" + desktop.escape(streams + MOUNT)
        with open(logfile, "wb") as out:
            player = desk.spawn([binary, command], own_group=True, env=env, stdout=out,
                                stderr=subprocess.STDOUT)
        assert desk.recorder is not None
        counted = wait(lambda: player.poll() is None and listener_count(streams, MOUNT) >= 1, 30)
        check(counted, "the player on Wayland is counted by Icecast")
        check(desk.recorder.wait_for_audio(20, seconds=1.0),
              "its sound reaches the sink (at least 1 s)")

        # A compositor screenshot: the caption bar's colours are on screen.
        shot_env = dict(weston_env, WAYLAND_DISPLAY=str(socket))
        subprocess.run(["weston-screenshooter"], env=shot_env, cwd=desk.dir, timeout=20,
                       capture_output=True)
        shots = sorted(desk.dir.glob("wayland-screenshot-*.png"))
        if check(bool(shots), "weston takes a screenshot"):
            keep = os.environ.get("LYREVANE_WAYLAND_SCREENSHOT")
            if keep:
                shutil.copy(shots[-1], keep)
            raw = subprocess.run(["ffmpeg", "-v", "error", "-i", str(shots[-1]), "-f", "rawvideo",
                                  "-pix_fmt", "rgb24", "-"], capture_output=True, timeout=30).stdout
            face = bytes(FACE_COLOUR)
            pixels = sum(1 for i in range(0, len(raw) - 2, 3) if raw[i:i + 3] == face)
            check(pixels >= 5000, f"the window's body wears the skin's face colour ({pixels} px)")

        log_text = logfile.read_text(errors="replace")
        check("Could not load the Qt platform plugin" not in log_text
              and "xcb" not in log_text.lower(), "Qt runs on its Wayland platform")
        player.send_signal(signal.SIGTERM)
        try:
            status = player.wait(20)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 0, f"SIGTERM ends the program with status 0 ({status})")
        check(all(k in saved_skin(profile) for k in SKIN_KEYS),
              f"the seven skin settings are saved ({saved_skin(profile)})")
        if failures:
            print(log_text[-3000:])
            print((desk.dir / "weston.log").read_text(errors="replace")[-2000:])


def main() -> int:
    if len(sys.argv) != 3 or sys.argv[1] not in ("openbox", "wayland"):
        print(__doc__, file=sys.stderr)
        return 2
    mode, binary = sys.argv[1], str(Path(sys.argv[2]).resolve())
    needed = {"openbox": ("Xvfb", "openbox", "wmctrl", "xdotool", "xprop"),
              "wayland": ("Xvfb", "weston", "weston-screenshooter", "pulseaudio", "parec",
                          "icecast2", "ffmpeg")}[mode]
    for tool in needed:
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed")
            return 77
    if mode == "wayland" and not Path("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/"
                                      "libqwayland-generic.so").exists():
        print("SKIP: Qt's Wayland platform (qt6-wayland) is not installed")
        return 77
    openbox(binary) if mode == "openbox" else wayland(binary)
    return desktop.verdict()


if __name__ == "__main__":
    sys.exit(main())
