#!/usr/bin/env python3
"""The tool's write path under failing file calls, proved from outside.

Each scenario runs once unfaulted, through the preloaded library
(oxFaultInjector.cpp), which counts the calls of every file operation on the
scenario's directory. Then, for every operation the scenario reached and
every failure, the Nth call of that operation fails (N = 1, 2, ... until a
run no longer reaches an Nth call), and after every run the invariant is
checked:

- exit 0 only with the file holding exactly the expected new bytes (with
  --show: exactly the expected output, the file unchanged); otherwise exit 1
  with the old bytes (or no file where there was none);
- nothing in the directory but the scenario's own entries: the file, its
  hard links and what the unfaulted run leaves beside them (the lock file,
  wherever the store puts it), none of those left locked; the hard links
  still one file; no hang;
- EINTR on a call Linux may interrupt, and a short read or write, are
  survived: exit 0 with the new contents;
- after a kill: the old or the new bytes, at once or after one recovery run
  of --show; one more unfaulted run then succeeds and leaves nothing else
  beside the file.

A second round fails two calls: for every operation that only the failure
paths reach (cleaning up after a failed write, putting old contents back),
the first fault that made the run reach it is kept and each of those calls
fails in turn as well.

Prints runs per scenario and failure and every violation with the
command that repeats it; exits 1 when there is one.
Usage: run_faults.py --tool TOOL --preload LIBRARY [--only SCENARIO[:FAULT[,FAULT]]]
(FAULT is operation:N:kind, as OX_FAULT takes it.)
"""
import argparse
import collections
import concurrent.futures
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

FILE = "preferences.cfg"
BOM = b"\xef\xbb\xbf"
TIMEOUT = 20  # seconds; the store waits at most 10 s for the lock
KINDS = ["eio", "enospc", "eintr", "short", "kill"]
# The failures of the second call in the second round: an error, or the
# process ended while it mends the first.
SECOND_KINDS = ["eio", "kill"]


def entry(key, value):
    return b'<%s value="%s" />\r\n' % (key.encode(), value.encode())


SQLITE = entry("Database", "SQLite")
# "secret" as the cryptor stores it (README, "Password format").
MSSQL = (entry("Database", "MSSQL") + entry("DatabaseServer", "DBHOST&#x5C;SQLEXPRESS") +
         entry("DatabaseUsername", "tarnwell") + entry("DatabasePassword", "F84EF1270BEA6F836C"))
MSSQL_ARGUMENTS = ["--provider=mssql", "--server=DBHOST\\SQLEXPRESS", "--user=tarnwell", "--password-stdin"]
MSSQL_ANSWERS = b"2\nDBHOST\\SQLEXPRESS\ntarnwell\nsecret\n"
SHOWN = ("File: {dir}/preferences.cfg\nProvider: MSSQL\nServer: DBHOST\\SQLEXPRESS\nUser: tarnwell\n"
         "Password: set\n").encode()

Scenario = collections.namedtuple("Scenario", "name old new arguments stdin links shown")
Scenario.__new__.__defaults__ = (b"", (), None)
# old: the file before (None: no file), mode 0640; new: what an unfaulted
# run leaves; links: other names of the same file; shown: --show's output.
SCENARIOS = [
    Scenario("new-file", None, SQLITE, ["--provider=sqlite"]),
    Scenario("update", BOM + entry("Product", "Velqor") + MSSQL, BOM + entry("Product", "Velqor") + SQLITE,
             [], b"1\n"),
    Scenario("in-place", entry("Keep", "1") + MSSQL, entry("Keep", "1") + SQLITE,
             ["--provider=sqlite", "--file={dir}/" + FILE], links=("other.cfg",)),
    Scenario("scripted", SQLITE, MSSQL, MSSQL_ARGUMENTS, b"secret\n"),
    Scenario("unchanged", SQLITE, SQLITE, ["--provider=sqlite"]),
    Scenario("show", MSSQL, MSSQL, ["--show"], shown=SHOWN),
    Scenario("dialogue", None, MSSQL, [], MSSQL_ANSWERS),
]
OLD_MODE = 0o640
NEW_MODE = 0o644  # 0666 less the umask set below


class Report:
    """The library's report: calls per operation, and whether each fault's
    call was reached."""

    def __init__(self, path):
        self.calls, self.before, self.shortable, self.interruptible, self.reached = {}, {}, set(), set(), {}
        with open(path) as stream:
            for line in stream:
                words = line.split()
                if words[0] == "op":
                    self.calls[words[1]] = int(words[2])
                    self.before[words[1]] = int(words[5])
                    if words[3] == "1":
                        self.shortable.add(words[1])
                    if words[4] == "1":
                        self.interruptible.add(words[1])
                elif words[0] == "fault":
                    self.reached[":".join(words[1:4])] = words[4] == "reached"


