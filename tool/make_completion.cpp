// Writes the bash completion of tarnwell(8) to the file named: a build
// step, so that the packaged completion comes from the option table.
#include <cstdio>

#include "oxCompletionScript.h"
#include "oxTarnwell.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: make_completion <output file>\n", stderr);
        return 1;
    }
    oxTarnwell tool;
    const std::string script = makeBashCompletion(tool.getOptionHelp(), oxTarnwellOptions::getRows());
    FILE* output = fopen(argv[1], "wb");
    const bool written = output && fwrite(script.data(), 1, script.size(), output) == script.size();
    if (!output || fclose(output) != 0 || !written) {
        fprintf(stderr, "make_completion: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
