"""What the benchmark scripts share: the tools' environment, a command that must succeed, and one timed run."""
import os
import resource
import subprocess
import sys
import time

ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")


def run(command, stdout=subprocess.DEVNULL):
    """Runs COMMAND; a failure ends the benchmark with the command's error output."""
    done = subprocess.run(command, stdout=stdout, stderr=subprocess.PIPE, env=ENV)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode}): {done.stderr.decode(errors='replace')}")


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, stdout=subprocess.DEVNULL):
    """Wall-clock and CPU seconds (user + system, traced programs included) of one run of COMMAND."""
    cpu, start = cpu_of_children(), time.perf_counter()
    run(command, stdout)
    return time.perf_counter() - start, cpu_of_children() - cpu
