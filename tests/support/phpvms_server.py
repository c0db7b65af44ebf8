#!/usr/bin/python3
"""A loopback stand-in for a phpVMS 7 site's ACARS API, on the standard library alone.

It answers the routes an ACARS client uses as phpVMS 7 answers them: resources wrapped
in "data", the key checked from the X-API-Key header (401 with phpVMS's error object
when it is missing or wrong), 404 for an unknown PIREP, 400 problem answers (RFC 7807,
with "details" and the old "error" object) for an update of a cancelled PIREP and for an
aircraft that is not at the departure airport, the prefile's required fields, and a
repeated prefile of the same flight within ten minutes answered with the same PIREP.
Positions with an "id" are stored once however often they are sent (phpVMS's
updateOrInsert).

The test steers it with a JSON control file read on every request:
  "aircraft_airport": where the fleet's aircraft stand (default: the bid's departure)
  "drop": paths whose next request is carried out but never answered (the connection
    closes, as a site that died after storing); each entry is used once
  "blackhole": true: every request is read and never answered
  "fail_5xx": how many next requests get 503 without being carried out
  "fail": paths whose next request gets 503 without being carried out; each entry is used
    once, in order
The whole state (PIREPs with their positions, logs, events and updates, and every
request's method and path) is written after each request to the state file, renamed
into place. The port is printed alone on the first line.
"""

import argparse
import datetime
import http.server
import json
import os
import sys
import threading
import time

AIRLINE = {"id": 1, "icao": "VAX", "iata": "VX", "name": "Example Virtual"}
FLEET = [{
    "id": 7, "type": "B738", "name": "Boeing 737-800",
    "aircraft": [
        {"id": 41, "subfleet_id": 7, "icao": "B738", "registration": "D-AVIO",
         "name": "Big Bird", "airport_id": None},
        {"id": 42, "subfleet_id": 7, "icao": "B738", "registration": "D-AVIP",
         "name": "Little Bird", "airport_id": None},
    ],
}]


class Site:
    def __init__(self, key, control_path, state_path):
        self.key = key
        self.control_path = control_path
        self.state_path = state_path
        self.lock = threading.Lock()
        self.pireps = {}
        self.next_pirep = 1
        self.requests = []
        self.used_drops = 0
        self.used_fails = 0
        self.used_path_fails = 0

    def control(self):
        try:
            with open(self.control_path) as f:
                return json.load(f)
        except (FileNotFoundError, ValueError):
            return {}

    def save(self):
        state = {"pireps": self.pireps, "requests": self.requests}
        temp = self.state_path + ".tmp"
        with open(temp, "w") as f:
            json.dump(state, f)
        os.replace(temp, self.state_path)


def now():
    return datetime.datetime.now(datetime.timezone.utc)


def problem(status, kind, details, **extra):
    body = {"type": "https://phpvms.net/errors/" + kind, "title": details,
            "details": details, "status": status,
            "error": {"status": status, "message": details}}
    body.update(extra)
    return status, body


