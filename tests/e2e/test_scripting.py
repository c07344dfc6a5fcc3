"""The options for scripts and fleets: --provider, --server, --user,
--password-stdin, --password-file, --show, --file, --check and
--detailed-exitcode. Exact texts on both streams, the file left behind (or
untouched: same bytes, same identity and times) and the exit code, for
every option and every bad combination. Runs on Linux and, through Wine,
for the Windows build."""
import os
import re
import stat
import subprocess
import unittest

from support import ON_WINDOWS, ScratchCase, TARNWELL, command, entry, from_stream, native_path

QUESTION = "Choose database provider to use:\n\t1. SQLite\n\t2. MSSQL\n> "
# "secret" as the dialogue stores it (README, "Password format").
SECRET = "F84EF1270BEA6F836C"
NOT_CHANGED = " Preferences file not changed.\n"
TIME = r"\d\d:\d\d:\d\d"


SQLITE_FILE = entry("Database", "SQLite")
NOT_REGULAR = '"preferences.cfg": it is not a regular file that this user may read.\n'
MSSQL_FILE = (entry("Database", "MSSQL") + entry("DatabaseServer", "DB&#x5C;SQL")
              + entry("DatabaseUsername", "sa") + entry("DatabasePassword", SECRET))
MSSQL = ["--provider=mssql", "--server=DB\\SQL", "--user=sa"]


class ScriptingCase(ScratchCase):
    def run_tool(self, *arguments, stdin=""):
        data = stdin if isinstance(stdin, bytes) else stdin.encode("latin-1")
        result = subprocess.run(command(TARNWELL, *arguments), cwd=self.cwd, input=data,
                                capture_output=True, timeout=60)
        return (result.returncode, from_stream(result.stdout.decode("latin-1")),
                from_stream(result.stderr.decode("latin-1")))

    def write_file(self, text, path=None):
        with open(path or self.path, "wb") as file:
            file.write(text if isinstance(text, bytes) else text.encode("latin-1"))
        if not ON_WINDOWS:
            os.chmod(path or self.path, 0o600)

    def read_file(self, path=None):
        with open(path or self.path, "rb") as file:
            return file.read().decode("latin-1")

    def identity(self, path=None):
        """What tells one version of the file from another."""
        status = os.stat(path or self.path)
        return (status.st_ino, status.st_size, status.st_mtime_ns, status.st_ctime_ns)

    def listing(self):
        return sorted(os.listdir(self.cwd))

    def assert_untouched(self, run, before_listing, before_bytes=None, before_identity=None):
        """run ended with exit code 1, nothing on standard output, and left
        the directory (and the file) as it was."""
        self.assertEqual((run[0], run[1]), (1, ""), run)
        self.assertEqual(self.listing(), before_listing, run)
        if before_bytes is not None:
            self.assertEqual(self.read_file(), before_bytes)
            self.assertEqual(self.identity(), before_identity)


