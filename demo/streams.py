#!/usr/bin/env python3
"""Local Icecast server with the Quillmoor demo programme on three mounts.

Starts Icecast 2 on 127.0.0.1 and feeds it a generated programme (a slow chord
progression with a chime every eight seconds, looping forever) through ffmpeg:

    /quillmoor.mp3   MP3, 128 kbit/s, audio/mpeg, station "Quillmoor Market Hour"
    /quillmoor.ogg   Ogg Vorbis, application/ogg, the same station
    /plain.mp3       MP3, 128 kbit/s, audio/mpeg, no station name (no icy-name header)

Serving:   demo/streams.py [--port N]
    Prints "READY http://127.0.0.1:PORT" on stdout once all mounts are live,
    then runs until SIGTERM or SIGINT, which stop ffmpeg and Icecast and remove
    the work folder. SIGUSR1 takes the programme off the air (ffmpeg stops and
    the mounts go away, as when the broadcaster's encoder fails) and SIGUSR2
    puts it back.

Listeners: demo/streams.py --base http://127.0.0.1:PORT --listeners /quillmoor.mp3
    Prints the mount's current listener count (0 when the mount is not live).
    With --wait N it instead waits (up to --timeout seconds) until the count is
    at least N and exits 0, or exits 1 on timeout.

Icecast refuses to run as root, so as root it runs as the user "nobody" in a
work folder that user owns. Python standard library only.
"""

from __future__ import annotations

import argparse
import base64
import threading
import urllib.parse
import ctypes
import json
import os
import pwd
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from xml.sax.saxutils import escape as xml_escape

HOST = "127.0.0.1"
NAMED_MP3 = "/quillmoor.mp3"
NAMED_OGG = "/quillmoor.ogg"
# The same programme as a station without a name: no icy-name header reaches its listeners.
PLAIN_MP3 = "/plain.mp3"
MOUNTS = (NAMED_MP3, NAMED_OGG, PLAIN_MP3)
STATION_NAME = "Quillmoor Market Hour"
ICECAST_WEBROOT = "/usr/share/icecast2/web"
ICECAST_ADMINROOT = "/usr/share/icecast2/admin"
PR_SET_PDEATHSIG = 1

# The programme: every four seconds the next chord of A - F#m - D - E (just
# intonation triads with a soft fade at each change, so the switch does not
# click), a gentle tremolo, and a bell-like chime on the hour mark of every
# eight seconds. Registers: 0 bar, 1 root, 2 third ratio, 3 position in bar.
PROGRAMME = (
    "st(0,floor(mod(t,16)/4));"
    "st(1,if(eq(ld(0),0),220,if(eq(ld(0),1),185,if(eq(ld(0),2),146.83,164.81))));"
    "st(2,if(eq(ld(0),1),1.2,1.25));"
    "st(3,mod(t,4));"
    "(0.16*sin(2*PI*ld(1)*t)+0.11*sin(2*PI*ld(1)*ld(2)*t)+0.09*sin(2*PI*ld(1)*1.5*t)"
    "+0.05*sin(2*PI*ld(1)*2*t))"
    "*min(1,ld(3)*8)*min(1,(4-ld(3))*8)*(0.8+0.2*sin(2*PI*0.25*t))"
    "+0.22*sin(2*PI*880*t)*exp(-5*mod(t,8))+0.08*sin(2*PI*1320*t)*exp(-7*mod(t,8))"
)


# What the programme's titles say, one after the other (two with accented letters, which
# Icecast sends to MP3 listeners as Latin-1).
DEMO_TITLES = (
    "Opening bell: small caps to watch",
    "Kestrel Lithium - CEO interview",
    "Caf\u00e9 de la Bourse: march\u00e9s europ\u00e9ens",
    "Brackwater Biotech - trial results",
    "Closing bell: the day's movers",
)


def log(message: str) -> None:
    print(f"streams: {message}", file=sys.stderr, flush=True)


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


# --- status of a running server -------------------------------------------------------------


def fetch_sources(base: str, timeout: float = 2.0) -> dict[str, dict]:
    """Live mounts of the Icecast at base, keyed by mount path ("/quillmoor.mp3")."""
    with urllib.request.urlopen(base.rstrip("/") + "/status-json.xsl", timeout=timeout) as r:
        stats = json.loads(r.read().decode("utf-8", "replace")).get("icestats", {})
    sources = stats.get("source", [])
    if isinstance(sources, dict):  # Icecast gives a bare object when one mount is live
        sources = [sources]
    result = {}
    for source in sources:
        url = source.get("listenurl", "")
        mount = "/" + url.split("://", 1)[-1].split("/", 1)[-1] if "://" in url else url
        result[mount] = source
    return result


