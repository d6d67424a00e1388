#!/usr/bin/env python3
"""What each player weighs while it plays: Lyrevane beside cvlc, mpv and gst-play-1.0.

    bench/weight.py [--players lyrevane,cvlc,mpv,gst-play] [--player build/player/Lyrevane]
                    [--runs 2] [--settle 10] [--seconds 45] [--env NAME=VALUE ...]
    bench/weight.py --evening [--minutes 60] [--player build/player/Lyrevane] [--env NAME=VALUE]

Everything runs on a private X screen (Xvfb), a private PulseAudio null sink and the demo
Icecast and portal (tests/e2e/desktop.py), all on 127.0.0.1. Each player in turn plays the
demo's /quillmoor.mp3 (128 kbps MP3) with default options; Lyrevane with a fresh profile
whose portal is the demo portal, so both of its panes hold the portal's pages. After the
first sound and --settle seconds more, its whole process tree is measured for --seconds:

- CPU: user and system time of every process of the tree over the window, % of one core;
- PSS: the proportional set size (Pss of /proc/PID/smaps_rollup), summed over the tree, at
  the end of the window (when the pages have long loaded); PSS splits the pages that
  processes share, so it drops when other programs map the same libraries. Beside it, "PSS
  alone": the tree's resident pages with each physical page counted once (read from
  /proc/PID/pagemap, which needs root), what the tree's PSS is when nothing outside it shares
  its pages: a figure that other programs running meanwhile do not change;
- context switches per second: voluntary and involuntary, of every thread of the tree.

Medians over --runs runs, the players in turn within each run. A second table gives, per
player, each process of the tree at the end of the last run (name and PSS). PSS splits the
pages that processes share, so nothing else of Lyrevane or a browser engine should run
meanwhile. mpv and gst-play-1.0 are not in scripts/install-deps (`apt-get install
--no-install-recommends mpv gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good
gstreamer1.0-pulseaudio`); a player that is missing is skipped with a line saying so.
--env NAME=VALUE is set for Lyrevane only (to try a candidate without a rebuild).

--evening: whether a long evening makes Lyrevane grow. It plays /quillmoor.mp3 for --minutes
(60) through a relay that cuts the connection every 5 minutes (the player reconnects), while
the demo Icecast changes the title every 2 seconds; from a third of the time it is paused for
10 minutes through its bus interface (MPRIS), then plays on behind live. The tree's PSS (and
PSS alone) after the first minute, every minute, and at the end; the reconnections the relay
saw; whether it still sounds at the end.

The Markdown report goes to stdout, progress to stderr. Nothing is judged: exit status 0
when the measurement ran, 2 when a tool it needs is missing.
"""

from __future__ import annotations

import argparse
import array
import os
import socket
import statistics
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "bench"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import continuity  # noqa: E402
import desktop  # noqa: E402
import keeping  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import NAMED_MP3  # noqa: E402


PAGE = os.sysconf("SC_PAGE_SIZE")
PRESENT = 1 << 63
PFN_MASK = (1 << 55) - 1


def say(message: str) -> None:
    print(message, file=sys.stderr, flush=True)


def context_switches(pid: int) -> int:
    """Voluntary and involuntary context switches of every thread of a process."""
    total = 0
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return 0
    for task in tasks:
        try:
            for line in Path(f"/proc/{pid}/task/{task}/status").read_text().splitlines():
                if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                    total += int(line.split()[1])
        except OSError:
            continue
    return total


def process_label(pid: int) -> str:
    """The command's name, and for a browser-engine helper its kind (renderer, zygote...)."""
    name = desktop.command_name(pid)
    try:
        arguments = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").split()
    except OSError:
        return name
    kinds = [a.decode(errors="replace")[len("--type="):] for a in arguments
             if a.startswith(b"--type=")]
    return f"{name} ({kinds[0]})" if kinds else name


