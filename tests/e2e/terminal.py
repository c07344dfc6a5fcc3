"""A program run on a real pseudo-terminal, typed at from the other side."""
import fcntl
import os
import select
import subprocess
import termios
import time

WAIT = 20


class Terminal:
    """A program whose standard input and output are a pseudo-terminal;
    the test types on the other side and keeps its own handle to the
    terminal so it can see the settings after the program is gone."""

    def __init__(self, arguments, cwd, stderr=None, own_session=True, controlling=False):
        """Without own_session the program gets a process group of its own
        in this session, where a stop signal does stop it. With controlling
        (and its own session) the terminal is the program's controlling
        terminal, so that Ctrl+C typed in line mode sends it SIGINT."""
        self.keyboard, self.terminal = os.openpty()
        self.initial_settings = termios.tcgetattr(self.terminal)
        self.output = b""
        self.process = subprocess.Popen(
            arguments, cwd=cwd, stdin=self.terminal, stdout=self.terminal,
            stderr=self.terminal if stderr is None else stderr, start_new_session=own_session,
            process_group=None if own_session else 0,
            preexec_fn=(lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0)) if controlling else None)

    def read_until(self, text, count=1):
        deadline = time.monotonic() + WAIT
        while self.output.count(text) < count:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError("no %r (%d) in %r" % (text, count, self.output))
            self.collect(remaining)

    def collect(self, timeout):
        if self.keyboard is None:
            return
        ready, _, _ = select.select([self.keyboard], [], [], timeout)
        if ready:
            try:
                self.output += os.read(self.keyboard, 4096)
            except OSError:
                pass

    def type(self, keys):
        os.write(self.keyboard, keys)

    def finish(self):
        """Waits for the program to end; returns its exit code."""
        code = self.process.wait(timeout=WAIT)
        # A loaded machine may hand over the program's last lines in more
        # than one piece: read until nothing more comes.
        while self.keyboard is not None:
            before = len(self.output)
            self.collect(0.2)
            if len(self.output) == before:
                break
        return code

    def hang_up(self):
        os.close(self.keyboard)
        self.keyboard = None

    def settings(self):
        return termios.tcgetattr(self.terminal)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=WAIT)
        for descriptor in (self.keyboard, self.terminal):
            if descriptor is not None:
                os.close(descriptor)
