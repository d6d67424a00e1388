#!/usr/bin/env python3
"""What a paused live stream and a recording cost, on the demo programme.

    bench/keeping.py [--player build/player/Lyrevane] [--pause-minutes 10]
                     [--record-minutes 10] [--live-minutes 3] [--titles 30]
                     [--jumps 10] [--only pause|record|live|jump]

Everything runs on a private X screen, a private PulseAudio null sink recorded by parec and
a private session bus (tests/e2e/desktop.py), against the demo Icecast (its title changed
every --titles seconds) on 127.0.0.1. The player is driven through its bus interfaces, as a
media key or the scheduler would.

pause: the player plays /quillmoor.mp3 for 30 s (the process tree's PSS then is the
unpaused figure), is paused for --pause-minutes (PSS every 10 s, its peak reported), and
plays again: reported are how far behind live it says it is, whether the title shown at the
pause is the one shown when the sound comes back (the audio goes on where it stopped), and
any silence over 100 ms in the first 20 s after it came back.

record: the player listens through a relay that keeps every byte the server sends. After 30 s
it plays for --record-minutes without recording, then records for as long; the CPU of the process
tree over each half gives what recording costs. After Stop, the recording is compared with
the captured bytes, the server's ICY metadata blocks taken out: it must be one piece of
them, byte for byte. Reported: the file's size, whether it matches, the titles in its cue
sheet against the titles the server sent.

live: the player plays /quillmoor.mp3 for 30 s, then for --live-minutes more; reported are the
process tree's PSS after the 30 s and at the end, and its CPU over the minutes (what keeping the
last hour while playing live costs, beside a build that does not keep it).

jump: the player plays /quillmoor.mp3 for 60 s, then goes back 15 s and forward again through
MPRIS Seek, --jumps times each way, 5 s apart; reported is the silence each jump leaves (from
the call until the sound at the new place), median and longest, and any silence over 20 ms
between jumps.

No figure is judged; exit status 0 when the measurement ran, 2 when a tool is missing.
"""

from __future__ import annotations

import argparse
import re
import shutil
import socket
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import desktop  # noqa: E402
import weight  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import NAMED_MP3  # noqa: E402

BUS_NAME = "org.mpris.MediaPlayer2.lyrevane"
PATH = "/org/mpris/MediaPlayer2"
OWN = "example.quillmoor.Lyrevane"
PLAYER = "org.mpris.MediaPlayer2.Player"


def say(message: str) -> None:
    print(message, file=sys.stderr, flush=True)


def tree_pss_mb(pid: int) -> float:
    return sum(desktop.tree_pss_kib(pid).values()) / 1024


def tree_alone_mb(pid: int) -> float:
    """The tree's resident pages, each counted once (needs root; 0 without): a figure that other
    programs running meanwhile do not change, as PSS does."""
    return weight.tree_alone_kib(pid) / 1024


def tree_ticks(pid: int) -> int:
    return sum(desktop.tree_cpu_ticks(pid).values())


class Session:
    """The desktop, the demo servers with changing titles, and one player on the bus."""

    def __init__(self, desk: desktop.Desktop, player: str, titles: float):
        self.desk = desk
        self.player = player
        desk.start_bus()
        self.streams = desk._start_service(
            [str(desktop.DEMO / "streams.py"), "--port", "0", "--titles", str(titles)], "streams")
        self.profile = desktop.Profile(desk.dir / "profile", desk.start_portal(self.streams))
        self.process = None

    def start(self, url: str) -> None:
        self.process = self.desk.start_player(
            self.player, ["lyrev:play?" + desktop.escape(url)], self.profile,
            self.desk.dir / "player.log")
        if not self.desk.recorder.wait_for_audio(30):
            raise RuntimeError("the player made no sound")

    def call(self, interface: str, method: str, *args: str) -> str:
        return self.desk.bus_command(["gdbus", "call", "--session", "--dest", BUS_NAME,
                                      "--object-path", PATH, "--method",
                                      f"{interface}.{method}", *args])

    def get(self, interface: str, name: str) -> str:
        return self.call("org.freedesktop.DBus.Properties", "Get", interface, name)

    def title(self) -> str:
        found = re.search(r"'xesam:title': <'([^']*)'>", self.get(PLAYER, "Metadata"))
        return found.group(1) if found else ""

    def stop(self) -> None:
        if self.process is not None:
            self.desk.close_window(self.process.pid)
            desktop.stop_process(self.process, group=True)


