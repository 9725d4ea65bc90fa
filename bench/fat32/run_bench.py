#!/usr/bin/env python3
"""Times mendir (through vornos-run) against fsck.fat -n on generated FAT32 volumes, warm and cold.

Usage: run_bench.py BUILD_DIR WORK_DIR [--files N,N] [--mcopy D,D] [--mcopy-files N] [--repeat N]
                    [--cold-repeat N] [--fanout F] [--depth D] [--deep L] [--damage-every K]

For each --files count (files per directory; the default two give about 300,000 and 600,000 slots)
it makes a 1 GiB FAT32 image with mkfs.fat (4 KiB clusters), fills it with make-bench-volume (file data
between the directory clusters, directories of several clusters, long mixed-case names with "~N" short
names), checks the undamaged tree with fsck.fat -n, damages every K-th entry, and keeps the image in
WORK_DIR for the next run. For each --mcopy count D it does the same with D directories of --mcopy-files
small files copied onto the image by one `mcopy -s` (mcopy_volume.py; the defaults give about 300,000 and
600,000 slots); an empty list skips either kind. Then, in one run and on the same image: `vornos-run
--dry-run --volume V mendir /` (the walk without the writes, so every repetition sees the same damage) and
`fsck.fat -n V`, warm (image in the page cache) and cold (page cache dropped before every run: all of it
through /proc/sys/vm/drop_caches when permitted, else the image's pages with POSIX_FADV_DONTNEED), with
medians and peak memory (/usr/bin/time); the walk in process against its replay floor (the walk's own
reads, recorded with strace and made again by fat32-walk --replay) and its cold floor (the same reads
from a dropped cache, all announced first); and one real repair on a synced copy. Against each ratio it
prints its goal (100x warm, 30x cold) and the best ratio this machine allows: fsck.fat's time over what
no walk avoids, the runner's start with mendir's report line (measured once, without a volume) plus
the walk's reads alone. Entries are 32-byte slots in use.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from mcopy_volume import cached_mcopy_volume

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_common import ENV  # noqa: E402


def run(command, check=True):
    done = subprocess.run(command, capture_output=True, text=True, env=ENV)
    if check and done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done


def timed(command):
    """Wall time, CPU time (user + system of COMMAND and the processes it waited for, by wait4) and the output
    of COMMAND, run directly: a wrapper's own start would weigh on a run of a few milliseconds. The output
    goes to a file, read afterwards: a pipe read as it is written would wake this process at every write,
    and mendir writes its report a character at a time. Wall time follows the load of the machine; CPU
    time much less."""
    with tempfile.TemporaryFile() as output:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=output, stderr=subprocess.DEVNULL, env=ENV)
        _, _, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        output.seek(0)
        stdout = output.read().decode()
    return seconds, usage.ru_utime + usage.ru_stime, stdout


def peak_rss(command):
    """Peak RSS of COMMAND in KiB, by /usr/bin/time (a child forked from Python would report Python's)."""
    rss_file = "/tmp/run_bench_rss.%d" % os.getpid()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=ENV, check=False)
    with open(rss_file) as f:
        rss = int(f.read().split()[-1])
    os.remove(rss_file)
    return rss


