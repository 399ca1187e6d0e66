// The transfer path is chosen per card when it is opened: direct loads and
// stores into a memory-mapped register space, driver transfer requests for
// an I/O space.
#include <gtest/gtest.h>

#include "device/driver_records.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class TransferPath : public SimTest {};

TEST_F(TransferPath, MemoryCardIsStoredDirectlyIoCardThroughRequests) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_set_register_space_memory(1, 1);
  OpenCards(2);
  const uint64_t transfers = kpx4160_sim_request_count(device::kRequestTransfer);

  write_dword_pld_register(1, 0x44, 0xA5A50F0F);
  k4160_write_pcl_register(1, 1, 0x80, 0x00012345);
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestTransfer), transfers);  // no request at all
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_EQ(kpx4160_sim_read_window32(1, 0x44), 0xA5A50F0Fu);
  // The 32-bit chip write is three 16-bit stores: low at 0xB0, high at 0xB8, code at 0xA0.
  EXPECT_EQ(kpx4160_sim_read_window32(1, 0xB0) & 0xFFFF, 0x2345u);
  EXPECT_EQ(kpx4160_sim_read_window32(1, 0xB8) & 0xFFFF, 0x0001u);
  EXPECT_EQ(kpx4160_sim_read_window32(1, 0xA0) & 0xFFFF, 0x0080u);
  EXPECT_EQ(read_dword_pld_register(1, 0x44), 0xA5A50F0Fu);

  // Card 0 is an I/O card: one transfer request per port access, each with
  // its kind, width, auto-increment 1 and options 0.
  write_dword_pld_register(0, 0x44, 0x1);
  k4160_write_pcl_register(0, 0, 0x80, 0x2);
  EXPECT_EQ(k4160_read_pcl_register(0, 0, 0xC0), 0x2u);
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestTransfer), transfers + 1 + 3 + 3);
  const auto raw = RawTrace();
  ASSERT_EQ(raw.size(), 7u);
  EXPECT_EQ(raw[0].width, 32u);
  for (size_t i = 1; i < raw.size(); ++i) EXPECT_EQ(raw[i].width, 16u);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x44), 0x1u);
}

}  // namespace
}  // namespace kpx::test
