#include "oxPropertiesText.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "oxProperties.h"

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

// Lines the writer would write the same are copied as read; every other
// line, and every line an edit touched, is written anew. Either way the
// text is what the writer makes of the table.
TEST(oxPropertiesTextTest, LinesAsWrittenAreKeptAndOthersRewritten) {
    const std::string a = "<A value=\"1\" />\r\n";
    const std::string b = "<B value=\"x&lt;&#x5C;&amp;\" />\r\n";
    const std::string c = "<C value=\"3\" />\r\n";
    const auto none = [](oxProperties&) {};
    const struct {
        std::string itsText;
        std::function<void(oxProperties&)> itsEdit;
        std::string itsWritten;
    } cases[] = {
        {a + b + c, none, a + b + c},
        // Not the writer's form: a decimal or lower-case reference, a raw
        // quote or '>', other blanks, a bare line feed.
        {"<B value=\"x&#60;&#x5c;&#38;\" />\r\n", none, b},
        // One resolved where it stands, then one resolved apart.
        {"<B value=\"x&#60;&#x5c;&#38;\" />\r\n<D value=\"&gt;\" />\r\n", none,
         b + "<D value=\"&gt;\" />\r\n"},
        {"<A value=\"'>\" />\r\n", none, "<A value=\"&apos;&gt;\" />\r\n"},
        {"<A  value=\"1\"/>\n" + c, none, a + c},
        {a + "<A value=\"2\" />\r\n" + c, none, "<A value=\"2\" />\r\n" + c},
        {a + b + c, [](oxProperties& ioTable) { ioTable.set("B", "y"); }, a + "<B value=\"y\" />\r\n" + c},
        {a + b + c, [](oxProperties& ioTable) { ioTable.remove("B"); }, a + c},
        {a + b + c, [](oxProperties& ioTable) { ioTable.set("D", "4"); },
         a + b + c + "<D value=\"4\" />\r\n"},
        {a + "<!-- on B --> " + b + c, none, a + "<!-- on B --> " + b + c},
    };
    for (const auto& testCase : cases) {
        oxProperties table;
        ASSERT_TRUE(readText(testCase.itsText, table)) << testCase.itsText;
        testCase.itsEdit(table);
        table.compact();
        EXPECT_EQ(testCase.itsWritten, writtenText(table)) << testCase.itsText;
    }
    // Read from where the copy comes from, B's value is resolved all the same.
    oxProperties table;
    ASSERT_TRUE(readText(a + b, table));
    EXPECT_EQ((oxPairs{{"A", "1"}, {"B", "x<\\&"}}), entriesOf(table));
    // Room given back for a value resolved where it stands takes nothing
    // of the values resolved apart around it.
    oxProperties mixed;
    ASSERT_TRUE(
        readText("<D value=\"&lt;&amp;\" />\r\n<B value=\"x&#60;\" />\r\n<E value=\"&gt;\" />\r\n", mixed));
    EXPECT_EQ((oxPairs{{"D", "<&"}, {"B", "x<"}, {"E", ">"}}), entriesOf(mixed));
}

// The scans take 16 or 32 bytes at a time: a byte that matters is found
// wherever it stands in a block, the last byte before a block's end too.
TEST(oxPropertiesTextTest, ScansFindTheByteThatMattersAtEveryOffset) {
    for (size_t length = 1; length <= 80; ++length) {
        for (size_t at = 0; at < length; ++at) {
            std::string value(length, 'v');
            value[at] = '>';
            std::string key(length, 'k');
            const std::string line = "<" + key + " value=\"" + value + "\" />\r\n";
            std::string escaped = value;
            escaped.replace(at, 1, "&gt;");
            oxProperties table;
            ASSERT_TRUE(readText(line, table)) << line;
            EXPECT_EQ("<" + key + " value=\"" + escaped + "\" />\r\n", writtenText(table)) << line;
            // A byte that is no name character ends the key: no entry then.
            key[at] = '!';
            oxProperties refused;
            EXPECT_FALSE(readText("<" + key + " value=\"v\" />\r\n", refused)) << key;
        }
    }
}

