// The component model's platform parts through the neutral header.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "os/os_component.h"

namespace {

TEST(OsComponentMemory, TakesResizesKeepingTheBytesAndGivesBack) {
  auto* block = static_cast<char*>(qv::os::ComponentMemoryTake(16));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "component-bytes", 16);
  block = static_cast<char*>(qv::os::ComponentMemoryResize(block, 1 << 20));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "component-bytes");
  EXPECT_EQ(qv::os::ComponentMemoryResize(block, 0), nullptr);  // freed
  qv::os::ComponentMemoryGive(nullptr);
}

TEST(OsIdentifier, VersionFourWithTheVariantBitsAndNeverRepeated) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    uint8_t id[16];
    ASSERT_TRUE(qv::os::IdentifierMake(id));
    uint16_t third;
    std::memcpy(&third, id + 6, sizeof third);
    EXPECT_EQ(third >> 12, 4);
    EXPECT_EQ(id[8] & 0xC0, 0x80);
    EXPECT_TRUE(seen.insert(std::string(reinterpret_cast<char*>(id), 16)).second);
  }
}

}  // namespace
