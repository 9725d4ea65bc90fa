#!/usr/bin/env python3
"""End-to-end tests of mendir under vornos-run: exact output bytes and exit statuses, the
ELF image, programs built with the SDK, images the runner refuses, and the repair call on
FAT32 volumes made by mkfs.fat and mtools.

Paths come from the environment (set by CTest): VORNOS_RUN, MENDIR, VORNOS_CC, VORNOS_CXX,
FAT_DAMAGE. Run one class with `test_mendir.py ClassName`.
"""
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

RUNNER = os.environ.get("VORNOS_RUN", "build/bin/vornos-run")
MENDIR = os.environ.get("MENDIR", "build/bin/mendir")
VORNOS_CC = os.environ.get("VORNOS_CC", "build/sdk/bin/vornos-cc")
VORNOS_CXX = os.environ.get("VORNOS_CXX", "build/sdk/bin/vornos-c++")
SDK_INCLUDE = os.path.join(os.path.dirname(os.path.dirname(VORNOS_CC)), "include")
FAT_DAMAGE = os.environ.get("FAT_DAMAGE", "build/bin/fat-damage")

PT_LOAD, PT_DYNAMIC, PT_INTERP = 1, 2, 3
PF_X, PF_W, PF_R = 1, 2, 4


def run(*args, stdin=b""):
    """Runs a command; returns (status, stdout bytes, stderr text)."""
    result = subprocess.run(list(args), input=stdin, capture_output=True, timeout=60)
    return result.returncode, result.stdout, result.stderr.decode(errors="replace")


def program_headers(image):
    """(type, offset, vaddr, filesz, memsz, flags) of every program header of a 32-bit ELF."""
    phoff, = struct.unpack_from("<I", image, 28)
    phentsize, phnum = struct.unpack_from("<HH", image, 42)
    headers = []
    for index in range(phnum):
        p_type, offset, vaddr, _paddr, filesz, memsz, flags, _align = struct.unpack_from(
            "<8I", image, phoff + index * phentsize)
        headers.append((p_type, offset, vaddr, filesz, memsz, flags))
    return headers


class MendirWithoutVolume(unittest.TestCase):
    """No volume attached: call 84 answers -38 and mendir reports it."""

    def mendir(self, *args):
        return run(RUNNER, "--no-volume", MENDIR, *args)

    def test_no_argument_repairs_the_root(self):
        self.assertEqual(self.mendir(), (1, b"mendir failed on / (err -38)\n", ""))

    def test_an_empty_first_argument_is_no_argument(self):
        self.assertEqual(self.mendir(""), (1, b"mendir failed on / (err -38)\n", ""))
        self.assertEqual(self.mendir("", "/docs"), (1, b"mendir failed on / (err -38)\n", ""))

    def test_only_the_first_of_two_arguments_is_used(self):
        self.assertEqual(self.mendir("/docs", "/other"), (1, b"mendir failed on /docs (err -38)\n", ""))

    def test_the_path_is_passed_unchanged(self):
        self.assertEqual(self.mendir("docs//x/"), (1, b"mendir failed on docs//x/ (err -38)\n", ""))

    def test_trace_shows_the_repair_call_every_write_and_the_exit(self):
        status, out, err = run(RUNNER, "--no-volume", "--trace", MENDIR, "/docs")
        self.assertEqual(status, 1)
        self.assertEqual(out, b"mendir failed on /docs (err -38)\n")
        lines = err.splitlines()
        self.assertEqual(lines[0], 'repair_dirents("/docs") = -38 ENOSYS')
        self.assertEqual(lines[-1], "exit(1)")
        written = b""
        for line in lines[1:-1]:
            match = re.fullmatch(r'write\(1, "(.*)", (\d+)\) = (\d+)', line)
            self.assertIsNotNone(match, line)
            self.assertEqual(match.group(2), match.group(3), line)
            text = match.group(1).encode().decode("unicode_escape").encode("latin-1")
            self.assertEqual(len(text), int(match.group(2)), line)
            written += text
        self.assertEqual(written, out, "the traced writes are the output")


