#!/usr/bin/env python3
"""What MPRIS and the now-playing field cost while the player plays, in one run.

    bench/desktop_cost.py [--player build/player/Lyrevane] [--seconds 60] [--rounds 2]

On a private X screen and PulseAudio null sink, against the demo Icecast whose MP3 title
changes every 5 seconds, the player plays the stream twice per round: once without a
session bus (no MPRIS, no sleep inhibitor) and once on a private session bus (MPRIS
exported, PropertiesChanged sent for every title). For each, the CPU time of the player's
whole process tree over --seconds is reported as a percentage of one core; the rounds
alternate the order. Target: the bus costs under 0.2 % of a core.
"""

from __future__ import annotations

import argparse
import os
import secrets
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import desktop  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import set_title  # noqa: E402

MOUNT = "/quillmoor.mp3"
TARGET = 0.2


def start_bus(desk: desktop.Desktop) -> str:
    process = desk.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    assert process.stdout is not None
    return process.stdout.readline().decode().strip()


def tree_cpu(desk: desktop.Desktop, player: str, command: str, profile: desktop.Profile,
             bus: str | None, seconds: int) -> float:
    env = desk.player_environment(profile)
    if bus:
        env["DBUS_SESSION_BUS_ADDRESS"] = bus
    assert desk.recorder is not None
    desk.recorder.reset()
    process = desk.spawn([player, command], own_group=True, env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not desk.recorder.wait_for_audio(30):
        raise RuntimeError("the player did not play")
    time.sleep(5)
    ticks = os.sysconf("SC_CLK_TCK")
    before = desktop.tree_cpu_ticks(process.pid)
    started = time.monotonic()
    time.sleep(seconds)
    after = desktop.tree_cpu_ticks(process.pid)
    elapsed = time.monotonic() - started
    desktop.stop_process(process, group=True)
    used = sum(after.get(pid, 0) - before.get(pid, 0) for pid in after)
    return 100 * used / ticks / elapsed


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"))
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()
    player = str(Path(args.player).resolve())
    password = secrets.token_hex(8)

    with desktop.Desktop() as desk:
        streams = desk._start_service(  # noqa: SLF001  (the admin password is needed here)
            [str(desktop.DEMO / "streams.py"), "--port", "0", "--admin-password", password],
            "streams")
        portal = desk.start_portal(streams)
        profile = desktop.Profile(desk.dir / "profile", portal)
        bus = start_bus(desk)
        stop = threading.Event()

        def titles() -> None:
            n = 0
            while not stop.wait(5):
                n += 1
                try:
                    set_title(streams, MOUNT, f"Market update {n}", password)
                except OSError:
                    pass

        threading.Thread(target=titles, daemon=True).start()
        command = "lyrev:play?" + desktop.escape(streams + MOUNT)
        results: dict[str, list[float]] = {"without bus": [], "with MPRIS": []}
        for round_ in range(args.rounds):
            order = [None, bus] if round_ % 2 == 0 else [bus, None]
            for address in order:
                key = "with MPRIS" if address else "without bus"
                cpu = tree_cpu(desk, player, command, profile, address, args.seconds)
                results[key].append(cpu)
                print(f"round {round_ + 1}, {key}: {cpu:.2f} % of a core", flush=True)
        stop.set()

    without = statistics.median(results["without bus"])
    with_bus = statistics.median(results["with MPRIS"])
    print(f"\nplayer tree CPU while playing, median of {args.rounds}: without a session bus "
          f"{without:.2f} %, with MPRIS and now playing {with_bus:.2f} %, "
          f"cost {with_bus - without:+.2f} % of a core (target < {TARGET} %)")
    return 0 if with_bus - without < TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
