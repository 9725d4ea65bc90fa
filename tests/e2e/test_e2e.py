#!/usr/bin/env python3
"""End-to-end tests: the SDK as a programmer uses it (drivers, C and C++ programs, the installed
SDK and its CMake toolchain file); the runner's contract (refusals, how it ends, stops and traces a
program, that no call escapes to Linux); the library's process services; mendir under the runner on
volumes judged by fsck.fat, and its ELF image. Paths come from CTest's environment; run one class
with `test_e2e.py ClassName`."""
import errno
import fcntl
import os
import re
import resource
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import unittest

RUNNER, CC, CXX = os.environ["VORNOS_RUN"], os.environ["VORNOS_CC"], os.environ["VORNOS_CXX"]
BUILD, SOURCE, GUEST = os.environ["BUILD_DIR"], os.environ["SOURCE_DIR"], os.environ["GUEST"]
DAMAGE, SAMPLE_BUILDER = os.environ["DAMAGE"], os.environ["SAMPLE_BUILDER"]
MENDIR, INCLUDE = os.path.join(BUILD, "bin", "mendir"), os.path.join(os.path.dirname(os.path.dirname(CC)), "include")
PT_LOAD, PF_X, PF_W, PF_R, SHF_ALLOC = 1, 1, 2, 4, 2
METADATA = [  # section, alignment, bytes
    (".vornos.cmdmeta", 32, b"VCMD\1\0\0\0Repair FAT32 directory entry flags.\0mendir /\0\0"),
    (".vornos.pkgmeta", 4, b"VPKG\1\0\0\0mendir\0" + b"3\0\0"),
]
HELLO = '#include <stdio.h>\nint main(int argc, char **argv) { printf("hello, %s\\n", argc > 1 ? argv[1] : "you"); return 3; }\n'
CXX_PROGRAM = "".join(f"#include <{h}>\n" for h in "array cstddef cstdint cstdio cstdlib cstring initializer_list "
                      "limits new type_traits utility".split()) + r'''
struct Shape { virtual ~Shape() = default; virtual int sides() const = 0; };
struct Square : Shape { int sides() const override { return 4; } };
struct alignas(64) Wide { char bytes[64]; };
struct Noisy { ~Noisy() {} };
static_assert(std::is_same_v<std::remove_cvref_t<const int&>, int> && std::is_trivially_copyable_v<std::array<int, 3>>);
int sum(std::initializer_list<int> list) { int s = 0; for (int v : list) s += v; return s; }
Noisy& kept() { static Noisy noisy; return noisy; }  // registers its destructor
int main(int argc, char**) {
  Shape* shape = new Square;
  Wide* wide = new Wide;
  auto pair = std::make_pair(std::array<int, 3>{1, 2, 3}, std::int64_t{5});
  char* volatile big = new (std::nothrow) char[2 << 20];  // more than the heap: null
  char text[16];
  std::snprintf(text, sizeof text, "%-3d|", shape->sides());
  std::printf("%s %d %d %u %s %u\n", text, sum({1, 2, 3}), pair.first[2] + int(pair.second),
              unsigned(reinterpret_cast<std::uintptr_t>(wide) % 64), big ? "room" : "null",
              unsigned(std::strlen("four")));
  kept();
  delete shape; delete wide; delete[] new int[8];
  while (argc > 1) (void)new char[100000];
  return 0;
}
'''
# A global built before main (so the program links the start-up that runs constructors; their
# order and effects are the guest tests'), warning-free under C++17 and C++20 with these headers.
CONSTRUCTED = "".join(f"#include <{h}>\n" for h in "algorithm cassert cctype climits cstdarg cstdio iterator "
                      "limits tuple utility".split()) + r'''
struct Greeting { const char* text; Greeting() : text(std::isalpha('h') ? "hello" : "no") {} };
Greeting greeting;
int main() { std::printf("%s\n", greeting.text); return 0; }
'''
# A failed assertion: the message on descriptor 2, status 134; with NDEBUG nothing happens.
ASSERTING = r'''#include <assert.h>
#include <stdio.h>
int main(int argc, char** argv) {
  printf("before\n");
  assert(argc == 1 && "one argument");
  printf("after %s\n", argv[0] ? "ok" : "");
  return 0;
}
'''
# Ends itself the way its argument says, after printing "before": exit(N), abort(), or an exit
# call that the kernel answers (scripted through the test hooks), after which _exit must halt
# where it stands. With "rand" it prints eight values of rand without srand.
SERVICES = r'''#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "vornos/abi/test_control.h"
#include "vornos/kernel_call.h"
int main(int argc, char** argv) {
  if (argc != 2 || atexit([] { printf("handler ran\n"); }) != 0) return 100;
  if (strcmp(argv[1], "rand") == 0) {
    for (int i = 0; i < 8; ++i) printf("%d\n", rand());
    return 0;
  }
  printf("before\n");
  if (strcmp(argv[1], "abort") == 0) abort();
  if (strcmp(argv[1], "returning") == 0) {
    using namespace vornos::test_control;
    const ScriptedAnswer exit_returns{SYS_exit, AnswerKind::result, 0, 0, 0};
    vornos::kernel_call(kCallNumber, static_cast<uint32_t>(Op::script), &exit_returns);
    _exit(5);
  }
  exit(atoi(argv[1]));
  printf("after\n");
  return 101;
}
'''


