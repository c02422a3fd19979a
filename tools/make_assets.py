#!/usr/bin/python3
"""Regenerate the files in assets/ that the build embeds in letter-quiz.

Produces, in assets/ next to this tools/ folder:

  <key>.wav          27 letter recordings: espeak-ng's Hebrew voice saying the
                     letter's Hebrew name; RIFF WAVE PCM, 22,050 Hz, mono,
                     16-bit, an 18-byte "fmt " chunk, data from offset 46, each
                     exactly the size in LETTERS below (tempo-fitted with sox,
                     then padded with silence).
  online.wav         the wrong-answer tone: 17,778 samples at 11,025 Hz,
                     Microsoft ADPCM as encoded by sox (block align 256,
                     500 samples per block, "fact" chunk), 9,306 bytes.
  OldHebrew.ttf      family "PCFrank", a subset of Culmus Frank Ruehl CLM Medium;
  NewHebrew.ttf      family "PCMiriam", a subset of Culmus Miriam CLM Book.
                     Both hold only the 27 Hebrew letter forms, the digits and
                     the space; codes 0x41..0x5B map to U+05D0..U+05EA.
  FONTS-LICENSE.txt  the fonts' copyright and licence notice.

Every output is checked before anything is written; then each file is
replaced atomically (temporary file + rename), and a file whose bytes did not
change is left alone.  Running the script twice gives the same bytes.

Usage:
  /usr/bin/python3 tools/make_assets.py           regenerate assets/
  /usr/bin/python3 tools/make_assets.py --check   only compare with assets/;
                                                  exit 1 when anything differs

Needs the Debian packages espeak-ng, sox, culmus, python3-fonttools (for
/usr/bin/python3) and libsndfile1 (used to check that the recordings decode);
fontconfig's fc-scan is used for a further check when it is installed.
tools/install-deps.sh --assets installs them.
"""

import argparse
import ctypes
import ctypes.util
import io
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unicodedata
import zlib
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
ASSETS = REPO / "assets"
CULMUS_DIR = Path("/usr/share/fonts/truetype/culmus")
CULMUS_COPYRIGHT = Path("/usr/share/doc/culmus/copyright")
GPL2_TEXT = Path("/usr/share/common-licenses/GPL-2")


class AssetError(Exception):
    """A step failed or an output is not what it must be."""


def fail(message):
    raise AssetError(message)


def log(message):
    print(message, flush=True)


# ---------------------------------------------------------------------------
# Letter recordings
# ---------------------------------------------------------------------------

# Key, the text espeak-ng says, exact file size in bytes.  The texts are
# vowel-pointed Hebrew so that the Hebrew voice reads the names right; where
# the usual pointing and the voice disagree, the pointing follows the sound
# (patah in alef, sheva in ayin; gimel, dalet and tav without dagesh, which
# the voice would spell out).  A dagesh, shin dot or sin dot must stand
# directly after its letter, before the vowel: in the canonical Unicode order
# (vowel first) the voice reads the mark out by its name.  So the texts are
# written with escapes, which no editor normalises, and check_text() guards
# the order; each line's comment gives the sound.  The final forms say the
# first name of the base letter and "sofit".
SOFIT = " \u05e1\u05d5\u05b9\u05e4\u05b4\u05d9\u05ea"  # " sofit"
LETTERS = [
    ("alef", "\u05d0\u05b7\u05dc\u05b6\u05e3", 28122),  # alef
    ("betvet", "\u05d1\u05bc\u05b5\u05d9\u05ea, \u05d5\u05b5\u05d9\u05ea", 98788),  # bet, vet
    ("gimel", "\u05d2\u05b4\u05d9\u05de\u05b6\u05dc", 26272),  # gimel
    ("dalet", "\u05d3\u05b8\u05dc\u05b6\u05ea", 29356),  # dalet
    # The voice drops /h/ in Hebrew script ("e"), so hey is given in its
    # phoneme notation.
    ("hey", "[[h'e]]", 25654),  # he
    ("vav", "\u05d5\u05b8\u05d5", 44166),  # vav
    ("zayin", "\u05d6\u05b7\u05d9\u05b4\u05df", 44784),  # zayin
    ("chet", "\u05d7\u05b5\u05d9\u05ea", 35836),  # chet
    ("tet", "\u05d8\u05b5\u05d9\u05ea", 29666),  # tet
    ("yud", "\u05d9\u05d5\u05bc\u05d3", 33368),  # yud
    ("kafhaf", "\u05db\u05bc\u05b7\u05e3, \u05db\u05b7\u05e3", 98188),  # kaf, chaf
    ("lamed", "\u05dc\u05b8\u05de\u05b6\u05d3", 48486),  # lamed
    ("mem", "\u05de\u05b5\u05dd", 38674),  # mem
    ("nun", "\u05e0\u05d5\u05bc\u05df", 38070),  # nun
    ("samech", "\u05e1\u05b8\u05de\u05b6\u05da\u05b0", 38070),  # samech
    ("ayin", "\u05e2\u05b7\u05d9\u05b0\u05df", 35052),  # ayin
    ("peyfey", "\u05e4\u05bc\u05b5\u05d0, \u05e4\u05b5\u05d0", 85368),  # pe, fe
    ("tzadik", "\u05e6\u05b8\u05d3\u05b4\u05d9\u05e7", 30828),  # tsadik
    ("quf", "\u05e7\u05d5\u05bc\u05e3", 27810),  # kuf
    ("resh", "\u05e8\u05b5\u05d9\u05e9\u05c1", 38674),  # resh
    ("shinsin", "\u05e9\u05c1\u05b4\u05d9\u05df, \u05e9\u05c2\u05b4\u05d9\u05df", 109578),  # shin, sin
    ("taf", "\u05ea\u05b8\u05d5", 27810),  # tav
    ("kafsofit", "\u05db\u05bc\u05b7\u05e3" + SOFIT, 64530),  # kaf sofit
    ("memsofit", "\u05de\u05b5\u05dd" + SOFIT, 64626),  # mem sofit
    ("nunsofit", "\u05e0\u05d5\u05bc\u05df" + SOFIT, 67644),  # nun sofit
    ("peysofit", "\u05e4\u05bc\u05b5\u05d0" + SOFIT, 47728),  # pe sofit
    ("tzadiksofit", "\u05e6\u05b8\u05d3\u05b4\u05d9\u05e7" + SOFIT, 57988),  # tsadik sofit
]

