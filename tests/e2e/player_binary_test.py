#!/usr/bin/env python3
"""End to end: the Lyrevane program started on a live stream, heard, and closed.

    tests/e2e/player_binary_test.py PATH/TO/Lyrevane

On a private X screen (Xvfb) with a private PulseAudio null sink, against the demo Icecast
(demo/streams.py) and the demo portal (demo/portal.py):

1. `Lyrevane "lyrev:play?<escaped MP3 mount>"` is counted as a listener by Icecast (the
   seconds from its start are printed), and the sink's monitor records non-silent audio;
2. the window settings are not written while the player runs, and the real `playerctl`
   on a private session bus drives it by MPRIS: play-pause twice, metadata title, volume,
   stop;
3. closing the window (WM_DELETE_WINDOW, as a window manager sends it) ends the program
   with status 0, leaves Icecast, and saves "Width", "Height", "PlayBarBottom" and "Volume";
4. SIGTERM closes the window the same way, saving the settings.
5. SIGTERM at the very start, before the player is loaded, does the same once the window exists.

Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
"""

from __future__ import annotations

import os
import signal
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import listener_count  # noqa: E402

WINDOW_SECTION = "v1_0\\WindowSettings"
# How long the listener is waited for; the time it takes is a benchmark figure
# (bench/player_playback.py), not a condition here.
LISTENER_PATIENCE = 60.0
MOUNT = "/quillmoor.mp3"

failures = desktop.failures
check = desktop.check


def group_ends(group: int, timeout: float) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            os.killpg(group, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.1)
    return False


def catches_sigterm(pid: int) -> bool:
    """Whether the process has a handler for SIGTERM installed (its SigCgt mask)."""
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("SigCgt:"):
                return bool(int(line.split()[1], 16) & (1 << (signal.SIGTERM - 1)))
    except (OSError, ValueError):
        pass
    return False


