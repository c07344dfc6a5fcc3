"""File names given to the Windows build on its command line: one that the
ANSI code page cannot hold would reach the program as a look-alike (a
"best fit") and name another file, so it is refused and nothing is
written; one that the code page holds is written under its own name."""
import os
import subprocess
import tempfile
import unittest

from support import ON_WINDOWS, TARNWELL, command, from_stream

if not ON_WINDOWS:
    raise unittest.SkipTest("the ANSI code page is Windows'")


class CommandLineNames(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.cwd = self.directory.name
        os.mkdir(os.path.join(self.cwd, "sub"))

    def run_tool(self, name):
        run = subprocess.run(command(TARNWELL, "--provider=sqlite", "--file=" + name), cwd=self.cwd,
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        # The program writes in the ANSI code page: Wine's is 1252 here.
        return run.returncode, from_stream(run.stderr.decode("cp1252"))

    def files(self):
        return sorted(os.path.relpath(os.path.join(folder, name), self.cwd)
                      for folder, _, names in os.walk(self.cwd) for name in names)

    def test_a_name_outside_the_code_page_is_refused(self):
        # a with macron, the division slash and the fullwidth backslash:
        # best fit makes them a, \ and \.
        for name in ["pr\u0101fs.cfg", "sub\u2215p.cfg", "sub\uff3cq.cfg"]:
            with self.subTest(name=name):
                code, err = self.run_tool(name)
                self.assertEqual(code, 1, err)
                self.assertIn("code page", err)
                self.assertEqual(self.files(), [])

    def test_a_name_the_code_page_holds_is_written_as_named(self):
        code, err = self.run_tool("pr\u00e8fs.cfg")
        self.assertEqual((code, err), (0, "changed: pr\u00e8fs.cfg\n"))
        self.assertEqual(self.files(), ["pr\u00e8fs.cfg", "pr\u00e8fs.cfg.lock"])


if __name__ == "__main__":
    unittest.main()
