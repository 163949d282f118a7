#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: valid and broken Y4M streams
for fuzz_y4m_reader, NUL-separated command lines for fuzz_options, and
wisdom files, good and spoilt, for fuzz_wisdom.

Run from anywhere; it replaces the generated seeds under corpus/ and
leaves files whose names start with "regression-" (inputs that once found
a bug) alone.
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def header(tags):
    return ("YUV4MPEG2 " + " ".join(tags) + "\n").encode()


def frame_bytes(width, height, layout, depth):
    cw, ch = {
        "420": ((width + 1) // 2, (height + 1) // 2),
        "422": ((width + 1) // 2, height),
        "444": (width, height),
        "mono": (0, 0),
    }[layout]
    samples = width * height + 2 * cw * ch
    return samples * (2 if depth > 8 else 1)


def frames(width, height, layout, depth, count, rng, params=""):
    out = b""
    n = frame_bytes(width, height, layout, depth)
    for _ in range(count):
        line = "FRAME" + (" " + params if params else "") + "\n"
        if depth > 8:
            top = (1 << depth) - 1
            data = b"".join(rng.randint(0, top).to_bytes(2, "little") for _ in range(n // 2))
        else:
            data = bytes(rng.randint(0, 255) for _ in range(n))
        out += line.encode() + data
    return out


def y4m_seeds():
    rng = random.Random(8)
    seeds = {}
    valid = [
        ("420jpeg-4x2", ["W4", "H2", "F25:1", "Ip", "A1:1", "C420jpeg", "XCOLORRANGE=LIMITED"], 4, 2, "420", 8, 2),
        ("no-tags-3x3", ["W3", "H3"], 3, 3, "420", 8, 1),
        ("420mpeg2-5x3", ["W5", "H3", "C420mpeg2", "It"], 5, 3, "420", 8, 1),
        ("420paldv-2x2", ["W2", "H2", "C420paldv"], 2, 2, "420", 8, 1),
        ("422-6x2", ["W6", "H2", "C422", "F30000:1001"], 6, 2, "422", 8, 2),
        ("444-3x2-full", ["W3", "H2", "C444", "XCOLORRANGE=FULL"], 3, 2, "444", 8, 1),
        ("mono-4x4", ["W4", "H4", "Cmono"], 4, 4, "mono", 8, 1),
        ("420p10-4x2", ["W4", "H2", "C420p10", "XYSCSS=420P10"], 4, 2, "420", 10, 1),
        ("422p12-2x2", ["W2", "H2", "C422p12"], 2, 2, "422", 12, 1),
        ("444p16-2x1", ["W2", "H1", "C444p16"], 2, 1, "444", 16, 1),
        ("444p9-1x1", ["W1", "H1", "C444p9"], 1, 1, "444", 9, 2),
        ("mono12-3x1", ["W3", "H1", "Cmono12"], 3, 1, "mono", 12, 1),
        ("mono16-1x2", ["W1", "H2", "Cmono16", "A0:0", "I?"], 1, 2, "mono", 16, 1),
        ("420p14-2x2", ["W2", "H2", "C420p14", "Im"], 2, 2, "420", 14, 1),
        ("1x1-many-frames", ["W1", "H1", "C444"], 1, 1, "444", 8, 8),
    ]
    for name, tags, w, h, layout, depth, count in valid:
        seeds["valid-" + name] = header(tags) + frames(w, h, layout, depth, count, rng)
    seeds["valid-frame-params"] = header(["W2", "H2", "C444"]) + frames(2, 2, "444", 8, 2, rng, "Ixyz XA=1")
    seeds["valid-header-only"] = header(["W8", "H8", "C420jpeg"])
    seeds["valid-spaces"] = b"YUV4MPEG2  W2   H2  C444 \n" + frames(2, 2, "444", 8, 1, rng)

    good = header(["W4", "H2", "C420jpeg"]) + frames(4, 2, "420", 8, 2, rng)
    broken = {
        "empty": b"",
        "magic-only": b"YUV4MPEG2",
        "magic-newline": b"YUV4MPEG2\n",
        "bad-magic": b"YUV4MPEG3 W2 H2\n",
        "not-y4m": b"\x89PNG\r\n\x1a\n" + bytes(24),
        "header-no-newline": b"YUV4MPEG2 W2 H2 C444",
        "header-too-long": b"YUV4MPEG2 W2 H2 X" + b"A" * 5000 + b"\n",
        "w-zero": header(["W0", "H2"]),
        "h-missing": header(["W2"]),
        "w-beyond-cap": header(["W16385", "H2"]) + b"FRAME\n",
        "h-beyond-cap": header(["W2", "H16385"]),
        "w-huge-digits": header(["W99999999999999999999", "H2"]),
        "w-negative": header(["W-4", "H2"]),
        "w-not-number": header(["Wabc", "H2"]),
        "w-hex": header(["W0x10", "H2"]),
        "at-cap-truncated": header(["W16384", "H16384", "Cmono"]) + b"FRAME\n" + bytes(64),
        "tag-twice": header(["W2", "H2", "W4"]),
        "unknown-tag": header(["W2", "H2", "Q7"]),
        "bad-chroma": header(["W2", "H2", "C411"]),
        "bad-chroma-depth": header(["W2", "H2", "C420p11"]),
        "bad-chroma-leading-zero": header(["W2", "H2", "C420p010"]),
        "bad-rate": header(["W2", "H2", "F25"]),
        "bad-rate-zero-den": header(["W2", "H2", "F25:0"]),
        "bad-aspect": header(["W2", "H2", "A1:x"]),
        "bad-interlace": header(["W2", "H2", "Iz"]),
        "bad-range": header(["W2", "H2", "XCOLORRANGE=TV"]),
        "control-bytes": b"YUV4MPEG2 W2\x1b[31m H2\x00\n",
        "frame-truncated": good[:-3],
        "frame-header-truncated": header(["W2", "H2", "C444"]) + b"FRA",
        "frame-header-no-newline": header(["W2", "H2", "C444"]) + b"FRAME",
        "frame-bad-magic": header(["W2", "H2", "C444"]) + b"FRAMES\n" + bytes(12),
        "frame-line-too-long": header(["W2", "H2", "C444"]) + b"FRAME " + b"x" * 5000 + b"\n" + bytes(12),
        "frame-then-garbage": good + b"GARBAGE\n",
        "frame-extra-bytes": header(["W1", "H1", "C444"]) + b"FRAME\n" + bytes(5),
        "crlf": b"YUV4MPEG2 W2 H2 C444\r\nFRAME\r\n" + bytes(12),
    }
    for name, data in broken.items():
        seeds["broken-" + name] = data
    return seeds


def options_seeds():
    lines = {
        "files": ["in.y4m", "out.y4m"],
        "pipes": ["-", "-"],
        "every-track": ["--luma-a", "200", "--luma-b=100", "--luma-w", "30", "--luma-type", "ellipse-cut",
                        "--chroma-a", "50", "--chroma-b", "40", "--chroma-w", "0", "--chroma-type", "5",
                        "--plane", "cb", "--contrast", "1024", "--threads", "0", "a.y4m", "b.y4m"],
        "every-check": ["--show-spectrum", "--no-sync-sliders", "--no-luma", "--chroma-on",
                        "--no-measure-when-saving-only", "--never-measure", "i", "o"],
        "host-options": ["--workers", "8", "--preview", "--start=10", "--frames", "5", "-q",
                         "--snapshot", "0:a.png", "--snapshot-input=3:b.png", "--module", "x.so", "i", "o"],
        "double-dash": ["--luma-a=3", "--", "--input", "-q"],
        "help": ["--help"],
        "help-short": ["-h", "extra", "args"],
        "out-of-range": ["--luma-a", "999999", "--contrast=-5", "i", "o"],
        "negative-track": ["--luma-type", "-1", "--threads=-3", "i", "o"],
        "int32-edge": ["--luma-a", "2147483647", "--luma-b", "-2147483648", "i", "o"],
        "int32-beyond": ["--luma-a", "2147483648", "i", "o"],
        "unknown": ["--colour", "i", "o"],
        "unknown-short": ["-x", "i", "o"],
        "missing-value": ["i", "o", "--luma-a"],
        "value-on-check": ["--preview=yes", "i", "o"],
        "bad-workers": ["--workers", "0", "i", "o"],
        "too-many-workers": ["--workers", "257", "i", "o"],
        "bad-snapshot": ["--snapshot", "x.png", "i", "o"],
        "snapshot-no-file": ["--snapshot", "3:", "i", "o"],
        "missing-output": ["in.y4m"],
        "nothing": [],
        "too-many": ["a", "b", "c"],
        "empty-args": ["", "", ""],
        "newline-in-arg": ["--bad\nname", "i", "o"],
        "escape-in-value": ["--luma-a", "\x1b[2J", "i", "o"],
        "plus-sign": ["--luma-a", "+5", "i", "o"],
    }
    return {"args-" + name: b"\0".join(a.encode() for a in args) for name, args in lines.items()}


# The wisdom seeds are made from the wisdom that fuzz_wisdom starts each
# input from (this FFTW's signature and solver names), which it writes when
# asked:  DEVIDORIV_FUZZ_WISDOM_BASELINE=tests/fuzz/corpus/wisdom/valid-16x12 \
#           build/fuzz/fuzz_wisdom -runs=0
WISDOM_BASELINE = "valid-16x12"


def wisdom_seeds():
    path = os.path.join(HERE, "corpus", "wisdom", WISDOM_BASELINE)
    if not os.path.exists(path):
        raise SystemExit(f"{path} is missing; make it with fuzz_wisdom (see above)")
    with open(path, "rb") as f:
        valid = f.read()
    lines = valid.split(b"\n")
    header, entries = lines[0], [l for l in lines[1:] if l.startswith(b"  (")]

    def text(*parts):
        return b"\n".join(parts) + b"\n"

    def with_hash(entry, words):
        cut = entry.index(b"#x", entry.index(b"#x", entry.index(b"#x", entry.index(b"#x") + 2) + 2) + 2)
        return entry[:cut] + words + b")"

    names = [e[: e.index(b" #x")] for e in entries]
    rests = [e[e.index(b" #x"):] for e in entries]
    rotated = [names[(i + 1) % len(names)] + rests[i] for i in range(len(entries))]
    version = header.index(b"-") + 1
    seeds = {
        WISDOM_BASELINE: valid,
        "valid-then-text": valid + b"trailing words (and brackets\n",
        "header-only": text(header, b")"),
        "truncated-header": header[: len(header) // 2],
        "truncated-entry": valid[: len(header) + 1 + len(entries[0]) // 2],
        "truncated-close": valid.rstrip(b")\n"),
        "other-version": header[:version] + b"2.1.5" + valid[header.index(b" "):],
        "double-precision": valid.replace(b" fftwf_wisdom ", b" fftw_wisdom ", 1),
        "other-signature": text(header[: header.index(b"#x")] + b"#x1 #x2 #x3 #x4", *entries, b")"),
        "fresh-then-unknown-solver": text(header, with_hash(entries[0], b"#x1 #x2 #x3 #x4"),
                                          b"  (fftwf_no_such_solver 0 #x0 #x0 #x0 #x0 #x0 #x0 #x0)", b")"),
        "rotated-solvers": text(header, *rotated, b")"),
        # A problem marked infeasible, as a planner with a time limit records.
        "timeout-entry": text(header, b"  (TIMEOUT 0" + rests[0][: rests[0].index(b")")] + b")",
                              *entries, b")"),
        "huge-numbers": text(header, with_hash(entries[0], b"#xffffffffffffffffffff #x2 #x3 #x4"), b")"),
        "empty": b"",
        "garbage": b"not wisdom at all\n",
        "nul-bytes": valid[:40] + b"\0" + valid[40:],
    }
    return {"wisdom-" + k if k != WISDOM_BASELINE else k: v for k, v in seeds.items()}


def write(folder, seeds):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    for name in os.listdir(path):
        if not name.startswith("regression-"):
            os.remove(os.path.join(path, name))
    for name, data in sorted(seeds.items()):
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)
    print(f"{folder}: {len(seeds)} seeds")


if __name__ == "__main__":
    write("y4m_reader", y4m_seeds())
    write("options", options_seeds())
    write("wisdom", wisdom_seeds())
