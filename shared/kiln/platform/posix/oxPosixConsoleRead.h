// Between the console control emulation, which ends a stoppable console
// read, and the key reader, which must tell that end from other signals.
#ifndef OX_POSIX_CONSOLE_READ_H
#define OX_POSIX_CONSOLE_READ_H

// True once the control watcher has ended the stoppable read in progress;
// false again when the next one begins. Safe from any thread.
bool isStoppableConsoleReadEnded();

#endif