def listener_count(base: str, mount: str) -> int:
    """Current listeners on mount; 0 when the mount is not live or the server does not answer."""
    try:
        source = fetch_sources(base).get(mount)
    except (OSError, ValueError):
        return 0
    if source is None:
        return 0
    try:
        return int(source.get("listeners", 0))
    except (TypeError, ValueError):
        return 0


def set_title(base: str, mount: str, title: str, admin_password: str,
              charset: str = "UTF-8", timeout: float = 5.0) -> None:
    """Sets the title Icecast sends in the ICY metadata of an MP3 mount (admin API).

    charset names the encoding of title's bytes as sent to Icecast; Icecast sends
    listeners the title in the mount's own charset (ISO-8859-1 for MP3 unless set).
    """
    raw = title.encode("latin-1" if charset.upper().replace("-", "") in ("ISO88591", "LATIN1")
                       else "utf-8")
    query = "mount=" + urllib.parse.quote(mount, safe="") + "&mode=updinfo&song=" + \
        urllib.parse.quote_from_bytes(raw, safe="") + "&charset=" + urllib.parse.quote(charset)
    request = urllib.request.Request(base.rstrip("/") + "/admin/metadata?" + query)
    token = base64.b64encode(f"admin:{admin_password}".encode()).decode()
    request.add_header("Authorization", "Basic " + token)
    with urllib.request.urlopen(request, timeout=timeout) as r:
        r.read()


def wait_for_listeners(base: str, mount: str, wanted: int, timeout: float) -> bool:
    deadline = time.monotonic() + timeout
    while True:
        if listener_count(base, mount) >= wanted:
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.5)


# --- the server -----------------------------------------------------------------------------


def icecast_config(port: int, workdir: str, source_password: str, admin_password: str) -> str:
    limits = """
    <limits>
        <clients>32</clients>
        <sources>4</sources>
        <queue-size>524288</queue-size>
        <client-timeout>30</client-timeout>
        <header-timeout>15</header-timeout>
        <source-timeout>10</source-timeout>
        <burst-on-connect>1</burst-on-connect>
        <burst-size>65535</burst-size>
    </limits>"""
    station = f"""
        <stream-name>{STATION_NAME}</stream-name>
        <stream-description>Small-cap market commentary, news and guests</stream-description>
        <genre>Talk</genre>"""
    # The unnamed mount's block names nothing, so Icecast passes on only what the source
    # sends, and its source sends no name.
    mounts = "".join(
        f"""
    <mount type="normal">
        <mount-name>{m}</mount-name>
        <public>0</public>{station if m != PLAIN_MP3 else ""}
    </mount>"""
        for m in MOUNTS
    )
    e = xml_escape
    return f"""<icecast>
    <location>Quillmoor demo</location>
    <admin>info@quillmoor.example</admin>
    <hostname>{HOST}</hostname>
{limits}
    <authentication>
        <source-password>{e(source_password)}</source-password>
        <relay-password>{e(secrets.token_hex(12))}</relay-password>
        <admin-user>admin</admin-user>
        <admin-password>{e(admin_password)}</admin-password>
    </authentication>
    <listen-socket>
        <port>{port}</port>
        <bind-address>{HOST}</bind-address>
    </listen-socket>
{mounts}
    <fileserve>1</fileserve>
    <paths>
        <basedir>{e(workdir)}</basedir>
        <logdir>{e(workdir)}/log</logdir>
        <webroot>{ICECAST_WEBROOT}</webroot>
        <adminroot>{ICECAST_ADMINROOT}</adminroot>
        <pidfile>{e(workdir)}/icecast.pid</pidfile>
        <alias source="/" destination="/status.xsl"/>
    </paths>
    <logging>
        <accesslog>access.log</accesslog>
        <errorlog>error.log</errorlog>
        <loglevel>3</loglevel>
        <logsize>10000</logsize>
    </logging>
    <security>
        <chroot>0</chroot>
    </security>
</icecast>
"""


