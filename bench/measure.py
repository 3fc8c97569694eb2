#!/usr/bin/env python3
"""Times two commands against each other, as bench/run.sh asks.

    measure.py [--same-files] [--refill] WORK RUNS NAME-A NAME-B -- COMMAND-A... -- COMMAND-B...

Each run starts in a folder of its own under WORK: an empty one, or with
--refill one that its command has filled by running there once, so that the
run writes over the files of an earlier run of its own command. All the
folders are made, and filled, before the first run, so that neither making,
filling nor removing them is timed, and no removal competes with a timed run
for the file system. The two commands take turns (A, B, A, B, ...) after one
untimed warm-up run each. With --same-files the warm-up folders of the two
are compared file by file, so both commands are known to write the very same
files.

Before each run the file system is synced, so that no run pays for the
write-back of the one before. Wall time is taken around spawning and reaping
each process (through GNU time, alike for both commands); peak resident
memory is the command's own ru_maxrss, as GNU time reports it. Prints one line
of figures per command and a last line
"RESULT <time ratio> <memory ratio> <CPU time ratio>", all A over B, for
run.sh to read.
"""

import filecmp
import os
import shutil
import statistics
import sys
import time

TIME = "/usr/bin/time"


def run_once(command, folder, report):
    """Runs `command` in `folder`; returns (seconds, CPU seconds, peak RSS in KiB)."""
    # The peak comes from GNU time, which forks the command from its own
    # small process: a child forked from this interpreter would carry the
    # interpreter's resident pages in its peak.
    launch = [TIME, "-f", "%M", "-o", report] + command
    with open(os.devnull, "r+b") as null:
        actions = [
            (os.POSIX_SPAWN_DUP2, null.fileno(), 0),
            (os.POSIX_SPAWN_DUP2, null.fileno(), 1),
        ]
        # The child inherits the working folder; posix_spawn has no action
        # that sets it on every Python version.
        home = os.getcwd()
        os.chdir(folder)
        try:
            start = time.perf_counter()
            pid = os.posix_spawn(launch[0], launch, os.environ, file_actions=actions)
            _, status, usage = os.wait4(pid, 0)
            elapsed = time.perf_counter() - start
        finally:
            os.chdir(home)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit(f"measure.py: {' '.join(command)} failed in {folder} (status {status})")
    with open(report) as text:
        peak = int(text.read().split()[-1])
    # CPU time (user and system) of GNU time and its child: less disturbed
    # than wall time by whatever else the machine runs.
    return elapsed, usage.ru_utime + usage.ru_stime, peak


def same_files(left, right):
    names_left = sorted(os.listdir(left))
    names_right = sorted(os.listdir(right))
    if names_left != names_right:
        return False
    _, mismatch, errors = filecmp.cmpfiles(left, right, names_left, shallow=False)
    return not mismatch and not errors


def main():
    args = sys.argv[1:]
    flags = set()
    while args and args[0] in ("--same-files", "--refill"):
        flags.add(args.pop(0))
    compare = "--same-files" in flags
    try:
        split = args.index("--")
        second = args.index("--", split + 1)
    except ValueError:
        sys.exit(__doc__)
    work, runs, name_a, name_b = args[:split]
    command_a = args[split + 1 : second]
    command_b = args[second + 1 :]
    runs = int(runs)
    commands = [(name_a, command_a), (name_b, command_b)]

    shutil.rmtree(work, ignore_errors=True)
    folders = {}
    for name, _ in commands:
        folders[name] = [os.path.join(work, f"{name}-{i:02d}") for i in range(runs + 1)]
        for folder in folders[name]:
            os.makedirs(folder)
    report = os.path.join(work, "peak")
    if "--refill" in flags:
        for i in range(runs + 1):
            for name, command in commands:
                run_once(command, folders[name][i], report)
    times = {name: [] for name, _ in commands}
    cpu = {name: [] for name, _ in commands}
    memory = {name: [] for name, _ in commands}
    for i in range(runs + 1):
        for name, command in commands:
            os.sync()
            elapsed, busy, peak = run_once(command, folders[name][i], report)
            if i > 0:
                times[name].append(elapsed)
                cpu[name].append(busy)
                memory[name].append(peak)
        if i == 0 and compare and not same_files(folders[name_a][0], folders[name_b][0]):
            sys.exit(f"measure.py: {name_a} and {name_b} wrote different files")

    for name, _ in commands:
        t = times[name]
        print(
            f"{name:<10} median {statistics.median(t) * 1000:8.1f} ms"
            f"  (min {min(t) * 1000:.1f}, max {max(t) * 1000:.1f}, {len(t)} runs)"
            f"  CPU median {statistics.median(cpu[name]) * 1000:6.1f} ms"
            f"  peak RSS median {statistics.median(memory[name]):.0f} KiB"
            f" (max {max(memory[name])})"
        )
    time_ratio = statistics.median(times[name_a]) / statistics.median(times[name_b])
    memory_ratio = statistics.median(memory[name_a]) / statistics.median(memory[name_b])
    cpu_ratio = statistics.median(cpu[name_a]) / statistics.median(cpu[name_b])
    print(f"RESULT {time_ratio:.3f} {memory_ratio:.3f} {cpu_ratio:.3f}")
    shutil.rmtree(work, ignore_errors=True)
    os.sync()


if __name__ == "__main__":
    main()
