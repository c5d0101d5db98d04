#!/usr/bin/env python3
"""Writes the seed corpora fuzz/corpus/<target>/ (a handful of small files per target).

Run it again after changing a seed; the files are committed, the fuzzer's finds are not
(fuzz/run.sh works on a copy).
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- receive ring
# Two bytes start index, then ops: 0 = chunk from input (len byte + bytes), 1 = generated
# chunk (byte * 257 + op / 4), 2 = take n+1 bytes (bit 7: drain), 3 = read on empty ring.
def rxring():
    write("rxring", "small_chunks", bytes([0, 0, 0, 5, 1, 2, 3, 4, 5, 2, 2, 0, 3, 0x00, 2, 0x83]))
    write("rxring", "wrap_at_end", bytes([0xFF, 0xF0, 0, 40]) + bytes(range(40)) + bytes([0x82, 0, 3]))
    # Fill to the brim: 2 x 65535 bytes offered, 65535 stored.
    write("rxring", "overflow", bytes([0x12, 0x34, 1, 0xFF, 1, 0xFF, 0, 10]) + bytes(10)
          + bytes([0x82, 0, 0x83]))
    write("rxring", "chunk_257", bytes([0, 1, 1, 1, 0xFD, 0, 2, 0xFF, 2, 0x7F, 3]))
    write("rxring", "empty_reads", bytes([0, 0, 3, 0x83, 0, 0, 3]))


# ---------------------------------------------------------------- settings file
def settings():
    crlf = lambda lines: "".join(l + "\r\n" for l in lines)
    lf = lambda lines: "".join(l + "\n" for l in lines)
    base = ["[ComPort1]", "Port=COM2", "BaudRate=38400", "StopBits=2", "DataBits=8",
            "Parity=None", "FlowControl=None"]
    write("settings", "design_crlf.ini", crlf(base))
    write("settings", "design_lf.ini", lf(base))
    write("settings", "custom_hex.ini", crlf(["[Other]", "Port=x", "", "[comport1]",
                                              "  port = /dev/pts/7  ", "BAUDRATE=custom",
                                              "CustomBaudRate=0x4B00", "stopbits=1.5",
                                              "DataBits=5", "Parity=SPACE",
                                              "FlowControl=Xyz", "; a comment", "[Tail]", "a=b"]))
    write("settings", "odd_values.ini", lf(["[ComPort1]", "BaudRate=12345", "CustomBaudRate=zz",
                                            "Parity=none", "StopBits=", "=novalue",
                                            "[ComPort1", "DataBits=7=8", "FlowControl=Hardware",
                                            "Port=" + "P" * 300]))
    write("settings", "no_section.ini", "BaudRate=110\r\nPort=COM1\r\n\x1a[ComPort1]\r\nBaudRate=Custom\r\n")


# ---------------------------------------------------------------- configuration message
# The bytes the logger sends after it is switched on: sync 0x55..., lead byte, count N,
# N configuration bytes.
def config():
    cfg = [0x3F, 0x81, 12, 0x01, 0x2C, 0x05, 0x00, 7, 0x85, 0x30, 0x39, 8] + list(range(13, 31))
    write("config", "announce_30", bytes([0x55] * 5 + [0x00, 30] + cfg))
    write("config", "announce_12", bytes([0x55, 0x55, 0x07, 12] + cfg[:12]))
    write("config", "announce_0", bytes([0x55, 0x41, 0]))
    write("config", "announce_2_then_more", bytes([0x13, 0x55, 0x55, 0x00, 2, 3, 7, 0x55, 0x55]))
    write("config", "announce_40", bytes([0x55, 0x01, 40] + [0xA5] * 40))
    write("config", "short", bytes([0x55, 0x55, 0x09, 20, 1, 2, 3]))


# ---------------------------------------------------------------- download stream
# Two bytes channel flags (RecordFlags1, RecordFlags2), then what the logger sends after
# the request: sync 0x55..., start marker 0x01, 23 header bytes, records.
def header(flags1, flags2, rate, length, gps=(0x00, 0x01, 0x02, 0x03)):
    h = [0x00, flags1, flags2, rate] + list(struct.pack(">H", length))
    h += [6, 7, 8] + list(struct.pack(">H", 0x1234))
    h += [ord("N"), 4, 8, 0, ord("E"), 0, 1, 1] + list(gps)
    assert len(h) == 23
    return h


def download():
    # Altitude (16-bit ADC) and ADC0: 2 + 2 bytes per record (see the record layout).
    f1, f2 = 0x03, 0x00
    rec = [0x12, 0x34, 0x02, 0x00]
    write("download", "three_records", bytes([f1, f2, 0x55, 0x55, 0x01] + header(f1, f2, 0, 12) + rec * 3))
    f1, f2 = 0xFF, 0x7F
    write("download", "all_channels", bytes([f1, f2, 0x55, 0x01]
                                            + header(f1, f2, 49, 60, (0xFE, 0xFE, 0xFE, 0x12))
                                            + list(range(60))))
    f1, f2 = 0x00, 0x88
    write("download", "empty_records", bytes([f1, f2, 0x01] + header(f1, f2, 0, 10)))
    f1, f2 = 0x01, 0x00
    write("download", "length_zero_cut", bytes([f1, f2, 0x55, 0x01] + header(f1, f2, 0, 0) + [1, 2, 3]))
    write("download", "no_marker", bytes([0x01, 0x00, 0x55, 0x55, 0x55]))


# ---------------------------------------------------------------- HEX file
def hex_record(addr, rtype, data):
    body = [len(data), addr >> 8, addr & 0xFF, rtype] + list(data)
    body.append((-sum(body)) & 0xFF)
    return ":" + "".join("%02X" % b for b in body)


def hexfile():
    lines = [hex_record(0x0000, 0, bytes([0x8A, 0x01, 0x00, 0x30, 0x84, 0x00, 0x04, 0x28] * 2)),
             hex_record(0x0010, 0, bytes(range(0x30, 0x40))),
             hex_record(0x400E, 0, bytes([0x3A, 0x3F])),
             hex_record(0x0000, 1, b"")]
    write("hexfile", "valid_lf.hex", "".join(l + "\n" for l in lines))
    write("hexfile", "valid_crlf.hex", "".join(l + "\r\n" for l in lines))
    write("hexfile", "valid_cr_no_end.hex", "\r".join(lines))
    write("hexfile", "bad_checksum.hex", ":0400000001020304F0\r\n:00000001FF\r\n")
    write("hexfile", "eof_mark.hex", ":00000001FF\r\n\x1a:10000000garbage\r\n")
    write("hexfile", "long_lines.hex", lines[0] + "\r\n" + lines[-1] + "\n" + " \t" * 270 + "\n"
          + ":" + "0" * 600 + "\r\n")
    write("hexfile", "blank_and_junk.hex", "\r\n\r\n:02000004ZZ00\r\n;comment\r\n:0\r\n")
    # An editor's file: a byte-order mark, blanks and tabs after the checksums.
    write("hexfile", "bom_trailing_blanks.hex",
          "\xef\xbb\xbf" + "".join(l + " \t" * (i % 3) + "\r\n" for i, l in enumerate(lines)))


# ---------------------------------------------------------------- saved flight (CSV)
def csvflight():
    head = "255;119;49;4;0;0;0;0;\r\n-33;-70;12345;\r\n"
    rec = lambda i: ";".join(str(v) for v in [9000 + i, 1, 2, 3, 1023, 255, 500, 2000, i, 128, 3, 21,
                                              12, -3359990 - i, -7000100, 11 * i]) + ";\r\n"
    write("csvflight", "three_records.csv", head + rec(0) + rec(1) + rec(2))
    write("csvflight", "lf_no_end.csv", (head + rec(0) + rec(1)).replace("\r\n", "\n")[:-1])
    write("csvflight", "short_line.csv", head + rec(0) + "1;2;3;\r\n")
    write("csvflight", "out_of_range.csv", head + rec(0).replace("1023", "1024"))
    write("csvflight", "header_only.csv", head)
    write("csvflight", "blank_inside.csv", head + rec(0) + "\r\n" + rec(1))


if __name__ == "__main__":
    for f in (rxring, settings, config, download, hexfile, csvflight):
        f()
    sys.exit(0)
