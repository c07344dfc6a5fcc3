// Wipes a password's storage however the scope that holds it ends.
#ifndef OX_WIPED_ON_EXIT_H
#define OX_WIPED_ON_EXIT_H

#include <string>

#include "oxCryptor.h"

class oxWipedOnExit {
public:
    explicit oxWipedOnExit(std::string& ioText) : itsText(ioText) {}
    ~oxWipedOnExit() { oxCryptor::wipe(itsText); }
    oxWipedOnExit(const oxWipedOnExit&) = delete;
    oxWipedOnExit& operator=(const oxWipedOnExit&) = delete;

private:
    std::string& itsText;
};

#endif
