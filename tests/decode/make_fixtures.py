#!/usr/bin/env python3
"""Fixtures of the text, sound and LZMA tests, written into the folder given as argument.

GB18030 expectations come from Python's codec, independently of the platform; sounds
from the wave module; LZMA-alone frames from the lzma module.
"""
import base64
import lzma
import os
import random
import struct
import sys
import wave

TRAILS = list(range(0x40, 0x7F)) + list(range(0x80, 0xFF))


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def gb18030_fixtures(folder):
    # Every two-byte code, and every four-byte code of the BMP, with the codec's UTF-16.
    two = b"".join(bytes([lead, trail]) for lead in range(0x81, 0xFF) for trail in TRAILS)
    write(folder, "gb18030_two.bin", two)
    write(folder, "gb18030_two.utf16", two.decode("gb18030").encode("utf-16-le"))
    four = bytearray()
    for linear in range(39420):
        b4 = linear % 10
        rest = linear // 10
        b3 = rest % 126
        rest //= 126
        four += bytes([0x81 + rest // 10, 0x30 + rest % 10, 0x81 + b3, 0x30 + b4])
    write(folder, "gb18030_four.bin", bytes(four))
    write(folder, "gb18030_four.utf16", bytes(four).decode("gb18030").encode("utf-16-le"))
    # GBK codes outside EUC (trail bytes below 0xA1) and four-byte codes: not code page 949.
    sample = ("游戏资源包浏览器。贴图、世界、表格与脚本都可以预览；€ 𠀀𠀁𠀂\n"
              "丂丄丅丆丏丒丗丟丠両丣並丩丮丯丱丳丵丷丼乀乁乂乄乆乊乑乕乗乚乛乢乣乤乥乧乨乪乫乬乭乮\n")
    write(folder, "gb18030_text.bin", sample.encode("gb18030"))
    write(folder, "gb18030_text.utf8", sample.encode("utf-8"))


def wave_file(path, channels, width, rate, frames):
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        w.writeframes(bytes(frames * channels * width))


def wave_fixtures(folder):
    wave_file(os.path.join(folder, "silence_mono8.wav"), 1, 1, 8000, 4000)
    wave_file(os.path.join(folder, "stereo16_1s.wav"), 2, 2, 44100, 44100)
    # 10 MiB of audio: only the first 64 KiB are looked at.
    wave_file(os.path.join(folder, "long_stereo16.wav"), 2, 2, 44100, 10 * 1024 * 1024 // 4)


def dtx_bgra32(width, height, pixels):
    """A version -5 texture in the plain 32-bit layout (pixel format 3, flags 8)."""
    header = struct.pack("<iHHIIIBBB", -5, width, height, 0, 8, 0, 0, 0, 3)
    return header + bytes(4 + 156 - len(header)) + bytes(pixels)


def lzma_fixtures(folder):
    text = ("[textures]\nDiffuseMapName=a.dtx\n" * 40).encode("utf-8")
    write(folder, "lzma_text.ini", lzma.compress(text, format=lzma.FORMAT_ALONE))
    write(folder, "lzma_text.plain", text)
    texture = dtx_bgra32(2, 2, range(16))
    write(folder, "lzma_texture.dtx", lzma.compress(texture, format=lzma.FORMAT_ALONE))
    # ".enc" text: base64 with every byte XOR-ed with 0xA3, also inside an LZMA frame.
    scrambled = bytes(b ^ 0xA3 for b in base64.b64encode(text))
    write(folder, "scrambled.enc", scrambled)
    write(folder, "scrambled_lzma.enc", lzma.compress(scrambled, format=lzma.FORMAT_ALONE))
    # A frame whose stream is cut short: it must be shown as stored.
    write(folder, "lzma_broken.ini", lzma.compress(text, format=lzma.FORMAT_ALONE)[:30])
    # ".cfg" entries whose frame holds scrambled text at an unknown phase, and noise.
    write(folder, "phase_lzma.cfg", lzma.compress(rez_crypto_encode(text, 211), format=lzma.FORMAT_ALONE))
    noise = random.Random(5).randbytes(8192)
    write(folder, "noise_lzma.cfg", lzma.compress(noise, format=lzma.FORMAT_ALONE))


def rez_crypto_encode(data, base):
    """The archive's byte scrambling; the table follows the rule written beside it in
    archive/rez_crypto.cpp (the tests check the result against the library's own)."""
    table, s = [], 0x51A7C0DE
    for _ in range(1013):
        s = (s * 1664525 + 1013904223) % 2**32
        table.append(s >> 24)
    return bytes(~(((b - 0x49) & 0xFF) ^ table[(base + i) % 1013]) & 0xFF for i, b in enumerate(data))


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    gb18030_fixtures(folder)
    wave_fixtures(folder)
    lzma_fixtures(folder)


if __name__ == "__main__":
    main()
