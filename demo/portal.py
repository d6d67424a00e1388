#!/usr/bin/env python3
"""Quillmoor demo portal: the web pages and the tracker that the Lyrevane player talks to.

    demo/portal.py [--port N] [--stream-base URL] [--tracker-log FILE] [--site DIR] [--verbose]

Serves on 127.0.0.1 only and prints "READY http://127.0.0.1:PORT" once it listens.
SIGTERM or SIGINT stop it.

Pages come from templates in demo/site/ (files starting with "_" are partials and are not
served). Templates use two kinds of placeholder:

    {{> _name.ext}}   replaced by the partial file demo/site/_name.ext; a partial may hold
                      partials itself, and text for its own placeholders:
                      {{> _head.html title="Home"}} puts "Home" where _head.html says {{title}}
    {{NAME}}          replaced by a value computed here (see page_values); in HTML and ASX
                      files the value is HTML-escaped, in .pls and .m3u files it is inserted
                      as it is

The tracker, /cgi-bin/lyrevane/tracker.cgi?_cmd=track[&sid=...], answers every request
with a new session id followed by CR LF as a text/plain body, and appends one JSON line per
request to --tracker-log.

Python standard library only.
"""

from __future__ import annotations

import argparse
import datetime
import html
import http.server
import json
import os
import re
import secrets
import signal
import sys
import threading
import urllib.parse

HOST = "127.0.0.1"
TRACKER_PATH = "/cgi-bin/lyrevane/tracker.cgi"
REFUSED_STREAM = "http://www.tickertalk.example/live/marketwrap.mp3"  # another station: on the refused list
DEFAULT_SITE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "site")

CONTENT_TYPES = {
    ".html": "text/html; charset=utf-8",
    ".shtml": "text/html; charset=utf-8",
    ".asx": "video/x-ms-asf",
    ".pls": "audio/x-scpls",
    ".m3u": "audio/x-mpegurl",
}
ESCAPED_TYPES = {".html", ".shtml", ".asx"}

INCLUDE_RE = re.compile(r"\{\{>\s*([A-Za-z0-9_.\-]+)((?:\s+[a-z]+=\"[^\"]*\")*)\s*\}\}")
ARGUMENT_RE = re.compile(r'([a-z]+)="([^"]*)"')
PARTIAL_VALUE_RE = re.compile(r"\{\{([a-z]+)\}\}")
VALUE_RE = re.compile(r"\{\{([A-Z0-9_]+)\}\}")


def escape_param(url: str) -> str:
    """Percent-escape a URL for use as the parameter of a lyrev: command."""
    return urllib.parse.quote(url, safe="")


def page_values(portal: str, stream_base: str) -> dict[str, str]:
    stream_base = stream_base.rstrip("/")
    mp3 = f"{stream_base}/quillmoor.mp3"
    ogg = f"{stream_base}/quillmoor.ogg"
    asx = f"{portal}/ASX/quillmoor.asx"
    kestrel = f"{portal}/interviews/kestrel-lithium.shtml"
    brackwater = f"{portal}/interviews/brackwater-biotech.shtml"
    markets = f"{portal}/markets.html"

    def play(url: str) -> str:
        return "lyrev:play?" + escape_param(url)

    def browse(url: str) -> str:
        return "lyrev:browse?" + escape_param(url)

    def browse_and_play(page: str, media: str) -> str:
        return f"lyrev:browseandplay?infopage={escape_param(page)}&media={escape_param(media)}"

    return {
        "PORTAL": portal,
        "STREAM_BASE": stream_base,
        "MP3_URL": mp3,
        "OGG_URL": ogg,
        "ASX_URL": asx,
        "PLS_URL": f"{portal}/demo.pls",
        "M3U_URL": f"{portal}/demo.m3u",
        "PLAY_MP3": play(mp3),
        "PLAY_OGG": play(ogg),
        "PLAY_ASX": play(asx),
        "PLAY_REFUSED": play(REFUSED_STREAM),
        "PLAY_EMPTY": "lyrev:play?",
        "PLAY_RAW": "lyrev:play?" + mp3,
        "BROWSE_KESTREL": browse(kestrel),
        "BROWSE_BRACKWATER": browse(brackwater),
        "BROWSE_MARKETS": browse(markets),
        "BROWSEANDPLAY_KESTREL": browse_and_play(kestrel, mp3),
        "BROWSEANDPLAY_BRACKWATER": browse_and_play(brackwater, ogg),
        "BROWSEANDPLAY_REFUSED": browse_and_play(kestrel, REFUSED_STREAM),
        "BROWSEANDPLAY_SWAPPED":
            f"lyrev:browseandplay?media={escape_param(mp3)}&infopage={escape_param(kestrel)}",
        "SCHEDULE": "lyrev:schedule?x",
        "NO_QUESTION": "lyrev:play",
        "UPPER_SCHEME": "LYREV:play?" + escape_param(mp3),
        "UNKNOWN_COMMAND": "lyrev:Play?" + escape_param(mp3),
    }


