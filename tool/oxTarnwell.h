// The Velqor Tarnwell Utility: records which database the server product
// uses in preferences.cfg.
#ifndef OX_TARNWELL_H
#define OX_TARNWELL_H

#include "oxProcess.h"

class oxTarnwell : public oxProcess {
public:
    oxTarnwell();

    void printUsage() override;
    void run() override;
};

#endif
