#!/usr/bin/python3
"""Writes an RF64 WAV file of silence as a sparse file: it takes no disk space, whatever its length.

    sparse_rf64.py PATH RATE CHANNELS BITS TAG DATA_BYTES [GAP_BYTES]
        TAG 1 for integer PCM, 3 for IEEE float. With GAP_BYTES a "JUNK" chunk that long comes
        before "data", its size in the ds64 table, so that the samples begin GAP_BYTES further on.
"""
import os
import struct
import sys

path = sys.argv[1]
rate, channels, bits, tag, data_bytes = map(int, sys.argv[2:7])
gap = int(sys.argv[7]) if len(sys.argv) > 7 else 0
align = channels * bits // 8
table = struct.pack("<4sQ", b"JUNK", gap) if gap else b""
fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
# The form's size is known once the rest is laid out: ds64, fmt, the gap and the data follow WAVE.
head_after_form = 4 + 8 + 28 + len(table) + 8 + len(fmt) + (8 if gap else 0)
form_size = head_after_form + gap + (gap & 1) + 8 + data_bytes
ds64 = struct.pack("<QQQI", form_size, data_bytes, data_bytes // align, len(table) // 12) + table
with open(path, "wb") as out:
    out.write(b"RF64" + struct.pack("<I", 0xFFFFFFFF) + b"WAVE")
    out.write(b"ds64" + struct.pack("<I", len(ds64)) + ds64)
    out.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
    if gap:
        out.write(b"JUNK" + struct.pack("<I", 0xFFFFFFFF))
        out.seek(gap + (gap & 1), os.SEEK_CUR)
    out.write(b"data" + struct.pack("<I", 0xFFFFFFFF))
os.truncate(path, 8 + form_size)
