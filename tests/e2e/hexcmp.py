#!/usr/bin/env python3
"""Compares the memory images of two Intel HEX files: hexcmp.py EXPECTED ACTUAL
Exit 0 when both give the same address -> byte map; otherwise prints the differences."""
import sys


def image(path):
    data = {}
    base = 0
    text = open(path, "rb").read().decode("ascii")
    for number, raw in enumerate(text.replace("\r", "\n").split("\n"), 1):
        line = raw.strip()
        if not line:
            continue
        if not line.startswith(":"):
            raise SystemExit("%s:%d: not a HEX record" % (path, number))
        raw_bytes = bytes.fromhex(line[1:])
        count, addr, kind = raw_bytes[0], raw_bytes[1] << 8 | raw_bytes[2], raw_bytes[3]
        if len(raw_bytes) != count + 5 or sum(raw_bytes) & 0xFF:
            raise SystemExit("%s:%d: bad length or checksum" % (path, number))
        payload = raw_bytes[4:4 + count]
        if kind == 0:
            for i, value in enumerate(payload):
                data[base + addr + i] = value
        elif kind == 1:
            break
        elif kind == 2:
            base = (payload[0] << 8 | payload[1]) << 4
        elif kind == 4:
            base = (payload[0] << 8 | payload[1]) << 16
    return data


def main():
    expected, actual = image(sys.argv[1]), image(sys.argv[2])
    if not expected:
        raise SystemExit("%s holds no data" % sys.argv[1])
    diffs = [a for a in sorted(set(expected) | set(actual)) if expected.get(a) != actual.get(a)]
    for a in diffs[:20]:
        print("address 0x%04X: expected %s, programmed %s" % (
            a, "%02X" % expected[a] if a in expected else "--", "%02X" % actual[a] if a in actual else "--"))
    if diffs:
        raise SystemExit("%d addresses differ" % len(diffs))
    print("images equal: %d bytes" % len(expected))


if __name__ == "__main__":
    main()
