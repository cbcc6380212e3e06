#include "settings/settings_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/windows_api.h"
#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

const std::string kSep(1, kNativePathSeparator);

// A directory of its own (its name may hold blanks), left as the current directory while
// the object lives.
struct WorkingDirectory {
    TemporaryDirectory directory;
    fs::path& path = directory.path;
    fs::path previous = fs::current_path();
    explicit WorkingDirectory(const std::string& stem) : directory(stem) { fs::current_path(path); }
    ~WorkingDirectory() { fs::current_path(previous); }
};

// The directory of the running executable as the operating system reports it.
fs::path executableDirectory() {
    char buffer[4096] = {};
    GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, sizeof buffer);
    return fs::path(buffer).parent_path();
}

}  // namespace

TEST(SettingsFilePath, BesideTheExecutableWhateverTheCurrentDirectory) {
    const fs::path expected = fs::canonical(executableDirectory()) / "midiparley.ini";
    WorkingDirectory elsewhere("midiparley path test");
    const std::string path = settingsFilePath("midiparley.ini");
    EXPECT_EQ(fs::path(path), expected);
    const std::string directory = settingsFilePath("");
    ASSERT_FALSE(directory.empty());
    EXPECT_TRUE(directory.back() == '\\' || directory.back() == '/') << directory;
    EXPECT_EQ(directory + "midiparley.ini", path);
}

TEST(PathDirectory, UpToTheLastSeparatorOfAnyKind) {
    EXPECT_EQ(pathDirectory("C:\\Tools\\midiparley.exe"), "C:\\Tools\\");
    EXPECT_EQ(pathDirectory("/opt/my tools/midiparley"), "/opt/my tools/");
    EXPECT_EQ(pathDirectory("C:midiparley.exe"), "C:");
    EXPECT_EQ(pathDirectory("a/b\\c"), "a/b\\");
    EXPECT_EQ(pathDirectory("midiparley"), "");
    EXPECT_EQ(pathDirectory(""), "");
}

TEST(JoinPath, ExactlyOneSeparatorBetween) {
    EXPECT_EQ(joinPath("C:\\Tools", "midiparley.ini"), "C:\\Tools" + kSep + "midiparley.ini");
    EXPECT_EQ(joinPath("C:\\Tools\\", "midiparley.ini"), "C:\\Tools\\midiparley.ini");
    EXPECT_EQ(joinPath("/opt/tools/", "midiparley.ini"), "/opt/tools/midiparley.ini");
    EXPECT_EQ(joinPath("C:", "x.ini"), "C:x.ini");
    EXPECT_EQ(joinPath("/opt/tools/", ":x.ini"), "/opt/tools/x.ini");
    EXPECT_EQ(joinPath("", "x.ini"), "x.ini");
    EXPECT_EQ(joinPath("/opt/tools", ""), "/opt/tools" + kSep);
    EXPECT_EQ(joinPath("/opt/tools", "/etc/x.ini"), "/etc/x.ini") << "absolute names stand";
}

TEST(EnsureTrailingSeparator, AddsOnlyWhenMissing) {
    std::string text = "dir";
    ensureTrailingSeparator(text);
    EXPECT_EQ(text, "dir" + kSep);
    ensureTrailingSeparator(text);
    EXPECT_EQ(text, "dir" + kSep);
    for (const char* done : {"C:", "a\\", "a/"}) {
        std::string t = done;
        ensureTrailingSeparator(t);
        EXPECT_EQ(t, done);
    }
    std::string empty;
    ensureTrailingSeparator(empty);
    EXPECT_EQ(empty, "");
}

TEST(IsAbsolutePath, DrivesRootsAndShares) {
    for (const char* absolute : {"C:\\x", "C:x", "\\x", "/x", "\\\\server\\share"}) {
        EXPECT_TRUE(isAbsolutePath(absolute)) << absolute;
    }
    for (const char* relative : {"x\\y", "", "x", "./x", "C"}) {
        EXPECT_FALSE(isAbsolutePath(relative)) << relative;
    }
}

TEST(NormalizePath, AbsoluteFormOfExistingAndMissingPaths) {
    WorkingDirectory here("midiparley normalize");
    const fs::path base = fs::current_path();
    EXPECT_EQ(fs::path(normalizePath("missing.ini")), base / "missing.ini");
    fs::create_directories(base / "sub");
    EXPECT_EQ(fs::path(normalizePath("sub/../x.ini")), base / "x.ini");
    EXPECT_EQ(normalizePath(""), "");
}

TEST(NormalizePath, OverlongPathsComeBackUnchanged) {
    for (size_t length : {1024u, 5000u}) {
        const std::string path = "/" + std::string(length - 1, 'a');
        const std::string result = normalizePath(path);
        EXPECT_EQ(result, path) << length;
    }
    const std::string relative(3000, 'b');
    EXPECT_EQ(normalizePath(relative), relative);
}
