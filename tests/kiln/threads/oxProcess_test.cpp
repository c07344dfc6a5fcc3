#include "oxProcess.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "oxException.h"
#include "oxLogCapture.h"
#include "oxPlatformExtras.h"

namespace {
class oxTestProcess : public oxProcess {
public:
    explicit oxTestProcess(const oxBuildTexts& inBuild = {"7.1", "r42", "Mar 3 2021"}) : oxProcess(inBuild) {}

    void run() override {
        ++itsRuns;
        if (itsRunThrows)
            throw std::runtime_error("run failed");
    }
    bool initialize() override {
        if (itsInitializeThrows)
            throw oxException(oxErr_resFull, "no resources");
        return itsInitializeResult;
    }
    void afterRun() override {
        if (itsAfterRunThrows)
            throw 7;
    }
    void printUsage() override { ++itsUsagePrinted; }

    int itsRuns = 0;
    int itsUsagePrinted = 0;
    bool itsRunThrows = false;
    bool itsInitializeThrows = false;
    bool itsInitializeResult = true;
    bool itsAfterRunThrows = false;
};

oxArgumentList makeArguments(std::initializer_list<const char*> inTexts) {
    oxArgumentList list;
    for (const char* text : inTexts)
        list.push_back(oxArgument{text, false});
    return list;
}

oxPlatformVersion windowsVersion(unsigned long inPlatformId, unsigned long inMajor, unsigned long inMinor,
                                 int inProductType = 1, bool inIsServerR2 = false,
                                 unsigned long inBuild = 0) {
    oxPlatformVersion version;
    version.itsIsWindows = true;
    version.itsPlatformId = inPlatformId;
    version.itsMajor = inMajor;
    version.itsMinor = inMinor;
    version.itsProductType = inProductType;
    version.itsIsServerR2 = inIsServerR2;
    version.itsBuildNumber = inBuild;
    return version;
}

// Restores the log level that option parsing changes.
class oxProcessTest : public testing::Test {
protected:
    void TearDown() override {
        oxInfoLog::itsLogLevel = itsSavedLevel;
        oxInfoLog::setOutput("", oxLog_console);
    }
    int itsSavedLevel = oxInfoLog::itsLogLevel;
};
}  // namespace

// Each row is a version at a boundary of the naming, with the name for a
// workstation and for any other product type; the R2 flag and majors above
// 6 must change nothing but where a row says so.
TEST(oxProcessPlatformNameTest, WindowsNamesChangeOnlyAtTheirBoundaries) {
    const struct {
        unsigned long itsPlatformId, itsMajor, itsMinor;
        const char* itsWorkstation;
        const char* itsServer;
        const char* itsWithR2;  // null: the flag changes nothing
    } rows[] = {
        {0, 0, 0, "Win32s", "Win32s", nullptr},
        {0, 10, 5, "Win32s", "Win32s", nullptr},
        {1, 3, 99, "Windows 95", "Windows 95", nullptr},
        {1, 4, 0, "Windows 95", "Windows 95", nullptr},
        {1, 4, 1, "Windows 98", "Windows 98", nullptr},
        {1, 5, 0, "Windows 98", "Windows 98", nullptr},
        {2, 4, 99, "Windows NT", "Windows NT", nullptr},
        {2, 5, 0, "Windows 2000", "Windows 2000", nullptr},
        {2, 5, 1, "Windows XP", "Windows XP", nullptr},
        {2, 5, 2, "Windows Server 2003", "Windows Server 2003", "Windows Server 2003 R2"},
        {2, 5, 3, "Windows 2000", "Windows 2000", nullptr},
        {2, 6, 0, "Windows Vista", "Windows Server 2008", nullptr},
        {2, 6, 1, "Windows 7", "Windows Server 2008 R2", nullptr},
        {2, 6, 2, "Windows 8", "Windows Server 2012", nullptr},
        {2, 6, 3, "Windows 8.1", "Windows Server 2012 R2", nullptr},
        {2, 6, 4, "Windows Unsupported", "Windows Unsupported", nullptr},
        {3, 6, 1, "", "", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.itsPlatformId) + " " + std::to_string(row.itsMajor) + "." +
                     std::to_string(row.itsMinor));
        // Majors above 6 are named as 6.
        std::vector<unsigned long> majors = {row.itsMajor};
        if (row.itsPlatformId == 2 && row.itsMajor == 6)
            majors.insert(majors.end(), {7, 10, 11});
        for (const unsigned long major : majors) {
            const auto name = [&](int inProductType, bool inServerR2) {
                return oxProcess::getWindowsName(row.itsPlatformId, major, row.itsMinor, inProductType,
                                                 inServerR2);
            };
            EXPECT_EQ(row.itsWorkstation, name(1, false)) << major;
            for (const int productType : {0, 2, 3})
                EXPECT_EQ(row.itsServer, name(productType, false)) << major << " type " << productType;
            const char* const withR2 = row.itsWithR2 != nullptr ? row.itsWithR2 : row.itsWorkstation;
            EXPECT_EQ(withR2, name(1, true)) << major;
        }
    }
}