def linux_runs_i386():
    """Whether this Linux executes 32-bit x86 programs itself (else the runner emulates them)."""
    try:
        subprocess.run([GUEST], capture_output=True, timeout=60)
        return True
    except OSError as refused:
        if refused.errno != errno.ENOEXEC:
            raise
        return False


LINUX_RUNS_I386 = linux_runs_i386()


def run(args, stdin=b"", cwd=None):
    result = subprocess.run(args, input=stdin, capture_output=True, timeout=120, cwd=cwd)
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vornos-sdk-")
        self.addCleanup(shutil.rmtree, self.dir)

    def file(self, name, text):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "w") as f:
            f.write(text)
        return self.path(name)

    def path(self, name):
        return os.path.join(self.dir, name)


def read(path):
    with open(path, "rb") as f:
        return f.read()


TOOL_ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ["PATH"] + ":/usr/sbin:/sbin")


def tool(*args):
    """Status of a command with the FAT tools, its output discarded."""
    return subprocess.run(args, capture_output=True, timeout=120, env=TOOL_ENV).returncode


def fat_tool_output(*args):
    return subprocess.run(args, capture_output=True, timeout=120, env=TOOL_ENV).stdout.decode(errors="replace")


def sample(test, image):
    """The bundled sample volume, built afresh at `image`: ten damaged entries a repair undoes."""
    test.assertEqual(tool("bash", SAMPLE_BUILDER, DAMAGE, image), 0)
    return image


