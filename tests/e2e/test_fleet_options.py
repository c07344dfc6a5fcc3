"""What configuration management reads from a scripted run: --diff,
--format=json and --backup, and values given as the next argument. Exact
texts, the JSON parsed, the files left behind. Runs on Linux and, through
Wine, for the Windows build."""
import json
import os
import re
import shutil
import stat
import subprocess
import unittest

from support import ON_WINDOWS, entry, native_path
from test_scripting import MSSQL, MSSQL_FILE, SECRET, SQLITE_FILE, ScriptingCase

HEAD = "--- preferences.cfg\n+++ preferences.cfg\n@@ -1,4 +1,4 @@\n"
NOT_SET = ["Provider: (not set)", "Server: (not set)", "User: (not set)", "Password: (not set)"]
AS_MSSQL = ["Provider: MSSQL", "Server: DB\\SQL", "User: sa", "Password: (set)"]
AS_SQLITE = ["Provider: SQLite", "Server: (not set)", "User: (not set)", "Password: (not set)"]
STAMP = r"\d{8}T\d{6}Z(-\d+)?~"


def diff(before, after):
    return HEAD + "".join("-%s\n" % line for line in before) + "".join("+%s\n" % line for line in after)


class FleetOptions(ScriptingCase):
    def shown(self, provider=None, server=None, user=None, password="not set"):
        return {"file": native_path(self.path), "provider": provider, "server": server, "user": user,
                "password": password}

    def test_the_diff_names_each_change_and_never_the_password(self):
        cases = [
            (None, MSSQL + ["--password-stdin", "--diff"], diff(NOT_SET, AS_MSSQL), "changed"),
            (MSSQL_FILE, MSSQL + ["--password-stdin", "--diff"], "", "unchanged"),
            (MSSQL_FILE, MSSQL + ["--password-file=other", "--diff"],
             HEAD + " Provider: MSSQL\n Server: DB\\SQL\n User: sa\n-Password: (set)\n+Password: (changed)\n",
             "changed"),
            (MSSQL_FILE, ["--provider=sqlite", "--diff", "--check"], diff(AS_MSSQL, AS_SQLITE),
             "changed (--check, nothing written)"),
        ]
        for start, arguments, expected, said in cases:
            with self.subTest(arguments=arguments, start=start is not None):
                if start is None:
                    if os.path.exists(self.path):
                        os.remove(self.path)
                else:
                    self.write_file(start)
                self.write_file("other\n", os.path.join(self.cwd, "other"))
                run = self.run_tool(*arguments, stdin="secret\n")
                self.assertEqual(run, (0, expected, "%s: preferences.cfg\n" % said))
                self.assertNotIn(SECRET, run[1])
                if "--check" in arguments:
                    self.assertEqual(self.read_file(), start)

    def test_json_is_one_document_on_standard_output(self):
        self.write_file(MSSQL_FILE)
        if not ON_WINDOWS:
            os.chmod(self.path, 0o600)
        mssql = self.shown("MSSQL", "DB\\SQL", "sa", "set")
        sqlite = self.shown("SQLite")
        cases = [
            (["--show", "--format=json"], mssql, ""),
            (["--provider=sqlite", "--check", "--format=json"],
             {"file": native_path(self.path), "changed": True}, "changed (--check, nothing written): preferences.cfg\n"),
            (["--provider=sqlite", "--format", "JSON", "--diff", "--check"],
             {"file": native_path(self.path), "changed": True, "before": mssql, "after": sqlite},
             "changed (--check, nothing written): preferences.cfg\n"),
            (MSSQL + ["--password-stdin", "--format=json", "--diff"],
             {"file": native_path(self.path), "changed": False, "before": mssql, "after": mssql},
             "unchanged: preferences.cfg\n"),
        ]
        for arguments, document, said in cases:
            with self.subTest(arguments=arguments):
                code, out, err = self.run_tool(*arguments, stdin="secret\n")
                self.assertEqual((code, err), (0, said))
                self.assertEqual(json.loads(out), document)
                self.assertEqual(out.count("\n"), 1)
        # A failure prints no document: a reader sees the exit code and the reason.
        os.remove(self.path)
        run = self.run_tool("--show", "--format=json")
        self.assertEqual(run, (1, "", 'There is no preferences file "preferences.cfg".\n'))

    def test_a_backup_keeps_the_old_file_whenever_it_changes(self):
        self.write_file(MSSQL_FILE)
        if not ON_WINDOWS:
            os.chmod(self.path, 0o640)
        before = self.identity()
        # Nothing to change, or only compared: no backup.
        for arguments in (MSSQL + ["--password-stdin", "--backup"], ["--provider=sqlite", "--backup", "--check"]):
            code, _, _ = self.run_tool(*arguments, stdin="secret\n")
            self.assertEqual(code, 0)
        self.assertEqual(self.identity(), before)
        self.assertEqual([name for name in self.listing() if name.endswith("~")], [])

        code, out, err = self.run_tool("--provider=sqlite", "--backup", "--format=json")
        self.assertEqual(code, 0, err)
        backup = re.fullmatch(r"backup: (preferences\.cfg\.%s)\nchanged: preferences\.cfg\n" % STAMP, err)
        self.assertIsNotNone(backup, err)
        first = backup.group(1)
        self.assertEqual(json.loads(out),
                         {"file": native_path(self.path), "changed": True,
                          "backup": native_path(os.path.join(self.cwd, first))})
        self.assertEqual(self.read_file(os.path.join(self.cwd, first)), MSSQL_FILE)
        self.assertEqual(self.read_file(), SQLITE_FILE)
        if not ON_WINDOWS:
            self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.cwd, first)).st_mode), 0o640)

        # Another change in the same second gets a name of its own; the sweep
        # of stale temporaries leaves every backup where it is.
        code, _, err = self.run_tool(*MSSQL, "--password-stdin", "--backup", stdin="secret\n")
        self.assertEqual(code, 0, err)
        second = re.match(r"backup: (\S+)\n", err).group(1)
        self.assertNotEqual(second, first)
        self.assertEqual(self.read_file(os.path.join(self.cwd, second)), SQLITE_FILE)
        self.assertEqual(self.read_file(os.path.join(self.cwd, first)), MSSQL_FILE)

    @unittest.skipIf(ON_WINDOWS or not shutil.which("setfacl"), "needs POSIX ACLs (setfacl)")
    def test_a_backup_admits_exactly_whom_the_file_admits(self):
        self.write_file(MSSQL_FILE)
        if subprocess.run(["setfacl", "-m", "u:nobody:r", self.path], capture_output=True).returncode != 0:
            self.skipTest("no ACLs on this file system")
        acl = subprocess.run(["getfacl", "-c", "-n", self.path], capture_output=True, text=True).stdout
        code, _, err = self.run_tool("--provider=sqlite", "--backup")
        self.assertEqual(code, 0, err)
        backup = os.path.join(self.cwd, re.match(r"backup: (\S+)\n", err).group(1))
        self.assertEqual(subprocess.run(["getfacl", "-c", "-n", backup], capture_output=True, text=True).stdout, acl)
        self.assertIn("user:65534:r--", acl)

    def test_values_may_follow_as_the_next_argument(self):
        os.mkdir(os.path.join(self.cwd, "sub"))
        run = self.run_tool("--provider", "mssql", "--server", "DB\\SQL", "--user", "sa", "--password-stdin",
                            "--file", os.path.join("sub", "p.cfg"), stdin="secret\n")
        self.assertEqual(run, (0, "", "changed: %s\n" % os.path.join("sub", "p.cfg")))
        self.assertEqual(self.read_file(os.path.join(self.cwd, "sub", "p.cfg")), MSSQL_FILE)
        self.assertFalse(os.path.exists(self.path))


if __name__ == "__main__":
    unittest.main()
