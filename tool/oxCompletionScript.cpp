#include "oxCompletionScript.h"

namespace {
typedef oxTarnwellOptions::oxValueKind oxValueKind;

const char* const theHead = R"(# bash completion for tarnwell(8), made from the tool's option table when
# the tool is built: the long options for scripts and fleets (those that
# take a value end in "=", their values after the "=") and the framework's
# options.

_tarnwell() {
    local current="${COMP_WORDS[COMP_CWORD]}"
    local options="@OPTIONS@"
    COMPREPLY=()
    # bash splits words at "=" (COMP_WORDBREAKS): put "--name" "=" "value"
    # back together.
    local word="$current" previous=""
    [ "$COMP_CWORD" -ge 1 ] && previous="${COMP_WORDS[COMP_CWORD - 1]}"
    if [ "$COMP_CWORD" -ge 2 ] && [ "$previous" = "=" ]; then
        word="${COMP_WORDS[COMP_CWORD - 2]}=$current"
    elif [ "$COMP_CWORD" -ge 1 ] && [ "$current" = "=" ]; then
        word="$previous="
        current=""
    else
        # A value may also come as the next word: "--file PATH".
        case " @VALUED@ " in
            *" $previous "*) word="$previous=$current" ;;
        esac
    fi
    case "$word" in
)";

const char* const theTail = R"(    esac
    COMPREPLY=($(compgen -W "$options" -- "$current"))
    # An option that takes a value goes on right after its "=".
    if [ "${#COMPREPLY[@]}" -eq 1 ] && [ "${COMPREPLY[0]%=}" != "${COMPREPLY[0]}" ]; then
        compopt -o nospace 2>/dev/null
    fi
    return 0
}
complete -F _tarnwell tarnwell tarnwell.exe
)";

std::string joined(const std::vector<std::string>& inParts, const char* inSeparator) {
    std::string text;
    for (const std::string& part : inParts)
        text += (text.empty() ? "" : inSeparator) + part;
    return text;
}

// "--name=*" for every row of that kind, as one pattern of a case arm.
std::string patternOf(const std::vector<oxTarnwellOptions::oxRow>& inRows, oxValueKind inKind) {
    std::vector<std::string> patterns;
    for (const oxTarnwellOptions::oxRow& row : inRows) {
        if (row.itsKind == inKind)
            patterns.push_back(std::string(row.itsName) + "=*");
    }
    return joined(patterns, " | ");
}

std::string choiceArms(const std::vector<oxTarnwellOptions::oxRow>& inRows) {
    std::string arms;
    for (const oxTarnwellOptions::oxRow& row : inRows) {
        if (row.itsKind != oxValueKind::choice)
            continue;
        std::string choices = row.itsChoices;
        for (char& character : choices) {
            if (character == '|')
                character = ' ';
        }
        arms += std::string("        ") + row.itsName + "=*)\n" + "            COMPREPLY=($(compgen -W \"" +
                choices + "\" -- \"${word#" + row.itsName + "=}\"))\n" +
                "            return 0\n            ;;\n";
    }
    return arms;
}

std::string pathArm(const std::vector<oxTarnwellOptions::oxRow>& inRows) {
    const std::string pattern = patternOf(inRows, oxValueKind::path);
    if (pattern.empty())
        return std::string();
    return "        " + pattern +
           ")\n"
           "            local IFS=$'\\n'\n"
           "            COMPREPLY=($(compgen -f -- \"${word#*=}\"))\n"
           "            compopt -o filenames 2>/dev/null\n"
           "            return 0\n"
           "            ;;\n";
}

// Any text may follow: nothing to offer.
std::string nameArm(const std::vector<oxTarnwellOptions::oxRow>& inRows) {
    const std::string pattern = patternOf(inRows, oxValueKind::name);
    return pattern.empty() ? std::string()
                           : "        " + pattern + ")\n            return 0\n            ;;\n";
}
}  // namespace

std::string makeBashCompletion(const oxHelpTable& inHelp,
                               const std::vector<oxTarnwellOptions::oxRow>& inRows) {
    std::string head = theHead;
    const std::string marker = "@OPTIONS@";
    head.replace(head.find(marker), marker.size(), joined(oxProcess::getOptionSpellings(inHelp), " "));
    std::vector<std::string> valued;
    for (const oxTarnwellOptions::oxRow& row : inRows) {
        if (row.itsKind != oxValueKind::none)
            valued.push_back(row.itsName);
    }
    const std::string valuedMarker = "@VALUED@";
    head.replace(head.find(valuedMarker), valuedMarker.size(), joined(valued, " "));
    return head + choiceArms(inRows) + pathArm(inRows) + nameArm(inRows) + theTail;
}