class SettingWithoutQuestions(ScriptingCase):
    def test_every_spelling_of_the_provider_sets_it_without_a_question(self):
        cases = [(["--provider=" + name], "", SQLITE_FILE) for name in ["sqlite", "SQLite", "SQLITE", "1"]]
        cases += [(["--provider=" + name, "--server=DB\\SQL", "--user=sa", "--password-stdin"], "secret\n",
                   MSSQL_FILE) for name in ["mssql", "MSSQL", "MsSql", "2"]]
        for arguments, stdin, expected in cases:
            with self.subTest(arguments=arguments):
                if os.path.exists(self.path):
                    os.remove(self.path)
                self.assertEqual(self.run_tool(*arguments, stdin=stdin), (0, "", "changed: preferences.cfg\n"))
                self.assertEqual(self.read_file(), expected)

    def test_sqlite_removes_the_server_keys_and_keeps_the_others(self):
        self.write_file(entry("Other", "1") + MSSQL_FILE + entry("Last", "2"))
        self.assertEqual(self.run_tool("--provider=sqlite"), (0, "", "changed: preferences.cfg\n"))
        self.assertEqual(self.read_file(), entry("Other", "1") + SQLITE_FILE + entry("Last", "2"))

    def test_mssql_keeps_other_keys_and_places(self):
        self.write_file("\xEF\xBB\xBF" + entry("Other", "1") + SQLITE_FILE)
        self.assertEqual(self.run_tool(*MSSQL, "--password-stdin", stdin="secret\n"),
                         (0, "", "changed: preferences.cfg\n"))
        self.assertEqual(self.read_file(), "\xEF\xBB\xBF" + entry("Other", "1") + MSSQL_FILE)

    def test_the_password_is_one_line_of_stdin_or_of_a_file(self):
        # Every form gives "secret": LF, CR LF, no line end, a CR at the
        # very end; only the first line counts.
        for text in ["secret\n", "secret\r\n", "secret", "secret\r", "secret\nsecond line\n",
                     "secret\r\nsecond\r\n"]:
            for source in ["--password-stdin", "--password-file"]:
                with self.subTest(text=text, source=source):
                    if os.path.exists(self.path):
                        os.remove(self.path)
                    if source == "--password-stdin":
                        run = self.run_tool(*MSSQL, source, stdin=text)
                    else:
                        password_file = os.path.join(self.cwd, "password.txt")
                        self.write_file(text, password_file)
                        run = self.run_tool(*MSSQL, "--password-file=password.txt")
                        os.remove(password_file)
                    self.assertEqual(run, (0, "", "changed: preferences.cfg\n"))
                    self.assertEqual(self.read_file(), MSSQL_FILE)

    def test_a_value_that_holds_a_reference_reads_back_as_given(self):
        arguments = ["--provider=mssql", "--server=A&#x42;C&amp;D", "--user=sa", "--password-stdin"]
        self.assertEqual(self.run_tool(*arguments, stdin="secret\n"), (0, "", "changed: preferences.cfg\n"))
        self.assertIn(entry("DatabaseServer", "A&amp;#x42;C&amp;amp;D"), self.read_file())
        self.assertIn("Server: A&#x42;C&amp;D\n", self.run_tool("--show")[1])

    def test_the_password_file_may_be_named_by_its_full_path(self):
        password_file = os.path.join(self.cwd, "secret.txt")
        self.write_file("secret\n", password_file)
        self.assertEqual(self.run_tool(*MSSQL, "--password-file=" + native_path(password_file)),
                         (0, "", "changed: preferences.cfg\n"))
        self.assertEqual(self.read_file(), MSSQL_FILE)


