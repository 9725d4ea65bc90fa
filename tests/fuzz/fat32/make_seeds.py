#!/usr/bin/env python3
"""Makes the seed corpus: small trees by mkfs.fat and mtools, some damaged, cut down to their first clusters.

Usage: make_seeds.py OUTPUT_DIR. A FAT32 volume mtools accepts has at least 65,525 clusters; a seed keeps
the boot sector, FSInfo and backup (8 reserved sectors), one sector of each FAT and the first 24 clusters,
with the boot sectors rewritten to say so. The layer does not mind so few clusters; the fuzzer runs faster.
"""
import os, struct, subprocess, sys, tempfile

ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
CLUSTERS = 24


def seed(out, name, tree, damage=lambda image: None):
    with tempfile.TemporaryDirectory() as tmp:
        image, content = os.path.join(tmp, "v.img"), os.path.join(tmp, "f")
        with open(content, "w") as f:
            f.write("some file content\n")
        subprocess.run(["mkfs.fat", "-F", "32", "-C", "-i", "1234abcd", "-s", "1", image, "34000"], env=ENV, check=True, capture_output=True)
        for path in tree:
            command = ["mmd", "-i", image, "::/" + path[:-1]] if path.endswith("/") else ["mcopy", "-i", image, content, "::/" + path]
            subprocess.run(command, env=ENV, check=True)
        b = bytearray(open(image, "rb").read())
        reserved, fat_sectors = struct.unpack_from("<H", b, 14)[0], struct.unpack_from("<I", b, 36)[0]
        fats = [b[(reserved + i * fat_sectors) * 512:][:512] for i in range(2)]
        data = b[(reserved + 2 * fat_sectors) * 512:][:CLUSTERS * 512]
        small = bytearray(b[:8 * 512]) + fats[0] + fats[1] + data
        for boot in (0, 6 * 512):
            struct.pack_into("<H", small, boot + 14, 8)  # reserved sectors
            struct.pack_into("<II", small, boot + 32, 8 + 2 + CLUSTERS, 1)
        damage(small)
        open(os.path.join(out, name), "wb").write(small)


def main(out):
    tree = ["Photos/", "Photos/Summer Trip/", "Photos/Summer Trip/Beach Day Photo.jpg", "Docs/", "Docs/notes.txt",
            "Docs/Letters/", "Docs/Letters/Letter to Alice.txt", "a.txt"] + [f"Docs/Long File Name {i}.txt" for i in range(6)]
    data = 10 * 512
    seed(out, "tree", tree)
    def every_rule(b):  # the label bit on a file and a directory, the directory bit on a file, a slot's 0x40
        for offset in range(data, len(b), 32):
            name, attr = bytes(b[offset:offset + 11]), b[offset + 11]
            if name.startswith((b"NOTES", b"A       TXT", b"LETTERS")) or (attr == 0x0F and b[offset] == 0x42):
                b[offset + 11] = {0x20: 0x28, 0x10: 0x18, 0x0F: 0x4F}[attr] if not name.startswith(b"A    ") else 0x30
    seed(out, "every-rule", tree, every_rule)
    def disagreeing_fats(b):  # copy 0 sends the root's chain into /Docs; copy 1 does not
        struct.pack_into("<I", b, 8 * 512 + 8, 4)
    seed(out, "disagreeing-fats", tree, disagreeing_fats)


if __name__ == "__main__":
    main(sys.argv[1])