PCM_RATE = 22050
PCM_HEADER = 46
ESPEAK_VOICE = "he"
ESPEAK_SPEED = 150            # words per minute; espeak-ng's default is 175
LEAD_SAMPLES = 441            # 20 ms of silence before the speech
MIN_TAIL_SAMPLES = 1764       # at least 80 ms of silence after it
TRIM_MARGIN = 220             # 10 ms kept either side of the detected speech
MIN_SPOKEN_PEAK_DB = -20.0    # the voice's own output must reach this
TARGET_PEAK_DB = -1.0         # recordings are normalised to this peak

HEBREW_LETTERS = {chr(c) for c in range(0x05D0, 0x05EB)}
POINTS_ON_LETTER = {"\u05bc", "\u05c1", "\u05c2"}  # dagesh, shin dot, sin dot


def dbfs(peak):
    return 20.0 * math.log10(peak / 32768.0) if peak > 0 else float("-inf")


def run(cmd, what, **kwargs):
    try:
        result = subprocess.run(cmd, capture_output=True, **kwargs)
    except FileNotFoundError:
        fail(f"{what}: '{cmd[0]}' is not installed")
    if result.returncode != 0:
        err = result.stderr
        if isinstance(err, bytes):
            err = err.decode("utf-8", "replace")
        fail(f"{what}: {' '.join(map(str, cmd))} exited with status "
             f"{result.returncode}: {err.strip()}")
    return result


def check_text(key, text):
    for i, ch in enumerate(text):
        if ch in POINTS_ON_LETTER and (i == 0 or text[i - 1] not in HEBREW_LETTERS):
            fail(f"{key}: {unicodedata.name(ch)} at {i} does not follow its "
                 "letter directly (was the text normalised?)")


def espeak_phonemes(key, text):
    out = run(["espeak-ng", "-v", ESPEAK_VOICE, "-q", "-x", text],
              f"{key}: espeak-ng phonemes", text=True).stdout
    phonemes = " ".join(out.split())
    # A language switch such as "(en)" means the voice spelled out a mark or
    # a letter by name instead of reading the word.
    if not phonemes or "(" in phonemes:
        fail(f"{key}: espeak-ng does not read '{text}' as Hebrew: {phonemes!r}")
    return phonemes