class Idempotence(ScriptingCase):
    def test_the_same_settings_again_write_nothing(self):
        for arguments, stdin in [(["--provider=sqlite"], ""), (MSSQL + ["--password-stdin"], "secret\n")]:
            with self.subTest(arguments=arguments):
                self.write_file(entry("Other", "1"))
                self.assertEqual(self.run_tool(*arguments, stdin=stdin), (0, "", "changed: preferences.cfg\n"))
                written, before = self.read_file(), self.identity()
                self.assertEqual(self.run_tool(*arguments, stdin=stdin), (0, "", "unchanged: preferences.cfg\n"))
                self.assertEqual((self.read_file(), self.identity()), (written, before))

    def test_detailed_exit_codes_tell_changed_from_unchanged(self):
        runs = [(["--provider=sqlite"], "", 2, "changed"),
                (["--provider=1"], "", 0, "unchanged"),
                (MSSQL + ["--password-stdin"], "secret\n", 2, "changed"),
                (MSSQL + ["--password-stdin"], "secret\r\n", 0, "unchanged"),
                (["--provider=mssql", "--server=OTHER", "--user=sa", "--password-stdin"], "secret\n", 2, "changed"),
                (["--provider=sqlite"], "", 2, "changed")]
        for arguments, stdin, code, said in runs:
            with self.subTest(arguments=arguments):
                self.assertEqual(self.run_tool(*arguments, "--detailed-exitcode", stdin=stdin),
                                 (code, "", said + ": preferences.cfg\n"))
        self.assertEqual(self.read_file(), SQLITE_FILE)

    def test_same_values_in_other_bytes_are_rewritten(self):
        # LF line ends, no blank after a comment, an escape spelt otherwise:
        # the values are the same, the bytes are not.
        for text, rewritten in [(SQLITE_FILE.replace("\r\n", "\n"), SQLITE_FILE),
                                ("<!-- c -->" + SQLITE_FILE, "<!-- c --> " + SQLITE_FILE),
                                (entry("Database", "SQ&#x4C;ite"), SQLITE_FILE)]:
            with self.subTest(text=text):
                self.write_file(text)
                self.assertEqual(self.run_tool("--provider=sqlite", "--detailed-exitcode"),
                                 (2, "", "changed: preferences.cfg\n"))
                self.assertEqual(self.read_file(), rewritten)

    def test_comments_are_kept_and_go_only_with_their_key(self):
        note = "<!-- managed by fleet -->\r\n"
        self.write_file(note + MSSQL_FILE)
        self.assertEqual(self.run_tool(*MSSQL, "--password-stdin", stdin="secret\n"),
                         (0, "", "unchanged: preferences.cfg\n"))
        server = entry("DatabaseServer", "DB&#x5C;SQL")
        self.write_file(note + MSSQL_FILE.replace(server, server[:-2] + " <!-- old host -->\r\n"))
        self.assertEqual(self.run_tool("--provider=sqlite"), (0, "", "changed: preferences.cfg\n"))
        self.assertEqual(self.read_file(), note + SQLITE_FILE)

    def test_check_tells_without_writing(self):
        check = " (--check, nothing written): preferences.cfg\n"
        # A missing file would be created: nothing is, not even the lock file.
        self.assertEqual(self.run_tool("--provider=sqlite", "--check"), (0, "", "changed" + check))
        self.assertEqual(self.run_tool("--provider=sqlite", "--check", "--detailed-exitcode"),
                         (2, "", "changed" + check))
        self.assertEqual(self.listing(), [])
        self.write_file(MSSQL_FILE)
        before = self.identity()
        for arguments, stdin, code, said in [
                (MSSQL + ["--password-stdin"], "secret\n", 0, "unchanged"),
                (MSSQL + ["--password-stdin"], "other\n", 2, "changed"),
                (["--provider=sqlite"], "", 2, "changed")]:
            with self.subTest(arguments=arguments, stdin=stdin):
                self.assertEqual(self.run_tool(*arguments, "--check", "--detailed-exitcode", stdin=stdin),
                                 (code, "", said + check))
                self.assertEqual((self.read_file(), self.identity()), (MSSQL_FILE, before))
        self.assertEqual(self.listing(), ["preferences.cfg"])

    def test_without_detailed_exit_codes_changed_and_unchanged_exit_0(self):
        self.assertEqual(self.run_tool("--provider=sqlite", "--check")[0], 0)
        self.assertEqual(self.run_tool("--provider=sqlite")[0], 0)
        self.assertEqual(self.run_tool("--provider=sqlite")[0], 0)


class FileOption(ScriptingCase):
    def test_every_mode_uses_the_file_named(self):
        os.mkdir(os.path.join(self.cwd, "sub"))
        other = os.path.join(self.cwd, "sub", "server.cfg")
        for name in ["sub/server.cfg", native_path(other)]:
            with self.subTest(name=name):
                if os.path.exists(other):
                    os.remove(other)
                # The dialogue: the same texts, another file.
                self.assertEqual(self.run_tool("--file=" + name, stdin="1\n"), (0, QUESTION, ""))
                self.assertEqual(self.read_file(other), SQLITE_FILE)
                self.assertEqual(self.run_tool("--file=" + name, *MSSQL, "--password-stdin", stdin="secret\n"),
                                 (0, "", "changed: %s\n" % name))
                self.assertEqual(self.read_file(other), MSSQL_FILE)
                if not ON_WINDOWS:
                    os.chmod(other, 0o600)
                code, out, err = self.run_tool("--show", "--file=" + name)
                self.assertEqual((code, err), (0, ""))
                self.assertEqual(out.splitlines()[0], "File: " + native_path(other))
                self.assertEqual(self.listing(), ["sub"])

    def test_dialogue_with_a_file_in_a_missing_directory_fails_as_before(self):
        missing = ('Unable to read preferences file.\n"missing/x.cfg": there is no such file, '
                   "and it cannot be created there.\n")
        self.assertEqual(self.run_tool("--file=missing/x.cfg", stdin="1\n"), (1, "", missing))
        self.assertEqual(self.run_tool("--file=missing/x.cfg", "--provider=sqlite"), (1, "", missing))
        self.assertEqual(self.listing(), [])


