#include "files/file_reading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/testing/temporary_directory.h"

namespace {

TEST(FileReading, EndsAtTheLimitAndAtTheFirstRefusedPiece) {
    const TemporaryDirectory directory("midiparley-file-reading");
    const std::filesystem::path path = directory.path / "ten-bytes";
    std::ofstream(path, std::ios::binary) << "0123456789";
    std::vector<uint8_t> bytes;
    std::string reason;
    EXPECT_EQ(readFileWithBound(path.string(), 10, nullptr, bytes, reason), ReadResult::Read);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
    EXPECT_EQ(readFileWithBound(path.string(), 9, nullptr, bytes, reason), ReadResult::TooLarge);
    EXPECT_TRUE(bytes.empty());

    std::string seen;
    const ReadCheck refuse = [&seen](const uint8_t* piece, size_t count, size_t offset) {
        seen = std::to_string(offset) + ":" + std::string(piece, piece + count);
        return false;
    };
    EXPECT_EQ(readFileWithBound(path.string(), 10, refuse, bytes, reason), ReadResult::Refused);
    EXPECT_EQ(seen, "0:0123456789");
    EXPECT_TRUE(bytes.empty());

    std::filesystem::remove(path);
    EXPECT_EQ(readFileWithBound(path.string(), 10, nullptr, bytes, reason), ReadResult::Failed);
    EXPECT_EQ(reason, "No such file or directory");
}

}  // namespace
