// The C runtime extensions: _fullpath, strcpy_s and sprintf_s.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "gtest/gtest.h"
#include "platform/windows_api.h"

namespace {

// Runs each case inside a fresh directory and goes back afterwards.
class FullPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        char pattern[] = "/tmp/fullpath_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        ASSERT_EQ(chdir(pattern), 0);
        char here[PATH_MAX];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        cwd_ = here;
    }
    void TearDown() override {
        unlink("link");
        rmdir("d/e");
        rmdir("d");
        std::string dir = cwd_;
        ASSERT_EQ(chdir(previous_), 0);
        rmdir(dir.c_str());
    }

    std::string full(const char* relPath, size_t size = PATH_MAX) {
        std::string buffer(size + 4, '#');
        char* result = _fullpath(&buffer[0], relPath, size);
        EXPECT_EQ(buffer.substr(size), "####") << "written past the buffer";
        return result == nullptr ? "<null>" : std::string(result);
    }

    char previous_[PATH_MAX];
    std::string cwd_;
};

TEST_F(FullPathTest, RelativePathsJoinTheCurrentDirectory) {
    EXPECT_EQ(full("a/b.ini"), cwd_ + "/a/b.ini");
    EXPECT_EQ(full("a//b///c"), cwd_ + "/a/b/c");
    EXPECT_EQ(full("/usr//lib/"), "/usr/lib/");
    EXPECT_EQ(full("dir/"), cwd_ + "/dir/");
    EXPECT_EQ(full("."), cwd_);
    EXPECT_EQ(full("a\\b"), cwd_ + "/a\\b");  // a backslash is a name character here
}

TEST_F(FullPathTest, DotsResolveTextually) {
    EXPECT_EQ(full("./a/./b/../c"), cwd_ + "/a/c");
    EXPECT_EQ(full("a/b/../../.."), cwd_.substr(0, cwd_.rfind('/')));
    EXPECT_EQ(full("/.."), "/");
    EXPECT_EQ(full("/../../x/.."), "/");
    EXPECT_EQ(full("/../../x"), "/x");
    EXPECT_EQ(full("a/../"), cwd_ + "/");
    // "link/.." is this directory even though link points two levels down.
    ASSERT_EQ(mkdir("d", 0700), 0);
    ASSERT_EQ(mkdir("d/e", 0700), 0);
    ASSERT_EQ(symlink("d/e", "link"), 0);
    EXPECT_EQ(full("link/.."), cwd_);
}

TEST_F(FullPathTest, SmallBufferOrNoInputGivesNull) {
    std::string expected = cwd_ + "/abc";
    EXPECT_EQ(full("abc", expected.size() + 1), expected);
    EXPECT_EQ(full("abc", expected.size()), "<null>");
    EXPECT_EQ(full("/", 1), "<null>");
    EXPECT_EQ(full("/", 2), "/");
    EXPECT_EQ(full(""), "<null>");
    EXPECT_EQ(full(nullptr), "<null>");
}

TEST_F(FullPathTest, SameBufferInAndOutAndAllocatedResult) {
    char buffer[PATH_MAX] = "x/../y/./z";
    ASSERT_EQ(_fullpath(buffer, buffer, sizeof buffer), buffer);
    EXPECT_EQ(std::string(buffer), cwd_ + "/y/z");
    char* allocated = _fullpath(nullptr, "q", 0);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(std::string(allocated), cwd_ + "/q");
    free(allocated);
}

TEST(BoundedStrings, StrcpySRefusesWhatDoesNotFit) {
    char dest[5];
    EXPECT_EQ(strcpy_s(dest, sizeof dest, "abcd"), 0);
    EXPECT_STREQ(dest, "abcd");
    EXPECT_NE(strcpy_s(dest, sizeof dest, "abcde"), 0);
    EXPECT_STREQ(dest, "");
    strcpy_s(dest, sizeof dest, "ab");
    EXPECT_NE(strcpy_s(dest, sizeof dest, nullptr), 0);
    EXPECT_STREQ(dest, "");
    EXPECT_NE(strcpy_s(nullptr, 5, "a"), 0);
    dest[0] = '#';
    EXPECT_NE(strcpy_s(dest, 0, "a"), 0);
    EXPECT_EQ(dest[0], '#');
}

TEST(BoundedStrings, SprintfSFormatsOrEmptiesTheBuffer) {
    char buffer[8];
    EXPECT_EQ(sprintf_s(buffer, sizeof buffer, "%X", 0xF7u), 2);
    EXPECT_STREQ(buffer, "F7");
    EXPECT_EQ(sprintf_s(buffer, sizeof buffer, "%ld", 1234567L), 7);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(sprintf_s(buffer, sizeof buffer, "%ld", 12345678L), -1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(sprintf_s(nullptr, 8, "x"), -1);
}

}  // namespace
