#!/usr/bin/env python3
"""The airport list generator on a few rows of a database with the real schema's columns.

Usage: make_airport_list_test.py            the rows below
       make_airport_list_test.py APT_TXT    also checks a generated list of the whole dataset
"""

import sqlite3
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "make_airport_list.py"
FULL_LIST = None

# (id, icao column = OurAirports ident, faa column = GPS code, name, type, lat, lon)
AIRPORTS = [
    (1, "LPPT", "LPPT", "Lisbon Humberto Delgado Airport", "large_airport", 38.7813, -9.13592),
    (2, "LPPR", "LPPR", "Francisco de Sá Carneiro Airport", "large_airport", 41.2481002808, -8.68138980865),
    (3, "BR-0322", "SDDB", "Ninho do Bacurau", "small_airport", -13.248888, -43.496667),
    (4, "US-5523", None, "Rollow Airport", "closed", 37.64326, -95.44585),
    (5, "EGDD", None, "Closed Field", "closed", 51.0, -1.0),
    (6, "04TT", "04TT", "4D Ranch Airport", "small_airport", 29.713072, -99.545642),
    (7, "XX-1", "LPPT", "Field claiming Lisbon's code", "small_airport", 1.0, 1.0),
    (8, "RJAA", "RJAA", "Narita; 成田国際空港\n(Tokyo)", "large_airport", 35.764702, 140.386002),
    (9, "ZZZZ", None, "A" * 400, "small_airport", -89.123456789, 179.999999),
]
# (runway id, airport id, length ft, width ft)
RUNWAYS = [(10, 1, 12162, 148), (11, 5, 3000, 60), (12, 2, 11417, 148)]
# (id, runway id, ident, heading, lat, lon, displaced threshold ft, elevation ft)
RUNWAY_ENDS = [
    (100, 10, "02", 22.0, 38.765678, -9.144302, 296, 331),
    (101, 10, "20", 202.0, 38.796474, -9.127831, 1969, 347),
    (102, 11, "09", 90.0, 51.0, -1.0, None, None),
    (103, 12, "17", 172.5, 41.26, -8.69, None, None),
]


def make_database(path):
    db = sqlite3.connect(path)
    db.executescript(
        """
        CREATE TABLE airports (id INTEGER PRIMARY KEY, icao TEXT NOT NULL UNIQUE, faa TEXT,
          name TEXT NOT NULL, type TEXT NOT NULL, latitude REAL NOT NULL, longitude REAL NOT NULL);
        CREATE TABLE runways (id INTEGER PRIMARY KEY, airport_id INTEGER NOT NULL,
          length_ft INTEGER NOT NULL, width_ft INTEGER NOT NULL);
        CREATE TABLE runway_ends (id INTEGER PRIMARY KEY, runway_id INTEGER NOT NULL,
          ident TEXT NOT NULL, heading_degT REAL NOT NULL, latitude_deg REAL NOT NULL,
          longitude_deg REAL NOT NULL, displaced_threshold_ft INTEGER, elevation_ft INTEGER);
        """
    )
    db.executemany("INSERT INTO airports VALUES (?,?,?,?,?,?,?)", AIRPORTS)
    db.executemany("INSERT INTO runways VALUES (?,?,?,?)", RUNWAYS)
    db.executemany("INSERT INTO runway_ends VALUES (?,?,?,?,?,?,?,?)", RUNWAY_ENDS)
    db.commit()
    db.close()


def read_ini(path):
    """{section: {key: value}} of a file that must be Windows-1252 with CR LF line ends."""
    data = path.read_bytes()
    text = data.decode("cp1252")
    lines = text.split("\r\n")
    assert lines[-1] == "" and "\n" not in "".join(lines), f"{path.name}: not CR LF throughout"
    sections, current = {}, None
    for line in lines[:-1]:
        if line.startswith(";"):
            continue
        if line.startswith("["):
            current = sections.setdefault(line.strip("[]"), {})
        else:
            key, _, value = line.partition("=")
            assert key not in current, f"{path.name}: {key} twice"
            current[key] = value
    return sections


class GeneratedFromRows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        db = Path(cls.tmp.name) / "airports.sqlite"
        make_database(db)
        out = Path(cls.tmp.name) / "out"
        run = subprocess.run([sys.executable, SCRIPT, db, out], capture_output=True, text=True)
        assert run.returncode == 0, run.stderr
        cls.summary = run.stdout
        cls.airports = read_ini(out / "apt.txt")["Airports"]
        cls.runways = read_ini(out / "runways.txt")

    def test_airports(self):
        # (row, key, expected value or None when the key must be absent)
        cases = [
            ("ident is the code", "LPPT", "Lisbon Humberto Delgado Airport;38.7813;-9.13592"),
            ("Windows-1252 name", "LPPR", "Francisco de Sá Carneiro Airport;41.2481;-8.68139"),
            ("GPS code when the ident is local", "SDDB", "Ninho do Bacurau;-13.248888;-43.496667"),
            ("closed airport", "EGDD", None),
            ("local ident is not an ICAO code", "04TT", None),
            ("local ident itself", "BR-0322", None),
            ("separator, line break, other script", "RJAA", "Narita, ?????? (Tokyo);35.764702;140.386002"),
        ]
        for name, key, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.airports.get(key), expected, f"{name}: {key}")

    def test_long_name_keeps_its_coordinates_within_299_characters(self):
        value = self.airports["ZZZZ"]
        self.assertLessEqual(len(value), 299)
        self.assertTrue(value.endswith(";-89.123457;179.999999"), value)

    def test_every_kept_airport_once(self):
        self.assertEqual(sorted(self.airports), ["LPPR", "LPPT", "RJAA", "SDDB", "ZZZZ"])
        self.assertIn("5 airports", self.summary)

    def test_runway_ends(self):
        self.assertEqual(
            self.runways,
            {
                "LPPT": {
                    "02": "38.765678;-9.144302;22.0;3707;45;90;331",
                    "20": "38.796474;-9.127831;202.0;3707;45;600;347",
                },
                "LPPR": {"17": "41.26;-8.69;172.5;3480;45;0;"},
            },
        )


class ShippedList(unittest.TestCase):
    """The list generated from the whole dataset: its size and airports at their published
    coordinates (AIP aerodrome reference points)."""

    def test_size_and_known_airports(self):
        if FULL_LIST is None:
            self.skipTest("no generated list given")
        airports = read_ini(FULL_LIST)["Airports"]
        self.assertGreaterEqual(len(airports), 19000)
        published = {
            "LPPT": (38.7814, -9.1358),
            "EGLL": (51.4775, -0.4614),
            "KJFK": (40.6398, -73.7789),
            "PHNL": (21.3187, -157.9224),
            "RJTT": (35.5533, 139.7811),
        }
        for icao, (lat, lon) in published.items():
            with self.subTest(icao):
                name, lat_text, lon_text = airports[icao].split(";")
                self.assertTrue(name, icao)
                self.assertAlmostEqual(float(lat_text), lat, delta=0.01, msg=icao)
                self.assertAlmostEqual(float(lon_text), lon, delta=0.01, msg=icao)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        FULL_LIST = Path(sys.argv.pop(1))
    unittest.main(verbosity=2)
