#!/usr/bin/env python3
"""Times several programs at once under vornos-run.

Usage: run_bench.py VORNOS_RUN PROCESSES_BENCH NATIVE_PIPE WORK_DIR [--repeat N] [--spawns N]

Makes a 64 MiB FAT32 image in WORK_DIR holding PROCESSES_BENCH as /bench, then times (medians):
  pipe:  `vornos-run bench pipe` (a child writes 64 MiB into a pipe in 64 KiB writes, its parent
         reads it) beside NATIVE_PIPE (the same between two native Linux processes);
  spawn: `vornos-run bench spawn N` (N children started from the volume and waited for, one after
         the other) against `vornos-run bench exit` (the runner's own start-up and end).
Prints MB/s and the times, and the ratios. WORK_DIR is removed at the end.
"""
import argparse
import os
import shutil
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_common import run, timed  # noqa: E402

TOTAL = 64 << 20


def median_time(command, repeat):
    """Median wall-clock and median CPU seconds (user + system, traced programs included)."""
    walls, cpus = zip(*(timed(command) for _ in range(repeat)))
    return statistics.median(walls), statistics.median(cpus)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("runner")
    parser.add_argument("program")
    parser.add_argument("native_pipe")
    parser.add_argument("work_dir")
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--spawns", type=int, default=200)
    args = parser.parse_args()
    shutil.rmtree(args.work_dir, ignore_errors=True)
    os.makedirs(args.work_dir)
    try:
        image = os.path.join(args.work_dir, "bench.img")
        run(["mkfs.fat", "-C", "-F", "32", image, str(64 * 1024)])
        run(["mcopy", "-i", image, args.program, "::/bench"])
        guest = [args.runner, "--volume", image, args.program]

        pipe = median_time(guest + ["pipe"], args.repeat)
        native = median_time([args.native_pipe], args.repeat)
        print(f"pipe, 64 MiB in 64 KiB writes, child to parent (medians of {args.repeat}; wall clock, CPU):")
        for name, (wall, cpu) in (("vornos-run", pipe), ("native Linux pipe", native)):
            print(f"  {name:18} {wall * 1000:7.1f} ms {TOTAL / wall / 1e6:6.0f} MB/s   {cpu * 1000:7.1f} ms {TOTAL / cpu / 1e6:6.0f} MB/s")
        print(f"  ratio: native {pipe[0] / native[0]:.1f}x faster by the clock, {pipe[1] / native[1]:.1f}x by CPU time")

        startup = median_time(guest + ["exit"], args.repeat)
        spawns = median_time(guest + ["spawn", str(args.spawns)], args.repeat)
        print(f"spawn and wait of a trivial child ({args.spawns} in a row; medians of {args.repeat}; wall clock, CPU):")
        each = [(whole - alone) / args.spawns for whole, alone in zip(spawns, startup)]
        print(f"  per child:               {each[0] * 1000:7.3f} ms   {each[1] * 1000:7.3f} ms")
        print(f"  runner start-up and end: {startup[0] * 1000:7.3f} ms   {startup[1] * 1000:7.3f} ms")
        print(f"  ratio: a spawn costs {each[0] / startup[0]:.2f}x the runner's start-up by the clock, "
              f"{each[1] / startup[1]:.2f}x by CPU time")
    finally:
        shutil.rmtree(args.work_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