class Show(ScriptingCase):
    def show_lines(self, provider, server, user, password):
        return ("File: %s\nProvider: %s\nServer: %s\nUser: %s\nPassword: %s\n"
                % (native_path(self.path), provider, server, user, password))

    def test_show_prints_the_settings_and_never_the_password(self):
        cases = [
            (MSSQL_FILE, ("MSSQL", "DB\\SQL", "sa", "set")),
            (SQLITE_FILE, ("SQLite", "not set", "not set", "not set")),
            ("", ("not set", "not set", "not set", "not set")),
            # A byte-order mark, foreign keys and other spellings of the keys.
            ("\xEF\xBB\xBF" + entry("Foreign", "x") + entry("database", "MSSQL") + entry("DATABASESERVER", "h")
             + entry("Other:Key", "y"), ("MSSQL", "h", "not set", "not set")),
            (entry("Database", "MSSQL") + entry("DatabasePassword", ""), ("MSSQL", "not set", "not set", "not set")),
            # A value cannot drive the terminal.
            (entry("Database", "MS&#x1B;[2J") + entry("DatabaseUsername", "a&#x0A;b"),
             ("MS?[2J", "not set", "a?b", "not set")),
        ]
        for text, values in cases:
            with self.subTest(text=text):
                self.write_file(text)
                before = self.identity()
                self.assertEqual(self.run_tool("--show"), (0, self.show_lines(*values), ""))
                self.assertEqual((self.read_file(), self.identity()), (text, before))
                self.assertNotIn(SECRET, self.run_tool("--show")[1])
                self.assertEqual(self.listing(), ["preferences.cfg"])

    def test_show_without_a_readable_file_fails_and_creates_nothing(self):
        self.assertEqual(self.run_tool("--show"),
                         (1, "", 'There is no preferences file "preferences.cfg".\n'))
        self.assertEqual(self.listing(), [])
        os.mkdir(self.path)
        self.assertEqual(self.run_tool("--show"), (1, "", "Unable to read preferences file.\n" + NOT_REGULAR))
        os.rmdir(self.path)
        unread = ('Unable to read preferences file.\n"preferences.cfg": line %d holds text the tool does not '
                  "read, so the file cannot be shown whole.\n")
        # Never a wrong "not set" for a key beyond text the reader stops at.
        for text, message in [
                (entry("Database", "SQLite") + "<Broken value=\"x />\r\n",
                 'Unable to read preferences file.\n"preferences.cfg": line 2 holds an entry or comment that is not '
                 "well formed.\n"),
                ('<?xml version="1.0"?>\r\n' + MSSQL_FILE, unread % 1),
                (entry("Database", "SQLite") + "plain words\r\n" + entry("DatabaseServer", "h"), unread % 2),
                ("\xFF\xFE<\x00D\x00", unread % 1)]:
            with self.subTest(text=text):
                self.write_file(text)
                self.assertEqual(self.run_tool("--show"), (1, "", message))

    @unittest.skipIf(ON_WINDOWS, "POSIX file modes")
    def test_show_warns_when_group_or_others_may_read_the_file(self):
        # Only a stored password makes it matter.
        self.write_file(SQLITE_FILE)
        os.chmod(self.path, 0o644)
        self.assertEqual(self.run_tool("--show")[::2], (0, ""))
        self.write_file(MSSQL_FILE)
        for mode, warned in [(0o600, False), (0o640, True), (0o604, True), (0o400, False), (0o644, True)]:
            with self.subTest(mode=oct(mode)):
                os.chmod(self.path, mode)
                code, out, err = self.run_tool("--show")
                self.assertEqual((code, out), (0, self.show_lines("MSSQL", "DB\\SQL", "sa", "set")))
                warning = ('Warning: "preferences.cfg" can be read by group or others (mode %04o); '
                           "whoever reads it can decrypt the password.\n" % mode)
                self.assertEqual(err, warning if warned else "")

    @unittest.skipIf(ON_WINDOWS or os.geteuid() == 0, "root reads every file")
    def test_show_of_a_file_it_may_not_read_fails(self):
        self.write_file(MSSQL_FILE)
        os.chmod(self.path, 0)
        self.assertEqual(self.run_tool("--show"), (1, "", "Unable to read preferences file.\n" + NOT_REGULAR))


