#!/usr/bin/env python3
"""Audio continuity of Lyrevane beside cvlc, mpv and gst-play-1.0 on troubled live streams.

    bench/continuity.py [--mode stall|flood|storm] [--players lyrevane,cvlc,mpv,gst-play]
                        [--player build/player/Lyrevane] [--runs 2]
                        [--stalls 0.5,1,2,4,8] [--late] [--seconds 60] [--flood-rate 0]
                        [--screenshots DIR]

Everything runs on a private X screen (Xvfb) and a private PulseAudio null sink whose
monitor parec records (tests/e2e/desktop.py), with servers on 127.0.0.1 only. Each player
is started on its own, with default options: `Lyrevane "lyrev:play?<escaped URL>"` (a
temporary profile), `cvlc` (as "nobody" when run as root, as cvlc refuses root), `mpv` and
`gst-play-1.0` (`apt-get install --no-install-recommends mpv gstreamer1.0-plugins-base-apps
gstreamer1.0-plugins-good gstreamer1.0-pulseaudio`; not in scripts/install-deps). A player
that is not installed is skipped with a line saying so. Each one gets one unmeasured
warm-up start first. Sound is a recorded sample reaching about -50 dBFS; a dropout is a
silence longer than 100 ms after the first sound (the demo programme's own fades at chord
changes last a few milliseconds). --screenshots DIR keeps pictures of Lyrevane's screen in
flood and storm runs (its status bar says what it is doing).

--mode stall (the default): the player listens through a relay in front of the demo
Icecast's /quillmoor.mp3 (128 kbps MP3). The relay forwards the server's bytes as they come;
during a stall of S seconds it keeps reading from the server but sends the player nothing,
then hands over everything it held at once and goes on forwarding. Per run and stall length
S (--stalls, default 0.5, 1, 2, 4, 8 s): three stalls, the first 15 s after the player's
first sound, each 20 s + S after the previous one, and 20 s of listening after the last.
Reported per player: the silence (over 100 ms, summed) after each stall ("ok" when none),
the recovery delay (from the relay's release to the return of sound, for stalls that caused
a silence; a silence that began only after the release says when), the time to first audio
from the process start, and any dropout between the first sound and the first stall. --late instead puts a single 8 s stall after 120 s of play.
Time taken: about 23 + 3 x (20 + S) s per player, run and stall length: with the defaults
and four players about an hour (the script says how long before it starts).

--mode flood: a local server answers like Icecast (200, audio/mpeg, icy-name, icy-br 128,
icy-metaint 16000 when asked for metadata, no length) and sends a looped two-minute 128 kbps
MP3 of the demo programme as fast as the socket takes it, or at --flood-rate times real
time. Each player runs --seconds (60): reported are the process tree's proportional set
size (PSS) at the first sound and its peak, its CPU (% of one core, from 5 s after the first
sound to the end), the bytes the server sent, the seconds of sound heard and the longest
silence. A tree that passes --pss-limit MB (default 2048) is stopped there and said so.

--mode storm: a local server that answers every request with 200 and 0.5 s of audio, then
closes the connection. Each player runs --seconds: reported are the requests the server
received, the seconds of sound heard and the longest silence.

The Markdown report goes to stdout, progress to stderr. No figure is judged: exit status 0
when the measurement ran, 2 when a tool it needs (Xvfb, pulseaudio, parec, icecast2,
ffmpeg) is missing.

    python3 bench/continuity.py                              # stalls, all players, 2 runs
    python3 bench/continuity.py --late --players lyrevane,cvlc
    python3 bench/continuity.py --mode flood --players lyrevane,cvlc [--flood-rate 10]
    python3 bench/continuity.py --mode storm --players lyrevane,cvlc
"""

from __future__ import annotations

import argparse
import asyncio
import os
import shutil
import socket
import socketserver
import statistics
import subprocess
import sys
import threading
import time
import urllib.parse
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "bench"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import desktop  # noqa: E402
import player_playback  # noqa: E402

