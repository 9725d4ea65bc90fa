#!/usr/bin/env python3
"""Times mendir (through vornos-run) against fsck.fat -n on one large generated FAT32 volume.

Usage: run_bench.py BUILD_DIR WORK_DIR [--repeat N] [--fanout F] [--depth D] [--files N] [--deep L]
                    [--damage-every K]

Makes a 1 GiB FAT32 image with mkfs.fat, fills it with make-bench-volume (a deep tree of more than
200,000 entries), checks the undamaged tree with fsck.fat -n, then damages every K-th entry and times,
in the same run and on the same image, `vornos-run --dry-run --volume V mendir /` (the walk without the
writes, so every repetition sees the same damage), `fsck.fat -n V`, and one real repair on a copy.
Prints medians, the ratio, and entries walked per second. The image is read from the page cache after
the first run, for both tools alike.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

ENV = dict(os.environ, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")


def run(command, check=True):
    done = subprocess.run(command, capture_output=True, text=True, env=ENV)
    if check and done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done


def timed(command):
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True, env=ENV)
    return time.perf_counter() - start, done


def make_volume(args, image, damage_every):
    if os.path.exists(image):
        os.remove(image)
    run(["mkfs.fat", "-F", "32", "-s", "8", "-C", "-i", "5eed0001", image, "1048576"])
    out = run([args.tool("make-bench-volume"), image, "--fanout", str(args.fanout), "--depth", str(args.depth),
               "--files", str(args.files), "--deep", str(args.deep), "--damage-every", str(damage_every)]).stdout
    m = re.search(r"entries (\d+) .*directory clusters (\d+), damaged (\d+)", out)
    return int(m.group(1)), int(m.group(2)), int(m.group(3))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("work_dir")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--fanout", type=int, default=10)
    parser.add_argument("--depth", type=int, default=4)
    parser.add_argument("--files", type=int, default=20)
    parser.add_argument("--deep", type=int, default=60)
    parser.add_argument("--damage-every", type=int, default=997)
    args = parser.parse_args()
    args.tool = lambda name: os.path.join(args.build_dir, "bin", name)
    os.makedirs(args.work_dir, exist_ok=True)
    image = os.path.join(args.work_dir, "bench.img")
    runner, mendir = args.tool("vornos-run"), args.tool("mendir")

    entries, dir_clusters, _ = make_volume(args, image, 0)
    fsck = run(["fsck.fat", "-n", image], check=False)
    if fsck.returncode != 0:
        sys.exit("fsck.fat -n finds faults in the undamaged benchmark volume:\n" + fsck.stdout)
    entries, dir_clusters, damaged = make_volume(args, image, args.damage_every)
    print(f"volume: {entries} entries, {dir_clusters} directory clusters, {damaged} damaged, depth "
          f"{max(args.depth, args.deep)}; undamaged tree checked clean by fsck.fat -n")

    walk = run([args.tool("fat32-walk"), image]).stdout.strip()
    reads = int(re.search(r"(\d+) reads", walk).group(1))
    print(f"fat32-walk: {walk} ({reads - dir_clusters} reads besides the {dir_clusters} directory clusters: "
          f"FAT chunks and first clusters of files marked as directories)")

    mendir_times, fsck_times = [], []
    for _ in range(args.repeat):
        seconds, done = timed([runner, "--dry-run", "--volume", image, mendir, "/"])
        expected = f"mendir: repaired {damaged} entries under /\n"
        if done.stdout != expected:
            sys.exit(f"mendir printed {done.stdout!r}, expected {expected!r}")
        mendir_times.append(seconds)
        seconds, done = timed(["fsck.fat", "-n", image])
        fsck_times.append(seconds)

    copy = os.path.join(args.work_dir, "bench-repaired.img")
    run(["cp", "--sparse=always", image, copy])
    repair_seconds, done = timed([runner, "--volume", copy, mendir, "/"])
    print(f"real repair on a copy: {done.stdout.strip()} in {repair_seconds:.3f} s; "
          f"fsck.fat -n afterwards: {'clean' if run(['fsck.fat', '-n', copy], check=False).returncode == 0 else 'FAULTS'}")
    os.remove(copy)

    m, f = statistics.median(mendir_times), statistics.median(fsck_times)
    print(f"mendir / (dry run): median {m:.3f} s of {args.repeat} ({', '.join(f'{t:.3f}' for t in mendir_times)})")
    print(f"fsck.fat -n:        median {f:.3f} s of {args.repeat} ({', '.join(f'{t:.3f}' for t in fsck_times)})")
    print(f"ratio: mendir is {f / m:.1f}x faster than fsck.fat -n; {entries / m:,.0f} entries walked per second")
    return 0


if __name__ == "__main__":
    sys.exit(main())