class BadCombinations(ScriptingCase):
    """Every one ends with exit code 1, one line on standard error, nothing
    on standard output, and the directory as it was (with or without a
    file in it)."""
    CASES = [
        # Values missing or wrong.
        (["--provider"], "", "--provider needs a value: --provider=sqlite or --provider=mssql.\n"),
        (["--provider="], "", "--provider needs a value: --provider=sqlite or --provider=mssql.\n"),
        (["--provider=oracle"], "", 'Unknown database provider "oracle": use --provider=sqlite or --provider=mssql.\n'),
        (["--provider=3"], "", 'Unknown database provider "3": use --provider=sqlite or --provider=mssql.\n'),
        (["--provider= sqlite"], "", 'Unknown database provider " sqlite": use --provider=sqlite or '
                                     "--provider=mssql.\n"),
        (["--provider=mssql", "--server", "--user=sa", "--password-stdin"], "secret\n",
         "--server needs a value: --server=NAME.\n"),
        (["--provider=mssql", "--server=", "--user=sa", "--password-stdin"], "secret\n",
         "--server needs a value: --server=NAME.\n"),
        (["--provider=mssql", "--server=h", "--user=", "--password-stdin"], "secret\n",
         "--user needs a value: --user=NAME.\n"),
        (["--provider=mssql", "--server=h", "--user=sa", "--password-file"], "",
         "--password-file needs a value: --password-file=PATH.\n"),
        (["--file", "--show"], "", "--file needs a value: --file=PATH.\n"),
        (["--provider=mssql", "--server=a\nb", "--user=sa", "--password-stdin"], "secret\n",
         "--server refused: it contains a line break.\n"),
        (["--show=yes"], "", "--show takes no value.\n"),
        (["--provider=sqlite", "--check=1"], "", "--check takes no value.\n"),
        (["--provider=mssql", "--server=h", "--user=sa", "--password-stdin=secret"], "",
         "--password-stdin takes no value.\n"),
        (["--provider=sqlite", "--provider=mssql"], "", "--provider is given twice.\n"),
        (["--provider=mssql", "--server=a", "--server=b", "--user=sa", "--password-stdin"], "secret\n",
         "--server is given twice.\n"),
        # SQL Server needs all three.
        (["--provider=mssql"], "", "Missing for --provider=mssql: --server=NAME; --user=NAME; the password "
                                   "(--password-stdin or --password-file=PATH).\n"),
        (["--provider=mssql", "--server=h", "--password-stdin"], "secret\n",
         "Missing for --provider=mssql: --user=NAME.\n"),
        (["--provider=mssql", "--server=h", "--user=sa"], "",
         "Missing for --provider=mssql: the password (--password-stdin or --password-file=PATH).\n"),
        (["--provider=mssql", "--user=sa", "--password-stdin"], "secret\n",
         "Missing for --provider=mssql: --server=NAME.\n"),
        # Options without the provider they belong to, or with the wrong one.
        (["--server=h"], "", "--server needs --provider=mssql.\n"),
        (["--user=sa"], "", "--user needs --provider=mssql.\n"),
        (["--password-stdin"], "secret\n", "--password-stdin needs --provider=mssql.\n"),
        (["--password-file=p"], "", "--password-file needs --provider=mssql.\n"),
        (["--check"], "", "--check needs --provider.\n"),
        (["--detailed-exitcode"], "", "--detailed-exitcode needs --provider.\n"),
        (["--provider=sqlite", "--server=h"], "", "--server is not used with --provider=sqlite.\n"),
        (["--provider=1", "--user=sa"], "", "--user is not used with --provider=sqlite.\n"),
        (["--provider=sqlite", "--password-stdin"], "secret\n",
         "--password-stdin is not used with --provider=sqlite.\n"),
        (MSSQL + ["--password-stdin", "--password-file=p"], "secret\n",
         "--password-stdin and --password-file cannot be combined: give the password one way.\n"),
        (["--show", "--provider=sqlite"], "", "--show cannot be combined with --provider.\n"),
        (["--server=h", "--show"], "", "--show cannot be combined with --server.\n"),
        (["--show", "--check"], "", "--show cannot be combined with --check.\n"),
        (["--show", "--detailed-exitcode"], "", "--show cannot be combined with --detailed-exitcode.\n"),
        # Passwords that cannot be taken.
        (MSSQL + ["--password-stdin"], "", "--password-stdin: standard input holds no password." + NOT_CHANGED),
        (MSSQL + ["--password-stdin", "--detailed-exitcode"], "",
         "--password-stdin: standard input holds no password." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "\n", "Password refused: it is empty." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "\r\n", "Password refused: it is empty." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "se;cret\n", "; is not allowed in a password for MSSQL." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "sec\rret\n",
         "Password refused: it contains a carriage return (CR) before its line end." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "secret\r\r\n",
         "Password refused: it contains a carriage return (CR) before its line end." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "sec\0ret\n", "Password refused: it contains a NUL byte." + NOT_CHANGED),
        (MSSQL + ["--password-stdin"], "x" * 65537 + "\n",
         "Password refused: longer than 65536 bytes." + NOT_CHANGED),
        (MSSQL + ["--password-file=absent.txt"], "",
         '--password-file: there is no file "absent.txt".' + NOT_CHANGED),
        (MSSQL + ["--password-file=adir"], "",
         '--password-file: "adir" is not a regular file that can be read.' + NOT_CHANGED),
        (MSSQL + ["--password-file=empty.txt"], "", '--password-file: "empty.txt" is empty.' + NOT_CHANGED),
        (MSSQL + ["--password-file=blank.txt"], "", "Password refused: it is empty." + NOT_CHANGED),
        (MSSQL + ["--password-file=semicolon.txt"], "", "; is not allowed in a password for MSSQL." + NOT_CHANGED),
        (MSSQL + ["--password-file=zero.txt"], "", "Password refused: it contains a NUL byte." + NOT_CHANGED),
        (MSSQL + ["--password-file=long.txt"], "", "Password refused: longer than 65536 bytes." + NOT_CHANGED),
    ]
    FILES = {"empty.txt": "", "blank.txt": "\r\nsecret\n", "semicolon.txt": "a;b\n", "zero.txt": "a\0b\n",
             "long.txt": "y" * 65537 + "\r\n"}

    def prepare(self):
        os.mkdir(os.path.join(self.cwd, "adir"))
        for name, text in self.FILES.items():
            self.write_file(text, os.path.join(self.cwd, name))

    def test_bad_combinations_write_nothing(self):
        self.prepare()
        for with_file in [False, True]:
            if with_file:
                self.write_file(entry("Other", "1") + SQLITE_FILE)
            before_listing = self.listing()
            before = (self.read_file(), self.identity()) if with_file else (None, None)
            for arguments, stdin, error in self.CASES:
                if ON_WINDOWS and "\n" in "".join(arguments):
                    continue  # a Windows command line carries no line break through Wine
                with self.subTest(arguments=arguments, stdin=stdin[:20], with_file=with_file):
                    run = self.run_tool(*arguments, stdin=stdin)
                    self.assertEqual(run[2], error)
                    self.assert_untouched(run, before_listing, *before)

    def test_unknown_long_options_are_unknown_options(self):
        near = "Did you mean --show?\n"
        for arguments, reported, hint in [
                (["--bogus"], "--bogus", ""), (["--provider=sqlite", "--Show"], "--Show", near),
                (["--provider", "--show"], None, None), (["--", "--provider=sqlite"], "--", ""),
                (["--provider=sqlite", "sqlite"], "sqlite", ""),
                (["--provder=mssql"], "--provder=mssql", "Did you mean --provider=?\n"),
                (["--provider=sqlite", "--dif"], "--dif", "Did you mean --diff?\n"),
                (["--provider=sqlite", "--formt", "json"], "--formt", "Did you mean --format=?\n"),
                (["-show"], "-show", near)]:
            with self.subTest(arguments=arguments):
                code, out, err = self.run_tool(*arguments)
                self.assertEqual((code, out), (1, ""))
                if reported is None:
                    # The next argument is an option, not the value.
                    self.assertEqual(err, "--provider needs a value: --provider=sqlite or --provider=mssql.\n")
                else:
                    self.assertRegex(err, r'^%s Unknown option "%s"\.\n%sTry \'tarnwell --help\'\.\n$'
                                     % (TIME, re.escape(reported), re.escape(hint)))
                self.assertEqual(self.listing(), [])

    @unittest.skipIf(ON_WINDOWS, "a Windows command line holds at most 32767 characters")
    def test_overlong_values_are_refused_as_answers_are(self):
        for option in ["--server", "--user"]:
            with self.subTest(option=option):
                arguments = {"--server": "--server=h", "--user": "--user=sa"}
                arguments[option] = option + "=" + "z" * 65537
                run = self.run_tool("--provider=mssql", *arguments.values(), "--password-stdin", stdin="secret\n")
                self.assertEqual(run[2], '%s refused: longer than 65536 bytes ("%s...").\n' % (option, "z" * 20))
                self.assert_untouched(run, [])

    def test_files_the_store_refuses_are_left_as_they_were(self):
        foreign = '<?xml version="1.0"?>\r\n' + SQLITE_FILE
        # A write attempt leaves the companion lock file (as the dialogue's
        # does); --check takes no lock.
        for arguments, listing in [(["--provider=sqlite", "--check"], ["preferences.cfg"]),
                                   (["--provider=sqlite"], ["preferences.cfg", "preferences.cfg.lock"]),
                                   (["--provider=sqlite", "--detailed-exitcode"],
                                    ["preferences.cfg", "preferences.cfg.lock"])]:
            with self.subTest(arguments=arguments):
                self.write_file(foreign)
                before = self.identity()
                run = self.run_tool(*arguments)
                self.assertEqual(run[2], 'Unable to write preferences file.\n"preferences.cfg": line 1 holds text '
                                 "the tool does not read, which a write would lose.\n")
                self.assert_untouched(run, listing, foreign, before)
        os.remove(self.path)
        os.mkdir(self.path)
        for arguments in [["--provider=sqlite"], ["--provider=sqlite", "--check"]]:
            with self.subTest(arguments=arguments, directory=True):
                run = self.run_tool(*arguments)
                self.assertEqual(run[2], "Unable to read preferences file.\n" + NOT_REGULAR)
                self.assertEqual((run[0], run[1]), (1, ""))


