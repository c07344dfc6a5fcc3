#!/usr/bin/env python3
"""The tool's write path under failing file calls, proved from outside.

Each scenario runs unfaulted through the preloaded library
(oxFaultInjector.cpp), which counts the calls of every file operation on the
scenario's directory. Then, for every operation the scenario reached and
every failure, the Nth call of that operation fails (N = 1, 2, ... until a
run no longer reaches an Nth call), and after every run the invariant is
checked:

- success (exit 0, or the scenario's own code) only with the file holding
  exactly the expected new bytes, its mode and owner kept, and the expected
  messages (with --show: exactly the expected output, the file unchanged);
  otherwise exit 1 with the old bytes (or no file where there was none);
- nothing in the directory but the scenario's own entries: the file, its
  links, the files beside it (unchanged) and what the unfaulted run leaves
  there (the lock file, wherever the store puts it), none of them left
  locked; hard links still one file, a symbolic link still a link; no hang;
- EINTR on a call Linux may interrupt, and a short read or write, are
  survived: success with the new contents;
- after a kill, or a SIGTERM the process dies of: the old or the new bytes,
  at once or after one recovery run of --show; one more unfaulted run then
  succeeds and leaves nothing else beside the file (after a SIGTERM nothing
  may be left even before it).

A second round fails two calls: after a first EIO that the program did
something about, each call it made after that one (cleaning up, putting old
contents back, another way of writing) fails in turn as well, with EIO or a
kill (only at calls that may change what is on disk: a kill before any
other call leaves what one before the next such call leaves).

Prints runs per scenario and failure and the violations, grouped, with the
command that repeats one; exits 1 when there is one.
Usage: run_faults.py --tool TOOL --preload LIBRARY [--only SCENARIO[:FAULT[,FAULT]]] [--all]
(FAULT is operation:N:kind, as the library's OX_FAULT takes it.)
"""
import argparse
import collections
import concurrent.futures
import fcntl
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

FILE = "preferences.cfg"
BOM = b"\xef\xbb\xbf"
TIMEOUT = 20  # seconds: a hang
SLOW = 8  # seconds: a run this long waited for something (the lock's wait is 10 s)
KINDS = ["eio", "enospc", "eintr", "short", "kill", "term"]
ENDINGS = {"kill": -9, "term": -15}
# The failures of the second call in the second round: an error, or the
# process ended while it mends the first.
SECOND_KINDS = ["eio", "kill"]
NOBODY = 65534


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
CHANGED = b"changed: preferences.cfg\n"
LARGE = b"".join(entry("Setting%04d" % n, "v" * 100) for n in range(3000))  # 400 KB

# old: the file before (None: none), with mode and owner (None: the
# harness's); new: what an unfaulted run leaves; code and said: its exit
# code and standard error; shown: its standard output, where checked;
# links: other names of the file; symlink: the file is a link to this name;
# beside: other files in the directory, which stay as they are; backup:
# the run keeps backups of the old file (said is then a pattern). A
# scenario with an owner needs root.
Scenario = collections.namedtuple(
    "Scenario", "name old new arguments stdin code said shown links symlink beside mode owner backup")
