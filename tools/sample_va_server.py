#!/usr/bin/python3
"""A sample VA web site on loopback, for the demo and for VA administrators who want to see
what the program sends. It decodes every request as the VA's own scripts would
(Windows-1252 text) and prints what it received:

  PIREP script    (parameters "more" and "log")   answers "OK"; puts the log pieces of a
                  flight together and prints the report once its last piece has arrived
                  (the first piece of the next flight, or the end of the run, closes it)
  ACARS script    (parameter "mlabel")            answers "OK"; prints the message as the
                  pilot's journal shows it (the pound byte is the form's line break)
  status script   (parameter "lat")               answers "OK"; prints the position report
  uplink script   (parameter "acarsid")           answers the messages newer than acarsid,
                  each closed by "%", then "#" + the newest number and a line feed
  uplink reset    (a path holding "reset", no parameters)  answers "#" + the newest number

Uplink messages come from --uplink TEXT (repeatable); the program shows a message only when
it holds "SENDTO" + the flight number, so write it in, e.g.
  --uplink 'Uplink from dispatch SENDTOTP1944 your gate is B12'
One message is released at each uplink poll after the first, so a flight sees them arrive
on its way. Standard library only.

Usage: sample_va_server.py [--port N] [--uplink TEXT]...
(prints "listening on PORT" first; Ctrl-C or SIGTERM ends)
"""

import argparse
import http.server
import signal
import sys
import threading
import urllib.parse

POUND = "\u00a3"  # the byte 0xA3 decoded as Windows-1252


def out(text):
    print(text)
    sys.stdout.flush()


class Report:
    def __init__(self):
        self.params = []
        self.log = ""
        self.requests = 0

    def show(self):
        if not self.requests:
            return
        out("\n=== PIREP received in %d request(s)" % self.requests)
        for name, value in self.params:
            out("  %-10s %s" % (name, value))
        out("  log:")
        for line in self.log.split("*"):
            if line:
                out("    " + line)


class Site:
    """What the scripts share: the PIREP being put together and the uplink messages."""

    def __init__(self, uplinks):
        self.lock = threading.Lock()
        self.report = Report()
        self.pending = list(uplinks)
        self.released = []  # message texts; number = index + 1
        self.polls = 0

    def pirep(self, pairs):
        values = dict(pairs)
        with self.lock:
            if values.get("more") == "0":
                self.report.show()
                self.report = Report()
                self.report.params = [(n, v) for n, v in pairs if n not in ("more", "log")]
            self.report.requests += 1
            self.report.log += values.get("log", "")
        return "OK\n"

    def acars(self, values):
        content = values.get("mcontent", "").replace(POUND, "\n")
        lines = [values.get("dttm", ""), values.get("acftreg", ""),
                 values.get("mlabel", "").rstrip("\n"), values.get("fltnum", "")]
        text = "\n".join(lines + content.rstrip("\n").split("\n"))
        out("\n=== ACARS message\n" + "\n".join("  " + l for l in text.split("\n")))
        return "OK\n"

    def status(self, pairs):
        out("=== position report: " + " ".join("%s=%s" % (n, v) for n, v in pairs))
        return "OK\n"

    def uplink(self, values):
        with self.lock:
            self.polls += 1
            if self.polls > 1 and self.pending:
                self.released.append(self.pending.pop(0))
            try:
                last = int(values.get("acarsid", "0"))
            except ValueError:
                last = 0
            newer = self.released[max(last, 0):]
            newest = len(self.released)
        for text in newer:
            out("=== uplink message sent to %s: %s" % (values.get("reg", ""), text))
        return "".join(text + "%" for text in newer) + "#%d\n" % newest

    def reset(self):
        with self.lock:
            newest = len(self.released)
        out("=== uplink reset: newest message %d" % newest)
        return "#%d\n" % newest


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    site = None

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        pairs = urllib.parse.parse_qsl(parts.query, keep_blank_values=True, encoding="cp1252",
                                       errors="replace")
        values = dict(pairs)
        if "mlabel" in values:
            body = self.site.acars(values)
        elif "lat" in values:
            body = self.site.status(pairs)
        elif "acarsid" in values:
            body = self.site.uplink(values)
        elif "reset" in parts.path.lower() and not pairs:
            body = self.site.reset()
        else:
            body = self.site.pirep(pairs)
        data = body.encode("cp1252", errors="replace")
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=windows-1252")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--uplink", action="append", default=[],
                        help="an uplink message for the flight (repeatable)")
    args = parser.parse_args()
    Handler.site = Site(args.uplink)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    # A demo script stops the server with SIGTERM; the last report is printed all the same.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    out("listening on %d" % server.server_address[1])
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        Handler.site.report.show()


if __name__ == "__main__":
    main()