def read_pcm_wave(path, what):
    """Samples of a mono 16-bit PCM WAVE file (any chunk layout)."""
    data = path.read_bytes()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        fail(f"{what}: {path.name} is not a RIFF WAVE file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif cid == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        fail(f"{what}: {path.name} lacks a fmt or data chunk")
    tag, channels, rate, _, _, bits = fmt
    if (tag, channels, bits) != (1, 1, 16):
        fail(f"{what}: {path.name} is not mono 16-bit PCM (tag {tag}, "
             f"{channels} channels, {bits} bits)")
    n = len(samples) // 2
    return rate, list(struct.unpack(f"<{n}h", samples[:2 * n]))


def speech_bounds(samples, what):
    peak = max((abs(s) for s in samples), default=0)
    if peak == 0:
        fail(f"{what}: the voice produced only silence")
    threshold = max(peak // 100, 8)   # -40 dB below the peak
    loud = [i for i, s in enumerate(samples) if abs(s) > threshold]
    start = max(loud[0] - TRIM_MARGIN, 0)
    end = min(loud[-1] + TRIM_MARGIN + 1, len(samples))
    return start, end


def write_raw(path, samples):
    path.write_bytes(struct.pack(f"<{len(samples)}h", *samples))


def read_raw(path):
    data = path.read_bytes()
    n = len(data) // 2
    return list(struct.unpack(f"<{n}h", data[:2 * n]))


def sox_tempo(samples, factor, work, what):
    raw = ["-t", "raw", "-r", str(PCM_RATE), "-e", "signed-integer",
           "-b", "16", "-c", "1", "-L"]
    src, dst = work / "tempo-in.raw", work / "tempo-out.raw"
    write_raw(src, samples)
    run(["sox", "-D", "-R", "-V1", *raw, str(src), *raw, str(dst),
         "tempo", "-s", f"{factor:.4f}"], f"{what}: sox tempo")
    return read_raw(dst)


def normalise(samples, peak_db):
    peak = max(abs(s) for s in samples)
    target = round(32767 * 10 ** (peak_db / 20.0))
    out = []
    for s in samples:
        v = round(s * target / peak)
        out.append(max(-32768, min(32767, v)))
    return out


def fade_edges(samples, count):
    """Ramps the first and last samples so that the cuts do not click."""
    out = list(samples)
    count = min(count, len(out) // 2)
    for i in range(count):
        w = i / count
        out[i] = round(out[i] * w)
        out[-1 - i] = round(out[-1 - i] * w)
    return out


def pcm_wave_bytes(samples):
    data = struct.pack(f"<{len(samples)}h", *samples)
    fmt = struct.pack("<HHIIHHH", 1, 1, PCM_RATE, PCM_RATE * 2, 2, 16, 0)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE"
            + b"fmt " + struct.pack("<I", len(fmt)) + fmt
            + b"data" + struct.pack("<I", len(data)) + data)


def make_letter(key, text, size, work):
    what = key
    check_text(key, text)
    if (size - PCM_HEADER) % 2:
        fail(f"{key}: size {size} leaves an odd data size")
    total = (size - PCM_HEADER) // 2
    room = total - LEAD_SAMPLES - MIN_TAIL_SAMPLES
    phonemes = espeak_phonemes(key, text)

    spoken = work / f"{key}-espeak.wav"
    run(["espeak-ng", "-v", ESPEAK_VOICE, "-s", str(ESPEAK_SPEED),
         "-w", str(spoken), text], f"{key}: espeak-ng")
    rate, samples = read_pcm_wave(spoken, what)
    if rate != PCM_RATE:
        fail(f"{key}: espeak-ng wrote {rate} Hz, expected {PCM_RATE}")
    spoken_peak = max(abs(s) for s in samples)
    if dbfs(spoken_peak) < MIN_SPOKEN_PEAK_DB:
        fail(f"{key}: the voice's peak is {dbfs(spoken_peak):.1f} dBFS, below "
             f"{MIN_SPOKEN_PEAK_DB} dBFS: no usable speech")
    start, end = speech_bounds(samples, what)
    speech = samples[start:end]
    natural = len(speech)

    tempo = 1.0
    while len(speech) > room:
        tempo = round(tempo * len(speech) / room + 0.005, 4)
        if tempo > 2.0:
            fail(f"{key}: the speech ({natural / PCM_RATE:.2f} s) cannot be "
                 f"fitted into {room / PCM_RATE:.2f} s")
        stretched = sox_tempo(samples[start:end], tempo, work, what)
        s2, e2 = speech_bounds(stretched, what)
        speech = stretched[s2:e2]

    speech = fade_edges(normalise(speech, TARGET_PEAK_DB), TRIM_MARGIN)
    pcm = [0] * LEAD_SAMPLES + speech
    pcm += [0] * (total - len(pcm))
    wav = pcm_wave_bytes(pcm)
    info = {
        "key": key, "text": text, "phonemes": phonemes,
        "spoken_peak_db": dbfs(spoken_peak), "tempo": tempo,
        "speech_s": len(speech) / PCM_RATE, "total_s": total / PCM_RATE,
    }
    return wav, info


def check_letter_wave(key, wav, size):
    if len(wav) != size:
        fail(f"{key}.wav: {len(wav)} bytes, expected {size}")
    riff, riff_size, wave, fmt_id, fmt_size = struct.unpack_from("<4sI4s4sI", wav, 0)
    fmt = struct.unpack_from("<HHIIHHH", wav, 20)
    data_id, data_size = struct.unpack_from("<4sI", wav, 38)
    expected = ((b"RIFF", size - 8, b"WAVE", b"fmt ", 18),
                (1, 1, 22050, 44100, 2, 16, 0), (b"data", size - 46))
    if ((riff, riff_size, wave, fmt_id, fmt_size), fmt, (data_id, data_size)) != expected:
        fail(f"{key}.wav: header is not the PCM header required")
    n = data_size // 2
    samples = struct.unpack_from(f"<{n}h", wav, 46)
    peak = max(abs(s) for s in samples)
    if dbfs(peak) < MIN_SPOKEN_PEAK_DB or peak >= 32767:
        fail(f"{key}.wav: peak {dbfs(peak):.2f} dBFS is out of range")
    tail = samples[-MIN_TAIL_SAMPLES:]
    if any(tail) or any(samples[:LEAD_SAMPLES]):
        fail(f"{key}.wav: the speech runs into the silence around it")
    rms = math.sqrt(sum(s * s for s in samples) / n)
    return dbfs(peak), dbfs(rms)


# ---------------------------------------------------------------------------
# The error tone ":online"
# ---------------------------------------------------------------------------

ONLINE_RATE = 11025
ONLINE_SAMPLES = 17778
ONLINE_SIZE = 9306
ONLINE_BYTES_PER_SECOND = 5644
ONLINE_BLOCK_ALIGN = 256
ONLINE_SAMPLES_PER_BLOCK = 500
MS_ADPCM_COEFFICIENTS = [(256, 0), (512, -256), (0, 0), (192, 64),
                         (240, 0), (460, -208), (392, -232)]
ONLINE_PEAK_DB = -10.0
# Two soft buzzes, falling: (start s, length s, fundamental Hz).
ONLINE_TONES = [(0.00, 0.28, 196.00), (0.33, 0.45, 155.56)]


def online_pcm():
    """The tone as 16-bit samples: a few falling harmonics per note (a
    mellow buzz rather than a beep), with smooth attack and release."""
    buf = [0.0] * ONLINE_SAMPLES
    attack, release = 0.015, 0.09
    for start, length, f0 in ONLINE_TONES:
        first = round(start * ONLINE_RATE)
        count = round(length * ONLINE_RATE)
        for i in range(count):
            t = i / ONLINE_RATE
            if t < attack:
                env = 0.5 - 0.5 * math.cos(math.pi * t / attack)
            elif t > length - release:
                env = 0.5 + 0.5 * math.cos(math.pi * (t - (length - release)) / release)
            else:
                env = 1.0
            env *= math.exp(-1.2 * t)
            v = 0.0
            for k in range(1, 9):
                v += math.sin(2 * math.pi * k * f0 * t) / k ** 1.5
            buf[first + i] += env * v
    peak = max(abs(v) for v in buf)
    scale = 32767 * 10 ** (ONLINE_PEAK_DB / 20.0) / peak
    return [round(v * scale) for v in buf]


def riff_chunks(data, what):
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        fail(f"{what}: not a RIFF WAVE file")
    chunks, pos = [], 12
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        if pos + 8 + size > len(data):
            fail(f"{what}: chunk {cid!r} runs past the end")
        chunks.append((cid, data[pos + 8:pos + 8 + size]))
        pos += 8 + size + (size & 1)
    return chunks


def make_online(work):
    pcm = online_pcm()
    src, enc = work / "online-pcm.wav", work / "online-sox.wav"
    with open(src, "wb") as f:
        data = struct.pack(f"<{len(pcm)}h", *pcm)
        fmt = struct.pack("<HHIIHH", 1, 1, ONLINE_RATE, ONLINE_RATE * 2, 2, 16)
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + 16 + 8 + len(data)) + b"WAVE"
                + b"fmt " + struct.pack("<I", 16) + fmt
                + b"data" + struct.pack("<I", len(data)) + data)
    run(["sox", "-D", "-R", "-V1", str(src), "-e", "ms-adpcm", str(enc)],
        "online: sox ms-adpcm")
    chunks = dict()
    for cid, body in riff_chunks(enc.read_bytes(), "online (sox output)"):
        if cid in chunks:
            fail(f"online: sox wrote two {cid!r} chunks")
        chunks[cid] = body
    for needed in (b"fmt ", b"fact", b"data"):
        if needed not in chunks:
            fail(f"online: sox wrote no {needed!r} chunk")
    fmt = bytearray(chunks[b"fmt "])
    if len(fmt) != 50:
        fail(f"online: sox wrote a {len(fmt)}-byte fmt chunk, expected 50")
    written_bps = struct.unpack_from("<I", fmt, 8)[0]
    # sox rounds rate * block align / samples per block up to 5,645; the
    # recording carries 5,644.  No decoder uses the field.
    struct.pack_into("<I", fmt, 8, ONLINE_BYTES_PER_SECOND)
    out = (b"RIFF" + struct.pack("<I", ONLINE_SIZE - 8) + b"WAVE"
           + b"fmt " + struct.pack("<I", 50) + bytes(fmt)
           + b"fact" + struct.pack("<I", 4) + chunks[b"fact"]
           + b"data" + struct.pack("<I", len(chunks[b"data"])) + chunks[b"data"])
    fixes = []
    if written_bps != ONLINE_BYTES_PER_SECOND:
        fixes.append(f"bytes per second {written_bps} -> {ONLINE_BYTES_PER_SECOND}")
    extra = sorted(c.decode("latin-1") for c in chunks if c not in (b"fmt ", b"fact", b"data"))
    if extra:
        fixes.append("dropped chunks " + ", ".join(extra))
    return out, pcm, fixes


