// The least motion model that lets queued moves be exercised: an axis is
// "busy" for a fixed number of main-status reads after a start, and a start
// while it is busy goes into the chip's one-deep pre-buffer (main status
// bit 14) until the running move ends. Time is counted in main-status reads
// of the axis, so a program that polls for a free pre-buffer or for the end
// of a move always gets there, and a test runs the same way every time.
//
// The model only adds its own bits to what a test set with
// kpx4160_sim_set_main_status(); it never clears bits set there.
#pragma once

#include <cstdint>

namespace kpx::sim {

// Main-status bits the model drives.
inline constexpr uint16_t kMainStatusBusy = 1u << 0;      // the axis outputs pulses
inline constexpr uint16_t kMainStatusPrebuffer = 1u << 14;  // a further move waits in the pre-buffer

// Main-status reads a move lasts: the read after a start still shows it busy,
// the second one is its last. Two reads leave room for a second start to be
// queued while the first move runs.
inline constexpr uint16_t kStatusReadsPerMove = 2;

class PrebufferModel {
 public:
  // Feeds every command code written to the axis (register codes excluded).
  void OnCommand(uint16_t code);
  // Ends the running and the queued move at once (stop commands, chip reset).
  void Stop();
  // The bits this model adds to the main status right now.
  uint16_t StatusBits() const;
  // One main-status read has been answered: time moves on by one step.
  void AfterStatusRead();

  bool Busy() const { return reads_left_ > 0; }
  bool Pending() const { return pending_; }
  // Starts issued while the pre-buffer already held a move: the real chip
  // would lose the queued move, so a correct program never does this.
  uint32_t Overruns() const { return overruns_; }

 private:
  uint16_t reads_left_ = 0;
  bool pending_ = false;
  uint32_t overruns_ = 0;
};

// Start and stop commands the model reacts to.
bool IsStartCommand(uint16_t code);
bool IsAxisStopCommand(uint16_t code);
// Commands written to chip axis 0 that stop both axes of the chip.
bool IsChipStopCommand(uint16_t code);

}  // namespace kpx::sim
