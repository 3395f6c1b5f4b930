#!/usr/bin/python3
"""Reads the tag frame in LAME's "Info" layout at the front of a raw Layer-3 file, and compares
decoded audio with its input.

    info_tag.py tag FILE
        checks the tag frame against the frames behind it (frame and byte counts, music length, the
        music's CRC and the tag's own) and prints "frames=F delay=D padding=P samples=S size=B",
        S being the samples a decoder gives back; or "problem: ..." and status 1
    info_tag.py frames FILE
        writes the frames behind the tag frame to standard output
    info_tag.py lag REFERENCE DECODED
        prints the lag (in samples) at which two mono s16le files correlate best, searched around 0
        and at the offsets a decoder that ignores the tag would show
    info_tag.py seams REFERENCE DECODED SEAM...
        prints the worst ratio of the error power of DECODED against REFERENCE (mono s16le) in the
        frames around each SEAM sample to that error power over the whole file
"""
import struct
import sys

KBPS = {1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
        2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}


def crc_table():
    table = []
    for byte in range(256):
        crc = byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        table.append(crc)
    return table


CRC_TABLE = crc_table()


def crc16(data, crc=0):
    """CRC-16, polynomial 0x8005 taken least significant bit first, as LAME's tag uses it."""
    for byte in data:
        crc = (crc >> 8) ^ CRC_TABLE[(crc ^ byte) & 0xFF]
    return crc


def header(data, at):
    """(samples a frame, slot bytes, side information bytes) of the frame at `at`, or None."""
    if at + 4 > len(data) or data[at] != 0xFF or (data[at + 1] & 0xE6) != 0xE2:
        return None
    version = (data[at + 1] >> 3) & 3
    mpeg1 = version == 3
    kbps = KBPS[1 if mpeg1 else 2][data[at + 2] >> 4]
    rate = RATES[version][(data[at + 2] >> 2) & 3]
    mono = (data[at + 3] >> 6) == 3
    slot = (144 if mpeg1 else 72) * kbps * 1000 // rate + ((data[at + 2] >> 1) & 1)
    return (1152 if mpeg1 else 576), slot, 4 + ((17 if mono else 32) if mpeg1 else (9 if mono else 17))


def check_tag(path):
    data = open(path, "rb").read()
    first = header(data, 0)
    if first is None:
        return "problem: no frame at the front"
    frame_samples, tag_bytes, at = first
    if data[at:at + 4] != b"Info":
        return "problem: no Info tag in the first frame"
    frames, size = struct.unpack(">II", data[at + 8:at + 16])
    lame = at + 120
    delay = data[lame + 21] << 4 | data[lame + 22] >> 4
    padding = (data[lame + 22] & 15) << 8 | data[lame + 23]
    music_length, music_crc, tag_crc = struct.unpack(">IHH", data[lame + 28:lame + 36])
    counted, offset = 0, tag_bytes
    while header(data, offset) is not None and offset + header(data, offset)[1] <= len(data):
        offset += header(data, offset)[1]
        counted += 1
    problems = []
    if tag_crc != crc16(data[:lame + 34]):
        problems.append("tag CRC")
    if music_crc != crc16(data[tag_bytes:]):
        problems.append("music CRC")
    if size != len(data) or music_length != len(data):
        problems.append("size %d / %d of %d bytes" % (size, music_length, len(data)))
    if frames != counted or offset < len(data):
        problems.append("%d frames of %d" % (frames, counted))
    if problems:
        return "problem: " + ", ".join(problems)
    return "frames=%d delay=%d padding=%d samples=%d size=%d" % (
        frames, delay, padding, frames * frame_samples - delay - padding, tag_bytes)


def samples(path):
    data = open(path, "rb").read()
    return struct.unpack("<%dh" % (len(data) // 2), data[:len(data) // 2 * 2])


def lag(reference, decoded):
    window = min(len(reference), 8192)
    best, best_lag = None, None
    for candidate in list(range(-64, 65)) + [529, 576, 1105]:
        total = sum(reference[i] * decoded[i + candidate] for i in range(window)
                    if 0 <= i + candidate < len(decoded))
        if best is None or total > best:
            best, best_lag = total, candidate
    return best_lag


def seams(reference, decoded, positions, reach=2304):
    def error(begin, end):
        end = min(end, len(reference), len(decoded))
        count = max(end - begin, 1)
        return sum((reference[i] - decoded[i]) ** 2 for i in range(begin, end)) / count
    whole = error(0, len(reference)) or 1
    return max(error(max(p - reach, 0), p + reach) / whole for p in positions)


if __name__ == "__main__":
    if sys.argv[1] == "tag":
        result = check_tag(sys.argv[2])
        print(result)
        sys.exit(1 if result.startswith("problem") else 0)
    elif sys.argv[1] == "frames":
        data = open(sys.argv[2], "rb").read()
        sys.stdout.buffer.write(data[header(data, 0)[1]:])
    elif sys.argv[1] == "lag":
        print(lag(samples(sys.argv[2]), samples(sys.argv[3])))
    else:
        print("%.2f" % seams(samples(sys.argv[2]), samples(sys.argv[3]), [int(p) for p in sys.argv[4:]]))