Scenario.__new__.__defaults__ = (b"", 0, b"", None, (), None, {}, 0o640, None, False)
BACKUP_NAME = re.compile(r"preferences\.cfg\.\d{8}T\d{6}Z(-\d+)?~")
SCENARIOS = [
    Scenario("new-file", None, SQLITE, ["--provider=sqlite"], said=CHANGED),
    Scenario("update", BOM + entry("Product", "Velqor") + MSSQL, BOM + entry("Product", "Velqor") + SQLITE,
             [], b"1\n", beside={"preferences.cfg.bak": MSSQL, ".preferences.cfg.swp": b"an editor's"}),
    Scenario("in-place", entry("Keep", "1") + MSSQL, entry("Keep", "1") + SQLITE,
             ["--provider=sqlite", "--file={dir}/" + FILE], said=b"changed: {dir}/preferences.cfg\n",
             links=("other.cfg",)),
    Scenario("scripted", SQLITE, MSSQL, MSSQL_ARGUMENTS + ["--detailed-exitcode"], b"secret\n", code=2,
             said=CHANGED),
    Scenario("unchanged", SQLITE, SQLITE, ["--provider=sqlite"], said=b"unchanged: preferences.cfg\n"),
    Scenario("check", SQLITE, SQLITE, ["--provider=sqlite", "--check", "--detailed-exitcode"],
             said=b"unchanged (--check, nothing written): preferences.cfg\n"),
    Scenario("show", MSSQL, MSSQL, ["--show"], shown=SHOWN, mode=0o600),
    Scenario("dialogue", None, MSSQL, [], MSSQL_ANSWERS),
    Scenario("symlink", entry("Keep", "1") + MSSQL, entry("Keep", "1") + SQLITE, ["--provider=sqlite"],
             said=CHANGED, symlink="real.cfg"),
    # A configuration file as it usually is: root's, the server's group.
    # Root gives the new file that group, or writes in place.
    Scenario("other-group", MSSQL, SQLITE, ["--provider=sqlite"], said=CHANGED, owner=(os.getuid(), NOBODY)),
    # Written in several pieces.
    Scenario("large", MSSQL + LARGE, SQLITE + LARGE, ["--provider=sqlite"], said=CHANGED),
    # The old file kept beside it first: whole, as the old file was, or not at all.
    Scenario("backup", MSSQL, SQLITE, ["--provider=sqlite", "--backup"],
             said=rb"backup: preferences\.cfg\.\d{8}T\d{6}Z(-\d+)?~\nchanged: preferences\.cfg\n", backup=True),
]
NEW_MODE = 0o600  # a new file holds a password: its owner's alone, whatever the umask
# What a run may leave when a second fault made its own clean-up fail, or
# when it said plainly that the file may be torn: the next run must then
# put everything right.
LEFT_FOR_THE_NEXT_RUN = ("an entry left beside the file", "exit 1, but the file holds")


class Report:
    """The library's report: calls per operation (and before the first
    fault was reached), and whether each fault's call was reached."""

    def __init__(self, path):
        self.calls, self.before, self.reached = {}, {}, {}
        self.shortable, self.interruptible, self.changing = set(), set(), set()
        with open(path) as stream:
            for line in stream:
                words = line.split()
                if words[0] == "op":
                    self.calls[words[1]] = int(words[2])
                    self.before[words[1]] = int(words[6])
                    for flag, names in zip(words[3:6], [self.shortable, self.interruptible, self.changing]):
                        if flag == "1":
                            names.add(words[1])
                elif words[0] == "fault":
                    self.reached[":".join(words[1:4])] = words[4] == "reached"


Run = collections.namedtuple("Run", "code stdout stderr report seconds")


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


