#!/usr/bin/env python3
"""Lyrevane while it plays: time to first audio beside cvlc, window, memory and CPU of the tree.

    bench/player_playback.py [--player build/player/Lyrevane] [--runs 7] [--seconds 30]
                             [--only first-audio|window|footprint]

Everything runs on a private X screen (Xvfb) and a private PulseAudio null sink, against the
demo Icecast (demo/streams.py) and the demo portal (demo/portal.py), all on 127.0.0.1. Two
MP3 mounts of the same programme are used: /quillmoor.mp3, whose answer names the station
(icy-name), and /plain.mp3, whose answer carries no station name at all.

Time to first audio (on each mount): from the moment the process is started to the first
non-silent samples that parec reads from the sink's monitor, for
`Lyrevane "lyrev:play?<escaped mount>"` and for `cvlc <mount>` (libVLC's own command-line
player, default options) in alternation, after one unmeasured warm-up start of each on that
mount. Reported: every run, the medians of --runs starts of each and their ratio. Beside them,
the server's own share: the time a bare socket client waits from connecting to the first byte
of audio (the answer's body) on the same mount. No player can sound before that; the
server's share over cvlc's time is the lowest ratio any player could reach.
As root, cvlc (which refuses root) runs as "nobody"; the player runs as root.

Window: from the start to the main window being mapped and viewable on the X screen, for
a start with the named stream on the command line and for a start without a command line
(median of --runs each).

Footprint: the player is started on the named mount and left to settle; then, over
--seconds, the proportional set size (Pss of /proc/PID/smaps_rollup) of the player and every
process below it (the browser engine's helper processes included) is summed every 5 seconds,
and the CPU time of the same tree is read at both ends (percent of one core).

Targets: first audio at most 0.6 times cvlc's on the named mount and at most 1.0 times on
the unnamed one; window visible within 350 ms (median, with and without a command line);
tree PSS under 300 MB; CPU under 1.5 % of one core. --only runs one of the three parts.
Exit status 0 when every target of the parts run is met, 1 otherwise, 2 when a tool is
missing.
"""

from __future__ import annotations

import argparse
import os
import socket
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import MOUNTS, NAMED_MP3, PLAIN_MP3, fetch_sources  # noqa: E402

# Mount, what it is, the target ratio of Lyrevane's first audio to cvlc's.
FIRST_AUDIO_MOUNTS = ((NAMED_MP3, "named station", 0.6), (PLAIN_MP3, "no station name", 1.0))
TARGET_WINDOW_MS = 350
TARGET_PSS_MB = 300
TARGET_CPU = 1.5
PARTS = ("first-audio", "window", "footprint")


def say(message: str) -> None:
    print(message, flush=True)


def verdict(met: bool) -> str:
    return "met" if met else "MISSED"


def first_audio_byte(url: str, timeout: float = 10) -> float | None:
    """Seconds from connecting to url's server to the first byte of the answer's body."""
    host_port, _, path = url.split("://", 1)[1].partition("/")
    host, _, port = host_port.partition(":")
    started = time.monotonic()
    try:
        with socket.create_connection((host, int(port or 80)), timeout=timeout) as sock:
            sock.sendall(f"GET /{path} HTTP/1.0\r\nHost: {host_port}\r\n"
                         "Icy-MetaData: 1\r\n\r\n".encode())
            received = b""
            while True:
                chunk = sock.recv(65536)
                if not chunk:
                    return None
                received += chunk
                head, found, body = received.partition(b"\r\n\r\n")
                if found and body:
                    return time.monotonic() - started
                if len(received) > 65536:
                    return None
    except OSError:
        return None


def listeners(base: str) -> int:
    """Listeners on all demo mounts; 0 when the server does not answer."""
    try:
        sources = fetch_sources(base)
    except (OSError, ValueError):
        return 0
    total = 0
    for mount in MOUNTS:
        try:
            total += int(sources.get(mount, {}).get("listeners", 0))
        except (TypeError, ValueError):
            pass
    return total


def listeners_gone(base: str, timeout: float = 5) -> None:
    deadline = time.monotonic() + timeout
    while listeners(base) > 0 and time.monotonic() < deadline:
        time.sleep(0.1)