class Site:
    """The page templates of one site folder, filled with one set of values."""

    def __init__(self, folder: str, values: dict[str, str]) -> None:
        self.folder = os.path.realpath(folder)
        self.values = values

    def file_for(self, path: str) -> str | None:
        """Template file for a URL path, or None. Partials and hidden files are never served."""
        if path == "/" or path.endswith("/"):
            path += "index.html"
        parts = [p for p in path.split("/") if p]
        if not parts or any(p.startswith((".", "_")) for p in parts):
            return None
        candidate = os.path.realpath(os.path.join(self.folder, *parts))
        if not candidate.startswith(self.folder + os.sep) or not os.path.isfile(candidate):
            return None
        if os.path.splitext(candidate)[1].lower() not in CONTENT_TYPES:
            return None
        return candidate

    def _read(self, name: str) -> str:
        with open(name, encoding="utf-8") as f:
            return f.read()

    def _include(self, text: str) -> str:
        """`text` with its partials in place, theirs too, each filled with its arguments."""

        def include(match: re.Match) -> str:
            partial = os.path.join(self.folder, match.group(1))
            if not match.group(1).startswith("_") or not os.path.isfile(partial):
                raise KeyError(f"no partial {match.group(1)!r}")
            arguments = dict(ARGUMENT_RE.findall(match.group(2)))
            filled = PARTIAL_VALUE_RE.sub(lambda m: arguments[m.group(1)], self._read(partial))
            return self._include(filled)

        return INCLUDE_RE.sub(include, text)

    def render(self, filename: str) -> tuple[bytes, str]:
        ext = os.path.splitext(filename)[1].lower()
        text = self._read(filename)

        text = self._include(text)

        values = dict(self.values, TODAY=datetime.date.today().strftime("%A %d %B %Y"))

        def value(match: re.Match) -> str:
            raw = values[match.group(1)]
            return html.escape(raw, quote=True) if ext in ESCAPED_TYPES else raw

        text = VALUE_RE.sub(value, text)
        return text.encode("utf-8"), CONTENT_TYPES[ext]


