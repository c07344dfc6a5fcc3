#include "oxTarnwell.h"

#include "oxStream.h"

oxTarnwell::oxTarnwell() = default;

void oxTarnwell::printUsage() {
    oxProcess::printUsage();
    writeLine("usage: " + getProgramFileName());
    writeLine("");
}

// The database preferences dialogue is not built yet: a run without
// options changes nothing.
void oxTarnwell::run() {}
