/**
 * @file kpx4160_sim.h
 * @brief Control interface of the simulated KPX4160 cards.
 *
 * libkpx4160_sim.so exports every function of kpx4160.h over a virtual PCI
 * bus of simulated cards, plus the functions below. A machine program is
 * developed and tested against it without hardware, then linked with
 * libkpx4160.so unchanged.
 *
 * The simulated driver answers the same driver requests as the real one: a
 * bus with N cards (vendor 0x0003, device 0x4160; one card by default), each
 * with one interrupt, a small memory space at base address register 0 and
 * its register space at base address register 1, an I/O space by default or
 * a memory space on request. The card models:
 *  - the PLD registers by byte offset: a write is stored and, except for the
 *    input-only registers (identification 0x60, maker words 0x64-0x74, input
 *    port 0x4C), reads back; what an input register reads as is set here;
 *  - per chip axis the command port protocol: the data ports latch into the
 *    register of a write code; a read code (write code + 0x40) puts that
 *    register on the data ports, so every written register reads back; any
 *    other code is a command and is recorded; reading the command port gives
 *    the main status, reading the SSTSW port the sub-status;
 *  - the general-purpose terminals of the chip: commands 0x14/0x15/0x16 switch
 *    terminals 4/5/6 off and 0x1C/0x1D/0x1E on, reported in sub-status bits 4-6;
 *  - the PCI configuration space (4-byte accesses);
 *  - interrupts: a wait blocks until an interrupt is raised here or the
 *    library disables interrupts.
 * Every port access in an I/O register space is recorded in an access trace.
 * In a memory register space the library loads and stores directly into the
 * card's memory window, which the simulator sees only as memory: no chip
 * protocol runs and nothing is traced (read the window with
 * kpx4160_sim_read_window32()).
 *
 * All functions are thread-safe. Card numbers are positions on the virtual
 * bus (0 .. count-1); functions given another card do nothing and return 0
 * or -1 as stated. Chip axes are 0 or 1.
 */
#ifndef KPX4160_SIM_H
#define KPX4160_SIM_H

#include <stdint.h>

#include "kpx4160.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Largest number of cards the virtual bus holds. */
#define KPX4160_SIM_MAX_CARDS 100u

/** One register-space access as the simulated card saw it. */
typedef struct kpx4160_sim_access {
  uint32_t card;     /**< card number on the virtual bus */
  uint32_t space;    /**< address space (base address register) */
  uint32_t offset;   /**< byte offset in the space */
  uint32_t width;    /**< 16 or 32 bits */
  uint32_t value;    /**< value written, or value returned by a read */
  uint32_t is_write; /**< 1 for a write, 0 for a read */
} kpx4160_sim_access;

/** One PCI configuration-space access as the simulated card saw it. */
typedef struct kpx4160_sim_config_access {
  uint32_t card;     /**< card number on the virtual bus */
  uint32_t offset;   /**< byte offset in the configuration space */
  uint32_t value;    /**< value written, or value returned by a read */
  uint32_t is_write; /**< 1 for a write, 0 for a read */
} kpx4160_sim_config_access;

/** Resource lists a simulated card can report (for testing refusals). */
typedef enum kpx4160_sim_resources {
  KPX4160_SIM_RESOURCES_NORMAL = 0,          /**< one interrupt, memory BAR 0, register space BAR 1 */
  KPX4160_SIM_RESOURCES_TWO_INTERRUPTS = 1,  /**< a second interrupt item */
  KPX4160_SIM_RESOURCES_NO_INTERRUPT = 2,    /**< no interrupt item */
  KPX4160_SIM_RESOURCES_NO_SPACE = 3,        /**< an interrupt but no memory or I/O space */
  KPX4160_SIM_RESOURCES_BAR_ABOVE_5 = 4,     /**< normal, plus an I/O item naming base address register 7 */
  KPX4160_SIM_RESOURCES_OVERLONG = 5         /**< normal, but the item count claims 25 items */
} kpx4160_sim_resources;