def check_online(wav, pcm, work, sndfile):
    what = "online.wav"
    if len(wav) != ONLINE_SIZE:
        fail(f"{what}: {len(wav)} bytes, expected {ONLINE_SIZE}")
    if struct.unpack_from("<I", wav, 4)[0] != ONLINE_SIZE - 8:
        fail(f"{what}: RIFF size is wrong")
    chunks = riff_chunks(wav, what)
    if [c for c, _ in chunks] != [b"fmt ", b"fact", b"data"]:
        fail(f"{what}: chunks are {[c for c, _ in chunks]}, expected fmt, fact, data")
    fmt, fact, data = (b for _, b in chunks)
    head = struct.unpack_from("<HHIIHHHH", fmt, 0)
    if head != (2, 1, ONLINE_RATE, ONLINE_BYTES_PER_SECOND, ONLINE_BLOCK_ALIGN, 4,
                32, ONLINE_SAMPLES_PER_BLOCK):
        fail(f"{what}: fmt fields are {head}")
    ncoef = struct.unpack_from("<H", fmt, 20)[0]
    coefs = [struct.unpack_from("<hh", fmt, 22 + 4 * i) for i in range(ncoef)]
    if coefs != MS_ADPCM_COEFFICIENTS:
        fail(f"{what}: coefficients are not the standard set: {coefs}")
    if len(fact) != 4 or struct.unpack("<I", fact)[0] != ONLINE_SAMPLES:
        fail(f"{what}: fact chunk does not hold {ONLINE_SAMPLES} samples")
    if len(data) != 36 * ONLINE_BLOCK_ALIGN or wav.find(b"data") + 8 != 90:
        fail(f"{what}: data chunk is not 36 blocks from offset 90")

    path = work / "online-check.wav"
    path.write_bytes(wav)
    frames, rate, decoded = sndfile(path)
    if rate != ONLINE_RATE or frames < ONLINE_SAMPLES:
        fail(f"{what}: libsndfile decodes {frames} frames at {rate} Hz")
    # sox's own reader must take it as well.
    raw = work / "online-check.raw"
    run(["sox", "-D", "-V1", str(path), "-t", "raw", "-e", "signed-integer",
         "-b", "16", str(raw)], f"{what}: sox decode")
    if len(read_raw(raw)) < ONLINE_SAMPLES:
        fail(f"{what}: sox decodes too few samples")
    decoded = decoded[:ONLINE_SAMPLES]
    signal = sum(s * s for s in pcm)
    noise = sum((a - b) ** 2 for a, b in zip(pcm, decoded)) or 1
    snr = 10 * math.log10(signal / noise)
    if snr < 15:
        fail(f"{what}: decoded audio is far from the tone (SNR {snr:.1f} dB)")
    peak = max(abs(s) for s in decoded)
    return frames, dbfs(peak), snr


