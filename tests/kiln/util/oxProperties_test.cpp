#include "oxProperties.h"
#include "oxPropertiesModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "oxLogCapture.h"

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
    EXPECT_TRUE(inTable.writeTo(stream, inLineEnds));
    return stream.str();
}

bool readText(const std::string& inText, oxProperties& ioTable) {
    std::istringstream stream(inText, std::ios::binary);
    return ioTable.readFrom(stream);
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

TEST(oxPropertiesTest, ValuesEncodeAndDecodeByTheReferenceRules) {
    // Every "&" is escaped, one that starts a reference too, so every value
    // decodes back to itself and no quote or line end slips through.
    const std::pair<std::string, std::string> encodings[] = {
        {"MSSQL", "MSSQL"},
        {"a<b & c", "a&lt;b &amp; c"},
        {"\"'>", "&quot;&apos;&gt;"},
        {"HOST\\SQL", "HOST&#x5C;SQL"},
        {"a\tb", "a\tb"},
        {std::string("ab\0cd", 5), "ab"},
        {"\n\r\x7f\xe9\xff", "&#x0A;&#x0D;&#x7F;&#xE9;&#xFF;"},
        {"&#x41;&#xe9;", "&amp;#x41;&amp;#xe9;"},
        {"A&#x42;C&amp;D", "A&amp;#x42;C&amp;amp;D"},
        {"&#x41", "&amp;#x41"},
        {"&#x;", "&amp;#x;"},
        {"&#x4\"1;", "&amp;#x4&quot;1;"},
        {"&#x4\n;", "&amp;#x4&#x0A;;"},
        {"&#65;", "&amp;#65;"},
        {"x&#", "x&amp;#"}};
    for (const auto& encoding : encodings) {
        EXPECT_EQ(encoding.second, oxProperties::encodeValue(encoding.first)) << encoding.first;
        EXPECT_EQ(cString(encoding.first), oxProperties::decodeValue(encoding.second)) << encoding.first;
    }

    // Unknown or incomplete references stay as they stand.
    const std::pair<std::string, std::string> decodings[] = {
        {"&lt;&gt;&quot;&apos;&amp;", "<>\"'&"},
        {"&#x41;&#x6a;&#65;&#x141;", "AjAA"},
        {"a&#0;b&#x100;c&#256;", "abc"},
        {"&#300;", ","},
        {"&amp;lt;", "&lt;"},
        {"&&amp;", "&&"},
        {"&foo; &amp &AMP; &#X41;", "&foo; &amp &AMP; &#X41;"},
        {"&#x41", "&#x41"},
        {"&#", "&#"},
        {"&#12a; &#; &#x; &#xG1;", "&#12a; &#; &#x; &#xG1;"},
        {"&#12a;&#x42;", "&#12a;B"}};
    for (const auto& decoding : decodings)
        EXPECT_EQ(decoding.second, oxProperties::decodeValue(decoding.first)) << decoding.first;
}

TEST(oxPropertiesTest, WriterEmitsOneLinePerEntryAndReportsStreamErrors) {
    oxProperties table;
    EXPECT_EQ("", writtenText(table));
    table.set("Database", "MSSQL");
    table.set("DatabaseServer", "HOST\\SQL");
    table.set("Other", "");
    const std::string lines[] = {"<Database value=\"MSSQL\" />", "<DatabaseServer value=\"HOST&#x5C;SQL\" />",
                                 "<Other value=\"\" />"};
    EXPECT_EQ(lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n", writtenText(table));
    EXPECT_EQ(lines[0] + lines[1] + lines[2], writtenText(table, false));

    // Any error or end state counts, even one the stream had before.
    for (const std::ios::iostate state : {std::ios::failbit, std::ios::eofbit, std::ios::badbit}) {
        std::ostringstream stream;
        stream.setstate(state);
        EXPECT_FALSE(table.writeTo(stream, true)) << state;
        EXPECT_FALSE(oxProperties().writeTo(stream, true)) << state;
    }

    // Takes a number of bytes and then refuses; counts the flushes, due
    // once per line.
    class oxShortDevice : public std::streambuf {
    public:
        explicit oxShortDevice(size_t inRoom) : itsRoom(inRoom) {}
        size_t itsRoom;
        int itsSyncs = 0;
        std::string itsBytes;

    protected:
        int_type overflow(int_type inByte) override {
            if (itsBytes.size() >= itsRoom || traits_type::eq_int_type(inByte, traits_type::eof()))
                return traits_type::eof();
            itsBytes += traits_type::to_char_type(inByte);
            return inByte;
        }
        int sync() override {
            ++itsSyncs;
            return 0;
        }
    };
    oxShortDevice device(20);
    std::ostream stream(&device);
    EXPECT_FALSE(table.writeTo(stream, true));
    EXPECT_EQ("<Database value=\"MSS", device.itsBytes);

    oxShortDevice roomy(100);
    std::ostream roomyStream(&roomy);
    oxProperties one;
    one.set("A", "1");
    EXPECT_TRUE(one.writeTo(roomyStream, true));
    EXPECT_TRUE(one.writeTo(roomyStream, false));
    EXPECT_EQ(1, roomy.itsSyncs);
}

TEST(oxPropertiesTest, ReaderTakesEntriesWhitespaceCommentsAndStopsAtOtherText) {
    const oxPairs none;
    const oxPairs justA = {{"A", "1"}};
    const oxPairs database = {{"Database", "MSSQL"}};
    const struct {
        std::string itsText;
        bool itsResult;
        oxPairs itsEntries;
    } cases[] = {
        {"", true, none},
        {" \t\r\n\v\f", true, none},
        {"<Database value = \"MSSQL\"/>", true, database},
        {"<Database value=\"MSSQL\" />\r\n", true, database},
        {"\n<Database\tvalue\r\n=\f\"MSSQL\"\v/>", true, database},
        {"<A value=\"1\" />\n<B value=\"2\"/><C value=\"3\"/>", true, {{"A", "1"}, {"B", "2"}, {"C", "3"}}},
        {"<x:y.z-_9 value=\"a<b>'c\" />", true, {{"x:y.z-_9", "a<b>'c"}}},
        {"<A value=\"x\r\ny\rz\r\r\n\" />", true, {{"A", "x\ny\rz\r\n"}}},
        {"<A value=\"a&#x41;&#12a;&#;&quot;\" />", true, {{"A", "aA&#12a;&#;\""}}},
        // A resolved CR is never folded; a line end inside a reference spoils it.
        {"<A value=\"&#13;\r\n&#x0D;\n\r&amp;&#1\r\n3;&l\r\nt;\" />",
         true,
         {{"A", "\r\n\r\n\r&&#1\n3;&l\nt;"}}},
        {"<A value=\"1\" /><a value=\"2\" />", true, {{"A", "2"}}},
        // Where the entries end, the rest is ignored.
        {"<?xml version=\"1.0\"?>\n<A value=\"1\" />", true, none},
        {"<A value=\"1\" />\n<B value=\"2\" />\nplain\n<C value=\"3\" />", true, {{"A", "1"}, {"B", "2"}}},
        {"<A value=\"1\" /></root><B value=\"2\" />", true, justA},
        {"< A value=\"1\" />", true, none},
        {"<A value=\"1\" /> <", true, justA},
        {"<!-- note -->\n<A value=\"1\" /><!---->", true, justA},
        // Malformed comments and entries fail; what came before stays.
        {"<A value=\"1\" /><!-- open", false, justA},
        {"<A value=\"1\" />\n<B value=\"2", false, justA},
    };
    for (const auto& testCase : cases) {
        oxProperties table;
        EXPECT_EQ(testCase.itsResult, readText(testCase.itsText, table)) << testCase.itsText;
        EXPECT_EQ(testCase.itsEntries, entriesOf(table)) << testCase.itsText;
    }
    for (const char* malformed : {"<!-- a -- b -->", "<!x -->", "<!- x -->", "<Database valueX=\"1\" />",
                                  "<Databasevalue=\"1\" />", "<A value=1 />", "<A value='1' />",
                                  "<A value:\"1\" />", "<A value=\"1\" >", "<A value=\"1\" /", "<Database"}) {
        oxProperties table;
        EXPECT_FALSE(readText(malformed, table)) << malformed;
        EXPECT_EQ(0u, table.size()) << malformed;
    }
}

TEST(oxPropertiesTest, CommentsAreWrittenWhereTheyStood) {
    const std::string a = "<A value=\"1\" />";
    const std::string b = "<B value=\"2\" />";
    const struct {
        std::string itsText;
        std::string itsWritten;
    } cases[] = {
        {"<!-- managed by fleet -->\n" + a + "\n", "<!-- managed by fleet -->\r\n" + a + "\r\n"},
        // On the entry's line: after it, before it, or both, one space apart.
        {a + "<!-- x -->\r\n" + b, a + " <!-- x -->\r\n" + b + "\r\n"},
        {"<!-- x -->\t\f" + a + " <!-- y --><!-- z -->", "<!-- x --> " + a + " <!-- y --> <!-- z -->\r\n"},
        // Between two entries of one line it goes with the first.
        {a + " <!-- x --> " + b, a + " <!-- x -->\r\n" + b + "\r\n"},
        // A lone CR is no line end, and line ends inside a comment do not count.
        {a + "\r<!-- x -->", a + " <!-- x -->\r\n"},
        {"<!-- x\ny --> " + a + " <!-- \r\n -->", "<!-- x\ny --> " + a + " <!-- \r\n -->\r\n"},
        // Comments of a line without an entry stand alone, bytes untouched.
        {"<!-- x --> <!-- \"\xe9\x01 <B value=\"&amp;\" /> -->\n\n" + a,
         "<!-- x -->\r\n<!-- \"\xe9\x01 <B value=\"&amp;\" /> -->\r\n" + a + "\r\n"},
        {a + "\n<!-- end --> ", a + "\r\n<!-- end -->\r\n"},
        {" <!---->", "<!---->\r\n"},
        // A key read again keeps its first place; its line's comments stay.
        {a + "\n<!-- x --> <a value=\"3\" /> <!-- y -->\n" + b,
         "<A value=\"3\" />\r\n<!-- x -->\r\n<!-- y -->\r\n" + b + "\r\n"},
        // Text the reader stops at is not kept, comments after it neither.
        {"<!-- x -->\n" + a + "\nplain <!-- y -->", "<!-- x -->\r\n" + a + "\r\n"},
    };
    for (const auto& testCase : cases) {
        oxProperties table;
        ASSERT_TRUE(readText(testCase.itsText, table)) << testCase.itsText;
        const std::string written = writtenText(table);
        EXPECT_EQ(testCase.itsWritten, written) << testCase.itsText;
        oxProperties copy;
        ASSERT_TRUE(readText(written, copy)) << testCase.itsText;
        EXPECT_EQ(written, writtenText(copy)) << testCase.itsText;
        EXPECT_EQ(entriesOf(table), entriesOf(copy)) << testCase.itsText;
    }
}

// Enough lines that removing most keys and replacing the others compacts
// the order and the arena by themselves: a comment on a key's line goes with it, one of its own stays, and
// a key added later follows the last comment. Piece by piece, as the store
// writes, the text is the same.
TEST(oxPropertiesTest, CommentsKeepTheirPlacesThroughEditsAndCompaction) {
    const int kLines = 3000;
    const auto key = [](int inLine) { return "K" + std::to_string(inLine); };
    const auto line = [&](int inLine, const std::string& inValue) {
        return (inLine % 3 == 0 ? "<!-- b -->" : "") + std::string(inLine % 3 == 0 ? " " : "") + "<" +
               key(inLine) + " value=\"" + inValue + "\" /> <!-- " + key(inLine) + " -->";
    };
    std::string file;
    for (int i = 0; i < kLines; ++i)
        file += "<!-- " + std::to_string(i) + " -->\n" + line(i, "v") + "\n";
    oxProperties table;
    ASSERT_TRUE(readText(file + "<!-- end -->", table));
    std::string expected;
    std::string ignored;
    for (int i = 0; i < kLines; ++i) {
        if (i % 4 == 0) {
            for (const char fill : {'x', 'y', 'z'})
                table.set(key(i), std::string(200, fill));
        } else {
            table.remove(key(i));
        }
        if (i == kLines / 2)
            table.getEntry(0, ignored, ignored);
        expected += "<!-- " + std::to_string(i) + " -->\r\n" +
                    (i % 4 == 0 ? line(i, std::string(200, 'z')) + "\r\n" : "");
    }
    table.set("New", "1");
    expected += "<!-- end -->\r\n<New value=\"1\" />\r\n";
    EXPECT_EQ(expected, writtenText(table));
    for (const size_t mostBytes : {1, 1000}) {
        std::string pieces;
        size_t cursor = 0;
        for (bool more = true; more;) {
            std::string piece;
            more = table.appendSome(piece, true, cursor, mostBytes);
            pieces += piece;
        }
        EXPECT_EQ(expected, pieces) << mostBytes;
    }
    table.clear();
    EXPECT_EQ("", writtenText(table));
}

TEST(oxPropertiesTest, EveryByteValueSurvivesTheFile) {
    oxProperties table;
    std::string allBytes;
    for (int byte = 1; byte <= 255; ++byte) {
        allBytes += static_cast<char>(byte);
        table.set("Byte" + std::to_string(byte), std::string(1, static_cast<char>(byte)));
    }
    table.set("All", allBytes);
    const std::string text = writtenText(table);
    // Inside the file only printable ASCII and tabs, plus the line ends.
    size_t lineEnds = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++lineEnds, ++i;
        else
            EXPECT_TRUE((c >= 32 && c <= 126) || c == '\t') << "byte " << int(c) << " at " << i;
    }
    EXPECT_EQ(table.size(), lineEnds);

    oxProperties copy;
    EXPECT_TRUE(readText(text, copy));
    EXPECT_EQ(entriesOf(table), entriesOf(copy));
}

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