def measure_pause(session: Session, minutes: float) -> list[str]:
    session.start(session.streams + NAMED_MP3)
    time.sleep(30)
    unpaused = tree_pss_mb(session.process.pid)
    title = session.title()
    session.call(PLAYER, "Pause")
    paused_at = time.monotonic()
    peak = unpaused
    while time.monotonic() - paused_at < minutes * 60:
        time.sleep(10)
        peak = max(peak, tree_pss_mb(session.process.pid))
        say(f"paused {time.monotonic() - paused_at:.0f} s, PSS {peak:.1f} MB at most")
    recorder = session.desk.recorder
    recorder.reset()
    session.call(PLAYER, "Play")
    recorder.wait_for_audio(10)
    back_title = session.title()
    time.sleep(20)
    behind = re.sub(r"\D", "", session.get(OWN, "BehindLive").split(" ")[-1])
    silences = [(s, e) for s, e in recorder.silences(0.1)]
    session.stop()
    return ["| pause | figure |", "|---|---|",
            f"| paused for | {minutes:g} min |",
            f"| tree PSS playing, before the pause | {unpaused:.1f} MB |",
            f"| tree PSS while paused, peak | {peak:.1f} MB ({peak - unpaused:+.1f} MB) |",
            f"| behind live after resuming (bus) | {behind} s |",
            f"| title at the pause / when sound came back | {title!r} / {back_title!r} |",
            f"| silences over 100 ms in the 20 s after resuming | {len(silences)} |"]


class CapturingRelay:
    """Forwards one stream from the server and keeps every byte it sent."""

    def __init__(self, upstream: str):
        host, port = upstream.split("//")[1].split(":")
        self.upstream = (host, int(port))
        self.captured = bytearray()
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self) -> None:
        while True:
            client, _ = self.listener.accept()
            server = socket.create_connection(self.upstream)
            threading.Thread(target=self._pipe, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self._pipe, args=(server, client, self.captured),
                             daemon=True).start()

    @staticmethod
    def _pipe(source: socket.socket, target: socket.socket, keep: bytearray | None) -> None:
        try:
            while data := source.recv(65536):
                if keep is not None:
                    keep += data
                target.sendall(data)
        except OSError:
            pass

    def audio(self) -> tuple[bytes, list[tuple[int, str]]]:
        """The captured answer's audio without its ICY blocks, and the titles in them with
        where in the audio each came."""
        head, _, body = bytes(self.captured).partition(b"\r\n\r\n")
        found = re.search(rb"(?im)^icy-metaint:\s*(\d+)", head)
        if not found:
            return body, []
        interval, audio, titles, at = int(found.group(1)), bytearray(), [], 0
        while at < len(body):
            audio += body[at:at + interval]
            at += interval
            if at >= len(body):
                break
            length = body[at] * 16
            block = body[at + 1:at + 1 + length]
            at += 1 + length
            title = re.search(rb"StreamTitle='(.*?)';", block)
            if title:
                titles.append((len(audio), title.group(1).decode("utf-8", "replace")))
        return bytes(audio), titles


def measure_record(session: Session, minutes: float) -> list[str]:
    relay = CapturingRelay(session.streams)
    session.start(f"http://127.0.0.1:{relay.port}{NAMED_MP3}")
    pid = session.process.pid
    time.sleep(30)  # the browser engine's start is not the playing's cost
    start = tree_ticks(pid)
    time.sleep(minutes * 60)
    plain = (tree_ticks(pid) - start) / (minutes * 60)
    session.call(OWN, "Record", "true")
    start = tree_ticks(pid)
    time.sleep(minutes * 60)
    recording = (tree_ticks(pid) - start) / (minutes * 60)
    session.call(PLAYER, "Stop")
    time.sleep(2)
    session.stop()
    music = Path(session.desk.env["HOME"]) / "Music" / "Lyrevane"
    files = sorted(music.glob("*.mp3")) if music.exists() else []
    if not files:
        return ["record: no recording was found in " + str(music)]
    recorded = files[0].read_bytes()
    audio, sent = relay.audio()
    offset = audio.find(recorded)
    # Titles sent while recording, and the one playing when it began.
    sent_titles = [t for at, t in sent if offset <= at < offset + len(recorded)]
    sent_titles += [t for at, t in sent if at < offset][-1:]
    cue = files[0].with_suffix(".cue")
    cue_titles = re.findall(r'^\s+TITLE "(.*)"$', cue.read_text(), re.M) if cue.exists() else []
    return ["| record | figure |", "|---|---|",
            f"| recorded | {len(recorded)} bytes ({minutes:g} min) |",
            f"| one piece of the server's audio, byte for byte | "
            f"{'yes' if recorded and offset >= 0 else 'NO'} |",
            f"| titles in the cue sheet / titles sent while recording | "
            f"{len(cue_titles)} / {len(sent_titles)} |",
            f"| tree CPU playing / recording (% of a core) | {plain:.2f} / {recording:.2f} "
            f"({recording - plain:+.2f}) |"]