// Lines in the writer's layout that follow one another are read a run at a
// time: entries and text come out as from each line read alone, for keys
// and values of any length, up to the text's end, and what breaks a run
// is read as ever.
TEST(oxPropertiesTextTest, RunsOfWrittenLinesReadAsLinesReadAlone) {
    const std::string breakers[] = {"",
                                    "<!-- note -->\r\n",
                                    "<E value=\"a&amp;b\" />\r\n",
                                    "<F value=\"v\"/>\r\n",
                                    "<G value=\"w\" />\n",
                                    " <H value=\"x\" />\r\n",
                                    "<I value=\"y\" /> <!-- on I -->\r\n"};
    for (const std::string& breaker : breakers) {
        for (size_t length = 1; length <= 70; ++length) {
            std::vector<std::string> lines;
            for (size_t line = 0; line < 6; ++line) {
                const std::string key = "K" + std::to_string(line) + std::string(length, 'k');
                const std::string value((length * (line + 1)) % 67, 'v');
                lines.push_back("<" + key + " value=\"" + value + "\" />\r\n");
                if (line == 2 && !breaker.empty())
                    lines.push_back(breaker);
            }
            std::string text;
            std::string alone;
            oxPairs entries;
            for (const std::string& line : lines) {
                text += line;
                oxProperties single;
                ASSERT_TRUE(readText(line, single)) << line;
                alone += writtenText(single);
                for (const auto& entry : entriesOf(single))
                    entries.push_back(entry);
            }
            oxProperties table;
            ASSERT_TRUE(readText(text, table)) << text;
            EXPECT_EQ(entries, entriesOf(table)) << text;
            EXPECT_EQ(alone, writtenText(table)) << text;
        }
    }
}

TEST(oxPropertiesTextTest, KeysTooLongForTheTableAreRefused) {
    const std::string longest(oxProperties::kMostKeyLength, 'K');
    oxProperties table;
    EXPECT_TRUE(readText("<" + longest + " value=\"1\" />", table));
    EXPECT_EQ(1u, table.size());
    EXPECT_TRUE(oxProperties::isValidKey(longest));
    EXPECT_FALSE(oxProperties::isValidKey(longest + "K"));
    // With the writer's line end or without, a key too long is refused.
    for (const char* ending : {"", "\r\n"}) {
        oxProperties tooLong;
        EXPECT_FALSE(readText("<" + longest + "K value=\"1\" />" + ending, tooLong));
        EXPECT_EQ(0u, tooLong.size());
    }
}

}  // namespace

TEST(oxPropertiesTextTest, ValuesEncodeAndDecodeByTheReferenceRules) {
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
        EXPECT_EQ(encoding.second, oxPropertiesText::encodeValue(encoding.first)) << encoding.first;
        EXPECT_EQ(cString(encoding.first), oxPropertiesText::decodeValue(encoding.second)) << encoding.first;
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
        EXPECT_EQ(decoding.second, oxPropertiesText::decodeValue(decoding.first)) << decoding.first;
}

TEST(oxPropertiesTextTest, WriterEmitsOneLinePerEntryAndReportsStreamErrors) {
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
        EXPECT_FALSE(oxPropertiesText::writeTo(table, stream, true)) << state;
        EXPECT_FALSE(oxPropertiesText::writeTo(oxProperties(), stream, true)) << state;
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
    EXPECT_FALSE(oxPropertiesText::writeTo(table, stream, true));
    EXPECT_EQ("<Database value=\"MSS", device.itsBytes);

    oxShortDevice roomy(100);
    std::ostream roomyStream(&roomy);
    oxProperties one;
    one.set("A", "1");
    EXPECT_TRUE(oxPropertiesText::writeTo(one, roomyStream, true));
    EXPECT_TRUE(oxPropertiesText::writeTo(one, roomyStream, false));
    EXPECT_EQ(1, roomy.itsSyncs);
}

