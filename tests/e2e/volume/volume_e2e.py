#!/usr/bin/env python3
"""End-to-end tests of mendir on FAT32 images through vornos-run.

Usage: volume_e2e.py CASE --runner VORNOS_RUN --mendir MENDIR --damage FAT_DAMAGE
                     --sample-builder BUILD_SAMPLE_SH --scratch DIR
Each CASE is one CTest test. Images are made with mkfs.fat and mtools and damaged with fat-damage. The
sample volume is built afresh into the scratch folder: the one in the build tree may have been repaired
by a user already.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys

SKIPPED = 77  # the exit status CTest is told means "skipped"
TIME_LIMIT = 20  # seconds per run of the runner: a hang is a failure, not a slow pass
ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
REPORT_OK = re.compile(r"^mendir: repaired (\d+) entries under (.*)\n$")
REPORT_FAIL = re.compile(r"^mendir failed on (.*) \(err (-\d+)\)\n$")
LOG_LINE = re.compile(r"^vornos-run: (repaired|would repair) (.*): attribute 0x([0-9A-F]{2}) -> 0x([0-9A-F]{2}) \((R[1-5])\)$")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Env:
    def __init__(self, args):
        self.runner, self.mendir_program, self.damage_tool = args.runner, args.mendir, args.damage
        self.sample_builder = args.sample_builder
        self.scratch = args.scratch
        shutil.rmtree(self.scratch, ignore_errors=True)
        os.makedirs(self.scratch)
        self._sample = None

    @property
    def sample(self):
        """A freshly built, still damaged sample volume."""
        if self._sample is None:
            self._sample = self.build_sample("pristine-sample.img")
        return self._sample

    def build_sample(self, name):
        image = self.path(name)
        run(["bash", self.sample_builder, self.damage_tool, image])
        return image

    def path(self, name):
        return os.path.join(self.scratch, name)

    def run_mendir(self, image, *args, options=()):
        """Runs mendir on IMAGE; returns (exit status, stdout, repair log lines)."""
        command = ["timeout", str(TIME_LIMIT), self.runner, *options, "--volume", image, self.mendir_program, *args]
        done = subprocess.run(command, capture_output=True, text=True, errors="replace", env=ENV)
        check(done.returncode != 124, f"timed out: {command}")
        check(done.returncode < 128, f"crashed with status {done.returncode}: {command}\n{done.stderr}")
        log = [line for line in done.stderr.splitlines() if line.startswith("vornos-run: ")]
        return done.returncode, done.stdout, log

    def repair(self, image, path=None, options=()):
        """Runs mendir and checks its report; returns the count or the negative code, and the log."""
        args = [] if path is None else [path]
        status, out, log = self.run_mendir(image, *args, options=options)
        shown = path if path else "/"
        ok, fail = REPORT_OK.match(out), REPORT_FAIL.match(out)
        if status == 0:
            check(ok is not None and ok.group(2) == shown, f"bad report for {shown}: {out!r}")
            return int(ok.group(1)), log
        check(status == 1 and fail is not None and fail.group(1) == shown,
              f"bad failure report for {shown}: status {status}, {out!r}")
        return int(fail.group(2)), log

    def damage(self, image, path, *options):
        """Runs fat-damage; returns (entry offset, start cluster)."""
        done = subprocess.run([self.damage_tool, image, path, *options], capture_output=True, text=True, env=ENV)
        check(done.returncode == 0, f"fat-damage {path} {options}: {done.stderr}")
        m = re.search(r"at byte (\d+), cluster (\d+)", done.stdout)
        return int(m.group(1)), int(m.group(2))

    def make_image(self, name, tree, kib=34000):
        """An image with TREE: names ending in '/' are directories, others files ('!' prefix: empty)."""
        image = self.path(name)
        if os.path.exists(image):
            os.remove(image)
        run(["mkfs.fat", "-F", "32", "-C", "-i", "abcd1234", "-n", "CARD", image, str(kib)])
        content, empty = self.path("content"), self.path("empty")
        with open(content, "w") as f:
            f.write("hello from the test\n")
        open(empty, "w").close()
        for entry in tree:
            if entry.endswith("/"):
                run(["mmd", "-i", image, "::/" + entry.rstrip("/")])
            elif entry.startswith("!"):
                run(["mcopy", "-i", image, empty, "::/" + entry[1:]])
            else:
                run(["mcopy", "-i", image, content, "::/" + entry])
        return image


def run(command, expect=0):
    done = subprocess.run(command, capture_output=True, text=True, errors="replace", env=ENV)
    check(done.returncode == expect, f"{command} exited {done.returncode}: {done.stdout}{done.stderr}")
    return done.stdout


def copy(source, target):
    shutil.copyfile(source, target)
    return target


def changed_bytes(before, after):
    """[(offset, old, new)] for every byte that differs between two images of the same size."""
    check(os.path.getsize(before) == os.path.getsize(after), "image size changed")
    changes = []
    chunk = 1 << 20
    with open(before, "rb") as a, open(after, "rb") as b:
        base = 0
        while True:
            x, y = a.read(chunk), b.read(chunk)
            if not x:
                break
            if x != y:
                changes += [(base + i, x[i], y[i]) for i in range(len(x)) if x[i] != y[i]]
            base += len(x)
    return changes


def fsck_clean(image):
    done = subprocess.run(["fsck.fat", "-n", image], capture_output=True, text=True, env=ENV)
    return done.returncode == 0, done.stdout + done.stderr


def parse_log(log):
    records = []
    for line in log:
        m = LOG_LINE.match(line)
        check(m is not None, f"bad log line: {line!r}")
        records.append((m.group(2), int(m.group(3), 16), int(m.group(4), 16), m.group(5)))
    return records


# The damage built into the sample volume (see tests/fixtures/volume/build_sample.sh).
SAMPLE_REPAIRS = {
    "/Photos/Summer Trip 2019/Beach Day 07.jpg": (0x4F, 0x0F, "R1"),
    "/Documents/Reports/Annual Summary 2019.txt": (0x8F, 0x0F, "R1"),
    "/Documents/Letters/.": (0x00, 0x10, "R2"),
    "/Music/Artist Name/Second Album/..": (0x18, 0x10, "R2"),
    "/src/project": (0x18, 0x10, "R3"),
    "/a/b/c": (0x18, 0x10, "R3"),
    "/Documents/notes.txt": (0x28, 0x20, "R4"),
    "/Games/Saves/slot3.sav": (0x28, 0x20, "R4"),
    "/Music/playlist.m3u": (0x30, 0x20, "R5"),
    "/Documents/empty.txt": (0x30, 0x20, "R5"),
}


def case_sample(env):
    """The README's command on the bundled sample: 10 repairs, then 0, fsck clean, tools see the files."""
    again = env.build_sample("sample-again.img")
    check(not changed_bytes(env.sample, again), "building the sample twice gives different images")
    image = copy(env.sample, env.path("sample.img"))
    before = copy(image, env.path("sample.before"))
    check(not fsck_clean(image)[0], "the sample should start damaged")
    count, log = env.repair(image, options=["--log-repairs"])
    check(count == 10, f"first run repaired {count}, expected 10")
    records = parse_log(log)
    check({path: (old, new, rule) for path, old, new, rule in records} == SAMPLE_REPAIRS and len(records) == 10,
          f"log differs: {records}")
    changes = changed_bytes(before, image)
    check(len(changes) == 10, f"{len(changes)} bytes changed: {changes}")
    check(all(offset % 32 == 11 for offset, _, _ in changes), f"a byte other than an attribute changed: {changes}")
    check(sorted((old, new) for _, old, new in changes) == sorted((o, n) for o, n, _ in SAMPLE_REPAIRS.values()),
          "changed bytes do not match the log")
    clean, report = fsck_clean(image)
    check(clean, "fsck.fat -n after repair:\n" + report)

    listing = run(["mdir", "-i", image, "::/Photos/Summer Trip 2019"])
    check("Beach Day 07.jpg" in listing, "mdir does not show the long name repaired by R1")
    check("include" in run(["mdir", "-i", image, "::/src/project"]).lower(), "mdir cannot enter /src/project")
    check("deep file.txt" in run(["mdir", "-i", image, "::/a/b/c/d/e/f"]), "mdir cannot reach below /a/b/c")
    attributes = run(["mattrib", "-i", image, "::/Documents/notes.txt", "::/Music/playlist.m3u",
                      "::/Documents/hidden settings.ini"])
    check(re.search(r"^  A {10}::/Documents/notes.txt$", attributes, re.M), attributes)
    check(re.search(r"^  A {10}::/Music/playlist.m3u$", attributes, re.M), attributes)
    check(re.search(r"^  A   H {6}::/Documents/hidden settings.ini$", attributes, re.M), attributes)
    check(re.search(r"playlist +m3u +600 ", run(["mdir", "-i", image, "::/Music"])), "playlist.m3u is not a file")
    check("is VORNOS" in run(["mdir", "-i", image, "::/"]), "the volume label is gone")

    after = copy(image, env.path("sample.after"))
    count, log = env.repair(image, "/", options=["--log-repairs"])
    check(count == 0 and not log, f"second run repaired {count}: {log}")
    check(not changed_bytes(after, image), "the second run changed the image")


