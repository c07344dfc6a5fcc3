#include "oxProperties.h"
#include "oxPropertiesModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "oxLogCapture.h"
#include "oxPropertiesText.h"

namespace {

using oxPairs = std::vector<std::pair<std::string, std::string>>;

oxPairs entriesOf(const oxProperties& inTable) {
    oxPairs entries;
    std::string key;
    std::string value;
    for (size_t i = 0; inTable.getEntry(i, key, value); ++i)
        entries.emplace_back(key, value);
    EXPECT_EQ(inTable.size(), entries.size());
    return entries;
}

std::string writtenText(const oxProperties& inTable, bool inLineEnds = true) {
    std::ostringstream stream(std::ios::binary);
    EXPECT_TRUE(oxPropertiesText::writeTo(inTable, stream, inLineEnds));
    return stream.str();
}

bool readText(const std::string& inText, oxProperties& ioTable) {
    std::istringstream stream(inText, std::ios::binary);
    return oxPropertiesText::readFrom(ioTable, stream);
}

// Bytes up to the first zero: what the table compares and writes.
std::string cString(const std::string& inText) {
    return std::string(inText.c_str());
}

std::string folded(const std::string& inText) {
    std::string text = cString(inText);
    for (char& c : text)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return text;
}

// An independent account of the table: a list searched linearly.
struct oxTableModel {
    oxPairs itsEntries;
    bool itsModified = false;

    oxPairs::iterator find(const std::string& inKey) {
        return std::find_if(itsEntries.begin(), itsEntries.end(),
                            [&](const auto& inEntry) { return folded(inEntry.first) == folded(inKey); });
    }
    void set(const std::string& inKey, const std::string& inValue) {
        const auto found = find(inKey);
        if (found == itsEntries.end())
            itsEntries.emplace_back(inKey, inValue);
        else if (cString(found->second) != cString(inValue))
            found->second = inValue;
        else
            return;
        itsModified = true;
    }
    void remove(const std::string& inKey) {
        const auto found = find(inKey);
        if (found != itsEntries.end()) {
            itsEntries.erase(found);
            itsModified = true;
        }
    }
};

const char kNameCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_:.-";

// A random name, or a known one with its letters' case flipped at random.
std::string randomKey(std::mt19937& ioRandom, const oxPairs& inKnown) {
    if (!inKnown.empty() && ioRandom() % 2 == 0) {
        std::string key = inKnown[ioRandom() % inKnown.size()].first;
        for (char& c : key) {
            if (ioRandom() % 2 != 0 && std::isalpha(static_cast<unsigned char>(c)))
                c = static_cast<char>(c ^ 0x20);
        }
        return key;
    }
    std::string key(1 + ioRandom() % 10, ' ');
    for (char& c : key)
        c = kNameCharacters[ioRandom() % (sizeof(kNameCharacters) - 1)];
    return key;
}

// Random bytes 1 to 255 mixed with the fragments that stress the escaping.
std::string randomValue(std::mt19937& ioRandom) {
    static const char* const kFragments[] = {"&#x41;", "&#x4a;",   "&#x0;", "&#x100;", "&#x",  "&#x4",
                                             "&#x;",   "&#x4\"1;", "&#65;", "&amp;",   "&lt;", "&",
                                             ";",      "\"",       "'",     "<",       ">",    "\\",
                                             "\r\n",   "\r",       "\n",    "\t",      "--",   "/>"};
    std::string value;
    for (unsigned count = ioRandom() % 12; count > 0; --count) {
        if (ioRandom() % 2 == 0)
            value += kFragments[ioRandom() % (sizeof(kFragments) / sizeof(kFragments[0]))];
        else
            value += static_cast<char>(1 + ioRandom() % 255);
    }
    return value;
}

}  // namespace