def resident_pages(pid: int) -> set[int]:
    """The physical pages a process has resident (needs root to see page frame numbers)."""
    pages: set[int] = set()
    ranges = []
    try:
        with open(f"/proc/{pid}/smaps") as smaps:
            current = None
            for line in smaps:
                head = line.split(" ", 1)[0]
                if "-" in head and not line.startswith(("Rss", "Pss")) and ":" not in head:
                    start, end = (int(x, 16) for x in head.split("-"))
                    current = (start, end)
                elif line.startswith("Rss:") and current and int(line.split()[1]) > 0:
                    ranges.append(current)
        with open(f"/proc/{pid}/pagemap", "rb") as pagemap:
            for start, end in ranges:
                pagemap.seek(start // PAGE * 8)
                entries = array.array("Q")
                entries.frombytes(pagemap.read((end - start) // PAGE * 8))
                pages.update(e & PFN_MASK for e in entries if e & PRESENT and e & PFN_MASK)
    except OSError:
        pass
    return pages


def tree_alone_kib(pid: int) -> int:
    """The tree's resident memory with each physical page counted once: what its PSS would be
    if no process outside the tree shared its pages (an upper bound of PSS measured alone)."""
    pages: set[int] = set()
    for process in desktop.process_tree(pid):
        pages |= resident_pages(process)
    return len(pages) * PAGE // 1024


def rollup_kib(pid: int, field: str) -> int:
    try:
        for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def tree_anonymous(pid: int) -> str:
    """Each process's anonymous memory (heaps, stacks, buffers): where growth shows first."""
    return ", ".join(f"{process_label(p)} {rollup_kib(p, 'Anonymous') / 1024:.1f}"
                     for p in desktop.process_tree(pid))


def tree_switches(pid: int) -> dict[int, int]:
    return {p: context_switches(p) for p in desktop.process_tree(pid)}


@dataclass
class Weight:
    cpu: float
    pss_mb: float
    alone_mb: float
    switches: float
    processes: list[tuple[str, float]] = field(default_factory=list)


def weigh(players: continuity.Players, name: str, settle: float, seconds: float) -> Weight | None:
    players.recorder.reset()
    process = players.start(name, players.url(NAMED_MP3))
    try:
        if not players.recorder.wait_for_audio(30):
            say(f"{continuity.PLAYERS[name][0]}: no sound within 30 s")
            return None
        time.sleep(settle)
        pid = process.pid
        ticks, switches = desktop.tree_cpu_ticks(pid), tree_switches(pid)
        started = time.monotonic()
        time.sleep(seconds)
        end_ticks, end_switches = desktop.tree_cpu_ticks(pid), tree_switches(pid)
        elapsed = time.monotonic() - started
        pss = desktop.tree_pss_kib(pid)
        alone = tree_alone_kib(pid)
        used = sum(end_ticks[p] - ticks.get(p, 0) for p in end_ticks)
        switched = sum(end_switches[p] - switches.get(p, 0) for p in end_switches)
        parts = sorted(((process_label(p), kib / 1024) for p, kib in pss.items()),
                       key=lambda part: -part[1])
        if players.recorder.sound_seconds() < seconds * 0.8:
            say(f"{continuity.PLAYERS[name][0]}: the sound stopped during the measurement")
            return None
        return Weight(cpu=100 * used / os.sysconf("SC_CLK_TCK") / elapsed,
                      pss_mb=sum(pss.values()) / 1024, alone_mb=alone / 1024, switches=switched / elapsed,
                      processes=parts)
    finally:
        players.finish(name, process)


class CuttingRelay:
    """Forwards the player's connections to the server and cuts them all every `period` s."""

    def __init__(self, upstream: str, period: float):
        host, port = upstream.split("//")[1].split(":")
        self.upstream = (host, int(port))
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.url = f"http://127.0.0.1:{self.listener.getsockname()[1]}"
        self.connections = 0
        self.cuts = 0
        self._open: list[socket.socket] = []
        self._lock = threading.Lock()
        threading.Thread(target=self._serve, daemon=True).start()
        threading.Thread(target=self._cut, args=(period,), daemon=True).start()

    def _serve(self) -> None:
        while True:
            client, _ = self.listener.accept()
            server = socket.create_connection(self.upstream)
            with self._lock:
                self.connections += 1
                self._open += [client, server]
            for source, target in ((client, server), (server, client)):
                threading.Thread(target=self._pipe, args=(source, target), daemon=True).start()

    @staticmethod
    def _pipe(source: socket.socket, target: socket.socket) -> None:
        try:
            while data := source.recv(65536):
                target.sendall(data)
        except OSError:
            pass
        for end in (source, target):
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def _cut(self, period: float) -> None:
        while True:
            time.sleep(period)
            with self._lock:
                if self._open:
                    self.cuts += 1
                for end in self._open:
                    try:
                        end.shutdown(socket.SHUT_RDWR)
                        end.close()
                    except OSError:
                        pass
                self._open.clear()


def with_candidate(desk: desktop.Desktop, candidate: dict[str, str]) -> None:
    """Lyrevane's environment gets the candidate's variables (Chromium's flags are added to)."""
    original = desk.player_environment

    def environment(profile: desktop.Profile) -> dict[str, str]:
        env = original(profile)
        for key, value in candidate.items():
            joined = key == "QTWEBENGINE_CHROMIUM_FLAGS"
            env[key] = f"{env.get(key, '')} {value}".strip() if joined else value
        return env

    desk.player_environment = environment


def evening(player: str, minutes: float, candidate: dict[str, str]) -> int:
    with desktop.Desktop() as desk:
        with_candidate(desk, candidate)
        session = keeping.Session(desk, player, titles=2)
        relay = CuttingRelay(session.streams, period=300)
        pause_from, pause_minutes = minutes / 3 * 60, min(10.0, minutes / 3)
        try:
            session.start(relay.url + NAMED_MP3)
            started = time.monotonic()
            pid = session.process.pid
            samples: list[tuple[float, float, float]] = []
            paused = resumed = False
            while (elapsed := time.monotonic() - started) < minutes * 60:
                time.sleep(min(60.0, minutes * 60 - elapsed))
                elapsed = time.monotonic() - started
                pss = sum(desktop.tree_pss_kib(pid).values()) / 1024
                samples.append((elapsed / 60, pss, tree_alone_kib(pid) / 1024))
                say(f"{elapsed / 60:.0f} min: PSS {pss:.1f} MB, alone {samples[-1][2]:.1f} MB, "
                    f"{relay.connections} connections; anonymous MB: {tree_anonymous(pid)}")
                if not paused and elapsed >= pause_from:
                    session.call(keeping.PLAYER, "Pause")
                    paused = True
                elif paused and not resumed and elapsed >= pause_from + pause_minutes * 60:
                    session.call(keeping.PLAYER, "Play")
                    resumed = True
            desk.recorder.reset()
            sounding = desk.recorder.wait_for_audio(10)
        finally:
            session.stop()
    first, last = samples[0], samples[-1]
    print(f"A long evening: {minutes:g} min of /quillmoor.mp3, a new title every 2 s, the "
          f"connection cut every 5 min, paused {pause_minutes:g} min from minute "
          f"{pause_from / 60:.0f}.\n")
    print("| | PSS | PSS alone (each page once) |")
    print("|---|---|---|")
    print(f"| after {first[0]:.0f} min | {first[1]:.1f} MB | {first[2]:.1f} MB |")
    print(f"| peak | {max(x[1] for x in samples):.1f} MB | {max(x[2] for x in samples):.1f} MB |")
    print(f"| at the end ({last[0]:.0f} min) | {last[1]:.1f} MB ({last[1] - first[1]:+.1f}) | "
          f"{last[2]:.1f} MB ({last[2] - first[2]:+.1f}) |")
    print(f"\nConnections made: {relay.connections} ({relay.cuts} cuts); sound at the end: "
          f"{'yes' if sounding else 'NO'}.")
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--players", default="lyrevane,cvlc,mpv,gst-play")
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"))
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--settle", type=float, default=10.0)
    parser.add_argument("--seconds", type=float, default=45.0)
    parser.add_argument("--env", action="append", default=[],
                        help="NAME=VALUE set for Lyrevane only")
    parser.add_argument("--evening", action="store_true",
                        help="one long evening of play instead (see the description)")
    parser.add_argument("--minutes", type=float, default=60.0)
    args = parser.parse_args()

    if tool := desktop.missing_tool(("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg")):
        print(f"{tool} is missing: run scripts/install-deps", file=sys.stderr)
        return 2
    player = Path(args.player).resolve()
    candidate = dict(item.partition("=")[::2] for item in args.env)
    if args.evening:
        return evening(str(player), args.minutes, candidate)
    names = continuity.available_players(args.players.split(","), player)
    results: dict[str, list[Weight]] = {name: [] for name in names}
    with desktop.Desktop(shared=True) as desk:
        players = continuity.Players(desk, str(player))
        with_candidate(desk, candidate)
        continuity.warm_up(players, names, players.url(NAMED_MP3))
        for run in range(args.runs):
            for name in names:
                say(f"run {run + 1}: {continuity.PLAYERS[name][0]}")
                weight = weigh(players, name, args.settle, args.seconds)
                if weight is not None:
                    results[name].append(weight)

    print(f"Weight while playing /quillmoor.mp3 (128 kbps MP3): medians of {args.runs} runs, "
          f"{args.seconds:.0f} s after {args.settle:.0f} s of play, the whole process tree.\n")
    print("| player | CPU (% of a core) | PSS | PSS alone (each page once) | context switches/s |")
    print("|---|---|---|---|---|")
    for name in names:
        got = results[name]
        if not got:
            print(f"| {continuity.PLAYERS[name][0]} | – | – | – | – |")
            continue
        print(f"| {continuity.PLAYERS[name][0]} | {statistics.median(w.cpu for w in got):.2f} | "
              f"{statistics.median(w.pss_mb for w in got):.1f} MB | "
              f"{statistics.median(w.alone_mb for w in got):.1f} MB | "
              f"{statistics.median(w.switches for w in got):.0f} |")
    print("\nEach process of the tree at the end of the last run:\n")
    print("| player | process | PSS |")
    print("|---|---|---|")
    for name in names:
        if results[name]:
            for process, mb in results[name][-1].processes:
                print(f"| {continuity.PLAYERS[name][0]} | {process} | {mb:.1f} MB |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
