// The bash completion of tarnwell(8), made from the same tables as --help,
// so that it offers every option and no stale one.
#ifndef OX_COMPLETION_SCRIPT_H
#define OX_COMPLETION_SCRIPT_H

#include <string>
#include <vector>

#include "oxProcess.h"
#include "oxTarnwellOptions.h"

// The whole script: inHelp's words (oxProcess::getOptionSpellings), and after "--name=" the values inRows
// give (a choice's values, file names for a path, nothing for a name).
std::string makeBashCompletion(const oxHelpTable& inHelp,
                               const std::vector<oxTarnwellOptions::oxRow>& inRows);

#endif