TEST(oxProcessPlatformNameTest, DescriptionShapes) {
    EXPECT_EQ(oxProcess::describeOS(windowsVersion(2, 6, 1, 1, false, 7601), true, false),
              "Microsoft Windows 7 v6.1");
    EXPECT_EQ(oxProcess::describeOS(windowsVersion(2, 6, 1, 1, false, 0x10001DB1), true, true),
              "Microsoft Windows 7 v6.1, Build 7601");
    EXPECT_EQ(oxProcess::describeOS(windowsVersion(2, 5, 2), true, false),
              "Microsoft Windows Server 2003 v5.2");
    EXPECT_EQ(oxProcess::describeOS(windowsVersion(3, 6, 1), true, false), "Microsoft  v6.1");
    EXPECT_EQ(oxProcess::describeOS(windowsVersion(2, 6, 1), false, false), "Windows 7 v6.1");

    oxPlatformVersion posix;
    posix.itsSystemName = "Linux";
    posix.itsMajor = 6;
    posix.itsMinor = 1;
    posix.itsBuild = "0-18-amd64";
    EXPECT_EQ(oxProcess::describeOS(posix, true, false), "Linux v6.1");
    EXPECT_EQ(oxProcess::describeOS(posix, true, true), "Linux v6.1, Build 0-18-amd64");
    posix.itsBuild.clear();
    EXPECT_EQ(oxProcess::describeOS(posix, false, true), "Linux v6.1");
}

TEST(oxProcessPlatformNameTest, RunningSystemIsDescribed) {
    std::string description = oxProcess::getPlatformDescription();
    EXPECT_NE(description.find(" v"), std::string::npos) << description;
    EXPECT_EQ(oxProcess::getOSDescription(true, false), description);
}

TEST_F(oxProcessTest, OptionValueComesFromTheTextOrTheNextArgument) {
    oxArgumentList list = makeArguments({"-LL5", "-LL", "6", "-LL", "-V", "-LF", ""});
    std::string value;
    size_t cursor = 0;
    EXPECT_TRUE(oxProcess::getOptionValue(3, list, cursor, value));
    EXPECT_EQ(value, "5");
    EXPECT_EQ(cursor, 0u);
    cursor = 1;
    EXPECT_TRUE(oxProcess::getOptionValue(3, list, cursor, value));
    EXPECT_EQ(value, "6");
    EXPECT_EQ(cursor, 2u);
    EXPECT_TRUE(list[2].itsHandled);
    cursor = 3;
    EXPECT_FALSE(oxProcess::getOptionValue(3, list, cursor, value));  // a value never begins with "-"
    EXPECT_TRUE(list[3].itsHandled);
    EXPECT_FALSE(list[4].itsHandled);
    cursor = 5;
    EXPECT_FALSE(oxProcess::getOptionValue(3, list, cursor, value));  // nor is it empty
    EXPECT_EQ(cursor, 5u);
}

TEST_F(oxProcessTest, ParserHandlesOptionsInOrderAndLeavesTheRest) {
    oxTestProcess process;
    oxArgumentList list =
        makeArguments({"foo", "-ll", "2", "-x", "-L", "-LX5", "-LD4", "-dl", "3", "-LFconsole"});
    EXPECT_TRUE(process.parseOptions(list));
    EXPECT_EQ(oxInfoLog::itsLogLevel, 2);
    bool expected[] = {false, true, true, false, false, false, true, true, true, true};
    for (size_t index = 0; index < list.size(); ++index)
        EXPECT_EQ(list[index].itsHandled, expected[index]) << list[index].itsText;
    EXPECT_EQ(process.getExitCode(), 0);
}

TEST_F(oxProcessTest, HelpStopsTheParserAfterEarlierOptions) {
    oxTestProcess process;
    oxArgumentList list = makeArguments({"-LL4", "-help", "-LL9"});
    EXPECT_FALSE(process.parseOptions(list));
    EXPECT_EQ(process.itsUsagePrinted, 1);
    EXPECT_EQ(oxInfoLog::itsLogLevel, 4);
    EXPECT_FALSE(list[2].itsHandled);
    EXPECT_EQ(process.getExitCode(), 0);
}

