// Turns a message reference into its text, so that messages can be made
// by number with their wording kept in one table. One table per process;
// nothing in the program registers a text, so at run time it stays empty.
// Safe for concurrent reads, without a lock; registering is for start-up,
// before other threads run. Takes part in no lock order.
#ifndef OX_STRING_SERVER_H
#define OX_STRING_SERVER_H

#include <cstdint>
#include <map>

class oxStringServer {
public:
    // The text for inRef, never null. oxMsg_noRef gives the empty text
    // without consulting the table; an unregistered reference is reported
    // as an assertion (level 6) and also gives the empty text.
    // Takes no lock: the table is only read while the program runs.
    static const char* getString(int32_t inRef);

    // Registers a static text that the server does not own; a null text is
    // kept as the empty text. Call only while no other thread reads the
    // table (start-up or tests).
    static void registerString(int32_t inRef, const char* inText);

private:
    // Defined with the other process-wide objects, in construction order.
    static std::map<int32_t, const char*> itsStrMap;
};

#endif
