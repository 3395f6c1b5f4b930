#!/usr/bin/python3
"""The signal-to-noise ratio of a decoded Layer-3 stream against the audio it was made from.

    decoded_snr.py SOURCE.wav DECODED.wav
        prints the ratio in dB over the middle of the first channel; both files 16-bit PCM at the
        same rate. The decoded audio is aligned to the source first (the encoder and decoder delay).
"""
import math
import sys
import warnings
import wave

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import audioop


def first_channel(path):
    with wave.open(path, "rb") as file:
        if file.getsampwidth() != 2:
            sys.exit(f"{path}: 16-bit samples expected")
        frames = file.readframes(file.getnframes())
        return audioop.tomono(frames, 2, 1, 0) if file.getnchannels() == 2 else frames, file.getframerate()


source, rate = first_channel(sys.argv[1])
decoded, decoded_rate = first_channel(sys.argv[2])
if rate != decoded_rate:
    sys.exit("the rates differ")
# A tenth of a second from the middle of the source, found in the decoded audio within the delays
# a codec adds (well under a quarter of a second).
start = len(source) // 4 & ~1
probe = source[start:start + (rate // 10) * 2]
window = decoded[start:start + len(probe) + (rate // 4) * 2]
offset, _ = audioop.findfit(window, probe)
length = min(len(source) // 2, len(decoded) - 2 * offset - start) & ~1
reference = source[start:start + length]
aligned = decoded[start + 2 * offset:start + 2 * offset + length]
noise = audioop.add(aligned, audioop.mul(reference, 2, -1), 2)
print(f"{20 * math.log10(audioop.rms(reference, 2) / max(audioop.rms(noise, 2), 1)):.2f}")