class Drivers(Scratch):
    def test_command_lines(self):
        hello = self.file("hello.c", HELLO)
        self.file("broken.c", "int missing(void);\nint main(void) { return missing(); }\n")
        sdk = os.path.dirname(os.path.dirname(CC))
        has_symbols = lambda name: ".symtab" in run(["readelf", "-S", self.path(name)])[1]
        cases = [  # arguments, input, status, check of (stdout, stderr)
            ([], b"", 1, lambda o, e: "no input files" in e),
            (["--version"], b"", 0, lambda o, e: "clang version" in o and "i386" in o),
            (["-x", "c", "-", "-o", "stdin"], HELLO.encode(), 0, lambda o, e: os.path.exists(self.path("stdin"))),
            ([hello, "-s", "-o", "stripped"], b"", 0, lambda o, e: not has_symbols("stripped")),
            ([hello, "-o", "unstripped"], b"", 0, lambda o, e: has_symbols("unstripped")),
            (["-shared", hello, "-o", "lib.so"], b"", 1, lambda o, e: "-shared: the system has no shared" in e),
            ([hello, "-lm", "-o", "maths"], b"", 0, lambda o, e: True),
            ([hello, "-m64", "-o", "wide"], b"", 1, lambda o, e: "-m64: the system is 32-bit x86" in e),
            ([self.dir, "-o", "dir"], b"", 1, lambda o, e: f"{self.dir}: is a directory, not a source" in e),
            (["-print-file-name=libc.a"], b"", 0, lambda o, e: o == os.path.join(sdk, "lib", "libc.a") + "\n"),
            (["-MD", hello, "-o", "dep"], b"", 0,
             lambda o, e: re.match(rb"dep: .*hello\.c .*stdio\.h", read(self.path("dep.d")), re.S)),
            (["-###", hello, "-o", "dry"], b"", 0,  # the commands run when pasted into a shell
             lambda o, e: "ld.lld" in e and not os.path.exists(self.path("dry")) and
             run(["bash", "-ec", e], cwd=self.dir)[0] == 0 and run([RUNNER, self.path("dry")])[1] == "hello, you\n"),
            (["broken.c", "-o", "broken"], b"", 1, lambda o, e: "undefined symbol: missing" in e and
             "broken.c:(main)" in e and "/tmp/" not in e and SOURCE not in e),
            (["-c", hello, "-o", "hello.obj"], b"", 0, lambda o, e: True),
            (["hello.obj", "-o", "from_obj"], b"", 0, lambda o, e: run([RUNNER, self.path("from_obj")])[1] == "hello, you\n"),
        ]
        for args, stdin, status, check in cases:
            with self.subTest(args=args):
                got, out, err = run([CC] + args, stdin, cwd=self.dir)
                self.assertEqual(got, status, err)
                self.assertTrue(check(out, err), (out, err))
        status, out, err = run([RUNNER, "--trace", self.path("stdin"), "world"])  # the trace ends with the exit
        self.assertEqual((status, out, err.splitlines()[-2:]), (3, "hello, world\n", ["exit(3)", "+++ exited with 3 +++"]))

    def test_functions_keep_their_frame_pointer_unless_told_otherwise(self):
        # push %ebp; mov %esp,%ebp opens each function, so that crash reports and debuggers can
        # follow the calls (the library's frames are followed in ProcessServices' crash report);
        # -fomit-frame-pointer after the driver's flags wins.
        source = self.file("frames.c", "int g(int);\nint f(int x) { return g(x) + 1; }\n")
        prologue = re.compile(r"<f>:\n\s*0:\s*55\s+push\s+%ebp\n\s*1:\s*89 e5\s+mov\s+%esp,%ebp")
        for flags, kept in [(["-O2"], True), (["-O2", "-fomit-frame-pointer"], False)]:
            with self.subTest(flags=flags):
                self.assertEqual(run([CC, *flags, "-c", source, "-o", self.path("frames.o")])[0], 0)
                listing = run(["objdump", "-d", self.path("frames.o")])[1]
                self.assertEqual(bool(prologue.search(listing)), kept, listing)

    def test_cxx_support(self):
        program = self.path("shapes")
        status, _, err = run([CXX, "-fuse-cxa-atexit", self.file("shapes.cpp", CXX_PROGRAM), "-o", program])
        self.assertEqual(status, 0, err)
        self.assertEqual(run([RUNNER, program]), (0, "4  | 6 8 0 null 4\n", ""))
        status, out, _ = run([RUNNER, program, "until the heap is full"])
        self.assertEqual((status, out.splitlines()), (1, ["4  | 6 8 0 null 4", "operator new: out of memory (100000 bytes requested)"]))
        # A program without constructors keeps _start calling main.
        constructed = self.file("ctor.cpp", CONSTRUCTED)
        for standard in ["-std=c++17", "-std=c++20"]:
            status, _, err = run([CXX, standard, "-Wall", "-Werror", constructed, "-o", self.path("ctor")])
            self.assertEqual(status, 0, err)
            self.assertEqual(run([RUNNER, self.path("ctor")]), (0, "hello\n", ""), standard)
        wraps_main = lambda name: " __wrap_main\n" in run(["nm", self.path(name)])[1]
        self.assertTrue(wraps_main("ctor") and not wraps_main("shapes"))
        # Thread-local variables are refused by name, at the link.
        for driver, name, text in [(CXX, "tls.cpp", "thread_local int n;\nint main() { return n; }\n"),
                                   (CC, "tls.c", "_Thread_local int n;\nint main(void) { return n; }\n")]:
            status, _, err = run([driver, self.file(name, text), "-o", self.path("tls")])
            self.assertEqual(status, 1)
            self.assertEqual(err.count("thread_local: the system has no threads"), 1, err)

    def test_the_headers_declare_only_what_the_library_defines(self):
        # Every function the public C headers declare, taken by address from C (pedantic, so
        # they stay plain C) and from C++: a declaration without a definition fails the link.
        headers = ["stdio.h", "stdlib.h", "string.h", "unistd.h", "fcntl.h", "ctype.h", "setjmp.h", "inttypes.h",
                   "sys/mman.h", "sys/types.h", "assert.h"]
        names = []
        for header in headers:
            with open(os.path.join(INCLUDE, header)) as f:
                text = re.sub(r"/\*.*?\*/|^#[^\n]*", "", f.read(), flags=re.S | re.M)
            names += re.findall(r"\b(\w+)\s*\(", text)
        names = sorted(set(names) - {"void", "__attribute__", "noreturn", "sizeof", "offsetof", "static_assert",
                                     "VORNOS_FORMAT", "int"})  # int: a function-pointer parameter
        self.assertGreater(len(names), 90)
        self.assertTrue({"printf", "strtold", "strtok", "vornfs_stream_end", "creat", "isalpha", "qsort", "longjmp",
                         "strtoumax", "memrchr", "__vornos_assert_failed"} <= set(names))
        source = "".join(f"#include <{h}>\n" for h in headers + ["errno.h", "stdint.h", "stdbool.h"])
        source += "typedef void (*any_function)(void);\nstatic any_function const all[] = {\n"
        source += "".join(f"  (any_function){name},\n" for name in names) + "};\n"
        source += "int main(void) { errno = 0; return all[0] != 0 && stdin && stdout && stderr ? 0 : 1; }\n"
        for driver, name, flags in [(CC, "h.c", ["-std=c11", "-pedantic-errors", "-Wall", "-Werror"]), (CXX, "h.cpp", [])]:
            self.assertEqual(run([driver, *flags, self.file(name, source), "-o", self.path("h")])[0], 0, name)
            self.assertEqual(run([RUNNER, self.path("h")])[0], 0, name)