TEST(oxPropertiesTextTest, ReaderTakesEntriesWhitespaceCommentsAndStopsAtOtherText) {
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

TEST(oxPropertiesTextTest, CommentsAreWrittenWhereTheyStood) {
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
        // The writer's own line ends its line: what follows is on the next.
        {a + "\r\n<!-- x -->\r\n" + b + "\r\n", a + "\r\n<!-- x -->\r\n" + b + "\r\n"},
        {a + "\r\n<!-- x --> " + b + "\r\n", a + "\r\n<!-- x --> " + b + "\r\n"},
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
// the order and the arena by themselves, besides the explicit compaction
// halfway: a comment on a key's line goes with it, one of its own stays,
// and a key added later follows the last comment. Piece by piece, as the
// store writes, and compacted or not, the text is the same.
TEST(oxPropertiesTextTest, CommentsKeepTheirPlacesThroughEditsAndCompaction) {
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
    for (int i = 0; i < kLines; ++i) {
        if (i % 4 == 0) {
            for (const char fill : {'x', 'y', 'z'})
                table.set(key(i), std::string(200, fill));
        } else {
            table.remove(key(i));
        }
        if (i == kLines / 2)
            table.compact();
        expected += "<!-- " + std::to_string(i) + " -->\r\n" +
                    (i % 4 == 0 ? line(i, std::string(200, 'z')) + "\r\n" : "");
    }
    table.set("New", "1");
    expected += "<!-- end -->\r\n<New value=\"1\" />\r\n";
    EXPECT_EQ(expected, writtenText(table));
    table.compact();
    EXPECT_EQ(expected, writtenText(table));
    for (const size_t mostBytes : {1, 1000}) {
        std::string pieces;
        size_t cursor = 0;
        for (bool more = true; more;) {
            std::string piece;
            more = oxPropertiesText::appendSome(table, piece, true, cursor, mostBytes);
            pieces += piece;
        }
        EXPECT_EQ(expected, pieces) << mostBytes;
    }
    table.clear();
    EXPECT_EQ("", writtenText(table));
}

TEST(oxPropertiesTextTest, EveryByteValueSurvivesTheFile) {
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

// A read into a table that holds something already appends: comments
// alone keep their text, entries their places.
TEST(oxPropertiesTextTest, ReadsIntoATableThatHoldsTextAlready) {
    const struct {
        std::string itsFirst;
        std::string itsSecond;
        std::string itsWritten;
    } cases[] = {
        {"<!-- kept -->\n", "<B value=\"2\" /> <!-- b -->",
         "<!-- kept -->\r\n<B value=\"2\" /> <!-- b -->\r\n"},
        {"<!-- one --><!-- two -->", "<!-- three -->", "<!-- one -->\r\n<!-- two -->\r\n<!-- three -->\r\n"},
        {"<A value=\"1\" />", "<B value=\"&amp;\" />\n<a value=\"3\" />",
         "<A value=\"3\" />\r\n<B value=\"&amp;\" />\r\n"},
    };
    for (const auto& testCase : cases) {
        oxProperties table;
        ASSERT_TRUE(readText(testCase.itsFirst, table)) << testCase.itsFirst;
        ASSERT_TRUE(readText(testCase.itsSecond, table)) << testCase.itsSecond;
        EXPECT_EQ(testCase.itsWritten, writtenText(table)) << testCase.itsFirst;
    }
}

// A table emptied by removals and compaction, whose old text was not yet
// worth copying, then takes a read's text over: the old text's dead bytes
// must not count against the new one, or the next copy of the live text
// computes a negative size.
TEST(oxPropertiesTextTest, TakingTextOverForgetsTheOldTextsWaste) {
    oxProperties table;
    for (int i = 0; i < 500; ++i)
        table.set("K" + std::to_string(i), std::string(100, 'v'));
    for (int i = 0; i < 500; ++i)
        table.remove("K" + std::to_string(i));
    table.compact();
    ASSERT_EQ(0u, table.orderLength());
    ASSERT_TRUE(readText("<A value=\"1\" />", table));
    for (const char fill : {'x', 'y', 'z', 'w'}) {
        const std::string value(20000, fill);
        EXPECT_NO_THROW(table.set("A", value)) << fill;
        std::string stored;
        EXPECT_TRUE(table.get("A", stored));
        EXPECT_TRUE(stored == value) << fill;
    }
    EXPECT_TRUE("<A value=\"" + std::string(20000, 'w') + "\" />\r\n" == writtenText(table));
}
