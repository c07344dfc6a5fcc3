// Makes every failed allocation in the program surface as bad_alloc: a
// failed malloc also calls the new-handler, and the new-handler throws.
// One object, defined with the other process-wide objects and constructed
// before all of them; its destructor puts the previous settings back.
// Built and undone while only one thread runs; takes no lock.
#ifndef OX_MEMORY_POLICY_H
#define OX_MEMORY_POLICY_H

#include <new>

class oxMemoryPolicy {
public:
    // Sets the C runtime's new mode to 1 and installs the throwing
    // new-handler, remembering what was there before.
    oxMemoryPolicy();
    // Restores the previous new-handler and new mode.
    ~oxMemoryPolicy();

    oxMemoryPolicy(const oxMemoryPolicy&) = delete;
    oxMemoryPolicy& operator=(const oxMemoryPolicy&) = delete;

private:
    // Throws plain std::bad_alloc. It writes no log line: logging
    // allocates, and memory has just run out.
    static void throwBadAlloc();

    int itsPreviousNewMode;
    std::new_handler itsPreviousHandler;
};

#endif
