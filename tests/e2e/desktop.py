"""A private desktop for running the Lyrevane binary: X screen, sound server, demo servers.

Used by the end-to-end test and by the player benchmarks. Everything listens on 127.0.0.1
or on sockets in private folders; every process started here is stopped by close().

    with Desktop() as desk:
        streams = desk.start_streams()
        player = desk.start_player(binary, ["lyrev:play?..."], profile)
        desk.recorder.wait_for_audio(10)
        desk.close_window(player.pid)

Python standard library only (X11 is reached through ctypes).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import pwd
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from collections.abc import Iterable
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
DEMO = ROOT / "demo"
APP_TITLE = "Quillmoor(tm) Vendrasel"
SINK = "lyrevane_e2e"
RATE = 44100
CHANNELS = 2
# A sample whose magnitude reaches this (of 32768, about -50 dBFS) is sound, not silence.
SOUND_LEVEL = 100
# Silences are told apart in blocks of 5 ms; those shorter than 20 ms are not kept.
BLOCK_FRAMES = RATE // 200
SHORTEST_SILENCE = 0.02


# What the end-to-end scripts found: each check prints its line, a failed one is kept for
# the verdict.
failures: list[str] = []


def missing_tool(tools: Iterable[str]) -> str | None:
    """The first of the programs `tools` that is not installed, or None."""
    return next((tool for tool in tools if shutil.which(tool) is None), None)


def player_from_argv(doc: str, tools: tuple[str, ...]) -> str | int:
    """The player binary named on the command line, resolved; else the exit status: 2 (and
    `doc`) when the command line is wrong, 77 (skipped) when one of `tools` is missing."""
    if len(sys.argv) != 2:
        print(doc, file=sys.stderr)
        return 2
    if tool := missing_tool(tools):
        print(f"SKIP: {tool} is not installed")
        return 77
    return str(Path(sys.argv[1]).resolve())


def check(condition: bool, what: str) -> bool:
    print(f"{'ok  ' if condition else 'FAIL'} {what}", flush=True)
    if not condition:
        failures.append(what)
    return condition


def verdict() -> int:
    """The script's exit status after its checks: 1 when any failed, else 0."""
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


def log(message: str) -> None:
    print(f"desktop: {message}", file=sys.stderr, flush=True)


def escape(url: str) -> str:
    return urllib.parse.quote(url, safe="")


