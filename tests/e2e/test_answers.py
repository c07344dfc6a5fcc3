"""Answers the tool refuses and prompts it cannot write: the run fails with
one clear message and the preferences file stays byte for byte."""
import os
import subprocess
import tempfile
import unittest

from support import ON_WINDOWS, TARNWELL, command, from_stream

LIMIT = 64 * 1024
OLD = b'<Database value="SQLite" />\r\n<Other value="kept" />\r\n'
UNCHANGED = " Preferences file not changed.\n"


class RefusedAnswers(unittest.TestCase):
    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.cwd = directory.name
        self.path = os.path.join(self.cwd, "preferences.cfg")
        with open(self.path, "wb") as file:
            file.write(OLD)

    def assert_file_kept(self):
        with open(self.path, "rb") as file:
            self.assertEqual(file.read(), OLD)

    def test_overlong_and_nul_answers_are_refused(self):
        too_long = 'refused: longer than %d bytes' % LIMIT
        cases = [
            (b"x" * (LIMIT + 1) + b"\n", 'Answer %s ("xxxxxxxxxxxxxxxxxxxx...").' % too_long),
            # The piece shown is cut and cannot drive the terminal.
            (b"2\n\x1b[2J" + b"s" * LIMIT + b"\nu\np\n", 'Answer %s ("?[2Jssssssssssssssss...").' % too_long),
            (b"2\ns\nu\n" + b"p" * (LIMIT + 1) + b"\n", "Password %s." % too_long),
            (b"1\0\n", "Answer refused: it contains a NUL byte."),
            (b"2\nser\0ver\nu\np\n", "Answer refused: it contains a NUL byte."),
            (b"2\ns\nu\npa\0ss\n", "Password refused: it contains a NUL byte."),
        ]
        for text, message in cases:
            with self.subTest(message=message, size=len(text)):
                result = subprocess.run(command(TARNWELL), cwd=self.cwd, input=text, capture_output=True,
                                        timeout=60)
                self.assertEqual((result.returncode, from_stream(result.stderr.decode("latin-1"))),
                                 (1, message + UNCHANGED))
                self.assert_file_kept()

    @unittest.skipIf(ON_WINDOWS, "/dev/full is a Linux device")
    def test_a_dialogue_that_cannot_be_shown_writes_nothing(self):
        for text in [b"1\n", b"2\ns\nu\np\n"]:
            with self.subTest(text=text), open("/dev/full", "wb") as full:
                result = subprocess.run(command(TARNWELL), cwd=self.cwd, input=text, stdout=full,
                                        stderr=subprocess.PIPE, timeout=60)
                self.assertEqual((result.returncode, result.stderr.decode()),
                                 (1, "Unable to write to standard output." + UNCHANGED))
                self.assert_file_kept()


if __name__ == "__main__":
    unittest.main()
