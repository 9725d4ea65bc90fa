"""Benchmark volumes made as users make them: a prepared tree copied onto an image made by mkfs.fat with one
`mcopy -s`, then a sprinkling of damaged attribute bytes. Used by run_bench.py."""
import os
import re
import shutil
import struct
import sys
import time

WORDS = ["Holiday", "Budget", "Meeting", "Summer", "Project", "Invoice", "Garden", "Concert", "Recipe", "Letter"]


def make_tree(root, directories, files):
    """DIRECTORIES folders in groups of 50 under "Album NN", FILES small files (100..3999 bytes: one cluster of
    data each, written between the directories' clusters) in each, with long mixed-case names of up to 26
    characters (two long-name slots, and a short name with a "~N" tail)."""
    for d in range(directories):
        folder = os.path.join(root, f"Album {d // 50:02d}", f"Trip To Place Number {d:05d}")
        os.makedirs(folder)
        for i in range(files):
            name = f"{WORDS[i % 10]} {i:04d} Trip {d}.Jpg"
            with open(os.path.join(folder, name), "wb") as f:
                f.write(b"x" * (100 + (i * 37 + d) % 3900))


def count_and_damage(image, damage_every):
    """Counts the 32-byte slots in use and the directory clusters of every directory, and (with DAMAGE_EVERY)
    sets the label bit of every K-th short entry: a file with data then needs R4, a directory R3."""
    with open(image, "r+b") as f:
        boot = f.read(512)
        sector, per_cluster, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
        fat_sectors, root = struct.unpack_from("<I", boot, 36)[0], struct.unpack_from("<I", boot, 44)[0]
        f.seek(reserved * sector)
        fat = struct.unpack(f"<{fat_sectors * sector // 4}I", f.read(fat_sectors * sector))
        cluster_bytes, data = sector * per_cluster, (reserved + fats * fat_sectors) * sector
        slots = directory_clusters = damaged = shorts = 0
        pending = [root]
        while pending:
            cluster = pending.pop()
            while cluster < 0x0FFFFFF8:
                directory_clusters += 1
                at = data + (cluster - 2) * cluster_bytes
                f.seek(at)
                raw = bytearray(f.read(cluster_bytes))
                changed = False
                for offset in range(0, cluster_bytes, 32):
                    first, attributes = raw[offset], raw[offset + 11]
                    if first == 0:
                        break
                    if first == 0xE5:
                        continue
                    slots += 1
                    if attributes == 0x0F or raw[offset] == ord("."):
                        continue
                    start = struct.unpack_from("<H", raw, offset + 20)[0] << 16 | struct.unpack_from("<H", raw, offset + 26)[0]
                    if attributes & 0x10:
                        pending.append(start)
                    elif attributes & 0x08 or struct.unpack_from("<I", raw, offset + 28)[0] == 0:
                        continue  # the label, and empty files, cannot show the damage
                    shorts += 1
                    if damage_every and shorts % damage_every == 0:
                        raw[offset + 11] |= 0x08
                        damaged += 1
                        changed = True
                if changed:
                    f.seek(at)
                    f.write(raw)
                cluster = fat[cluster] & 0x0FFFFFFF
    return slots, directory_clusters, damaged


def cached_mcopy_volume(run, work_dir, directories, files, damage_every):
    """The damaged image, made once and kept with its summary; returns the image, its slots in use, directory
    clusters, damaged entries and how the copy went."""
    name = f"mcopy-{directories}x{files}-k{damage_every}"
    image, summary = os.path.join(work_dir, name + ".img"), os.path.join(work_dir, name + ".txt")
    if not (os.path.exists(image) and os.path.exists(summary)):
        tree = os.path.join(work_dir, name + ".tree")
        shutil.rmtree(tree, ignore_errors=True)
        make_tree(tree, directories, files)
        if os.path.exists(image):
            os.remove(image)
        run(["mkfs.fat", "-F", "32", "-s", "8", "-C", "-i", "5eed0002", image, "1048576"])
        sources = sorted(os.path.join(tree, album) for album in os.listdir(tree))
        start = time.perf_counter()
        run(["mcopy", "-s", "-i", image] + sources + ["::/"])
        seconds = time.perf_counter() - start
        shutil.rmtree(tree)
        fsck = run(["fsck.fat", "-n", image], check=False)
        if fsck.returncode != 0:
            sys.exit("fsck.fat -n finds faults in the copied tree:\n" + fsck.stdout)
        slots, clusters, damaged = count_and_damage(image, damage_every)
        made = directories * (files + 1) + len(sources)
        with open(summary + ".tmp", "w") as f:
            f.write(f"slots {slots}, directory clusters {clusters}, damaged {damaged}; mcopy -s of {made} files "
                    f"and directories took {seconds:.1f} s ({made / seconds:,.0f} a second)\n")
        os.rename(summary + ".tmp", summary)
    with open(summary) as f:
        text = f.read().strip()
    m = re.search(r"slots (\d+), directory clusters (\d+), damaged (\d+); (.*)", text)
    return image, int(m.group(1)), int(m.group(2)), int(m.group(3)), m.group(4)
