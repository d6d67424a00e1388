#!/usr/bin/env python3
"""Lyrevane while it plays: time to first audio beside cvlc, memory and CPU of the tree.

    bench/player_playback.py [--player build/player/Lyrevane] [--runs 7] [--seconds 30]

Everything runs on a private X screen (Xvfb) and a private PulseAudio null sink, against the
demo Icecast (demo/streams.py, MP3 mount /quillmoor.mp3) and the demo portal
(demo/portal.py), all on 127.0.0.1.

Time to first audio: from the moment the process is started to the first non-silent samples
that parec reads from the sink's monitor, for `Lyrevane "lyrev:play?<escaped mount>"` and
for `cvlc <mount>` (libVLC's own command-line player, default options) in alternation, after
one unmeasured warm-up start of each. Reported: every run, the medians and their ratio.
As root, cvlc (which refuses root) runs as "nobody"; the player runs as root.

Window: from the start to the main window being mapped and viewable on the X screen, for
a start with the stream on the command line and for a start without a command line
(median of --runs each).

Footprint: the player is started on the mount and left to settle; then, over --seconds, the
proportional set size (Pss of /proc/PID/smaps_rollup) of the player and every process below
it (the browser engine's helper processes included) is summed every 5 seconds, and the CPU
time of the same tree is read at both ends (percent of one core).

Targets: first audio within 1.1 times cvlc's, tree PSS under 350 MB, CPU under 3 % of a core.
Exit status 0 when all are met, 1 otherwise.
"""

from __future__ import annotations

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import listener_count  # noqa: E402

MOUNT = "/quillmoor.mp3"
TARGET_RATIO = 1.1
TARGET_PSS_MB = 350
TARGET_CPU = 3.0


def say(message: str) -> None:
    print(message, flush=True)


class Bench:
    def __init__(self, desk: desktop.Desktop, player: str):
        self.desk = desk
        self.player = player
        assert desk.recorder is not None
        self.recorder = desk.recorder
        self.streams = desk.start_streams()
        self.portal = desk.start_portal(self.streams)
        self.mp3 = self.streams + MOUNT
        self.profile = desktop.Profile(desk.dir / "profile", self.portal)
        self.vlc_home = desk.dir / "vlc-home"
        self.vlc_home.mkdir()
        self.nobody = desktop.nobody_ids() if os.geteuid() == 0 else None
        if self.nobody:
            os.chown(self.vlc_home, *self.nobody)

    def start_player(self) -> subprocess.Popen:
        return self.desk.start_player(self.player, ["lyrev:play?" + desktop.escape(self.mp3)],
                                      self.profile, self.desk.dir / "player.log")

    def start_cvlc(self) -> subprocess.Popen:
        env = dict(self.desk.env, HOME=str(self.vlc_home))
        env.pop("DISPLAY", None)
        extra = {}
        if self.nobody:
            extra = {"user": self.nobody[0], "group": self.nobody[1], "extra_groups": []}
        return self.desk.spawn(["cvlc", "--quiet", "--aout=pulse", "--no-video", self.mp3],
                               own_group=True, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, cwd=str(self.vlc_home), **extra)

    def stop(self, process: subprocess.Popen, graceful: bool) -> None:
        if graceful and self.desk.close_window(process.pid, timeout=5):
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                pass
        desktop.stop_process(process, group=True)
        # Icecast and the sink must be idle before the next start.
        desktop_listeners_gone(self.streams)
        time.sleep(0.5)

    def first_audio(self, which: str) -> float | None:
        self.recorder.reset()
        started = time.monotonic()
        process = self.start_player() if which == "player" else self.start_cvlc()
        heard = self.recorder.wait_for_audio(30)
        first = self.recorder.first_sound()
        self.stop(process, graceful=which == "player")
        return first - started if heard and first is not None else None

    def window_visible(self, with_command: bool) -> float | None:
        """Seconds from the start to the main window being mapped and viewable."""
        args = ["lyrev:play?" + desktop.escape(self.mp3)] if with_command else []
        started = time.monotonic()
        process = self.desk.start_player(self.player, args, self.profile,
                                         self.desk.dir / "player-window.log")
        seen = None
        x11 = self.desk.x11()
        while time.monotonic() - started < 30 and process.poll() is None:
            if x11.find_window(process.pid, desktop.APP_TITLE) is not None:
                seen = time.monotonic() - started
                break
            time.sleep(0.005)
        self.stop(process, graceful=True)
        return seen

    def footprint(self, seconds: int) -> tuple[float, float, dict[str, int]]:
        """Peak tree PSS (MB), CPU (% of a core) and the PSS by process name at the peak."""
        self.recorder.reset()
        process = self.start_player()
        if not self.recorder.wait_for_audio(30):
            raise RuntimeError("the player did not play")
        time.sleep(5)  # pages loaded, first tracking request sent
        ticks = os.sysconf("SC_CLK_TCK")
        start_ticks = desktop.tree_cpu_ticks(process.pid)
        started = time.monotonic()
        peak_kib, peak_detail = 0, {}
        while True:
            pss = desktop.tree_pss_kib(process.pid)
            if sum(pss.values()) > peak_kib:
                peak_kib = sum(pss.values())
                peak_detail = {}
                for pid, kib in pss.items():
                    name = desktop.command_name(pid)
                    peak_detail[name] = peak_detail.get(name, 0) + kib
            left = seconds - (time.monotonic() - started)
            if left <= 0:
                break
            time.sleep(min(5, left))
        end_ticks = desktop.tree_cpu_ticks(process.pid)
        elapsed = time.monotonic() - started
        used = sum(end_ticks.get(pid, 0) - start_ticks.get(pid, 0) for pid in end_ticks)
        still_playing = self.recorder.sound_seconds() > seconds * 0.8
        self.stop(process, graceful=True)
        if not still_playing:
            raise RuntimeError("the player stopped playing during the measurement")
        return peak_kib / 1024, 100 * used / ticks / elapsed, peak_detail


