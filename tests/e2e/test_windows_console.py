"""Hidden answers typed at a Windows console (Wine's, on a pseudo-terminal):
read key by key with _getch, never echoed, edited by backspace, and stored
exactly as the same answer piped in."""
import re
import subprocess
import tempfile
import termios
import time
import unittest

from support import ON_WINDOWS, TARNWELL, command, probe, stored_password

if not ON_WINDOWS:
    raise unittest.SkipTest("the Windows console is tested in the Windows build")

from terminal import WAIT, Terminal  # noqa: E402  (needs a POSIX host, as the Windows build has)

CURSOR_FORWARD = re.compile(rb"\x1b\[(\d*)C")
OTHER_CONTROL = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]")


def screen_text(output):
    """What Wine's console drew, as plain text: it moves the cursor over
    blanks instead of writing them."""
    text = CURSOR_FORWARD.sub(lambda match: b" " * int(match.group(1) or 1), output)
    return OTHER_CONTROL.sub(b"", text)


class ConsoleCase(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.cwd = self.directory.name

    def start(self, arguments, stderr=None):
        terminal = Terminal(command(*arguments), self.cwd, stderr)
        self.addCleanup(terminal.close)
        return terminal

    def wait_for_text(self, terminal, text):
        """Waits for text on the screen and for Wine's console to take the
        keyboard: until it switches the terminal to raw keys, the terminal
        itself would echo and translate them."""
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            raw = not termios.tcgetattr(terminal.terminal)[3] & termios.ECHO
            if raw and text in screen_text(terminal.output):
                return
            terminal.collect(0.1)
        self.assertIn(text, screen_text(terminal.output))
        self.fail("the console never took the keyboard")


class HiddenAnswers(ConsoleCase):
    def probe_answer(self, keys):
        errors = tempfile.TemporaryFile()
        self.addCleanup(errors.close)
        terminal = self.start([probe("probe_console")], stderr=errors)
        self.wait_for_text(terminal, b">")
        terminal.type(keys)
        self.assertEqual(terminal.finish(), 0)
        errors.seek(0)
        return errors.read().decode().split(), screen_text(terminal.output)

    def test_keys_are_not_echoed_and_backspace_edits(self):
        reports, screen = self.probe_answer(b"sx\x7fecret\r")
        self.assertEqual(reports, ["answer:" + b"secret".hex()])
        self.assertNotIn(b"ecret", screen)

    def test_cursor_and_function_keys_add_nothing(self):
        # Left, Delete, Home (224 and a code from the console), F1 (0 and a code).
        reports, _ = self.probe_answer(b"se\x1b[Dcr\x1b[3~e\x1b[Ht\x1bOP\r")
        self.assertEqual(reports, ["answer:" + b"secret".hex()])

    # Ctrl+C is left out: Wine's console turns it into a control event,
    # where Windows hands _getch the key itself.


class ToolDialogue(ConsoleCase):
    def test_password_typed_at_the_console_is_stored_as_from_a_pipe(self):
        terminal = self.start([TARNWELL])
        for prompt, answer in [(b"Choose database provider", b"2\r"), (b"Enter database server", b"server\r"),
                               (b"Enter database user name", b"user\r"), (b"Enter database password", b"secret\r")]:
            self.wait_for_text(terminal, prompt)
            terminal.type(answer)
        self.assertEqual(terminal.finish(), 0)
        self.assertNotIn(b"secret", screen_text(terminal.output))
        typed = stored_password(self.cwd)

        with tempfile.TemporaryDirectory() as piped:
            subprocess.run(command(TARNWELL), cwd=piped, input=b"2\nserver\nuser\nsecret\n",
                           capture_output=True, timeout=WAIT)
            self.assertEqual(typed, stored_password(piped))
        self.assertEqual(typed, "F84EF1270BEA6F836C")


if __name__ == "__main__":
    unittest.main()