sys.path.insert(0, str(desktop.DEMO))
from streams import NAMED_MP3, PROGRAMME, STATION_NAME  # noqa: E402

HOST = "127.0.0.1"
DROPOUT = 0.1  # seconds of silence that count as a dropout
RECORDING_MARGIN = 0.05  # seconds: sound may be placed this much early (parec's blocks)
BYTES_PER_SECOND = 16000  # 128 kbps
METAINT = 16000
PLAYERS = {  # command-line name: name in the report, program
    "cvlc": ("cvlc", "cvlc"),
    "mpv": ("mpv", "mpv"),
    "gst-play": ("gst-play-1.0", "gst-play-1.0"),
    "lyrevane": ("Lyrevane", None),
}


def say(message: str) -> None:
    print(message, file=sys.stderr, flush=True)


def wait_until(moment: float) -> None:
    """Sleeps until time.monotonic() reaches moment (the stalls are set times)."""
    while (left := moment - time.monotonic()) > 0:
        time.sleep(min(left, 0.5))


# --- the players ---------------------------------------------------------------------------


class Players(player_playback.Bench):
    """The playback bench's desktop, demo servers and profile, with any URL and more players."""

    def url(self, mount: str) -> str:
        return mount if "://" in mount else super().url(mount)

    def _reference(self, args: list[str]) -> subprocess.Popen:
        env = dict(self.desk.env, HOME=str(self.vlc_home))
        env.pop("DISPLAY", None)
        return self.desk.spawn(args, own_group=True, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, cwd=str(self.vlc_home))

    def start(self, name: str, url: str) -> subprocess.Popen:
        if name == "lyrevane":
            return self.start_player(url)
        if name == "cvlc":
            return self.start_cvlc(url)
        if name == "mpv":
            return self._reference(["mpv", "--no-config", "--no-video", "--ao=pulse",
                                    "--no-terminal", url])
        if name == "gst-play":
            return self._reference(["gst-play-1.0", "--no-interactive", "-q",
                                    "--audiosink=pulsesink", url])
        raise ValueError(name)

    def finish(self, name: str, process: subprocess.Popen) -> None:
        self.stop(process, graceful=name == "lyrevane")


def available_players(wanted: list[str], player: Path) -> list[str]:
    found = []
    for name in wanted:
        label, program = PLAYERS[name]
        if program is None:
            module = [player.parent / "liblyrevane-player.so",
                      *player.parent.parent.glob("lib/*/lyrevane/liblyrevane-player.so")]
            if not os.access(player, os.X_OK) or not any(m.exists() for m in module):
                print(f"{label}: skipped, {player} or its liblyrevane-player.so is missing "
                      "(build it first)", flush=True)
                continue
        elif shutil.which(program) is None:
            print(f"{label}: skipped, {program} is not installed", flush=True)
            continue
        found.append(name)
    return found


def warm_up(players: Players, names: list[str], url: str) -> None:
    """One unmeasured start of each player (caches, the GStreamer registry)."""
    for name in names:
        players.recorder.reset()
        process = players.start(name, url)
        heard = players.recorder.wait_for_audio(30)
        players.finish(name, process)
        say(f"warm-up {PLAYERS[name][0]}: {'sound' if heard else 'NO SOUND'}")


# --- stall: a relay that holds the server's bytes back -------------------------------------


class _Connection:
    def __init__(self, writer: asyncio.StreamWriter):
        self.writer = writer
        self.held: list[bytes] = []


