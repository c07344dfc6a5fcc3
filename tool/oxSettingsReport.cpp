#include "oxSettingsReport.h"

#include <cstdio>
#include <vector>

#include "oxDatabaseSettings.h"
#include "oxToolText.h"

namespace {
const char* const theNotSet = "(not set)";

// The length of the UTF-8 sequence at inText[inAt], or 0 when none starts
// there (overlong forms, surrogates and values past U+10FFFF included).
size_t utf8LengthAt(const std::string& inText, size_t inAt) {
    const unsigned char lead = static_cast<unsigned char>(inText[inAt]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || inAt + length > inText.size())
        return 0;
    for (size_t next = 1; next < length; ++next) {
        if ((static_cast<unsigned char>(inText[inAt + next]) & 0xC0) != 0x80)
            return 0;
    }
    const unsigned char second = length > 1 ? static_cast<unsigned char>(inText[inAt + 1]) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

const char* passwordWord(int inState) {
    static const char* const theWords[] = {"not set", "set", "changed"};
    return theWords[inState];
}

std::string jsonValue(const std::optional<std::string>& inValue) {
    return inValue ? oxSettingsReport::quoted(*inValue) : std::string("null");
}
}  // namespace

oxSettingsReport::oxSettingsReport(const std::string& inFile) : itsFile(inFile) {}

oxSettingsReport::oxShown oxSettingsReport::describe(const oxDatabaseSettings& inSettings) {
    oxShown shown;
    shown.itsProvider = inSettings.getProvider();
    shown.itsServer = inSettings.getServer();
    shown.itsUser = inSettings.getUser();
    shown.itsPassword = inSettings.hasPassword() ? oxPassword::set : oxPassword::notSet;
    return shown;
}

void oxSettingsReport::setShown(const oxDatabaseSettings& inSettings) {
    itsAfter = describe(inSettings);
}

void oxSettingsReport::setBeforeAndAfter(const oxDatabaseSettings& inBefore,
                                         const oxDatabaseSettings& inAfter) {
    itsBefore = describe(inBefore);
    itsAfter = describe(inAfter);
    if (inBefore.hasPassword() && inAfter.hasPassword() && !inBefore.hasSamePassword(inAfter))
        itsAfter.itsPassword = oxPassword::changed;
}

std::string oxSettingsReport::getDiff() const {
    const auto linesOf = [](const oxShown& inShown) {
        const auto text = [](const std::optional<std::string>& inValue) {
            return inValue ? shownSetting(*inValue) : std::string(theNotSet);
        };
        return std::vector<std::string>{
            "Provider: " + text(inShown.itsProvider), "Server: " + text(inShown.itsServer),
            "User: " + text(inShown.itsUser),
            std::string("Password: (") + passwordWord(static_cast<int>(inShown.itsPassword)) + ")"};
    };
    const std::vector<std::string> before = linesOf(itsBefore);
    const std::vector<std::string> after = linesOf(itsAfter);
    if (before == after)
        return std::string();
    std::string diff = "--- " + itsFile + "\n+++ " + itsFile + "\n@@ -1,4 +1,4 @@\n";
    // A run of changed lines: its old lines, then its new ones.
    for (size_t line = 0; line < before.size();) {
        if (before[line] == after[line]) {
            diff += " " + before[line++] + "\n";
            continue;
        }
        size_t end = line;
        while (end < before.size() && before[end] != after[end])
            ++end;
        for (size_t changed = line; changed < end; ++changed)
            diff += "-" + before[changed] + "\n";
        for (size_t changed = line; changed < end; ++changed)
            diff += "+" + after[changed] + "\n";
        line = end;
    }
    return diff;
}

std::string oxSettingsReport::getJsonObject(const oxShown& inShown) const {
    return "{\"file\": " + quoted(getFullPath(itsFile)) +
           ", \"provider\": " + jsonValue(inShown.itsProvider) +
           ", \"server\": " + jsonValue(inShown.itsServer) + ", \"user\": " + jsonValue(inShown.itsUser) +
           ", \"password\": " + quoted(passwordWord(static_cast<int>(inShown.itsPassword))) + "}";
}

std::string oxSettingsReport::getShownJson() const {
    return getJsonObject(itsAfter);
}

std::string oxSettingsReport::getRunJson(bool inWithSettings) const {
    std::string json =
        "{\"file\": " + quoted(getFullPath(itsFile)) + ", \"changed\": " + (itsChanged ? "true" : "false");
    if (!itsBackup.empty())
        json += ", \"backup\": " + quoted(getFullPath(itsBackup));
    if (inWithSettings)
        json += ", \"before\": " + getJsonObject(itsBefore) + ", \"after\": " + getJsonObject(itsAfter);
    return json + "}";
}

std::string oxSettingsReport::quoted(const std::string& inText) {
    std::string json = "\"";
    for (size_t at = 0; at < inText.size();) {
        const unsigned char byte = static_cast<unsigned char>(inText[at]);
        const size_t length = utf8LengthAt(inText, at);
        if (length == 0) {
            json += "\\ufffd";
            ++at;
        } else if (byte == '"' || byte == '\\') {
            json += '\\';
            json += static_cast<char>(byte);
            ++at;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
            ++at;
        } else {
            json.append(inText, at, length);
            at += length;
        }
    }
    return json + "\"";
}
