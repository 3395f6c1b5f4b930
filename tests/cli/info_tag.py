#!/usr/bin/python3
"""The tag frame in LAME's "Info" layout at the front of a raw Layer-3 file, and decoded audio.

    info_tag.py tag FILE       checks the tag against the frames behind it (counts, lengths, the
                               music's and its own CRC); prints "frames=F delay=D padding=P
                               samples=S size=B" (S: what a decoder gives back), or "problem: ..."
    info_tag.py frames FILE    writes the frames behind the tag frame to standard output
    info_tag.py lag REF DEC    the lag at which two mono s16le files correlate best
    info_tag.py seams REF DEC SEAM...
                               DEC's error power relative to REF's, overall and around the worst SEAM
"""
import struct
import sys

KBPS = {1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
        2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}
CRC_TABLE = [0] * 256
for byte in range(256):  # CRC-16, polynomial 0x8005 taken least significant bit first
    CRC_TABLE[byte] = byte
    for _ in range(8):
        CRC_TABLE[byte] = CRC_TABLE[byte] >> 1 ^ (0xA001 if CRC_TABLE[byte] & 1 else 0)


def crc16(data, crc=0):
    for byte in data:
        crc = crc >> 8 ^ CRC_TABLE[(crc ^ byte) & 0xFF]
    return crc


def frame(data, at):
    """(samples, slot bytes, bytes before the tag) of the frame at `at`, or None."""
    if at + 4 > len(data) or data[at] != 0xFF or (data[at + 1] & 0xE6) != 0xE2:
        return None
    version, mono = (data[at + 1] >> 3) & 3, (data[at + 3] >> 6) == 3
    kbps = KBPS[1 if version == 3 else 2][data[at + 2] >> 4]
    rate = RATES[version][(data[at + 2] >> 2) & 3]
    slot = (144 if version == 3 else 72) * kbps * 1000 // rate + ((data[at + 2] >> 1) & 1)
    side = (17 if mono else 32) if version == 3 else (9 if mono else 17)
    return (1152 if version == 3 else 576), slot, 4 + side


def check_tag(data):
    if frame(data, 0) is None or data[frame(data, 0)[2]:frame(data, 0)[2] + 4] != b"Info":
        return "problem: no Info tag in the first frame"
    samples, size, at = frame(data, 0)
    frames, stream_bytes = struct.unpack(">II", data[at + 8:at + 16])
    lame = at + 120
    delay, padding = data[lame + 21] << 4 | data[lame + 22] >> 4, (data[lame + 22] & 15) << 8 | data[lame + 23]
    music_length, music_crc, tag_crc = struct.unpack(">IHH", data[lame + 28:lame + 36])
    counted, end = 0, size
    while frame(data, end) is not None and end + frame(data, end)[1] <= len(data):
        counted, end = counted + 1, end + frame(data, end)[1]
    problems = [what for what, wrong in [
        ("tag CRC", tag_crc != crc16(data[:lame + 34])), ("music CRC", music_crc != crc16(data[size:])),
        ("byte count", stream_bytes != len(data) or music_length != len(data)),
        ("frame count %d of %d" % (frames, counted), frames != counted or end != len(data))] if wrong]
    if problems:
        return "problem: " + ", ".join(problems)
    return "frames=%d delay=%d padding=%d samples=%d size=%d" % (
        frames, delay, padding, frames * samples - delay - padding, size)


def pcm(path):
    data = open(path, "rb").read()
    return struct.unpack("<%dh" % (len(data) // 2), data[:len(data) // 2 * 2])


def lag(reference, decoded):
    """Searched around 0 and at the offsets of a decoder that ignores the tag."""
    def correlation(shift):
        return sum(reference[i] * decoded[i + shift] for i in range(min(len(reference), 8192))
                   if 0 <= i + shift < len(decoded))
    return max(list(range(-64, 65)) + [529, 576, 1105], key=correlation)


def seams(reference, decoded, positions, reach=2304):
    """The error's power relative to the signal's, overall and at the worst seam."""
    def relative_error(begin, end):
        end = min(end, len(reference), len(decoded))
        power = sum(reference[i] ** 2 for i in range(begin, end)) or 1
        return sum((reference[i] - decoded[i]) ** 2 for i in range(begin, end)) / power
    return relative_error(0, len(reference)), max(relative_error(max(p - reach, 0), p + reach) for p in positions)


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "tag":
        print(check_tag(open(args[0], "rb").read()))
    elif command == "frames":
        data = open(args[0], "rb").read()
        sys.stdout.buffer.write(data[frame(data, 0)[1]:])
    elif command == "lag":
        print(lag(pcm(args[0]), pcm(args[1])))
    else:
        print("%.5f %.5f" % seams(pcm(args[0]), pcm(args[1]), [int(p) for p in args[2:]]))