class Relay:
    """A TCP relay on 127.0.0.1 to the server of `upstream`; hold() and release() stall it."""

    def __init__(self, upstream: str):
        parts = urllib.parse.urlsplit(upstream)
        self._upstream = (parts.hostname, parts.port)
        self._loop = asyncio.new_event_loop()
        self._holding = False
        self._connections: set[_Connection] = set()
        self.port = 0
        ready = threading.Event()
        threading.Thread(target=self._run, args=(ready,), daemon=True).start()
        if not ready.wait(10):
            raise RuntimeError("the relay did not start")

    def base(self) -> str:
        return f"http://{HOST}:{self.port}"

    def _run(self, ready: threading.Event) -> None:
        asyncio.set_event_loop(self._loop)
        server = self._loop.run_until_complete(asyncio.start_server(self._serve, HOST, 0))
        self.port = server.sockets[0].getsockname()[1]
        ready.set()
        self._loop.run_forever()

    async def _serve(self, reader: asyncio.StreamReader, writer: asyncio.StreamWriter) -> None:
        try:
            up_reader, up_writer = await asyncio.open_connection(*self._upstream)
        except OSError:
            writer.close()
            return
        connection = _Connection(writer)
        self._connections.add(connection)
        tasks = [asyncio.create_task(self._to_server(reader, up_writer)),
                 asyncio.create_task(self._to_player(up_reader, connection))]
        try:
            await asyncio.wait(tasks, return_when=asyncio.FIRST_COMPLETED)
        finally:
            self._connections.discard(connection)
            for task in tasks:
                task.cancel()
            for end in (writer, up_writer):
                end.close()

    @staticmethod
    async def _to_server(reader: asyncio.StreamReader, writer: asyncio.StreamWriter) -> None:
        try:
            while data := await reader.read(65536):
                writer.write(data)
                await writer.drain()
        except OSError:
            pass

    async def _to_player(self, reader: asyncio.StreamReader, connection: _Connection) -> None:
        try:
            while data := await reader.read(65536):
                if self._holding:
                    connection.held.append(data)
                    continue
                connection.writer.write(data)
                await connection.writer.drain()
        except OSError:
            pass

    def _call(self, function):
        async def run():
            return function()
        return asyncio.run_coroutine_threadsafe(run(), self._loop).result(10)

    def hold(self) -> float:
        """Stops sending to the players; returns when it did (time.monotonic())."""
        def start() -> float:
            self._holding = True
            return time.monotonic()
        return self._call(start)

    def release(self) -> tuple[float, int]:
        """Sends everything held at once and forwards again; when, and how many bytes."""
        def stop() -> tuple[float, int]:
            self._holding = False
            sent = 0
            for connection in self._connections:
                if connection.held:
                    data = b"".join(connection.held)
                    connection.held.clear()
                    sent += len(data)
                    connection.writer.write(data)
            return time.monotonic(), sent
        return self._call(stop)


@dataclass
class Stall:
    held: float
    released: float
    held_bytes: int
    silences: list[tuple[float, float | None]]  # dropouts that started during its window
    end: float  # end of its window

    def silent_ms(self) -> float:
        return sum(((e if e is not None else self.end) - s) * 1000 for s, e in self.silences)

    def still_silent(self) -> bool:
        return any(e is None for _, e in self.silences)

    def recovery(self) -> str:
        """From the release to the end of the first silence that lasted until it or began
        after it. The recording places sound to about 10 ms, hence the margin."""
        for start, end in self.silences:
            if end is None:
                return "no sound by the end"
            if end >= self.released - RECORDING_MARGIN:
                delay = f"{max(0.0, end - self.released) * 1000:.0f}"
                if start > self.released + RECORDING_MARGIN:  # sound came back, then went
                    delay += f" (silent from +{start - self.released:.1f} s)"
                return delay
        return "back before the release"


@dataclass
class StallRun:
    player: str
    length: float
    first_audio_ms: float | None = None
    start_dropouts: list[tuple[float, float]] = field(default_factory=list)  # (s after, ms)
    stalls: list[Stall] = field(default_factory=list)
    ended: bool = False  # the process ended by itself