class SndFile:
    """Decodes a WAVE file with libsndfile, the library the program plays
    recordings with."""

    class Info(ctypes.Structure):
        _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                    ("channels", ctypes.c_int), ("format", ctypes.c_int),
                    ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]

    def __init__(self):
        name = ctypes.util.find_library("sndfile") or "libsndfile.so.1"
        try:
            self.lib = ctypes.CDLL(name)
        except OSError:
            fail("libsndfile (Debian package libsndfile1) is not installed")
        self.lib.sf_open.restype = ctypes.c_void_p
        self.lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int,
                                     ctypes.POINTER(self.Info)]
        self.lib.sf_readf_short.restype = ctypes.c_int64
        self.lib.sf_readf_short.argtypes = [ctypes.c_void_p,
                                            ctypes.POINTER(ctypes.c_short),
                                            ctypes.c_int64]
        self.lib.sf_close.argtypes = [ctypes.c_void_p]
        self.lib.sf_strerror.restype = ctypes.c_char_p
        self.lib.sf_strerror.argtypes = [ctypes.c_void_p]

    def __call__(self, path):
        info = self.Info()
        handle = self.lib.sf_open(str(path).encode(), 0x10, ctypes.byref(info))
        if not handle:
            fail(f"{path.name}: libsndfile cannot open it: "
                 f"{self.lib.sf_strerror(None).decode()}")
        try:
            if info.channels != 1:
                fail(f"{path.name}: libsndfile sees {info.channels} channels")
            buf = (ctypes.c_short * max(info.frames, 1))()
            got = self.lib.sf_readf_short(handle, buf, info.frames)
        finally:
            self.lib.sf_close(handle)
        if got != info.frames:
            fail(f"{path.name}: libsndfile decoded {got} of {info.frames} frames")
        return info.frames, info.samplerate, list(buf[:got])


# ---------------------------------------------------------------------------
# Fonts
# ---------------------------------------------------------------------------

LETTER_CODES = list(range(0x05D0, 0x05EB))       # the 27 letter forms
GLYPH_CODES = list(range(0x41, 0x5C))            # 'A'..'[' draw them
DIGIT_CODES = list(range(0x30, 0x3A))
SPACE = 0x20
FONT_LIMIT = 60000