class InstalledSdk(Scratch):
    def test_install_then_build_with_the_toolchain_file(self):
        prefix = self.path("prefix")
        self.assertEqual(run(["cmake", "--install", BUILD, "--prefix", prefix])[0], 0)
        # errno.h is made at build time, beside the headers copied from the sources: it is installed too.
        with open(os.path.join(prefix, "sdk", "include", "errno.h")) as installed, \
                open(os.path.join(INCLUDE, "errno.h")) as built:
            self.assertEqual(installed.read(), built.read())
        os.symlink(os.path.join(prefix, "sdk", "bin", "vornos-cc"), self.path("cc"))
        self.file("project/hello.c", HELLO)
        self.assertEqual(run([self.path("cc"), "project/hello.c", "-o", "hello"], cwd=self.dir)[0], 0)
        runner = os.path.join(prefix, "bin", "vornos-run")
        self.assertEqual(run([runner, "./hello", "there"], cwd=self.dir), (3, "hello, there\n", ""))
        os.remove(os.path.join(prefix, "share", "vornos", "sample.img"))
        self.assertEqual(run([runner, GUEST, "echo", "hi"]), (0, "hi\n", "vornos-run: no volume attached: the sample "
                         f"volume {prefix}/share/vornos/sample.img is missing (give --volume IMAGE, or --no-volume)\n"))
        self.file("project/CMakeLists.txt", "cmake_minimum_required(VERSION 3.20)\nproject(demo C)\nenable_testing()\n"
                  "add_executable(hello hello.c)\nadd_test(NAME hello COMMAND hello world)\n"
                  "set_tests_properties(hello PROPERTIES PASS_REGULAR_EXPRESSION \"hello, world\")\n")
        project, binary = self.path("project"), self.path("project-build")
        for command in (["cmake", "-S", project, "-B", binary, "-G", "Ninja",
                         "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(prefix, "sdk", "vornos.cmake")],
                        ["cmake", "--build", binary], ["ctest", "--test-dir", binary]):
            status, out, err = run(command)
            self.assertEqual(status, 0, out + err)
        self.assertIn("100% tests passed", out)


def stopped(args, sig):
    """(status, stdout, stderr) of a command sent `sig` once it has written a line; its input
    stays open and empty until it has ended."""
    with subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE) as command:
        first = command.stdout.readline()
        command.send_signal(sig)
        out, err = first + command.stdout.read(), command.stderr.read().decode(errors="replace")
        return command.wait(timeout=60), out, err


def peak_kib(pid):
    """VmHWM of a running process (it starts afresh at its exec), 0 once it has ended."""
    try:
        with open(f"/proc/{pid}/status") as f:
            return max([int(line.split()[1]) for line in f if line.startswith("VmHWM:")] + [0])
    except OSError:
        return 0


