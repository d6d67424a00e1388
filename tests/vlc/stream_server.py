#!/usr/bin/env python3
"""HTTP server on 127.0.0.1 for the media engine tests.

Serves the files of a folder, plus:
  /silent/...  accepts the request and never answers;
  /stall/...   answers with audio headers, then sends nothing;
  /live/NAME   sends the file NAME slowly, like a live stream;
  /flood/NAME  a live stream that sends NAME over and over as fast as the player takes it
               (up to 64 MiB), printing "SENT <path> <bytes>" after each MiB;
  /drop/FIRST/THEN/KEY/NAME
               a live stream of NAME whose first request (per KEY) is cut ("cut") or goes
               silent with the connection open ("hang") after a few seconds; later
               requests are served as "live", "missing" (404), "silent" (no answer) or
               "short" (a head and 8,000 bytes of audio, then cut).
Prints "PORT <n>" once listening, then one "GET <path>" line per request that carries
audio to the player, and one "LOOK <path>" line per request of the player's own that
only looks at a source (headers, playlists) before libVLC opens it. libVLC's requests
carry its name in the User-Agent; the player's own requests for live streams (/live/,
/drop/, ...) are the stream itself and count as requests. Looks are answered like
requests without counting as one.
"""
import argparse
import http.server
import os
import socket
import sys
import threading
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        # libVLC's own requests carry its name. The player's are looks, except on live
        # streams (no length), which the player reads itself.
        live = self.path.startswith(("/live/", "/drop/", "/stall", "/silent", "/flood/"))
        self.look = "LibVLC" not in self.headers.get("User-Agent", "") and not live
        print(f"{'LOOK' if self.look else 'GET'} {self.path}", flush=True)
        if self.path.startswith("/silent"):
            self.server.stopping.wait()
            return
        if self.path.startswith("/stall"):
            self.send_response(200)
            self.send_header("Content-Type", "audio/mpeg")
            self.end_headers()
            self.wfile.flush()
            self.server.stopping.wait()
            return
        if self.path.startswith("/live/"):
            self.send_live(self.path[len("/live/"):])
            return
        if self.path.startswith("/drop/"):
            self.send_dropping(self.path[len("/drop/"):].split("/"))
            return
        if self.path.startswith("/flood/"):
            self.send_flood(os.path.basename(self.path))
            return
        super().do_GET()

    def send_flood(self, name):
        with open(os.path.join(self.directory, name), "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "audio/mpeg")
        self.end_headers()
        sent = reported = 0
        try:
            while sent < 64 << 20 and not self.server.stopping.is_set():
                self.wfile.write(data)
                sent += len(data)
                if sent - reported >= 1 << 20:
                    reported = sent
                    print(f"SENT {self.path} {sent}", flush=True)
        except (BrokenPipeError, ConnectionResetError, OSError):
            pass

    def send_dropping(self, parts):
        if len(parts) != 4:
            self.send_error(404)
            return
        first, then, key, name = parts
        with self.server.lock:
            count = self.server.counts.get(key, 0)
            if not self.look:
                self.server.counts[key] = count + 1
        if count == 0:
            self.send_live(name, chunks=2, ending=first)
        elif then == "live":
            self.send_live(name)
        elif then == "silent":
            self.server.stopping.wait()
        elif then == "short":
            self.send_live(name, chunks=0, ending="cut", burst=1)
        else:
            self.send_error(404)

    def send_live(self, name, chunks=None, ending=None, burst=4):
        path = os.path.join(self.directory, os.path.basename(name))
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            self.send_error(404)
            return
        self.send_response(200)
        kind = "application/ogg" if name.endswith(".ogg") else "audio/mpeg"
        self.send_header("Content-Type", kind)
        self.end_headers()
        # 64 kbit/s: a first burst, then about real time.
        chunk = 8000
        # With `chunks`, only that many follow the burst; then the connection is cut
        # ("cut") or kept open without sending anything more ("hang").
        end = len(data) if chunks is None else min(len(data), (burst + chunks) * chunk)
        try:
            self.wfile.write(data[:burst * chunk])
            for start in range(burst * chunk, end, chunk):
                if self.server.stopping.wait(1.0):
                    return
                self.wfile.write(data[start:start + chunk])
            self.wfile.flush()
            if ending == "hang":
                self.server.stopping.wait()
            elif ending == "cut":
                self.connection.shutdown(socket.SHUT_RDWR)
        except (BrokenPipeError, ConnectionResetError, OSError):
            pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    # A player that hangs up early is no fault of the server's.
    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            return
        super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    args = parser.parse_args()

    def handler(*handler_args, **kwargs):
        return Handler(*handler_args, directory=args.root, **kwargs)

    server = Server(("127.0.0.1", 0), handler)
    server.stopping = threading.Event()
    server.lock = threading.Lock()
    server.counts = {}
    print(f"PORT {server.server_address[1]}", flush=True)

    # Ends with the test: stdin closes when the test process goes away.
    def watch_stdin():
        sys.stdin.read()
        server.stopping.set()
        server.shutdown()

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