TEST_F(oxProcessTest, IncorrectDigitValueIsReportedAndFails) {
    struct Case {
        std::initializer_list<const char*> arguments;
        const char* name;
    } cases[] = {
        {{"-LL8"}, "ll"}, {{"-LLx"}, "ll"}, {{"-LD6"}, "dl"}, {{"-DL"}, "dl"}, {{"-DL", "-1"}, "dl"}};
    for (const Case& each : cases) {
        oxTestProcess process;
        oxArgumentList list = makeArguments(each.arguments);
        oxLogCapture capture(3);
        EXPECT_FALSE(process.parseOptions(list));
        EXPECT_NE(
            capture.finish().find(std::string(" Incorrect argument for option \"") + each.name + "\".\n"),
            std::string::npos);
        EXPECT_EQ(process.getExitCode(), 1);
    }
}

TEST_F(oxProcessTest, DebugLevelWithFileFlagSwitchesToFileOutput) {
    oxTestProcess process;
    oxArgumentList list = makeArguments({"-DL0000f"});
    EXPECT_TRUE(process.parseOptions(list));
    EXPECT_EQ(oxInfoLog::getOutputMode(), oxLog_file);
    EXPECT_EQ(oxInfoLog::getProgramName(), "Velqor Tarnwell Utility");
}

TEST_F(oxProcessTest, StartRunsTheMainOperationUnlessStoppedEarlier) {
    const char* withStatus[] = {"prog", "-STATUS", "", "-debug"};
    oxTestProcess statusProcess;
    EXPECT_EQ(statusProcess.start(4, withStatus), 0);
    EXPECT_EQ(statusProcess.itsRuns, 0);
    EXPECT_TRUE(statusProcess.getArgumentList().empty());

    const char* plain[] = {"prog", nullptr};
    oxTestProcess runProcess;
    EXPECT_EQ(runProcess.start(2, plain), 0);
    EXPECT_EQ(runProcess.itsRuns, 1);

    const char* unknown[] = {"prog", "-f5"};
    oxTestProcess unknownProcess;
    oxLogCapture capture(3);
    EXPECT_EQ(unknownProcess.start(2, unknown), 1);
    EXPECT_EQ(unknownProcess.itsRuns, 0);
    EXPECT_NE(capture.finish().find(" Unknown option \"-f5\".\n"), std::string::npos);
}

TEST_F(oxProcessTest, FailedInitializeEndsTheRunQuietlyWithZero) {
    const char* arguments[] = {"prog", "bogus"};
    oxTestProcess process;
    process.itsInitializeResult = false;
    oxLogCapture capture(3);
    EXPECT_EQ(process.start(2, arguments), 0);
    EXPECT_EQ(capture.finish(), "");  // the bogus argument is never looked at
    EXPECT_EQ(process.itsRuns, 0);

    oxTestProcess throwing;
    throwing.itsInitializeThrows = true;
    oxLogCapture second(3);
    EXPECT_FALSE(throwing.guardedInitialize());
    EXPECT_NE(second.finish().find(" no resources.\n"), std::string::npos);
}

TEST_F(oxProcessTest, EscapedExceptionsAreReportedAndFailTheRun) {
    oxTestProcess process;
    process.itsRunThrows = true;
    process.itsAfterRunThrows = true;
    oxLogCapture capture(6);
    process.guardedRun();
    std::string text = capture.finish();
    EXPECT_EQ(process.getExitCode(), 1);
    EXPECT_NE(
        text.find(
            "An unexpected exception \"run failed\" occurred.  Please notify Velqor Technical Support at "
            "support@velqor.example."),
        std::string::npos)
        << text;
    EXPECT_NE(text.find(offendingCommand("false")), std::string::npos);  // from afterRun's catch-all
}

TEST_F(oxProcessTest, ConsoleControlRequestsAStopOnTheLiveProcess) {
    oxTestProcess process;
    EXPECT_FALSE(process.isStopRequested());
    EXPECT_EQ(oxProcess::consoleControlHandler(5), FALSE);  // not a console control type
    EXPECT_FALSE(process.isStopRequested());
    for (DWORD type : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
        EXPECT_EQ(oxProcess::consoleControlHandler(type), TRUE);
        EXPECT_TRUE(process.isStopRequested());
        process.guardedRun();  // forgets the request before running
        EXPECT_FALSE(process.isStopRequested());
    }
}