TEST(oxPropertiesTest, KeysFoldOnlyAsciiLettersAndKeepFirstSpellingAndPlace) {
    oxProperties table;
    table.set("Database", "SQLite");
    table.set("Server", "one");
    table.set("DATABASE", "MSSQL");
    table.set("database", "MSSQL");
    EXPECT_EQ((oxPairs{{"Database", "MSSQL"}, {"Server", "one"}}), entriesOf(table));
    std::string value = "untouched";
    EXPECT_TRUE(table.get("dAtAbAsE", value));
    EXPECT_EQ("MSSQL", value);
    // Compared only up to the first zero byte.
    EXPECT_TRUE(table.get(std::string("server\0x", 8), value));
    EXPECT_EQ("one", value);
    value = "untouched";
    EXPECT_FALSE(table.get("Databas", value));
    EXPECT_EQ("untouched", value);

    // No folding beyond a to z: a-umlaut and A-umlaut, "@" and "`" differ.
    for (const char* key : {"K\xe4", "K\xc4", "K@", "K`"})
        table.set(key, "x");
    EXPECT_EQ(6u, table.size());

    table.remove("SERVER");
    table.remove("Missing");
    table.set("server", "two");
    std::string key;
    EXPECT_TRUE(table.getEntry(5, key, value));
    EXPECT_EQ("server", key);
    key = value = "untouched";
    EXPECT_FALSE(table.getEntry(6, key, value));
    EXPECT_EQ("untouched untouched", key + " " + value);

    // The position that getEntry remembers must not outlive clear.
    oxProperties walked;
    for (int i = 0; i < 20; ++i)
        walked.set("Old" + std::to_string(i), "");
    EXPECT_TRUE(walked.getEntry(10, key, value));
    walked.clear();
    for (int i = 0; i < 20; ++i)
        walked.set("New" + std::to_string(i), "");
    EXPECT_TRUE(walked.getEntry(11, key, value));
    EXPECT_EQ("New11", key);

    // Invalid keys are a caller's fault: reported with assertions on, stored.
    oxProperties loose;
    const std::string log = logOf(6, [&] {
        loose.set("bad key", "v");
        loose.set("Good.Key_1:-", "v");
    });
    EXPECT_EQ(1, countOccurrences(log, "Offending command: \"isValidKey(inKey)\"  --- bad key."));
    EXPECT_EQ(2u, loose.size());
    std::string names;
    for (int c = 0; c < 256; ++c) {
        if (oxProperties::isNameCharacter(static_cast<char>(c)))
            names += static_cast<char>(c);
    }
    EXPECT_EQ("-.0123456789:ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz", names);
    EXPECT_FALSE(oxProperties::isValidKey(""));
    EXPECT_FALSE(oxProperties::isValidKey(std::string("A\0B", 3)));
}

TEST(oxPropertiesTest, ModifiedFlagFollowsChangesAndIsClearedByReading) {
    // Each step: 'r' reads the text, 's' sets, '-' removes, 'c' clears.
    const struct {
        char itsStep;
        std::string itsKey;
        std::string itsValue;  // the text read, for 'r'
        bool itsModified;
    } steps[] = {{'r', "", "", false},
                 {'s', "A", "x", true},
                 {'r', "", "", false},
                 {'s', "A", "x", false},
                 {'s', "a", std::string("x\0tail", 6), false},
                 {'s', "A", "X", true},
                 {'r', "", "  \r\n", false},
                 {'-', "B", "", false},
                 {'-', "a", "", true},
                 {'r', "", "", false},
                 {'c', "", "", true},
                 {'r', "", "<A value=\"1\" />", true},
                 {'r', "", "<a value=\"1\" />", false},
                 {'r', "", "<!-- note -->", false}};
    oxProperties table;
    EXPECT_FALSE(table.isModified());
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        const auto& step = steps[i];
        if (step.itsStep == 'r')
            EXPECT_TRUE(readText(step.itsValue, table));
        else if (step.itsStep == 's')
            table.set(step.itsKey, step.itsValue);
        else if (step.itsStep == '-')
            table.remove(step.itsKey);
        else
            table.clear();
        EXPECT_EQ(step.itsModified, table.isModified()) << "step " << i;
    }
}