Run = collections.namedtuple("Run", "code stdout stderr report")


class Harness:
    def __init__(self, tool, preload, scratch):
        self.tool, self.preload, self.scratch = tool, preload, scratch
        self.runs = collections.Counter()  # (scenario, kind) -> runs
        self.violations = []
        self.baselines = {}
        self.entries = {}  # scenario name -> what its unfaulted run leaves
        self.lock = threading.Lock()

    def prepare(self, scenario):
        directory = os.path.realpath(tempfile.mkdtemp(dir=self.scratch))
        if scenario.old is not None:
            path = os.path.join(directory, FILE)
            with open(path, "wb") as stream:
                stream.write(scenario.old)
            os.chmod(path, OLD_MODE)
            for link in scenario.links:
                os.link(path, os.path.join(directory, link))
        return directory

    def start(self, scenario, directory, faults=None, arguments=None):
        """One run of the tool in directory; through the library when faults
        is not None ([] counts only)."""
        environment = {key: value for key, value in os.environ.items() if not key.startswith("OX_FAULT")}
        report = None
        if faults is not None:
            report = os.path.join(directory + ".report")
            environment.update(LD_PRELOAD=self.preload, OX_FAULT_DIR=directory, OX_FAULT_REPORT=report,
                               OX_FAULT=",".join(faults))
        arguments = scenario.arguments if arguments is None else arguments
        command = [self.tool] + [argument.format(dir=directory) for argument in arguments]
        try:
            result = subprocess.run(command, cwd=directory, env=environment, capture_output=True,
                                    input=scenario.stdin if arguments is scenario.arguments else b"",
                                    timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            return Run(None, b"", b"", None)
        parsed = Report(report) if report is not None and os.path.exists(report) else None
        return Run(result.returncode, result.stdout, result.stderr, parsed)

    @staticmethod
    def contents(directory):
        path = os.path.join(directory, FILE)
        if not os.path.lexists(path):
            return None
        with open(path, "rb") as stream:
            return stream.read()

    # A problem is (what went wrong, the particulars): violations are
    # grouped by the first.
    def state_problems(self, scenario, directory):
        """What is wrong beside the file, whatever its contents."""
        problems = []
        present = set(os.listdir(directory))
        own = self.entries.get(scenario.name, present)
        extra = sorted(present - own - {FILE, *scenario.links})
        if extra:
            problems.append(("an entry left beside the file", ", ".join(extra)))
        path = os.path.join(directory, FILE)
        for link in scenario.links if os.path.exists(path) else ():
            other = os.path.join(directory, link)
            if not os.path.exists(other) or not os.path.samefile(path, other):
                problems.append(("a hard link is no longer the same file", link))
        for name in sorted(present & own - {FILE, *scenario.links}):
            path = os.path.join(directory, name)
            if not os.path.isfile(path):
                continue
            with open(path, "rb") as stream:
                try:
                    fcntl.flock(stream, fcntl.LOCK_EX | fcntl.LOCK_NB)
                except OSError:
                    problems.append(("a file beside it is still locked", name))
        return problems

    def outcome_problems(self, scenario, directory, run, must_succeed):
        """The invariant after a run that was not killed."""
        if run.code is None:
            return [("no exit within %d s" % TIMEOUT, "")]
        now = self.contents(directory)
        problems = []
        if run.code == 0:
            if scenario.shown is not None and run.stdout != scenario.shown.replace(b"{dir}", directory.encode()):
                problems.append(("exit 0 with other output", repr(run.stdout)))
            if now != scenario.new:
                problems.append(("exit 0, but the file holds " + kind_of(now, scenario), describe(now)))
            elif now is not None and scenario.old != scenario.new:
                mode = os.stat(os.path.join(directory, FILE)).st_mode & 0o7777
                wanted = OLD_MODE if scenario.old is not None else NEW_MODE
                if mode != wanted:
                    problems.append(("exit 0, but the file has another mode", "%04o, not %04o" % (mode, wanted)))
        elif run.code == 1:
            if must_succeed:
                problems.append(("exit 1 where the call is to be retried", last_line(run.stderr)))
            if now != scenario.old:
                problems.append(("exit 1, but the file holds " + kind_of(now, scenario), describe(now)))
        else:
            problems.append(("exit code %d" % run.code, last_line(run.stderr)))
        return problems + self.state_problems(scenario, directory)

    def after_kill_problems(self, scenario, directory):
        """A killed run: old or new bytes, at once or after one recovery run;
        then an unfaulted run works and leaves nothing else."""
        problems = []
        if self.contents(directory) not in (scenario.old, scenario.new):
            recovery = self.start(scenario, directory, arguments=["--show"])
            now = self.contents(directory)
            if now not in (scenario.old, scenario.new):
                problems.append(("after the kill and a recovery run the file holds " + kind_of(now, scenario),
                                 "%s (the recovery run's exit: %s)" % (describe(now), recovery.code)))
        writer = self.start(scenario, directory)
        if writer.code != 0 or self.contents(directory) != scenario.new:
            problems.append(("after the kill, the next unfaulted run fails",
                             "exit %s (%s), the file holds %s" %
                             (writer.code, last_line(writer.stderr), describe(self.contents(directory)))))
        return problems + [("after the kill and the next run, " + what, particulars)
                           for what, particulars in self.state_problems(scenario, directory)]

    def baseline(self, scenario):
        """The unfaulted run's report, or None when the scenario does not
        do what it should. Run twice: what both leave beside the file is
        the scenario's own (a temporary would differ in name)."""
        left, problems, report = [], [], None
        for _ in range(2):
            directory = self.prepare(scenario)
            try:
                run = self.start(scenario, directory, faults=[])
                problems += self.outcome_problems(scenario, directory, run, True)
                left.append(set(os.listdir(directory)))
                report = report or run.report
            finally:
                self.remove(directory)
        self.entries[scenario.name] = left[0] & left[1]
        if left[0] != left[1]:
            problems.append(("an entry left beside the file", ", ".join(sorted(left[0] ^ left[1]))))
        if report is None:
            problems.append(("no report from the library", ""))
        for what, particulars in problems:
            self.violate(scenario, [], "the unfaulted run: " + what, particulars)
        return None if problems else report

    def attempt(self, scenario, faults, baseline):
        """One faulted run and its checks: whether every fault's call was
        reached, the run's report and its exit code."""
        directory = self.prepare(scenario)
        try:
            run = self.start(scenario, directory, faults=faults)
            last = faults[-1]
            operation, _, kind = last.split(":")
            self.runs[(scenario.name, "+".join(f.split(":")[2] for f in faults))] += 1
            if run.report is None:
                self.violate(scenario, faults, "no report from the library",
                             "exit %s, %s" % (run.code, last_line(run.stderr)))
                return False, None, run.code
            if not all(run.report.reached.get(f, False) for f in faults):
                return False, run.report, run.code
            if kind == "kill" and run.code != -9:
                problems = [("a kill was due, but the run ended otherwise", "exit %s" % run.code)]
            elif kind == "kill":
                problems = self.after_kill_problems(scenario, directory)
            else:
                survivable = kind == "short" or (kind == "eintr" and operation in baseline.interruptible)
                problems = self.outcome_problems(scenario, directory, run, survivable and len(faults) == 1)
            for what, particulars in problems:
                self.violate(scenario, faults, what, particulars)
            return True, run.report, run.code
        finally:
            self.remove(directory)

    def sweep(self, scenario, baseline, operation, kind, first=(), start=1):
        """N = start, start + 1, ... for one operation and failure, after
        the faults in first, until the Nth call is not reached; the runs
        that reached it: (fault, report, exit code)."""
        reached = []
        most = 4 * sum(baseline.calls.values()) + 20  # a loop that never ends is a finding too
        for n in range(start, start + most):
            fault = "%s:%d:%s" % (operation, n, kind)
            hit, report, code = self.attempt(scenario, list(first) + [fault], baseline)
            if not hit:
                return reached
            reached.append((fault, report, code))
        self.violate(scenario, list(first) + ["%s:*:%s" % (operation, kind)], "the calls never end",
                     "still reached after %d" % most)
        return reached

    def violate(self, scenario, faults, what, particulars):
        with self.lock:
            self.violations.append((scenario.name, what, ",".join(faults), particulars))

    def remove(self, directory):
        shutil.rmtree(directory, ignore_errors=True)
        if os.path.exists(directory + ".report"):
            os.unlink(directory + ".report")

    def run_scenario(self, scenario, baseline, pool):
        chains, kinds = [], []
        for operation, calls in sorted(baseline.calls.items()):
            if calls == 0:
                continue
            for kind in KINDS:
                if kind == "short" and operation not in baseline.shortable:
                    continue
                chains.append(pool.submit(self.sweep, scenario, baseline, operation, kind))
                kinds.append((operation, kind))
        # The second round: every call made after a first EIO (what the
        # program does about it) fails in turn too.
        seconds = []
        for chain, (operation, kind) in zip(chains, kinds):
            if kind != "eio":
                continue
            for fault, report, code in chain.result():
                # A fault the program ignored changes nothing that follows.
                if code == 0 and report.calls == baseline.calls:
                    continue
                for second, calls in sorted(report.calls.items()):
                    if calls > report.before[second]:
                        seconds += [pool.submit(self.sweep, scenario, baseline, second, then, [fault],
                                                report.before[second] + 1) for then in SECOND_KINDS]
        for second in seconds:
            second.result()


def kind_of(contents, scenario):
    if contents is None:
        return "no file"
    if contents == scenario.old:
        return "the old bytes"
    return "the new bytes" if contents == scenario.new else "other bytes"


def describe(contents):
    return "no file" if contents is None else "%d bytes %r" % (len(contents), contents[:60])


def last_line(text):
    lines = text.decode("utf-8", "replace").strip().splitlines()
    return lines[-1] if lines else "nothing on standard error"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="the dynamically linked tool")
    parser.add_argument("--preload", required=True, help="the library (libtarnwell_faults.so)")
    parser.add_argument("--only", help="SCENARIO, or SCENARIO:FAULT[,FAULT] for one run")
    parser.add_argument("--all", action="store_true", help="list every run of each violation")
    options = parser.parse_args()
    os.umask(0o022)
    tool, preload = os.path.realpath(options.tool), os.path.realpath(options.preload)
    only_name, _, only_faults = (options.only or "").partition(":")
    scenarios = [s for s in SCENARIOS if not only_name or s.name == only_name]
    if not scenarios:
        parser.error("no scenario %r; there are: %s" % (only_name, ", ".join(s.name for s in SCENARIOS)))
    scratch = tempfile.mkdtemp(prefix="tarnwell-faults-")
    harness = Harness(tool, preload, scratch)
    started = time.monotonic()
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            for scenario in scenarios:
                baseline = harness.baseline(scenario)
                if baseline is None:
                    continue
                harness.baselines[scenario.name] = baseline
                if not only_faults:
                    harness.run_scenario(scenario, baseline, pool)
                elif not harness.attempt(scenario, only_faults.split(","), baseline)[0]:
                    print("not reached: the run made fewer calls than that")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print_summary(harness, tool, preload, time.monotonic() - started, options.all)
    return 1 if harness.violations else 0


