"""Bash completion (packaging/tarnwell.bash-completion): sourced in bash and
driven as bash drives it, with COMP_WORDS and COMP_CWORD (bash splits
"--name=value" at "=" into three words)."""
import os
import shutil
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                      "tarnwell.bash-completion")
DRIVER = r'''
source "$1"; shift
COMP_WORDS=("$@"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
_tarnwell
printf '%s\n' "${COMPREPLY[@]}"
complete -p tarnwell
'''


@unittest.skipUnless(shutil.which("bash"), "needs bash")
class BashCompletion(unittest.TestCase):
    def complete(self, *words, cwd=None):
        result = subprocess.run(["bash", "--norc", "--noprofile", "-c", DRIVER, "driver", SCRIPT, "tarnwell", *words],
                                capture_output=True, text=True, timeout=60, cwd=cwd)
        self.assertEqual((result.returncode, result.stderr), (0, ""), result)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[-1], "complete -F _tarnwell tarnwell")
        return sorted(line for line in lines[:-1] if line)

    def test_options_and_values_complete(self):
        cases = [
            (["--prov"], ["--provider="]),
            (["--provider", "=", ""], ["mssql", "sqlite"]),
            (["--provider", "=", "m"], ["mssql"]),
            (["--provider=s"], ["sqlite"]),
            (["--pass"], ["--password-file=", "--password-stdin"]),
            (["--sh"], ["--show"]),
            (["--det"], ["--detailed-exitcode"]),
            (["--provider=mssql", "--se"], ["--server="]),
            (["--server", "=", "x"], []),
            (["--bogus"], []),
        ]
        for words, expected in cases:
            with self.subTest(words=words):
                self.assertEqual(self.complete(*words), expected)

    def test_every_long_option_of_help_is_offered(self):
        offered = self.complete("--")
        for option in ["--provider=", "--server=", "--user=", "--password-stdin", "--password-file=", "--check",
                       "--detailed-exitcode", "--show", "--file=", "--help", "--version"]:
            self.assertIn(option, offered)

    def test_file_options_complete_file_names(self):
        with tempfile.TemporaryDirectory() as directory:
            for name in ["preferences.cfg", "password.txt"]:
                open(os.path.join(directory, name), "w").close()
            self.assertEqual(self.complete("--file", "=", "pre", cwd=directory), ["preferences.cfg"])
            self.assertEqual(self.complete("--password-file", "=", "pa", cwd=directory), ["password.txt"])
            self.assertEqual(self.complete("--file=pa", cwd=directory), ["password.txt"])


if __name__ == "__main__":
    unittest.main()
