// Whole files written on every system the program runs on; the kinds of file only POSIX
// systems have are tried end to end (tests/e2e/file_safety_test.cpp).
#include "files/file_writing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> kBytes = {0xF0, 0x01, 0xF7};

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FileWriting, ReplacesWholeOrRefusesAndLeavesNothingBeside) {
    const TemporaryDirectory temporary("midiparley-writing");
    const fs::path& directory = temporary.path;
    const fs::path old = directory / "old", readOnly = directory / "read-only";
    std::ofstream(old, std::ios::binary) << "old contents";
    std::ofstream(readOnly, std::ios::binary) << "keep";
    fs::permissions(readOnly, fs::perms::owner_read);
    std::string reason;
    EXPECT_TRUE(checkSafeFileTarget((directory / "new").string(), reason)) << reason;
    EXPECT_TRUE(writeWholeFile((directory / "new").string(), kBytes, reason)) << reason;
    EXPECT_TRUE(writeWholeFile(old.string(), kBytes, reason)) << reason;
    EXPECT_EQ(contents(old), "\xF0\x01\xF7");
    EXPECT_EQ(contents(directory / "new"), "\xF0\x01\xF7");

    std::vector<std::pair<std::string, std::string>> refused = {
        {"", "No such file or directory"},
        {(directory / "missing" / "x").string(), "No such file or directory"},
        {directory.string(), "Is a directory"},
    };
    // A user above permissions (root) may write a read-only file, as with a redirection.
    if (!std::ofstream(readOnly, std::ios::app)) {
        refused.push_back({readOnly.string(), "Permission denied"});
    }
    for (const auto& [path, expected] : refused) {
        std::string early;
        EXPECT_FALSE(checkSafeFileTarget(path, early));
        EXPECT_FALSE(writeWholeFile(path, kBytes, reason));
        EXPECT_EQ(early, expected) << path;
        EXPECT_EQ(reason, expected) << path;
    }
    EXPECT_EQ(contents(readOnly), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), 3);
    fs::permissions(readOnly, fs::perms::owner_all);
}

}  // namespace
