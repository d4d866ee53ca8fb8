#!/usr/bin/env python3
"""Writes the three default sounds: short tones, 16-bit mono at 22050 Hz.

msg.wav: a rising two-note chime (a message arrived); err.wav: a low double buzz (a send
failed); Sendend.wav: three falling notes (a device reached its limit). Run it in this folder
after changing a sound; the files are committed beside it.
"""
import math
import struct
import wave

RATE = 22050


def tone(freq, seconds, volume=0.45, harmonics=(1.0, 0.3)):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        # A quick attack and an exponential fade keep the tone from clicking.
        envelope = min(1.0, i / (0.005 * RATE)) * math.exp(-4.0 * t / seconds)
        s = sum(a * math.sin(2 * math.pi * freq * (k + 1) * t) for k, a in enumerate(harmonics))
        out.append(volume * envelope * s / sum(harmonics))
    return out


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def write(name, samples):
    with wave.open(name, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32767)) for s in samples))


write("msg.wav", tone(880, 0.12) + tone(1320, 0.22))
write("err.wav", tone(220, 0.16, harmonics=(1.0, 0.6, 0.4)) + silence(0.05)
      + tone(220, 0.22, harmonics=(1.0, 0.6, 0.4)))
write("Sendend.wav", tone(1047, 0.12) + tone(784, 0.12) + tone(523, 0.3))