FONTS = [
    # output, source, family
    ("OldHebrew.ttf", "FrankRuehlCLM-Medium.ttf", "PCFrank"),
    ("NewHebrew.ttf", "MiriamCLM-Book.ttf", "PCMiriam"),
]


def import_fonttools():
    try:
        from fontTools import subset
        from fontTools.ttLib import TTFont
        from fontTools.ttLib.tables._c_m_a_p import CmapSubtable
    except ImportError:
        fail("fontTools is not importable: install python3-fonttools and run "
             "this script with /usr/bin/python3")
    return subset, TTFont, CmapSubtable


def make_font(out_name, source_name, family):
    subset, TTFont, CmapSubtable = import_fonttools()
    source = CULMUS_DIR / source_name
    if not source.is_file():
        fail(f"{out_name}: {source} is missing (install the culmus package)")
    font = TTFont(str(source), recalcTimestamp=False)
    source_cmap = font.getBestCmap()
    for code in [SPACE] + DIGIT_CODES + LETTER_CODES:
        if code not in source_cmap:
            fail(f"{out_name}: {source_name} has no glyph for U+{code:04X}")
    source_full_name = font["name"].getDebugName(4)
    source_version = (font["name"].getDebugName(5) or "").strip()
    stamp = font["head"].modified

    options = subset.Options()
    options.hinting = False
    options.layout_features = []
    options.drop_tables += ["GSUB", "GPOS", "GDEF", "FFTM", "gasp", "DSIG"]
    options.name_IDs = [0, 1, 2, 3, 4, 5, 6]
    options.name_languages = [0x409]
    options.name_legacy = False
    options.notdef_glyph = True
    options.notdef_outline = True
    options.glyph_names = False
    options.recalc_bounds = True
    options.recalc_timestamp = False
    options.prune_unicode_ranges = True
    subsetter = subset.Subsetter(options=options)
    subsetter.populate(unicodes=[SPACE] + DIGIT_CODES + LETTER_CODES)
    subsetter.subset(font)

    # Character map: the program draws each letter by the code 0x41 + its
    # place among U+05D0..U+05EA; the Hebrew codes stay mapped as well.
    glyph_of = {code: source_cmap[code] for code in [SPACE] + DIGIT_CODES + LETTER_CODES}
    for code, letter in zip(GLYPH_CODES, LETTER_CODES):
        glyph_of[code] = source_cmap[letter]
    tables = []
    for platform, encoding in ((0, 3), (3, 1)):
        sub = CmapSubtable.newSubtable(4)
        sub.platformID, sub.platEncID, sub.language = platform, encoding, 0
        sub.cmap = dict(sorted(glyph_of.items()))
        tables.append(sub)
    font["cmap"].tables = tables

    name = font["name"]
    for rec in list(name.names):
        if rec.nameID in (1, 2, 3, 4, 6, 16, 17):
            name.removeNames(nameID=rec.nameID)
    name.setName(family, 1, 3, 1, 0x409)
    name.setName("Regular", 2, 3, 1, 0x409)
    name.setName(f"{family}: letter-quiz subset of {source_full_name} {source_version}",
                 3, 3, 1, 0x409)
    name.setName(family, 4, 3, 1, 0x409)
    name.setName(family, 6, 3, 1, 0x409)
    name.setName(f"Subset of Culmus {source_full_name} with the family renamed and "
                 "the codes 0x41..0x5B mapped to the Hebrew letters U+05D0..U+05EA; "
                 "made by letter-quiz's tools/make_assets.py.", 10, 3, 1, 0x409)

    os2 = font["OS/2"]
    os2.usWeightClass = 400
    os2.fsSelection = (os2.fsSelection & ~0b1100001) | 0b1000000  # REGULAR only
    font["head"].macStyle = 0
    os2.recalcUnicodeRanges(font)
    os2.updateFirstAndLastCharIndex(font)
    font["head"].created = stamp
    font["head"].modified = stamp

    buf = io.BytesIO()
    font.save(buf)
    return buf.getvalue(), {"source": source_name, "version": source_version,
                            "full_name": source_full_name}


