#!/usr/bin/env python3
"""What each player weighs while it plays: Lyrevane beside cvlc, mpv and gst-play-1.0.

    bench/weight.py [--players lyrevane,cvlc,mpv,gst-play] [--player build/player/Lyrevane]
                    [--runs 2] [--settle 10] [--seconds 45] [--env NAME=VALUE ...]

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

The Markdown report goes to stdout, progress to stderr. Nothing is judged: exit status 0
when the measurement ran, 2 when a tool it needs is missing.
"""

from __future__ import annotations

import argparse
import array
import os
import shutil
import statistics
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "bench"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import continuity  # noqa: E402
import desktop  # noqa: E402

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


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--players", default="lyrevane,cvlc,mpv,gst-play")
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"))
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--settle", type=float, default=10.0)
    parser.add_argument("--seconds", type=float, default=45.0)
    parser.add_argument("--env", action="append", default=[],
                        help="NAME=VALUE set for Lyrevane only")
    args = parser.parse_args()

    for tool in ("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing: run scripts/install-deps", file=sys.stderr)
            return 2
    player = Path(args.player).resolve()
    names = continuity.available_players(args.players.split(","), player)
    results: dict[str, list[Weight]] = {name: [] for name in names}
    with desktop.Desktop(shared=True) as desk:
        players = continuity.Players(desk, str(player))
        candidate = dict(item.partition("=")[::2] for item in args.env)
        if candidate:
            original = desk.player_environment

            def with_candidate(profile: desktop.Profile) -> dict[str, str]:
                env = original(profile)
                for key, value in candidate.items():
                    joined = key == "QTWEBENGINE_CHROMIUM_FLAGS"
                    env[key] = f"{env.get(key, '')} {value}".strip() if joined else value
                return env

            desk.player_environment = with_candidate
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