def stall_run(players: Players, relay: Relay, name: str, length: float, count: int,
              first: float, gap: float, tail: float) -> StallRun:
    result = StallRun(name, length)
    recorder = players.recorder
    recorder.reset()
    started = time.monotonic()
    process = players.start(name, relay.base() + NAMED_MP3)
    if not recorder.wait_for_audio(30):
        players.finish(name, process)
        return result
    sound = recorder.first_sound()
    assert sound is not None
    result.first_audio_ms = (sound - started) * 1000
    holds = []
    for index in range(count):
        wait_until(sound + first + index * (gap + length))
        held = relay.hold()
        wait_until(held + length)
        released, held_bytes = relay.release()
        holds.append((held, released, held_bytes))
    wait_until(holds[-1][1] + tail)
    end = time.monotonic()
    result.ended = process.poll() is not None
    silences = recorder.silences(DROPOUT)
    players.finish(name, process)
    for start, stop in silences:
        if start < holds[0][0]:
            result.start_dropouts.append((start - sound, ((stop or end) - start) * 1000))
    for index, (held, released, held_bytes) in enumerate(holds):
        window_end = holds[index + 1][0] if index + 1 < len(holds) else end
        result.stalls.append(Stall(held, released, held_bytes, [
            (s, e) for s, e in silences if held <= s < window_end], window_end))
    return result


def seconds_label(length: float) -> str:
    return f"{length:g} s"


def stall_cell(runs: list[StallRun]) -> str:
    values = []
    for run in runs:
        if run.first_audio_ms is None:
            values.append("no sound")
            continue
        for stall in run.stalls:
            if not stall.silences:
                values.append("ok")
            elif stall.still_silent():
                values.append(f"≥{stall.silent_ms():.0f} (silent to the end)")
            else:
                values.append(f"{stall.silent_ms():.0f}")
    if values and all(v == "ok" for v in values):
        return f"ok ×{len(values)}"
    numbers = any(v[0].isdigit() or v[0] == "≥" for v in values)
    return ", ".join(values) + (" ms" if numbers else "")


def recovery_cell(runs: list[StallRun]) -> str:
    values = [stall.recovery() for run in runs for stall in run.stalls if stall.silences]
    numbers = any(v[0].isdigit() for v in values)
    return (", ".join(values) + (" ms" if numbers else "")) if values else "–"


def markdown_table(header: list[str], rows: list[list[str]]) -> list[str]:
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return lines


def stall_report(results: list[StallRun], names: list[str], lengths: list[float],
                 row_label) -> list[str]:
    labels = [PLAYERS[n][0] for n in names]
    pick = {(n, length): [r for r in results if r.player == n and r.length == length]
            for n in names for length in lengths}
    out = ["Silence after each stall (dropouts over 100 ms, summed; ok: none):", ""]
    out += markdown_table(["stall", *labels], [
        [row_label(length), *[stall_cell(pick[n, length]) for n in names]]
        for length in lengths])
    out += ["", "Recovery delay, from the relay's release to the return of sound "
            "(stalls that caused a silence):", ""]
    out += markdown_table(["stall", *labels], [
        [row_label(length), *[recovery_cell(pick[n, length]) for n in names]]
        for length in lengths])
    out += ["", "Start: first audio from the process start (median, range) and dropouts "
            "between the first sound and the first stall:", ""]
    rows = []
    for n in names:
        runs = [r for r in results if r.player == n]
        firsts = [r.first_audio_ms for r in runs if r.first_audio_ms is not None]
        first = (f"{statistics.median(firsts):.0f} ms ({min(firsts):.0f}–{max(firsts):.0f})"
                 if firsts else "no sound")
        drops = [f"{ms:.0f} ms at {at:.1f} s" for r in runs for at, ms in r.start_dropouts]
        with_drop = sum(1 for r in runs if r.start_dropouts)
        rows.append([PLAYERS[n][0], first,
                     f"{with_drop} of {len(runs)} starts" + (": " + ", ".join(drops)
                                                             if drops else "")])
        ended = sum(1 for r in runs if r.ended)
        if ended:
            rows[-1][2] += f"; the process ended by itself in {ended} run(s)"
    out += markdown_table(["player", "first audio", "start dropouts"], rows)
    return out