def check_font(out_name, data, family, work):
    _, TTFont, _ = import_fonttools()
    if len(data) > FONT_LIMIT:
        fail(f"{out_name}: {len(data)} bytes, more than {FONT_LIMIT}")
    packed = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed_size = len(packed.compress(data) + packed.flush())
    if packed_size + 12 - 4 > 65535:
        fail(f"{out_name}: packs to {packed_size} bytes, too big for the set")
    try:
        font = TTFont(io.BytesIO(data))
        cmap = font.getBestCmap()
        glyf = font["glyf"]
        hmtx = font["hmtx"]
        names = font["name"]
    except Exception as e:  # fontTools raises many kinds
        fail(f"{out_name}: fontTools cannot read it back: {e}")
    for code in DIGIT_CODES + GLYPH_CODES + LETTER_CODES:
        glyph = cmap.get(code)
        if glyph is None:
            fail(f"{out_name}: no glyph for code 0x{code:02X}")
        g = glyf[glyph]
        if g.numberOfContours == 0 or (g.numberOfContours > 0 and not g.coordinates):
            fail(f"{out_name}: code 0x{code:02X} maps to the empty glyph {glyph}")
    for code, letter in zip(GLYPH_CODES, LETTER_CODES):
        if cmap[code] != cmap[letter]:
            fail(f"{out_name}: 0x{code:02X} does not draw U+{letter:04X}")
    if SPACE not in cmap or hmtx[cmap[SPACE]][0] <= 0:
        fail(f"{out_name}: the space is missing or has no width")
    order = font.getGlyphOrder()
    if order[0] != ".notdef" or len(order) != 1 + 1 + len(DIGIT_CODES) + len(LETTER_CODES):
        fail(f"{out_name}: unexpected glyph set ({len(order)} glyphs)")
    for nid, want in ((1, family), (2, "Regular"), (4, family), (6, family)):
        got = names.getName(nid, 3, 1, 0x409)
        if got is None or got.toUnicode() != want:
            fail(f"{out_name}: name ID {nid} is {got}, expected {want!r}")
    fc_family = None
    if shutil.which("fc-scan"):
        path = work / out_name
        path.write_bytes(data)
        fc_family = run(["fc-scan", "--format", "%{family}", str(path)],
                        f"{out_name}: fc-scan", text=True).stdout.strip()
        if fc_family != family:
            fail(f"{out_name}: fontconfig sees family {fc_family!r}, expected {family!r}")
    return packed_size, fc_family


# ---------------------------------------------------------------------------
# Licence notice
# ---------------------------------------------------------------------------

def copyright_stanza(text, files_pattern):
    for para in text.split("\n\n"):
        if para.startswith(f"Files: {files_pattern}\n"):
            return para.strip()
    fail(f"FONTS-LICENSE.txt: no '{files_pattern}' stanza in {CULMUS_COPYRIGHT}")


def license_stanza(text, name):
    for para in text.split("\n\n"):
        if para.startswith(f"License: {name}\n"):
            return para.strip()
    fail(f"FONTS-LICENSE.txt: no 'License: {name}' stanza in {CULMUS_COPYRIGHT}")


def package_version(package):
    try:
        r = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                           capture_output=True, text=True)
    except FileNotFoundError:
        return None
    return r.stdout.strip() if r.returncode == 0 and r.stdout.strip() else None


def make_license(font_infos):
    for p in (CULMUS_COPYRIGHT, GPL2_TEXT):
        if not p.is_file():
            fail(f"FONTS-LICENSE.txt: {p} is missing")
    copyright_text = CULMUS_COPYRIGHT.read_text(encoding="utf-8")
    frank = copyright_stanza(copyright_text, "FrankRuehlCLM*")
    miriam = copyright_stanza(copyright_text, "MiriamCLM*")
    for stanza in (frank, miriam):
        if "License: GPL-2\n" not in stanza + "\n":
            fail("FONTS-LICENSE.txt: the Culmus licence of the sources is no longer plain GPL-2")
    gpl = license_stanza(copyright_text, "GPL-2")
    version = package_version("culmus")
    old, new = font_infos["OldHebrew.ttf"], font_infos["NewHebrew.ttf"]
    lines = [
        "Fonts in letter-quiz's assets/ folder",
        "=====================================",
        "",
        "OldHebrew.ttf and NewHebrew.ttf are modified versions of fonts of the",
        "Culmus project (https://sourceforge.net/projects/culmus/):",
        "",
        f"  OldHebrew.ttf  a subset of Culmus {old['full_name']} ({old['source']},",
        f"                 {old['version']}), family renamed \"PCFrank\";",
        f"  NewHebrew.ttf  a subset of Culmus {new['full_name']} ({new['source']},",
        f"                 {new['version']}), family renamed \"PCMiriam\".",
        "",
        "Changes made to the originals: only the glyphs of the 27 Hebrew letter",
        "forms (U+05D0..U+05EA), the ten digits, the space and .notdef are kept;",
        "hinting and the OpenType layout tables are removed; the family, style,",
        "full and PostScript names are changed; the character map also sends the",
        "codes 0x41..0x5B ('A'..'[') to the letter forms U+05D0..U+05EA in that",
        "order.  The files are made by tools/make_assets.py from the fonts of the",
        "Debian package culmus" + (f" (version {version})" if version else "")
        + "; that script and those fonts are",
        "their source.",
        "",
        "Like the originals, the two files are distributed under the terms of the",
        "GNU General Public License, version 2; its full text follows the",
        "notices below.",
        "",
        "Copyright notices of the original fonts, from the culmus package's",
        "copyright file:",
        "",
        frank,
        "",
        miriam,
        "",
        gpl,
        "",
        "=" * 72,
        "",
    ]
    text = "\n".join(lines) + GPL2_TEXT.read_text(encoding="utf-8")
    if not text.endswith("\n"):
        text += "\n"
    return text.encode("utf-8")


