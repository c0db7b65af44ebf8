#!/usr/bin/env python3
"""aviolog-gauge under Xvfb: a program on loopback sends the main menu and a log; the
rows read back through the control input must show them, and a screenshot of the window
must have the face's size. Run inside xvfb-run. Usage: gui_test.py AVIOLOG_GAUGE OUT_DIR"""
import os, socket, struct, subprocess, sys, time

gauge, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)

def record(kind, text):
    body = text.encode("cp1252")[:1999]
    return struct.pack("<H", kind) + body + b"\0" * (2000 - len(body))

with socket.socket() as probe:
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
settings = os.path.join(out, "aviologgauge.ini")
with open(settings, "wb") as f:
    f.write(b"[TCPIP]\r\nPort=%d\r\n" % port)

proc = subprocess.Popen([gauge, "--settings", settings, "--scale", "2"], stdin=subprocess.PIPE,
                        stdout=subprocess.PIPE, text=True, bufsize=1)
try:
    assert proc.stdout.readline().strip() == "listening on %d" % port
    program = socket.create_connection(("127.0.0.1", port), timeout=5)
    menu = "".join(l.ljust(44) + "\n" for l in
                   ["Show ACARS" + " " * 25 + "Free text", "", "Show LOG", "", "Weather", "",
                    "Plane Weight", "", ""])
    log = ["09:25  Start  [2024/06/14 09:25]", "09:31  Parking Brakes off",
           "09:38  Take off, weight 71234 Kg, N1 92%"]
    program.sendall(record(3, menu) + record(2, "Page3") + record(1, "\n".join(log) + "\n"))
    program.sendall(record(2, "Page2"))

    def rows_now():
        proc.stdin.write("rows\n")
        proc.stdin.flush()
        rows = []
        while True:
            line = proc.stdout.readline().rstrip("\n")
            if line == "end":
                return rows
            rows.append(line)

    # The terminal takes one record per update: asked until it shows them all, or 20 s.
    expected = ["row %d|%s|" % (i + 1, (log + [""] * 9)[i]) for i in range(9)]
    deadline = time.monotonic() + 20
    rows = rows_now()
    while rows != expected and time.monotonic() < deadline:
        time.sleep(0.05)
        rows = rows_now()
    if rows != expected:
        print("rows differ:\n" + "\n".join(rows))
        sys.exit(1)

    shot = os.path.join(out, "aviolog-gauge.png")
    subprocess.run(["import", "-window", "root", shot], check=True)
    window = subprocess.run(["xwininfo", "-name", "Aviolog ACARS"], capture_output=True, text=True)
    size = {}
    for line in window.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Width", "Height"):
            size[key] = int(value)
    if size != {"Width": 798, "Height": 538}:
        print("window size", size, window.stdout)
        sys.exit(1)
    print("screenshot:", shot)
    proc.stdin.write("quit\n")
    proc.stdin.flush()
    proc.wait(timeout=5)
finally:
    if proc.poll() is None:
        proc.kill()
