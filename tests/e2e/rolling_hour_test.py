#!/usr/bin/env python3
"""The last hour of a live programme, end to end: the Lyrevane program plays the demo Icecast,
whose titles are changed through its admin interface; the listener moves in what was kept
from the keyboard (the Live menu's shortcuts, sent with xdotool) and from the desktop (the
real `playerctl` and `gdbus` on a private session bus).

    rolling_hour_test.py PATH/TO/Lyrevane

Checks:
1. MPRIS reports the title that is heard, can seek once audio is kept, and `playerctl
   position 30-` goes back 30 s, to the earlier title, with a Seeked signal;
2. Catch Up to Live (Ctrl+L) brings back the latest title; Back 15 Seconds (Ctrl+Shift+B)
   and Forward 15 Seconds (Ctrl+Shift+F) move by 15 s, forward never past live;
3. a seek while paused stays paused; `playerctl position 0` plays the oldest audio kept; the Programme Rundown (Ctrl+Shift+O)
   opens beside the window and Escape closes it;
4. Stop ends what was kept: MPRIS can no longer seek.
"""

from __future__ import annotations

import re
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import listener_count, set_title  # noqa: E402

MOUNT = "/quillmoor.mp3"
ADMIN_PASSWORD = "rolling-hour-admin"
PLAYER = "--player=lyrevane"
# Patience for conditions; none of these times is a figure under test.
PATIENCE = 60.0
check = desktop.check


