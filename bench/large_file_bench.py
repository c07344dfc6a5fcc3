"""Peak memory and time of one scripted set on a large preferences file:
the tool's whole run (read, change, compare, write) against a run that
only starts and exits (tarnwell -V), with the file's size for scale.

    python3 bench/large_file_bench.py TOOL [KEYS] [ROUNDS]

TOOL is a built tarnwell; KEYS defaults to 3,000,000 (a file of about
140 MB), ROUNDS to 3. Each round starts from the same file, which says
MSSQL, so that setting SQLite changes it and the run writes.
"""
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def cpu_model():
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def write_large_file(path, keys):
    """Lines as the tool writes them, about 43 bytes each; every tenth value
    needs escapes."""
    with open(path, "wb") as out:
        out.write(b'<Database value="MSSQL" />\r\n<DatabaseServer value="HOST\\SQL" />\r\n'
                  b'<DatabaseUsername value="sa" />\r\n')
        lines = []
        for index in range(keys):
            value = "&lt;%d&gt; &amp;" % index if index % 10 == 0 else "value %d" % index
            lines.append('<Setting.Key_%d value="%s" />\r\n' % (index, value))
            if len(lines) == 10000:
                out.write("".join(lines).encode())
                lines = []
        out.write("".join(lines).encode())


def run(command):
    """Wall seconds, CPU seconds (user + system) and peak resident KiB."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError("%s ended with %d" % (" ".join(command), code))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def main():
    tool = sys.argv[1]
    keys = int(sys.argv[2]) if len(sys.argv) > 2 else 3000000
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    print("cpu %s" % cpu_model())
    with tempfile.TemporaryDirectory() as directory:
        original = os.path.join(directory, "original.cfg")
        target = os.path.join(directory, "preferences.cfg")
        write_large_file(original, keys)
        size = os.path.getsize(original)
        print("file %d keys, %.1f MB" % (keys, size / 1e6))
        starts = [run([tool, "-V"]) for _ in range(rounds)]
        for round_number in range(1, rounds + 1):
            shutil.copyfile(original, target)
            wall, cpu, peak = run([tool, "--file=" + target, "--provider=sqlite"])
            print("round %d: wall %.3f s, cpu %.3f s, peak %.1f MB resident = %.2f x the file"
                  % (round_number, wall, cpu, peak * 1024 / 1e6, peak * 1024 / size))
        print("tarnwell -V: wall median %.4f s, peak %.1f MB"
              % (statistics.median(s[0] for s in starts), max(s[2] for s in starts) * 1024 / 1e6))


if __name__ == "__main__":
    main()
