"""The built program driven as a user drives it: arguments, output streams,
files and exit codes."""
import os
import re
import signal
import subprocess
import time
import unittest

from support import ON_WINDOWS, ScratchCase, TARNWELL, command, native_path, probe

TIME = r"\d\d:\d\d:\d\d"
MONTHS = "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec"


def platform_line():
    if ON_WINDOWS:
        # Wine reports a Windows version of its own choosing.
        return re.escape("Platform: Microsoft Windows ") + r"[^\n]+ v\d+\.\d+"
    release = os.uname().release
    major, minor = re.match(r"(\d+)\.(\d+)", release).groups()
    return re.escape("Platform: %s v%s.%s" % (os.uname().sysname, major, minor))


def banner():
    """A pattern for the whole banner: only the platform line varies."""
    return (re.escape("\n"
                      "Velqor Tarnwell Utility, version InternalVersion [InternalRevision]"
                      " -- Velqor Tarnwell. Writes database preferences to file..\n"
                      "Copyright (c) 2014 Velqor Tech. All rights reserved.\n"
                      "Build date: Jun 12 2014\n")
            + platform_line() + "\n\n")


def version_lines():
    return (re.escape("Velqor Tarnwell Utility, version InternalVersion [InternalRevision]\n"
                      "Build date: Jun 12 2014\n")
            + platform_line() + "\n")


class ProgramCase(ScratchCase):
    def run_program(self, *arguments, program=None, stdin=""):
        result = subprocess.run(command(program or TARNWELL, *arguments), cwd=self.cwd, input=stdin,
                                capture_output=True, text=True, timeout=60)
        return result.returncode, result.stdout, result.stderr

    def assert_log_lines(self, stderr, *texts):
        lines = stderr.splitlines()
        self.assertEqual(len(lines), len(texts), stderr)
        for line, text in zip(lines, texts):
            self.assertRegex(line, "^" + TIME + " " + re.escape(text) + "$")

    def assert_output(self, result, code, pattern, stderr=""):
        """result is (code, stdout, stderr); stdout must match pattern whole."""
        self.assertEqual((result[0], result[2]), (code, stderr), result)
        self.assertRegex(result[1], "^" + pattern + "$")


class HelpAndVersion(ProgramCase):
    def test_help_options_print_banner_and_usage(self):
        usage = banner() + re.escape("usage: %s\n\n" % os.path.basename(TARNWELL))
        for option in ["-?", "-h", "-H", "-help", "-hx"]:
            with self.subTest(option=option):
                self.assert_output(self.run_program(option), 0, usage)

    def test_version_options_print_version_lines(self):
        for option in ["-V", "-v", "-version", "--version"]:
            with self.subTest(option=option):
                self.assert_output(self.run_program(option), 0, version_lines())

    def test_options_act_in_order_and_help_ends_the_run(self):
        usage = banner() + re.escape("usage: %s\n\n" % os.path.basename(TARNWELL))
        self.assert_output(self.run_program("-LL5", "-?", "foo"), 0, usage)
        # The unknown option after -V is never looked at.
        self.assert_output(self.run_program("-V", "bogus"), 0, version_lines())


    @unittest.skipIf(ON_WINDOWS, "/dev/full is a Linux device")
    def test_output_that_cannot_be_written_fails_the_run(self):
        for option, result in [("-V", 1), ("-h", 1), ("--help", 1), ("-status", 0)]:
            with self.subTest(option=option), open("/dev/full", "w") as full:
                ran = subprocess.run(command(TARNWELL, option), cwd=self.cwd, stdout=full,
                                     stderr=subprocess.PIPE, text=True, timeout=60)
                self.assertEqual((ran.returncode, ran.stderr),
                                 (result, "Unable to write to standard output.\n" if result else ""))


class OptionErrors(ProgramCase):
    def test_unknown_option_is_reported_with_exit_code_1(self):
        for arguments, reported in [(["foo"], "foo"), (["-debugx"], "-debugx"), (["-L"], "-L"),
                                    (["-LX5"], "-LX5"), (["-DX"], "-DX"), (["-f5"], "-f5"),
                                    (["-LL4", "bar", "baz"], "bar")]:
            with self.subTest(arguments=arguments):
                code, out, err = self.run_program(*arguments)
                self.assertEqual((code, out), (1, ""))
                # None of them is near enough to an option to name one.
                log, hint = err.split("\n", 1)
                self.assert_log_lines(log, 'Unknown option "%s".' % reported)
                self.assertEqual(hint, "Try 'tarnwell --help'.\n")

    def test_incorrect_digit_values_are_reported_with_exit_code_1(self):
        cases = [(["foo", "-LL9"], "ll"), (["-LL"], "ll"), (["-LL", "-V"], "ll"), (["-LLx"], "ll"),
                 (["-LD9"], "dl"), (["-DL9"], "dl"), (["-LD"], "dl"), (["-DL", "6"], "dl")]
        for arguments, name in cases:
            with self.subTest(arguments=arguments):
                code, out, err = self.run_program(*arguments)
                self.assertEqual((code, out), (1, ""))
                self.assert_log_lines(err, 'Incorrect argument for option "%s".' % name)

    def test_level_zero_reports_pass_every_level(self):
        code, _, err = self.run_program("-LL0", "-LL9")
        self.assertEqual(code, 1)
        self.assert_log_lines(err, 'Incorrect argument for option "ll".')


QUESTION = "Choose database provider to use:\n\t1. SQLite\n\t2. MSSQL\n> "