def describe(run: StallRun) -> str:
    if run.first_audio_ms is None:
        return "no sound within 30 s"
    parts = [f"first audio {run.first_audio_ms:.0f} ms"]
    for at, ms in run.start_dropouts:
        parts.append(f"start dropout {ms:.0f} ms at {at:.1f} s")
    for stall in run.stalls:
        if not stall.silences:
            parts.append(f"ok ({stall.held_bytes // 1024} KiB held)")
            continue
        pieces = [f"{(s - stall.held) * 1000:+.0f}:"
                  + ("open" if e is None else f"{(e - s) * 1000:.0f}") for s, e in stall.silences]
        parts.append(f"({stall.held_bytes // 1024} KiB held) silences at/ms " + " ".join(pieces)
                     + f", recovery {stall.recovery()}")
    return "; ".join(parts)


def measure_stalls(players: Players, names: list[str], args) -> list[str]:
    relay = Relay(players.streams)
    if args.late:
        lengths, count, first = [8.0], 1, 120.0
    else:
        lengths, count, first = args.stalls, 3, args.first
    per_run = sum(count * (args.gap + s) + first - args.gap + args.tail + 8 for s in lengths)
    minutes = max(1, round(per_run * len(names) * args.runs / 60))
    say(f"about {minutes} min for {len(names)} player(s), {args.runs} run(s)")
    warm_up(players, names, relay.base() + NAMED_MP3)
    results = []
    for run in range(args.runs):
        for length in lengths:
            order = names if run % 2 == 0 else list(reversed(names))
            for name in order:
                result = stall_run(players, relay, name, length, count, first, args.gap,
                                   args.tail)
                results.append(result)
                say(f"run {run + 1}, {seconds_label(length)} stalls, {PLAYERS[name][0]}: "
                    f"{describe(result)}")
    if args.late:
        label = lambda length: f"{length:g} s after {first:g} s"  # noqa: E731
    else:
        label = seconds_label
    return stall_report(results, names, lengths, label)


# --- flood and storm: local live servers ---------------------------------------------------


def make_programme(folder: Path, seconds: int = 120) -> bytes:
    """`seconds` of the demo programme as a 128 kbps MP3 with no tags (loops cleanly)."""
    target = folder / "programme.mp3"
    subprocess.run(
        ["ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
         "-i", f"aevalsrc='{PROGRAMME}':s=44100:c=stereo", "-t", str(seconds),
         "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0",
         "-f", "mp3", str(target)], check=True)
    return target.read_bytes()


