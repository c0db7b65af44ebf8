#!/usr/bin/python3
"""A sample VA PIREP script on loopback, for the demo and for VA administrators who want to
see what the program sends: it answers every request with "OK", decodes the parameters
as the VA's own script would (Windows-1252 text), puts the log pieces of each flight
together and prints the report once its last piece has arrived (the first request of the
next flight, or the end of the run, closes a report). Standard library only.

Usage: sample_va_server.py [--port N]   (prints "listening on PORT" first; Ctrl-C ends)
"""

import argparse
import http.server
import signal
import sys
import urllib.parse


class Report:
    def __init__(self):
        self.params = []
        self.log = ""
        self.requests = 0

    def show(self):
        if not self.requests:
            return
        print("\n=== PIREP received in %d request(s)" % self.requests)
        for name, value in self.params:
            print("  %-10s %s" % (name, value))
        print("  log:")
        for line in self.log.split("*"):
            if line:
                print("    " + line)
        sys.stdout.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    report = Report()

    def do_GET(self):
        query = urllib.parse.urlsplit(self.path).query
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True, encoding="cp1252",
                                       errors="replace")
        params = [(n, v) for n, v in pairs if n not in ("more", "log")]
        more = dict(pairs).get("more")
        if more == "0":
            Handler.report.show()
            Handler.report = Report()
            Handler.report.params = params
        Handler.report.requests += 1
        Handler.report.log += dict(pairs).get("log", "")
        body = b"OK\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    # A demo script stops the server with SIGTERM; the last report is printed all the same.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    print("listening on %d" % server.server_address[1])
    sys.stdout.flush()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        Handler.report.show()


if __name__ == "__main__":
    main()
