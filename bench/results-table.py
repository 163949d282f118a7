#!/usr/bin/env python3
"""Markdown tables of one `make bench` run, from its JSON results.

    bench/results-table.py [build/bench/results.json]

Prints the tables that docs/performance.md shows: the FFT floor, whole
frames against it, the row steps, the first frame after a release and the
worker pool's pass.
"""
import json
import re
import sys

CASES = ["ellipse", "rectangle", "ellipse-cut", "rectangle-cut", "vertical",
         "horizontal", "ellipse+view", "unmasked"]


def arguments(name):
    """The named arguments of a run name, e.g. {'w': 1920, 'h': 1080}."""
    return {k: int(v) for k, v in re.findall(r"/(\w+):(\d+)", name)}


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |",
             "|" + "|".join("---:" if i else "---" for i in range(len(header))) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "build/bench/results.json"
    with open(path) as f:
        data = json.load(f)
    context = data["context"]
    runs = [b for b in data["benchmarks"] if b.get("run_type") == "iteration"]

    def family(prefix):
        return [(arguments(b["name"]), b) for b in runs if b["name"].startswith(prefix + "/")]

    print(f"Run of {context['date']}, {context['num_cpus']} CPUs, load average "
          + ", ".join(f"{x:.2f}" for x in context["load_avg"]) + " at the start.\n")

    print("FFT floor: one forward and one inverse fftwf_execute of one plane (median).\n")
    print(table(["size", "FFTW threads", "ms per plane", "ns per pixel"],
                [(f"{a['w']}x{a['h']}", a["fft"], f"{b['median_ms']:.2f}",
                  f"{b['ns_per_pixel']:.2f}") for a, b in family("BM_FftFloor")]))

    frames = family("BM_ProcessFrame")
    combos = sorted({(a["fft"], a["run"]) for a, _ in frames if a["w"] == 1920})

    def matrix(title, cell):
        print(title + "\n")
        rows = []
        for case, case_name in enumerate(CASES):
            row = [case_name]
            for fft, run in combos:
                hit = [b for a, b in frames if a["w"] == 1920 and a["case"] == case
                       and a["fft"] == fft and a["run"] == run]
                row.append(cell(hit[0]) if hit else "")
            rows.append(row)
        print(table(["case"] + [f"FFTW {f}, runner {r}" for f, r in combos], rows))

    matrix("\nProcessFrame at 1920x1080, warm workspace, luma and chroma on: median ms "
           "per frame, and in brackets ratio = median frame / (3 x median floor).",
           lambda b: f"{b['frame_ms']:.1f} ({b['ratio']:.2f})")
    matrix("\nThe same runs: ratio_min = fastest frame / (3 x fastest floor), and in "
           "brackets ratio_in_frame = fastest frame / its fastest six transforms.",
           lambda b: f"{b['ratio_min']:.2f} ({b['ratio_in_frame']:.2f})")

    print("\nProcessFrame at the other sizes.\n")
    print(table(["size", "case", "FFTW / runner threads", "ms per frame", "fps", "ratio",
                 "ratio_min", "ratio_in_frame"],
                [(f"{a['w']}x{a['h']}", CASES[a["case"]], f"{a['fft']} / {a['run']}",
                  f"{b['frame_ms']:.1f}", f"{b['fps']:.1f}", f"{b['ratio']:.2f}",
                  f"{b['ratio_min']:.2f}", f"{b['ratio_in_frame']:.2f}")
                 for a, b in frames if a["w"] != 1920]))

    print("\nRow steps alone, one thread, per plane (median).\n")
    steps = []
    for prefix in ("BM_StepLoad", "BM_StepMask", "BM_StepView", "BM_StepStore"):
        for a, b in family(prefix):
            steps.append((f"{a['w']}x{a['h']}", b["label"].split(" ", 1)[1],
                          f"{b['median_us']:.0f}", f"{b['ns_per_pixel']:.3f}",
                          f"{100 * b['of_floor']:.1f} %"))
    print(table(["size", "step", "us per plane", "ns per pixel", "of the floor"], steps))

    print("\nFirst frame after a release (planning included), FFTW threads 1.\n")
    print(table(["size", "planning", "ms", "ratio to 3 x floor"],
                [(f"{a['w']}x{a['h']}", b["label"].split(" ", 1)[1], f"{b['frame_ms']:.0f}",
                  f"{b['ratio']:.1f}") for a, b in family("BM_FirstFrameAfterRelease")]))

    print("\nOne empty pass of the host's worker pool.\n")
    print(table(["runner threads", "us per pass"],
                [(a["run"], f"{b['real_time']:.3f}") for a, b in family("BM_WorkerPoolPass")]))


if __name__ == "__main__":
    main()