def case_dry_run(env):
    """--dry-run logs the same repairs and writes nothing."""
    image = copy(env.sample, env.path("sample.img"))
    before = copy(image, env.path("sample.before"))
    count, log = env.repair(image, options=["--dry-run", "--log-repairs"])
    check(count == 10, f"dry run counted {count}")
    check(all(line.startswith("vornos-run: would repair ") for line in log), f"dry run log: {log}")
    check({p: (o, n, r) for p, o, n, r in parse_log(log)} == SAMPLE_REPAIRS, "dry run log differs")
    check(not changed_bytes(before, image), "dry run wrote to the image")
    count, log = env.repair(image, "/Photos", options=["--dry-run"])
    check(count == 1 and not log, f"dry run of /Photos without log: {count}, {log}")
    check(not changed_bytes(before, image), "dry run wrote to the image")


class Skip(Exception):
    pass


def case_read_only(env):
    """An image that may not be written is attached read-only: repairs answer -30, a dry run works."""
    image = copy(env.sample, env.path("read-only.img"))
    before = copy(image, env.path("read-only.before"))
    if subprocess.run(["chattr", "+i", image], capture_output=True).returncode != 0:
        raise Skip("chattr +i is not available here")
    try:
        result, _ = env.repair(image)
        check(result == -30, f"repair on a read-only image gave {result}")
        count, log = env.repair(image, options=["--dry-run", "--log-repairs"])
        check(count == 10 and len(log) == 10, f"dry run on a read-only image: {count}, {log}")
    finally:
        subprocess.run(["chattr", "-i", image])
    check(not changed_bytes(before, image), "a read-only image changed")


