"""The tool and another writer against one preferences file, and files
that are not what the tool expects: nothing in the file is ever lost, and
no failure is reported as success."""
import fcntl
import os
import random
import resource
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

    def run_tool(self, answers=b"1\n", user=None, cwd=None, arguments=(), umask=None):
        def prepare():
            if umask is not None:
                os.umask(umask)
            if user is not None:
                as_user(user)()
        result = subprocess.run(command(TARNWELL, *arguments), cwd=cwd or self.directory, input=answers,
                                capture_output=True, timeout=30, preexec_fn=prepare)
        return result.returncode, result.stderr

    def leftovers(self):
        """What stands beside the file that is neither it, its lock nor a
        second name of it."""
        return sorted(set(os.listdir(self.directory)) - {"preferences.cfg", "preferences.cfg.lock", "second"})

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

    def test_killed_writers_leave_the_file_whole_and_nothing_beside(self):
        # Every signal that ends a writer, on a rename and in place (a second
        # name): the old file or the new one, and nothing beside it. Only
        # SIGKILL may leave a temporary, which the next writer sweeps, or a
        # journal, which the next run (--show too) puts back.
        old = entry("Keep", "1")
        value = "0123456789abcdef" * (1 << 18)
        new = old + entry("Big", value)
        writer = [probe("probe_store_writer"), self.path, "Big", "0123456789abcdef", "1", str(4 << 20)]
        endings = [signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGQUIT, signal.SIGPIPE, signal.SIGALRM,
                   signal.SIGUSR1, signal.SIGUSR2, signal.SIGXCPU, signal.SIGVTALRM, signal.SIGRTMIN]
        for in_place in [False, True]:
            for kill in endings + [signal.SIGKILL] * 4:
                with self.subTest(signal=signal.Signals(kill).name, in_place=in_place):
                    for name in os.listdir(self.directory):
                        os.remove(os.path.join(self.directory, name))
                    self.write_file(old)
                    if in_place:
                        os.link(self.path, os.path.join(self.directory, "second"))
                    process = subprocess.Popen(command(*writer), preexec_fn=no_core_dumps)
                    time.sleep(random.uniform(0.01, 0.15))
                    process.send_signal(kill)
                    process.wait(timeout=30)
                    if kill != signal.SIGKILL:
                        self.assertEqual(self.leftovers(), [])
                        self.assertIn(self.read_file(), [old, new])
                        continue
                    self.assertEqual(subprocess.run(command(TARNWELL, "--show"), cwd=self.directory,
                                                    capture_output=True).returncode, 0)
                    self.assertIn(self.read_file(), [old, new])
                    self.assertEqual(subprocess.run(command(*writer[:4])).returncode, 0)
                    self.assertEqual(self.leftovers(), [])

    def test_writers_through_a_link_share_one_lock(self):
        real = os.path.join(self.directory, "real")
        alias = os.path.join(self.directory, "alias")
        os.mkdir(real)
        os.mkdir(alias)
        target = os.path.join(real, "preferences.cfg")
        os.symlink(target, os.path.join(alias, "preferences.cfg"))
        for round in range(20):
            self.write_file(entry("Keep", str(round)), target)
            other = subprocess.Popen(command(probe("probe_store_writer"), target, "Product", str(round)))
            tool = self.run_tool(b"2\nserver\nuser\npassword\n", cwd=alias)
            self.assertEqual((tool, other.wait(timeout=30)), ((0, b""), 0), round)
            keys = [line.split(b" ")[0] for line in self.read_file(target).splitlines()]
            self.assertEqual(sorted(keys), sorted([b"<Keep", b"<Product", b"<Database", b"<DatabaseServer",
                                                   b"<DatabaseUsername", b"<DatabasePassword"]), round)
        self.assertEqual(sorted(os.listdir(real)), ["preferences.cfg", "preferences.cfg.lock"])

    def test_a_link_at_the_lock_name_is_refused(self):
        self.write_file(entry("A", "1"))
        os.symlink("preferences.cfg", self.path + ".lock")
        self.assertEqual(self.run_tool(), (1, b'Unable to write preferences file.\n"preferences.cfg": '
                                              b'"preferences.cfg.lock" is a symbolic link; the lock file must be a '
                                              b"file of its own.\n"))
        self.assertEqual(self.read_file(), entry("A", "1"))

    def test_new_files_and_their_locks_are_the_owners_alone(self):
        for mask in [0o000, 0o022, 0o077]:
            with self.subTest(umask=oct(mask)):
                for name in os.listdir(self.directory):
                    os.remove(os.path.join(self.directory, name))
                self.assertEqual(self.run_tool(umask=mask), (0, b""))
                self.assertEqual([stat.S_IMODE(os.stat(self.path + end).st_mode) for end in ["", ".lock"]],
                                 [0o600, 0o600])
        # Handed to a group by the administrator, it stays so; the lock
        # follows, never wider than the file, never writable by others.
        os.chmod(self.path, 0o666)
        self.assertEqual(self.run_tool(b"2\ns\nu\np\n"), (0, b""))
        self.assertEqual([stat.S_IMODE(os.stat(self.path + end).st_mode) for end in ["", ".lock"]],
                         [0o666, 0o664])

    @unittest.skipUnless(shutil.which("setfacl"), "needs setfacl (Debian's acl)")
    def test_the_access_control_list_and_attributes_are_kept(self):
        self.write_file(entry("A", "1"))
        os.chmod(self.path, 0o600)
        if subprocess.run(["setfacl", "-m", "u:nobody:r", self.path]).returncode != 0:
            self.skipTest("no ACLs on this file system")
        os.setxattr(self.path, "user.note", b"kept")
        acl = lambda: subprocess.run(["getfacl", "-c", "-n", self.path], capture_output=True).stdout
        before = acl()
        self.assertEqual(self.run_tool(b"2\ns\nu\np\n"), (0, b""))
        self.assertEqual((acl(), os.getxattr(self.path, "user.note")), (before, b"kept"))
        self.assertEqual(stat.S_IMODE(os.stat(self.path).st_mode), 0o640)  # the mask, as before

    def test_a_dialogue_ended_by_a_signal_leaves_no_file(self):
        for kill in [signal.SIGTERM, signal.SIGKILL]:
            with self.subTest(signal=signal.Signals(kill).name):
                tool = subprocess.Popen(command(TARNWELL), cwd=self.directory, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                tool.stdin.write(b"2\n")
                tool.stdin.flush()
                seen = b""
                while b"Enter database server:" not in seen:
                    seen += tool.stdout.read1(4096)
                tool.send_signal(kill)
                tool.wait(timeout=30)
                self.assertEqual(os.listdir(self.directory), [])

    @unittest.skipUnless(os.geteuid() == 0, "needs root to read another process's memory")
    def test_a_password_held_stays_out_of_dumps_and_memory(self):
        password = b"Zq7-unique-PASSWORD-4711"
        os.chmod(self.directory, 0o777)
        # Scripted, and the dialogue with a refused password first: each
        # waits for the lock the test holds, the password encrypted by then.
        for arguments, answers in [(["--provider=mssql", "--server=s", "--user=u", "--password-stdin"],
                                    password + b"\n"),
                                   ([], b"2\ns\nu\n" + password + b";x\n" + password + b"\n")]:
            with self.subTest(arguments=arguments):
                self.write_file(entry("A", "1"))
                self.write_file(b"", self.path + ".lock")
                for name in [self.path, self.path + ".lock"]:
                    os.chown(name, NOBODY, NOBODY)
                with open(self.path + ".lock") as lock:
                    fcntl.flock(lock, fcntl.LOCK_EX)
                    tool = subprocess.Popen(command(TARNWELL, *arguments), cwd=self.directory,
                                            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                            stderr=subprocess.PIPE, preexec_fn=as_user(NOBODY))
                    tool.stdin.write(answers)
                    tool.stdin.close()
                    time.sleep(1)  # read, encrypted, waiting for the lock
                    proc = "/proc/%d/" % tool.pid
                    # Not dumpable: its /proc files belong to root; no core either.
                    self.assertEqual(os.stat(proc + "environ").st_uid, 0)
                    self.assertRegex(open(proc + "limits").read(), r"Max core file size +0 +0 ")
                    self.assertEqual(memory_holding(tool.pid, password), [])
                    fcntl.flock(lock, fcntl.LOCK_UN)
                self.assertEqual(tool.wait(timeout=30), 0)


def no_core_dumps():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def memory_holding(pid, text):
    """The writable mappings of process pid that hold text. Huge ones (a
    sanitizer's shadow memory, mostly never touched) are left out."""
    found = []
    chunk = 1 << 24
    with open("/proc/%d/maps" % pid) as maps, open("/proc/%d/mem" % pid, "rb", 0) as memory:
        for line in maps:
            fields = line.split()
            start, end = (int(part, 16) for part in fields[0].split("-"))
            if "w" not in fields[1] or end - start > 1 << 32:
                continue
            for offset in range(start, end, chunk):
                try:
                    memory.seek(offset)
                    # A little more than the chunk, so that no match is cut in two.
                    if text in memory.read(min(chunk + len(text), end - offset)):
                        found.append(line.strip())
                        break
                except OSError:
                    break
    return found