class Runner(Scratch):
    """vornos-run as a whole, on SDK programs and on the freestanding test program GUEST
    (tests/host/runner/guests/guest.c), which makes exactly the calls a test is about."""

    def test_programs_see_their_arguments_and_input(self):
        data = bytes(range(256)) * 800
        result = subprocess.run([RUNNER, GUEST, "echo", "a b", "", "--trace"], input=data, capture_output=True)
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout == b"a b\n\n--trace\n" + data, f"{len(result.stdout)} bytes out")

    def test_refusals_say_why_with_names_escaped(self):
        os.mkfifo(self.path("fifo"))
        named = self.file("x\x1b[31m\nvornos-run: forged", "text")
        # Linux maps the first segment only where nothing is mapped yet; over the program's
        # stack (at the top of its address space) the exec fails after the point of no return.
        with open(self.path("on_stack"), "wb") as f:
            f.write(b"\x7fELF\1\1\1" + bytes(9) + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, 0xFF000100, 52, 0, 0, 52,
                                                                32, 1, 0, 0, 0))
            f.write(struct.pack("<8I", 1, 0, 0xFF000000, 0xFF000000, 0xFFD000, 0xFFD000, 5, 0x1000))
            f.truncate(0xFFD000)  # sparse: the segment covers 16 MiB of file
        os.chmod(self.path("on_stack"), 0o755)
        shutil.copy(GUEST, self.path("busy"))
        self.addCleanup(open(self.path("busy"), "ab").close)  # open for writing: Linux will not run it
        d, attach, cannot = self.dir, "vornos-run: cannot attach volume ", "vornos-run: cannot run "
        for args, status, err in [
            ([], 2, "vornos-run: no PROGRAM given\nTry 'vornos-run --help'.\n"),
            (["--volume", d + "/none", GUEST], 126, attach + d + "/none: No such file or directory\n"),
            # A FIFO would block an open for reading forever; it is refused unopened.
            (["--dry-run", "--volume", d + "/fifo", GUEST], 126,
             attach + d + "/fifo: a FIFO, not a regular file or block device\n"),
            ([d], 127, cannot + d + ": not a regular file\n"),
            ([d + "/fifo"], 127, cannot + d + "/fifo: not a regular file\n"),
            ([named], 127, cannot + d + "/x\\x1b[31m\\x0avornos-run: forged: not executable (no execute permission)\n"),
            ([d + "/busy"], 127, cannot + d + "/busy: Linux cannot execute it: Text file busy\n"),
            ([d + "/on_stack"], 127, cannot + d + "/on_stack: " + (
                "Linux could not load it (it was killed by SIGSEGV before its first instruction)\n" if LINUX_RUNS_I386
                else "its segment at 0xff000000..0xffffd000 overlaps the stack at 0xff7fe000..0xffffe000\n")),
        ]:
            self.assertEqual(run([RUNNER] + args), (status, "", err), args)

    def test_wild_calls_get_answers_and_the_runner_survives(self):
        # Every call number with registers that are null, tiny, the program's own code (which
        # a read must not change), the top and the upper half of the address space, huge counts.
        image = sample(self, self.path("volume.img"))
        before = read(image)
        status, _, err = run([RUNNER, "--volume", image, "--timeout", "600", GUEST, "wild"])
        self.assertEqual(status, 0, "1: a register changed, 2: the code changed; " + err)
        self.assertTrue(read(image) == before, "no call had a path to change anything")
        # With descriptors 0 and 1 closed, the volume image the runner opens must become
        # neither the program's input nor its output: it reads nothing, writes to nowhere.
        result = subprocess.run([RUNNER, "--volume", image, GUEST, "echo", "x"], stderr=subprocess.PIPE, timeout=60,
                                preexec_fn=lambda: (os.close(0), os.close(1)))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(read(image) == before, "the program's output went to the volume")

    def test_no_way_into_the_kernel_reaches_linux(self):
        # Linux's creat, mkdir and kill through int 0x80, sysenter, the vDSO, syscall, and
        # syscall in 64-bit mode. A CPU that does not know sysenter or syscall in 32-bit code
        # raises SIGILL instead (status 132). The emulated CPU knows only int 0x80 (and the
        # vDSO, which it does not map, falls back to it): sysenter and syscall end the program
        # with SIGILL, the far jump to a 64-bit code segment it does not have with SIGSEGV.
        target = subprocess.Popen(["sleep", "60"])
        self.addCleanup(target.kill)
        created = self.path("file"), self.path("directory")
        escape = lambda way: [GUEST, "escape", str(way), *created, str(target.pid)]
        for way in range(5):
            status, _, err = run([RUNNER] + escape(way))
            if LINUX_RUNS_I386:
                self.assertTrue(status == 0 or (way != 0 and status == 132), (way, err))
            else:
                self.assertEqual(status, [0, 132, 0, 132, 139][way], (way, err))
            self.assertFalse(any(map(os.path.exists, created)), way)
        self.assertIsNone(target.poll(), "the signal was sent")
        # Untraced, the same program does all three: the checks above can see a call that escapes.
        # (Only where Linux itself runs 32-bit x86 programs.)
        if not LINUX_RUNS_I386:
            return
        run(escape(0))
        self.assertTrue(all(map(os.path.exists, created)))
        self.assertEqual(target.wait(timeout=60), -signal.SIGUSR1)

    def test_stops_and_timeouts_end_the_program_and_leave_the_volume_clean(self):
        image = sample(self, self.path("volume.img"))
        # Ctrl-C after a repair, while the program loops: the repair stays whole and clean.
        # (--timeout only bounds the test, should the stop fail.)
        status, out, err = stopped([RUNNER, "--timeout", "600", "--volume", image, "--log-repairs", GUEST, "spin", "/"],
                                   signal.SIGINT)
        *repairs, last = err.splitlines()
        self.assertEqual((status, out, last), (130, b"ready\n", "vornos-run: program ended: the runner received SIGINT"))
        self.assertTrue(len(repairs) == 10 and all(r.startswith("vornos-run: repaired /") for r in repairs), err)
        self.assertEqual(tool("fsck.fat", "-n", image), 0)
        self.assertEqual(run([RUNNER, "--volume", image, MENDIR, "/"])[1], "mendir: repaired 0 entries under /\n")
        # A program waiting for input that never comes.
        self.assertEqual(stopped([RUNNER, "--timeout", "600", GUEST, "echo", "x"], signal.SIGTERM)[0], 128 + 15)
        self.assertEqual(run([RUNNER, "--timeout", "0.3", GUEST, "spin"]),
                         (124, "ready\n", "vornos-run: program ended: it ran longer than its --timeout of 0.3 seconds\n"))

    def test_huge_counts_are_served_in_pieces(self):
        # A write and a read with 2 GiB counts on a 64 MiB buffer: served in pieces, never whole.
        with open(self.file("input", "i" * 100000)) as given, \
                subprocess.Popen([RUNNER, GUEST, "io"], stdin=given, stdout=subprocess.PIPE) as command:
            size = peak = 0
            while chunk := command.stdout.read1(1 << 16):
                size, peak = size + len(chunk), max(peak, peak_kib(command.pid))
        self.assertEqual(command.wait(timeout=60), 0)
        self.assertGreaterEqual(size, 64 << 20)
        self.assertTrue(0 < peak < 16 * 1024, f"{peak} KiB while serving 64 MiB")

    def test_a_closed_output_pipe_ends_the_program_as_sigpipe(self):
        endless, trace = self.path("endless"), self.path("trace")
        source = self.file("endless.c", '#include <stdio.h>\nint main(void) { for (;;) printf("line\\n"); }\n')
        self.assertEqual(run([CC, source, "-o", endless])[0], 0)
        with subprocess.Popen([RUNNER, "-o", trace, endless], stdout=subprocess.PIPE, stderr=subprocess.PIPE) as runner:
            self.assertEqual(runner.stdout.readline(), b"line\n")
            runner.stdout.close()
            self.assertEqual(runner.wait(timeout=60), 141)
            self.assertEqual(runner.stderr.read(), b"")
        lines = read(trace).decode().splitlines()
        self.assertRegex(lines[-2], r"^write\(1, .*\) = -32 EPIPE$")
        self.assertEqual(lines[-1], "+++ killed by SIGPIPE +++")


