#!/usr/bin/python3
"""A loopback VA web server for the HTTP tests, on the standard library alone.

It speaks HTTP/1.1 with keep-alive, so a client can send many requests on one
connection. Every request is appended to the log file as one JSON line before it is
answered, with its texts hex-encoded (as Latin-1, one byte a character) so that every
byte survives: the raw request target, the path, the query's parameters in order as
[name, value] pairs decoded by urllib.parse.parse_qsl, the User-Agent, Cache-Control
and Pragma headers, and the number of the connection it came on.

The answers come from a file read on every request: a first line "generation N", then
one reply a line, "STATUS HEXBODY". Requests take the replies in order and the last one
repeats; a new generation starts again from the first. Status 0 answers nothing: the
connection is closed as a server that died while working on the request would leave it. Without the file every answer is
"200" with the body "OK" and a line feed. The port is printed alone on the first line.
"""

import argparse
import http.server
import itertools
import json
import sys
import threading
import urllib.parse


def hexed(text):
    return (text or "").encode("latin-1").hex()


class Replies:
    def __init__(self, path):
        self.path = path
        self.generation = None
        self.taken = 0
        self.lock = threading.Lock()

    def next(self):
        try:
            with open(self.path) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return 200, b"OK\n"
        with self.lock:
            if lines[0] != self.generation:
                self.generation = lines[0]
                self.taken = 0
            replies = lines[1:]
            reply = replies[min(self.taken, len(replies) - 1)]
            self.taken += 1
        status, _, body = reply.partition(" ")
        return int(status), bytes.fromhex(body)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes; with Nagle's algorithm the second waits for
    # the client's delayed acknowledgement, 40 ms a request.
    disable_nagle_algorithm = True
    connections = itertools.count(1)

    def setup(self):
        super().setup()
        self.connection_id = str(next(Handler.connections))

    def do_GET(self):
        path, _, query = self.path.partition("?")
        params = urllib.parse.parse_qsl(query, keep_blank_values=True, encoding="latin-1",
                                        errors="strict")
        record = {
            "connection": self.connection_id,
            "target": hexed(self.path),
            "path": hexed(urllib.parse.unquote(path, encoding="latin-1")),
            "user_agent": hexed(self.headers.get("User-Agent")),
            "cache_control": hexed(self.headers.get("Cache-Control")),
            "pragma": hexed(self.headers.get("Pragma")),
            "params": [[hexed(name), hexed(value)] for name, value in params],
        }
        with self.server.log_lock:
            # Chosen with the record, so the log says exactly which requests were answered.
            status, body = self.server.replies.next()
            # Ahead of the parameters, which end the line for its reader.
            record = {"status": str(status), **record}
            with open(self.server.log_path, "a") as log:
                log.write(json.dumps(record) + "\n")
        if status == 0:
            self.close_connection = True
            return
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=windows-1252")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        pass  # the log file is the record; stderr stays quiet


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--answers", required=True)
    options = parser.parse_args()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.log_path = options.log
    server.log_lock = threading.Lock()
    server.replies = Replies(options.answers)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