def measure_live(session: Session, minutes: float) -> list[str]:
    session.start(session.streams + NAMED_MP3)
    pid = session.process.pid
    time.sleep(30)  # the browser engine's start is not the playing's cost
    first, first_alone = tree_pss_mb(pid), tree_alone_mb(pid)
    start = tree_ticks(pid)
    time.sleep(minutes * 60)
    cpu = (tree_ticks(pid) - start) / (minutes * 60)
    last, last_alone = tree_pss_mb(pid), tree_alone_mb(pid)
    session.stop()
    return ["| live | figure |", "|---|---|",
            f"| tree PSS after 30 s / after {minutes:g} min more | {first:.1f} / {last:.1f} MB |",
            f"| tree alone (each page once) after 30 s / at the end | {first_alone:.1f} / "
            f"{last_alone:.1f} MB |",
            f"| tree CPU playing live (% of a core) | {cpu:.2f} |"]


def measure_jumps(session: Session, jumps: int) -> list[str]:
    session.start(session.streams + NAMED_MP3)
    time.sleep(60)  # a minute kept to move in
    recorder = session.desk.recorder
    gaps: list[float] = []
    between = 0
    for n in range(2 * jumps):
        called = time.monotonic()
        session.call(PLAYER, "Seek", f"int64 {-15_000_000 if n % 2 == 0 else 15_000_000}")
        time.sleep(5)
        near, far = [], []
        for start, end in recorder.silences():
            if end is not None and end < called:
                continue
            (near if start <= called + 1.0 else far).append((start, end))
        # The jump's gap: from the call until sound at the new place (none when it never fell
        # silent).
        gaps.append(max(((end or time.monotonic()) - called for _, end in near), default=0.0))
        between += len(far)
    session.stop()
    gaps.sort()
    return ["| jump | figure |", "|---|---|",
            f"| jumps of 15 s (back and forward through MPRIS Seek) | {len(gaps)} |",
            f"| silence from the call to the sound at the new place, median / longest | "
            f"{gaps[len(gaps) // 2] * 1000:.0f} / {gaps[-1] * 1000:.0f} ms |",
            f"| other silences over 20 ms in the 5 s after each jump | {between} |"]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"))
    parser.add_argument("--pause-minutes", type=float, default=10)
    parser.add_argument("--record-minutes", type=float, default=10)
    parser.add_argument("--live-minutes", type=float, default=3)
    parser.add_argument("--titles", type=float, default=30)
    parser.add_argument("--jumps", type=int, default=10)
    parser.add_argument("--only", choices=("pause", "record", "live", "jump"))
    args = parser.parse_args()
    missing = [t for t in ("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg", "dbus-daemon",
                           "gdbus") if shutil.which(t) is None]
    if missing:
        say("missing: " + ", ".join(missing))
        return 2
    report: list[str] = []
    measures = {"pause": lambda session: measure_pause(session, args.pause_minutes),
                "record": lambda session: measure_record(session, args.record_minutes),
                "live": lambda session: measure_live(session, args.live_minutes),
                "jump": lambda session: measure_jumps(session, args.jumps)}
    for part, measure in measures.items():
        if args.only not in (None, part):
            continue
        with desktop.Desktop() as desk:
            session = Session(desk, args.player, args.titles)
            try:
                report += measure(session)
            finally:
                session.stop()
        report.append("")
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
