#!/usr/bin/env python3
"""Checks a GPS track that GPSBabel read from Morvala's GPX file against the flight's CSV:
trackcheck.py UNICSV FLIGHT_CSV

Every point must be the coordinate of one record of the CSV, computed here from its
columns 14 and 15 (sign(v) x (|v| div 100000 + (|v| mod 100000) / 60000)), and the points
must be the records with a fix of one unbroken run of records, in order; the run must
be narrower than the flight (the cursors chose it). Prints the number of points."""
import csv
import sys


def degrees(v):
    a = abs(v)
    d = a // 100000 + (a % 100000) / 60000.0
    return -d if v < 0 else d


def main():
    unicsv, flight_csv = sys.argv[1], sys.argv[2]
    with open(unicsv, newline="") as f:
        rows = list(csv.DictReader(f))
    points = [(float(r["Latitude"]), float(r["Longitude"])) for r in rows]
    records = []
    with open(flight_csv, "rb") as f:
        lines = f.read().decode("ascii").split("\r\n")
    for line in lines[2:]:
        if not line:
            continue
        values = [int(v) for v in line.split(";")[:-1]]
        lat, lon = values[13], values[14]
        records.append((abs(lat) % 100000 != 0 or abs(lon) % 100000 != 0, degrees(lat), degrees(lon)))
    fixes = [(i, r[1], r[2]) for i, r in enumerate(records) if r[0]]
    if len(points) < 2:
        sys.exit("only %d points in the track" % len(points))
    close = lambda p, q: abs(p[0] - q[1]) < 1e-6 and abs(p[1] - q[2]) < 1e-6
    starts = [k for k, fx in enumerate(fixes) if close(points[0], fx)]
    for k in starts:
        run = fixes[k:k + len(points)]
        if len(run) == len(points) and all(close(p, fx) for p, fx in zip(points, run)):
            if len(points) >= len(fixes):
                sys.exit("the track holds the whole flight, not the records between the cursors")
            print("%d points, records %d..%d" % (len(points), run[0][0], run[-1][0]))
            return
    sys.exit("the track's %d points are not a run of the flight's records (first %s)" % (len(points), points[0]))


main()