class WhatTheFileKeeps(ScriptingCase):
    def test_comments_survive_a_write(self):
        # Notes stay where they stand; one on a removed key's own line goes
        # with it.
        self.write_file("<!-- managed by fleet -->\r\n" + entry("Keep", "1")[:-2] + " <!-- on its line -->\r\n"
                        + entry("DatabaseServer", "old")[:-2] + " <!-- goes with it -->\r\n<!-- stays -->\r\n")
        self.assertEqual(self.run_tool("--provider=sqlite")[0], 0)
        self.assertEqual(self.read_file(), "<!-- managed by fleet -->\r\n" + entry("Keep", "1")[:-2]
                         + " <!-- on its line -->\r\n<!-- stays -->\r\n" + SQLITE_FILE)

    @unittest.skipIf(ON_WINDOWS, "POSIX /dev/full")
    def test_an_answer_that_cannot_be_written_fails_the_run(self):
        self.write_file(MSSQL_FILE)
        os.chmod(self.path, 0o644)
        for arguments in [["--provider=sqlite", "--check"], ["--show"], ["--provider=mssql", "--check"] + MSSQL[1:]
                          + ["--password-stdin"]]:
            with self.subTest(arguments=arguments), open("/dev/full", "w") as full:
                result = subprocess.run(command(TARNWELL, *arguments), cwd=self.cwd, input=b"secret\n",
                                        stdout=subprocess.DEVNULL, stderr=full, timeout=60)
                self.assertEqual(result.returncode, 1)
        self.assertEqual(self.read_file(), MSSQL_FILE)


class DialogueUnchanged(ScriptingCase):
    def test_without_the_new_options_the_dialogue_is_as_it_was(self):
        self.assertEqual(self.run_tool(stdin="1\n"), (0, QUESTION, ""))
        self.assertEqual(self.read_file(), SQLITE_FILE)
        # Answered the same again: written again, and nothing said of it.
        self.assertEqual(self.run_tool(stdin="1\n"), (0, QUESTION, ""))
        self.assertEqual(self.run_tool(stdin=""), (1, QUESTION, "No more input. Preferences file not changed.\n"))


if __name__ == "__main__":
    unittest.main()
