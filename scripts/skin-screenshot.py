#!/usr/bin/env python3
"""Screenshot of the Customise Skin dialog over the player, on a private X screen.

    scripts/skin-screenshot.py build/player/Lyrevane docs/screenshots/customise-skin.png
    scripts/skin-screenshot.py build/player/Lyrevane docs/screenshots/rundown.png --rundown

The player runs against the local demo portal (demo/portal.py, demo/streams.py on
127.0.0.1); File > Customize Skin is opened from the keyboard and the dialog is cut out.
With --rundown the player plays the demo programme (its title changed every 8 s) for a
minute and Live > Rundown is cut out instead.
"""

from __future__ import annotations

import re
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import desktop  # noqa: E402


def run(args: list[str], env: dict[str, str]) -> str:
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=30).stdout


def main() -> int:
    if len(sys.argv) not in (3, 4) or sys.argv[3:] not in ([], ["--rundown"]):
        print(__doc__, file=sys.stderr)
        return 2
    binary, target = str(Path(sys.argv[1]).resolve()), Path(sys.argv[2]).resolve()
    rundown = sys.argv[3:] == ["--rundown"]
    # The menu, its item's access key and the window's title.
    menu, item, name = ("alt+l", "o", "^Programme Rundown$") if rundown else (
        "alt+f", "c", "^Customise Skin$")
    with desktop.Desktop(sound=rundown) as desk:
        streams = desk._start_service(
            [str(desktop.DEMO / "streams.py"), "--port", "0", "--titles", "8"], "streams")
        portal = desk.start_portal(streams)
        profile = desktop.Profile(desk.dir / "profile", portal)
        args = ["lyrev:play?" + desktop.escape(streams + "/quillmoor.mp3")] if rundown else []
        player = desk.start_player(binary, args, profile, desk.dir / "player.log")
        ids: list[str] = []
        deadline = time.monotonic() + 60
        while not ids and time.monotonic() < deadline:
            ids = run(["xdotool", "search", "--pid", str(player.pid), "--name",
                       desktop.APP_TITLE], desk.env).split()
            time.sleep(0.2)
        if not ids:
            print("the player's window did not appear", file=sys.stderr)
            return 1
        time.sleep(60 if rundown else 6)  # the portal's pages draw; the programme goes on
        run(["xdotool", "windowfocus", "--sync", ids[0]], desk.env)
        run(["xdotool", "key", menu], desk.env)
        time.sleep(0.5)
        run(["xdotool", "key", item], desk.env)
        dialog: list[str] = []
        deadline = time.monotonic() + 20
        while not dialog and time.monotonic() < deadline:
            dialog = run(["xdotool", "search", "--name", name], desk.env).split()
            time.sleep(0.2)
        if not dialog:
            print("the dialog did not open", file=sys.stderr)
            return 1
        time.sleep(1)
        geometry = run(["xdotool", "getwindowgeometry", dialog[0]], desk.env)
        x, y = map(int, re.search(r"Position: (\d+),(\d+)", geometry).groups())
        w, h = map(int, re.search(r"Geometry: (\d+)x(\d+)", geometry).groups())
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-draw_mouse", "0",
                        "-video_size", "1280x800", "-i", desk.display, "-frames:v", "1",
                        "-vf", f"crop={w}:{h}:{x}:{y}", str(target)], env=desk.env, check=True)
        print(f"screenshot: {target}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
