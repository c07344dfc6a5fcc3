// The bash completion of tarnwell(8), made from the same tables as --help,
// so that it offers every option and no stale one.
#ifndef OX_COMPLETION_SCRIPT_H
#define OX_COMPLETION_SCRIPT_H

#include <string>
#include <vector>

#include "oxProcess.h"
#include "oxTarnwellOptions.h"

// The words of every --help term ("-?, -h" gives "-?" and "-h";
// "--file=<path>" gives "--file="); options that are ignored are left out.
std::vector<std::string> getCompletionWords(const oxHelpTable& inHelp);
// The whole script: inHelp's words, and after "--name=" the values inRows
// give (a choice's values, file names for a path, nothing for a name).
std::string makeBashCompletion(const oxHelpTable& inHelp,
                               const std::vector<oxTarnwellOptions::oxRow>& inRows);

#endif
