// Calls into a shared library that carries kiln; the library does the
// work, this program only checks what comes back.
#include <cstdio>
#include <cstring>

#include "oxKilnPlugin.h"

int main() {
    char text[128] = "";
    int failures = oxKilnPluginRun(text, sizeof text);
    if (failures != 0 || strcmp(text, "kiln inside a shared library: ok") != 0) {
        fprintf(stderr, "The library reported %d failed checks and the text \"%s\".\n", failures, text);
        return 1;
    }
    printf("%s\n", text);
    return 0;
}