def drop_cache(image):
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return "drop_caches"
    except OSError:
        fd = os.open(image, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
        return "POSIX_FADV_DONTNEED on the image"


def settle_page_cache(image):
    """Drops the image's pages, then reads it whole in order, as a copy of it would."""
    fd = os.open(image, os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    while os.read(fd, 8 << 20):
        pass
    os.close(fd)


def make_volume(args, image, files, damage_every):
    if os.path.exists(image):
        os.remove(image)
    run(["mkfs.fat", "-F", "32", "-s", "8", "-C", "-i", "5eed0001", image, "1048576"])
    out = run([args.tool("make-bench-volume"), image, "--fanout", str(args.fanout), "--depth", str(args.depth),
               "--files", str(files), "--deep", str(args.deep), "--damage-every", str(damage_every)]).stdout
    return out.strip()


def cached_volume(args, files):
    """The damaged image for FILES, made once (its undamaged tree checked by fsck.fat -n) and kept."""
    name = f"bench-x{args.fanout}-d{args.depth}-f{files}-l{args.deep}-k{args.damage_every}"
    image, summary = os.path.join(args.work_dir, name + ".img"), os.path.join(args.work_dir, name + ".txt")
    if not (os.path.exists(image) and os.path.exists(summary)):
        make_volume(args, image, files, 0)
        fsck = run(["fsck.fat", "-n", image], check=False)
        if fsck.returncode != 0:
            sys.exit("fsck.fat -n finds faults in the undamaged benchmark volume:\n" + fsck.stdout)
        with open(summary + ".tmp", "w") as f:
            f.write(make_volume(args, image, files, args.damage_every))
        os.rename(summary + ".tmp", summary)
    with open(summary) as f:
        m = re.search(r"entries (\d+) .*slots (\d+), directory clusters (\d+), damaged (\d+)", f.read())
    return image, int(m.group(2)), int(m.group(3)), int(m.group(4))


def walk_and_floor(args, image):
    """fat32-walk (in process, warm) and the replay floor under it: the walk's own reads (strace of fat32-walk,
    on the image's descriptor) made again by fat32-walk --replay into one buffer from the page cache; runs
    alternate, 8x --repeat each, from the image read whole into the page cache. Then the cold floor: the same reads from a dropped page cache, every one
    announced before the first is made (--replay --announce), --cold-repeat runs. Returns the walk's
    times, the floor's, the cold floor's, the walk's line and the count of reads."""
    log, listing = image + ".strace", image + ".reads"
    # How the image came into the page cache changes both times (a sequential read leaves large pages, the
    # walk's own cold reads small ones, and the floor gains more from large ones): every run of the bench
    # starts from the image read whole, in order. Warm, the walk reads the tree once: record it then.
    settle_page_cache(image)
    run(["strace", "-e", "trace=openat,pread64,preadv2", "-o", log, args.tool("fat32-walk"), image])
    reads, fd = [], None
    with open(log) as f:
        for line in f:
            opened = re.search(r'openat\(AT_FDCWD, "(.*)", .*\) = (\d+)', line)
            if opened:
                fd = opened.group(2) if opened.group(1) == image else fd
                continue
            # pread64(fd, buf, length, offset) and preadv2(fd, [iovec], 1, offset, flags): what they returned
            m = re.search(r"pread(?:64|v2)\((\d+), .*, (\d+)(?:, RWF_NOWAIT)?\) = (\d+)", line)
            if m and m.group(1) == fd and int(m.group(3)) > 0:
                reads.append(f"{m.group(2)} {m.group(3)}\n")
    os.remove(log)
    with open(listing, "w") as f:
        f.writelines(reads)
    walks, floors, cold_floors, line = [], [], [], ""
    seconds = lambda text: float(re.search(r", ([\d.]+) s", text).group(1))
    for _ in range(8 * args.repeat):
        line = run([args.tool("fat32-walk"), image]).stdout.strip()
        walks.append(seconds(line))
        floors.append(seconds(run([args.tool("fat32-walk"), "--replay", listing, image]).stdout))
    for _ in range(args.cold_repeat):
        drop_cache(image)
        cold_floors.append(seconds(run([args.tool("fat32-walk"), "--replay", "--announce", listing, image]).stdout))
    os.remove(listing)
    return walks, floors, cold_floors, line, len(reads)


GOALS = {"warm": 100, "cold": 30}


def start_cost(args):
    """What every mendir run costs before and after its walk: `vornos-run --no-volume mendir /` (the runner's
    start, mendir's start and exit and its report line, one trap per character), warm and cold, medians."""
    command = [args.tool("vornos-run"), "--no-volume", args.tool("mendir"), "/"]
    costs = {}
    for mode, repeat in (("warm", 4 * args.repeat), ("cold", args.cold_repeat)):
        times = []
        for _ in range(repeat):
            if mode == "cold":
                drop_cache(args.tool("vornos-run"))
            times.append(timed(command)[0])
        costs[mode] = statistics.median(times)
        print(f"runner and mendir without a volume (vornos-run --no-volume mendir /), {mode}: {fmt(times)}")
    return costs


def fmt(times):
    if len(times) > 12:
        return f"median {statistics.median(times):.4f} s ({len(times)} runs, {min(times):.4f} to {max(times):.4f})"
    return f"median {statistics.median(times):.4f} s ({', '.join(f'{t:.4f}' for t in times)})"


def bench(args, image, slots, dir_clusters, damaged, how_made):
    runner, mendir = args.tool("vornos-run"), args.tool("mendir")
    print(f"\nvolume: {slots:,} entries (32-byte slots in use), {dir_clusters:,} directory clusters, {damaged} "
          f"damaged; {how_made}; undamaged tree checked clean by fsck.fat -n")
    walks, floors, cold_floors, walk, floor_reads = walk_and_floor(args, image)
    expected = f"mendir: repaired {damaged} entries under /\n"
    print(f"fat32-walk (in process, warm): {fmt(walks)}; last: {walk}")
    print(f"replay floor (its {floor_reads} reads from the page cache, in process): {fmt(floors)}; "
          f"walk / floor {statistics.median(walks) / statistics.median(floors):.2f}x (medians), "
          f"{min(walks) / min(floors):.2f}x (fastest runs: {min(walks):.4f} s / {min(floors):.4f} s)")
    print(f"cold floor (the same reads from a dropped page cache, all announced before the first): {fmt(cold_floors)}")
    floor_of = {"warm": statistics.median(floors), "cold": statistics.median(cold_floors)}

    for mode, repeat in (("warm", args.repeat), ("cold", args.cold_repeat)):
        times = {"mendir": ([], [], [0]), "fsck": ([], [], [0])}  # wall, CPU, peak RSS
        how = "page cache warm"
        for _ in range(repeat):
            for who, command in (("mendir", [runner, "--dry-run", "--volume", image, mendir, "/"]),
                                 ("fsck", ["fsck.fat", "-n", image])):
                if mode == "cold":
                    how = drop_cache(image)
                seconds, cpu, stdout = timed(command)
                if who == "mendir" and stdout != expected:
                    sys.exit(f"mendir printed {stdout!r}, expected {expected!r}")
                wall, cpus, peak = times[who]
                wall.append(seconds)
                cpus.append(cpu)
                if len(wall) == repeat:  # one more run, for its peak memory only
                    if mode == "cold":
                        drop_cache(image)
                    peak[0] = peak_rss(command)
        print(f"{mode} ({how}), {repeat} runs each:")
        for who, label in (("mendir", "mendir / (dry run)"), ("fsck", "fsck.fat -n       ")):
            wall, cpus, peak = times[who]
            print(f"  {label}: wall {fmt(wall)}; CPU {fmt(cpus)}; peak RSS {peak[0] / 1024:.1f} MiB")
        m, f = (statistics.median(times[who][0]) for who in ("mendir", "fsck"))
        mc, fc = (statistics.median(times[who][1]) for who in ("mendir", "fsck"))
        print(f"  ratio: mendir is {f / m:.1f}x faster than fsck.fat -n in wall time ({slots / m:,.0f} entries a "
              f"second), {fc / mc:.1f}x in CPU time")
        goal = GOALS[mode]
        start = args.start_cost[mode]
        print(f"  goal {goal}x: mendir in at most {f / goal * 1e3:.1f} ms; the runner's start and report line "
              f"alone take {start * 1e3:.1f} ms and the walk's reads alone {floor_of[mode] * 1e3:.1f} ms, so no walk "
              f"here could beat {f / (start + floor_of[mode]):.0f}x")

    copy = os.path.join(args.work_dir, "bench-repaired.img")
    run(["cp", "--sparse=always", image, copy])
    fd = os.open(copy, os.O_RDONLY)
    os.fsync(fd)  # the copy's own writeback must not be charged to the repair's fsync
    os.close(fd)
    repair_seconds, _, stdout = timed([runner, "--volume", copy, mendir, "/"])
    run(["cp", "--sparse=always", image, copy])  # the same repair again, for its peak memory only
    rss = peak_rss([runner, "--volume", copy, mendir, "/"])
    clean = run(["fsck.fat", "-n", copy], check=False).returncode == 0
    print(f"real repair on a synced copy: {stdout.strip()} in {repair_seconds:.3f} s, peak RSS "
          f"{rss / 1024:.1f} MiB; fsck.fat -n afterwards: {'clean' if clean else 'FAULTS'}")
    os.remove(copy)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("work_dir")
    parser.add_argument("--files", default="65,135")
    parser.add_argument("--mcopy", default="1000,2000")
    parser.add_argument("--mcopy-files", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--cold-repeat", type=int, default=3)
    parser.add_argument("--fanout", type=int, default=10)
    parser.add_argument("--depth", type=int, default=3)
    parser.add_argument("--deep", type=int, default=60)
    parser.add_argument("--damage-every", type=int, default=997)
    args = parser.parse_args()
    args.tool = lambda name: os.path.join(args.build_dir, "bin", name)
    os.makedirs(args.work_dir, exist_ok=True)
    print(f"load average at start: {' '.join(f'{x:.2f}' for x in os.getloadavg())} ({os.cpu_count()} CPUs)")
    args.start_cost = start_cost(args)
    for files in (int(x) for x in args.files.split(",") if x):
        image, slots, clusters, damaged = cached_volume(args, files)
        bench(args, image, slots, clusters, damaged, f"make-bench-volume, {files} files per directory")
    for directories in (int(x) for x in args.mcopy.split(",") if x):
        image, slots, clusters, damaged, how = cached_mcopy_volume(run, args.work_dir, directories, args.mcopy_files,
                                                                   args.damage_every)
        bench(args, image, slots, clusters, damaged, f"{directories:,} directories of {args.mcopy_files} files; {how}")
    print(f"\nload average at end: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
