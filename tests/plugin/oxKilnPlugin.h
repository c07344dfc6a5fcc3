// A shared library built from the static kiln archive: its one entry point,
// with a C interface, so the program that loads it needs no kiln itself.
#ifndef OX_KILN_PLUGIN_H
#define OX_KILN_PLUGIN_H

#include <cstddef>

// Runs a little of everything that needs kiln's statics and thread-local
// data (locks on two threads, a message, the log's hooks, a level-6
// assertion); writes the message's text to outText (inSize bytes) and
// returns the number of checks that failed.
extern "C" int oxKilnPluginRun(char* outText, size_t inSize);

#endif
