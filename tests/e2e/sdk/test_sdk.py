#!/usr/bin/env python3
"""End-to-end tests of the SDK as a programmer uses it: the drivers' command lines, C and C++
programs, the installed SDK with its CMake toolchain file, and how the runner ends and traces
a program. Paths come from the environment (set by CTest). Run one class with
`test_sdk.py ClassName`."""
import errno
import os
import re
import shutil
import subprocess
import tempfile
import unittest

RUNNER, CC, CXX = os.environ["VORNOS_RUN"], os.environ["VORNOS_CC"], os.environ["VORNOS_CXX"]
BUILD, SOURCE = os.environ["BUILD_DIR"], os.environ["SOURCE_DIR"]
HELLO = '#include <stdio.h>\nint main(int argc, char **argv) { printf("hello, %s\\n", argc > 1 ? argv[1] : "you"); return 3; }\n'
CXX_HEADERS = "array cstddef cstdint cstdio cstdlib cstring initializer_list limits new type_traits utility"
CXX_PROGRAM = "".join(f"#include <{h}>\n" for h in CXX_HEADERS.split()) + r'''
struct Shape { virtual ~Shape() = default; virtual int sides() const = 0; };
struct Square : Shape { int sides() const override { return 4; } };
struct alignas(64) Wide { char bytes[64]; };
struct Noisy { ~Noisy() {} };
static_assert(std::is_same_v<std::remove_cvref_t<const int&>, int> && std::is_trivially_copyable_v<std::array<int, 3>>);
static_assert(std::numeric_limits<int>::max() == 2147483647 && std::numeric_limits<unsigned char>::digits == 8);
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


def run(args, stdin=b"", cwd=None):
    """(status, stdout text, stderr text) of a command."""
    result = subprocess.run(args, input=stdin, capture_output=True, timeout=120, cwd=cwd)
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vornos-sdk-")
        self.addCleanup(shutil.rmtree, self.dir)

    def file(self, name, text):
        with open(os.path.join(self.dir, name), "w") as f:
            f.write(text)
        return os.path.join(self.dir, name)

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        with open(self.path(name)) as f:
            return f.read()


class Drivers(Scratch):
    def test_command_lines(self):
        hello = self.file("hello.c", HELLO)
        self.file("broken.c", "int missing(void);\nint main(void) { return missing(); }\n")
        sdk = os.path.dirname(os.path.dirname(CC))
        has_symbols = lambda name: ".symtab" in run(["readelf", "-S", self.path(name)])[1]
        cases = [  # driver, arguments, input, status, check of (stdout, stderr)
            (CC, [], b"", 1, lambda o, e: "no input files" in e),
            (CC, ["--version"], b"", 0, lambda o, e: "clang version" in o and "i386" in o),
            (CXX, ["--help"], b"", 0, lambda o, e: "USAGE" in o),
            (CC, ["-v"], b"", 0, lambda o, e: "clang version" in e),
            (CC, ["-x", "c", "-", "-o", "stdin"], HELLO.encode(), 0, lambda o, e: os.path.exists(self.path("stdin"))),
            (CC, [hello, "-s", "-o", "stripped"], b"", 0, lambda o, e: not has_symbols("stripped")),
            (CC, [hello, "-o", "unstripped"], b"", 0, lambda o, e: has_symbols("unstripped")),
            (CC, ["-shared", hello, "-o", "lib.so"], b"", 1, lambda o, e: "-shared: the system has no shared" in e),
            (CC, [hello, "-lm", "-o", "maths"], b"", 0, lambda o, e: True),
            (CC, ["-print-file-name=libc.a"], b"", 0, lambda o, e: o == os.path.join(sdk, "lib", "libc.a") + "\n"),
            (CC, ["-MD", hello, "-o", "dep"], b"", 0, lambda o, e: re.match(r"dep: .*hello\.c .*stdio\.h", self.read("dep.d"), re.S)),
            (CC, ["-###", hello, "-o", "dry"], b"", 0,
             lambda o, e: "ld.lld" in e and " \"-c\"" in e and not os.path.exists(self.path("dry"))),
            (CC, ["broken.c", "-o", "broken"], b"", 1, lambda o, e: "undefined symbol: missing" in e and
             "broken.c:(main)" in e and "/tmp/" not in e and SOURCE not in e),
            (CC, ["-c", hello, "-o", "hello.obj"], b"", 0, lambda o, e: True),
            (CC, ["hello.obj", "-o", "from_obj"], b"", 0, lambda o, e: run([RUNNER, self.path("from_obj")])[1] == "hello, you\n"),
        ]
        for driver, args, stdin, status, check in cases:
            with self.subTest(args=args):
                got, out, err = run([driver] + args, stdin, cwd=self.dir)
                self.assertEqual(got, status, err)
                self.assertTrue(check(out, err), (out, err))
        self.assertEqual(run([RUNNER, self.path("stdin"), "world"]), (3, "hello, world\n", ""))

    def test_cxx_support(self):
        program = self.path("shapes")
        status, _, err = run([CXX, "-fuse-cxa-atexit", self.file("shapes.cpp", CXX_PROGRAM), "-o", program])
        self.assertEqual(status, 0, err)
        self.assertEqual(run([RUNNER, program]), (0, "4  | 6 8 0 null 4\n", ""))
        status, out, _ = run([RUNNER, program, "until the heap is full"])
        self.assertEqual((status, out.splitlines()), (1, ["4  | 6 8 0 null 4", "operator new: out of memory (100000 bytes requested)"]))
        constructed = self.file("ctor.cpp", "struct Hello { Hello(); };\nHello::Hello() {}\nHello hello;\nint main() {}\n")
        status, _, err = run([CXX, constructed, "-o", self.path("ctor")])
        self.assertEqual(status, 1)
        self.assertIn("static constructors are not supported: _start does not run them", err)

    def test_the_headers_declare_only_what_the_library_defines(self):
        # Every function the public C headers declare, taken by address from C (pedantic, so
        # they stay plain C) and from C++: a declaration without a definition fails the link.
        functions = {
            "stdio.h": "printf fprintf vfprintf snprintf vsnprintf sprintf vsprintf fputc putchar fputs puts fwrite "
                       "fgetc getchar fread fflush setbuf feof ferror fopen open_memstream fclose fseek ftell rewind "
                       "sscanf vsscanf fscanf",
            "stdlib.h": "malloc calloc realloc free exit abort atexit getenv srand rand strtoul strtol atoi atol abs "
                        "labs strtold strtod",
            "string.h": "strlen strnlen memcpy memmove memset memcmp strcmp strncmp strcpy strncpy strcat strncat "
                        "strchr strrchr strstr strdup strndup strcasecmp strncasecmp strtok strerror",
            "unistd.h": "write read close dup dup2 pipe mkfifo fd_set_inherit fd_set_stdio fd_set_nonblock lseek "
                        "access _exit spawn spawn_ex waitpid writefile mkdir unlink rmdir getcwd chdir "
                        "vornfs_stream_begin vornfs_stream_write vornfs_stream_end getkey usleep sleep mmap munmap",
            "fcntl.h": "open creat",
        }
        names = " ".join(functions.values()).split()
        declared = set()
        for header in functions:
            with open(os.path.join(os.path.dirname(os.path.dirname(CC)), "include", header)) as f:
                declared |= set(re.findall(r"\b(\w+)\s*\(", re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S)))
        self.assertEqual(declared - set(names), {"handler", "void", "__attribute__", "noreturn", "sizeof", "offsetof",
                                                 "static_assert", "EOF"} & declared, "declared but not listed here")
        source = "".join(f"#include <{h}>\n" for h in functions) + "#include <errno.h>\n"
        source += "typedef void (*any_function)(void);\nstatic any_function const all[] = {\n"
        source += "".join(f"  (any_function){name},\n" for name in names) + "};\n"
        source += "int main(void) { errno = 0; return all[0] != 0 && stdin && stdout && stderr ? 0 : 1; }\n"
        for driver, name, flags in [(CC, "h.c", ["-std=c11", "-pedantic-errors", "-Wall", "-Werror"]), (CXX, "h.cpp", [])]:
            self.assertEqual(run([driver, *flags, self.file(name, source), "-o", self.path("h")])[0], 0, name)
            self.assertEqual(run([RUNNER, self.path("h")])[0], 0, name)

    def test_errno_names_every_code_the_kernel_answers(self):
        with open(os.path.join(os.path.dirname(os.path.dirname(CC)), "include", "errno.h")) as f:
            defined = dict(re.findall(r"#define (E\w+) (\w+)", f.read()))
        with open(os.path.join(SOURCE, "kernel", "calls", "error_codes.cpp")) as f:
            answered = set(re.findall(r'return "(E\w+)"', f.read()))
        self.assertEqual(answered - set(defined), set())
        for name, value in defined.items():
            self.assertEqual(int(defined.get(value, value)), getattr(errno, name), name)


class InstalledSdk(Scratch):
    def test_install_then_build_with_the_toolchain_file(self):
        prefix = self.path("prefix")
        self.assertEqual(run(["cmake", "--install", BUILD, "--prefix", prefix])[0], 0)
        os.symlink(os.path.join(prefix, "sdk", "bin", "vornos-cc"), self.path("cc"))
        self.file("hello.c", HELLO)
        self.assertEqual(run([self.path("cc"), "hello.c", "-o", "hello"], cwd=self.dir)[0], 0)
        runner = os.path.join(prefix, "bin", "vornos-run")
        self.assertEqual(run([runner, "./hello", "there"], cwd=self.dir), (3, "hello, there\n", ""))
        # The installed sample volume is attached: a missing path is -2, not -38 (no volume).
        self.assertEqual(run([runner, os.path.join(BUILD, "bin", "mendir"), "/no/such"])[1],
                         "mendir failed on /no/such (err -2)\n")
        project = os.path.join(self.dir, "project")
        os.mkdir(project)
        shutil.move(self.path("hello.c"), project)
        with open(os.path.join(project, "CMakeLists.txt"), "w") as f:
            f.write("cmake_minimum_required(VERSION 3.20)\nproject(demo C)\nenable_testing()\n"
                    "add_executable(hello hello.c)\nadd_test(NAME hello COMMAND hello world)\n"
                    "set_tests_properties(hello PROPERTIES PASS_REGULAR_EXPRESSION \"hello, world\")\n")
        binary = self.path("project-build")
        for command in (["cmake", "-S", project, "-B", binary, "-G", "Ninja",
                         "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(prefix, "sdk", "vornos.cmake")],
                        ["cmake", "--build", binary], ["ctest", "--test-dir", binary]):
            status, out, err = run(command)
            self.assertEqual(status, 0, out + err)
        self.assertIn("100% tests passed", out)


class RunnerEnds(Scratch):
    def program(self, source):
        self.assertEqual(run([CC, self.file("p.c", source), "-o", self.path("p")])[0], 0)
        return self.path("p")

    def test_a_closed_output_pipe_ends_the_program_as_sigpipe(self):
        endless = self.program('#include <stdio.h>\nint main(void) { for (;;) printf("line\\n"); }\n')
        trace = self.path("trace")
        runner = subprocess.Popen([RUNNER, "-o", trace, endless], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(runner.stdout.readline(), b"line\n")
        runner.stdout.close()
        self.assertEqual(runner.wait(timeout=60), 141)
        self.assertEqual(runner.stderr.read(), b"")
        lines = self.read("trace").splitlines()
        self.assertRegex(lines[-2], r"^write\(1, .*\) = -32 EPIPE$")
        self.assertEqual(lines[-1], "+++ killed by SIGPIPE +++")

    def test_a_runner_started_without_input_gives_the_program_none(self):
        # With descriptor 0 closed, the volume image the runner opens must not become the
        # program's input: the program sees end of input at once.
        reader = self.program('#include <unistd.h>\nint main(void) { char b[64]; return read(0, b, sizeof b); }\n')
        result = subprocess.run([RUNNER, reader], capture_output=True, timeout=60, preexec_fn=lambda: os.close(0))
        self.assertEqual((result.returncode, result.stdout), (0, b""), result.stderr)

    def test_trace_ends_with_the_exit_and_the_sample_volume_is_missed_aloud(self):
        status, out, err = run([RUNNER, "--trace", self.program(HELLO)])
        self.assertEqual((status, err.splitlines()[-2:]), (3, ["exit(3)", "+++ exited with 3 +++"]))
        os.mkdir(self.path("bin"))
        shutil.copy(RUNNER, self.path("bin"))
        status, out, err = run([self.path("bin/vornos-run"), self.path("p")])
        self.assertEqual((status, out), (3, "hello, you\n"))
        self.assertEqual(err, "vornos-run: no volume attached: the sample volume %s is missing"
                         " (give --volume IMAGE, or --no-volume)\n" % self.path("share/vornos/sample.img"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