def main() -> int:
    binary = desktop.player_from_argv(
        __doc__,
        ("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg",
         "dbus-daemon", "playerctl", "gdbus", "xdotool"))
    if isinstance(binary, int):
        return binary

    with desktop.Desktop() as desk:
        desk.start_bus()
        streams = desk.start_streams(ADMIN_PASSWORD)
        portal = desk.start_portal(streams)
        profile = desktop.Profile(desk.dir / "profile", portal)
        seeks = desk.spawn(["gdbus", "monitor", "--session", "--dest",
                            "org.mpris.MediaPlayer2.lyrevane"],
                           env=dict(desk.env, DBUS_SESSION_BUS_ADDRESS=desk.bus),
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        seeked: list[str] = []
        threading.Thread(target=lambda: [seeked.append(line) for line in seeks.stdout
                                         if ".Seeked" in line], daemon=True).start()

        player = desk.start_player(binary, ["lyrev:play?" + desktop.escape(streams + MOUNT)],
                                   profile, desk.dir / "player.log")

        def playerctl(*args: str) -> str:
            return desk.bus_command(["playerctl", PLAYER, *args])

        def title() -> str:
            return playerctl("metadata", "xesam:title")

        def position() -> float:
            try:
                return float(playerctl("position"))
            except ValueError:
                return -1.0

        def can_seek() -> bool:
            answer = desk.bus_command(
                ["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.lyrevane",
                 "--object-path", "/org/mpris/MediaPlayer2", "--method",
                 "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player",
                 "CanSeek"])
            return "true" in answer

        def heard(expected: str) -> bool:
            return desktop.wait_until(lambda: title() == expected, PATIENCE)

        def keys(*names: str) -> None:
            window = desk.wait_for_window(player.pid, 10)
            subprocess.run(["xdotool", "windowfocus", "--sync", str(window), "key", *names],
                           env=desk.env, check=False, timeout=10)

        check(desktop.wait_until(lambda: listener_count(streams, MOUNT) >= 1, PATIENCE),
              "Icecast counts the player")
        set_title(streams, MOUNT, "Opening bell", ADMIN_PASSWORD)
        check(heard("Opening bell"), f"MPRIS names the title heard ({title()!r})")
        # Some audio under the first title, then the second.
        check(desktop.wait_until(lambda: position() >= 20, PATIENCE),
              f"the position grows with what is kept ({position():.1f} s)")
        set_title(streams, MOUNT, "Small caps to watch", ADMIN_PASSWORD)
        check(heard("Small caps to watch"), f"the new title is heard ({title()!r})")
        check(can_seek(), "CanSeek once audio is kept behind what plays")
        # Back 30 s from here lands within the first title.
        check(desktop.wait_until(lambda: position() >= 40, PATIENCE),
              f"20 s more are kept ({position():.1f} s)")

        # 1. The desktop goes back 30 s, into the first title.
        before = position()
        jumps = len(seeked)
        playerctl("position", "30-")
        check(heard("Opening bell"), f"playerctl position 30- plays the earlier title "
                                     f"({title()!r})")
        after = position()
        check(before - 32 <= after <= before - 25,
              f"and moves back 30 s ({before:.1f} s -> {after:.1f} s)")
        check(desktop.wait_until(lambda: len(seeked) > jumps, 10), "Seeked is emitted")

        # 2. The Live menu from the keyboard.
        keys("ctrl+l")
        check(heard("Small caps to watch"), "Catch Up to Live plays the latest title again")
        live = position()
        live_at = time.monotonic()
        keys("ctrl+shift+b")
        back = desktop.wait_until(lambda: (p := position()) < live - 10 and p, 10) or position()
        # Where live went meanwhile, less the 15 s (a busy machine takes its time to answer).
        expected = live + (time.monotonic() - live_at) - 15
        check(abs(back - expected) <= 3, f"Back 15 Seconds ({live:.1f} s -> {back:.1f} s)")
        jumps = len(seeked)
        keys("ctrl+shift+f")
        check(desktop.wait_until(lambda: len(seeked) > jumps, 10),
              "Forward 15 Seconds jumps, announced by Seeked")
        jumps = len(seeked)
        keys("ctrl+shift+f")  # from 15 s behind: to live, or short of it by the live margin
        desktop.wait_until(lambda: len(seeked) > jumps, 10)
        ahead = position()
        now_live = live + (time.monotonic() - live_at)
        check(back + 10 < ahead <= now_live + 1.5,
              f"Forward never passes live ({back:.1f} s -> {ahead:.1f} s, live {now_live:.1f} s)")

        # A seek while paused moves what will play, and stays paused.
        playerctl("pause")
        check(desktop.wait_until(lambda: playerctl("status") == "Paused", 10), "paused")
        jumps = len(seeked)
        playerctl("position", "10-")
        check(desktop.wait_until(lambda: len(seeked) > jumps, 10)
              and playerctl("status") == "Paused", "a seek while paused stays paused")
        assert desk.recorder is not None
        desk.recorder.reset()
        playerctl("play")
        check(desktop.wait_until(lambda: playerctl("status") == "Playing", 10)
              and desk.recorder.wait_for_audio(15, seconds=1.0), "and plays on from there")

        # 3. The oldest audio, and the rundown.
        jumps = len(seeked)
        playerctl("position", "0")
        check(desktop.wait_until(lambda: len(seeked) > jumps and position() < 5, 10),
              f"playerctl position 0 plays the oldest audio kept ({position():.1f} s)")
        keys("ctrl+shift+o")
        rundown = desktop.wait_until(
            lambda: desk.x11().find_window(player.pid, "Programme Rundown"), 10)
        check(bool(rundown), "Ctrl+Shift+O opens the Programme Rundown")
        if rundown:
            subprocess.run(["xdotool", "windowfocus", "--sync", str(rundown), "key", "Escape"],
                           env=desk.env, check=False, timeout=10)
            check(desktop.wait_until(
                lambda: desk.x11().find_window(player.pid, "Programme Rundown") is None, 10),
                "Escape closes it")

        # 4. Stop ends what was kept.
        playerctl("stop")
        check(desktop.wait_until(lambda: playerctl("status") == "Stopped"
                                 and not can_seek(), 20),
              "after Stop nothing is kept: CanSeek is false")
        check(desk.close_window(player.pid, timeout=15), "the main window closes")
        try:
            status = player.wait(20)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 0, f"the program ends with status 0 ({status})")
        log = (desk.dir / "player.log").read_text(errors="replace")
        if desktop.failures:
            print(re.sub(r"(?m)^", "player: ", log[-4000:]))
    return desktop.verdict()


if __name__ == "__main__":
    sys.exit(main())