class LiveServer(socketserver.ThreadingTCPServer):
    """An Icecast-like MP3 server on 127.0.0.1.

    rate None: as fast as the socket takes it; a number: that many times real time.
    clip: send only that many seconds of audio per request, then close (a storm)."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, audio: bytes, rate: float | None, clip: float | None = None):
        super().__init__((HOST, 0), _LiveHandler)
        self.audio = audio
        self.rate = rate
        self.clip = clip
        self.lock = threading.Lock()
        self.requests = 0
        self.bytes_sent = 0
        self.stopping = False
        threading.Thread(target=self.serve_forever, args=(0.2,), daemon=True).start()

    def url(self) -> str:
        return f"http://{HOST}:{self.server_address[1]}/live.mp3"

    def count(self, sent: int) -> None:
        with self.lock:
            self.bytes_sent += sent

    def close(self) -> None:
        self.stopping = True
        self.shutdown()
        self.server_close()


class _LiveHandler(socketserver.BaseRequestHandler):
    def handle(self) -> None:
        server: LiveServer = self.server  # type: ignore[assignment]
        sock: socket.socket = self.request
        sock.settimeout(10)
        request = b""
        try:
            while b"\r\n\r\n" not in request and len(request) < 16384:
                data = sock.recv(4096)
                if not data:
                    return
                request += data
        except OSError:
            return
        with server.lock:
            server.requests += 1
        metadata = b"icy-metadata: 1" in request.lower()
        head = ("HTTP/1.0 200 OK\r\nServer: Icecast 2.4.4\r\nContent-Type: audio/mpeg\r\n"
                "Cache-Control: no-cache, no-store\r\n"
                f"icy-name: {STATION_NAME}\r\nicy-br: 128\r\nicy-pub: 0\r\n"
                + (f"icy-metaint: {METAINT}\r\n" if metadata else "") + "\r\n")
        try:
            sock.sendall(head.encode())
            self._send_audio(server, sock, metadata)
        except OSError:
            pass

    @staticmethod
    def _send_audio(server: LiveServer, sock: socket.socket, metadata: bool) -> None:
        audio, size = server.audio, len(server.audio)
        limit = int(server.clip * BYTES_PER_SECOND) if server.clip else None
        step = METAINT if metadata else 65536
        if server.rate:
            step = min(step, int(BYTES_PER_SECOND * server.rate / 10))
        title = b"StreamTitle='Quillmoor flood';"
        title += b"\0" * (-len(title) % 16)
        block_title = bytes([len(title) // 16]) + title
        position = audio_sent = since_meta = 0
        started = time.monotonic()
        while not server.stopping and (limit is None or audio_sent < limit):
            want = min(step, METAINT - since_meta if metadata else step,
                       (limit - audio_sent) if limit is not None else step)
            chunk = audio[position:position + want]
            if len(chunk) < want:
                chunk += audio[:want - len(chunk)]
            position = (position + want) % size
            if metadata:
                since_meta += want
                if since_meta == METAINT:
                    chunk += block_title if audio_sent < METAINT else b"\0"
                    since_meta = 0
            sock.sendall(chunk)
            audio_sent += want
            server.count(len(chunk))
            if server.rate:
                wait_until(started + audio_sent / (BYTES_PER_SECOND * server.rate))
        if limit is not None:
            sock.shutdown(socket.SHUT_RDWR)


@dataclass
class LiveRun:
    player: str
    first_audio_ms: float | None = None
    pss_start_mb: float | None = None
    pss_peak_mb: float = 0.0
    cpu: float | None = None
    requests: int = 0
    bytes_sent: int = 0
    sound_s: float = 0.0
    listened_s: float = 0.0
    longest_silence_ms: float = 0.0
    stopped_at: float | None = None  # seconds, when over the PSS limit
    ended_at: float | None = None  # seconds, when the process ended by itself


def screenshot(players: Players, target: Path) -> None:
    """The whole X screen as a PNG (the player's status bar shows what it is doing)."""
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-draw_mouse", "0",
                    "-video_size", "1280x800", "-i", players.desk.display, "-frames:v", "1",
                    str(target)], env=players.desk.env, check=False)
    say(f"screenshot: {target}")