class Bench:
    def __init__(self, desk: desktop.Desktop, player: str):
        self.desk = desk
        self.player = player
        assert desk.recorder is not None
        self.recorder = desk.recorder
        self.streams = desk.start_streams()
        self.portal = desk.start_portal(self.streams)
        self.profile = desktop.Profile(desk.dir / "profile", self.portal)
        self.vlc_home = desk.dir / "vlc-home"
        self.vlc_home.mkdir()
        self.nobody = desktop.nobody_ids() if os.geteuid() == 0 else None
        if self.nobody:
            os.chown(self.vlc_home, *self.nobody)

    def url(self, mount: str) -> str:
        return self.streams + mount

    def start_player(self, mount: str) -> subprocess.Popen:
        return self.desk.start_player(self.player,
                                      ["lyrev:play?" + desktop.escape(self.url(mount))],
                                      self.profile, self.desk.dir / "player.log")

    def start_cvlc(self, mount: str) -> subprocess.Popen:
        env = dict(self.desk.env, HOME=str(self.vlc_home))
        env.pop("DISPLAY", None)
        extra = {}
        if self.nobody:
            extra = {"user": self.nobody[0], "group": self.nobody[1], "extra_groups": []}
        return self.desk.spawn(
            ["cvlc", "--quiet", "--aout=pulse", "--no-video", self.url(mount)],
            own_group=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            cwd=str(self.vlc_home), **extra)

    def stop(self, process: subprocess.Popen, graceful: bool) -> None:
        if graceful and self.desk.close_window(process.pid, timeout=5):
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                pass
        desktop.stop_process(process, group=True)
        # Icecast and the sink must be idle before the next start.
        listeners_gone(self.streams)
        time.sleep(0.5)

    def first_audio(self, which: str, mount: str) -> float | None:
        self.recorder.reset()
        started = time.monotonic()
        process = self.start_player(mount) if which == "player" else self.start_cvlc(mount)
        heard = self.recorder.wait_for_audio(30)
        first = self.recorder.first_sound()
        self.stop(process, graceful=which == "player")
        return first - started if heard and first is not None else None

    def window_visible(self, with_command: bool) -> float | None:
        """Seconds from the start to the main window being mapped and viewable."""
        args = ["lyrev:play?" + desktop.escape(self.url(NAMED_MP3))] if with_command else []
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
        process = self.start_player(NAMED_MP3)
        if not self.recorder.wait_for_audio(30):
            self.stop(process, graceful=True)
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


def measure_first_audio(bench: Bench, mount: str, runs: int) -> dict[str, list[float]] | None:
    """Times of both programs on mount, alternating which starts first; None if one failed."""
    say(f"first audio on {mount}: warm-up start of each")
    for which in ("player", "cvlc"):
        if bench.first_audio(which, mount) is None:
            say(f"{which} did not play {mount} (warm-up)")
            return None
    times: dict[str, list[float]] = {"player": [], "cvlc": [], "server": []}
    for run in range(runs):
        order = ("player", "cvlc") if run % 2 == 0 else ("cvlc", "player")
        for which in order:
            seconds = bench.first_audio(which, mount)
            if seconds is None:
                say(f"{which} did not play {mount} in run {run + 1}")
                return None
            times[which].append(seconds)
        server = first_audio_byte(bench.url(mount))
        listeners_gone(bench.streams)
        if server is None:
            say(f"the server sent no audio on {mount} to a bare socket in run {run + 1}")
            return None
        times["server"].append(server)
        say(f"  run {run + 1}: Lyrevane {times['player'][-1] * 1000:.0f} ms, "
            f"cvlc {times['cvlc'][-1] * 1000:.0f} ms, "
            f"the server's first audio byte {server * 1000:.0f} ms")
    return times


