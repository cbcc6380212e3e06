#include "platform/posix/testing/jack_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>

namespace {

const pid_t kGone = 99999999;  // above any pid_max

// A registry laid out as JACK 1.9 lays it out, with the servers given.
std::string writeRegistry(const std::vector<std::pair<pid_t, std::string>>& servers) {
    std::string bytes(24 + 8 * 264 + 100, '\0');
    const uint32_t header[] = {0x4a41434b, 9, 1, 0, 24 + 8 * 264, 0};
    std::memcpy(&bytes[0], header, sizeof header);
    for (size_t i = 0; i < servers.size(); ++i) {
        std::memcpy(&bytes[24 + i * 264], &servers[i].first, sizeof(pid_t));
        const std::string name = "jack-" + std::to_string(getuid()) + ":" + servers[i].second + ":";
        name.copy(&bytes[24 + i * 264 + 4], name.size());
    }
    char path[] = "/tmp/midiparley-registry-XXXXXX";
    close(mkstemp(path));
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(JackRegistry, TheTestServerTakesAFreeOrReclaimableNameOrSaysWhyNone) {
    const std::vector<std::string> names = {"test-0", "test-1"};
    std::vector<std::pair<pid_t, std::string>> servers;
    for (int i = 0; i < 7; ++i) {
        servers.push_back({kGone, "killed-" + std::to_string(i)});
    }
    std::string error;
    // Free slots: the first name; when a running process holds it, the next.
    std::string path = writeRegistry({{getpid(), "test-0"}});
    EXPECT_EQ(chooseJackServerName(readJackRegistry(path), names, error), "test-1");
    unlink(path.c_str());
    // Full: only a name whose server has gone can start again.
    servers.push_back({kGone, "test-1"});
    path = writeRegistry(servers);
    const std::vector<JackServerSlot> slots = readJackRegistry(path);
    ASSERT_EQ(slots.size(), 8u);
    EXPECT_EQ(slots[0].name, "killed-0");
    EXPECT_FALSE(slots[0].running);
    EXPECT_EQ(chooseJackServerName(slots, names, error), "test-1");
    EXPECT_EQ(chooseJackServerName(slots, {"test-0"}, error), "");
    EXPECT_NE(error.find("all 8 slots of JACK's server registry /dev/shm/jack-shm-registry are "
                         "taken: killed-0 (pid 99999999, gone), killed-1"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("remove /dev/shm/jack-shm-registry"), std::string::npos) << error;
    unlink(path.c_str());
    EXPECT_TRUE(readJackRegistry(path).empty());  // no registry: no server since boot
}

}  // namespace