def live_run(players: Players, name: str, server: LiveServer, seconds: float,
             pss_limit_mb: float, shots: Path | None) -> LiveRun:
    result = LiveRun(name)
    recorder = players.recorder
    recorder.reset()
    started = time.monotonic()
    process = players.start(name, server.url())
    ticks_per_second = os.sysconf("SC_CLK_TCK")
    cpu_from: tuple[float, dict[int, int]] | None = None
    last_ticks: dict[int, int] = {}
    cpu_to = started
    shot_times = [started + seconds * k / 3 for k in (1, 2)] if shots else []
    while (now := time.monotonic()) - started < seconds:
        if process.poll() is not None:
            if result.ended_at is None:
                result.ended_at = now - started
            time.sleep(0.5)
            continue
        pss = sum(desktop.tree_pss_kib(process.pid).values()) / 1024
        result.pss_peak_mb = max(result.pss_peak_mb, pss)
        sound = recorder.first_sound()
        if sound is not None and result.pss_start_mb is None:
            result.first_audio_ms = (sound - started) * 1000
            result.pss_start_mb = pss
        if sound is not None and cpu_from is None and now - sound >= 5:
            cpu_from = (now, desktop.tree_cpu_ticks(process.pid))
        last_ticks, cpu_to = desktop.tree_cpu_ticks(process.pid), time.monotonic()
        if pss > pss_limit_mb:
            result.stopped_at = now - started
            break
        if shot_times and now >= shot_times[0]:
            shot_times.pop(0)
            screenshot(players, shots / f"{args_mode(server)}-{name}-{now - started:.0f}s.png")
        time.sleep(0.5)
    end = time.monotonic()
    if shots and name == "lyrevane" and process.poll() is None:
        screenshot(players, shots / f"{args_mode(server)}-{name}-end.png")
    if cpu_from is not None and cpu_to > cpu_from[0] + 1:
        used = sum(t - cpu_from[1].get(pid, 0) for pid, t in last_ticks.items())
        result.cpu = 100 * used / ticks_per_second / (cpu_to - cpu_from[0])
    sound = recorder.first_sound()
    if sound is not None:
        result.first_audio_ms = (sound - started) * 1000
        result.listened_s = end - sound
        result.sound_s = recorder.sound_seconds()
        longest = [((e or end) - s) * 1000 for s, e in recorder.silences(DROPOUT)]
        result.longest_silence_ms = max(longest, default=0.0)
    players.finish(name, process)
    with server.lock:
        result.requests, result.bytes_sent = server.requests, server.bytes_sent
    return result


def args_mode(server: LiveServer) -> str:
    return "storm" if server.clip else "flood"


def size_label(count: int) -> str:
    return f"{count / 1e6:.1f} MB" if count >= 1e6 else f"{count / 1e3:.0f} kB"


def live_row(r: LiveRun, flood: bool) -> list[str]:
    heard = f"{r.sound_s:.1f} of {r.listened_s:.1f} s" if r.first_audio_ms is not None else "none"
    if r.ended_at is not None:
        heard += f" (the player ended after {r.ended_at:.0f} s)"
    silence = f"{r.longest_silence_ms:.0f} ms" if r.first_audio_ms is not None else "–"
    sent = size_label(r.bytes_sent)
    if not flood:
        return [PLAYERS[r.player][0], str(r.requests), sent, heard, silence]
    peak = f"{r.pss_peak_mb:.0f} MB"
    if r.stopped_at is not None:
        peak += f" (over the limit at {r.stopped_at:.0f} s: stopped)"
    return [PLAYERS[r.player][0], "–" if r.pss_start_mb is None else f"{r.pss_start_mb:.0f} MB",
            peak, "–" if r.cpu is None else f"{r.cpu:.1f}", sent, heard, silence]


def measure_live(players: Players, names: list[str], args) -> list[str]:
    audio = make_programme(players.desk.dir)
    flood = args.mode == "flood"
    rate = (args.flood_rate or None) if flood else None
    clip = None if flood else 0.5
    say(f"about {max(1, round(len(names) * args.runs * (args.seconds + 10) / 60))} min")
    results = []
    for run in range(args.runs):
        for name in names:
            if run == 0:
                server = LiveServer(audio, rate, clip)
                warm_up(players, [name], server.url())
                server.close()
            server = LiveServer(audio, rate, clip)
            try:
                result = live_run(players, name, server, args.seconds, args.pss_limit,
                                  args.screenshots if name == "lyrevane" else None)
            finally:
                server.close()
            results.append(result)
            say(f"run {run + 1}: " + " | ".join(live_row(result, flood)))
    if flood:
        speed = f"{args.flood_rate:g}× real time" if args.flood_rate else "as fast as it goes"
        out = [f"Flood ({speed}), {args.seconds:g} s per player:", ""]
        header = ["player", "PSS at first sound", "PSS peak", "CPU (% of a core)", "server sent",
                  "sound heard", "longest silence"]
    else:
        out = [f"Storm (0.5 s of audio per connection), {args.seconds:g} s per player:", ""]
        header = ["player", "requests", "server sent", "sound heard", "longest silence"]
    return out + markdown_table(header, [live_row(r, flood) for r in results])


