#!/usr/bin/env python3
"""Times the file calls (a guest under vornos-run) against mtools on the same FAT32 image.

Usage: run_bench.py VORNOS_RUN FILES_BENCH WORK_DIR [--repeat N]

Makes a 512 MiB FAT32 image (sparse) (4 KiB clusters, as mkfs.fat and Windows choose for such sizes) in
WORK_DIR, copies a 64 MiB file onto it with mcopy, then times, alternating in one run:
  read:  `vornos-run files_bench read /big.bin` (64 KiB reads) and `mtype -i IMG ::/big.bin >/dev/null`
  write: `vornos-run files_bench write /new.bin 8388608` (one writefile) and `mcopy -o` of the same bytes
Prints MB/s (10^6 bytes per second) and the ratios by the median and the best wall-clock time, and by
the median CPU time (steadier on a busy machine). The image is in the page
cache for both tools alike; writes are flushed before each timed command. The runner's writefile syncs the
image between its steps (crash safety); mcopy leaves its writes in the page cache. WORK_DIR is removed at the end.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_common import run, timed  # noqa: E402

READ_SIZE = 64 << 20
WRITE_SIZE = 8 << 20


def synced_timed(command, stdout=subprocess.DEVNULL):
    """One timed run, after the writes still in the page cache are flushed: the next fsync would
    flush them, whoever made them."""
    os.sync()
    return timed(command, stdout)


def pattern(size):
    return bytes(i % 251 for i in range(251)) * (size // 251) + bytes(i % 251 for i in range(size % 251))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("runner")
    parser.add_argument("program")
    parser.add_argument("work_dir")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    shutil.rmtree(args.work_dir, ignore_errors=True)
    os.makedirs(args.work_dir)
    try:
        image = os.path.join(args.work_dir, "bench.img")
        run(["mkfs.fat", "-F", "32", "-s", "8", "-C", "-i", "5eed0002", image, str(512 * 1024)])
        big, new = os.path.join(args.work_dir, "big.bin"), os.path.join(args.work_dir, "new.bin")
        with open(big, "wb") as f:
            f.write(os.urandom(READ_SIZE))
        with open(new, "wb") as f:
            f.write(pattern(WRITE_SIZE))
        run(["mcopy", "-i", image, big, "::/big.bin"])
        guest = [args.runner, "--volume", image, args.program]
        figures = {key: [] for key in ("guest read", "mtype", "guest write", "mcopy", "mcopy+sync")}
        for _ in range(args.repeat):
            figures["guest read"].append(synced_timed(guest + ["read", "/big.bin"]))
            with open(os.devnull, "wb") as null:
                figures["mtype"].append(synced_timed(["mtype", "-i", image, "::/big.bin"], null))
            figures["guest write"].append(synced_timed(guest + ["write", "/new.bin", str(WRITE_SIZE)]))
            figures["mcopy"].append(synced_timed(["mcopy", "-o", "-i", image, new, "::/copy.bin"]))
            # The same made durable, as the runner's writefile is before it answers.
            figures["mcopy+sync"].append(synced_timed(["sh", "-c", 'mcopy -o -i "$0" "$1" ::/copy.bin && sync "$0"', image, new]))
        measures = (("wall clock, median", 0, statistics.median), ("wall clock, best", 0, min),
                    ("CPU time (user + system), median", 1, statistics.median))
        for label, which, pick in measures:
            rate = {key: (READ_SIZE if key in ("guest read", "mtype") else WRITE_SIZE) / pick(t[which] for t in times) / 1e6
                    for key, times in figures.items()}
            print(f"{label} of {args.repeat}:")
            print(f"  read 64 MiB, 64 KiB reads : vornos-run {rate['guest read']:7.1f} MB/s   "
                  f"mtype {rate['mtype']:7.1f} MB/s   ratio {rate['guest read'] / rate['mtype']:.2f}x")
            print(f"  write 8 MiB, writefile    : vornos-run {rate['guest write']:7.1f} MB/s   "
                  f"mcopy {rate['mcopy']:7.1f} MB/s   ratio {rate['guest write'] / rate['mcopy']:.2f}x")
            print(f"  the same, mcopy then sync : vornos-run {rate['guest write']:7.1f} MB/s   "
                  f"mcopy {rate['mcopy+sync']:7.1f} MB/s   ratio {rate['guest write'] / rate['mcopy+sync']:.2f}x")
    finally:
        shutil.rmtree(args.work_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