def _die_with_parent() -> None:
    """Child set-up: get SIGTERM when streams.py itself dies, even by SIGKILL."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except (OSError, AttributeError):
        pass


def _as_user(uid: int, gid: int):
    def setup() -> None:
        os.setgroups([])
        os.setgid(gid)
        os.setuid(uid)
        _die_with_parent()  # after the change of user, which clears the setting

    return setup


class Streams:
    def __init__(self, port: int, workdir: str | None, keep: bool, ffmpeg_log: bool,
                 admin_password: str | None = None) -> None:
        self.port = port or free_port()
        self.base = f"http://{HOST}:{self.port}"
        self.own_workdir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix="lyrevane-icecast-")
        self.keep = keep
        self.ffmpeg_log = ffmpeg_log
        self.source_password = secrets.token_hex(12)
        self.admin_password = admin_password or secrets.token_hex(12)
        self.icecast: subprocess.Popen | None = None
        self.feeder: subprocess.Popen | None = None
        self.feeder_starts = 0

    # Icecast

    def start_icecast(self) -> None:
        os.makedirs(os.path.join(self.workdir, "log"), exist_ok=True)
        config = os.path.join(self.workdir, "icecast.xml")
        with open(config, "w", encoding="utf-8") as f:
            f.write(icecast_config(self.port, self.workdir, self.source_password,
                                   self.admin_password))
        os.chmod(config, 0o600)
        binary = shutil.which("icecast2") or shutil.which("icecast")
        if binary is None:
            raise SystemExit("streams: icecast2 is not installed (see scripts/install-deps)")
        preexec = _die_with_parent
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            for root, dirs, files in os.walk(self.workdir):
                for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                    os.chown(name, nobody.pw_uid, nobody.pw_gid)
            os.chmod(self.workdir, 0o700)
            preexec = _as_user(nobody.pw_uid, nobody.pw_gid)
        out = open(os.path.join(self.workdir, "log", "icecast.out"), "ab")
        self.icecast = subprocess.Popen(
            [binary, "-c", config], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
            cwd=self.workdir, preexec_fn=preexec, start_new_session=True)
        out.close()

    def icecast_answers(self) -> bool:
        try:
            fetch_sources(self.base, timeout=1.0)
            return True
        except (OSError, ValueError):
            return False

    # ffmpeg

    def feeder_command(self) -> list[str]:
        target = f"icecast://source:{self.source_password}@{HOST}:{self.port}"
        common = ["-ice_name", STATION_NAME, "-ice_genre", "Talk",
                  "-ice_description", "Small-cap market commentary, news and guests",
                  "-ice_url", "http://www.quillmoor.example/", "-ice_public", "0"]
        mp3 = ["-c:a", "libmp3lame", "-b:a", "128k", "-ar", "44100", "-ac", "2",
               "-content_type", "audio/mpeg"]
        return [
            shutil.which("ffmpeg") or "ffmpeg", "-hide_banner", "-nostdin", "-nostats",
            "-loglevel", "warning",
            "-re", "-f", "lavfi", "-i", f"aevalsrc='{PROGRAMME}':s=44100:c=stereo",
            # MP3 mount
            "-map", "0:a", *mp3, *common, "-f", "mp3", target + NAMED_MP3,
            # Vorbis mount
            "-map", "0:a", "-c:a", "libvorbis", "-q:a", "3", "-ar", "44100", "-ac", "2",
            "-content_type", "application/ogg", *common, "-f", "ogg", target + NAMED_OGG,
            # unnamed MP3 mount: no -ice_* options at all
            "-map", "0:a", *mp3, "-ice_public", "0", "-f", "mp3", target + PLAIN_MP3,
        ]

    def start_feeder(self) -> None:
        self.feeder_starts += 1
        out = (open(os.path.join(self.workdir, "ffmpeg.log"), "ab")
               if self.ffmpeg_log else subprocess.DEVNULL)
        self.feeder = subprocess.Popen(
            self.feeder_command(), stdin=subprocess.DEVNULL, stdout=out,
            stderr=out if self.ffmpeg_log else None,
            preexec_fn=_die_with_parent, start_new_session=True)
        if out is not subprocess.DEVNULL:
            out.close()

    # life

    def start(self, timeout: float = 30.0) -> None:
        self.start_icecast()
        deadline = time.monotonic() + timeout
        # Icecast 2.4 now and then dies while it starts (a crash before it answers): it is
        # started again, twice at the most.
        restarts = 2
        while not self.icecast_answers():
            if self.icecast.poll() is not None:
                if restarts == 0:
                    raise RuntimeError(f"icecast2 ended with status {self.icecast.returncode}; "
                                       f"see {self.workdir}/log")
                restarts -= 1
                self.start_icecast()
            if time.monotonic() > deadline:
                raise RuntimeError("icecast2 did not answer in time")
            time.sleep(0.2)
        self.start_feeder()
        while True:
            try:
                live = fetch_sources(self.base, timeout=1.0)
            except (OSError, ValueError):
                live = {}
            if all(m in live for m in MOUNTS):
                return
            if self.feeder.poll() is not None:
                raise RuntimeError(f"ffmpeg ended with status {self.feeder.returncode}")
            if time.monotonic() > deadline:
                raise RuntimeError("the mounts did not come up in time")
            time.sleep(0.2)

    def rotate_titles(self, seconds: float, stopping) -> None:
        """Changes the named MP3 mount's title every few seconds, as a live programme does."""
        index = 0
        while not stopping():
            try:
                set_title(self.base, NAMED_MP3, DEMO_TITLES[index % len(DEMO_TITLES)],
                          self.admin_password)
            except OSError as e:
                log(f"title update failed: {e}")
            index += 1
            deadline = time.monotonic() + seconds
            while time.monotonic() < deadline and not stopping():
                time.sleep(0.2)

    def supervise(self, stopping, off_air=lambda: False) -> None:
        """Keep the feeder running until asked to stop, and stopped while off the air;
        give up if Icecast goes away."""
        last_start = time.monotonic()
        taken_off = False
        while not stopping():
            if self.icecast.poll() is not None:
                raise RuntimeError(f"icecast2 ended with status {self.icecast.returncode}")
            if off_air():
                if self.feeder.poll() is None:
                    log("off the air: stopping ffmpeg")
                    self.feeder.terminate()
                    self.feeder.wait()
                    taken_off = True
            elif taken_off:
                log("back on the air")
                taken_off = False
                last_start = time.monotonic()
                self.start_feeder()
            elif self.feeder.poll() is not None:
                log(f"ffmpeg ended with status {self.feeder.returncode}; restarting it")
                if time.monotonic() - last_start < 5:
                    time.sleep(2)
                last_start = time.monotonic()
                self.start_feeder()
            time.sleep(0.5)

    def stop(self) -> None:
        for proc in (self.feeder, self.icecast):
            if proc is not None and proc.poll() is None:
                try:
                    proc.terminate()
                except ProcessLookupError:
                    pass
        for proc in (self.feeder, self.icecast):
            if proc is None:
                continue
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if self.own_workdir and not self.keep:
            shutil.rmtree(self.workdir, ignore_errors=True)