def print_summary(harness, tool, preload, elapsed, every):
    kinds = sorted({kind for _, kind in harness.runs}, key=lambda k: (k.count("+"), k))
    if kinds:
        print("faulted runs per scenario and failure (a+b: a second call failed after a first):")
        print("  %-10s" % "" + "".join("%10s" % kind for kind in kinds) + "%8s" % "total")
        for scenario in SCENARIOS:
            counts = [harness.runs[(scenario.name, kind)] for kind in kinds]
            if any(counts):
                print("  %-10s" % scenario.name + "".join("%10d" % c for c in counts) + "%8d" % sum(counts))
    for name, baseline in harness.baselines.items():
        made = ", ".join("%s %d" % (op, n) for op, n in sorted(baseline.calls.items()) if n)
        beside = ", ".join(sorted(harness.entries[name] - {FILE})) or "nothing"
        print("  %s, unfaulted: %s; left beside the file: %s" % (name, made, beside))
    groups = collections.OrderedDict()
    simplest_first = sorted(harness.violations, key=lambda v: (v[0], v[1], v[2].count(","), v[2]))
    for scenario, what, faults, particulars in simplest_first:
        groups.setdefault((scenario, what), []).append((faults, particulars))
    here = os.path.relpath(os.path.abspath(__file__))
    for (scenario, what), cases in groups.items():
        faults, particulars = cases[0]
        print("VIOLATION [%s] %s: %d run(s)" % (scenario, what, len(cases)))
        print("  first: %s: %s" % (faults or "unfaulted", particulars))
        listed = [f for f, _ in cases] if every else [f for f, _ in cases[:12]]
        more = "" if len(listed) == len(cases) else " and %d more (--all lists them)" % (len(cases) - len(listed))
        print("  runs: %s%s" % (" ".join(listed), more))
        print("  repeat: python3 %s --tool %s --preload %s --only %s:%s" % (here, tool, preload, scenario, faults))
    print("%d faulted runs in %.0f s: %d violation(s) of %d kind(s)" %
          (sum(harness.runs.values()), elapsed, len(harness.violations), len(groups)))


if __name__ == "__main__":
    sys.exit(main())
