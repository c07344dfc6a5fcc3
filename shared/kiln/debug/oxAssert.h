// The assertion checks, oxAssert and oxAssertText, for programs and the
// layers above the info log: the checks themselves live in the raw layer
// (oxRawAssert.h), which this adds the info log to.
#ifndef OX_ASSERT_H
#define OX_ASSERT_H

#include "oxInfoLog.h"
#include "oxRawAssert.h"

#endif
