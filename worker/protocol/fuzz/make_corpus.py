#!/usr/bin/env python3
"""Writes the seed frames of fuzz_worker_frames: a few well-formed frames of each kind the
socket carries (4-byte big-endian length, then one CBOR map with small integer keys).
Usage: make_corpus.py <folder>"""
import os
import struct
import sys

TYPE, REQUEST, OBJECT, NAME, CODE, ARGS, TEXT, REPORT = range(8)


def head(major, n):
    # RFC 8949 3.1: the argument follows in 0, 1, 2, 4 or 8 bytes.
    if n < 24:
        return bytes([major << 5 | n])
    for extra, fmt in ((24, ">B"), (25, ">H"), (26, ">I"), (27, ">Q")):
        if n < 1 << (8 * struct.calcsize(fmt)):
            return bytes([major << 5 | extra]) + struct.pack(fmt, n)
    raise ValueError(n)


def cbor(value):
    if value is None:
        return b"\xf6"
    if value is True:
        return b"\xf5"
    if value is False:
        return b"\xf4"
    if isinstance(value, int):
        return head(0, value) if value >= 0 else head(1, -1 - value)
    if isinstance(value, float):
        return b"\xfb" + struct.pack(">d", value)
    if isinstance(value, bytes):
        return head(2, len(value)) + value
    if isinstance(value, str):
        data = value.encode("utf-8")
        return head(3, len(data)) + data
    if isinstance(value, list):
        return head(4, len(value)) + b"".join(cbor(v) for v in value)
    if isinstance(value, dict):
        return head(5, len(value)) + b"".join(cbor(k) + cbor(v) for k, v in value.items())
    raise TypeError(value)


def frame(fields):
    payload = cbor(fields)
    return struct.pack(">I", len(payload)) + payload


CLASS_ID = "{47E6C1F2-D9ED-481C-A3E0-E0AC10CF47CF}"
HELLO = frame({TYPE: 1, NAME: "QXGate/worker", CODE: 2})
SEEDS = {
    "hello": HELLO,
    "welcome": frame({TYPE: 2, CODE: 2, ARGS: [4242]}),
    "create": HELLO + frame({TYPE: 3, REQUEST: 1, NAME: CLASS_ID}),
    "call_sendsmsa": frame({TYPE: 5, REQUEST: 7, OBJECT: 1, NAME: "SendsmsA", CODE: 1,
                            ARGS: ["41", "你好 @", "13912345678", 1, True, 0]}),
    "call_dovote_omitted": frame({TYPE: 5, REQUEST: 8, OBJECT: 1, NAME: "Dovote_task", CODE: 1,
                                  ARGS: ["10086", 2, 1.5, "1", None, "#"]}),
    "call_property_put": frame({TYPE: 5, REQUEST: 9, OBJECT: 2, NAME: "Settings", CODE: 4,
                                ARGS: ["9600,n,8,1"]}),
    "result_and_failure": frame({TYPE: 6, REQUEST: 7, ARGS: ["y"]})
    + frame({TYPE: 7, REQUEST: 9, CODE: 462,
             TEXT: "The remote server machine does not exist or is unavailable"}),
    "event_records": frame({TYPE: 10, OBJECT: 1, NAME: "OnRevMsg", CODE: 1,
                            ARGS: ["8613912345678\x02你好\x0224/01/02 03:04:05\x01"]}),
    "event_report_bytes": frame({TYPE: 10, OBJECT: 3, NAME: "OnSendReport", CODE: 4,
                                 ARGS: ["41", "y", b"\x00\xff"]}),
    "event_status_kind": frame({TYPE: 10, OBJECT: 2, NAME: "OnOtherReport", CODE: 3,
                                ARGS: ["成功连接设备SIM900(COM2)"], REPORT: [2, "SIM900", 2]}),
    "release_quit_bye": frame({TYPE: 8, REQUEST: 10, OBJECT: 1}) + frame({TYPE: 9, REQUEST: 10})
    + frame({TYPE: 11}) + frame({TYPE: 12}),
}

if __name__ == "__main__":
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