/** Back to power-on: one card, no faults, driver version 1230, register space I/O, every register zero and the trace empty. Only the identity registers hold factory values: identification word 0x00010001 + card (serial "VEV0" + that in hex), firmware word "1.0" (version 100), maker words "KPX4160 SIMULATED   ". Returns 0. */
KPX4160_API int kpx4160_sim_reset(void);
/** Sets the number of cards on the virtual bus (0 .. KPX4160_SIM_MAX_CARDS); returns 0, or -1 (nothing changed) above the maximum. New cards start at power-on state. */
KPX4160_API int kpx4160_sim_set_card_count(unsigned n);
/** Sets the driver version the version query reports (major x 100 + minor, e.g. 1229); returns 0. */
KPX4160_API int kpx4160_sim_set_driver_version(unsigned version);
/** With absent non-zero, the driver device cannot be opened; returns 0. */
KPX4160_API int kpx4160_sim_set_driver_absent(int absent);
/** Status the PCI scan reports (0: success; the scan then finds no card); returns 0. */
KPX4160_API int kpx4160_sim_set_scan_status(uint32_t status);
/** Status the card-info query of this card reports; returns 0, or -1 for no such card. */
KPX4160_API int kpx4160_sim_set_card_info_status(unsigned card, uint32_t status);
/** Status the registration of this card reports; returns 0, or -1 for no such card. */
KPX4160_API int kpx4160_sim_set_registration_status(unsigned card, uint32_t status);
/** Chooses the resource list this card reports; returns 0, or -1 for no such card or layout. */
KPX4160_API int kpx4160_sim_set_resources(unsigned card, kpx4160_sim_resources layout);
/** With memory non-zero the card's register space (BAR 1) is a memory space, else an I/O space; takes effect at the next open; returns 0, or -1 for no such card. */
KPX4160_API int kpx4160_sim_set_register_space_memory(unsigned card, int memory);

/** Sets what a PLD register reads as (identification word, maker words, firmware word, input port, ...). */
KPX4160_API void kpx4160_sim_set_pld_register(unsigned card, unsigned offset, uint32_t value);
/** What was last written to a PLD register (0 if never). */
KPX4160_API uint32_t kpx4160_sim_get_pld_register(unsigned card, unsigned offset);
/** Sets a chip register by write code (0x80..0xBF) or read code (0xC0..0xFF): what the next read code returns. */
KPX4160_API void kpx4160_sim_set_pcl_register(unsigned card, unsigned chip_axis, unsigned code, uint32_t value);
/** A chip register by write or read code: the value last latched into it. */
KPX4160_API uint32_t kpx4160_sim_get_pcl_register(unsigned card, unsigned chip_axis, unsigned code);
/** Sets the main status word that reading the command port returns. */
KPX4160_API void kpx4160_sim_set_main_status(unsigned card, unsigned chip_axis, uint16_t status);
/** Sets the sub-status bits other than the terminal bits 4-6 (those follow the terminal commands). */
KPX4160_API void kpx4160_sim_set_sub_status(unsigned card, unsigned chip_axis, uint16_t status);
/** The sub-status word the SSTSW port returns now. */
KPX4160_API uint16_t kpx4160_sim_get_sub_status(unsigned card, unsigned chip_axis);
/** The last value written to the OTPW port. */
KPX4160_API uint16_t kpx4160_sim_get_otpw(unsigned card, unsigned chip_axis);
/** Number of commands (codes that are not register codes) written to this chip axis since reset. */
KPX4160_API uint32_t kpx4160_sim_command_count(unsigned card, unsigned chip_axis);
/** Command i (0 = first) written to this chip axis; 0 if there is no such entry. */
KPX4160_API uint16_t kpx4160_sim_command(unsigned card, unsigned chip_axis, uint32_t i);
/** A 32-bit word of the card's memory-mapped register space (when it is a memory space). */
KPX4160_API uint32_t kpx4160_sim_read_window32(unsigned card, unsigned offset);

/** A dword of the card's PCI configuration space. */
KPX4160_API uint32_t kpx4160_sim_get_config_dword(unsigned card, unsigned offset);
/** Sets a dword of the card's PCI configuration space. */
KPX4160_API void kpx4160_sim_set_config_dword(unsigned card, unsigned offset, uint32_t value);

/** Number of configuration-space accesses recorded since reset or the last kpx4160_sim_config_log_clear(). */
KPX4160_API uint32_t kpx4160_sim_config_log_size(void);
/** Copies configuration-space access i (0 = first) into *out; returns 0, or -1 when i is past the end or out is null. */
KPX4160_API int kpx4160_sim_config_log_entry(uint32_t i, kpx4160_sim_config_access *out);
/** Empties the log of configuration-space accesses. */
KPX4160_API void kpx4160_sim_config_log_clear(void);
/** Status the card's interrupt enable request reports from now on (0: the enable works; e.g. 0x2000000C refuses it); returns 0, or -1 for no such card. */
KPX4160_API int kpx4160_sim_set_interrupt_enable_status(unsigned card, uint32_t status);

/** Raises an interrupt on the card: a pending wait returns with it; returns 0, or -1 if the card's interrupt is not enabled (the interrupt is lost). */
KPX4160_API int kpx4160_sim_raise_interrupt(unsigned card);
/** 1 while the library has the card's interrupt enabled, else 0. */
KPX4160_API int kpx4160_sim_interrupt_enabled(unsigned card);
/** Number of interrupt waits blocked on the card right now. */
KPX4160_API unsigned kpx4160_sim_interrupt_waiters(unsigned card);

