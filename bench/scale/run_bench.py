#!/usr/bin/env python3
"""The file layer at full size: whether its cost follows the work, not the size of the volume or directory.

Usage: run_bench.py SCALE_STEP WORK_DIR [--repeat N] [--many N] [--rows write,creates,many,repair]

Each figure is one run of SCALE_STEP (fat32-scale-step: the file layer in process, no runner): its wall
time and peak RSS (VmHWM) as it reports them, its CPU time (user + system) as the kernel reports it
(wait4); on a machine shared with other jobs the CPU time is the steadier. Side by side, alternating:
  - one small write (6 bytes, a whole-file write as writefile makes it) on a 2 TiB sparse volume
    (`mkfs.fat -F 32 -s 64`) against one on a 1 GiB volume (`mkfs.fat -F 32`); goals: time within
    1.5x + 20 ms, peak memory within 2x + 4 MiB;
  - 1,000 creates in a directory that already holds 8,000 names against 1,000 in an empty one, each on
    a fresh copy of the same 512 MiB volume (4 KiB clusters); goal: at most 2x;
  - 16,000 creates in one directory (--many): the total and the share of it spent in fdatasync;
  - the repair of the whole 2 TiB volume: time and peak memory.
Medians of --repeat runs (5). The images are sparse and WORK_DIR is removed at the end.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_common import ENV, run  # noqa: E402

MIB = 1 << 20


def step(scale_step, *args):
    """One run of the step: (seconds, sync seconds, peak RSS in bytes, CPU seconds)."""
    process = subprocess.Popen([scale_step, *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
    out = process.stdout.read().decode()
    err = process.stderr.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"{scale_step} {' '.join(map(str, args))} failed ({process.returncode}): {err}")
    fields = out.split()
    figures = dict(zip(fields[0::2], fields[1::2]))
    cpu = usage.ru_utime + usage.ru_stime
    return float(figures["seconds"]), float(figures["sync_seconds"]), int(figures["peak_rss_kib"]) * 1024, cpu


def make_volume(path, size, *mkfs_options):
    """A sparse image of SIZE made by mkfs.fat; prints how long mkfs.fat took."""
    run(["truncate", "-s", str(size), path])
    start = time.perf_counter()
    run(["mkfs.fat", "-F", "32", "-i", "5ca1e000", *mkfs_options, path])
    print(f"  made {os.path.basename(path)} ({size / (1 << 30):g} GiB) in {time.perf_counter() - start:.1f} s", flush=True)


def fresh_copy(source, target):
    run(["cp", "--sparse=always", source, target])
    os.sync()


def medians(runs):
    return [statistics.median(column) for column in zip(*runs)]


def verdict(ok):
    return "meets the goal" if ok else "MISSES the goal"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scale_step")
    parser.add_argument("work_dir")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--many", type=int, default=16000)
    parser.add_argument("--rows", default="write,creates,many,repair", help="which rows to measure")
    args = parser.parse_args()
    rows = set(args.rows.split(","))
    shutil.rmtree(args.work_dir, ignore_errors=True)
    os.makedirs(args.work_dir)
    work = lambda name: os.path.join(args.work_dir, name)  # noqa: E731
    try:
        print("volumes:", flush=True)
        if rows & {"write", "repair"}:
            make_volume(work("big.img"), 2 << 40, "-s", "64")
            make_volume(work("small.img"), 1 << 30)
        if rows & {"creates", "many"}:
            make_volume(work("dirs.img"), 512 * MIB, "-s", "8")
            run(["mmd", "-i", work("dirs.img"), "::/Full", "::/Empty", "::/Many"])
        if "creates" in rows:
            seconds = step(args.scale_step, "creates", work("dirs.img"), "/Full", 8000, 0)[0]
            print(f"  8,000 names made in /Full of dirs.img in {seconds:.1f} s", flush=True)
        if "write" in rows:
            small_write(args, work)
        if "creates" in rows:
            creates_beside(args, work)
        if "many" in rows:
            many_creates(args, work)
        if "repair" in rows:
            repair(args, work)
    finally:
        shutil.rmtree(args.work_dir, ignore_errors=True)


def small_write(args, work):
    big, small = [], []
    for _ in range(args.repeat):
        big.append(step(args.scale_step, "write", work("big.img"), "/one.txt", 6))
        small.append(step(args.scale_step, "write", work("small.img"), "/one.txt", 6))
    (big_s, _, big_rss, big_cpu), (small_s, _, small_rss, small_cpu) = medians(big), medians(small)
    time_ok = big_s <= 1.5 * small_s + 0.020
    memory_ok = big_rss <= 2 * small_rss + 4 * MIB
    print(f"one small write, 2 TiB vs 1 GiB volume (medians of {args.repeat}):")
    print(f"  time      {big_s * 1e3:8.2f} ms vs {small_s * 1e3:8.2f} ms: {big_s / small_s:5.2f}x "
          f"(goal 1.5x + 20 ms: {verdict(time_ok)})")
    print(f"  CPU       {big_cpu * 1e3:8.2f} ms vs {small_cpu * 1e3:8.2f} ms")
    print(f"  peak RSS  {big_rss / MIB:8.1f} MiB vs {small_rss / MIB:5.1f} MiB: {big_rss / small_rss:5.2f}x "
          f"(goal 2x + 4 MiB: {verdict(memory_ok)})", flush=True)


def creates_beside(args, work):
    full, empty = [], []
    for _ in range(max(1, args.repeat // 2)):
        fresh_copy(work("dirs.img"), work("run.img"))
        full.append(step(args.scale_step, "creates", work("run.img"), "/Full", 1000, 8000))
        fresh_copy(work("dirs.img"), work("run.img"))
        empty.append(step(args.scale_step, "creates", work("run.img"), "/Empty", 1000, 0))
    (full_s, full_sync, _, full_cpu), (empty_s, empty_sync, _, empty_cpu) = medians(full), medians(empty)
    print(f"1,000 creates beside 8,000 names vs in an empty directory (medians of {len(full)}):")
    print(f"  time      {full_s:8.3f} s  vs {empty_s:8.3f} s: {full_s / empty_s:5.2f}x "
          f"(goal 2x: {verdict(full_s <= 2 * empty_s)}); fdatasync {full_sync:.3f} s vs {empty_sync:.3f} s")
    print(f"  CPU       {full_cpu:8.3f} s  vs {empty_cpu:8.3f} s: {full_cpu / empty_cpu:5.2f}x "
          f"(goal 2x: {verdict(full_cpu <= 2 * empty_cpu)})", flush=True)


def many_creates(args, work):
    fresh_copy(work("dirs.img"), work("run.img"))
    many_s, many_sync, many_rss, many_cpu = step(args.scale_step, "creates", work("run.img"), "/Many", args.many, 0)
    print(f"{args.many:,} creates in one directory (one run):")
    print(f"  total {many_s:.2f} s, of it fdatasync {many_sync:.2f} s ({100 * many_sync / many_s:.0f} %), "
          f"{1e6 * many_s / args.many:.0f} us a create; CPU {many_cpu:.2f} s; peak RSS {many_rss / MIB:.1f} MiB", flush=True)
    os.remove(work("run.img"))


def repair(args, work):
    repairs = [step(args.scale_step, "repair", work("big.img")) for _ in range(args.repeat)]
    repair_s, _, repair_rss, repair_cpu = medians(repairs)
    print(f"the repair on the 2 TiB volume (medians of {args.repeat}):")
    print(f"  time {repair_s * 1e3:.1f} ms, CPU {repair_cpu * 1e3:.1f} ms, peak RSS {repair_rss / MIB:.1f} MiB")


if __name__ == "__main__":
    main()