def wait_until(condition, timeout: float):
    """Polls `condition` until it gives something true or `timeout` seconds pass; its last
    answer."""
    deadline = time.monotonic() + timeout
    while not (answer := condition()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return answer


def clean_environment() -> dict[str, str]:
    """The caller's environment without proxies or a sound or display server of its own."""
    env = dict(os.environ)
    for name in list(env):
        if name.lower() in ("http_proxy", "https_proxy", "all_proxy", "ftp_proxy", "no_proxy"):
            del env[name]
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS"):
        env.pop(name, None)
    return env


def alive(process: subprocess.Popen) -> bool:
    return process.poll() is None


def stop_process(process: subprocess.Popen, group: bool = False, grace: float = 5.0) -> None:
    """SIGTERM, then SIGKILL after `grace` seconds; with group, the whole process group."""
    if process.poll() is None:
        try:
            if group:
                os.killpg(process.pid, signal.SIGTERM)
            else:
                process.terminate()
        except ProcessLookupError:
            pass
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            log(f"process {process.pid} did not stop; killing it")
    if group:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
    elif process.poll() is None:
        process.kill()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        pass


# --- sound: a null sink and what reaches it ------------------------------------------------


class Recorder:
    """Reads the null sink's monitor through parec: when sound first arrives, how much of it
    there was, and the silences after it."""

    def __init__(self, env: dict[str, str]):
        self._process = subprocess.Popen(
            ["parec", "-d", SINK + ".monitor", "--raw", "--format=s16le", f"--rate={RATE}",
             f"--channels={CHANNELS}", "--latency-msec=10"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
        self._lock = threading.Lock()
        self._sound_since = 0.0  # monotonic time from which sound is counted
        self._first_sound: float | None = None
        self._sound_frames = 0
        self._frames = 0
        # Silences after the first sound: the ones that ended, and the start of the current one.
        self._silences: list[tuple[float, float]] = []
        self._quiet_from: float | None = None
        self._first_block: float | None = None
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self) -> None:
        stream = self._process.stdout
        assert stream is not None
        frame_bytes = 2 * CHANNELS
        while True:
            chunk = stream.read1(8192) if hasattr(stream, "read1") else stream.read(4096)
            if not chunk:
                return
            now = time.monotonic()
            usable = len(chunk) - len(chunk) % 2
            samples = memoryview(chunk[:usable]).cast("h")
            peak = max(max(samples), -min(samples)) if len(samples) else 0
            with self._lock:
                self._frames += usable // frame_bytes
                if peak >= SOUND_LEVEL and now >= self._sound_since:
                    self._sound_frames += usable // frame_bytes
                    if self._first_sound is None:
                        self._first_sound = now
                self._note_silences(samples, now)

    def _note_silences(self, samples: memoryview, now: float) -> None:
        """Notes where sound stops and starts again, in blocks of 5 ms (lock held)."""
        frames = len(samples) // CHANNELS
        step = BLOCK_FRAMES * CHANNELS
        for start in range(0, frames * CHANNELS, step):
            block = samples[start:start + step]
            at = now - (frames - start // CHANNELS) / RATE  # when the block was played
            if at < self._sound_since:
                continue
            if max(block) >= SOUND_LEVEL or -min(block) >= SOUND_LEVEL:
                if self._quiet_from is not None and at - self._quiet_from >= SHORTEST_SILENCE:
                    self._silences.append((self._quiet_from, at))
                self._quiet_from = None
                if self._first_block is None:
                    self._first_block = at
            elif self._first_block is not None and self._quiet_from is None:
                self._quiet_from = at

    def reset(self) -> None:
        """Forgets the sound heard so far (for the next measurement)."""
        with self._lock:
            self._sound_since = time.monotonic()
            self._first_sound = None
            self._sound_frames = 0
            self._silences = []
            self._quiet_from = None
            self._first_block = None

    def first_sound(self) -> float | None:
        """time.monotonic() of the first non-silent samples since the last reset."""
        with self._lock:
            return self._first_sound

    def silences(self, shortest: float = SHORTEST_SILENCE) -> list[tuple[float, float | None]]:
        """Silences since the first sound after the last reset, at least `shortest` seconds
        long, as (start, end) in time.monotonic(); end is None for a silence still going on."""
        with self._lock:
            found: list[tuple[float, float | None]] = [
                (start, end) for start, end in self._silences if end - start >= shortest]
            if self._quiet_from is not None and time.monotonic() - self._quiet_from >= shortest:
                found.append((self._quiet_from, None))
            return found

    def sound_seconds(self) -> float:
        with self._lock:
            return self._sound_frames / RATE

    def recorded_seconds(self) -> float:
        with self._lock:
            return self._frames / RATE

    def wait_for_audio(self, timeout: float, seconds: float = 0.0) -> bool:
        """Waits until sound has been heard (at least `seconds` of it)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.first_sound() is not None and self.sound_seconds() >= seconds:
                return True
            time.sleep(0.01)
        return self.first_sound() is not None and self.sound_seconds() >= seconds

    def close(self) -> None:
        stop_process(self._process)
        self._thread.join(2)


# --- X11: closing a window the way a window manager does -------------------------------------


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class _WindowAttributes(ctypes.Structure):
    # Only map_state is read; the rest of XWindowAttributes is covered by padding.
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("pad", ctypes.c_char * 64)]


# Windows of other programs may vanish between listing and reading them: Xlib's default
# handler would end this process for that error, so errors are ignored (the calls fail).
_IGNORE_X_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
    lambda _display, _event: 0)


class X11:
    CLIENT_MESSAGE = 33
    IS_VIEWABLE = 2

    def __init__(self, display: str):
        name = ctypes.util.find_library("X11")
        if name is None:
            raise RuntimeError("libX11 is missing")
        x = ctypes.CDLL(name)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(_WindowAttributes)]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.POINTER(_Event)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XSetErrorHandler(_IGNORE_X_ERRORS)
        self._x = x
        self._dpy = x.XOpenDisplay(display.encode())
        if not self._dpy:
            raise RuntimeError(f"cannot open X display {display}")

    def close(self) -> None:
        if self._dpy:
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None

    def atom(self, name: str) -> int:
        return self._x.XInternAtom(self._dpy, name.encode(), 0)

    def _property(self, window: int, name: str) -> tuple[int, bytes]:
        actual_type, actual_format = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = self._x.XGetWindowProperty(
            self._dpy, window, self.atom(name), 0, 1024, 0, 0, ctypes.byref(actual_type),
            ctypes.byref(actual_format), ctypes.byref(count), ctypes.byref(after),
            ctypes.byref(data))
        if status != 0 or not data.value:
            return 0, b""
        # 32-bit items come back as longs.
        size = {8: 1, 16: ctypes.sizeof(ctypes.c_short), 32: ctypes.sizeof(ctypes.c_long)}
        raw = ctypes.string_at(data.value, count.value * size.get(actual_format.value, 1))
        self._x.XFree(data)
        return actual_format.value, raw

    def _longs(self, window: int, name: str) -> list[int]:
        fmt, raw = self._property(window, name)
        if fmt != 32:
            return []
        width = ctypes.sizeof(ctypes.c_long)
        return [int.from_bytes(raw[i:i + width], sys.byteorder) for i in range(0, len(raw), width)]

    def top_level_windows(self) -> list[int]:
        root = self._x.XDefaultRootWindow(self._dpy)
        root_ret, parent_ret = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self._x.XQueryTree(self._dpy, root, ctypes.byref(root_ret), ctypes.byref(parent_ret),
                                  ctypes.byref(children), ctypes.byref(count)):
            return []
        windows = [children[i] for i in range(count.value)]
        if count.value:
            self._x.XFree(children)
        return windows

    def find_window(self, pid: int, title: str) -> int | None:
        """The mapped top-level window of process `pid` whose title is `title`."""
        for window in self.top_level_windows():
            if self._longs(window, "_NET_WM_PID") != [pid]:
                continue
            if self._property(window, "_NET_WM_NAME")[1].decode("utf-8", "replace") != title:
                continue
            attributes = _WindowAttributes()
            if (self._x.XGetWindowAttributes(self._dpy, window, ctypes.byref(attributes))
                    and attributes.map_state == self.IS_VIEWABLE):
                return window
        return None

    def request_close(self, window: int) -> bool:
        """Sends WM_DELETE_WINDOW, as a window manager's close button does."""
        delete = self.atom("WM_DELETE_WINDOW")
        if delete not in self._longs(window, "WM_PROTOCOLS"):
            return False
        event = _Event()
        event.client.type = self.CLIENT_MESSAGE
        event.client.window = window
        event.client.message_type = self.atom("WM_PROTOCOLS")
        event.client.format = 32
        event.client.data[0] = delete
        event.client.data[1] = 0  # CurrentTime
        ok = self._x.XSendEvent(self._dpy, window, 0, 0, ctypes.byref(event)) != 0
        self._x.XSync(self._dpy, 0)
        return ok


# --- process trees: memory and CPU ----------------------------------------------------------


def process_tree(pid: int) -> list[int]:
    """pid and all its descendants that are alive now."""
    children: dict[int, list[int]] = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            stat = Path(f"/proc/{entry}/stat").read_text()
        except OSError:
            continue
        parent = int(stat.rsplit(")", 1)[1].split()[1])
        children.setdefault(parent, []).append(int(entry))
    tree, todo = [], [pid]
    while todo:
        current = todo.pop()
        if Path(f"/proc/{current}").exists():
            tree.append(current)
            todo.extend(children.get(current, []))
    return tree


def pss_kib(pid: int) -> int:
    try:
        for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
            if line.startswith("Pss:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_ticks(pid: int) -> int:
    """User and system time of a process and of its children that it has waited for."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except OSError:
        return 0
    return sum(int(fields[i]) for i in (11, 12, 13, 14))


def command_name(pid: int) -> str:
    try:
        return Path(f"/proc/{pid}/comm").read_text().strip()
    except OSError:
        return "?"


def tree_pss_kib(pid: int) -> dict[int, int]:
    return {p: pss_kib(p) for p in process_tree(pid)}


def tree_cpu_ticks(pid: int) -> dict[int, int]:
    return {p: cpu_ticks(p) for p in process_tree(pid)}


# --- the settings store ----------------------------------------------------------------------

STORE_SCHEMA = ("CREATE TABLE IF NOT EXISTS settings (app TEXT NOT NULL COLLATE NOCASE, "
                "section TEXT NOT NULL COLLATE NOCASE, key TEXT NOT NULL COLLATE NOCASE, "
                "value TEXT NOT NULL, PRIMARY KEY (app, section, key))")


class Profile:
    """A player profile: private XDG folders and a store that points at the demo portal."""

    def __init__(self, root: Path, portal: str):
        self.root = root
        self.config, self.data, self.cache, self.runtime = (
            root / "config", root / "data", root / "cache", root / "runtime")
        for folder in (self.config / "Lyrevane", self.data, self.cache, self.runtime):
            folder.mkdir(parents=True, exist_ok=True)
        self.runtime.chmod(0o700)
        self.store = self.config / "Lyrevane" / "settings.sqlite3"
        self.write("v1_0\\Portal", {"BaseURL": portal, "ContactEmail": "info@quillmoor.example"})

    def write(self, section: str, values: dict[str, str]) -> None:
        with sqlite3.connect(self.store) as db:
            db.execute(STORE_SCHEMA)
            db.executemany(
                "INSERT OR REPLACE INTO settings (app, section, key, value) VALUES (?, ?, ?, ?)",
                [("Lyrevane", section, key, value) for key, value in values.items()])
        db.close()

    def read(self, section: str) -> dict[str, str]:
        with sqlite3.connect(self.store) as db:
            rows = db.execute("SELECT key, value FROM settings WHERE app = 'Lyrevane' AND "
                              "section = ?", (section,)).fetchall()
        db.close()
        return dict(rows)

    def environment(self) -> dict[str, str]:
        return {"XDG_CONFIG_HOME": str(self.config), "XDG_DATA_HOME": str(self.data),
                "XDG_CACHE_HOME": str(self.cache), "XDG_RUNTIME_DIR": str(self.runtime)}


# --- the desktop ---------------------------------------------------------------------------


class Desktop:
    """Xvfb, a PulseAudio null sink with a recorder, and the demo servers, on demand."""

    def __init__(self, sound: bool = True, shared: bool = False):
        """With shared, other users (the "nobody" of a benchmark) may use the sound server."""
        self.dir = Path(tempfile.mkdtemp(prefix="lyrevane-desktop-"))
        self.env = clean_environment()
        self.env["HOME"] = str(self.dir / "home")
        (self.dir / "home").mkdir()
        self._processes: list[tuple[subprocess.Popen, bool]] = []
        self.display = ""
        self.bus = ""  # a private session bus once start_bus() ran; players use it
        self.pulse_server = ""
        self.recorder: Recorder | None = None
        self._x11: X11 | None = None
        try:
            self._start_xvfb()
            if sound:
                self._start_pulse(shared)
        except BaseException:
            self.close()
            raise

    def __enter__(self) -> Desktop:
        return self

    def __exit__(self, *_) -> None:
        self.close()

    def spawn(self, args: list[str], own_group: bool = False, **kwargs) -> subprocess.Popen:
        """Starts a process that close() stops (with own_group, its whole process group)."""
        kwargs.setdefault("env", self.env)
        process = subprocess.Popen(args, start_new_session=own_group, **kwargs)
        self._processes.append((process, own_group))
        return process

    def _start_xvfb(self) -> None:
        read_end, write_end = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                    "-nolisten", "tcp", "-noreset",
                    # A loaded machine can hold a synthetic key down past the repeat delay.
                    "-r"], pass_fds=(write_end,),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number.isdigit():
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.env["DISPLAY"] = self.display

    def _start_pulse(self, shared: bool) -> None:
        home = self.dir / "pulse"
        (home / "runtime").mkdir(parents=True, mode=0o700)
        socket = home / "native"
        env = dict(self.env, HOME=str(home), XDG_RUNTIME_DIR=str(home / "runtime"))
        env.pop("DISPLAY", None)
        self.spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                    "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr",
                    "-L", f"module-null-sink sink_name={SINK} rate={RATE}",
                    "-L", f"module-native-protocol-unix socket={socket} auth-anonymous=1"],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not socket.exists():
            if time.monotonic() > deadline:
                raise RuntimeError("pulseaudio did not start")
            time.sleep(0.05)
        if shared:
            for folder in (self.dir, home):
                folder.chmod(0o711)
        self.pulse_server = f"unix:{socket}"
        self.env["PULSE_SERVER"] = self.pulse_server
        self.recorder = Recorder(self.env)

    def _start_service(self, args: list[str], name: str) -> str:
        logfile = open(self.dir / f"{name}.log", "wb")
        process = self.spawn([sys.executable, *args], stdout=subprocess.PIPE, stderr=logfile)
        logfile.close()
        assert process.stdout is not None
        line = process.stdout.readline().decode().strip()
        if not line.startswith("READY "):
            raise RuntimeError(f"{name} did not start: "
                               + (self.dir / f"{name}.log").read_text(errors="replace")[-2000:])
        # keep its output flowing, so that it never blocks on a full pipe
        threading.Thread(target=process.stdout.read, daemon=True).start()
        return line.split(" ", 1)[1]

    def start_bus(self) -> str:
        """A private session bus (dbus-daemon) for the players and clients started here."""
        process = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        assert process.stdout is not None
        self.bus = process.stdout.readline().decode().strip()
        if not self.bus:
            raise RuntimeError("dbus-daemon did not start")
        return self.bus

    def bus_command(self, args: list[str], timeout: float = 10.0) -> str:
        """Runs a bus client (playerctl, gdbus) on the private bus; its output, stripped."""
        done = subprocess.run(args, env=dict(self.env, DBUS_SESSION_BUS_ADDRESS=self.bus),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              timeout=timeout)
        return done.stdout.strip()

    def start_streams(self, admin_password: str | None = None) -> str:
        """demo/streams.py: Icecast with its three mounts (see demo/README.md). Its base URL.
        With admin_password, titles can be set through Icecast's admin interface."""
        extra = ["--admin-password", admin_password] if admin_password else []
        return self._start_service([str(DEMO / "streams.py"), "--port", "0", *extra], "streams")

    def start_portal(self, stream_base: str) -> str:
        """demo/portal.py with its tracker. Its base URL."""
        return self._start_service(
            [str(DEMO / "portal.py"), "--port", "0", "--stream-base", stream_base,
             "--tracker-log", str(self.dir / "tracker.jsonl")], "portal")

    def player_environment(self, profile: Profile) -> dict[str, str]:
        env = dict(self.env, QT_QPA_PLATFORM="xcb",
                   DBUS_SESSION_BUS_ADDRESS=self.bus or "disabled:",
                   **profile.environment())
        flags = env.get("QTWEBENGINE_CHROMIUM_FLAGS", "")
        flags = (flags + " --disable-gpu").strip()
        if os.geteuid() == 0 and "--no-sandbox" not in flags:
            flags += " --no-sandbox"
        env["QTWEBENGINE_CHROMIUM_FLAGS"] = flags
        return env

    def start_player(self, binary: str, args: list[str], profile: Profile,
                     logfile: Path | None = None) -> subprocess.Popen:
        out = open(logfile, "wb") if logfile else subprocess.DEVNULL
        try:
            return self.spawn([binary, *args], own_group=True, env=self.player_environment(profile),
                              stdout=out, stderr=subprocess.STDOUT)
        finally:
            if logfile:
                out.close()

    def x11(self) -> X11:
        if self._x11 is None:
            self._x11 = X11(self.display)
        return self._x11

    def wait_for_window(self, pid: int, timeout: float) -> int | None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            window = self.x11().find_window(pid, APP_TITLE)
            if window is not None:
                return window
            time.sleep(0.1)
        return None

    def close_window(self, pid: int, timeout: float = 10.0) -> bool:
        """Asks the player's main window to close, as a window manager would."""
        window = self.wait_for_window(pid, timeout)
        return window is not None and self.x11().request_close(window)

    def close(self) -> None:
        if self.recorder is not None:
            self.recorder.close()
            self.recorder = None
        if self._x11 is not None:
            self._x11.close()
            self._x11 = None
        for process, group in reversed(self._processes):
            stop_process(process, group)
        self._processes.clear()
        shutil.rmtree(self.dir, ignore_errors=True)


def nobody_ids() -> tuple[int, int] | None:
    try:
        entry = pwd.getpwnam("nobody")
    except KeyError:
        return None
    return entry.pw_uid, entry.pw_gid
