// The INI reader against the rules of Windows' GetPrivateProfileStringA.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/profile_reads.h"
#include "platform/windows_api.h"

namespace {

constexpr DWORD kGuardBytes = 8;

struct ReadResult {
    DWORD count;
    std::string text;
};

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/profile_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& file : files_) {
            unlink(file.c_str());
        }
        rmdir(dir_.c_str());
    }

    std::string write(const std::string& name, const std::string& content) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        files_.push_back(path);
        return path;
    }

    // One read through a buffer of `size` bytes followed by guard bytes that must survive.
    ReadResult read(const std::string& path, const char* section, const char* key,
                    const char* defaultValue = "<default>", DWORD size = 64) {
        std::vector<char> buffer(size + kGuardBytes, '#');
        DWORD count =
            GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size, path.c_str());
        for (DWORD i = size; i < size + kGuardBytes; ++i) {
            EXPECT_EQ(buffer[i], '#') << "written past the buffer at " << i;
        }
        std::string text = size == 0 ? std::string(buffer.data(), 1) : std::string(buffer.data());
        return {count, text};
    }

    std::string dir_;
    std::vector<std::string> files_;
};

TEST_F(ProfileTest, NamesMatchRegardlessOfCaseAndSurroundingBlanks) {
    std::string path = write("a.ini", "[ SeTTings\t]\n  MidiOut =\t1\n");
    EXPECT_EQ(read(path, "settings", "MIDIOUT").text, "1");
    EXPECT_EQ(read(path, " Settings\t", "\tmidiout ").text, "1");
    EXPECT_EQ(read(path, "Settings", "midi out").text, "<default>");
}

TEST_F(ProfileTest, ValuesAreTrimmedAndLoseEnclosingQuotes) {
    std::string path = write("a.ini",
                             "[s]\n"
                             "inner = a  b \t\n"
                             "double=\"x y\"\n"
                             "single= ' q ' \n"
                             "mixed=\"a'\n"
                             "lone=\"\n"
                             "halfway=\"a\" b\n"
                             "equals=a=b\n");
    EXPECT_EQ(read(path, "s", "inner").text, "a  b");
    EXPECT_EQ(read(path, "s", "double").text, "x y");
    EXPECT_EQ(read(path, "s", "single").text, " q ");
    EXPECT_EQ(read(path, "s", "mixed").text, "\"a'");
    EXPECT_EQ(read(path, "s", "lone").text, "\"");
    EXPECT_EQ(read(path, "s", "halfway").text, "\"a\" b");
    EXPECT_EQ(read(path, "s", "equals").text, "a=b");
}

TEST_F(ProfileTest, OnlyLeadingSemicolonStartsComment) {
    std::string path = write("a.ini",
                             "[s]\n"
                             ";gone=1\n"
                             "  ;indented=1\n"
                             "#hash=2\n"
                             "tail=v ;x\n"
                             "no equals sign\n"
                             "after=3\n");
    EXPECT_EQ(read(path, "s", "gone").text, "<default>");
    EXPECT_EQ(read(path, "s", "indented").text, "<default>");
    EXPECT_EQ(read(path, "s", ";gone").text, "<default>");
    EXPECT_EQ(read(path, "s", "#hash").text, "2");
    EXPECT_EQ(read(path, "s", "tail").text, "v ;x");
    EXPECT_EQ(read(path, "s", "no equals sign").text, "<default>");
    EXPECT_EQ(read(path, "s", "after").text, "3");
}

TEST_F(ProfileTest, FirstDuplicateKeyAndSectionWin) {
    std::string path = write("a.ini",
                             "early=0\n"
                             "[s]\n"
                             "k=first\n"
                             "K=second\n"
                             "[t]\n"
                             "k=other\n"
                             "[S]\n"
                             "k=third\n"
                             "late=4\n");
    EXPECT_EQ(read(path, "s", "k").text, "first");
    EXPECT_EQ(read(path, "t", "k").text, "other");
    EXPECT_EQ(read(path, "s", "late").text, "<default>");
    EXPECT_EQ(read(path, "", "early").text, "<default>");
}

TEST_F(ProfileTest, LineEndsAndByteOrderMark) {
    const char* ends[] = {"\r\n", "\n", "\r"};
    int fileNumber = 0;
    for (const char* end : ends) {
        std::string e = end;
        std::string path = write("e" + std::to_string(fileNumber++) + ".ini",
                                 "\xEF\xBB\xBF[s]" + e + "a=1" + e + e + "b=2" + e + "c=3");
        EXPECT_EQ(read(path, "s", "a").text, "1") << "line end " << fileNumber;
        EXPECT_EQ(read(path, "s", "b").text, "2") << "line end " << fileNumber;
        EXPECT_EQ(read(path, "s", "c").text, "3") << "line end " << fileNumber;
    }
    std::string mixed = write("mixed.ini", "[s]\ra=1\r\nb=2\nc=3\r");
    EXPECT_EQ(read(mixed, "s", "a").text + read(mixed, "s", "b").text + read(mixed, "s", "c").text,
              "123");
}