def measure_windows(bench: Bench, runs: int) -> dict[str, list[float]] | None:
    say("window visible")
    windows: dict[str, list[float]] = {"command": [], "plain": []}
    for run in range(runs):
        for kind in ("command", "plain"):
            seconds = bench.window_visible(kind == "command")
            if seconds is None:
                say(f"no window in run {run + 1} ({kind})")
                return None
            windows[kind].append(seconds)
        say(f"  run {run + 1}: {windows['command'][-1] * 1000:.0f} ms (with a stream), "
            f"{windows['plain'][-1] * 1000:.0f} ms (without)")
    return windows


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"))
    parser.add_argument("--runs", type=int, default=7,
                        help="measured starts of each program per figure (default 7)")
    parser.add_argument("--seconds", type=int, default=30,
                        help="length of the footprint measurement (default 30)")
    parser.add_argument("--only", choices=PARTS,
                        help="run one part only (default: all three)")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("--runs must be at least 1")
    if args.seconds < 1:
        parser.error("--seconds must be at least 1")
    parts = (args.only,) if args.only else PARTS
    tools = ["Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg"]
    if "first-audio" in parts:
        tools.append("cvlc")
    if tool := desktop.missing_tool(tools):
        print(f"{tool} is missing (scripts/install-deps installs it)", file=sys.stderr)
        return 2
    player = Path(args.player).resolve()
    if not os.access(player, os.X_OK):
        print(f"{player} is not an executable program (build it first)", file=sys.stderr)
        return 2

    report: list[str] = []
    met = True
    with desktop.Desktop(shared=True) as desk:
        bench = Bench(desk, str(player))
        say(f"player: {player}")
        say(f"streams: {bench.streams}")

        if "first-audio" in parts:
            for mount, what, target in FIRST_AUDIO_MOUNTS:
                times = measure_first_audio(bench, mount, args.runs)
                if times is None:
                    met = False
                    report.append(f"time to first audio on {mount} ({what}): not measured, "
                                  f"a program did not play (target <= {target}) MISSED")
                    continue
                player_median = statistics.median(times["player"])
                vlc_median = statistics.median(times["cvlc"])
                server_median = statistics.median(times["server"])
                ratio = player_median / vlc_median
                met = met and ratio <= target
                report.append(
                    f"time to first audio on {mount} ({what}), median of {args.runs}: "
                    f"Lyrevane {player_median * 1000:.0f} ms, cvlc {vlc_median * 1000:.0f} ms, "
                    f"ratio {ratio:.2f} (target <= {target}) {verdict(ratio <= target)}")
                report.append(
                    f"  the server's first audio byte to a bare socket: "
                    f"{server_median * 1000:.0f} ms, the lowest ratio a player could reach "
                    f"{server_median / vlc_median:.2f}; Lyrevane's own share "
                    f"{(player_median - server_median) * 1000:.0f} ms")

        if "window" in parts:
            windows = measure_windows(bench, args.runs)
            if windows is None:
                met = False
                report.append("window visible: not measured, no window appeared "
                              f"(target <= {TARGET_WINDOW_MS} ms) MISSED")
            else:
                for kind, what in (("command", "with lyrev:play on the command line"),
                                   ("plain", "without a command line")):
                    ms = statistics.median(windows[kind]) * 1000
                    met = met and ms <= TARGET_WINDOW_MS
                    report.append(f"window visible {what}, median of {args.runs}: {ms:.0f} ms "
                                  f"(target <= {TARGET_WINDOW_MS} ms) "
                                  f"{verdict(ms <= TARGET_WINDOW_MS)}")

        if "footprint" in parts:
            say(f"footprint over {args.seconds} s of playing {NAMED_MP3}")
            try:
                pss_mb, cpu, detail = bench.footprint(args.seconds)
            except RuntimeError as e:
                met = False
                report.append(f"footprint: not measured, {e} MISSED")
            else:
                met = met and pss_mb < TARGET_PSS_MB and cpu < TARGET_CPU
                report.append(f"process tree PSS, peak: {pss_mb:.1f} MB "
                              f"(target < {TARGET_PSS_MB} MB) {verdict(pss_mb < TARGET_PSS_MB)}")
                for name, kib in sorted(detail.items(), key=lambda item: -item[1]):
                    report.append(f"  {name:<20} {kib / 1024:7.1f} MB")
                report.append(f"process tree CPU: {cpu:.2f} % of one core "
                              f"(target < {TARGET_CPU} %) {verdict(cpu < TARGET_CPU)}")

    say("")
    for line in report:
        say(line)
    say("all targets met" if met else "a target was missed")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
