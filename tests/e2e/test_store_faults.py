"""The tool and another writer against one preferences file, and files
that are not what the tool expects: nothing in the file is ever lost, and
no failure is reported as success."""
import os
import random
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import unittest

from support import ON_WINDOWS, TARNWELL, command, probe

BOM = b"\xef\xbb\xbf"
UNREADABLE = b'Unable to read preferences file.\n"preferences.cfg": it is not a regular file that this user may read.\n'
UNWRITABLE = b'Unable to write preferences file.\n"preferences.cfg": line %d holds text the tool does not read, ' \
    b"which a write would lose.\n"
NOBODY = 65534


def entry(key, value):
    return b'<%s value="%s" />\r\n' % (key.encode(), value.encode())


def as_user(uid):
    """A preexec_fn that drops to uid (and its group of the same number)."""
    def drop():
        os.setgroups([])
        os.setgid(uid)
        os.setuid(uid)
    return drop


@unittest.skipIf(ON_WINDOWS, "POSIX files, users and signals")
class StoreFaults(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp()
        os.chmod(self.directory, 0o755)
        self.path = os.path.join(self.directory, "preferences.cfg")

    def tearDown(self):
        shutil.rmtree(self.directory, ignore_errors=True)

    def run_tool(self, answers=b"1\n", user=None, cwd=None):
        result = subprocess.run(command(TARNWELL), cwd=cwd or self.directory, input=answers,
                                capture_output=True, timeout=30,
                                preexec_fn=as_user(user) if user is not None else None)
        return result.returncode, result.stderr

    def write_file(self, data, path=None):
        with open(path or self.path, "wb") as file:
            file.write(data)

    def read_file(self, path=None):
        with open(path or self.path, "rb") as file:
            return file.read()

    def test_byte_order_mark_and_text_beyond_the_entries(self):
        entries = entry("A", "1") + entry("B", "2")
        self.write_file(BOM + entries)
        self.assertEqual(self.run_tool(), (0, b""))
        self.assertEqual(self.read_file(), BOM + entries + entry("Database", "SQLite"))
        for foreign, line in [(b'<?xml version="1.0"?>\r\n' + entries, 1), (entries + b"# a note\r\n", 3),
                              (entry("A", "1") + b"text\r\n" + entry("B", "2"), 2)]:
            with self.subTest(foreign=foreign):
                self.write_file(foreign)
                self.assertEqual(self.run_tool(), (1, UNWRITABLE % line))
                self.assertEqual(self.read_file(), foreign)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to act as other users")
    def test_other_users_files_keep_what_they_are(self):
        # Writable but not readable: never wiped.
        os.chmod(self.directory, 0o777)
        self.write_file(entry("Secret", "1"))
        os.chown(self.path, NOBODY, NOBODY)
        os.chmod(self.path, 0o200)
        self.assertEqual(self.run_tool(user=NOBODY), (1, UNREADABLE))
        os.chmod(self.path, 0o644)
        self.assertEqual(self.read_file(), entry("Secret", "1"))
        # A directory the writer may not write: the file is written in place.
        os.chmod(self.directory, 0o755)
        self.assertEqual(self.run_tool(user=NOBODY), (0, b""))
        self.assertEqual(self.read_file(), entry("Secret", "1") + entry("Database", "SQLite"))
        # Another user's file in a shared directory keeps its owner.
        os.chmod(self.directory, 0o777)
        os.chmod(self.path, 0o666)
        self.assertEqual(self.run_tool(b"2\ns\nu\np\n", user=NOBODY - 1), (0, b""))
        status = os.stat(self.path)
        self.assertEqual((status.st_uid, status.st_gid), (NOBODY, NOBODY))

    @unittest.skipUnless(os.geteuid() == 0, "needs root to plant another user's link")
    def test_planted_link_in_a_sticky_directory_is_refused(self):
        target = os.path.join(self.directory, "target")
        self.write_file(entry("Root", "1"), target)
        shared = os.path.join(self.directory, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        planted = os.path.join(shared, "preferences.cfg")
        os.symlink(target, planted)
        os.lchown(planted, NOBODY, NOBODY)
        self.assertEqual(self.run_tool(cwd=shared), (1, UNREADABLE))
        self.assertEqual(self.read_file(target), entry("Root", "1"))

    def test_what_is_not_a_regular_file_is_refused_at_once(self):
        os.mkfifo(self.path)
        self.assertEqual(self.run_tool(), (1, UNREADABLE))
        self.assertTrue(stat.S_ISFIFO(os.lstat(self.path).st_mode))

    def test_input_ending_leaves_the_directory_as_it_was(self):
        for answers in [b"", b"2\nserver\n"]:
            with self.subTest(answers=answers):
                code, _ = self.run_tool(answers)
                self.assertEqual((code, os.listdir(self.directory)), (1, []))

    def test_hard_links_stay_one_file(self):
        self.write_file(entry("A", "1"))
        other = os.path.join(self.directory, "other-name.cfg")
        os.link(self.path, other)
        self.assertEqual(self.run_tool(), (0, b""))
        self.assertEqual(self.read_file(other), entry("A", "1") + entry("Database", "SQLite"))
        self.assertEqual(os.stat(other).st_nlink, 2)

    def test_concurrent_writers_lose_no_update(self):
        deadline = time.monotonic() + 20
        for round in range(60):
            if time.monotonic() > deadline:
                break
            self.write_file(entry("Keep", str(round)))
            writer = subprocess.Popen(command(probe("probe_store_writer"), self.path, "Product", str(round)))
            tool = self.run_tool(b"2\nserver\nuser\npassword\n")
            self.assertEqual((tool, writer.wait(timeout=30)), ((0, b""), 0), round)
            keys = [line.split(b" ")[0] for line in self.read_file().splitlines()]
            self.assertEqual(sorted(keys), sorted([b"<Keep", b"<Product", b"<Database", b"<DatabaseServer",
                                                   b"<DatabaseUsername", b"<DatabasePassword"]), round)

    def test_killed_writers_leave_no_temporary_file(self):
        self.write_file(entry("Keep", "1"))
        writer = [probe("probe_store_writer"), self.path, "Big", "0123456789abcdef", "1000", str(4 << 20)]
        for kill in [signal.SIGTERM, signal.SIGINT, signal.SIGHUP] * 5 + [signal.SIGKILL]:
            process = subprocess.Popen(command(*writer))
            time.sleep(random.uniform(0.02, 0.3))
            process.send_signal(kill)
            process.wait(timeout=30)
        leftovers = [name for name in os.listdir(self.directory) if name.startswith(".preferences.cfg.")]
        if leftovers:  # only the SIGKILL can leave one; the next writer clears it
            self.assertEqual(subprocess.run(command(*writer[:4])).returncode, 0)
        self.assertEqual([name for name in os.listdir(self.directory) if name.startswith(".")], [])
        self.assertIn(entry("Keep", "1"), self.read_file())


if __name__ == "__main__":
    unittest.main()
