// -save and -send against the files a user may name: links planted beside the target, FIFOs,
// devices, read-only files, missing directories, endless and oversized input.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/e2e/run_process.h"
#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

// A directory anyone may write in; the tool runs there.
struct Directory {
    TemporaryDirectory temporary{"midiparley-files"};
    const fs::path& path = temporary.path;
    Directory() { chmod(path.c_str(), 0777); }
    std::string file(const std::string& name) const { return temporary.file(name); }
    ProcessResult run(const std::string& option, const std::function<void()>& inChild = {}) const {
        // The virtual instrument answers with one message of 261 bytes.
        return runProcess({MIDIPARLEY_DEFAULT_EXE, "-quiet", option, "F0", "7D", "03", "01", "F7"},
                          "", path.string(), 30, inChild);
    }
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t modeOf(const std::string& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status.st_mode;
}

TEST(FileSafety, PlantedLinksCannotRedirectTheSaveAndTheModeStays) {
    Directory d;
    std::ofstream(d.file("precious.txt")) << "precious";
    std::ofstream(d.file("out.syx")) << "old";
    chmod(d.file("out.syx").c_str(), 0600);
    // Links at every name a temporary file named after the clock could take in the next
    // seconds (the target's name, milliseconds of the monotonic clock, a count).
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint32_t ms = static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
    for (uint32_t t = ms; t != ms + 3000; ++t) {
        symlink("precious.txt", d.file("out.syx.part-" + std::to_string(t) + "-1").c_str());
    }
    const ProcessResult r = d.run("-save=out.syx", [] { umask(022); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(contents(d.file("precious.txt")), "precious");
    EXPECT_EQ(contents(d.file("out.syx")).size(), 261u);
    EXPECT_EQ(modeOf(d.file("out.syx")), S_IFREG | 0600);
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path), {}), 3002);
}

TEST(FileSafety, FifosAndDevicesAreWrittenThroughAndLinksFollowed) {
    Directory d;
    // The FIFO keeps what the tool writes until it is read here.
    ASSERT_EQ(mkfifo(d.file("fifo").c_str(), 0600), 0);
    const int reader = open(d.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ProcessResult r = d.run("-save=fifo");
    char received[1024];
    EXPECT_EQ(read(reader, received, sizeof received), 261);
    close(reader);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(S_ISFIFO(modeOf(d.file("fifo"))));

    std::ofstream(d.file("real.syx")) << "old";
    symlink("real.syx", d.file("link.syx").c_str());
    r = d.run("-save=link.syx");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(S_ISLNK(modeOf(d.file("link.syx"))));
    EXPECT_EQ(contents(d.file("real.syx")).size(), 261u);

    if (S_ISCHR(modeOf("/dev/full")) && access("/dev/full", W_OK) == 0) {
        r = d.run("-save=/dev/full");
        EXPECT_EQ(r.err, "error: cannot write /dev/full: No space left on device\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(S_ISCHR(modeOf("/dev/full")));
    }
}

TEST(FileSafety, AFileThatCannotBeWrittenIsRefusedBeforeAnythingIsSent) {
    Directory d;
    fs::create_directory(d.file("dir"));
    std::ofstream(d.file("read-only.syx")) << "keep";
    chmod(d.file("read-only.syx").c_str(), 0444);
    // Root may write any file, as with a redirection: these runs are nobody's.
    const auto asNobody = [] {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(126);
        }
    };
    const std::pair<std::string, std::string> cases[] = {
        {"no-such-dir/x.syx", "No such file or directory"},
        {"", "No such file or directory"},
        {"dir", "Is a directory"},
        {std::string(256, 'n'), "File name too long"},
        {"read-only.syx", "Permission denied"},
    };
    for (const auto& [path, reason] : cases) {
        const ProcessResult r = d.run("-save=" + path, asNobody);
        // Nothing else: nothing was sent.
        EXPECT_EQ(r.err, "error: cannot write " + path + ": " + reason + "\n");
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(contents(d.file("read-only.syx")), "keep");
}

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