class MendirImage(unittest.TestCase):
    """The layout of build/bin/mendir, as readelf shows it."""

    @classmethod
    def setUpClass(cls):
        if shutil.which("readelf") is None:
            raise unittest.SkipTest("readelf is not installed")
        cls.headers = subprocess.run(["readelf", "-hlSsW", MENDIR], capture_output=True, text=True, check=True).stdout
        with open(MENDIR, "rb") as file:
            cls.image = file.read()

    def test_a_static_i386_executable(self):
        self.assertRegex(self.headers, r"Class:\s+ELF32")
        self.assertRegex(self.headers, r"Machine:\s+Intel 80386")
        self.assertRegex(self.headers, r"Type:\s+EXEC")
        self.assertNotIn("INTERP", self.headers)
        self.assertNotIn("DYNAMIC", self.headers)
        self.assertNotIn(".dynamic", self.headers)
        self.assertNotIn(".interp", self.headers)

    def test_three_load_segments_code_constants_data(self):
        loads = [h for h in program_headers(self.image) if h[0] == PT_LOAD]
        self.assertEqual([flags for *_, flags in loads], [PF_R | PF_X, PF_R, PF_R | PF_W])
        self.assertEqual(min(vaddr for _t, _o, vaddr, *_ in loads), 0x400000, "base address")
        entry, = struct.unpack_from("<I", self.image, 24)
        code = loads[0]
        self.assertEqual(entry, code[2], "the entry is the first byte of the code segment")
        self.assertEqual(entry, 0x400000)
        text = re.search(r"\]\s+\.text\s+PROGBITS\s+([0-9a-f]+)", self.headers)
        self.assertIsNotNone(text)
        self.assertEqual(int(text.group(1), 16), entry, "the code starts at .text")
        start = re.search(r"([0-9a-f]+)\s+\d+\s+FUNC\s+GLOBAL\s+DEFAULT\s+\d+\s+_start$", self.headers, re.M)
        self.assertIsNotNone(start, "_start symbol")
        self.assertEqual(int(start.group(1), 16), entry, "_start is the entry")

    def test_the_writable_segment_holds_data_bss_and_the_heap(self):
        mapping = re.search(r"Section to Segment mapping:.*", self.headers, re.S).group(0)
        segment_sections = re.findall(r"^\s+\d\d\s+(.*)$", mapping, re.M)
        loads = [h for h in program_headers(self.image)]
        writable = [index for index, h in enumerate(loads) if h[0] == PT_LOAD and h[5] == PF_R | PF_W]
        self.assertEqual(len(writable), 1)
        sections = segment_sections[writable[0]].split()
        self.assertIn(".data", sections)
        self.assertIn(".bss", sections)
        heap = re.search(r"([0-9a-f]+)\s+(0x[0-9a-f]+|\d+)\s+OBJECT\s+\w+\s+\w+\s+\d+\s+g_heap$", self.headers, re.M)
        self.assertIsNotNone(heap, "the heap region g_heap")
        address, size = int(heap.group(1), 16), int(heap.group(2), 0)
        self.assertEqual(size, 1024 * 1024)
        _t, _o, vaddr, _filesz, memsz, _f = loads[writable[0]]
        self.assertTrue(vaddr <= address and address + size <= vaddr + memsz, "the heap lies in the writable segment")


