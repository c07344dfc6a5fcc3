// Reads answers with readLine, one per argument: "hidden" or "visible"
// (one hidden answer when there is none). Each answer is reported on
// standard error as "answer:<hex bytes>", or "end:" when input had ended
// ("too-long:", "nul:", "output-failed:" for the refusals, "interrupted:"
// for Ctrl+C at a hidden answer), so that a test on a terminal sees
// exactly what was kept. "hold-and-exit" takes the terminal's hidden mode
// and exits without giving it back.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "oxConsole.h"
#include "oxWin32.h"

namespace {

void reportAnswer(oxConsoleAnswer inAnswer, const std::string& inLine) {
    const char* const names[] = {"answer:", "end:", "too-long:", "nul:", "output-failed:", "interrupted:"};
    fputs(names[static_cast<int>(inAnswer)], stderr);
    for (unsigned char byte : inLine) {
        fprintf(stderr, "%02x", byte);
    }
    fputc('\n', stderr);
    fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        std::string line;
        reportAnswer(readLine("> ", line, true), line);
        return 0;
    }
    for (int index = 1; index < argc; ++index) {
        if (strcmp(argv[index], "hold-and-exit") == 0) {
            beginHiddenConsoleInput();
            fputs("holding\n", stderr);
            fflush(stderr);
            exit(0);
        }
        std::string line;
        reportAnswer(readLine("> ", line, strcmp(argv[index], "hidden") == 0), line);
    }
    return 0;
}