class AcceptedOptions(ProgramCase):
    def test_accepted_options_lead_to_the_dialogue(self):
        for arguments in [[], ["-f"], ["-F"], ["-Debug"], [""], ["-LL4x"], ["-LL", "4"], ["-LD0"], ["-DL5"],
                          ["-LF"], ["-LFsystem"], ["-LF", "CONSOLE"], ["-ll3", "-lfConsole"]]:
            with self.subTest(arguments=arguments):
                self.assertEqual(self.run_program(*arguments, stdin="1\n"), (0, QUESTION, ""))

    def test_level_six_traces_the_preferences_read(self):
        with open(os.path.join(self.cwd, "preferences.cfg"), "wb") as file:
            file.write(b'<Database value="MSSQL" />\r\n')
        code, out, err = self.run_program("-LL6", stdin="1\n")
        self.assertEqual((code, out), (0, QUESTION))
        self.assertRegex(err, r'^%s \[\d+ \]  oxPreferences:readPreferences read file "preferences\.cfg"\. '
                              r'Current dir "%s"\.\n$' % (TIME, re.escape(native_path(self.cwd))))

    def test_status_runs_nothing(self):
        for arguments in [["-status"], ["-STATUS"], ["-f", "-status", "-LL2"]]:
            with self.subTest(arguments=arguments):
                self.assertEqual(self.run_program(*arguments), (0, "", ""))
                self.assertFalse(os.path.exists(os.path.join(self.cwd, "preferences.cfg")))


class LogOutput(ProgramCase):
    def read_log(self, name):
        with open(os.path.join(self.cwd, name)) as log:
            return log.read()

    def test_file_output_takes_later_reports(self):
        code, out, err = self.run_program("-LF", "run.log", "-LL9")
        self.assertEqual((code, out, err), (1, "", ""))
        self.assertRegex(self.read_log("run.log"),
                         r"^(%s) [ \d]?\d %s Velqor Tarnwell Utility: "
                         r'Incorrect argument for option "ll"\.\n$' % (MONTHS, TIME))

    def test_file_output_without_value_uses_info_log_in_current_directory(self):
        self.run_program("-LF", "-LL9")
        self.assertIn('Incorrect argument for option "ll".', self.read_log("infoLog.log"))

    def test_debug_level_with_f_in_fifth_place_selects_file_output(self):
        self.run_program("-DL1234F", "-LL9")
        self.assertIn('Incorrect argument for option "ll".', self.read_log("infoLog.log"))

    def test_system_output_writes_nothing(self):
        self.assertEqual(self.run_program("-LFsystem", "-LL9"), (1, "", ""))
        self.assertFalse(os.path.exists(os.path.join(self.cwd, "infoLog.log")))

    def test_file_in_missing_directory_loses_the_line_quietly(self):
        self.assertEqual(self.run_program("-LF", "no/such/dir/x.log", "-LL9"), (1, "", ""))

    def test_high_levels_name_the_reporting_thread(self):
        code, _, err = self.run_program("-LL5", "foo")
        self.assertEqual(code, 1)
        self.assertRegex(err, r"^%s \[\d+ \]  Unknown option \"foo\"\.\nTry 'tarnwell --help'\.\n$" % TIME)


class ProcessLife(ProgramCase):
    def test_escaped_exception_is_reported_with_exit_code_1(self):
        code, _, err = self.run_program("throw", program=probe("probe_process"))
        self.assertEqual(code, 1)
        self.assert_log_lines(err, 'An unexpected exception "probe failure" occurred.  Please notify '
                                   "Velqor Technical Support at support@velqor.example.")

    def test_non_standard_exception_is_an_internal_error(self):
        code, _, err = self.run_program("throw-int", program=probe("probe_process"))
        self.assertEqual(code, 1)
        self.assertRegex(err, r'^%s An internal error occurred in "shared/kiln/threads/oxProcess\.cpp" '
                              r'line "\d+"\.  Please notify Velqor Tech Support at '
                              r"support@velqor\.example\.\n$" % TIME)

    def test_crash_is_reported_then_dies_by_its_signal(self):
        code, _, err = self.run_program("crash", program=probe("probe_process"))
        if ON_WINDOWS:
            # The platform's own handling follows: Windows ends the process
            # with the exception code, Wine (without its debugger) with a
            # code of its own. The address is that of the faulting code.
            self.assertNotIn(code, (0, 1), err)
            self.assertRegex(err, r"^%s Caught an unhandled exception 0xC0000005 at 0x[0-9A-F]+\n" % TIME)
        else:
            self.assertEqual(code, -signal.SIGSEGV, err)
            self.assertRegex(err, r"%s Caught an unhandled exception 0xC0000005 at 0x0\n" % TIME)

    @unittest.skipIf(ON_WINDOWS, "console control events come from a console, not from signals")
    def test_console_signals_request_a_stop_instead_of_ending(self):
        for sent in [signal.SIGINT, signal.SIGQUIT, signal.SIGHUP]:
            with self.subTest(signal=sent):
                process = subprocess.Popen(command(probe("probe_process"), "wait-stop"), cwd=self.cwd,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                self.assertEqual(process.stdout.readline(), "waiting\n")
                process.send_signal(sent)
                out, err = process.communicate(timeout=30)
                self.assertEqual((process.returncode, out, err), (0, "stop requested\n", ""))

    def test_info_log_outlives_the_main_thread_object(self):
        code, _, err = self.run_program(program=probe("probe_static_order"))
        self.assertEqual(code, 0)
        lines = err.splitlines()
        self.assertIn("main returns", lines)
        after = lines[lines.index("main returns") + 1:]
        self.assertEqual(len(after), 1, err)
        self.assertRegex(after[0], r'Assertion failed\.  File: shared/kiln/threads/oxThread\.cpp, '
                                   r'line: \d+\.  Offending command: "iter->second == thread"\.$')


if __name__ == "__main__":
    unittest.main()
