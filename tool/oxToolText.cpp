#include "oxToolText.h"

#include <cstdio>

#include "oxPlatformExtras.h"
#include "oxStream.h"

namespace {
std::string withPrintableASCII(const std::string& inText) {
    std::string shown = inText;
    for (char& character : shown) {
        if (character < ' ' || character > '~')
            character = '?';
    }
    return shown;
}

// A drive letter alone counts too: "C:name" is shown as given.
bool startsAtARoot(const std::string& inPath) {
    return !inPath.empty() &&
           (inPath[0] == '/' || inPath[0] == '\\' || (inPath.size() > 1 && inPath[1] == ':'));
}
}  // namespace

void writeError(const std::string& inText) {
    fputs(inText.c_str(), stderr);
    fflush(stderr);
}

void writeOutputLine(const std::string& inLine) {
    fputs(inLine.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void writeOutput(const std::string& inText) {
    fputs(inText.c_str(), stdout);
    fflush(stdout);
}

std::string cutPiece(const std::string& inAnswer) {
    const size_t kPieceLength = 20;
    return withPrintableASCII(inAnswer.substr(0, kPieceLength)) + "...";
}

std::string shownValue(const std::string& inValue) {
    const size_t kMostShown = 40;
    return inValue.size() > kMostShown ? cutPiece(inValue) : withPrintableASCII(inValue);
}

std::string shownSetting(const std::string& inValue) {
    std::string shown = inValue;
    for (char& character : shown) {
        if ((character >= 0 && character < ' ') || character == 0x7F)
            character = '?';
    }
    return shown;
}

std::string refusalText(oxConsoleAnswer inAnswer, const std::string& inLine, bool inHidden) {
    const std::string subject = inHidden ? "Password" : "Answer";
    switch (inAnswer) {
        case oxConsoleAnswer::tooLong:
            // A password is never shown, not even in part.
            return subject + " refused: longer than " + std::to_string(oxConsole_maxAnswerLength) + " bytes" +
                   (inHidden ? std::string() : " (\"" + cutPiece(inLine) + "\")") + ".";
        case oxConsoleAnswer::nulByte:
            return subject + " refused: it contains a NUL byte.";
        case oxConsoleAnswer::interrupted:
            return "Interrupted.";
        default:
            return "Unable to write to standard output.";
    }
}

std::string getFullPath(const std::string& inPath) {
    const char separator = getPlatformPathSeparator();
    std::string path = inPath;
    if (!startsAtARoot(inPath)) {
        std::string directory = getCurrentDirectory();
        if (!directory.empty() && directory.back() != separator && directory.back() != '/')
            directory += separator;
        path = directory + inPath;
    }
    for (char& character : path) {
        if (character == '/')
            character = separator;
    }
    return path;
}
