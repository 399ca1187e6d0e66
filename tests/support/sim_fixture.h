// Test fixture: a fresh simulated bus for every test, and the library closed
// again afterwards, whatever the test left open.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kpx4160.h"
#include "kpx4160_sim.h"

namespace kpx::test {

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens the given number of simulated cards and empties the trace.
  void OpenCards(unsigned cards = 1);
};

// Closes the library as often as needed to release every card.
void CloseLibraryCompletely();

}  // namespace kpx::test
