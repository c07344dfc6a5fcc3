"""The framework at the edges of a process's life, proved on probe programs
whose whole life is under test: threads that outlive main, calls after the
teardown of the process-wide objects, and the crash report."""
import os
import re
import signal
import subprocess
import unittest

from support import ON_WINDOWS, ScratchCase, command, from_stream, probe

TIME = r"\d\d:\d\d:\d\d"
MONTHS = "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec"
# A race is run this many times (the fault it guards against showed in 12
# of 300 runs). Under Wine each start costs far more; under ThreadSanitizer
# too, and there every run is watched for the race itself.
RACE_RUNS = 20 if ON_WINDOWS else 300
CHECKED_RACE_RUNS = 20
# Generous: a probe that ends normally needs a fraction of a second; one
# that hangs is what these bounds catch.
BOUND = 60


class ProbeCase(ScratchCase):
    def run_probe(self, name, *arguments):
        result = subprocess.run(command(probe(name), *arguments), cwd=self.cwd, capture_output=True, text=True,
                                timeout=BOUND)
        return result.returncode, from_stream(result.stdout), from_stream(result.stderr)


class Teardown(ProbeCase):
    def race_runs(self):
        code, out, _ = self.run_probe("probe_teardown", "checker")
        self.assertEqual(code, 0)
        return CHECKED_RACE_RUNS if out == "ThreadSanitizer\n" else RACE_RUNS

    def test_thread_logging_while_main_returns_never_crashes_the_process(self):
        failures = []
        for run in range(self.race_runs()):
            code, out, err = self.run_probe("probe_teardown", "log-at-exit")
            if (code, out, err) != (0, "", ""):
                failures.append((run, code, err[-300:]))
        self.assertEqual(failures, [])

    def test_calls_after_teardown_are_refused_at_every_level(self):
        # Level 5 adds the thread lookup to each line; from 6 on the refusal
        # of a lock is itself reported through the log, which takes locks.
        for level in ["3", "5", "6", "7"]:
            with self.subTest(level=level):
                code, out, err = self.run_probe("probe_teardown", "late", level)
                self.assertEqual(code, 0, err[-500:])
                lines = err.splitlines()
                self.assertIn("main returns", lines)
                after = lines[lines.index("main returns") + 1:]
                # The table is gone: no thread is found, none read from freed
                # memory; the log's lock refuses, so nothing else is written.
                self.assertEqual(after, ["late lookup: none", "late log: done"], err[-500:])


class CrashReport(ProbeCase):
    def assert_crashed(self, code, err):
        if ON_WINDOWS:
            self.assertNotIn(code, (0, 1), err)
        else:
            self.assertEqual(code, -signal.SIGSEGV, err)
        self.assertNotIn("no crash", err)

    def report(self):
        return r"Caught an unhandled exception 0xC0000005 at 0x%s" % ("[0-9A-F]+" if ON_WINDOWS else "0")

    def test_crash_ends_the_process_even_where_the_log_could_not_be_used(self):
        # Inside an allocation the allocator's lock is held; while another
        # thread logs, the log's lock is. A report through the ordinary log
        # would wait for either for ever.
        for mode in ["in-allocation", "while-logging"]:
            with self.subTest(mode=mode):
                code, _, err = self.run_probe("probe_crash_report", mode)
                self.assert_crashed(code, err)
                self.assertRegex(err, r"(^|\n)%s %s\n" % (TIME, self.report()))

    def test_crash_report_goes_to_the_console_and_the_log_file(self):
        for mode in ["in-allocation", "while-logging"]:
            for existing in [False, True]:
                with self.subTest(mode=mode, existing=existing):
                    path = os.path.join(self.cwd, "crash-%s-%s.log" % (mode, existing))
                    if existing:
                        with open(path, "w") as stream:
                            stream.write("earlier line\n")
                    code, _, err = self.run_probe("probe_crash_report", mode, "-LF", path)
                    self.assert_crashed(code, err)
                    self.assertRegex(err, r"(^|\n)%s %s\n" % (TIME, self.report()))
                    with open(path, newline="") as stream:
                        text = from_stream(stream.read())
                    lines = text.splitlines()
                    # Appended: what was there stays, and the report is the one new line.
                    self.assertEqual(lines[:-1], ["earlier line"] if existing else [], text)
                    self.assertRegex(lines[-1], r"^(%s) \d{1,2} %s Velqor Tarnwell Utility: %s$"
                                     % (MONTHS, TIME, self.report()))

    def test_crash_report_names_the_thread_at_high_levels(self):
        code, _, err = self.run_probe("probe_crash_report", "in-allocation", "-LL5")
        self.assert_crashed(code, err)
        self.assertRegex(err, r"(^|\n)%s \[\d+ \]  %s\n" % (TIME, self.report()))


if __name__ == "__main__":
    unittest.main()