def rules_image(env):
    """A fresh image with one repaired case and one near case per rule; returns (image, {offset: (old, new)},
    {path: rule})."""
    image = env.make_image("rules.img", [
        "Photos/", "Photos/Holiday Pictures/", "Photos/Holiday Pictures/Long Picture Name.jpeg",
        "Photos/Holiday Pictures/Another Long Name.jpeg", "docs/", "docs/inner/", "docs/inner/x.txt",
        "docs/other/", "docs/hidden-file.txt", "docs/marked.txt", "!docs/empty.dat", "docs/reserved.txt",
        "docs/sized.txt", "tree/", "tree/branch/", "tree/branch/leaf.txt", "tree/fake-dir.txt"])
    repaired, rules = {}, {}

    # Near cases: must stay as they are.
    env.damage(image, "/docs/reserved.txt", "--set", "0x40")                  # reserved bit on a file
    env.damage(image, "/docs/other", "--dot", "--set", "0x01")                # "." with the read-only bit
    env.damage(image, "/docs/hidden-file.txt", "--set", "0x06")               # hidden system file, no label bit
    env.damage(image, "/tree/fake-dir.txt", "--set", "0x18")                  # 0x18 without evidence
    env.damage(image, "/docs/sized.txt", "--set", "0x10", "--cluster", "0")   # dir bit, no cluster, a size

    def repaired_case(path, rule, shown, old_new, *options):
        offset, _ = env.damage(image, path, *options)
        repaired[offset + 11] = old_new
        rules[shown] = rule

    repaired_case("/docs/inner", "R2", "/docs/inner/.", (0x00, 0x10), "--dot", "--clear", "0x10")
    repaired_case("/docs/inner", "R2", "/docs/inner/..", (0x18, 0x10), "--dotdot", "--set", "0x08")
    repaired_case("/tree/branch", "R3", "/tree/branch", (0x18, 0x10), "--set", "0x08")
    repaired_case("/docs/marked.txt", "R4", "/docs/marked.txt", (0x28, 0x20), "--set", "0x08")
    repaired_case("/tree/branch/leaf.txt", "R5", "/tree/branch/leaf.txt", (0x30, 0x20), "--set", "0x10")
    repaired_case("/docs/empty.dat", "R5", "/docs/empty.dat", (0x30, 0x20), "--set", "0x10")
    repaired_case("/Photos/Holiday Pictures/Long Picture Name.jpeg", "R1",
                  "/Photos/Holiday Pictures/Long Picture Name.jpeg", (0x8F, 0x0F), "--slot", "1", "--xor", "0x80")
    repaired_case("/Photos/Holiday Pictures/Another Long Name.jpeg", "R1",
                  "/Photos/Holiday Pictures/Another Long Name.jpeg", (0x4F, 0x0F), "--slot", "2", "--xor", "0x40")
    return image, repaired, rules