class Tracker:
    """Hands out session ids and keeps a log of every tracking request."""

    def __init__(self, log_path: str | None) -> None:
        self.log_path = log_path
        self.lock = threading.Lock()
        if log_path:
            os.makedirs(os.path.dirname(os.path.abspath(log_path)), exist_ok=True)

    def answer(self, target: str, client: str) -> tuple[int, str]:
        query = urllib.parse.urlsplit(target).query
        fields = urllib.parse.parse_qs(query, keep_blank_values=True)
        cmd = fields.get("_cmd", [None])[0]
        sid = fields.get("sid", [None])[0]
        if cmd == "track":
            status, body = 200, "QM" + secrets.token_hex(8).upper() + "\r\n"
        else:
            status, body = 400, ""
        now = datetime.datetime.now(datetime.timezone.utc)
        entry = {
            "time": now.isoformat(timespec="milliseconds"),
            "unix": round(now.timestamp(), 3),
            "target": target,
            "cmd": cmd,
            "sid": sid,
            "status": status,
            "answer": body,
            "client": client,
        }
        if self.log_path:
            with self.lock, open(self.log_path, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")
        return status, body


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "QuillmoorPortal/1.0"
    protocol_version = "HTTP/1.1"

    site: Site
    tracker: Tracker
    verbose = False

    def do_GET(self) -> None:  # noqa: N802 (http.server naming)
        self.respond(with_body=True)

    def do_HEAD(self) -> None:  # noqa: N802
        self.respond(with_body=False)

    def respond(self, with_body: bool) -> None:
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if path == TRACKER_PATH:
            status, body = self.tracker.answer(self.path, self.client_address[0])
            self.send(status, body.encode("utf-8"), "text/plain; charset=utf-8", with_body)
            return
        filename = self.site.file_for(path)
        if filename is None:
            not_found = os.path.join(self.site.folder, "404.html")
            body, ctype = self.site.render(not_found)
            self.send(404, body, ctype, with_body)
            return
        try:
            body, ctype = self.site.render(filename)
        except (KeyError, OSError, UnicodeDecodeError) as e:
            self.send(500, f"template error: {e}\n".encode(), "text/plain; charset=utf-8",
                      with_body)
            return
        self.send(200, body, ctype, with_body)

    def send(self, status: int, body: bytes, ctype: str, with_body: bool) -> None:
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        if with_body:
            self.wfile.write(body)

    def log_message(self, format: str, *args) -> None:  # noqa: A002
        if self.verbose:
            sys.stderr.write("portal: %s %s\n" % (self.address_string(), format % args))


def check_templates(site: Site) -> None:
    """Render every page once so that a broken template stops the start, not a request."""
    for root, dirs, files in os.walk(site.folder):
        dirs[:] = [d for d in dirs if not d.startswith((".", "_"))]
        for name in files:
            if name.startswith((".", "_")):
                continue
            if os.path.splitext(name)[1].lower() in CONTENT_TYPES:
                site.render(os.path.join(root, name))


def main() -> int:
    parser = argparse.ArgumentParser(description="Quillmoor demo portal for the Lyrevane player.")
    parser.add_argument("--port", type=int, default=0,
                        help="port on 127.0.0.1 (0, the default: pick a free one)")
    parser.add_argument("--stream-base", default="http://127.0.0.1:8000", metavar="URL",
                        help="base URL of the Icecast server with /quillmoor.mp3 and "
                             "/quillmoor.ogg (default http://127.0.0.1:8000)")
    parser.add_argument("--tracker-log", metavar="FILE",
                        help="append one JSON line per tracker request to FILE")
    parser.add_argument("--site", default=DEFAULT_SITE, metavar="DIR",
                        help="folder of page templates (default: site/ next to this script)")
    parser.add_argument("--verbose", action="store_true", help="log every request on stderr")
    args = parser.parse_args()

    Handler.verbose = args.verbose
    Handler.tracker = Tracker(args.tracker_log)
    server = http.server.ThreadingHTTPServer((HOST, args.port), Handler)
    server.daemon_threads = True
    portal = f"http://{HOST}:{server.server_address[1]}"
    Handler.site = Site(args.site, page_values(portal, args.stream_base))
    try:
        check_templates(Handler.site)
    except (KeyError, OSError, UnicodeDecodeError) as e:
        print(f"portal: bad template: {e}", file=sys.stderr)
        server.server_close()
        return 1

    def stop(signum, frame):  # noqa: ARG001
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGHUP, stop)

    print(f"READY {portal}", flush=True)
    try:
        server.serve_forever(poll_interval=0.25)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
