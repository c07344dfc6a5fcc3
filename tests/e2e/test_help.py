"""--help and the manual page: --help is the usage text of -? followed by
one line per option and per exit code, and the manual page names exactly
the same options and exit codes."""
import os
import re
import subprocess
import unittest

from support import TARNWELL, command, from_stream

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
MAN_PAGE = os.path.join(ROOT, "packaging", "tarnwell.8.scd")
README = os.path.join(ROOT, "README.md")
HELP_ENTRY = re.compile(r"^  (\S.*?)  +\S")
OPTION_NAME = re.compile(r"(?:^|, )(-[-?A-Za-z]+)")


def run_program(option):
    result = subprocess.run(command(TARNWELL, option), capture_output=True, text=True, timeout=60)
    return result.returncode, from_stream(result.stdout)


def help_tables(lines):
    """{heading: [term, ...]} of the tables after the usage text."""
    tables, heading = {}, None
    for line in lines:
        entry = HELP_ENTRY.match(line)
        if entry and heading:
            tables[heading].append(entry.group(1))
        elif line.endswith(":") and not line.startswith(" "):
            heading = line
            tables[heading] = []
        elif line:
            raise AssertionError("not a heading or a one-line entry: %r" % line)
        else:
            heading = None
    return tables


def man_terms(section):
    """The terms (bold lines, markup dropped) of one section of the page."""
    with open(MAN_PAGE, encoding="utf-8") as page:
        text = page.read()
    body = re.search(r"^# %s\n(.*?)(?=^# |\Z)" % section, text, re.S | re.M).group(1)
    return [line.replace("*", "").replace("_", "") for line in body.splitlines() if line.startswith("*")]


def man_entries(section):
    """The terms of one section's entries, in order: a bold line with its
    description indented on the next line, markup dropped."""
    with open(MAN_PAGE, encoding="utf-8") as page:
        text = page.read()
    body = re.search(r"^# %s\n(.*?)(?=^# |\Z)" % section, text, re.S | re.M).group(1)
    return [entry.replace("*", "") for entry in re.findall(r"^(\*.*)\n\t", body, re.M)]


def readme_options():
    """The first column of README's option table, code markup dropped."""
    with open(README, encoding="utf-8") as readme:
        text = readme.read()
    table = re.search(r"^## Command line\n\n\| Option \| Effect \|\n\|---\|---\|\n((?:\|.*\n)+)", text, re.M).group(1)
    return [re.match(r"\| `(.*?)` \| ", row).group(1).replace("\\|", "|") for row in table.splitlines()]


def option_names(terms):
    return {name for term in terms for name in OPTION_NAME.findall(term)}


class HelpAndManualPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.usage = run_program("-?")
        cls.help = run_program("--help")

    def test_help_is_the_usage_text_then_one_line_per_entry(self):
        (usage_code, usage), (help_code, text) = self.usage, self.help
        self.assertEqual((usage_code, help_code), (0, 0))
        self.assertTrue(text.startswith(usage), text)
        tables = help_tables(text[len(usage):].splitlines())
        self.assertEqual(list(tables), ["Options:", "Exit codes:"])

    def test_manual_page_names_the_same_options_and_exit_codes(self):
        tables = help_tables(self.help[1][len(self.usage[1]):].splitlines())
        for heading, section, names in [("Options:", "OPTIONS", option_names),
                                        ("Exit codes:", "EXIT STATUS", set)]:
            with self.subTest(section=section):
                in_help, in_page = names(tables[heading]), names(man_terms(section))
                self.assertTrue(in_help)
                self.assertEqual(in_help - in_page, set(), "in --help, not in the manual page")
                self.assertEqual(in_page - in_help, set(), "in the manual page, not in --help")

    def test_manual_page_and_readme_spell_every_option_as_help_does(self):
        tables = help_tables(self.help[1][len(self.usage[1]):].splitlines())
        for source, terms in [("manual page", man_entries("OPTIONS")), ("README", readme_options())]:
            with self.subTest(source=source):
                self.assertEqual(terms, tables["Options:"])
        self.assertEqual(man_entries("EXIT STATUS"), tables["Exit codes:"])


if __name__ == "__main__":
    unittest.main()