def case_rules(env):
    """Each rule repairs its case and leaves its near case, changing exactly the expected bytes."""
    image, repaired, rules = rules_image(env)
    before = copy(image, env.path("rules.before"))
    count, log = env.repair(image, "/", options=["--log-repairs"])
    check(count == len(rules) == 8, f"repaired {count}, expected {len(rules)}: {log}")
    check({p: r for p, _, _, r in parse_log(log)} == rules, f"log {log} differs from {rules}")
    expected = sorted((offset, old, new) for offset, (old, new) in repaired.items())
    check(changed_bytes(before, image) == expected, f"changed {changed_bytes(before, image)}, expected {expected}")
    attributes = run(["mattrib", "-i", image, "::/docs/reserved.txt", "::/docs/hidden-file.txt"])
    check("::/docs/reserved.txt" in attributes and re.search(r"^  A  SH +::/docs/hidden-file.txt$", attributes, re.M),
          attributes)
    listing = run(["mdir", "-i", image, "::/Photos/Holiday Pictures"])
    check("Long Picture Name.jpeg" in listing and "Another Long Name.jpeg" in listing, listing)
    after = copy(image, env.path("rules.after"))
    count, _ = env.repair(image)
    check(count == 0 and not changed_bytes(after, image), f"second run repaired {count}")


def case_fsck_after_rules(env):
    """After repairing every kind of damage on an image that fsck would otherwise accept, fsck is clean."""
    image = env.make_image("clean.img", ["a/", "a/b/", "a/b/file.txt", "a/list.txt", "!a/none.txt", "a/Long Name Here.txt"])
    env.damage(image, "/a/b", "--dot", "--clear", "0x10")
    env.damage(image, "/a/b", "--set", "0x08")
    env.damage(image, "/a/b/file.txt", "--set", "0x08")
    env.damage(image, "/a/list.txt", "--set", "0x10")
    env.damage(image, "/a/none.txt", "--set", "0x10")
    env.damage(image, "/a/Long Name Here.txt", "--slot", "1", "--xor", "0x40")
    check(not fsck_clean(image)[0], "fsck should see the damage")
    count, _ = env.repair(image, "/a")
    check(count == 6, f"repaired {count}")
    clean, report = fsck_clean(image)
    check(clean, report)


def case_paths(env):
    """Root, nested, long-name component in another case, missing, file, relative paths."""
    image, _, _ = rules_image(env)
    pristine = copy(image, env.path("paths.pristine"))
    cases = [
        (None, 8), ("/", 8), ("//", 8), ("/docs", 4), ("/docs/inner", 2), ("/DOCS/INNER/", 2),
        ("/photos/HOLIDAY pictures", 2), ("/Photos/HOLIDA~1", 2), ("/tree", 2), ("/tree/./branch/..", 2),
        ("/missing", -2), ("/docs/nothing/here", -2), ("/docs/reserved.txt", -20), ("/docs/sized.txt/x", -20),
        ("docs", -22), ("relative/path", -22), (".", -22),
    ]
    for path, expected in cases:
        copy(pristine, image)
        result, _ = env.repair(image, path)
        check(result == expected, f"mendir {path!r} gave {result}, expected {expected}")
        if expected < 0:
            check(not changed_bytes(pristine, image), f"mendir {path!r} failed but wrote")


def random_bytes(seed, count):
    rng = random.Random(seed)
    return bytes(rng.randrange(256) for _ in range(count))


