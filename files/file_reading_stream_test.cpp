// Streams, which tell no size beforehand, are held to the limit as they are read.
#include <gtest/gtest.h>
#include <unistd.h>

#include "files/file_reading.h"

namespace {

// Reads what a pipe holds, through /dev/fd, as a user's -send=/dev/stdin would.
ReadResult readPipe(const std::string& written, size_t limit, std::vector<uint8_t>& bytes) {
    int ends[2];
    if (pipe(ends) != 0 ||
        write(ends[1], written.data(), written.size()) != static_cast<ssize_t>(written.size())) {
        return ReadResult::Failed;
    }
    close(ends[1]);
    std::string reason;
    const ReadResult result =
        readFileWithBound("/dev/fd/" + std::to_string(ends[0]), limit, nullptr, bytes, reason);
    close(ends[0]);
    return result;
}

TEST(FileReading, AStreamEndsAtTheLimit) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(readPipe("0123456789", 9, bytes), ReadResult::TooLarge);
    EXPECT_EQ(readPipe("0123456789", 10, bytes), ReadResult::Read);
    EXPECT_EQ(bytes.size(), 10u);
}

}  // namespace
