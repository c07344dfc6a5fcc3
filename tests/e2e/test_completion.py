"""Bash completion, as the build writes it from the option table: sourced in
bash and driven as bash drives it, with COMP_WORDS and COMP_CWORD (bash
splits "--name=value" at "=" into three words)."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from support import TARNWELL, command, from_stream

# Empty in a cross build, which cannot run the program that writes it.
SCRIPT = os.environ.get("TARNWELL_COMPLETION", "build/packaging/tarnwell.bash-completion")
SCRIPT = SCRIPT and os.path.abspath(SCRIPT)
HELP_ENTRY = re.compile(r"^  (-\S.*?)  +(\S.*)$")
DRIVER = r'''
source "$1"; shift
COMP_WORDS=("$@"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
_tarnwell
printf '%s\n' "${COMPREPLY[@]}"
complete -p tarnwell
'''


def help_spellings():
    """Every spelling of every option --help lists but those it says are
    ignored, as the completion offers it ("--file=" for --file=<path>)."""
    result = subprocess.run(command(TARNWELL, "--help"), capture_output=True, text=True, timeout=60)
    spellings = set()
    for line in from_stream(result.stdout).splitlines():
        entry = HELP_ENTRY.match(line)
        if entry and entry.group(2) != "ignored":
            spellings |= {re.split(r"[<\[]", term)[0] for term in entry.group(1).split(", ")}
    return spellings


@unittest.skipUnless(shutil.which("bash"), "needs bash")
@unittest.skipUnless(SCRIPT, "the build wrote no completion (a cross build)")
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
            # A value as the next word.
            (["--provider", ""], ["mssql", "sqlite"]),
            (["--format", "j"], ["json"]),
            (["--fo"], ["--format="]),
            (["--di"], ["--diff"]),
            (["--ba"], ["--backup"]),
            (["--bogus"], []),
            # Ignored options are not offered.
            (["-de"], []),
        ]
        for words, expected in cases:
            with self.subTest(words=words):
                self.assertEqual(self.complete(*words), expected)

    def test_every_long_option_of_help_is_offered(self):
        offered = self.complete("--")
        for option in ["--provider=", "--server=", "--user=", "--password-stdin", "--password-file=", "--check",
                       "--detailed-exitcode", "--show", "--file=", "--help", "--version"]:
            self.assertIn(option, offered)

    def test_it_offers_exactly_the_options_of_help(self):
        spellings = help_spellings()
        self.assertIn("--provider=", spellings)
        self.assertEqual(set(self.complete("-")), spellings)

    def test_file_options_complete_file_names(self):
        with tempfile.TemporaryDirectory() as directory:
            for name in ["preferences.cfg", "password.txt"]:
                open(os.path.join(directory, name), "w").close()
            self.assertEqual(self.complete("--file", "=", "pre", cwd=directory), ["preferences.cfg"])
            self.assertEqual(self.complete("--password-file", "=", "pa", cwd=directory), ["password.txt"])
            self.assertEqual(self.complete("--file=pa", cwd=directory), ["password.txt"])


if __name__ == "__main__":
    unittest.main()