def patch(image, offset, data):
    with open(image, "r+b") as f:
        f.seek(offset)
        f.write(data)


def expect_error_or_count(env, image, what, path="/"):
    """A hostile image gives a count or an error code (or is refused), never a crash or a hang."""
    status, out, _ = env.run_mendir(image, path)
    if status == 126:
        return "refused"
    check(REPORT_OK.match(out) or REPORT_FAIL.match(out), f"{what}: unexpected output {out!r} (status {status})")
    return out.strip()


def case_hostile(env):
    """Truncated images, looping chains, directory cycles, random bytes: a result, never a crash or hang."""
    sample = env.sample
    size = os.path.getsize(sample)
    results = {}

    for fraction in (0, 0.001, 0.02, 0.03, 0.5):
        image = env.path(f"truncated-{fraction}.img")
        with open(sample, "rb") as src, open(image, "wb") as dst:
            dst.write(src.read(int(size * fraction)))
        results[f"truncated {fraction}"] = expect_error_or_count(env, image, f"truncated to {fraction}")
    check(results["truncated 0"] == "refused", "an empty image must be refused")

    image = copy(sample, env.path("loop.img"))
    env.damage(image, "/DCIM/100CANON", "--loop-chain")
    results["looping chain"] = expect_error_or_count(env, image, "looping chain")
    check(results["looping chain"] == "mendir failed on / (err -5)", results["looping chain"])
    # The program gets only -5; the runner says what is wrong with the volume.
    _, _, log = env.run_mendir(image)
    check(len(log) == 1 and log[0].startswith("vornos-run: volume unreadable or inconsistent: ")
          and "/DCIM/100CANON" in log[0], f"the reason for -5 on standard error: {log}")
    check(expect_error_or_count(env, image, "loop on lookup", "/DCIM/100CANON/nothing") ==
          "mendir failed on /DCIM/100CANON/nothing (err -5)", "a looping chain during lookup")

    image = copy(sample, env.path("cycle.img"))
    _, b_cluster = env.damage(image, "/a/b")
    env.damage(image, "/a/b/c/d/e", "--cluster", str(b_cluster))
    before = copy(image, env.path("cycle.before"))
    results["directory cycle"] = expect_error_or_count(env, image, "directory cycle")
    check(results["directory cycle"] == "mendir failed on / (err -5)", results["directory cycle"])
    check(not changed_bytes(before, image), "a failed walk wrote to the image")

    for seed in range(12):
        # Half the seeds scramble the whole parameter block; the others a few bytes of it, which often
        # passes the checks and leaves nonsense geometry for the walk to survive.
        image = copy(sample, env.path(f"boot-{seed}.img"))
        rng = random.Random(seed)
        if seed % 2:
            patch(image, 11, random_bytes(seed, 79))
        else:
            for _ in range(rng.randrange(1, 4)):
                patch(image, rng.randrange(11, 90), random_bytes(rng.random(), 1))
        results[f"boot sector {seed}"] = expect_error_or_count(env, image, f"random boot sector {seed}")

    with open(sample, "rb") as f:
        boot = f.read(512)
    first_data = (int.from_bytes(boot[14:16], "little") + boot[16] * int.from_bytes(boot[36:40], "little")) * 512
    for seed in range(6):
        image = copy(sample, env.path(f"dirs-{seed}.img"))
        rng = random.Random(100 + seed)
        # The first data clusters hold the root and the first directories mkfs/mmd made.
        for _ in range(8):
            patch(image, first_data + 512 * rng.randrange(40) + 32 * rng.randrange(16), random_bytes(rng.random(), 32 * rng.randrange(1, 16)))
        results[f"directories {seed}"] = expect_error_or_count(env, image, f"random directories {seed}")

    image = env.path("noise.img")
    with open(image, "wb") as f:
        f.write(random_bytes(7, 1 << 20))
    results["noise"] = expect_error_or_count(env, image, "noise")
    for what, result in results.items():
        print(f"{what}: {result}")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    for option in ("runner", "mendir", "damage", "sample-builder", "scratch"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    try:
        CASES[args.case](Env(args))
    except Failure as failure:
        print(f"FAIL {args.case}: {failure}", file=sys.stderr)
        return 1
    except Skip as reason:
        print(f"SKIP {args.case}: {reason}")
        return SKIPPED
    print(f"PASS {args.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
