// -send against the files a user may name: endless and oversized input.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/run_process.h"

namespace fs = std::filesystem;

namespace {

// A directory of the test's own.
struct Directory {
    fs::path path;
    Directory() {
        char pattern[] = "/tmp/midiparley-files-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Directory() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

TEST(FileSafety, SendReadsWithABound) {
    Directory d;
    ProcessResult r = runProcess({MIDIPARLEY_DEFAULT_EXE, "-send=/dev/zero"}, "", "/", 30);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_EQ(r.err,
              "error: invalid sysex file /dev/zero at byte offset 0: 00 where a message must "
              "start with F0\n");
    EXPECT_LT(children.ru_maxrss, 100 * 1024) << "kilobytes";
    // A message that never ends, one byte beyond the limit, refused by its size unread
    // (streams beyond the limit: files/file_reading_stream_test.cpp).
    std::ofstream(d.file("big.syx")) << '\xF0';
    fs::resize_file(d.file("big.syx"), (size_t{256} << 20) + 1);
    r = runProcess({MIDIPARLEY_DEFAULT_EXE, "-send=big.syx"}, "", d.path.string(), 30);
    EXPECT_EQ(r.err,
              "error: cannot read big.syx: larger than 268,435,456 bytes (256 MiB), the most a "
              "file may hold\n");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
