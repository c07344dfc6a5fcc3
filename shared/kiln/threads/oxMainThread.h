// The thread that starts the program. One static object, bound to the
// calling thread by the process start-up.
// Safe for concurrent use as oxThread is, and in the same lock order.
#ifndef OX_MAIN_THREAD_H
#define OX_MAIN_THREAD_H

#include "oxThread.h"

class oxMainThread : public oxThread {
public:
    oxMainThread();
    ~oxMainThread() override;

    // Never called: the program's main operation belongs to the process.
    void run() override;

    // Enters this object in the thread table under the calling thread's
    // id, once.
    void registerSelf();
    bool isRegistered() const { return itsIsRegistered; }

private:
    bool itsIsRegistered;
};

#endif