class ProcessServices(Scratch):
    def test_a_failed_assertion_says_where_and_ends_with_134(self):
        source, program, quiet = self.file("asserting.c", ASSERTING), self.path("asserting"), self.path("quiet")
        self.assertEqual(run([CC, source, "-o", program])[0], 0)
        self.assertEqual(run([CC, "-DNDEBUG", source, "-o", quiet])[0], 0)
        self.assertEqual(run([RUNNER, program]), (0, "before\nafter ok\n", ""))
        self.assertEqual(run([RUNNER, program, "x"]), (134, "before\n",
                         f"{source}:5: main: assertion failed: argc == 1 && \"one argument\"\n"))
        self.assertEqual(run([RUNNER, quiet, "x"]), (0, "before\nafter ok\n", ""))

    def test_exit_abort_and_unseeded_rand(self):
        program = self.path("services")
        status, _, err = run([CXX, self.file("s.cpp", SERVICES), "-o", program])
        self.assertEqual(status, 0, err)
        # The status, no handler output, nothing run after the call.
        for argument, status in [("3", 3), ("0", 0), ("255", 255), ("abort", 1)]:
            self.assertEqual(run([RUNNER, program, argument]), (status, "before\n", ""), argument)
        # The halt after a returning exit call faults in user mode, inside _exit itself.
        status, out, err = run([RUNNER, "--test-hooks", program, "returning"])
        # The crash report names _exit (the library has symbols) and then the calls up to main.
        eip = re.match(r"vornos-run: program killed by SIGSEGV at eip 0x([0-9a-f]+) in _exit\+0x[0-9a-f]+ .*\n"
                       r"#0 0x\1 _exit .*\n#1 0x[0-9a-f]+ main\+0x[0-9a-f]+\n\Z", err)
        start, size = [int(field, 16) for line in run(["nm", "-S", program])[1].splitlines()
                       if line.endswith(" _exit") for field in line.split()[:2]]
        self.assertTrue((status, out) == (139, "before\n") and eip and 0 <= int(eip[1], 16) - start < size, err)
        # rand seeds itself: the next run gives other values (their range is the guest tests').
        runs = [run([RUNNER, program, "rand"]) for _ in range(2)]
        self.assertEqual([(status, len(out.split())) for status, out, _ in runs], [(0, 8)] * 2, runs)
        self.assertNotEqual(runs[0], runs[1], "two runs without srand gave the same values")


