#!/usr/bin/env python3
"""mendir through vornos-run on the sample volume, and on one it must distrust.

Usage: volume_e2e.py CASE --runner VORNOS_RUN --mendir MENDIR --damage FAT_DAMAGE --sample-builder SH --scratch DIR
"""
import argparse, os, shutil, subprocess, sys

ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")


def run(*command):
    done = subprocess.run(command, capture_output=True, text=True, errors="replace", env=ENV, timeout=60)
    return done.returncode, done.stdout, done.stderr


def read(path):
    with open(path, "rb") as f:
        return f.read()


def case_sample(a, image):
    """The README's command: ten repairs, then none; fsck.fat clean; the sample built twice is the same."""
    again = image + ".again"
    run("bash", a.sample_builder, a.damage, again)
    assert read(image) == read(again), "building the sample twice gives different images"
    status, out, err = run(a.runner, "--volume", image, "--log-repairs", a.mendir, "/")
    assert (status, out) == (0, "mendir: repaired 10 entries under /\n"), (status, out, err)
    assert len(err.splitlines()) == 10 and all(" -> 0x" in line for line in err.splitlines()), err
    assert run("fsck.fat", "-n", image)[0] == 0, "fsck.fat -n finds problems after the repair"
    repaired = read(image)
    assert run(a.runner, "--volume", image, a.mendir)[1] == "mendir: repaired 0 entries under /\n"
    assert read(image) == repaired, "the second run wrote"


def case_refused(a, image):
    """An untrusted volume: -5, the reason on standard error, nothing written."""
    with open(image, "r+b") as f:  # the root cluster moved in the boot sector, not in its backup
        f.seek(44)
        f.write(b"\x09")
    before = read(image)
    status, out, err = run(a.runner, "--volume", image, a.mendir, "/")
    assert (status, out) == (1, "mendir failed on / (err -5)\n"), (status, out)
    assert "inconsistent: the boot sector and the backup boot sector (sector 6) disagree" in err, err
    assert read(image) == before, "a refused repair wrote"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=["sample", "refused"])
    for option in ("runner", "mendir", "damage", "sample-builder", "scratch"):
        parser.add_argument("--" + option, required=True)
    a = parser.parse_args()
    shutil.rmtree(a.scratch, ignore_errors=True)
    os.makedirs(a.scratch)
    image = os.path.join(a.scratch, "sample.img")
    run("bash", a.sample_builder, a.damage, image)
    globals()["case_" + a.case](a, image)
    shutil.rmtree(a.scratch)
    print("PASS", a.case)


if __name__ == "__main__":
    sys.exit(main())
