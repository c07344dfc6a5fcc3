"""The framework at the edges of a process's life, proved on probe programs
whose whole life is under test: threads that outlive main and calls after
the teardown of the process-wide objects."""
import subprocess
import tempfile
import unittest

from support import ON_WINDOWS, command, from_stream, probe

# A race is run this many times; under Wine each start costs far more.
RACE_RUNS = 20 if ON_WINDOWS else 300
# Generous: a probe that ends normally needs a fraction of a second; one
# that hangs is what these bounds catch.
BOUND = 60


class ProbeCase(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.cwd = self.directory.name

    def tearDown(self):
        self.directory.cleanup()

    def run_probe(self, name, *arguments):
        result = subprocess.run(command(probe(name), *arguments), cwd=self.cwd, capture_output=True, text=True,
                                timeout=BOUND)
        return result.returncode, from_stream(result.stdout), from_stream(result.stderr)


class Teardown(ProbeCase):
    def test_thread_logging_while_main_returns_never_crashes_the_process(self):
        failures = []
        for run in range(RACE_RUNS):
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


if __name__ == "__main__":
    unittest.main()