class Harness:
    def __init__(self, tool, preload, scratch):
        self.tool, self.preload, self.scratch = tool, preload, scratch
        self.runs = collections.Counter()  # (scenario, failures) -> runs
        self.violations = []
        self.baselines = {}
        self.entries = {}  # scenario name -> what its unfaulted runs leave in the directory
        self.lock = threading.Lock()

    def prepare(self, scenario):
        directory = os.path.realpath(tempfile.mkdtemp(dir=self.scratch))
        for name, contents in scenario.beside.items():
            with open(os.path.join(directory, name), "wb") as stream:
                stream.write(contents)
        if scenario.old is not None:
            path = os.path.join(directory, scenario.symlink or FILE)
            with open(path, "wb") as stream:
                stream.write(scenario.old)
            os.chmod(path, scenario.mode)
            if scenario.owner is not None:
                os.chown(path, *scenario.owner)
            for link in scenario.links:
                os.link(path, os.path.join(directory, link))
            if scenario.symlink is not None:
                os.symlink(scenario.symlink, os.path.join(directory, FILE))
        return directory

    def start(self, scenario, directory, faults=None, arguments=None):
        """One run of the tool in directory: the scenario's own, or one with
        other arguments and no input; through the library when faults is
        not None ([] counts only)."""
        environment = {key: value for key, value in os.environ.items() if not key.startswith("OX_FAULT")}
        report = None
        if faults is not None:
            report = directory + ".report"
            environment.update(LD_PRELOAD=self.preload, OX_FAULT_DIR=directory, OX_FAULT_REPORT=report,
                               OX_FAULT=",".join(faults))
        stdin = scenario.stdin if arguments is None else b""
        command = [self.tool] + [a.format(dir=directory) for a in arguments or scenario.arguments]
        started = time.monotonic()
        try:
            result = subprocess.run(command, cwd=directory, env=environment, capture_output=True, input=stdin,
                                    timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            return Run(None, b"", b"", None, TIMEOUT)
        parsed = Report(report) if report is not None and os.path.exists(report) else None
        return Run(result.returncode, result.stdout, result.stderr, parsed, time.monotonic() - started)

    @staticmethod
    def contents(directory):
        path = os.path.join(directory, FILE)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as stream:
            return stream.read()

    # A problem is (what went wrong, the particulars); violations are
    # grouped by the first.
    def state_problems(self, scenario, directory):
        """What is wrong beside the file, whatever its contents."""
        problems = []
        present = set(os.listdir(directory))
        for name in [name for name in present if scenario.backup and BACKUP_NAME.fullmatch(name)]:
            present.discard(name)
            problems += self.backup_problems(scenario, os.path.join(directory, name))
        own = self.entries.get(scenario.name, present) | {FILE}
        extra = sorted(present - own)
        if extra:
            problems.append(("an entry left beside the file", ", ".join(extra)))
        path = os.path.join(directory, FILE)
        for link in scenario.links if os.path.exists(path) else ():
            other = os.path.join(directory, link)
            if not os.path.exists(other) or not os.path.samefile(path, other):
                problems.append(("a hard link is no longer the same file", link))
        if scenario.symlink is not None and (not os.path.islink(path) or os.readlink(path) != scenario.symlink):
            problems.append(("the symbolic link is no longer the link it was", FILE))
        for name, contents in scenario.beside.items():
            other = os.path.join(directory, name)
            if not os.path.isfile(other) or open(other, "rb").read() != contents:
                problems.append(("a file beside it was changed", name))
        for name in sorted(present & own):
            other = os.path.join(directory, name)
            if not os.path.isfile(other) or os.path.islink(other):
                continue
            with open(other, "rb") as stream:
                try:
                    fcntl.flock(stream, fcntl.LOCK_EX | fcntl.LOCK_NB)
                except OSError:
                    problems.append(("a file is left locked", name))
                    continue
                # Released at once: a child another thread forks may hold
                # this descriptor until it execs, and with it the lock.
                fcntl.flock(stream, fcntl.LOCK_UN)
        return problems

    @staticmethod
    def backup_problems(scenario, path):
        """A backup is the old file whole: its bytes, mode and owner."""
        status = os.lstat(path)
        with open(path, "rb") as stream:
            held = stream.read()
        wanted = (scenario.mode, *(scenario.owner or (os.getuid(), os.getgid())))
        if held != scenario.old:
            return [("a backup that is not the old file", describe(held))]
        if (status.st_mode & 0o7777, status.st_uid, status.st_gid) != wanted:
            return [("a backup with another mode or owner than the file", "%04o" % (status.st_mode & 0o7777))]
        return []

    def outcome_problems(self, scenario, directory, run, must_succeed):
        """The invariant after a run that ended by itself."""
        if run.code is None:
            return [("no exit within %d s" % TIMEOUT, "")]
        now = self.contents(directory)
        problems = []
        if run.seconds > SLOW:
            problems.append(("a run waited", "%.0f s" % run.seconds))
        if run.code == scenario.code:
            said = scenario.said.replace(b"{dir}", directory.encode())
            if run.stderr != said and not (scenario.backup and re.fullmatch(said, run.stderr)):
                problems.append(("success with other messages", repr(run.stderr)))
            if scenario.shown is not None and run.stdout != scenario.shown.replace(b"{dir}", directory.encode()):
                problems.append(("success with other output", repr(run.stdout)))
            if now != scenario.new:
                problems.append(("success, but the file holds " + kind_of(now, scenario), describe(now)))
            elif now is not None and scenario.old != scenario.new:
                status = os.stat(os.path.join(directory, FILE))
                kept = (status.st_mode & 0o7777, status.st_uid, status.st_gid)
                wanted = ((scenario.mode, *(scenario.owner or (os.getuid(), os.getgid())))
                          if scenario.old is not None else (NEW_MODE, os.getuid(), os.getgid()))
                if kept != wanted:
                    problems.append(("success, but the file's mode or owner changed",
                                     "%04o %d:%d, not %04o %d:%d" % (kept + wanted)))
        elif run.code == 1:
            # A backup made before a write that then failed is kept, and named.
            for name in os.listdir(directory) if scenario.backup else ():
                if BACKUP_NAME.fullmatch(name) and ("backup: " + name).encode() not in run.stderr:
                    problems.append(("a failed run left a backup it did not name", name))
            if must_succeed:
                problems.append(("exit 1 where the call is to be retried", last_line(run.stderr)))
            if now != scenario.old:
                problems.append(("exit 1, but the file holds " + kind_of(now, scenario), describe(now)))
        else:
            problems.append(("exit code %d" % run.code, last_line(run.stderr)))
        return problems + self.state_problems(scenario, directory)

    def after_ending_problems(self, scenario, directory, kind):
        """A run ended by a signal: old or new bytes, at once or after one
        recovery run; then an unfaulted run works and leaves nothing else."""
        problems = []
        if kind == "term":
            problems += [("after SIGTERM, " + what, particulars)
                         for what, particulars in self.state_problems(scenario, directory)]
        if self.contents(directory) not in (scenario.old, scenario.new):
            recovery = self.start(scenario, directory, arguments=["--show"])
            now = self.contents(directory)
            if now not in (scenario.old, scenario.new):
                problems.append(("after the %s and a recovery run the file holds %s" % (kind, kind_of(now, scenario)),
                                 "%s (the recovery run's exit: %s)" % (describe(now), recovery.code)))
        writer = self.start(scenario, directory)
        if writer.code not in (0, scenario.code) or self.contents(directory) != scenario.new:
            problems.append(("after the %s, the next unfaulted run fails" % kind,
                             "exit %s (%s), the file holds %s" %
                             (writer.code, last_line(writer.stderr), describe(self.contents(directory)))))
        return problems + [("after the %s and the next run, %s" % (kind, what), particulars)
                           for what, particulars in self.state_problems(scenario, directory)]

    def left_for_the_next_run(self, scenario, directory, faults, run, problems):
        """A failing unlink cannot remove what it was to remove, and a run
        that says the file may be torn keeps its old contents in a journal:
        what they leave is no violation when one recovery run (--show) puts
        the old file back and the next unfaulted writer leaves nothing else."""
        unlink_failed = any(f.split(":")[0] in ("unlink", "unlinkat") for f in faults)
        torn = run.code == 1 and b"may be torn" in run.stderr
        acceptable = LEFT_FOR_THE_NEXT_RUN if torn else LEFT_FOR_THE_NEXT_RUN[:1]
        if not problems or not (unlink_failed or torn) or \
                not all(what.startswith(acceptable) for what, _ in problems):
            return problems
        recovery = self.start(scenario, directory, arguments=["--show"])
        if torn and self.contents(directory) != scenario.old:
            return problems + [("after a torn write and a recovery run the file holds " +
                                kind_of(self.contents(directory), scenario), "exit %s" % recovery.code)]
        writer = self.start(scenario, directory)
        settled = self.contents(directory) == scenario.new and writer.code in (0, scenario.code)
        left = self.state_problems(scenario, directory)
        if settled and not left:
            return []
        return problems + [("what a failed clean-up left, the next runs do not mend", describe(self.contents(directory)))]

    def baseline(self, scenario):
        """The unfaulted run's report, or None when the scenario does not
        do what it should. Run twice: what both leave in the directory is
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

    def attempt(self, scenario, faults, baseline, show=False):
        """One faulted run and its checks: whether every fault's call was
        reached, the run's report and its exit code."""
        directory = self.prepare(scenario)
        try:
            run = self.start(scenario, directory, faults=faults)
            if show:
                print("exit %s; standard error: %r" % (run.code, run.stderr))
            operation, _, kind = faults[-1].split(":")
            self.runs[(scenario.name, "+".join(f.split(":")[2] for f in faults))] += 1
            if run.code is None:
                self.violate(scenario, faults, "no exit within %d s" % TIMEOUT, "")
                return False, None, None
            if run.report is None:
                self.violate(scenario, faults, "no report from the library",
                             "exit %s, %s" % (run.code, last_line(run.stderr)))
                return False, None, run.code
            if not all(run.report.reached.get(f, False) for f in faults):
                return False, run.report, run.code
            if run.code in ENDINGS.values() and run.code == ENDINGS.get(kind):
                problems = self.after_ending_problems(scenario, directory, kind)
            elif kind == "kill":
                problems = [("a kill was due, but the run ended otherwise", "exit %s" % run.code)]
            else:
                survivable = kind == "short" or (kind == "eintr" and operation in baseline.interruptible)
                problems = self.outcome_problems(scenario, directory, run, survivable and len(faults) == 1)
                problems = self.left_for_the_next_run(scenario, directory, faults, run, problems)
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
        chains = []
        for operation, calls in sorted(baseline.calls.items()):
            for kind in KINDS if calls else ():
                if kind != "short" or operation in baseline.shortable:
                    chains.append((kind, pool.submit(self.sweep, scenario, baseline, operation, kind)))
        # The second round. A first fault the program ignored (success,
        # the same calls as unfaulted) changes nothing that follows.
        seconds = []
        for kind, chain in chains:
            for fault, report, code in chain.result() if kind == "eio" else ():
                if code == scenario.code and report.calls == baseline.calls:
                    continue
                for second, calls in sorted(report.calls.items()):
                    for then in SECOND_KINDS if calls > report.before[second] else ():
                        # A kill before a call that changes nothing on disk
                        # leaves what one before the next call that does
                        # leaves.
                        if then != "kill" or second in baseline.changing:
                            seconds.append(pool.submit(self.sweep, scenario, baseline, second, then, [fault],
                                                       report.before[second] + 1))
        for future in [chain for _, chain in chains] + seconds:
            future.result()


def print_summary(harness, tool, preload, elapsed, every):
    kinds = sorted({kind for _, kind in harness.runs}, key=lambda k: (k.count("+"), k))
    if kinds:
        print("faulted runs per scenario and failure (a+b: a second call failed after a first):")
        print("  %-11s" % "" + "".join("%9s" % kind for kind in kinds) + "%8s" % "total")
        for scenario in SCENARIOS:
            counts = [harness.runs[(scenario.name, kind)] for kind in kinds]
            if any(counts):
                print("  %-11s" % scenario.name + "".join("%9d" % c for c in counts) + "%8d" % sum(counts))
    for name, baseline in harness.baselines.items():
        made = ", ".join("%s %d" % (op, n) for op, n in sorted(baseline.calls.items()) if n)
        beside = ", ".join(sorted(harness.entries[name] - {FILE})) or "nothing"
        print("  %s, unfaulted: %s; beside the file: %s" % (name, made, beside))
    groups = collections.OrderedDict()
    simplest_first = sorted(harness.violations, key=lambda v: (v[0], v[1], v[2].count(","), v[2]))
    for scenario, what, faults, particulars in simplest_first:
        groups.setdefault((scenario, what), []).append((faults, particulars))
    here = os.path.relpath(os.path.abspath(__file__))
    for (scenario, what), cases in groups.items():
        faults, particulars = cases[0]
        print("VIOLATION [%s] %s: %d run(s)" % (scenario, what, len(cases)))
        print("  first: %s: %s" % (faults or "unfaulted", particulars))
        listed = [f for f, _ in (cases if every else cases[:12])]
        more = "" if len(listed) == len(cases) else " and %d more (--all lists them)" % (len(cases) - len(listed))
        print("  runs: %s%s" % (" ".join(listed), more))
        print("  repeat: python3 %s --tool %s --preload %s --only %s:%s" % (here, tool, preload, scenario, faults))
    print("%d faulted runs in %.0f s: %d violation(s) of %d kind(s)" %
          (sum(harness.runs.values()), elapsed, len(harness.violations), len(groups)))


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
    if os.geteuid() != 0:
        print("not root: skipping the scenarios with a file of another owner or group")
        scenarios = [s for s in scenarios if s.owner is None]
    scratch = tempfile.mkdtemp(prefix="tarnwell-faults-")
    os.chmod(scratch, 0o755)
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
                elif not harness.attempt(scenario, only_faults.split(","), baseline, show=True)[0]:
                    print("not reached: the run made fewer calls than that")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print_summary(harness, tool, preload, time.monotonic() - started, options.all)
    return 1 if harness.violations else 0


if __name__ == "__main__":
    sys.exit(main())