def desktop_listeners_gone(base: str, timeout: float = 5) -> None:
    deadline = time.monotonic() + timeout
    while listener_count(base, MOUNT) > 0 and time.monotonic() < deadline:
        time.sleep(0.1)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--seconds", type=int, default=30)
    args = parser.parse_args()
    for tool in ("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg", "cvlc"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing (scripts/install-deps installs it)", file=sys.stderr)
            return 2
    player = str(Path(args.player).resolve())

    with desktop.Desktop(shared=True) as desk:
        bench = Bench(desk, player)
        say(f"player: {player}")
        say(f"stream: {bench.mp3}")

        say("warm-up start of each")
        for which in ("player", "cvlc"):
            if bench.first_audio(which) is None:
                print(f"{which} did not play", file=sys.stderr)
                return 1

        times: dict[str, list[float]] = {"player": [], "cvlc": []}
        for run in range(args.runs):
            order = ("player", "cvlc") if run % 2 == 0 else ("cvlc", "player")
            for which in order:
                seconds = bench.first_audio(which)
                if seconds is None:
                    print(f"{which} did not play in run {run + 1}", file=sys.stderr)
                    return 1
                times[which].append(seconds)
            say(f"run {run + 1}: Lyrevane {times['player'][-1] * 1000:.0f} ms, "
                f"cvlc {times['cvlc'][-1] * 1000:.0f} ms")
        windows: dict[str, list[float]] = {"command": [], "plain": []}
        for run in range(args.runs):
            for kind in ("command", "plain"):
                seconds = bench.window_visible(kind == "command")
                if seconds is None:
                    print(f"no window in run {run + 1} ({kind})", file=sys.stderr)
                    return 1
                windows[kind].append(seconds)
            say(f"run {run + 1}: window visible after {windows['command'][-1] * 1000:.0f} ms "
                f"(with a stream), {windows['plain'][-1] * 1000:.0f} ms (without)")
        player_median = statistics.median(times["player"])
        vlc_median = statistics.median(times["cvlc"])
        ratio = player_median / vlc_median

        say(f"footprint over {args.seconds} s of playing")
        pss_mb, cpu, detail = bench.footprint(args.seconds)

    say("")
    say(f"time to first audio, median of {args.runs}: Lyrevane {player_median * 1000:.0f} ms, "
        f"cvlc {vlc_median * 1000:.0f} ms, ratio {ratio:.2f} (target <= {TARGET_RATIO})")
    say(f"window visible, median of {args.runs}: "
        f"{statistics.median(windows['command']) * 1000:.0f} ms with lyrev:play on the command "
        f"line, {statistics.median(windows['plain']) * 1000:.0f} ms without a command line")
    say(f"process tree PSS, peak: {pss_mb:.1f} MB (target < {TARGET_PSS_MB} MB)")
    for name, kib in sorted(detail.items(), key=lambda item: -item[1]):
        say(f"  {name:<20} {kib / 1024:7.1f} MB")
    say(f"process tree CPU: {cpu:.2f} % of one core (target < {TARGET_CPU} %)")
    met = ratio <= TARGET_RATIO and pss_mb < TARGET_PSS_MB and cpu < TARGET_CPU
    say("all targets met" if met else "a target was missed")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