class SdkPrograms(unittest.TestCase):
    """Programs built with the SDK's drivers run under vornos-run."""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="vornos-sdk-")

    def tearDown(self):
        shutil.rmtree(self.directory)

    def build(self, driver, name, source):
        path = os.path.join(self.directory, name)
        with open(path, "w") as file:
            file.write(source)
        output = os.path.join(self.directory, os.path.splitext(name)[0])
        result = subprocess.run([driver, path, "-o", output], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return output

    def test_hello_in_c(self):
        hello = self.build(VORNOS_CC, "hello.c",
                           '#include <stdio.h>\n'
                           'int main(int argc, char **argv) {\n'
                           '  printf("hello, %s: %d arguments\\n", argc > 1 ? argv[1] : "world", argc);\n'
                           '  return 3;\n'
                           '}\n')
        self.assertEqual(run(RUNNER, hello), (3, b"hello, world: 1 arguments\n", ""))
        self.assertEqual(run(RUNNER, hello, "you", "x"), (3, b"hello, you: 3 arguments\n", ""))

    def test_hello_in_cpp(self):
        hello = self.build(VORNOS_CXX, "hello.cpp",
                           '#include <stdio.h>\n'
                           'namespace { constexpr const char* kGreeting = "hello from C++"; }\n'
                           'int main() { printf("%s, %u\\n", kGreeting, 42u); return 300; }\n')
        # A status is its low 8 bits, as for any process.
        self.assertEqual(run(RUNNER, hello), (300 & 0xFF, b"hello from C++, 42\n", ""))

    def test_the_headers_declare_only_what_the_library_defines(self):
        # Every function the public headers declare, taken by address from C (pedantic, so
        # the headers stay plain C) and from C++: a declaration without a definition fails
        # the link.
        functions = {
            "stdio.h": "printf fprintf vfprintf snprintf vsnprintf sprintf vsprintf fputc putchar fputs puts "
                       "fwrite fgetc getchar fread fflush setbuf feof ferror fopen open_memstream fclose "
                       "fseek ftell rewind sscanf vsscanf fscanf",
            "stdlib.h": "malloc calloc realloc free exit abort atexit getenv srand rand strtoul "
                        "strtol atoi atol abs labs strtold strtod",
            "string.h": "strlen strnlen memcpy memmove memset memcmp strcmp strncmp strcpy strncpy "
                        "strcat strncat strchr strrchr strstr strdup strndup strcasecmp strncasecmp "
                        "strtok strerror",
            "unistd.h": "write read close dup dup2 pipe mkfifo fd_set_inherit fd_set_stdio "
                        "fd_set_nonblock lseek access _exit spawn spawn_ex waitpid writefile mkdir unlink "
                        "rmdir getcwd chdir vornfs_stream_begin vornfs_stream_write vornfs_stream_end getkey "
                        "usleep sleep mmap munmap",
            "fcntl.h": "open creat",
        }
        names = " ".join(functions.values()).split()
        declared = set()
        for header in functions:
            with open(os.path.join(SDK_INCLUDE, header)) as file:
                declared |= set(re.findall(r"\b(\w+)\s*\(", re.sub(r"/\*.*?\*/", "", file.read(), flags=re.S)))
        self.assertEqual(sorted(declared - set(names) - {"handler", "void", "__attribute__", "noreturn", "sizeof",
                                                         "offsetof", "static_assert", "EOF"}), [],
                         "functions declared but not listed here")
        source = "".join(f"#include <{h}>\n" for h in functions) + "#include <errno.h>\n"
        source += "typedef void (*any_function)(void);\n"
        source += "static any_function const all[] = {\n"
        source += "".join(f"  (any_function){name},\n" for name in names) + "};\n"
        source += "int main(void) { errno = 0; return all[0] != 0 && stdin && stdout && stderr ? 0 : 1; }\n"
        c_program = self.build(VORNOS_CC, "headers.c", source)
        self.assertEqual(run(RUNNER, c_program)[0], 0)
        strict = subprocess.run([VORNOS_CC, "-std=c11", "-pedantic-errors", "-Wall", "-Werror", "-c",
                                 os.path.join(self.directory, "headers.c"), "-o",
                                 os.path.join(self.directory, "headers.o")], capture_output=True, text=True)
        self.assertEqual(strict.returncode, 0, strict.stderr)
        cxx_program = self.build(VORNOS_CXX, "headers.cpp", source)
        self.assertEqual(run(RUNNER, cxx_program)[0], 0)

    def test_a_bad_pointer_ends_the_run_with_128_plus_the_signal(self):
        crash = self.build(VORNOS_CC, "crash.c",
                           '#include <stdio.h>\n'
                           'int main(void) { printf("before\\n"); *(volatile int *)16 = 1; printf("after\\n"); return 0; }\n')
        status, out, err = run(RUNNER, crash)
        self.assertEqual(status, 128 + 11)
        self.assertEqual(out, b"before\n", "output before the fault stays, nothing after")
        match = re.fullmatch(r"vornos-run: program killed by SIGSEGV at eip 0x([0-9a-f]{8})\n", err)
        self.assertIsNotNone(match, err)
        with open(crash, "rb") as file:
            code = [h for h in program_headers(file.read()) if h[0] == PT_LOAD and h[5] & PF_X][0]
        eip = int(match.group(1), 16)
        self.assertTrue(code[2] <= eip < code[2] + code[4], "the address is in the code")

    def test_input_reaches_the_program(self):
        echo = self.build(VORNOS_CC, "echo.c",
                          '#include <unistd.h>\n'
                          'int main(void) { char b[5]; int n, total = 0;\n'
                          '  while ((n = read(0, b, sizeof b)) > 0) { write(1, b, n); total += n; }\n'
                          '  return total; }\n')
        self.assertEqual(run(RUNNER, echo, stdin=b"typed input\n"), (12, b"typed input\n", ""))

    def test_a_runner_started_without_input_gives_the_program_none(self):
        # With descriptor 0 closed, the volume image the runner opens must not become the
        # program's input: the program sees end of input at once.
        echo = self.build(VORNOS_CC, "echo.c",
                          '#include <unistd.h>\n'
                          'int main(void) { char b[64]; return read(0, b, sizeof b) == 0 ? 0 : 1; }\n')
        volume = os.path.join(self.directory, "volume.img")
        subprocess.run(["mkfs.fat", "-F", "32", "-C", volume, "40000"], check=True, capture_output=True)
        result = subprocess.run([RUNNER, "--volume", volume, echo], capture_output=True, timeout=60,
                                preexec_fn=lambda: os.close(0))
        self.assertEqual((result.returncode, result.stdout), (0, b""), result.stderr)


class RefusedImages(unittest.TestCase):
    """Images that are not static 32-bit x86 executables: status 127, one line, nothing run."""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="vornos-refused-")

    def tearDown(self):
        shutil.rmtree(self.directory)

    def make(self, name, data):
        path = os.path.join(self.directory, name)
        with open(path, "wb") as file:
            file.write(data)
        os.chmod(path, 0o755)
        return path

    def assert_refused(self, path, reason):
        status, out, err = run(RUNNER, "--no-volume", path)
        self.assertEqual(status, 127, err)
        self.assertEqual(out, b"")
        self.assertTrue(err.startswith("vornos-run: cannot run %s: " % path), err)
        self.assertIn(reason, err)
        self.assertEqual(err.count("\n"), 1, err)

    def test_not_elf(self):
        self.assert_refused(self.make("script", b"#!/bin/sh\necho ran > /dev/stderr\n"), "not an ELF file")
        self.assert_refused(self.make("empty", b""), "not an ELF file")

    def test_64_bit(self):
        self.assert_refused("/bin/sh", "64-bit")

    def test_dynamic(self):
        with open(MENDIR, "rb") as file:
            image = bytearray(file.read())
        phoff, = struct.unpack_from("<I", image, 28)
        interp = bytearray(image)
        struct.pack_into("<I", interp, phoff, PT_INTERP)
        self.assert_refused(self.make("interp", bytes(interp)), "interpreter")
        # The last header becomes PT_DYNAMIC: every header is examined, not only the first.
        dynamic = bytearray(image)
        last = len(program_headers(image)) - 1
        struct.pack_into("<I", dynamic, phoff + 32 * last, PT_DYNAMIC)
        self.assert_refused(self.make("dynamic", bytes(dynamic)), "dynamic section")
        shared = bytearray(image)
        struct.pack_into("<H", shared, 16, 3)  # ET_DYN
        self.assert_refused(self.make("shared", bytes(shared)), "not a static executable")

    def test_missing(self):
        self.assert_refused(os.path.join(self.directory, "nothing"), "No such file")