TEST_F(ProfileTest, EmptyValueReturnsZeroWithEmptyText) {
    std::string path = write("a.ini", "[s]\nempty=\nblank = \t \nquoted=\"\"\n");
    for (const char* key : {"empty", "blank", "quoted"}) {
        ReadResult r = read(path, "s", key);
        EXPECT_EQ(r.count, 0u) << key;
        EXPECT_EQ(r.text, "") << key;
    }
}

TEST_F(ProfileTest, AbsentFileSectionOrKeyGiveTheDefault) {
    std::string path = write("a.ini", "[s]\nk=v\n");
    const char marker[] = "\x01\x02\x03\x04";
    std::string missing = dir_ + "/missing.ini";
    for (const ReadResult& r : {read(missing, "s", "k", marker), read(path, "t", "k", marker),
                                read(path, "s", "x", marker)}) {
        EXPECT_EQ(r.count, 4u);
        EXPECT_EQ(r.text, marker);
    }
    ReadResult noDefault = read(path, "s", "x", nullptr);
    EXPECT_EQ(noDefault.count, 0u);
    EXPECT_EQ(noDefault.text, "");
    // Windows strips trailing blanks of the default.
    ReadResult blanks = read(path, "s", "x", "dflt  ");
    EXPECT_EQ(blanks.count, 4u);
    EXPECT_EQ(blanks.text, "dflt");
    // A directory is no settings file.
    EXPECT_EQ(read(dir_, "s", "k").text, "<default>");
}

TEST_F(ProfileTest, LongValuesAreCutToTheBuffer) {
    std::string path = write("a.ini", "[s]\nk=abcdef\nfits=abc\n");
    ReadResult cut = read(path, "s", "k", "", 4);
    EXPECT_EQ(cut.count, 3u);
    EXPECT_EQ(cut.text, "abc");
    ReadResult exact = read(path, "s", "fits", "", 4);
    EXPECT_EQ(exact.count, 3u);
    EXPECT_EQ(exact.text, "abc");
    ReadResult one = read(path, "s", "k", "", 1);
    EXPECT_EQ(one.count, 0u);
    EXPECT_EQ(one.text, "");
    ReadResult none = read(path, "s", "k", "", 0);
    EXPECT_EQ(none.count, 0u);
    EXPECT_EQ(none.text, "#");  // nothing written at all
    ReadResult defaultCut = read(path, "s", "absent", "0123456789", 5);
    EXPECT_EQ(defaultCut.count, 4u);
    EXPECT_EQ(defaultCut.text, "0123");
    ReadResult missingCut = read(dir_ + "/missing.ini", "s", "k", "0123456789", 5);
    EXPECT_EQ(missingCut.count, 4u);
    EXPECT_EQ(missingCut.text, "0123");
}

TEST_F(ProfileTest, ThousandNumberedKeysAllFound) {
    std::string content = "[Settings]\nmidiout=1\n";
    for (int n = 1000; n >= 1; --n) {
        content += "hexsysex" + std::to_string(n) + "=" + std::to_string(n % 128) + "\n";
    }
    std::string path = write("big.ini", content);
    for (int n = 1; n <= 1000; ++n) {
        std::string key = "hexsysex" + std::to_string(n);
        ASSERT_EQ(read(path, "Settings", key.c_str()).text, std::to_string(n % 128)) << key;
    }
    EXPECT_EQ(read(path, "Settings", "hexsysex1001").text, "<default>");
}

TEST_F(ProfileTest, ChangedFileIsReadAgain) {
    std::string path = write("a.ini", "[s]\nk=1\n");
    EXPECT_EQ(read(path, "s", "k").text, "1");

    // Same size and inode, only the modification time differs.
    write("a.ini", "[s]\nk=2\n");
    timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(read(path, "s", "k").text, "2");
    // Only nanoseconds differ.
    write("a.ini", "[s]\nk=3\n");
    times[1].tv_nsec = 123456790;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(read(path, "s", "k").text, "3");

    // Replaced by another file with the same size and time: only the inode differs.
    std::string other = write("b.ini", "[s]\nk=4\n");
    ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
    ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(read(path, "s", "k").text, "4");

    // Growing: the size differs.
    write("a.ini", "[s]\nk=55\n");
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(read(path, "s", "k").text, "55");

    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_EQ(read(path, "s", "k").text, "<default>");
}

TEST_F(ProfileTest, FileCreatedAfterAReadIsSeen) {
    std::string path = dir_ + "/later.ini";
    EXPECT_EQ(read(path, "s", "k").text, "<default>");
    write("later.ini", "[s]\nk=1\n");
    EXPECT_EQ(read(path, "s", "k").text, "1");

    // Also when its directory did not exist either.
    std::string subdir = dir_ + "/sub";
    std::string nested = subdir + "/later.ini";
    EXPECT_EQ(read(nested, "s", "k").text, "<default>");
    ASSERT_EQ(mkdir(subdir.c_str(), 0700), 0);
    EXPECT_EQ(read(nested, "s", "k").text, "<default>");
    write("sub/later.ini", "[s]\nk=2\n");
    EXPECT_EQ(read(nested, "s", "k").text, "2");
    write("sub/later.ini", "[s]\nk=3\n");
    EXPECT_EQ(read(nested, "s", "k").text, "3");
    unlink(nested.c_str());
    rmdir(subdir.c_str());
}

