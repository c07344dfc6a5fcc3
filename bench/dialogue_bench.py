"""Whole-process cost of the tool: the full SQL Server dialogue with piped
input, timed alternately against a program that only writes a four-line
file (the floor for starting a process and writing a file).

    python3 bench/dialogue_bench.py BUILD_DIR [ROUNDS]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time


def timed(command, stdin, cwd):
    """Wall time and the child's own CPU time (user + system), in seconds.
    CPU time is the steadier figure on a shared machine."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.PIPE, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    process.stdin.write(stdin)
    process.stdin.close()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError("%s ended with %d" % (command[0], process.returncode))
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime


def main():
    build = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    tool = [os.path.join(build, "tool", "tarnwell")]
    floor = [os.path.join(build, "bench", "floor_writer")]
    answers = b"2\nHOST\\SQL\nsa\nsecret\n"
    print("rounds %d" % rounds)
    # A missing file is first created empty, then written: two safe writes.
    for case, remove_first in [("new file", True), ("existing file", False)]:
        tool_times, floor_times = [], []
        with tempfile.TemporaryDirectory() as cwd:
            path = os.path.join(cwd, "preferences.cfg")
            for _ in range(rounds):
                if remove_first and os.path.exists(path):
                    os.remove(path)
                tool_times.append(timed(tool, answers, cwd))
                floor_times.append(timed(floor, b"", cwd))
        for index, kind in [(0, "wall"), (1, "cpu")]:
            tool_median = statistics.median(times[index] for times in tool_times) * 1000
            floor_median = statistics.median(times[index] for times in floor_times) * 1000
            print("%-13s %-4s tool median %.3f ms, floor median %.3f ms, ratio %.2f"
                  % (case, kind, tool_median, floor_median, tool_median / floor_median))


if __name__ == "__main__":
    main()
