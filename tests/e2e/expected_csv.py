#!/usr/bin/env python3
"""Writes the CSV file that Morvala must save for a flight file of the simulated logger
and an export range: expected_csv.py FLIGHT FIRST LAST OUT

Independent of the program: it packs every record into its 25 table bytes the way the
logger sends them, completes the degree bytes by counting the minute wraps, and writes
the two header lines and the record lines FIRST..LAST."""
import sys


def parse_number(text):
    text = text.strip()
    return int(text, 16) if text.lower().startswith("0x") else int(text)


def load_flight(path):
    header = {}
    records = []
    for raw in open(path, encoding="ascii"):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        if "=" in line:
            key, value = (part.strip() for part in line.split("=", 1))
            header[key] = value
            continue
        values = [parse_number(v) for v in line.split()]
        if len(values) != 16:
            raise SystemExit("record line with %d values: %s" % (len(values), line))
        records.append(values)
    return header, records


def table_record(values, flags1, flags2):
    """The 25 bytes a downloaded record holds, before the degree bytes are filled."""
    adc16, a0, a1, a2, a3, adc4, freq, rpm, rc1, rc2, rc3, ti, te, lat, lon, gps3 = values
    b = [0] * 25
    if flags1 & 0x01:
        b[0], b[1] = adc16 >> 8, adc16 & 0xFF
    high = 0
    for bit, value, shift in ((0x02, a0, 0), (0x04, a1, 2), (0x08, a2, 4), (0x10, a3, 6)):
        if flags1 & bit:
            high |= ((value >> 8) & 3) << shift
    if flags1 & 0x1E:
        b[2] = high
    if flags1 & 0x02:
        b[3] = a0 & 0xFF
    if flags1 & 0x04:
        b[4] = a1 & 0xFF
    if flags1 & 0x08:
        b[5] = a2 & 0xFF
    if flags1 & 0x10:
        b[6] = a3 & 0xFF
    if flags1 & 0x20:
        b[7] = adc4
    if flags1 & 0x40:
        b[8], b[9] = freq >> 8, freq & 0xFF
    if flags1 & 0x80:
        b[10], b[11] = rpm >> 8, rpm & 0xFF
    if flags2 & 0x01:
        b[12] = rc1
    if flags2 & 0x02:
        b[13] = rc2
    if flags2 & 0x04:
        b[14] = rc3
    if flags2 & 0x10:
        b[15] = ti
    if flags2 & 0x20:
        b[16] = te
    if flags2 & 0x40:
        b[17], b[18] = lat >> 8, lat & 0xFF
        b[19], b[20] = lon >> 8, lon & 0xFF
        b[21], b[22] = gps3 >> 8, gps3 & 0xFF
    return b


def fill_degrees(table):
    lat_count = lon_count = 100
    prev = None
    for rec in table:
        lat = rec[17] * 256 + rec[18]
        lon = rec[19] * 256 + rec[20]
        if prev is not None:
            plat, plon = prev
            if plat > 50000 and lat < 10000:
                lat_count += 1
            if plat < 10000 and lat > 50000:
                lat_count -= 1
            if plon > 50000 and lon < 10000:
                lon_count += 1
            if plon < 10000 and lon > 50000:
                lon_count -= 1
        rec[23], rec[24] = lat_count, lon_count
        prev = (lat, lon)


def main():
    if len(sys.argv) != 5:
        raise SystemExit(__doc__)
    header, records = load_flight(sys.argv[1])
    first, last = int(sys.argv[2]), int(sys.argv[3])
    flags1 = parse_number(header["recordFlags1"])
    flags2 = parse_number(header["recordFlags2"])
    rate = parse_number(header["sampleRateCode"])
    lat_h = header.get("latHemisphere", "N")[:1]
    lon_h = header.get("lonHemisphere", "E")[:1]
    lat_deg = parse_number(header.get("latDegrees", "0"))
    lon_deg = parse_number(header.get("lonDegrees", "0"))
    gps = header.get("gpsHeaderValue", "0")
    gps_value = 0 if gps.startswith("none") else parse_number(gps)

    table = [table_record(v, flags1, flags2) for v in records]
    fill_degrees(table)
    lat_sign = "-" if lat_h.lower() == "s" else ""
    lon_sign = "-" if lon_h.lower() == "w" else ""

    lines = [
        [flags1, flags2, rate, len(records), parse_number(header.get("headerByte6", "0")),
         parse_number(header.get("headerByte7", "0")), parse_number(header.get("headerByte8", "0")),
         parse_number(header.get("headerWord9", "0"))],
        [lat_sign + str(lat_deg), lon_sign + str(lon_deg), gps_value],
    ]
    for i in range(first, last + 1):
        b = table[i]
        lines.append([
            b[0] * 256 + b[1],
            (b[2] & 3) * 256 + b[3],
            ((b[2] >> 2) & 3) * 256 + b[4],
            ((b[2] >> 4) & 3) * 256 + b[5],
            ((b[2] >> 6) & 3) * 256 + b[6],
            b[7],
            b[8] * 256 + b[9],
            b[10] * 256 + b[11],
            b[12], b[13], b[14], b[15], b[16],
            "%s%d%05d" % (lat_sign, lat_deg + b[23] - 100, b[17] * 256 + b[18]),
            "%s%d%05d" % (lon_sign, lon_deg + b[24] - 100, b[19] * 256 + b[20]),
            b[21] * 256 + b[22],
        ])
    with open(sys.argv[4], "wb") as out:
        for values in lines:
            out.write(("".join("%s;" % v for v in values) + "\r\n").encode("ascii"))


if __name__ == "__main__":
    main()
