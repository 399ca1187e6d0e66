// What the core tests share: the simulated bus fixture, the trace decoder,
// the card table and the driver's request codes.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/card_table.h"
#include "device/driver_records.h"
#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"