TEST_F(ProfileTest, RetargetedSymbolicLinkIsFollowed) {
    write("one.ini", "[s]\nk=1\n");
    write("two.ini", "[s]\nk=2\n");
    std::string link = dir_ + "/link.ini";
    files_.push_back(link);
    ASSERT_EQ(symlink("one.ini", link.c_str()), 0);
    EXPECT_EQ(read(link, "s", "k").text, "1");
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink("two.ini", link.c_str()), 0);
    EXPECT_EQ(read(link, "s", "k").text, "2");
    // The target changed in place, and replaced.
    write("two.ini", "[s]\nk=22\n");
    EXPECT_EQ(read(link, "s", "k").text, "22");
    std::string other = write("other.ini", "[s]\nk=3\n");
    ASSERT_EQ(rename(other.c_str(), (dir_ + "/two.ini").c_str()), 0);
    EXPECT_EQ(read(link, "s", "k").text, "3");
    // A link to nothing, whose target appears later in another directory.
    ASSERT_EQ(mkdir((dir_ + "/elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink("elsewhere/late.ini", link.c_str()), 0);
    EXPECT_EQ(read(link, "s", "k").text, "<default>");
    write("elsewhere/late.ini", "[s]\nk=4\n");
    EXPECT_EQ(read(link, "s", "k").text, "4");
    unlink((dir_ + "/elsewhere/late.ini").c_str());
    rmdir((dir_ + "/elsewhere").c_str());
}

TEST_F(ProfileTest, ReplacementOfAHardLinkedFileIsSeen) {
    // The old file keeps a name elsewhere, so it is not gone: its link count still drops.
    std::string path = write("a.ini", "[s]\nk=1\n");
    std::string keep = dir_ + "/kept.ini";
    files_.push_back(keep);
    ASSERT_EQ(link(path.c_str(), keep.c_str()), 0);
    EXPECT_EQ(read(path, "s", "k").text, "1");
    std::string other = write("b.ini", "[s]\nk=2\n");
    ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(read(path, "s", "k").text, "2");
    EXPECT_EQ(read(keep, "s", "k").text, "1");
}

TEST_F(ProfileTest, ReadsInARowShareTheFirstLook) {
    std::string path = write("a.ini", "[s]\nk=1\n");
    EXPECT_EQ(read(path, "s", "k").text, "1");
    write("a.ini", "[s]\nk=22\n");
    beginProfileReads();
    EXPECT_EQ(read(path, "s", "k").text, "22") << "the first read of a row looks again";
    write("a.ini", "[s]\nk=333\n");
    EXPECT_EQ(read(path, "s", "k").text, "22");
    std::string missing = dir_ + "/missing.ini";
    EXPECT_EQ(read(missing, "s", "k").text, "<default>");
    write("missing.ini", "[s]\nk=4\n");
    EXPECT_EQ(read(missing, "s", "k").text, "<default>");
    endProfileReads();
    EXPECT_EQ(read(path, "s", "k").text, "333");
    EXPECT_EQ(read(missing, "s", "k").text, "4");
}

TEST_F(ProfileTest, ManyFilesInTurnEachGiveTheirOwnValues) {
    // More files than the cache keeps, read twice over, with one changed in between.
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i) {
        paths.push_back(write("f" + std::to_string(i) + ".ini", "[s]\nk=" + std::to_string(i)));
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(read(paths[i], "s", "k").text, std::to_string(i)) << round;
        }
    }
    write("f7.ini", "[s]\nk=seven\n");
    EXPECT_EQ(read(paths[7], "s", "k").text, "seven");
}

TEST_F(ProfileTest, RelativePathFollowsTheCurrentDirectory) {
    write("rel.ini", "[s]\nk=1\n");
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0700), 0);
    write("sub/rel.ini", "[s]\nk=2\n");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    std::string first = read("rel.ini", "s", "k").text;
    ASSERT_EQ(chdir("sub"), 0);
    std::string second = read("rel.ini", "s", "k").text;
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(first, "1");
    EXPECT_EQ(second, "2");
    unlink((dir_ + "/sub/rel.ini").c_str());
    rmdir((dir_ + "/sub").c_str());
}

TEST_F(ProfileTest, ChangeByAForkedChildIsSeenByBoth) {
    std::string path = write("a.ini", "[s]\nk=1\n");
    ASSERT_EQ(read(path, "s", "k").text, "1");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child changes the file and reads it itself.
        std::ofstream(path, std::ios::trunc) << "[s]\nk=2\n";
        char value[8] = "";
        GetPrivateProfileStringA("s", "k", "", value, sizeof value, path.c_str());
        _exit(std::string(value) == "2" ? 0 : 1);
    }
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    if (!WIFEXITED(status)) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read(path, "s", "k").text, "2");
}

}  // namespace
