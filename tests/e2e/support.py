"""What the end-to-end tests share: where the programs under test are, and
how to start them. With TARNWELL_RUNNER set (the Windows build), every
program is started through that runner (Wine) and is a .exe."""
import os
import re
import shlex
import tempfile
import unittest

TARNWELL = os.environ.get("TARNWELL", "build/tool/tarnwell")
PROBE_DIR = os.environ.get("PROBE_DIR", "build/tests")
RUNNER = shlex.split(os.environ.get("TARNWELL_RUNNER", ""))
ON_WINDOWS = TARNWELL.lower().endswith(".exe")


def command(program, *arguments):
    """The command line that starts program with arguments."""
    return [*RUNNER, program, *arguments]


def probe(name):
    return os.path.join(PROBE_DIR, name + (".exe" if ON_WINDOWS else ""))


def native_path(path):
    """path as the program sees it: under Wine, drive Z: is the Unix root."""
    path = os.path.realpath(path)
    return "Z:" + path.replace("/", "\\") if ON_WINDOWS else path


def from_stream(text):
    """A program's standard output or error as Linux writes it: the Windows
    C runtime writes each line end of a text stream as CR LF."""
    return text.replace("\r\n", "\n") if ON_WINDOWS else text


def stored_password(directory):
    """The DatabasePassword text of directory's preferences.cfg, or None."""
    with open(os.path.join(directory, "preferences.cfg"), encoding="latin-1") as stream:
        match = re.search(r'<DatabasePassword value="([^"]*)"', stream.read())
    return match and match.group(1)


def entry(key, value):
    """One line of a preferences file as the tool writes it."""
    return '<%s value="%s" />\r\n' % (key, value)


class ScratchCase(unittest.TestCase):
    """A test run in a directory of its own (self.cwd), removed afterwards;
    self.path is the preferences file there."""

    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.cwd = self.directory.name
        self.path = os.path.join(self.cwd, "preferences.cfg")

    def tearDown(self):
        self.directory.cleanup()
