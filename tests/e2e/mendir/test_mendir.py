#!/usr/bin/env python3
"""End-to-end tests of mendir under vornos-run (exact output, exit status), on volumes made
with mkfs.fat and mtools and judged by fsck.fat, and of its ELF image: layout and metadata
records. Paths come from the environment (set by CTest): VORNOS_RUN, MENDIR, DAMAGE (the
damage tool), SAMPLE_BUILDER. Run one class with `test_mendir.py ClassName`."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

RUNNER, MENDIR = os.environ["VORNOS_RUN"], os.environ["MENDIR"]
DAMAGE, SAMPLE_BUILDER = os.environ["DAMAGE"], os.environ["SAMPLE_BUILDER"]
TOOLS = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ["PATH"] + ":/usr/sbin:/sbin")
PT_LOAD, PF_X, PF_W, PF_R, SHF_ALLOC = 1, 1, 2, 4, 2
METADATA = [  # section, alignment, bytes
    (".vornos.cmdmeta", 32, b"VCMD\1\0\0\0Repair FAT32 directory entry flags.\0mendir /\0\0"),
    (".vornos.pkgmeta", 4, b"VPKG\1\0\0\0mendir\0" + b"3\0\0"),
]


def run(*args):
    result = subprocess.run(list(args), capture_output=True, timeout=60)
    return result.returncode, result.stdout, result.stderr.decode(errors="replace")


def tool(*args):
    return subprocess.run(list(args), capture_output=True, timeout=120, env=TOOLS).returncode


def read(path):
    with open(path, "rb") as f:
        return f.read()


class MendirWithoutVolume(unittest.TestCase):
    """No volume attached: call 84 answers -38 and mendir reports it."""

    def test_the_path_argument(self):
        for args, path in [((), "/"), (("",), "/"), (("", "/docs"), "/"), (("/docs", "/other"), "/docs"),
                           (("docs//x/",), "docs//x/")]:
            self.assertEqual(run(RUNNER, "--no-volume", MENDIR, *args),
                             (1, b"mendir failed on %s (err -38)\n" % path.encode(), ""), args)


class MendirOnVolumes(unittest.TestCase):
    """mendir on the sample volume, and on one it must distrust."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vornos-mendir-")
        self.addCleanup(shutil.rmtree, self.dir)
        self.image = os.path.join(self.dir, "sample.img")
        self.assertEqual(tool("bash", SAMPLE_BUILDER, DAMAGE, self.image), 0)

    def test_the_sample_is_repaired_once_and_clean(self):
        # The README's command: ten repairs, then none; the sample built twice is the same.
        self.assertEqual(tool("bash", SAMPLE_BUILDER, DAMAGE, self.image + ".again"), 0)
        self.assertTrue(read(self.image) == read(self.image + ".again"), "building the sample twice differs")
        status, out, err = run(RUNNER, "--volume", self.image, "--log-repairs", MENDIR, "/")
        self.assertEqual((status, out), (0, b"mendir: repaired 10 entries under /\n"), err)
        self.assertTrue(len(err.splitlines()) == 10 and all(" -> 0x" in line for line in err.splitlines()), err)
        self.assertEqual(tool("fsck.fat", "-n", self.image), 0, "fsck.fat -n finds problems after the repair")
        repaired = read(self.image)
        self.assertEqual(run(RUNNER, "--volume", self.image, MENDIR)[1], b"mendir: repaired 0 entries under /\n")
        self.assertTrue(read(self.image) == repaired, "the second run wrote")

    def test_an_untrusted_volume_is_refused_unwritten(self):
        with open(self.image, "r+b") as f:  # the root cluster moved in the boot sector, not in its backup
            f.seek(44)
            f.write(b"\x09")
        before = read(self.image)
        status, out, err = run(RUNNER, "--volume", self.image, MENDIR, "/")
        self.assertEqual((status, out), (1, b"mendir failed on / (err -5)\n"))
        self.assertIn("inconsistent: the boot sector and the backup boot sector (sector 6) disagree", err)
        self.assertTrue(read(self.image) == before, "a refused repair wrote")


class MendirImage(unittest.TestCase):
    """build/bin/mendir: small, static, i386, code at 0x400000, three segments, two records."""

    @classmethod
    def setUpClass(cls):
        with open(MENDIR, "rb") as f:
            cls.data = data = f.read()
        cls.entry, phoff, shoff = struct.unpack_from("<III", data, 24)
        phentsize, phnum, shentsize, shnum, shstrndx = struct.unpack_from("<HHHHH", data, 42)
        cls.segments = [struct.unpack_from("<8I", data, phoff + i * phentsize) for i in range(phnum)]
        raw = [struct.unpack_from("<10I", data, shoff + i * shentsize) for i in range(shnum)]
        cls.names, cls.sections = [], {}
        for name, kind, flags, addr, offset, size, _, _, align, _ in raw:
            name = data[raw[shstrndx][4] + name:data.index(b"\0", raw[shstrndx][4] + name)].decode()
            cls.names.append(name)
            cls.sections[name] = (kind, flags, addr, size, align, data[offset:offset + size])

    def test_layout(self):
        # A static 32-bit i386 executable: the runner's program check, which every run passes.
        loads = [s for s in self.segments if s[0] == PT_LOAD]
        self.assertEqual([s[6] for s in loads], [PF_R | PF_X, PF_R, PF_R | PF_W])
        self.assertEqual((self.entry, loads[0][2], self.sections[".text"][2]), (0x400000,) * 3,
                         "the entry is the first byte of the code")
        self.assertNotIn(".symtab", self.names, "linked stripped")
        data = loads[2]
        for name in (".data", ".bss"):
            self.assertTrue(data[2] <= self.sections[name][2] < data[2] + data[5], name + " in the writable segment")
        self.assertGreaterEqual(data[5], 1024 * 1024, "the writable segment holds the 1 MiB heap")
        # Each segment continues in the file where the one before it ends, on pages of its own.
        for before, after in zip(loads, loads[1:]):
            self.assertLess(after[1] - (before[1] + before[4]), 16, "only the alignment of the first section")
            self.assertGreater(after[2] & ~0xFFF, before[2] + before[5] - 1 & ~0xFFF)
        self.assertLessEqual(len(self.data), 7000)

    def test_metadata_records_follow_the_constant_strings(self):
        rodata = self.sections[".rodata"]
        previous_end = rodata[2] + rodata[3]
        for name, alignment, contents in METADATA:
            self.assertEqual(self.names.count(name), 1, name)
            kind, flags, addr, size, align, data = self.sections[name]
            self.assertEqual((kind, flags, align, data), (1, SHF_ALLOC, alignment, contents), name)
            self.assertTrue(addr % alignment == 0 and 0 <= addr - previous_end < alignment, name)
            previous_end = addr + size
            holder, = [s for s in self.segments if s[0] == PT_LOAD and s[2] <= addr and addr + size <= s[2] + s[4]]
            self.assertEqual(holder[6], PF_R, name + " is read-only")
            self.assertTrue(holder[2] <= rodata[2] < holder[2] + holder[5], name + " is in the segment of .rodata")


if __name__ == "__main__":
    unittest.main(verbosity=2)