def serve(args: argparse.Namespace) -> int:
    stop_requested = False

    def on_signal(signum, frame):  # noqa: ARG001
        nonlocal stop_requested
        stop_requested = True

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGHUP, on_signal)
    off_air = False

    def on_air_signal(signum, frame):  # noqa: ARG001
        nonlocal off_air
        off_air = signum == signal.SIGUSR1

    signal.signal(signal.SIGUSR1, on_air_signal)
    signal.signal(signal.SIGUSR2, on_air_signal)

    streams = Streams(args.port, args.workdir, args.keep_workdir, args.ffmpeg_log,
                      args.admin_password)
    try:
        streams.start(timeout=args.timeout)
        log(f"work folder {streams.workdir}")
        for mount in MOUNTS:
            log(f"live: {streams.base}{mount}")
        print(f"READY {streams.base}", flush=True)
        if args.titles:
            threading.Thread(target=streams.rotate_titles,
                             args=(args.titles, lambda: stop_requested), daemon=True).start()
        streams.supervise(lambda: stop_requested, lambda: off_air)
        return 0
    except RuntimeError as e:
        log(str(e))
        return 1
    finally:
        streams.stop()


def main() -> int:
    parser = argparse.ArgumentParser(
        description="Run a local Icecast server with the Quillmoor demo programme, "
                    "or report a mount's listener count.")
    parser.add_argument("--port", type=int, default=0,
                        help="port on 127.0.0.1 for Icecast (0, the default: pick a free one)")
    parser.add_argument("--workdir", help="folder for the Icecast configuration and logs "
                        "(default: a new temporary folder, removed at exit)")
    parser.add_argument("--keep-workdir", action="store_true",
                        help="do not remove the temporary work folder at exit")
    parser.add_argument("--ffmpeg-log", action="store_true",
                        help="write ffmpeg's messages to ffmpeg.log in the work folder")
    parser.add_argument("--admin-password",
                        help="Icecast's admin password (default: a random one), for title updates")
    parser.add_argument("--titles", type=float, metavar="SECONDS",
                        help="change the now-playing title of /quillmoor.mp3 every SECONDS")
    parser.add_argument("--timeout", type=float, default=30.0,
                        help="seconds to wait for start-up, or for --wait (default 30)")
    parser.add_argument("--listeners", metavar="MOUNT",
                        help="print the listener count of MOUNT (e.g. /quillmoor.mp3) on the "
                             "server at --base, and exit")
    parser.add_argument("--base", metavar="URL",
                        help="Icecast base URL for --listeners, e.g. http://127.0.0.1:8000")
    parser.add_argument("--wait", type=int, metavar="N",
                        help="with --listeners: wait until MOUNT has at least N listeners")
    args = parser.parse_args()

    if args.listeners is not None:
        if not args.base:
            parser.error("--listeners needs --base")
        mount = args.listeners if args.listeners.startswith("/") else "/" + args.listeners
        if args.wait is None:
            print(listener_count(args.base, mount), flush=True)
            return 0
        ok = wait_for_listeners(args.base, mount, args.wait, args.timeout)
        print(listener_count(args.base, mount), flush=True)
        return 0 if ok else 1
    return serve(args)


if __name__ == "__main__":
    sys.exit(main())
