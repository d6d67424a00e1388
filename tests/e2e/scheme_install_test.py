#!/usr/bin/env python3
"""End to end: a scheduled broadcast opens an installed player through the lyrev: scheme.

    tests/e2e/scheme_install_test.py CMAKE BUILD_DIR

1. `cmake --install` puts the build into a temporary root (DESTDIR);
2. a private profile holds only that installed desktop entry (XDG_DATA_DIRS) and a
   mimeapps.list that makes it the x-scheme-handler/lyrev default, as the desktop's
   "open with" settings would;
3. the installed LyrevaneScheduler runs with a broadcast that is due now, and the real
   xdg-open on PATH;
4. a player starts through the desktop entry, and the demo Icecast counts a listener of
   exactly the stored stream.

Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
"""

from __future__ import annotations

import datetime
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import listener_count  # noqa: E402

SCHEDULER = "v1_0\\Scheduler"
MOUNT = "/quillmoor.mp3"
OTHER_MOUNT = "/quillmoor.ogg"


def time_text(moment: datetime.datetime) -> str:
    """A time of day in the store's text form, "3:04:05 PM"."""
    hour = moment.hour % 12 or 12
    return f"{hour}:{moment.minute:02d}:{moment.second:02d} {'AM' if moment.hour < 12 else 'PM'}"


def processes_under(root: Path) -> list[int]:
    """Processes whose program lies inside root: the installed programs we started."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            exe = os.readlink(entry / "exe")
        except OSError:
            continue
        if exe.startswith(str(root) + "/"):
            found.append(int(entry.name))
    return found


def parent_of(pid: int) -> int:
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
        return int(stat[stat.rindex(")") + 2:].split()[1])
    except (OSError, ValueError, IndexError):
        return 0


def installed_program(root: Path, name: str) -> Path | None:
    for candidate in root.rglob(name):
        if candidate.is_file() and os.access(candidate, os.X_OK):
            return candidate
    return None


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    cmake, build = sys.argv[1], sys.argv[2]
    if tool := desktop.missing_tool(
            ("Xvfb", "pulseaudio", "icecast2", "ffmpeg", "xdg-open", "xdg-mime")):
        print(f"SKIP: {tool} is not installed")
        return 77

    failures = desktop.failures
    check = desktop.check

    with desktop.Desktop() as desk:
        root = desk.dir / "root"
        installed = subprocess.run([cmake, "--install", build], env=dict(os.environ, DESTDIR=str(root)),
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if not check(installed.returncode == 0, "cmake --install into a temporary root"):
            print(installed.stdout[-3000:])
            return 1
        player = installed_program(root, "Lyrevane")
        scheduler = installed_program(root, "LyrevaneScheduler")
        entries = list(root.rglob("applications/lyrevane.desktop"))
        if not (check(player is not None and scheduler is not None, "both programs are installed")
                and check(len(entries) == 1, "the desktop entry is installed")):
            return 1
        assert player is not None and scheduler is not None
        data_dir = entries[0].parent.parent
        check(any(line.strip() == "MimeType=x-scheme-handler/lyrev;"
                  for line in entries[0].read_text().splitlines()),
              "the desktop entry names the lyrev: scheme")

        streams = desk.start_streams()
        portal = desk.start_portal(streams)
        profile = desktop.Profile(desk.dir / "profile", portal)
        (profile.config / "mimeapps.list").write_text(
            "[Default Applications]\nx-scheme-handler/lyrev=lyrevane.desktop\n")

        env = desk.player_environment(profile)
        env["XDG_DATA_DIRS"] = str(data_dir)
        env["PATH"] = f"{player.parent}:{os.environ.get('PATH', '/usr/bin:/bin')}"
        env.pop("XDG_CURRENT_DESKTOP", None)
        env.pop("BROWSER", None)

        query = subprocess.run(["xdg-mime", "query", "default", "x-scheme-handler/lyrev"],
                               env=env, stdout=subprocess.PIPE, text=True)
        check(query.stdout.strip() == "lyrevane.desktop",
              f"xdg-mime finds the installed handler ({query.stdout.strip()!r})")

        # A broadcast whose launch window is open now; a second one is not due today.
        url = streams + MOUNT
        now = datetime.datetime.now()
        profile.write(SCHEDULER, {
            "AutoLaunchEnabled": "True", "StartEarlierOffset": "5",
            "BroadcastList": "Live$!Later",
            "BROADCAST_Live_TIME": time_text(now + datetime.timedelta(minutes=1)),
            "BROADCAST_Live_MEDIAURL": url, "BROADCAST_Live_DAYS": "127",
            "BROADCAST_Live_LASTACTIVE": "1/1/1900",
            "BROADCAST_Later_TIME": time_text(now + datetime.timedelta(hours=3)),
            "BROADCAST_Later_MEDIAURL": streams + OTHER_MOUNT, "BROADCAST_Later_DAYS": "127",
            "BROADCAST_Later_LASTACTIVE": "1/1/1900",
        })
        check(listener_count(streams, MOUNT) == 0, "nobody listens before the scheduler runs")

        log = open(desk.dir / "scheduler.log", "wb")
        desk.spawn([str(scheduler)], own_group=True, env=env, stdout=log, stderr=subprocess.STDOUT)
        log.close()

        deadline = time.monotonic() + 90
        while time.monotonic() < deadline and listener_count(streams, MOUNT) < 1:
            time.sleep(0.2)
        check(listener_count(streams, MOUNT) >= 1,
              "a player opened through the lyrev: scheme is a listener of the stored stream")
        check(listener_count(streams, OTHER_MOUNT) == 0, "the broadcast that is not due stays quiet")
        # A player's own children are not other players: its browser engine forks before it
        # starts its helper program, and for that moment the child is called Lyrevane too.
        named = {pid for pid in processes_under(root) if desktop.command_name(pid) == "Lyrevane"}
        players = [pid for pid in named if parent_of(pid) not in named]
        check(len(players) == 1, f"exactly one installed player runs ({len(players)})")
        # The player may be listening before the scheduler has written down the launch.
        deadline = time.monotonic() + 20
        stored = ""
        while time.monotonic() < deadline:
            stored = profile.read(SCHEDULER).get("BROADCAST_Live_LASTACTIVE", "")
            if stored not in ("", "1/1/1900"):
                break
            time.sleep(0.1)
        check(stored not in ("", "1/1/1900"), f"the launch is recorded for today ({stored!r})")

        for pid in processes_under(root):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 20
        while processes_under(root) and time.monotonic() < deadline:
            time.sleep(0.1)
        for pid in processes_under(root):
            os.kill(pid, signal.SIGKILL)

        if failures:
            for name in ("scheduler.log",):
                print(f"--- {name} ---")
                print((desk.dir / name).read_text(errors="replace")[-3000:])
    return desktop.verdict()


if __name__ == "__main__":
    sys.exit(main())
