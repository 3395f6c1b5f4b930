#!/usr/bin/python3
"""Tagged WAV inputs made byte by byte, and the tags of outputs as other programs read them.

    tag_files.py make KIND PATH
        writes a short PCM WAV whose tags are of KIND: latin1, utf8 (INFO text in either
        encoding), bext, id3-picture (an "id3 " chunk with a picture), broken (an INFO field that
        claims more than its list), info-after-data (INFO after the samples)
    tag_files.py read ffprobe|mutagen PATH
        prints title|artist|album|date|track|genre|comment as ffprobe or mutagen reads them
    tag_files.py picture PATH
        prints the digest of the first picture mutagen finds, or "none"
"""
import hashlib
import json
import math
import struct
import subprocess
import sys

import mutagen
from mutagen.id3 import APIC, COMM, ID3, TALB, TCON, TDRC, TIT2, TPE1, TRCK

FIELDS = ["title", "artist", "album", "date", "track", "genre", "comment"]
PICTURE = bytes(range(256)) * 8


def chunk(ckid, payload):
    return ckid + struct.pack("<I", len(payload)) + payload + (b"\0" if len(payload) % 2 else b"")


def info(fields):
    return chunk(b"LIST", b"INFO" + b"".join(chunk(k, v + b"\0") for k, v in fields))


def wav(before=b"", after=b""):
    rate = 22050
    samples = b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * n / rate)))
                       for n in range(rate // 2))
    fmt = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16))
    body = b"WAVE" + fmt + before + chunk(b"data", samples) + after
    return b"RIFF" + struct.pack("<I", len(body)) + body


def make(kind, path):
    if kind == "latin1":
        data = wav(info([(b"INAM", "Café au lait".encode("latin-1")), (b"IART", "Zoë Ørsted".encode("latin-1")),
                         (b"IPRD", b"Caf\xe9s"), (b"ICRD", b"1998"), (b"ITRK", b"7"), (b"IGNR", b"Jazz"),
                         (b"ICMT", "Dégustation".encode("latin-1"))]))
    elif kind == "utf8":
        data = wav(info([(b"INAM", "Łódź 東京".encode()), (b"IART", "Ærøskøbing Ensemble".encode()),
                         (b"IPRD", "Ünïcödé".encode()), (b"ICRD", b"2020-02-29"), (b"IPRT", b"1/2"),
                         (b"IGNR", b"Folk"), (b"ICMT", "naïve — yes".encode())]))
    elif kind == "bext":
        fixed = b"Interview at the station".ljust(256, b"\0") + b"Desk".ljust(64, b"\0") + b"2019-11-02"
        data = wav(chunk(b"bext", fixed.ljust(602, b"\0") + b"A=PCM\r\n"))
    elif kind == "broken":
        data = wav(chunk(b"LIST", b"INFO" + b"INAM" + struct.pack("<I", 4000) + b"Lost\0\0"))
    elif kind == "info-after-data":
        data = wav(after=info([(b"INAM", b"After"), (b"IART", b"Tail")]))
    elif kind == "id3-picture":
        with open(path, "wb") as f:
            f.write(wav())
        wave = mutagen.File(path)
        wave.add_tags()
        for frame in (TIT2(encoding=3, text="Ständchen"), TPE1(encoding=3, text="Quartett"),
                      TALB(encoding=3, text="Live"), TDRC(encoding=3, text="2011"),
                      TRCK(encoding=3, text="2/9"), TCON(encoding=3, text="Classical"),
                      COMM(encoding=3, lang="eng", desc="", text="Encore"),
                      APIC(encoding=3, mime="image/png", type=3, desc="cover", data=PICTURE)):
            wave.tags.add(frame)
        wave.save()
        return
    with open(path, "wb") as f:
        f.write(data)


def read_ffprobe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path],
                         check=True, capture_output=True, text=True).stdout
    tags = json.loads(out).get("format", {}).get("tags", {})
    return [tags.get(name, "") for name in FIELDS]


def read_mutagen(path):
    tags = mutagen.File(path).tags or ID3()
    text = lambda key: str(tags[key].text[0]) if key in tags else ""
    comments = tags.getall("COMM")
    genres = tags["TCON"].genres if "TCON" in tags else [""]
    return [text("TIT2"), text("TPE1"), text("TALB"), text("TDRC"), text("TRCK"), genres[0],
            comments[0].text[0] if comments else ""]


def picture(path):
    tags = mutagen.File(path).tags
    pictures = tags.getall("APIC") if tags else []
    return hashlib.sha256(pictures[0].data).hexdigest()[:16] if pictures else "none"


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "read":
        print("|".join((read_ffprobe if sys.argv[2] == "ffprobe" else read_mutagen)(sys.argv[3])))
    else:
        print(picture(sys.argv[2]))