def main() -> int:
    binary = desktop.player_from_argv(
        __doc__, ("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg", "dbus-daemon", "playerctl"))
    if isinstance(binary, int):
        return binary

    with desktop.Desktop() as desk:
        desk.start_bus()
        streams = desk.start_streams()
        portal = desk.start_portal(streams)
        profile = desktop.Profile(desk.dir / "profile", portal)
        assert desk.recorder is not None
        check(listener_count(streams, MOUNT) == 0, "nobody listens before the player starts")

        command = "lyrev:play?" + desktop.escape(streams + MOUNT)
        logfile = desk.dir / "player.log"
        desk.recorder.reset()
        started = time.monotonic()
        player = desk.start_player(binary, [command], profile, logfile)

        # 1. Icecast counts the player, and its sound reaches the sink.
        counted = None
        while time.monotonic() - started < LISTENER_PATIENCE and player.poll() is None:
            if listener_count(streams, MOUNT) >= 1:
                counted = time.monotonic() - started
                break
            time.sleep(0.05)
        check(counted is not None,
              f"Icecast counts the listener "
              f"({'never' if counted is None else f'{counted:.2f} s after start'})")
        heard = desk.recorder.wait_for_audio(15, seconds=1.0)
        first = desk.recorder.first_sound()
        check(heard, "the sink records at least 1 s of non-silent audio"
              + (f" (first sound {first - started:.2f} s after start)" if first else ""))

        # The window draws without an OpenGL driver, and keeps the setting to itself.
        maps = Path(f"/proc/{player.pid}/maps").read_text()
        check("swrast" not in maps and "libLLVM" not in maps and "_dri.so" not in maps,
              "no OpenGL driver is loaded while the player plays")

        # 2. Nothing is saved before shutdown.
        before = profile.read(WINDOW_SECTION)
        check(not before, f"no window settings while the player runs ({before})")

        # ... and the desktop's media controls follow MPRIS, whatever the play bar shows.
        def playerctl(*args: str) -> str:
            return desk.bus_command(["playerctl", "--player=lyrevane", *args])

        def becomes(expected: str, *args: str) -> str:
            answers = [""]
            desktop.wait_until(lambda: answers.append(playerctl(*args)) or
                               answers[-1] == expected, 20)
            return answers[-1]

        check(becomes("Playing", "status") == "Playing", "playerctl sees the player playing")
        for toggled in ("Paused", "Playing"):
            said = playerctl("play-pause")
            status = becomes(toggled, "status")
            check(status == toggled and not said,
                  f"playerctl play-pause makes it {toggled} ({status!r} {said!r})")
        title = playerctl("metadata", "title")
        check(bool(title) and "No player" not in title, f"playerctl metadata title ({title!r})")
        playerctl("volume", "0.4")
        check(becomes("0.400000", "volume") == "0.400000", "playerctl volume 0.4 is taken")
        playerctl("volume", "0.75")
        said = playerctl("stop")
        desktop.wait_until(lambda: listener_count(streams, MOUNT) == 0, 20)
        check(not said and becomes("Stopped", "status") == "Stopped"
              and listener_count(streams, MOUNT) == 0,
              f"playerctl stop stops it and Icecast no longer counts it {said!r}")

        # 3. Closing the window ends the program and saves the window settings.
        check(desk.close_window(player.pid, timeout=15), "the main window takes WM_DELETE_WINDOW")
        try:
            status = player.wait(15)
        except Exception:  # noqa: BLE001  (TimeoutExpired; close() kills it)
            status = None
        check(status == 0, f"the program ends with status 0 after the close ({status})")
        check(group_ends(player.pid, 10), "its browser helper processes end with it")
        deadline = time.monotonic() + 5
        while listener_count(streams, MOUNT) != 0 and time.monotonic() < deadline:
            time.sleep(0.1)
        check(listener_count(streams, MOUNT) == 0, "Icecast no longer counts the player")

        saved = profile.read(WINDOW_SECTION)
        check(saved.get("Width") == "640" and saved.get("Height") == "480",
              f"Width and Height saved as 640 and 480 ({saved.get('Width')}, "
              f"{saved.get('Height')})")
        bottom = saved.get("PlayBarBottom", "")
        check(bottom.isdigit() and int(bottom) > 0, f"PlayBarBottom saved ({bottom!r})")
        check(saved.get("Volume") == "75", f"Volume saved as 75 ({saved.get('Volume')!r})")

        def stop_and_check(player, timeout: float, expected: tuple[str, str, str],
                           ends: str, kept: str) -> None:
            """Sends SIGTERM; checks status 0 and Width, Height and Volume as expected."""
            player.send_signal(signal.SIGTERM)
            try:
                status = player.wait(timeout)
            except Exception:  # noqa: BLE001  (TimeoutExpired)
                status = None
            check(status == 0, f"{ends} with status 0 ({status})")
            saved = profile.read(WINDOW_SECTION)
            check((saved.get("Width"), saved.get("Height"), saved.get("Volume")) == expected,
                  f"{kept} ({saved})")

        # 4. Told to stop with SIGTERM (a session ending, `kill`): it closes the same way.
        profile.write(WINDOW_SECTION, {"Width": "700", "Height": "500", "Volume": "33"})
        player = desk.start_player(binary, [command], profile, desk.dir / "player-term.log")
        started = time.monotonic()
        while listener_count(streams, MOUNT) < 1 and time.monotonic() - started < 20:
            time.sleep(0.1)
        stop_and_check(player, 15, ("700", "500", "33"), "SIGTERM ends the program",
                       "and the window settings are saved as they were")

        # 5. Told to stop the moment the program catches the signal, before the player is
        # loaded: the signal waits for the window, which then closes the same way.
        profile.write(WINDOW_SECTION, {"Width": "720", "Height": "520", "Volume": "44"})
        player = desk.start_player(binary, [command], profile, desk.dir / "player-early.log")
        caught = False
        while not caught and player.poll() is None:
            caught = catches_sigterm(player.pid)
            time.sleep(0.001)  # polls the condition; the program keeps both cores
        check(caught, "the program catches SIGTERM from its start")
        stop_and_check(player, 30, ("720", "520", "44"), "an early SIGTERM ends the program",
                       "and the window settings are kept as they were")

        if failures:
            print("--- player log ---")
            print(logfile.read_text(errors="replace")[-4000:])
    return desktop.verdict()


if __name__ == "__main__":
    sys.exit(main())