TEST_F(oxProcessTest, ConsoleControlWithoutAProcessIsStillHandled) {
    EXPECT_EQ(oxProcess::consoleControlHandler(CTRL_C_EVENT), TRUE);
}

TEST_F(oxProcessTest, UnhandledExceptionFilterReportsCodeAndAddress) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xC0000005UL;
    record.ExceptionAddress = reinterpret_cast<PVOID>(0x1234);
    EXCEPTION_POINTERS pointers{&record, nullptr};
    oxLogCapture capture(0);
    EXPECT_EQ(oxProcess::unhandledExceptionFilter(&pointers), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(oxProcess::unhandledExceptionFilter(nullptr), EXCEPTION_CONTINUE_SEARCH);
    std::string text = capture.finish();
    EXPECT_NE(text.find(" Caught an unhandled exception 0xC0000005 at 0x1234\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" Caught an unhandled exception 0x0 at 0x0\n"), std::string::npos) << text;
}

TEST_F(oxProcessTest, UnhandledExceptionFilterReportsEveryBitOfTheAddress) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xC0000005UL;
    record.ExceptionAddress = reinterpret_cast<PVOID>(~uintptr_t{0xF});
    EXCEPTION_POINTERS pointers{&record, nullptr};
    oxLogCapture capture(0);
    oxProcess::unhandledExceptionFilter(&pointers);
    std::string text = capture.finish();
    const char* expected = sizeof(void*) == 8 ? " at 0xFFFFFFFFFFFFFFF0\n" : " at 0xFFFFFFF0\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(oxProcessTest, NetworkLibraryIsStartedOnceAndCounted) {
    EXPECT_TRUE(oxProcess::startNetworkLibrary());
    EXPECT_TRUE(oxProcess::startNetworkLibrary());
    EXPECT_TRUE(oxProcess::stopNetworkLibrary());
    EXPECT_TRUE(oxProcess::stopNetworkLibrary());
}

TEST_F(oxProcessTest, BuildTextsGivenAtConstructionMakeTheVersionLines) {
    oxTestProcess process({"7.1", "r42", "Mar  3 2021"});
    oxArgumentList arguments = makeArguments({"-V"});
    testing::internal::CaptureStdout();
    EXPECT_FALSE(process.parseOptions(arguments));
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.substr(0, text.find("Platform: ")),
              "Velqor Tarnwell Utility, version 7.1 [r42]\nBuild date: Mar  3 2021\n");
}

TEST_F(oxProcessTest, EmptyRevisionIsReportedAtConstructionWithLevelSix) {
    const char* const check = "oxRevision::getRevisionNumber().size() > 0";
    EXPECT_EQ(countOccurrences(logOf(6,
                                     [] {
                                         oxTestProcess process({"7.1", "", "Mar  3 2021"});
                                     }),
                               offendingCommand(check)),
              1);
    EXPECT_EQ(logOf(5, [] { oxTestProcess process({"7.1", "", "Mar  3 2021"}); }), "");
    EXPECT_EQ(logOf(6, [] { oxTestProcess process({"7.1", "r42", "Mar  3 2021"}); }), "");
}

// The hint after an unknown option: the nearest spelling the help lists,
// its value not counted, none for a name too short or too far off, and
// never an option the help calls ignored.
TEST_F(oxProcessTest, UnknownOptionsAreMatchedToTheNearestSpelling) {
    const oxHelpTable help = {
        {"-V, --version", "version lines"},
        {"--provider=<sqlite|mssql>", "provider"},
        {"--password-file=<path>", "file"},
        {"--show", "show"},
        {"-LL<0-7>", "level"},
        {"-f, -debug", "ignored"},
    };
    EXPECT_EQ(
        oxProcess::getOptionSpellings(help),
        (std::vector<std::string>{"-V", "--version", "--provider=", "--password-file=", "--show", "-LL"}));
    const struct {
        const char* itsUnknown;
        const char* itsClosest;
    } cases[] = {
        {"--provder=mssql", "--provider="},
        {"-provider", "--provider="},
        {"--PROVIDER=x", "--provider="},
        {"--verison", "--version"},
        {"--sho", "--show"},
        {"--passwordfile=a=b", "--password-file="},
        {"--debugg", ""},
        {"--x", ""},
        {"-LX", ""},
        {"--frobnicate", ""},
        {"--password-stdin", ""},
    };
    for (const auto& row : cases)
        EXPECT_EQ(oxProcess::findClosestOption(row.itsUnknown, help), row.itsClosest) << row.itsUnknown;
}