README = """\
# assets

Generated files that the build embeds in letter-quiz: the 27 letter recordings
(`<key>.wav`, espeak-ng's Hebrew voice saying each letter's name, 16-bit PCM at
22,050 Hz, each of a fixed size), the wrong-answer tone `online.wav`
(Microsoft ADPCM at 11,025 Hz), the two letter fonts `OldHebrew.ttf`
("PCFrank") and `NewHebrew.ttf` ("PCMiriam"), subsets of Culmus fonts whose
codes 0x41..0x5B draw the Hebrew letters, and their licence notice
`FONTS-LICENSE.txt`. Do not edit them by hand: regenerate them with
`/usr/bin/python3 tools/make_assets.py` (needs the Debian packages espeak-ng,
sox, culmus, python3-fonttools and libsndfile1; `tools/install-deps.sh --assets`
installs them); the same tools give the same bytes, and
`/usr/bin/python3 tools/make_assets.py --check` tells whether the files here are
up to date.
"""


# ---------------------------------------------------------------------------
# Main
# ---------------------------------------------------------------------------

def install(name, data):
    """Writes assets/<name> atomically; returns False when it was unchanged."""
    target = ASSETS / name
    if target.is_file() and target.read_bytes() == data:
        return False
    fd, tmp = tempfile.mkstemp(dir=ASSETS, prefix=f".{name}.", suffix=".tmp")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(tmp, 0o644)
        os.replace(tmp, target)
    except BaseException:
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        raise
    return True


def generate(work):
    outputs = {}
    sndfile = SndFile()

    log("Letter recordings (espeak-ng -v he):")
    keys = [k for k, _, _ in LETTERS]
    if len(LETTERS) != 27 or len(set(keys)) != 27:
        fail("the letter table must hold 27 distinct keys")
    for key, text, size in LETTERS:
        wav, info = make_letter(key, text, size, work)
        peak, rms = check_letter_wave(key, wav, size)
        path = work / f"{key}-check.wav"
        path.write_bytes(wav)
        frames, rate, _ = sndfile(path)
        if frames != (size - PCM_HEADER) // 2 or rate != PCM_RATE:
            fail(f"{key}.wav: libsndfile decodes {frames} frames at {rate} Hz")
        log(f"  {key + '.wav':17} {size:6} B  {info['total_s']:.3f} s, speech "
            f"{info['speech_s']:.3f} s, tempo {info['tempo']:.3f}, voice peak "
            f"{info['spoken_peak_db']:6.1f} dBFS -> peak {peak:5.1f} / rms "
            f"{rms:5.1f} dBFS  [{info['phonemes']}]")
        outputs[f"{key}.wav"] = wav

    log("Error tone:")
    wav, pcm, fixes = make_online(work)
    frames, peak, snr = check_online(wav, pcm, work, sndfile)
    log(f"  online.wav        {len(wav):6} B  MS ADPCM, {ONLINE_SAMPLES} samples "
        f"(libsndfile: {frames} frames), peak {peak:.1f} dBFS, ADPCM SNR {snr:.1f} dB"
        + (f"; header fixed: {'; '.join(fixes)}" if fixes else ""))
    outputs["online.wav"] = wav

    log("Fonts:")
    infos = {}
    for out_name, source_name, family in FONTS:
        data, info = make_font(out_name, source_name, family)
        packed, fc_family = check_font(out_name, data, family, work)
        infos[out_name] = info
        log(f"  {out_name:17} {len(data):6} B  (deflate {packed} B) family {family!r}"
            f" from {source_name}"
            + (f"; fontconfig: {fc_family!r}" if fc_family else "; fc-scan not found"))
        outputs[out_name] = data
    outputs["FONTS-LICENSE.txt"] = make_license(infos)
    outputs["README.md"] = README.encode("utf-8")
    return outputs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with assets/ instead of writing; exit 1 on a difference")
    args = parser.parse_args()
    try:
        with tempfile.TemporaryDirectory(prefix="lq-assets-") as tmp:
            outputs = generate(Path(tmp))
        if args.check:
            stale = [n for n, d in outputs.items()
                     if not (ASSETS / n).is_file() or (ASSETS / n).read_bytes() != d]
            if stale:
                print("make_assets: out of date in assets/: " + ", ".join(stale),
                      file=sys.stderr)
                return 1
            log(f"All {len(outputs)} files in {ASSETS} are up to date.")
            return 0
        ASSETS.mkdir(exist_ok=True)
        written = [n for n, d in outputs.items() if install(n, d)]
        log(f"{len(outputs)} files checked; written: "
            + (", ".join(written) if written else "none (all unchanged)"))
        return 0
    except AssetError as e:
        print(f"make_assets: error: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"make_assets: error: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