def pirep_resource(pirep):
    keep = {k: v for k, v in pirep.items()
            if k not in ("positions", "logs", "events", "updates", "created")}
    return {"data": keep}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True

    def do_GET(self):
        self.serve("GET")

    def do_POST(self):
        self.serve("POST")

    def do_PUT(self):
        self.serve("PUT")

    def do_DELETE(self):
        self.serve("DELETE")

    def serve(self, method):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length else b""
        site = self.server.site
        control = site.control()
        if control.get("blackhole"):
            # Read, never answered: the client's own time limit has to end it.
            while site.control().get("blackhole"):
                time.sleep(0.05)
            self.close_connection = True
            return
        with site.lock:
            site.requests.append({"method": method, "path": self.path,
                                  "key_sent": self.headers.get("X-API-Key") is not None})
            fails = control.get("fail_5xx", 0)
            path_fails = control.get("fail", [])
            fail_path = site.used_path_fails < len(path_fails) and \
                self.path.endswith(path_fails[site.used_path_fails])
            if fail_path:
                site.used_path_fails += 1
            if fail_path or site.used_fails < fails:
                if not fail_path:
                    site.used_fails += 1
                status, body = 503, {"message": "Service Unavailable"}
            else:
                status, body = self.route(method, raw, control)
            site.requests[-1]["status"] = status
            site.save()
            drops = control.get("drop", [])
            dropped = False
            if site.used_drops < len(drops) and self.path.endswith(drops[site.used_drops]):
                site.used_drops += 1
                dropped = True
        if dropped:
            self.close_connection = True
            return
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/problem+json" if status == 400
                         else "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def route(self, method, raw, control):
        site = self.server.site
        key = self.headers.get("X-API-Key") or self.headers.get("Authorization")
        if key is None:
            return 401, {"error": {"code": "401", "http_code": "Unauthorized",
                                   "message": "Invalid or missing API key (X-API-KEY header missing)"}}
        if key != site.key:
            return 401, {"error": {"code": "401", "http_code": "Unauthorized",
                                   "message": "Invalid or missing API key (No user matches the provided key)"}}
        try:
            body = json.loads(raw) if raw else {}
        except ValueError:
            return 400, {"message": "The given data was invalid."}
        parts = self.path.split("?")[0].strip("/").split("/")
        if parts[:1] != ["api"]:
            return 404, {"message": "Not Found"}
        parts = parts[1:]
        if parts == ["user"] and method == "GET":
            return 200, {"data": {"id": 3, "pilot_id": 1003, "ident": "VAX1003",
                                  "name": "Ann P.", "airline": AIRLINE, "rank_id": 1,
                                  "curr_airport": "LPPR"}}
        if parts == ["user", "fleet"] and method == "GET":
            return 200, {"data": self.fleet(control)}
        if parts == ["user", "bids"] and method == "GET":
            return 200, {"data": control.get("bids", [self.bid()])}
        if parts == ["pireps", "prefile"] and method == "POST":
            return self.prefile(body, control)
        if len(parts) >= 2 and parts[0] == "pireps":
            pirep = site.pireps.get(parts[1])
            if pirep is None:
                return 404, {"message": "No query results for model [App\\Models\\Pirep] " + parts[1]}
            rest = parts[2:]
            if rest == ["cancel"] and method in ("PUT", "DELETE"):
                pirep["state"] = "cancelled"
                return 200, {"message": "PIREP " + pirep["id"] + " cancelled"}
            if pirep["state"] == "cancelled":
                return problem(400, "pirep-cancelled",
                               "PIREP has been cancelled, updates are not allowed",
                               pirep_id=pirep["id"])
            if rest == ["update"] and method in ("POST", "PUT"):
                pirep["updates"].append(body)
                pirep.update({k: v for k, v in body.items() if k != "fields"})
                return 200, pirep_resource(pirep)
            if rest == ["acars", "position"] and method == "POST":
                positions = body.get("positions")
                if not isinstance(positions, list):
                    return 400, {"message": "The positions field is required."}
                for position in positions:
                    if "lat" not in position or "lon" not in position:
                        return 400, {"message": "The positions.lat field is required."}
                for position in positions:
                    pirep["positions_received"] = pirep.get("positions_received", 0) + 1
                    if position.get("id"):
                        pirep["positions"][position["id"]] = position
                    else:
                        pirep["positions"]["auto%d" % len(pirep["positions"])] = position
                return 200, {"message": "%d positions added" % len(positions),
                             "count": len(positions)}
            if rest == ["acars", "logs"] and method == "POST":
                logs = body.get("logs") or []
                if not logs or any(not isinstance(l.get("log"), str) or len(l["log"]) > 1000
                                   for l in logs):
                    return 400, {"message": "The logs.0.log field is required."}
                pirep["logs"].extend(l["log"] for l in logs)
                return 200, {"message": "%d logs added" % len(logs), "count": len(logs)}
            if rest == ["acars", "events"] and method == "POST":
                events = body.get("events") or []
                if not events or any(not isinstance(e.get("event"), str) for e in events):
                    return 400, {"message": "The events.0.event field is required."}
                pirep["events"].extend(e["event"] for e in events)
                return 200, {"message": "%d events added" % len(events), "count": len(events)}
            if rest == ["file"] and method == "POST":
                if "distance" not in body or not isinstance(body.get("flight_time"), int):
                    return 400, {"message": "The flight time field is required."}
                if pirep["state"] == "filed":
                    return problem(400, "pirep-read-only", "PIREP is read-only")
                fields = body.get("fields", {})
                if not isinstance(fields, dict):
                    return 400, {"message": "The fields must be an array."}
                pirep.update({k: v for k, v in body.items() if k != "fields"})
                # Kept as phpVMS keeps its PIREP field values: name to value.
                pirep.setdefault("fields", {}).update(fields)
                pirep["state"] = "filed"
                return 200, pirep_resource(pirep)
        return 404, {"message": "Not Found"}

    def fleet(self, control):
        at = control.get("aircraft_airport", "LPPR")
        fleet = json.loads(json.dumps(FLEET))
        for aircraft in fleet[0]["aircraft"]:
            aircraft["airport_id"] = at
        return fleet

    def bid(self):
        return {"id": 100, "user_id": 3, "flight_id": "fl7", "aircraft_id": 41,
                "flight": {"id": "fl7", "airline_id": 1, "airline": AIRLINE,
                           "flight_number": "123", "callsign": "VAX123",
                           "dpt_airport_id": "LPPR", "arr_airport_id": "LPBR",
                           "alt_airport_id": "LPPT", "level": 3000,
                           "route": "DCT", "distance": {"nmi": 22},
                           "subfleets": FLEET},
                "aircraft": FLEET[0]["aircraft"][0]}

    def prefile(self, body, control):
        site = self.server.site
        required = ["airline_id", "aircraft_id", "flight_number", "dpt_airport_id",
                    "arr_airport_id", "source_name"]
        missing = [f for f in required if body.get(f) in (None, "")]
        if missing:
            return 400, {"message": "The %s field is required." % missing[0].replace("_", " ")}
        aircraft = [a for a in FLEET[0]["aircraft"] if str(a["id"]) == str(body["aircraft_id"])]
        if not aircraft:
            return 400, {"message": "The selected aircraft id is invalid."}
        at = control.get("aircraft_airport")
        if at is not None and at != body["dpt_airport_id"]:
            return problem(400, "aircraft-not-at-airport",
                           "The aircraft is not at the departure airport",
                           aircraft_id=aircraft[0]["id"])
        # The same flight prefiled again within ten minutes is the PIREP already there.
        for pirep in site.pireps.values():
            if (pirep["state"] == "in_progress"
                    and pirep["flight_number"] == body["flight_number"]
                    and pirep["dpt_airport_id"] == body["dpt_airport_id"]
                    and pirep["arr_airport_id"] == body["arr_airport_id"]
                    and time.time() - pirep["created"] < 600):
                return 200, pirep_resource(pirep)
        pirep_id = "P%05d" % site.next_pirep
        site.next_pirep += 1
        pirep = dict(body)
        pirep.update({"id": pirep_id, "state": "in_progress", "status": "INI",
                      "created": time.time(), "positions": {}, "logs": [], "events": [],
                      "updates": []})
        site.pireps[pirep_id] = pirep
        return 200, pirep_resource(pirep)

    def log_message(self, format, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--key", required=True)
    parser.add_argument("--control", required=True)
    parser.add_argument("--state", required=True)
    options = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.site = Site(options.key, options.control, options.state)
    server.site.save()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
