#!/usr/bin/env python3
"""The command-line tool next to ProcessFrame alone, per frame.

For each clip (FFmpeg's testsrc2 at each size and pixel format, made in
/dev/shm) and each thread count N, with the tool's default settings (luma
and chroma filtered) and --preview --threads N --workers N:

  - ProcessFrame alone: build/bench/devidoriv_frame_probe, which sets the
    module up through the tool's own code and times only ProcessFrame on
    frames of the clip (median over its frames, wall and CPU seconds of the
    whole process);
  - the tool: whole runs of SHORT and LONG frames written to /dev/null,
    wall time and CPU time (user + system of the child); the frame's cost is
    the difference of the two over LONG - SHORT frames, which leaves out the
    start-up (loading the module, planning, the first frames' buffers).

Each is the best of REPEATS runs, the runs of one case interleaved, so that
a busy moment of a shared machine slows all of them alike. Prints one row
per case with both ratios next to the goals (wall 1.15, CPU 1.3), and the
command lines used.

  bench/tool-ratio.py                       all cases, a few minutes
  bench/tool-ratio.py --sizes 1920x1080 --formats yuv444p --threads 1
  make bench-tool                           builds build/bench (Release), runs this
"""
import argparse
import os
import resource
import shlex
import subprocess
import sys
import tempfile
import time

WALL_GOAL = 1.15
CPU_GOAL = 1.3

# Frames of the short and the long run of the tool, by frame size: the long
# run's extra frames should take a few seconds, and the short run holds at
# least as many frames as the tool keeps in flight (3), so that both runs
# make all their buffers.
RUN_FRAMES = {"1920x1080": (4, 24), "3840x2160": (4, 12)}
DEFAULT_RUN_FRAMES = (4, 16)


def run_child(command):
    """Runs a command; returns its wall and CPU seconds and its output."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit("tool-ratio: failed (%d): %s\n%s" % (done.returncode, shlex.join(command),
                                                       done.stderr))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, done.stdout


def probe_line(text):
    return dict(item.split("=") for item in text.split())


def make_clip(ffmpeg, size, pix_fmt, frames, directory):
    path = os.path.join(directory, "clip-%s-%s.y4m" % (size, pix_fmt))
    subprocess.run([ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=%s:rate=25" % size, "-frames:v", str(frames), "-pix_fmt",
                    pix_fmt, "-strict", "-1", "-f", "yuv4mpegpipe", path], check=True)
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", default="build/bench/devidoriv")
    parser.add_argument("--probe", default="build/bench/devidoriv_frame_probe")
    parser.add_argument("--ffmpeg", default="ffmpeg")
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    parser.add_argument("--formats", default="yuv420p,yuv444p,yuv420p10le")
    parser.add_argument("--threads", default="1,2")
    parser.add_argument("--repeats", type=int, default=2)
    parser.add_argument("--probe-frames", type=int, default=8,
                        help="frames the probe times per run")
    parser.add_argument("--shm", default="/dev/shm")
    args = parser.parse_args()
    for path in (args.tool, args.probe):
        if not os.access(path, os.X_OK):
            sys.exit("tool-ratio: %s not found; build it first (make bench-tool)" % path)

    rows = []
    commands = []
    with tempfile.TemporaryDirectory(dir=args.shm, prefix="devidoriv-ratio-") as directory:
        for size in args.sizes.split(","):
            short, long_ = RUN_FRAMES.get(size, DEFAULT_RUN_FRAMES)
            for pix_fmt in args.formats.split(","):
                clip = make_clip(args.ffmpeg, size, pix_fmt, long_, directory)
                for threads in [int(t) for t in args.threads.split(",")]:
                    settings = ["--quiet", "--preview", "--threads", str(threads), "--workers",
                                str(threads)]
                    probe = [args.probe, str(args.probe_frames)] + settings + [clip, "/dev/null"]
                    tool = [args.tool] + settings + ["--frames"]
                    best = {}
                    for _ in range(args.repeats):
                        _, _, out = run_child(probe)
                        p = probe_line(out)
                        for key in ("wall_ms", "cpu_ms"):
                            best[key] = min(best.get(key, 1e300), float(p[key]))
                        for n in (short, long_):
                            wall, cpu, _ = run_child(tool + [str(n), clip, "/dev/null"])
                            best[("wall", n)] = min(best.get(("wall", n), 1e300), wall)
                            best[("cpu", n)] = min(best.get(("cpu", n), 1e300), cpu)
                    extra = long_ - short
                    tool_wall = 1e3 * (best[("wall", long_)] - best[("wall", short)]) / extra
                    tool_cpu = 1e3 * (best[("cpu", long_)] - best[("cpu", short)]) / extra
                    rows.append((size, pix_fmt, threads, best["wall_ms"], tool_wall,
                                 tool_wall / best["wall_ms"], best["cpu_ms"], tool_cpu,
                                 tool_cpu / best["cpu_ms"]))
                    commands.append((probe, tool + [str(long_), clip, "/dev/null"]))
                    print("  %s %s threads %d: wall %.2f, cpu %.2f" % (
                        size, pix_fmt, threads, rows[-1][5], rows[-1][8]), file=sys.stderr)
                os.remove(clip)

    print("Per frame, ms; ProcessFrame alone (probe, median) and the tool (whole runs,")
    print("difference of %s); best of %d runs each. Goals: wall <= %.2fx, CPU <= %.2fx."
          % ("LONG and SHORT frames", args.repeats, WALL_GOAL, CPU_GOAL))
    print()
    print("| size | format | threads | ProcessFrame wall | tool wall | ratio "
          "| ProcessFrame CPU | tool CPU | ratio |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
    for size, pix_fmt, threads, pw, tw, rw, pc, tc, rc in rows:
        print("| %s | %s | %d | %.1f | %.1f | %.2f%s | %.1f | %.1f | %.2f%s |" % (
            size, pix_fmt, threads, pw, tw, rw, "" if rw <= WALL_GOAL else " (over)", pc, tc, rc,
            "" if rc <= CPU_GOAL else " (over)"))
    print()
    print("Commands of the first case (the clip is made by ffmpeg's testsrc2 in %s):" % args.shm)
    probe, tool = commands[0]
    print("  " + shlex.join(probe))
    print("  " + shlex.join(tool))
    try:
        print("Load average at the end: %.2f %.2f %.2f" % os.getloadavg())
    except OSError:
        pass


if __name__ == "__main__":
    main()
