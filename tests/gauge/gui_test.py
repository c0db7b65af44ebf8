#!/usr/bin/env python3
"""aviolog-gauge under Xvfb: a program on loopback sends the main menu and a log; the
rows read back through the control input must show them. Then the pilot's quick clicks
(xdotool, 0.1 to 0.25 s apart, fast enough for the toolkit to call them double clicks)
must each be one key, and a screenshot of the window must have the face's size.
Run inside xvfb-run. Usage: gui_test.py AVIOLOG_GAUGE OUT_DIR"""
import os, socket, struct, subprocess, sys, time

gauge, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
SCALE = 2
RECORD = 2002


def record(kind, text):
    body = text.encode("cp1252")[:1999]
    return struct.pack("<H", kind) + body + b"\0" * (2000 - len(body))


def fail(message):
    print(message)
    sys.exit(1)


with socket.socket() as probe:
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
settings = os.path.join(out, "aviologgauge.ini")
with open(settings, "wb") as f:
    f.write(b"[TCPIP]\r\nPort=%d\r\n" % port)

proc = subprocess.Popen([gauge, "--settings", settings, "--scale", str(SCALE)],
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)


def rows():
    proc.stdin.write("rows\n")
    proc.stdin.flush()
    shown = []
    while True:
        line = proc.stdout.readline().rstrip("\n")
        if line == "end" or not line:
            return shown
        shown.append(line)


def expected_rows(lines):
    return ["row %d|%s|" % (i + 1, (lines + [""] * 9)[i]) for i in range(9)]


def wait_rows(lines, what, seconds=5.0):
    want = expected_rows(lines)
    deadline = time.monotonic() + seconds
    while True:
        shown = rows()
        if shown == want:
            return
        if time.monotonic() > deadline:
            fail("%s: rows differ:\n%s\nwanted:\n%s" % (what, "\n".join(shown), "\n".join(want)))
        time.sleep(0.05)


received = b""


def keys_received(count, seconds=5.0, settle=0.4):
    """The texts of the records the terminal sent: once count arrived, a little longer,
    so that a click counted twice shows too."""
    global received
    texts = []
    deadline = time.monotonic() + seconds
    settled = None
    while time.monotonic() < (settled or deadline):
        program.settimeout(0.05)
        try:
            chunk = program.recv(65536)
            if not chunk:
                fail("the terminal closed the link")
            received += chunk
        except socket.timeout:
            pass
        while len(received) >= RECORD:
            body = received[2:RECORD]
            texts.append(body[:body.index(b"\0")].decode("cp1252"))
            received = received[RECORD:]
        if len(texts) >= count and settled is None:
            settled = time.monotonic() + settle
    return texts


def at(face_x, face_y):
    return [str(face_x * SCALE), str(face_y * SCALE)]


# Centres of the keys in face pixels (the face's layout table).
KEYPAD_X = [40, 73, 106, 139, 172, 205, 238, 271, 304, 337]
KEYPAD_Y = [181, 212, 242]


def keypad(row, column):
    return KEYPAD_X[column] + 13, KEYPAD_Y[row] + 13


LETTER = {c: keypad(0, i) for i, c in enumerate("ABCDEFGHIJ")}
LETTER.update({c: keypad(1, i) for i, c in enumerate("KLMNOPQRS")})
LETTER.update({c: keypad(2, i) for i, c in enumerate("TUVWXYZ")})
ERASE_UP, ENTER = keypad(2, 7), keypad(2, 9)
LSK1, RSK2 = (17, 20), (383, 51)


def clicks(window, taps):
    """taps: (face point, times, seconds apart); one xdotool run, no pause between taps
    beyond the gap, as a pilot's quick fingers."""
    command = ["xdotool"]
    for n, (point, times, gap) in enumerate(taps):
        if n:
            command += ["sleep", str(gap)]
        command += ["mousemove", "--window", window] + at(*point)
        command += ["click", "--repeat", str(times), "--delay", str(int(gap * 1000)), "1"]
    subprocess.run(command, check=True)


try:
    assert proc.stdout.readline().strip() == "listening on %d" % port
    program = socket.create_connection(("127.0.0.1", port), timeout=5)
    menu = "".join(l.ljust(44) + "\n" for l in
                   ["Show ACARS" + " " * 25 + "Free text", "", "Show LOG", "", "Weather", "",
                    "Plane Weight", "", ""])
    log = ["09:25  Start  [2024/06/14 09:25]", "09:31  Parking Brakes off",
           "09:38  Take off, weight 71234 Kg, N1 92%"]
    program.sendall(record(3, menu) + record(2, "Page3") + record(1, "\n".join(log) + "\n"))
    wait_rows([l.ljust(44) for l in menu.split("\n")[:9]], "the menu")
    program.sendall(record(2, "Page2"))
    wait_rows(log, "page 2")

    window = subprocess.run(["xdotool", "search", "--sync", "--name", "Aviolog ACARS"],
                            capture_output=True, text=True, check=True).stdout.split()[0]

    # Each row: the taps, and the keys the program must receive.
    for name, taps, keys in [
        ("10 clicks on LSK1, 0.1 s apart", [(LSK1, 10, 0.1)], ["LSK1"] * 10),
        ("6 clicks on RSK2, 0.25 s apart", [(RSK2, 6, 0.25)], ["RSK2"] * 6),
        ("H-E-L-L-O and enter, 0.15 s apart",
         [(LETTER["H"], 1, 0.15), (LETTER["E"], 1, 0.15), (LETTER["L"], 2, 0.15),
          (LETTER["O"], 1, 0.15), (ENTER, 1, 0.15)], ["HELLO"]),
    ]:
        clicks(window, taps)
        got = keys_received(len(keys))
        if got != keys:
            fail("%s: the program received %s" % (name, got))

    # 30 lines show the last nine; 8 quick clicks on erase/up move 8 lines, no fewer.
    more = ["%02d:%02d  line %d" % (10, i, i) for i in range(len(log), 30)]
    program.sendall(record(1, "\n".join(more) + "\n"))
    page2 = log + more
    wait_rows(page2[21:30], "30 lines")
    clicks(window, [(ERASE_UP, 8, 0.2)])
    wait_rows(page2[13:22], "8 clicks up")

    shot = os.path.join(out, "aviolog-gauge.png")
    subprocess.run(["import", "-window", "root", shot], check=True)
    info = subprocess.run(["xwininfo", "-name", "Aviolog ACARS"], capture_output=True, text=True)
    size = {}
    for line in info.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Width", "Height"):
            size[key] = int(value)
    if size != {"Width": 798, "Height": 538}:
        fail("window size %s\n%s" % (size, info.stdout))
    print("screenshot:", shot)
    proc.stdin.write("quit\n")
    proc.stdin.flush()
    proc.wait(timeout=5)
finally:
    if proc.poll() is None:
        proc.kill()