def have_fat_tools():
    return all(shutil.which(tool, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin") for tool in ("mkfs.fat", "mmd", "mcopy"))


@unittest.skipUnless(have_fat_tools(), "mkfs.fat and mtools are not installed")
class MendirOnAVolume(unittest.TestCase):
    """The repair call for real, on an image made by mkfs.fat and mtools and damaged in two entries."""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="vornos-volume-")
        self.image = os.path.join(self.directory, "card.img")
        tools = os.environ.get("PATH", "") + ":/usr/sbin:/sbin"
        env = dict(os.environ, PATH=tools, MTOOLS_SKIP_CHECK="1")
        subprocess.run(["mkfs.fat", "-F", "32", "-C", "-n", "CARD", self.image, "40000"], check=True, env=env,
                       capture_output=True)
        note = os.path.join(self.directory, "note.txt")
        with open(note, "w") as file:
            file.write("a file with contents\n")
        for folder in ("::/Docs", "::/Docs/Old Letters", "::/Music"):
            subprocess.run(["mmd", "-i", self.image, folder], check=True, env=env)
        subprocess.run(["mcopy", "-i", self.image, note, "::/Docs/note.txt"], check=True, env=env)
        subprocess.run(["mcopy", "-i", self.image, note, "::/Music/list.m3u"], check=True, env=env)
        # A file hidden by a stray volume bit, and a directory marked as a volume label too.
        subprocess.run([FAT_DAMAGE, self.image, "/Docs/note.txt", "--set", "0x08"], check=True, capture_output=True)
        subprocess.run([FAT_DAMAGE, self.image, "/Docs/Old Letters", "--set", "0x08"], check=True, capture_output=True)

    def tearDown(self):
        shutil.rmtree(self.directory)

    def image_bytes(self):
        with open(self.image, "rb") as file:
            return file.read()

    def mendir(self, *args, options=()):
        return run(RUNNER, "--volume", self.image, *options, MENDIR, *args)

    def test_repairs_then_finds_nothing_left(self):
        self.assertEqual(self.mendir("/Music"), (0, b"mendir: repaired 0 entries under /Music\n", ""))
        self.assertEqual(self.mendir(), (0, b"mendir: repaired 2 entries under /\n", ""))
        self.assertEqual(self.mendir(), (0, b"mendir: repaired 0 entries under /\n", ""))

    def test_dry_run_logs_the_repairs_and_writes_nothing(self):
        before = self.image_bytes()
        status, out, err = self.mendir("/docs", options=("--dry-run", "--log-repairs"))
        self.assertEqual((status, out), (0, b"mendir: repaired 2 entries under /docs\n"))
        self.assertEqual(sorted(err.splitlines()), [
            "vornos-run: would repair /Docs/Old Letters: attribute 0x18 -> 0x10 (R3)",
            "vornos-run: would repair /Docs/note.txt: attribute 0x28 -> 0x20 (R4)",
        ])
        self.assertEqual(self.image_bytes(), before, "a dry run leaves the image as it was")

    def test_log_repairs_names_each_repaired_entry(self):
        status, out, err = self.mendir("/", options=("--log-repairs",))
        self.assertEqual((status, out), (0, b"mendir: repaired 2 entries under /\n"))
        self.assertEqual(sorted(err.splitlines()), [
            "vornos-run: repaired /Docs/Old Letters: attribute 0x18 -> 0x10 (R3)",
            "vornos-run: repaired /Docs/note.txt: attribute 0x28 -> 0x20 (R4)",
        ])

    def test_failing_repair_calls_report_the_code(self):
        before = self.image_bytes()
        self.assertEqual(self.mendir("/missing"), (1, b"mendir failed on /missing (err -2)\n", ""))
        self.assertEqual(self.mendir("/Music/list.m3u"), (1, b"mendir failed on /Music/list.m3u (err -20)\n", ""))
        self.assertEqual(self.mendir("Docs"), (1, b"mendir failed on Docs (err -22)\n", ""))
        self.assertEqual(self.image_bytes(), before)

    def test_an_image_that_is_not_fat32_is_refused_before_the_program_runs(self):
        junk = os.path.join(self.directory, "junk.img")
        with open(junk, "wb") as file:
            file.write(b"\x00" * 65536)
        status, out, err = run(RUNNER, "--volume", junk, MENDIR)
        self.assertEqual(status, 126)
        self.assertEqual(out, b"")
        self.assertTrue(err.startswith("vornos-run: cannot attach volume %s: " % junk), err)
        self.assertEqual(err.count("\n"), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