/** Number of entries in the access trace: the first 1048576 accesses since the trace was last cleared are kept (the command lists likewise keep the first 1048576 commands per chip axis). */
KPX4160_API uint32_t kpx4160_sim_trace_size(void);
/** Copies trace entry i into *out; returns 0, or -1 when i is past the end or out is null. */
KPX4160_API int kpx4160_sim_trace_entry(uint32_t i, kpx4160_sim_access *out);
/** Empties the access trace and the command lists. */
KPX4160_API void kpx4160_sim_trace_clear(void);
/** With on zero, accesses are no longer recorded (registers still work); returns 0. */
KPX4160_API int kpx4160_sim_trace_enable(int on);
/** Number of driver requests with this request code since reset (0 counts every request). */
KPX4160_API uint64_t kpx4160_sim_request_count(uint32_t request_code);
/** Number of driver handles open right now. */
KPX4160_API unsigned kpx4160_sim_open_handles(void);
/** Number of cards registered with the driver right now. */
KPX4160_API unsigned kpx4160_sim_registered_cards(void);
/** Number of 32-bit PLD accesses at an offset that is not a multiple of 4 since reset: the card's PLD decodes whole dwords only, so it ignores such a write and reads 0 for such a read (both still appear in the trace). */
KPX4160_API uint32_t kpx4160_sim_misaligned_accesses(void);

/* ---- Motion in time ------------------------------------------------------
 * The chip of every simulated card runs what the library loads: point and
 * continuous moves with trapezoidal and S-curve ramps, two-axis lines, the
 * one-deep pre-buffer, synchronised start and stop, stops, speed changes,
 * home search and handwheel operation; positions, encoder counts and the present speed follow. The
 * state is computed from the clock whenever the card is accessed. sim/README.md
 * describes the model.
 */

/** The simulator's clocks. */
typedef enum kpx4160_sim_clock_mode {
  KPX4160_SIM_CLOCK_REAL = 0,    /**< simulated time is wall time (the default) */
  KPX4160_SIM_CLOCK_VIRTUAL = 1  /**< time moves only with the library's pauses, status polls and kpx4160_sim_advance() */
} kpx4160_sim_clock_mode;

/** Chooses the clock; poll_step_seconds is what each status poll adds in virtual time (negative or not finite: 10 microseconds). Stops every axis at once and restarts simulated time at 0. Returns 0, or -1 for an unknown mode. */
KPX4160_API int kpx4160_sim_set_clock(kpx4160_sim_clock_mode mode, double poll_step_seconds);
/** Simulated time in seconds since the clock was set or the simulator reset. */
KPX4160_API double kpx4160_sim_time(void);
/** Virtual time only: lets the given number of seconds pass; returns 0, or -1 in real time or for a negative or non-finite time. */
KPX4160_API int kpx4160_sim_advance(double seconds);

/** What one chip axis is doing, at the present simulated time. */
typedef struct kpx4160_sim_axis_state {
  int32_t position;       /**< logical position counter, pulses */
  double speed;           /**< present output speed, pulses/s (>= 0) */
  int32_t direction;      /**< +1 or -1 while moving, 0 at rest */
  uint32_t busy;          /**< 1 while a move runs */
  uint32_t pending;       /**< 1 while a move waits in the pre-buffer */
  uint32_t moves_started; /**< moves started since the counts were cleared */
  uint32_t underruns;     /**< starts that found the axis at rest after it had already moved since the counts were cleared: a chain of moves that ran dry */
  uint32_t overruns;      /**< starts issued while the pre-buffer was full (not taken) */
} kpx4160_sim_axis_state;

/** Copies the state of a chip axis into *out; returns 0, or -1 for no such axis or a null out. */
KPX4160_API int kpx4160_sim_get_axis_state(unsigned card, unsigned chip_axis, kpx4160_sim_axis_state *out);
/** Clears the move, underrun and overrun counts of every axis; returns 0. */
KPX4160_API int kpx4160_sim_clear_run_counts(void);
/** Puts an encoder on the axis's motor: both encoder counters (the chip's and the PLD's) then count ratio x the output pulses from their present values on (0 removes it: the counters hold what is set). Returns 0, or -1 for no such axis or a non-finite ratio. */
KPX4160_API int kpx4160_sim_set_encoder(unsigned card, unsigned chip_axis, double ratio);
/** Feeds handwheel pulses (signed) to a chip axis: in handwheel operation it puts out as many at once. Returns 0, or -1 for no such axis or when the axis is not in handwheel operation. */
KPX4160_API int kpx4160_sim_feed_handwheel(unsigned card, unsigned chip_axis, int32_t pulses);

