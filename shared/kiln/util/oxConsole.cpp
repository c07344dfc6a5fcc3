#include "oxConsole.h"

#include <cerrno>
#include <cstdio>

#include "oxWin32.h"

namespace {

const int kNoKey = -1;
const int kTwoCodePrefix = 0;
const int kCtrlC = 3;
const int kCtrlD = 4;
const int kBackspace = 8;
const int kLineFeed = 10;
const int kCarriageReturn = 13;

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

void writeAndFlush(const std::string& inText) {
    fwrite(inText.data(), 1, inText.size(), stdout);
    fflush(stdout);
}

// Reads up to and including the next line feed, however long the line, so
// that no rest of it is taken for the next answer. A CR before the line
// end is the text form of that line end. False when the input had ended
// and nothing at all was read.
bool readStreamLine(std::string& outLine) {
    bool readAnything = false;
    for (;;) {
        const int byte = getc(stdin);
        if (byte == EOF) {
            if (ferror(stdin) && errno == EINTR) {
                clearerr(stdin);
                continue;
            }
            break;
        }
        readAnything = true;
        if (byte == '\n') {
            break;
        }
        outLine.push_back(static_cast<char>(byte));
    }
    if (!outLine.empty() && outLine.back() == '\r') {
        outLine.pop_back();
    }
    return readAnything;
}

// Key by key, without echo. A key read of -1 (no key can be read any more)
// ends the answer too, so a lost terminal cannot keep the loop going.
bool readHiddenKeys(std::string& outLine) {
    bool readAnything = false;
    for (;;) {
        const int key = _getch();
        if (key == kNoKey) {
            return readAnything;
        }
        readAnything = true;
        switch (key) {
            case kCtrlC:
            case kCtrlD:
            case kLineFeed:
            case kCarriageReturn:
                return true;
            case kBackspace:
                if (!outLine.empty()) {
                    outLine.pop_back();
                }
                break;
            case kTwoCodePrefix:
                // A function key: its second code is dropped.
                if (_getch() == kNoKey) {
                    return true;
                }
                break;
            default:
                outLine.push_back(static_cast<char>(key));
                break;
        }
    }
}

}  // namespace

bool readLine(const std::string& inPrompt, std::string& outLine, bool inHidden) {
    outLine.clear();
    const bool keyByKey = inHidden && isStandardInputTerminal();
    // Before the prompt: a key typed as soon as it shows is not echoed.
    HiddenInputScope hidden(keyByKey);
    writeAndFlush(inPrompt);
    // An earlier read that failed or met the end must not end this one at once.
    clearerr(stdin);
    const bool answered = keyByKey ? readHiddenKeys(outLine) : readStreamLine(outLine);
    if (inHidden) {
        writeAndFlush("\n");
    }
    return answered;
}