# --- main ----------------------------------------------------------------------------------


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mode", choices=("stall", "flood", "storm"), default="stall")
    parser.add_argument("--players", default="lyrevane,cvlc,mpv,gst-play",
                        help="comma-separated, of: " + ", ".join(PLAYERS))
    parser.add_argument("--player", default=str(ROOT / "build" / "player" / "Lyrevane"),
                        help="the Lyrevane program to measure")
    parser.add_argument("--runs", type=int, default=None,
                        help="runs per player (default 2 for stall, 1 for flood and storm)")
    parser.add_argument("--stalls", default="0.5,1,2,4,8",
                        help="stall lengths in seconds (default 0.5,1,2,4,8)")
    parser.add_argument("--late", action="store_true",
                        help="stall: a single 8 s stall after 120 s of play instead")
    parser.add_argument("--first", type=float, default=15.0,
                        help="stall: seconds of play before the first stall (default 15)")
    parser.add_argument("--gap", type=float, default=20.0,
                        help="stall: seconds from a stall's end to the next one (default 20)")
    parser.add_argument("--tail", type=float, default=20.0,
                        help="stall: seconds of listening after the last stall (default 20)")
    parser.add_argument("--seconds", type=float, default=60.0,
                        help="flood, storm: seconds per player (default 60)")
    parser.add_argument("--flood-rate", type=float, default=0.0,
                        help="flood: times real time (default 0: as fast as the socket takes)")
    parser.add_argument("--screenshots", type=Path, metavar="DIR",
                        help="flood, storm: save pictures of Lyrevane's screen in DIR")
    parser.add_argument("--pss-limit", type=float, default=2048.0,
                        help="flood: stop a player whose tree PSS passes this many MB")
    args = parser.parse_args()
    if args.runs is None:
        args.runs = 2 if args.mode == "stall" else 1
    wanted = [n.strip().lower().removesuffix("-1.0") for n in args.players.split(",")
              if n.strip()]
    unknown = [n for n in wanted if n not in PLAYERS]
    if unknown or not wanted:
        parser.error(f"unknown player(s) {', '.join(unknown)}; known: {', '.join(PLAYERS)}")
    try:
        args.stalls = [float(s) for s in args.stalls.split(",") if s.strip()]
    except ValueError:
        parser.error("--stalls takes seconds separated by commas")
    if args.runs < 1 or not args.stalls or min(args.stalls) <= 0 or args.seconds <= 0:
        parser.error("runs, stall lengths and seconds must be positive")
    if tool := desktop.missing_tool(("Xvfb", "pulseaudio", "parec", "icecast2", "ffmpeg")):
        print(f"{tool} is missing (scripts/install-deps installs it)", file=sys.stderr)
        return 2

    player = Path(args.player).resolve()
    if args.screenshots:
        args.screenshots.mkdir(parents=True, exist_ok=True)
    print(f"# Continuity: --mode {args.mode}" + (" --late" if args.late else ""), flush=True)
    print(f"\nLyrevane: {player}\n", flush=True)
    names = available_players(wanted, player)
    if not names:
        print("no player to measure", flush=True)
        return 0
    with desktop.Desktop(shared=True) as desk:
        players = Players(desk, str(player))
        if args.mode == "stall":
            report = measure_stalls(players, names, args)
        else:
            report = measure_live(players, names, args)
    print("\n".join(report), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
