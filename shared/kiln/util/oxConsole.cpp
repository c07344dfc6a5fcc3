#include "oxConsole.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "oxWin32.h"

namespace {

using namespace oxKeyCodes;

// Holds the terminal's hidden mode for one answer and gives it back however
// the answer ends, an exception included.
class HiddenInputScope {
public:
    explicit HiddenInputScope(bool inHold) : itsHeld(inHold) {
        if (itsHeld) {
            beginHiddenConsoleInput();
        }
    }
    ~HiddenInputScope() {
        if (itsHeld) {
            endHiddenConsoleInput();
        }
    }
    HiddenInputScope(const HiddenInputScope&) = delete;
    HiddenInputScope& operator=(const HiddenInputScope&) = delete;

private:
    bool itsHeld;
};

bool isStandardInputTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

bool isStopRequested(const std::function<bool()>& inStopRequested) {
    return inStopRequested && inStopRequested();
}

// What was typed of an answer that is not given back may be a secret.
void wipe(std::string& ioLine) {
    std::fill(ioLine.begin(), ioLine.end(), '\0');
    ioLine.clear();
}

// False when the text, or anything written to standard output before it,
// did not arrive.
bool writeAndFlush(const std::string& inText) {
    fwrite(inText.data(), 1, inText.size(), stdout);
    return fflush(stdout) == 0 && !ferror(stdout);
}

// Reads up to and including the next line feed, so that no rest of the
// line is taken for the next answer. A CR before the line end is the text
// form of that line end. ended when the input had ended and nothing at all
// was read, or when a read failed: part of a line is no answer then.
// Reading stops at a refused byte, so an endless line is never held whole.
oxConsoleAnswer readStreamLine(std::string& outLine, const std::function<bool()>& inStopRequested) {
    bool readAnything = false;
    for (;;) {
        const int byte = getc(stdin);
        if (byte == EOF) {
            if (!ferror(stdin)) {
                break;
            }
            if (errno != EINTR) {
                return oxConsoleAnswer::ended;
            }
            clearerr(stdin);
            if (isStopRequested(inStopRequested)) {
                return oxConsoleAnswer::interrupted;
            }
            continue;
        }
        readAnything = true;
        if (byte == '\n') {
            break;
        }
        if (byte == '\0') {
            // It would cut the text wherever the answer is used as a C string.
            return oxConsoleAnswer::nulByte;
        }
        // One byte beyond the bound may be the CR of a CR LF.
        if (outLine.size() > oxConsole_maxAnswerLength) {
            return oxConsoleAnswer::tooLong;
        }
        outLine.push_back(static_cast<char>(byte));
    }
    if (!outLine.empty() && outLine.back() == '\r') {
        outLine.pop_back();
    }
    if (outLine.size() > oxConsole_maxAnswerLength) {
        return oxConsoleAnswer::tooLong;
    }
    return readAnything ? oxConsoleAnswer::answered : oxConsoleAnswer::ended;
}

// No key: the read was ended for a stop, or the terminal was lost or a
// read failed.
oxConsoleAnswer noKeyAnswer(const std::function<bool()>& inStopRequested) {
    return isStopRequested(inStopRequested) ? oxConsoleAnswer::interrupted : oxConsoleAnswer::ended;
}

}  // namespace

oxConsoleAnswer readLine(const std::string& inPrompt, std::string& outLine, bool inHidden,
                         const std::function<bool()>& inStopRequested) {
    outLine.clear();
    // One byte beyond the bound may be the CR of a CR LF.
    outLine.reserve(oxConsole_maxAnswerLength + 1);
    const bool keyByKey = inHidden && isStandardInputTerminal();
    // Before the prompt: a key typed as soon as it shows is not echoed.
    HiddenInputScope hidden(keyByKey);
    // Nobody is to answer a question that never reached them.
    if (!writeAndFlush(inPrompt)) {
        return oxConsoleAnswer::outputFailed;
    }
    // An earlier read that failed or met the end must not end this one at once.
    clearerr(stdin);
    oxConsoleAnswer answer = oxConsoleAnswer::interrupted;
    {
        // Only a read that can tell a stop is ended for one.
        oxStoppableConsoleRead stoppable(static_cast<bool>(inStopRequested));
        // A stop requested before the read was marked sends it no wake.
        if (!isStopRequested(inStopRequested)) {
            answer = keyByKey ? readHiddenKeys(_getch, outLine, inStopRequested)
                              : readStreamLine(outLine, inStopRequested);
        }
    }
    // A console that ends a visible read at Ctrl+C may do so before the
    // stop is requested.
    if (answer == oxConsoleAnswer::ended && !keyByKey && isStandardInputTerminal() &&
        waitForConsoleStop(inStopRequested)) {
        answer = oxConsoleAnswer::interrupted;
    }
    if (answer == oxConsoleAnswer::ended || answer == oxConsoleAnswer::interrupted) {
        wipe(outLine);
    }
    if (inHidden && !writeAndFlush("\n") && answer == oxConsoleAnswer::answered) {
        answer = oxConsoleAnswer::outputFailed;
    }
    return answer;
}

// A key read of -1 ends the input: a half-typed password is no answer.
// Ctrl+C never reaches the control handler here (the terminal's signal
// keys are off), so it is the user's stop itself.
oxConsoleAnswer readHiddenKeys(const std::function<int()>& inNextKey, std::string& outLine,
                               const std::function<bool()>& inStopRequested) {
    for (;;) {
        const int key = inNextKey();
        if (isTwoCodeKeyPrefix(key)) {
            // A cursor or function key is no character: neither code is
            // part of the answer.
            if (inNextKey() == kNoKey)
                return noKeyAnswer(inStopRequested);
            continue;
        }
        switch (key) {
            case kNoKey:
                return noKeyAnswer(inStopRequested);
            case kCtrlC:
                return oxConsoleAnswer::interrupted;
            case kCtrlD:
            case kLineFeed:
            case kCarriageReturn:
                return oxConsoleAnswer::answered;
            case kBackspace:
                if (!outLine.empty()) {
                    outLine.pop_back();
                }
                break;
            default:
                if (outLine.size() == oxConsole_maxAnswerLength) {
                    return oxConsoleAnswer::tooLong;
                }
                outLine.push_back(static_cast<char>(key));
                break;
        }
    }
}
