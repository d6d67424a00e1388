#!/usr/bin/env python3
"""HTTP server on 127.0.0.1 for the media engine tests.

Serves the files of a folder, plus:
  /silent/...  accepts the request and never answers;
  /stall/...   answers with audio headers, then sends nothing;
  /live/NAME   sends the file NAME slowly, like a live stream.
Prints "PORT <n>" once listening, then one "GET <path>" line per request.
"""
import argparse
import http.server
import os
import sys
import threading
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        print(f"GET {self.path}", flush=True)
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
        super().do_GET()

    def send_live(self, name):
        path = os.path.join(self.directory, os.path.basename(name))
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "audio/mpeg")
        self.end_headers()
        # 64 kbit/s MP3: a first burst, then about real time.
        chunk = 8000
        try:
            self.wfile.write(data[:4 * chunk])
            for start in range(4 * chunk, len(data), chunk):
                if self.server.stopping.wait(1.0):
                    return
                self.wfile.write(data[start:start + chunk])
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    args = parser.parse_args()

    def handler(*handler_args, **kwargs):
        return Handler(*handler_args, directory=args.root, **kwargs)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.stopping = threading.Event()
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