class MendirWithoutVolume(unittest.TestCase):
    """No volume attached: call 84 answers -38 and mendir reports it."""

    def test_the_path_argument(self):
        for args, path in [((), "/"), (("",), "/"), (("", "/docs"), "/"), (("/docs", "/other"), "/docs"),
                           (("docs//x/",), "docs//x/")]:
            self.assertEqual(run([RUNNER, "--no-volume", MENDIR, *args]), (1, f"mendir failed on {path} (err -38)\n", ""))


class MendirOnVolumes(Scratch):
    """mendir on the sample volume."""

    def setUp(self):
        super().setUp()
        self.image = sample(self, self.path("sample.img"))

    def test_the_sample_is_repaired_once_and_clean(self):
        # The README's command: ten repairs, then none; the sample built twice is the same. A dry
        # run before reports the same repairs and writes nothing.
        self.assertTrue(read(self.image) == read(sample(self, self.image + ".2")), "building the sample twice differs")
        damaged = read(self.image)
        dry = run([RUNNER, "--volume", self.image, "--dry-run", "--log-repairs", MENDIR, "/"])
        self.assertTrue(read(self.image) == damaged, "the dry run wrote")
        status, out, err = run([RUNNER, "--volume", self.image, "--log-repairs", MENDIR, "/"])
        self.assertEqual((status, out), (0, "mendir: repaired 10 entries under /\n"), err)
        self.assertEqual(dry, (0, out, err.replace("vornos-run: repaired /", "vornos-run: would repair /")))
        self.assertTrue(len(err.splitlines()) == 10 and all(" -> 0x" in line for line in err.splitlines()), err)
        self.assertEqual(tool("fsck.fat", "-n", self.image), 0, "fsck.fat -n finds problems after the repair")
        repaired = read(self.image)
        self.assertEqual(run([RUNNER, "--volume", self.image, MENDIR])[1], "mendir: repaired 0 entries under /\n")
        self.assertTrue(read(self.image) == repaired, "the second run wrote")

    def test_a_write_past_the_host_file_size_limit_fails_and_a_rerun_repairs(self):
        # ulimit -f below the directories' sectors: the repair's first write there fails (-5, the reason on
        # standard error) instead of SIGXFSZ ending the runner; without the limit a rerun does the work.
        limit = 64 << 10
        result = subprocess.run([RUNNER, "--volume", self.image, MENDIR, "/"], capture_output=True, timeout=120,
                                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit)))
        self.assertEqual((result.returncode, result.stdout), (1, b"mendir failed on / (err -5)\n"), result.stderr)
        self.assertIn(b"the image reaches past the host's file size limit, ulimit -f", result.stderr)
        self.assertEqual(run([RUNNER, "--volume", self.image, MENDIR, "/"])[1], "mendir: repaired 10 entries under /\n")
        # The failed write left the volume marked dirty (in the FAT copy below the limit): nothing else.
        findings = [line for line in fat_tool_output("fsck.fat", "-n", self.image).splitlines()
                    if line and not line.startswith(("fsck.fat ", self.image + ":", " ", "Leaving filesystem"))]
        self.assertEqual(findings, ["FATs differ but appear to be intact.",
                                    "Dirty bit is set. Fs was not properly unmounted and some data may be corrupt."])

    def test_a_run_that_waits_for_the_image_says_so(self):
        with open(self.image, "rb") as holder:
            fcntl.flock(holder, fcntl.LOCK_EX)  # as a run writing to the image holds it
            with subprocess.Popen([RUNNER, "--volume", self.image, MENDIR, "/"], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE) as waiting:
                self.assertEqual(waiting.stderr.readline().decode(),
                                 f"vornos-run: waiting for {self.image}: another run is writing to it\n")
                fcntl.flock(holder, fcntl.LOCK_UN)
                self.assertEqual(waiting.wait(timeout=120), 0)
                self.assertEqual(waiting.stdout.read(), b"mendir: repaired 10 entries under /\n")
                self.assertEqual(waiting.stderr.read(), b"")