/* ---- Axis signals -----------------------------------------------------------
 * Switches placed on an axis at logical positions. The inputs they drive
 * show in the sub-status word: bit 9 +EL (active at and above the plus
 * position), bit 10 -EL (at and below the minus position), bit 11 HOME
 * (exactly at the home position). A move into an active end limit stops:
 * at once, or decelerating when the axis's EL mode bit (bit 3 of
 * SignalConfig1) is set; moving out of it is free. A home search stops at
 * the home switch: at once after a constant-speed start, starting its
 * decelerating stop there after an accelerating start. The chip's two
 * comparators act as limits when their condition is 3 (reached from below:
 * stops moves up) or 2 (reached from above: stops moves down), at once
 * when bit 1 of SignalConfig3 is set, else decelerating; that is how
 * k4160_enable_softlimit() works on the simulated card.
 */
/** Places the end limit switches of a chip axis (minus_position < plus_position when enabled); enabled 0 removes them. Returns 0, or -1 for no such axis or an empty range. */
KPX4160_API int kpx4160_sim_set_limit_switches(unsigned card, unsigned chip_axis, int32_t minus_position, int32_t plus_position, int enabled);
/** Places the home switch of a chip axis; enabled 0 removes it. Returns 0, or -1 for no such axis. */
KPX4160_API int kpx4160_sim_set_home_switch(unsigned card, unsigned chip_axis, int32_t position, int enabled);
/** A pulse on the LTC (latch) input of a chip axis. With the axis's latch enabled in SignalControl (bit 0 / 1) the PLD copies its encoder count into the latch register (0x0C / 0x1C) and raises the axis's latch flag (SignalControl bit 16 / 17 reads 0 until a write of 0 to offset 0x4C); with the chip's latch trigger source on the LTC input (SignalConfig3 bits 5, 6, 9, 10) the chip latches its logical position (read code 0xED) and encoder counter (0xEE). Returns 0, or -1 for no such axis. */
KPX4160_API int kpx4160_sim_latch_event(unsigned card, unsigned chip_axis);
/* ---- The machine file -----------------------------------------------------
 * A TOML file describes the machine behind the cards: their number, per axis
 * the end limits, home switch, EZ index, encoder, servo alarm and in-position
 * signals, slow-down zone and the wiring polarity of each input; per card the
 * emergency stop and the general inputs (constant, from a time, inside a
 * position window, or following an output after a delay); the clock and the
 * motion log. sim/README.md documents the format. The file named by the
 * environment variable KPX4160_SIM_MACHINE is loaded at the first
 * k4160_board_init of the process, so an unchanged program runs on it.
 */
/** Loads a machine file, replacing the cards as kpx4160_sim_reset() does (call it with no card open). Returns 0, or -1 for a refused file: the reason (file, line, key) goes to standard error and to k4160_get_error_text(), and k4160_board_init() finds no card until the next load or reset. */
KPX4160_API int kpx4160_sim_load_machine(const char *path);

/** One sample of the motion log: one per chip axis of every card at every sampling instant, ordered by time, then card, then chip axis. */
typedef struct kpx4160_sim_sample {
  double time;        /**< simulated seconds */
  uint32_t card;      /**< card number */
  uint32_t chip_axis; /**< 0 or 1 */
  int32_t position;   /**< logical position counter, pulses */
  int32_t encoder;    /**< the chip's encoder counter */
  double speed;       /**< present output speed, pulses/s (>= 0) */
} kpx4160_sim_sample;

/** Starts the motion log (dropping earlier samples) with a sample now and every interval_seconds of simulated time; returns 0, or -1 for an interval that is not positive and finite. */
KPX4160_API int kpx4160_sim_log_start(double interval_seconds);
/** Stops the motion log after the samples due up to now; the samples stay; returns 0. */
KPX4160_API int kpx4160_sim_log_stop(void);
/** Number of samples in the motion log (samples due up to now included). */
KPX4160_API uint32_t kpx4160_sim_log_size(void);
/** 1 when the motion log stopped recording because it holds its maximum of 1048576 samples (the samples stay; kpx4160_sim_log_start() begins a new log), else 0. */
KPX4160_API int kpx4160_sim_log_full(void);
/** Copies sample i into *out; returns 0, or -1 when i is past the end or out is null. */
KPX4160_API int kpx4160_sim_log_sample(uint32_t i, kpx4160_sim_sample *out);
/** Writes the motion log as CSV (header "time,card,chip_axis,position,encoder,speed"); returns 0, or -1 if the file cannot be written. */
KPX4160_API int kpx4160_sim_log_write_csv(const char *path);

#ifdef __cplusplus
}
#endif

#endif /* KPX4160_SIM_H */