TEST(oxPropertiesTest, RandomOperationsMatchAModelAndSurviveTheFile) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 random(seed);
        oxProperties table;
        oxTableModel model;
        // Random access leaves the cached position of getEntry anywhere, so
        // the changes that follow must cope with it.
        const auto expectRandomEntry = [&] {
            if (model.itsEntries.empty())
                return;
            const size_t index = random() % model.itsEntries.size();
            std::string key;
            std::string value;
            ASSERT_TRUE(table.getEntry(index, key, value));
            EXPECT_EQ(model.itsEntries[index], std::make_pair(key, value)) << seed;
        };
        for (int op = 0; op < 60; ++op) {
            expectRandomEntry();
            const unsigned choice = random() % 20;
            const std::string key = randomKey(random, model.itsEntries);
            if (choice < 13) {
                // Sometimes the stored value again, with a tail past a zero.
                std::string value = randomValue(random);
                const auto found = model.find(key);
                if (found != model.itsEntries.end() && random() % 3 == 0)
                    value = found->second + std::string(1, '\0') + value;
                table.set(key, value);
                model.set(key, value);
            } else if (choice < 19) {
                table.remove(key);
                model.remove(key);
            } else {
                table.clear();
                model.itsEntries.clear();
                model.itsModified = true;
            }
            expectRandomEntry();
            // Compacting now and then changes no entry and no flag.
            if (random() % 5 == 0)
                table.compact();
            EXPECT_EQ(model.itsModified, table.isModified()) << seed;
            EXPECT_EQ(model.itsEntries, entriesOf(table)) << seed;
        }

        oxPairs expected;
        for (const auto& entry : model.itsEntries)
            expected.emplace_back(entry.first, expectedAfterFile(entry.second));
        oxProperties copy;
        ASSERT_TRUE(readText(writtenText(table, seed % 4 != 0), copy)) << seed;
        EXPECT_EQ(expected, entriesOf(copy)) << seed;
        EXPECT_EQ(!expected.empty(), copy.isModified()) << seed;
    }
}

// What the writer walks: removed entries keep their slots until compact,
// which closes the gaps; getEntry counts live entries either way.
TEST(oxPropertiesTest, CompactClosesTheGapsOfRemovedEntries) {
    const struct {
        std::vector<std::string> itsRemoved;
        std::vector<bool> itsLiveSlots;  // before compact
        std::vector<std::string> itsKept;
    } cases[] = {
        {{}, {true, true, true, true}, {"A", "B", "C", "D"}},
        {{"b"}, {true, false, true, true}, {"A", "C", "D"}},
        {{"A", "D"}, {false, true, true, false}, {"B", "C"}},
        {{"A", "B", "C", "D"}, {false, false, false, false}, {}},
    };
    for (const auto& testCase : cases) {
        oxProperties table;
        for (const char* key : {"A", "B", "C", "D"})
            table.set(key, std::string("v") + key);
        for (const std::string& key : testCase.itsRemoved)
            table.remove(key);
        oxPairs kept;
        for (const std::string& key : testCase.itsKept)
            kept.emplace_back(key, "v" + key);
        for (int pass = 0; pass < 2; ++pass) {
            const std::vector<bool> live =
                pass == 0 ? testCase.itsLiveSlots : std::vector<bool>(kept.size(), true);
            ASSERT_EQ(live.size(), table.orderLength()) << pass;
            for (size_t slot = 0; slot < live.size(); ++slot) {
                std::string_view key = "untouched";
                std::string_view value = "untouched";
                EXPECT_EQ(live[slot], table.entryAt(slot, key, value)) << slot;
                if (!live[slot])
                    EXPECT_EQ("untouched", key) << slot;
                else
                    EXPECT_EQ("v" + std::string(key), value) << slot;
            }
            EXPECT_EQ(kept, entriesOf(table)) << pass;
            table.compact();
        }
        EXPECT_TRUE(table.isModified() || testCase.itsRemoved.empty());
    }
}

// Past the sizes where removed entries and replaced text are compacted
// away, and through a read that takes duplicates: order, spelling and
// values stay what the model says.
TEST(oxPropertiesTest, LargeTablesCompactWithoutLosingOrderOrValues) {
    oxProperties table;
    oxTableModel model;
    const std::string padding(40, 'p');
    for (int round = 0; round < 3; ++round) {
        for (int key = 0; key < 3000; ++key) {
            const std::string name = (round == 1 ? "K" : "k") + std::to_string(key);
            const std::string value = padding + std::to_string(round * key);
            table.set(name, value);
            model.set(name, value);
        }
        for (int key = round; key < 3000; key += 2) {
            table.remove("K" + std::to_string(key));
            model.remove("K" + std::to_string(key));
        }
    }
    EXPECT_EQ(model.itsEntries, entriesOf(table));

    std::string text = writtenText(table, true) + "<k1 value=\"again\" /><New value=\"1\" />";
    oxProperties copy;
    ASSERT_TRUE(readText(text, copy));
    model.set("k1", "again");
    model.set("New", "1");
    EXPECT_EQ(model.itsEntries, entriesOf(copy));
}
