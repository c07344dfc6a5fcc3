// Comparing a file with contents given piece by piece, the same on every
// platform.
#include "oxPlatformFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The pieces in turn, the last as oxPiece::last, or cancelled after inCancelAfter.
// Odd pieces are made, even ones lent.
oxChunkSource piecesOf(const std::vector<std::string>& inPieces, size_t inCancelAfter = SIZE_MAX) {
    return [inPieces, inCancelAfter, next = size_t{0}](oxContentChunk& ioChunk) mutable {
        if (next == inCancelAfter)
            return oxPiece::cancelled;
        ioChunk.itsMade += inPieces[next++];
        if (next < inPieces.size()) {
            ioChunk.itsBorrowed = inPieces[next].data();
            ioChunk.itsBorrowedLength = inPieces[next++].size();
        }
        return next == inPieces.size() ? oxPiece::last : oxPiece::more;
    };
}

TEST(oxPlatformFilesTest, ComparesAFileWithItsPiecesToTheLastByte) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() /
        ("oxPlatformFilesTest" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(directory);
    const std::string path = (directory / "compared.cfg").string();
    const struct {
        std::string itsFile;
        std::vector<std::string> itsPieces;
        size_t itsCancelAfter;
        bool itsSame;
    } cases[] = {
        {"abc", {"a", "bc"}, SIZE_MAX, true},
        {"abc", {"abc", ""}, SIZE_MAX, true},
        {"", {""}, SIZE_MAX, true},
        {"abcd", {"ab", "c"}, SIZE_MAX, false},
        {"ab", {"ab", "c"}, SIZE_MAX, false},
        {"abX", {"ab", "c"}, SIZE_MAX, false},
        {"abcde", {"a", "b", "cd", "e"}, SIZE_MAX, true},
        {"abcdf", {"a", "b", "cd", "e"}, SIZE_MAX, false},
        {"abcdef", {"a", "b", "cd", "e"}, SIZE_MAX, false},
        {std::string(300000, 'x'), {std::string(200000, 'x'), std::string(100000, 'x')}, SIZE_MAX, true},
        {"abc", {"a", "b", "c"}, 2, false},
    };
    for (const auto& testCase : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << testCase.itsFile;
        bool same = !testCase.itsSame;
        EXPECT_EQ(oxFileAccess::ok,
                  compareFileContents(path, piecesOf(testCase.itsPieces, testCase.itsCancelAfter), same));
        EXPECT_EQ(testCase.itsSame, same)
            << testCase.itsFile.substr(0, 8) << " " << testCase.itsPieces.size();
    }
    bool same = true;
    EXPECT_EQ(oxFileAccess::missing,
              compareFileContents((directory / "absent").string(), piecesOf({""}), same));
    EXPECT_FALSE(same);
    same = true;
    EXPECT_EQ(oxFileAccess::refused, compareFileContents(directory.string(), piecesOf({""}), same));
    EXPECT_FALSE(same);
    std::filesystem::remove_all(directory);
}

}  // namespace
