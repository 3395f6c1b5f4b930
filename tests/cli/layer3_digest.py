#!/usr/bin/python3
"""Fixed test inputs and digests of Layer-3 outputs, for comparing outputs across versions.

    layer3_digest.py wav PATH RATE CHANNELS BITS SECONDS [extensible]
        writes a PCM WAV of a fixed, music-like signal (the same bytes on every machine)
    layer3_digest.py digest PATH
        prints "head=SHA frames=SHA": for a RIFF file the bytes before the data chunk's payload and
        the payload; for a raw stream nothing and the frames after any ID3v2 tag and "Info"/"Xing"
        frame in front of them, so what is placed in front of the frames never changes their digest.
"""
import hashlib
import math
import struct
import sys

EXTENSIBLE_PCM = bytes.fromhex("0100000000001000800000aa00389b71")


def signal_bytes(rate, channels, bits, seconds):
    frames = int(rate * seconds)
    seed = 12345
    out = bytearray()
    width = bits // 8
    top = (1 << (bits - 1)) - 1
    for n in range(frames):
        t = n / rate
        # A chord that moves, a sweep and a little noise from a fixed generator: every band of
        # the encoder gets work, and the bytes are the same everywhere.
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        noise = (seed / 0x7FFFFFFF - 0.5) * 0.05
        for c in range(channels):
            v = (0.3 * math.sin(2 * math.pi * (220 + 40 * c) * t)
                 + 0.2 * math.sin(2 * math.pi * 331 * t * (1 + 0.5 * math.sin(t)))
                 + 0.15 * math.sin(2 * math.pi * (500 + 2000 * (t % 2)) * t) + noise)
            s = max(-top - 1, min(top, int(v * top)))
            if bits == 8:
                out.append(s + 128)
            else:
                out += (s & ((1 << bits) - 1)).to_bytes(width, "little")
    return bytes(out)


def write_wav(path, rate, channels, bits, seconds, extensible):
    data = signal_bytes(rate, channels, bits, seconds)
    align = channels * bits // 8
    if extensible:
        fmt = struct.pack("<HHIIHHHHI", 0xFFFE, channels, rate, rate * align, align, bits, 22, bits,
                          0) + EXTENSIBLE_PCM
    else:
        fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * align, align, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


BITRATES = {1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
            2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}


def frame_after_tag_frame(data, at):
    """The offset after a first frame that is an "Info" or "Xing" tag frame, else `at`."""
    if len(data) < at + 4 or data[at] != 0xFF or (data[at + 1] & 0xE0) != 0xE0:
        return at
    version = (data[at + 1] >> 3) & 3
    protected = not (data[at + 1] & 1)
    kbps = BITRATES[1 if version == 3 else 2][data[at + 2] >> 4]
    rate = RATES[version][(data[at + 2] >> 2) & 3]
    padding = (data[at + 2] >> 1) & 1
    mono = (data[at + 3] >> 6) == 3
    side = (17 if mono else 32) if version == 3 else (9 if mono else 17)
    tag = at + 4 + (2 if protected else 0) + side
    if data[tag:tag + 4] not in (b"Info", b"Xing"):
        return at
    return at + (144 if version == 3 else 72) * kbps * 1000 // rate + padding


def digest(path):
    with open(path, "rb") as f:
        data = f.read()
    sha = lambda b: hashlib.sha256(b).hexdigest()[:16]
    if data[:4] == b"RIFF":
        at = 12
        while at + 8 <= len(data):
            ckid, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
            if ckid == b"data":
                return "head=%s frames=%s" % (sha(data[:at + 8]), sha(data[at + 8:at + 8 + size]))
            at += 8 + size + (size & 1)
        return "head=none frames=none"
    at = 0
    if data[:3] == b"ID3":
        size = 0
        for b in data[6:10]:
            size = (size << 7) | (b & 0x7F)
        at = 10 + size + (10 if data[5] & 0x10 else 0)
    return "head=- frames=%s" % sha(data[frame_after_tag_frame(data, at):])


if __name__ == "__main__":
    if sys.argv[1] == "wav":
        path, rate, channels, bits, seconds = sys.argv[2], *map(int, sys.argv[3:6]), float(sys.argv[6])
        write_wav(path, rate, channels, bits, seconds, len(sys.argv) > 7 and sys.argv[7] == "extensible")
    else:
        print(digest(sys.argv[2]))