class Snapshots(Scratch):
    """--snapshot, and the installed sample volume that a run without --volume gets as one."""

    def test_runs_that_do_not_name_the_sample_or_ask_for_a_snapshot_leave_it(self):
        # A runner beside its own share/vornos/sample.img, as an installation has it.
        os.makedirs(self.path("bin"))
        os.makedirs(self.path("share/vornos"))
        runner = shutil.copy(RUNNER, self.path("bin/vornos-run"))
        installed = sample(self, self.path("share/vornos/sample.img"))
        before = read(installed)
        notice = (f"vornos-run: the sample volume {installed} is attached as a snapshot: this run's changes to it are "
                  "dropped at the end (name it with --volume to keep them)\n")
        for _ in range(2):
            self.assertEqual(run([runner, MENDIR, "/"]), (0, "mendir: repaired 10 entries under /\n", notice))
            self.assertTrue(read(installed) == before, "a run that did not name the sample changed it")
        # An explicit --snapshot: the same repairs, no notice, and not a byte of the image changed.
        self.assertEqual(run([runner, "--snapshot", "--volume", installed, MENDIR, "/"]),
                         (0, "mendir: repaired 10 entries under /\n", ""))
        self.assertTrue(read(installed) == before, "--snapshot let the repair change the image")
        # A run that only reads says nothing; one that names the sample repairs it.
        self.assertEqual(run([runner, MENDIR, "/no/such"]), (1, "mendir failed on /no/such (err -2)\n", ""))
        self.assertEqual(run([runner, "--volume", installed, MENDIR, "/"]), (0, "mendir: repaired 10 entries under /\n", ""))
        self.assertEqual(run([runner, MENDIR, "/"])[1], "mendir: repaired 0 entries under /\n")


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


def source_line(path, marker):
    """The number of the line of `path` that ends with `marker`."""
    with open(path) as f:
        for number, line in enumerate(f, 1):
            if line.rstrip().endswith(marker):
                return number
    raise AssertionError(f"no line of {path} ends with {marker}")


def gdb_packet(payload):
    return b"$" + payload + b"#" + b"%02x" % (sum(payload) % 256)


class Debugging(Scratch):
    """The runner's gdb stub interrupting a real program, and its crash report and core file."""
    CRASH = os.path.join(SOURCE, "tests", "host", "debug", "programs", "crash_program.c")

    def build(self, source, name, *flags):
        # Built in the scratch folder from a copy, so that the debug information names the
        # file as gdb finds it there.
        if os.path.dirname(source) != self.dir:
            shutil.copy(source, self.path(os.path.basename(source)))
        status, _, err = run([CC, "-O1", "-g", *flags, os.path.basename(source), "-o", name], cwd=self.dir)
        self.assertEqual(status, 0, err)
        return self.path(name)

    def start_under_gdb_stub(self, program, *args):
        """The runner waiting for gdb on a free port, and that port from the line it prints."""
        runner = subprocess.Popen([RUNNER, "--no-volume", "--gdb", "0", program, *args], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.dir)
        self.addCleanup(lambda: runner.poll() is None and runner.kill())
        line = runner.stderr.readline().decode()
        found = re.fullmatch(r"vornos-run: waiting for gdb on 127\.0\.0\.1:(\d+) \(in gdb: target remote 127\.0\.0\.1:\1\)\n", line)
        self.assertTrue(found, line)
        return runner, int(found.group(1))

    def test_an_interrupt_stops_a_program_waiting_for_input_and_kill_ends_it(self):
        reader = self.file("reader.c", "#include <unistd.h>\nint main(void) { char c; return (int)read(0, &c, 1); }\n")
        program = self.build(reader, "reader")
        runner, port = self.start_under_gdb_stub(program)
        with socket.create_connection(("127.0.0.1", port), timeout=30) as gdb:
            def exchange(data, until):
                gdb.sendall(data)
                got = b""
                while not re.search(until, got):
                    piece = gdb.recv(4096)
                    self.assertTrue(piece, got)
                    got += piece
                return got
            exchange(gdb_packet(b"qSupported:swbreak+"), rb"\$PacketSize=[^#]*#..")
            gdb.sendall(b"+" + gdb_packet(b"vCont;c"))
            time.sleep(0.5)  # the program now waits in its read of the runner's input
            self.assertIsNone(runner.poll())
            stop = exchange(b"\x03", rb"\$T02[^#]*#..")
            self.assertIn(b"thread:1;", stop)
            gdb.sendall(b"+" + gdb_packet(b"k"))
        stdout, stderr = runner.communicate(timeout=60)
        self.assertEqual(runner.returncode, 128 + signal.SIGKILL, stderr)

    def test_a_crash_is_reported_and_its_core_written(self):
        program = self.build(self.CRASH, "crash")
        core = self.path("crash.core")
        status, _, err = run([RUNNER, "--no-volume", "--core", core, program, "one"])
        self.assertEqual(status, 128 + signal.SIGSEGV, err)
        written = f"vornos-run: core written to {core}\n"
        self.assertIn(written, err)
        self.assertRegex(err.replace(written, ""),
                         rf"\Avornos-run: program killed by SIGSEGV at eip 0x[0-9a-f]{{8}}, address 0x00000000 in store_through"
                         rf"\+0x[0-9a-f]+ at crash_program\.c:{source_line(self.CRASH, '/* the faulting store */')}\n"
                         r"(#\d 0x[0-9a-f]{8} \w+ \(crash_program\.c:\d+\)\n){4}\Z")
        self.assertGreater(os.path.getsize(core), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
