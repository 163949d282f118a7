#!/usr/bin/env python3
"""Modules built against different FFTW builds, side by side.

Runs the module probe (bench/module_probe.cpp) on each module in turn, one
process per module, frame size and thread count, in interleaved rounds: in
every round each module runs once for every size and thread count, the
modules' order alternating from round to round, so that a shared machine's
load falls on all of them alike. Each module plans with FFTW_MEASURE and
keeps a wisdom cache file of its own, which an untimed first round fills
from nothing (a file left by an earlier run is removed first); the timed
rounds plan from it, as every render after a user's first one. With
--planning estimate the modules plan with FFTW_ESTIMATE instead, as a
preview does, and use no wisdom file.

  fftw-side-by-side.py --probe 'build/bench/devidoriv_module_probe' \\
      --module system=build/bench/devidoriv.so --module own=build/bench-own/devidoriv.so \\
      --wisdom-dir build/bench/side-by-side --sizes 1920x1080,3840x2160 --threads 1,2

The probe command may start with a loader (wine PROGRAM). Prints, per size
and thread count, each module's median time per frame over the rounds
(each round's value being the probe's median frame) with the spread of the
rounds, its fastest frame of all rounds (on a shared machine other work
only ever slows a frame down) and its CPU time per frame; and the first
module's time over each other module's: the median of the rounds' ratios
with their spread, and the ratio of the fastest frames. A ratio above 1
means the other module is faster.
"""

import argparse
import os
import shlex
import statistics
import subprocess
import sys


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--probe", required=True, help="the probe's command (a loader may come first)")
    p.add_argument("--module", action="append", required=True, metavar="NAME=PATH",
                   help="a module to time; the first is the reference (at least two)")
    p.add_argument("--wisdom-dir", required=True, help="folder of the modules' wisdom files")
    p.add_argument("--sizes", default="1920x1080,3840x2160")
    p.add_argument("--threads", default="1,2")
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--planning", choices=["measure", "estimate"], default="measure")
    p.add_argument("--megapixel-frames", type=float, default=24.0,
                   help="frames per probe at 1 megapixel; fewer at larger sizes (at least 5)")
    args = p.parse_args()
    args.modules = []
    for item in args.module:
        name, sep, path = item.partition("=")
        if not sep or not name or not path:
            p.error(f"--module wants NAME=PATH, not '{item}'")
        args.modules.append((name, path))
    if len(args.modules) < 2:
        p.error("give at least two modules")
    args.sizes = [s.strip() for s in args.sizes.split(",") if s.strip()]
    args.threads = [int(t) for t in args.threads.split(",") if t.strip()]
    return args


def frames_for(size, megapixel_frames):
    width, height = (int(v) for v in size.split("x"))
    return max(5, round(megapixel_frames * 1e6 / (width * height)))


def wisdom_file(args, name):
    return os.path.join(args.wisdom_dir, f"{name}.txt")


def run_probe(args, module, size, threads):
    name, path = module
    frames = frames_for(size, args.megapixel_frames)
    wisdom = wisdom_file(args, name) if args.planning == "measure" else "off"
    env = dict(os.environ, DEVIDORIV_WISDOM=wisdom)
    command = shlex.split(args.probe) + [path, size, str(threads), str(frames), args.planning]
    done = subprocess.run(command, env=env, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"fftw-side-by-side: {shlex.join(command)} failed ({done.returncode}):\n"
                 f"{done.stdout}{done.stderr}")
    lines = [l for l in done.stdout.splitlines() if l.startswith("frames=")]
    if not lines:
        sys.exit(f"fftw-side-by-side: no result from {shlex.join(command)}:\n{done.stdout}")
    return {k: float(v) for k, v in (f.split("=") for f in lines[-1].split())}


def spread(values):
    return f"{min(values):.1f}-{max(values):.1f}"


def fastest(probes):
    return min(p["wall_min_ms"] for p in probes)


def main():
    args = parse_args()
    os.makedirs(args.wisdom_dir, exist_ok=True)
    for name, _ in args.modules:
        if os.path.exists(wisdom_file(args, name)):
            os.remove(wisdom_file(args, name))
    cases = [(size, threads) for size in args.sizes for threads in args.threads]
    print(f"Planning with FFTW_{args.planning.upper()}; untimed first round "
          f"(wisdom files in {args.wisdom_dir})", flush=True)
    for size, threads in cases:
        for module in args.modules:
            run_probe(args, module, size, threads)

    results = {(case, name): [] for case in cases for name, _ in args.modules}
    for r in range(args.rounds):
        order = args.modules if r % 2 == 0 else list(reversed(args.modules))
        for size, threads in cases:
            for module in order:
                results[((size, threads), module[0])].append(run_probe(args, module, size,
                                                                       threads))
        print(f"round {r + 1} of {args.rounds} done", flush=True)

    reference = args.modules[0][0]
    print()
    print(f"Median ms per frame over {args.rounds} rounds (spread of the rounds), fastest "
          f"frame, CPU ms per frame; {reference}'s time over each other module's: median of "
          f"the rounds' ratios (spread), and of the fastest frames:")
    header = ["size", "threads"]
    for name, _ in args.modules:
        header += [f"{name} ms", f"{name} fastest", f"{name} CPU ms"]
    for name, _ in args.modules[1:]:
        header += [f"{reference} / {name}", "fastest"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for case in cases:
        row = [case[0], str(case[1])]
        for name, _ in args.modules:
            wall = [p["wall_ms"] for p in results[(case, name)]]
            cpu = [p["cpu_ms"] for p in results[(case, name)]]
            row += [f"{statistics.median(wall):.1f} ({spread(wall)})",
                    f"{fastest(results[(case, name)]):.1f}", f"{statistics.median(cpu):.1f}"]
        ref = [p["wall_ms"] for p in results[(case, reference)]]
        for name, _ in args.modules[1:]:
            other = [p["wall_ms"] for p in results[(case, name)]]
            ratios = [a / b for a, b in zip(ref, other)]
            row.append(f"{statistics.median(ratios):.2f} ({min(ratios):.2f}-{max(ratios):.2f})")
            row.append(f"{fastest(results[(case, reference)]) / fastest(results[(case, name)]):.2f}")
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
