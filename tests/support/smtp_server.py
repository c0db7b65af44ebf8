#!/usr/bin/python3
"""A loopback SMTP server for the mail tests, on Debian's aiosmtpd.

It offers AUTH LOGIN (base64 "Username:"/"Password:" prompts), CRAM-MD5 and the
clear-text "AUTH LOGIN PLAIN" variant, for one account given on the command line.
Every message received is parsed with the email package's strict policy and written to
the output folder as N.eml (the bytes received) and N.txt (a summary, one item a line,
values hex-encoded UTF-8 so that any byte survives), and a line to connections.log as each
connection starts and ends. It prints "port N" once it listens.
"""

import argparse
import asyncio
import email
import email.policy
import hashlib
import hmac
import os
import random
import secrets
import sys

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


def hexed(value):
    if isinstance(value, str):
        value = value.encode("utf-8", "surrogateescape")
    return value.hex()


class Handler:
    def __init__(self, out, user, password):
        self.out = out
        self.user = user.encode()
        self.password = password.encode()
        self.count = 0

    def result(self, server, mechanism, user, ok):
        # Logged before the server answers, so a test can read it once it has the answer.
        with open(os.path.join(self.out, "auth.log"), "a") as log:
            log.write(f"{mechanism} {hexed(user)} {'ok' if ok else 'refused'}\n")
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))

    async def auth_CRAM__MD5(self, server, args):
        challenge = f"<{secrets.token_hex(8)}@aviolog.test>".encode()
        answer = await server.challenge_auth(challenge)
        if answer is MISSING:
            return AuthResult(success=False, handled=True)
        user, _, digest = answer.partition(b" ")
        expected = hmac.new(self.password, challenge, hashlib.md5).hexdigest().encode()
        ok = user == self.user and hmac.compare_digest(digest, expected)
        return self.result(server, "CRAM-MD5", user, ok)

    async def auth_LOGIN(self, server, args):
        if len(args) == 2 and args[1].upper() == "PLAIN":
            # Prompts and answers in clear text, one line each. aiosmtpd 1.4 (Debian 12)
            # only offers base64 challenges, so the line is read from its stream directly.
            await server.push("334 username:")
            user = (await server._reader.readline()).rstrip(b"\r\n")
            await server.push("334 password:")
            password = (await server._reader.readline()).rstrip(b"\r\n")
            mechanism = "LOGIN-PLAIN"
        else:
            user = await server.challenge_auth("Username:")
            if user is MISSING:
                return AuthResult(success=False, handled=True)
            password = await server.challenge_auth("Password:")
            if password is MISSING:
                return AuthResult(success=False, handled=True)
            mechanism = "LOGIN"
        ok = user == self.user and password == self.password
        return self.result(server, mechanism, user, ok)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, str(self.count))
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.content)
        os.rename(base + ".eml.tmp", base + ".eml")
        lines = [f"from {hexed(envelope.mail_from)}"]
        lines += [f"rcpt {hexed(r)}" for r in envelope.rcpt_tos]
        lines += summarize(envelope.content)
        with open(base + ".txt.tmp", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(base + ".txt.tmp", base + ".txt")
        return "250 OK"


def summarize(content):
    try:
        message = email.message_from_bytes(content, policy=email.policy.strict)
        lines = []
        for name, value in message.items():
            lines.append(f"header {name} {hexed(str(value))}")
            for defect in getattr(value, "defects", []):
                lines.append(f"defect {hexed(name + ': ' + repr(defect))}")
        if message["Date"] is not None and message["Date"].datetime is not None:
            offset = message["Date"].datetime.utcoffset()
            if offset is not None:
                lines.append(f"date-offset {int(offset.total_seconds() // 60)}")
        for part in message.walk():
            for defect in part.defects:
                lines.append(f"defect {hexed(repr(defect))}")
            if part.is_multipart():
                continue
            if part.get_content_disposition() == "attachment":
                lines.append(f"attachment {hexed(part.get_filename() or '')} "
                             f"{part.get_content().hex()}")
            else:
                lines.append(f"body {part.get_content_type()} {hexed(part.get_content())}")
        lines.append("parse ok")
        return lines
    except Exception as error:  # the strict policy raises on the first defect
        return [f"parse failed {hexed(type(error).__name__ + ': ' + str(error))}"]


class LoggedSMTP(SMTP):
    """Writes "open" and "closed" to connections.log as each connection starts and ends:
    once a connection is closed nothing more can arrive from it, so a test can tell "not
    sent" from "not arrived yet"."""

    def __init__(self, *args, out, **kwargs):
        super().__init__(*args, **kwargs)
        self.log = os.path.join(out, "connections.log")

    def note(self, what):
        with open(self.log, "a") as log:
            log.write(what + "\n")

    def connection_made(self, transport):
        self.note("open")
        super().connection_made(transport)

    def connection_lost(self, error):
        super().connection_lost(error)
        self.note("closed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--user", default="pilot")
    parser.add_argument("--password", default="secret")
    options = parser.parse_args()

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(options.out, options.user, options.password)
    # The program takes ports 1 to 32000 only, below the system's ephemeral range.
    server = None
    for _ in range(200):
        try:
            server = loop.run_until_complete(loop.create_server(
                lambda: LoggedSMTP(handler, auth_require_tls=False, hostname="aviolog.test",
                                   loop=loop, out=options.out),
                "127.0.0.1", random.randint(20000, 32000)))
            break
        except OSError:
            continue
    if server is None:
        sys.exit("no free port between 20000 and 32000")
    print(f"port {server.sockets[0].getsockname()[1]}", flush=True)
    loop.run_forever()


if __name__ == "__main__":
    sys.exit(main())
