/**
 * @file kpx4160.h
 * @brief Programming interface of the KPX4160 PCI motion-control card.
 *
 * One card carries one pulse-generator chip with two axes and a PLD. Axes are
 * numbered over all cards: axis n is chip axis (n & 1) of card (n >> 1).
 * Before k4160_board_init() and after the last k4160_board_close(), and for a
 * card number that holds no open card, every register write is dropped and
 * every register read returns 0. Bad arguments are never reported: a call
 * either does nothing, or reduces, caps or clamps the value (each function
 * says which).
 *
 * Link with libkpx4160.so to drive real cards, or with libkpx4160_sim.so
 * (same functions) to run the program against simulated cards; see
 * kpx4160_sim.h.
 */
#ifndef KPX4160_H
#define KPX4160_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(KPX4160_BUILDING)
#    define KPX4160_EXPORT __declspec(dllexport)
#  else
#    define KPX4160_EXPORT __declspec(dllimport)
#  endif
#else
#  define KPX4160_EXPORT __attribute__((visibility("default")))
#endif

/* Every exported function with C linkage is declared on one line starting with
 * KPX4160_API; the build reads these lines to make the export list. */
#define KPX4160_API KPX4160_EXPORT
/* The few exports with C++ linkage (type-decorated symbol names). */
#define KPX4160_CXX_API KPX4160_EXPORT

/* ---- Named values of the interface --------------------------------------
 * The small integers the functions take and the status bits they return. */

/** Maximum number of cards k4160_board_init() opens. */
#define K4160_MAX_CARDS 16u
/** k4160_board_init() returns this plus the card number when that card failed to open. */
#define K4160_INIT_FAILED_BASE 1001u
/** Axes with a speed profile record: axis numbers from this one up are ignored by the motion functions. */
#define K4160_MAX_AXES 30u

/** posi_mode of the moves and lines: distance relative to the present position. */
#define K4160_RELATIVE 0u
/** posi_mode of the moves and lines: distance is an absolute target. */
#define K4160_ABSOLUTE 1u
/** direction of the continuous moves: negative. */
#define K4160_DIR_NEGATIVE 0u
/** direction of the continuous moves: positive. */
#define K4160_DIR_POSITIVE 1u
/** dir of the arc moves: clockwise. */
#define K4160_ARC_CW 0u
/** dir of the arc moves: counter-clockwise. */
#define K4160_ARC_CCW 1u
/** home_dir of k4160_home_move(): search in the positive direction. */
#define K4160_HOME_POSITIVE 1u
/** home_dir of k4160_home_move(): search in the negative direction. */
#define K4160_HOME_NEGATIVE 2u
/** vel_mode of k4160_home_move(): constant speed, no ramp. */
#define K4160_HOME_CONSTANT_SPEED 0u
/** vel_mode of k4160_home_move(): with the ramps of the loaded profile. */
#define K4160_HOME_RAMPED 1u
/** mode of k4160_variety_speed_range(): speed range chosen by every profile. */
#define K4160_RANGE_AUTO 0u
/** mode of k4160_variety_speed_range(): speed range fixed for a maximum speed. */
#define K4160_RANGE_FIXED 1u
/** Flag and output value: off (a flag takes effect only when it equals K4160_ON). */
#define K4160_OFF 0u
/** Flag and output value: on. */
#define K4160_ON 1u

/** General-purpose inputs and outputs per card, numbered 1 to this. */
#define K4160_GPIO_COUNT 20u
/** k4160_read_inbit() for an input number outside 1..K4160_GPIO_COUNT. */
#define K4160_INBIT_INVALID 255u

/** Main status (k4160_axis_status()): a move has been started and has not ended. */
#define K4160_MSTS_STARTED 0x0001u
/** Main status: the axis puts out pulses. */
#define K4160_MSTS_RUNNING 0x0002u
/** Main status: the axis is done when none of these bits is set (k4160_check_done()). */
#define K4160_MSTS_BUSY (K4160_MSTS_STARTED | K4160_MSTS_RUNNING)
/** Main status: a further move waits in the one-deep pre-buffer (k4160_prebuff_status()). */
#define K4160_MSTS_PREBUFFER 0x4000u

/** Sub-status (read_word_pcl_sstsw()): general input 17 (chip axis 0) or 18 (chip axis 1). */
#define K4160_SSTS_IN_17_18 0x0001u
/** Sub-status: RDY input, 0 while the drive is ready. */
#define K4160_SSTS_RDY 0x0002u
/** Sub-status: general input 19 (chip axis 0) or 20 (chip axis 1). */
#define K4160_SSTS_IN_19_20 0x0004u
/** Sub-status: CMP terminal, 0 while it is on. */
#define K4160_SSTS_CMP 0x0008u
/** Sub-status: general output 15 (chip axis 0) or 16 (chip axis 1), 1 = on. */
#define K4160_SSTS_OUT_15_16 0x0010u
/** Sub-status: general output 17 or 18, 1 = on. */
#define K4160_SSTS_OUT_17_18 0x0020u
/** Sub-status: general output 19 or 20, 1 = on. */
#define K4160_SSTS_OUT_19_20 0x0040u
/** Sub-status: the input signal bits that k4160_axis_io_status() returns. */
#define K4160_SSTS_INPUTS 0xFF00u
/** Sub-status: +EL end limit active. */
#define K4160_SSTS_PLUS_EL 0x0200u
/** Sub-status: -EL end limit active. */
#define K4160_SSTS_MINUS_EL 0x0400u
/** Sub-status: HOME input active. */
#define K4160_SSTS_HOME 0x0800u

/** Interrupt event (k4160_set_int_factor(), k4160_read_event_int_factor()): the axis stopped at the end of its operation. */
#define K4160_EVENT_OPERATION_END 0x00000001u
/** Interrupt event 20, the one that also needs its gate in SignalConfig2 (k4160_set_int_factor() opens it). */
#define K4160_EVENT_20 0x00100000u
/** The events that can interrupt: 0 to 12 and 20; k4160_set_int_factor() keeps only these bits. */
#define K4160_EVENT_ALL 0x00101FFFu
/* Error causes (k4160_read_error_int_factor()) come as the chip reports them:
 * one bit per cause, passed through unchanged; any set bit is an error. */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Board open, reset and close ---------------------------------------- */

/** Finds and opens every card; returns the card count (0: none), or 1001 + card when opening that card failed (the cards before it stay open; call k4160_board_close). At most 16 cards are opened: a scan reporting more counts as 16 cards. Safe to call from several threads (init and close are serialised). Warnings: after a 1001 + card result, a further k4160_board_init opens nothing and just returns the card count; a nested k4160_board_init (cards already open) whose scan finds no card sets the card count to 0, so the k4160_board_close matching it releases nothing and the cards stay open. From an interrupt callback it returns 0 while a close or disable is waiting for that callback's thread. */
KPX4160_API uint32_t k4160_board_init(void);
/** Resets the pulse chips of every open card and rewrites their basic signal configuration, speed range and pulse equivalent. */
KPX4160_API void k4160_board_rest(void);
/** Same as k4160_board_rest(). */
KPX4160_API void k4160_board_reset(void);
/** Matches one k4160_board_init(); the last one emergency-stops every card, stops every interrupt thread (waiting for it) and releases the cards. Ignored when called from an interrupt callback. */
KPX4160_API void k4160_board_close(void);
/* A register access, emergency stop or reset racing k4160_board_close on
 * another thread either completes on the card before it is released or acts
 * as on a card that is not open (writes dropped, reads 0). A process that
 * exits without k4160_board_close stops the interrupt threads first. */

/* ---- Raw register access -------------------------------------------------
 * card: card number (16 and above address no card: writes are dropped, reads
 * return 0). base: chip register base, 0 for chip axis 0 and 8 for chip axis 1.
 * offset: byte offset of a PLD register in the card's register space. */

/** Writes a 16-bit value to the OTPW port of the chip axis at base. */
KPX4160_API void write_word_pcl_otpw(uint16_t card, uint16_t base, uint16_t value);
/** Reads the 16-bit SSTSW (sub-status) port of the chip axis at base. */
KPX4160_API uint16_t read_word_pcl_sstsw(uint16_t card, uint16_t base);
/** Writes a 32-bit PLD register at a byte offset. */
KPX4160_API void write_dword_pld_register(uint16_t card, uint16_t offset, uint32_t value);
/** Reads a 32-bit PLD register at a byte offset. */
KPX4160_API uint32_t read_dword_pld_register(uint16_t card, uint16_t offset);
/** Writes a 32-bit chip register by write code (0x80..0xBF) on chip axis 0 or 1. */
KPX4160_API void k4160_write_pcl_register(uint16_t card, uint16_t chip_axis, uint16_t write_code, uint32_t value);
/** Reads a 32-bit chip register by read code (0xC0..0xFF) on chip axis 0 or 1. */
KPX4160_API uint32_t k4160_read_pcl_register(uint16_t card, uint16_t chip_axis, uint16_t read_code);

/* ---- Identification and versions ---------------------------------------- */

/** Fills info[0..4] with the five maker words, each byte-reversed; returns 0, or -1 for a null pointer. */
KPX4160_API int32_t k4160_read_company_information(uint16_t card, uint32_t *info);
/** Stores the card's 32-bit identification word; returns 0, or -1 for a null pointer. */
KPX4160_API int32_t k4160_read_password(uint16_t card, uint32_t *word);
/** Writes the eight-character serial "VEV0XXXX" (no terminating zero) into sn; returns 0, or -1 for a null pointer. */
KPX4160_API int32_t k4160_get_sn(uint16_t card, char *sn);
/** Stores the library version numbers 10000 and 10001; returns 0, or -1 if either pointer is null (nothing stored). */
KPX4160_API int32_t k4160_get_lib_version(uint32_t *first, uint32_t *second);
/** Stores product code 4160 and the PLD firmware version (e.g. 120 for "1.2"), then the serial as k4160_get_sn(); the fourth argument is not read; returns 0, or -1 if product, firmware or sn is null. */
KPX4160_API int32_t k4160_get_hard_version(uint16_t card, uint32_t *product, uint32_t *firmware, uint32_t *reserved, char *sn);

/* ---- Diagnosis ----------------------------------------------------------- */

/** Copies the device layer's last failure message into text (at most size - 1 characters and a terminating zero; nothing for size 0) and returns the length of the whole message, or -1 for a null text; the text is empty when nothing failed. k4160_board_init() clears it and writes it when no driver opens ("Failed opening WinDriver device"), the scan fails, no card is found, or a card's information, registration or resources are refused; k4160_set_int_enable() writes it when the interrupt cannot be enabled. */
KPX4160_API int32_t k4160_get_error_text(char *text, uint32_t size);

/* @@section speed-profiles */
/* Speeds in pulses/s, times in s. One speed-register count is 1200 / (code + 1)
 * pulses/s of the axis's magnification code; speeds and rates are clamped to
 * 1..16383 counts, S sections to 1..8191. Axis numbers of 30 and above are
 * ignored by every function of this section (nothing is written). */

/** Fixes (mode 1) the axis's speed range for a maximum speed, or releases it (mode 0) to be chosen by every profile; speeds below 1 or NaN, or mode > 1, change nothing; the fixed maximum is capped at 6553600 and a speed above 9829800 keeps the previous unit and code; writes no register; axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_variety_speed_range(uint16_t axis, uint16_t mode, double speed);
/** Trapezoidal profile: computes start, maximum, acceleration and deceleration values (a decel_time below 0.0001 uses accel_time) and writes pre-registers 0x81-0x85; a maximum speed outside 0..9829800 in automatic range rewrites the previous values; axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_set_profile(uint16_t axis, double start_speed, double max_speed, double accel_time, double decel_time);
/** S-curve profile with the S sections given as speeds (pulses/s); writes 0x81-0x84, 0x89, 0x8A, then 0x85; a decel_time of 0 gives the steepest deceleration rate 1; axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_set_s_profile(uint16_t axis, double start_speed, double max_speed, double accel_time, double decel_time, int32_t s_accel_speed, int32_t s_decel_speed);
/** S-curve profile with the S sections given as times (s); writes 0x81-0x84, 0x89, 0x8A, then 0x85; axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_set_st_profile(uint16_t axis, double start_speed, double max_speed, double accel_time, double decel_time, double s_accel_time, double s_decel_time);
/** Stores the start speed, maximum speed, acceleration and deceleration time every interpolated move uses, unchecked; writes no register. */
KPX4160_API void k4160_set_vector_profile(double start_speed, double max_speed, double accel_time, double decel_time);
/* @@end speed-profiles */

/* @@section moves */
/* Moves use the speed pre-registers of the last profile write and the axis's
 * profile record; they check neither that the axis is idle nor that its
 * pre-buffer is free. posi_mode 1: distance is an absolute target (the command
 * position is read and subtracted, 32-bit wrap-around); any other value: a
 * relative distance. Every move keeps the operation-mode bits it does not own.
 * Axis numbers of 30 and above are ignored by every move of this section. */

/** Symmetric trapezoidal point move: writes 0x80 distance, 0x86 = 0, 0x84 = acceleration rate, the mode word (point move, bits 10, 13, 15, 26 cleared) to 0x87, then starts (0x53); axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_t_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode);
/** Symmetric S-curve point move: writes 0x86 = 0, 0x84 = acceleration rate, 0x8A = acceleration S section, 0x80 distance, the mode word (point move, bit 10 set, bits 13, 26 cleared), then starts (0x53); axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_s_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode);
/** Asymmetric trapezoidal point move: writes 0x80 distance and the computed ramp-down point (at most 0xFFFFFF; a distance of -2147483648 counts as 2147483648 pulses) to 0x86, the mode word (point move, bit 13 set, bits 10, 26 cleared), then starts (0x53); axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_ex_t_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode);
/** Asymmetric S-curve point move: like k4160_ex_t_pmove with S-curve ramps (bits 10 and 13 set); a distance of -2147483648 counts as 2147483648 pulses; axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_ex_s_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode);
/** Continuous move with trapezoidal ramp-up, direction 1 positive, 0 negative (above 1: nothing); writes the mode word to 0x97 and starts (0x53); axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_t_vmove(uint16_t axis, uint16_t direction);
/** Continuous move with S-curve ramp-up, direction 1 positive, 0 negative (above 1: nothing); axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_s_vmove(uint16_t axis, uint16_t direction);
/** Writes a new distance for the move in progress to register 0x90, unconverted and without a start command. */
KPX4160_API void k4160_reset_target_position(uint16_t axis, int32_t value);
/** Relative symmetric trapezoidal move by PLD encoder count minus command position (32-bit wrap-around); returns 1, or 0 (nothing done) for axis numbers of 30 and above. */
KPX4160_API uint32_t k4160_pulse_loop(uint16_t axis);
/* @@end moves */

/* @@section stops-status */
/** Deceleration stop with a new deceleration time (s): writes the rate for the running profile's span to 0x94 and the record (not for a constant-speed profile), then command 0x4A; a time below 0.0001 gives rate 1; axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_decel_stop(uint16_t axis, double decel_time);
/** Immediate stop (command 0x49). */
KPX4160_API void k4160_imd_stop(uint16_t axis);
/** Simultaneous-stop command (0x07) of the synchronous stop mechanism, to this axis. */
KPX4160_API void k4160_simultaneous_stop(uint16_t axis);
/** Emergency stop (0x0F05) to chip axis 0 of every card, card 0 first. */
KPX4160_API void k4160_emg_stop(void);
/** New maximum speed (pulses/s) of the running move, written to 0x92 in the fixed range's unit (capped at the fixed maximum, at least 1 count); nothing in automatic range mode, for a negative speed, or for axis numbers of 30 and above. */
KPX4160_API void k4160_change_speed(uint16_t axis, double speed);
/** Present output speed in pulses/s (whole number), from the running magnification and present-speed registers; 0.0 while the magnification reads 0. */
KPX4160_API double k4160_read_current_speed(uint16_t axis);
/** Command position (logical position counter) in pulses. */
KPX4160_API int32_t k4160_get_position(uint16_t axis);
/** Presets the command position; positions of magnitude above 134217727 are ignored. */
KPX4160_API void k4160_set_position(uint16_t axis, int32_t position);
/** The chip axis's main status word, whole. */
KPX4160_API uint16_t k4160_axis_status(uint16_t axis);
/** 1 once the axis has stopped (main status bits 0 and 1 both clear), else 0; 1 for a card that is not open. */
KPX4160_API uint16_t k4160_check_done(uint16_t axis);
/** 1 while a further move waits in the chip's pre-buffer (main status bit 14), else 0. */
KPX4160_API uint16_t k4160_prebuff_status(uint16_t axis);
/** Input signal bits 8-15 of the sub-status; bits 0-7 are always 0. */
KPX4160_API uint16_t k4160_axis_io_status(uint16_t axis);
/** The chip axis's 32-bit extended status word. */
KPX4160_API uint32_t k4160_get_rsts(uint16_t axis);
/* @@end stops-status */

/* @@section home-handwheel */
/** Starts a home search: home_dir 1 positive, 2 negative (anything else stops after resetting the card's home latch); vel_mode 0 constant speed, 1 with the ramps of the loaded profile (anything else loads the mode without starting). Runs at the speeds the axis's last profile left in the chip; needs no profile, so axes 30 and 31 home like any other. */
KPX4160_API void k4160_home_move(uint16_t axis, uint16_t home_dir, uint16_t vel_mode);
/** Home-search options of the axis: home_mode non-zero sets the mode bit; count 1-16 is stored as count - 1, any other count as 0. */
KPX4160_API void k4160_config_home_mode(uint16_t axis, uint16_t home_mode, uint16_t count);
/** Handwheel move at |speed| above 0.01 pulses/s (the profile of the axis becomes speed, without ramp); at most 0.01, or NaN, switches it off with a decelerating stop. Axis numbers of 30 and above are ignored. */
KPX4160_API void k4160_handwheel_move(uint16_t axis, double speed);
/* @@end home-handwheel */

/* @@section interpolation */
/* ---- Linear and arc interpolation ----------------------------------------
 * Both axes of a line or an arc may sit on different cards. Lines and arcs
 * run with the vector profile (k4160_set_vector_profile()): its start and
 * maximum speed along the path, its acceleration time for both ramps. */

/** Starts a two-axis straight line: posi_mode 1 takes dist1/dist2 as absolute targets (the logical positions are read first), any other value as relative distances; the path speed follows the vector profile, shared out so that both axes arrive together, and a line issued while the axes run waits in their pre-buffer. Axis numbers of 30 and above are ignored: if either axis is 30 or above nothing is written to either. */
KPX4160_API void k4160_t_line2(uint16_t axis1, int32_t dist1, uint16_t axis2, int32_t dist2, uint16_t posi_mode);
/** Three-axis line: not available on this two-axis card; does nothing (one entry with k4160_t_line4()). */
KPX4160_API void k4160_t_line3(void);
/** Four-axis line: not available on this two-axis card; does nothing (one entry with k4160_t_line3()). */
KPX4160_API void k4160_t_line4(void);
/** Arc from the present position to target about centre (both relative to the present position, pulses; axes[0] is x, axes[1] is y), dir 0 clockwise, 1 counter-clockwise, cut into chords fed to the chip one by one; blocks until the last chord is queued. Prints "Arc Sector = <chords> " on standard output. Returns 1, or 0 with no motion when the arc has no whole chord (dir above 1, centre on the target, too short). The radius is taken from the target; an end point on the start ray is a full turn. Leaves the vector start and maximum speeds at the last chord's speed. Axis numbers of 30 and above are ignored, and so is a null pointer: result 0, nothing printed or touched. */
KPX4160_API int32_t k4160_rel_arc_move(const uint16_t axes[2], const int32_t target[2], const int32_t centre[2], uint16_t dir);
/** As k4160_rel_arc_move() with target and centre as absolute positions in pulses (the logical positions of axes[0] and then axes[1] are read and subtracted). Axis numbers of 30 and above are ignored, and so is a null pointer: result 0, nothing printed, read or touched. */
KPX4160_API int32_t k4160_arc_move(const uint16_t axes[2], const int32_t target[2], const int32_t centre[2], uint16_t dir);
/** As k4160_rel_arc_move() with target and centre in user units (each axis scaled by its pulse equivalent, truncated to whole pulses); the circle is round in user units when the equivalents differ. Axis numbers of 30 and above are ignored, and so is a null pointer: result 0, nothing printed or touched. */
KPX4160_API int32_t k4160_rel_arc_move_unitmm(const uint16_t axes[2], const double target[2], const double centre[2], uint16_t dir);
/** As k4160_rel_arc_move_unitmm() with target and centre as absolute positions in user units (the positions of axes[0] and then axes[1] are read in units and subtracted). Axis numbers of 30 and above are ignored, and so is a null pointer: result 0, nothing printed, read or touched. */
KPX4160_API int32_t k4160_arc_move_unitmm(const uint16_t axes[2], const double target[2], const double centre[2], uint16_t dir);
/** Older arc call: axes 2 x card (x) and 2 x card + 1 (y) sweep angle radians (positive: counter-clockwise, else clockwise) about the absolute centre (x, y) in pulses (truncated); the end point is computed and the arc run as k4160_rel_arc_move(), whose result it returns. An angle of 0 is a full clockwise turn. Axis numbers of 30 and above are ignored (card 15 and above): result 0, nothing printed or touched. */
KPX4160_API int32_t Arc_xy(uint16_t card, double x, double y, double angle);
/* @@end interpolation */

/* @@section sync */
/** Loads and starts a symmetric trapezoidal point move on each of count axes, in list order (posi_mode 1 absolute, 0 relative); returns 1, or -1 with nothing written when count is 0, a pointer is null, posi_mode is above 1 or any listed axis number is 30 or above. */
KPX4160_API int32_t k4160_set_t_move_all(uint16_t count, const uint16_t *axes, const int32_t *distances, uint16_t posi_mode);
/** Issues the simultaneous-start command to the axis's chip; returns 1. */
KPX4160_API int32_t k4160_start_move_all(uint16_t axis);
/** Synchronisation options of the axis (flags 0 or 1, sync_mode 0-3; extra is ignored); returns 1, or -1 with nothing written for a value out of range. */
KPX4160_API int32_t k4160_set_sync_option(uint16_t axis, uint16_t sync_flag1, uint16_t sync_flag2, uint16_t sync_mode, uint16_t extra);
/** Synchronous-stop mode of the axis (0 or 1); returns 1, or -1 with nothing written for another mode. */
KPX4160_API int32_t k4160_set_sync_stop_mode(uint16_t axis, uint16_t mode);
/* @@end sync */

/* @@section pulse-encoder */
/** Pulse output mode 0..7 (above 7: nothing) into SignalConfig1 bits 0-2 (modes 5, 6, 7 become chip codes 7, 5, 6), read and write held under one register lock. */
KPX4160_API void k4160_set_pulse_outmode(uint16_t axis, uint16_t mode);
/** Count input mode of the PLD encoder counter: mode & 3 into bits 0-1 of the axis's CounterConfig byte. */
KPX4160_API void k4160_counter_config(uint16_t axis, uint16_t mode);
/** PLD encoder count, the 28-bit counter sign-extended. */
KPX4160_API int32_t k4160_get_encoder(uint16_t axis);
/** Presets the PLD encoder counter (preset, then load); magnitudes above 134217727 are ignored. */
KPX4160_API void k4160_set_encoder(uint16_t axis, int32_t value);
/** The chip's 32-bit encoder counter. */
KPX4160_API int32_t k4160_get_encoder_pcl(uint16_t axis);
/** Presets the chip's encoder counter; magnitudes above 134217727 are ignored. */
KPX4160_API void k4160_set_encoder_pcl(uint16_t axis, int32_t value);
/** Handwheel input mode (inmode & 3 into SignalConfig2 bits 20-21, bit 22 set, bit 23 set only for option 1). */
KPX4160_API void k4160_set_handwheel_inmode(uint16_t axis, uint16_t inmode, uint16_t option);
/** PLD encoder input filter value of the axis, capped at 254. */
KPX4160_API void k4160_config_encoder_filter(uint16_t axis, uint16_t value);
/** The card's counter flags (mask 0x0F0F0F0F). */
KPX4160_API uint32_t k4160_get_counter_flag(uint16_t card);
/** Clears the card's counter flags. */
KPX4160_API void k4160_reset_counter_flag(uint16_t card);
/* @@end pulse-encoder */

/* @@section signals */
/* Dedicated axis signals. Each setter is a read-modify-write of exactly its
 * own bits; a flag argument switches its bit on only when it equals 1 unless
 * said otherwise. These functions keep no AxisProfile record: axis 30 and 31
 * address card 15, higher axes a card that is never open (nothing happens). */

/** SD input: operation-mode bit 8 = (enable == 1); SignalConfig1 bits 4-5 = mode & 3, bit 6 = (logic == 1). */
KPX4160_API void k4160_config_SD_PIN(uint16_t axis, uint16_t enable, uint16_t logic, uint16_t mode);
/** PCS input: operation-mode bit 14 = (enable == 1) with bit 26 cleared; SignalConfig1 bit 24 = (logic == 1). */
KPX4160_API void k4160_config_PCS_PIN(uint16_t axis, uint16_t enable, uint16_t logic);
/** INP input: operation-mode bit 9 = (enable == 1) with bit 26 cleared; SignalConfig1 bit 22 = (logic == 1). */
KPX4160_API void k4160_config_INP_PIN(uint16_t axis, uint16_t enable, uint16_t logic);
/** ERC output: SignalConfig1 bits 10-11 mode, bit 15 = (logic == 0), bits 12-14 code3, bits 16-17 code2; does nothing unless mode <= 3, logic <= 1, code3 <= 7 and code2 <= 3. */
KPX4160_API void k4160_config_ERC_PIN(uint16_t axis, uint16_t mode, uint16_t logic, uint16_t code3, uint16_t code2);
/** ALM input: SignalConfig1 bit 9 = (logic == 1), bit 8 = (mode == 1). */
KPX4160_API void k4160_config_ALM_PIN(uint16_t axis, uint16_t logic, uint16_t mode);
/** LTC input: SignalConfig1 bit 23 = (logic == 1), SignalConfig3 bit 13 = (option == 1), card LTC enable of the chip axis = (logic != 0), and the card's bit 8 + chip axis cleared. */
KPX4160_API void k4160_config_LTC_PIN(uint16_t axis, uint16_t logic, uint16_t option);
/** EL inputs: SignalConfig1 bit 3 = bit 0 of mode; the card's EL mode bit of the chip axis = inverse of bit 1 of mode. */
KPX4160_API void k4160_config_EL_MODE(uint16_t axis, uint16_t mode);
/** EMG input of the card: disabled when enable is 0, logic into its bit; does nothing unless enable <= 1 and logic <= 1. */
KPX4160_API void k4160_config_EMG_PIN(uint16_t card, uint16_t enable, uint16_t logic);
/** HOME input: SignalConfig1 bit 7 = (logic == 1), input filter enable bit 26 = (filter == 1); the later of this and k4160_config_axis_io_filter() sets bit 26. */
KPX4160_API void k4160_set_HOME_pin_logic(uint16_t axis, uint16_t logic, uint16_t filter);
/** EZ input logic in the chip: SignalConfig2 bit 28 = (logic == 1). */
KPX4160_API void k4160_set_ez_logic(uint16_t axis, uint16_t logic);
/** EZ input on the card: logic (non-zero = 1) and mode 0-3 (2 and 3 set the card-wide EZ mode bit, which any other call clears); a mode above 3 keeps the counter configuration as it is. */
KPX4160_API void k4160_config_EZ_PIN(uint16_t axis, uint16_t logic, uint16_t mode);
/** CSTA input: SignalConfig1 bit 18 = (mode == 1); returns 1. */
KPX4160_API int32_t k4160_config_CSTA_PIN(uint16_t axis, uint16_t mode);
/** Input filter of the axis: level 0-2 into SignalConfig1 bits 20-21 (3 or more writes 0), filter enable bit 26 = (enable == 1). */
KPX4160_API void k4160_config_axis_io_filter(uint16_t axis, uint16_t level, uint16_t enable);
/** LTC filter of the card: value capped at 254. */
KPX4160_API void k4160_config_LTC_filter(uint16_t card, uint16_t value);
/** Speaker output logic of the card (0 or 1; any other value does nothing). */
KPX4160_API void k4160_set_speaker_logic(uint16_t card, uint16_t logic);
/** Trigger channel of the card (0 or 1; any other value does nothing). */
KPX4160_API void k4160_triger_chunnel(uint16_t card, uint16_t channel);
/** PWM output 1: frequency clamped to 1000..180000 Hz, period = 33487800 / f + 1 counts; duty <= 0 gives a high time of 1 count, >= 1 gives period - 1, else period x duty; enable non-zero switches it on; returns 0. Warning: a NaN frequency or duty is not clamped: it writes 0x80000000 as the period or high count. */
KPX4160_API int32_t k4160_config_PWM_PIN(uint16_t card, uint16_t enable, double frequency, double duty);
/** PWM output 2, as k4160_config_PWM_PIN(); returns 0. */
KPX4160_API int32_t k4160_config_PWM2_PIN(uint16_t card, uint16_t enable, double frequency, double duty);
/* @@end signals */

/* @@section gpio */
/* General-purpose I/O: 20 inputs and 20 outputs per card, numbered 1-20.
 * The port and bit functions are serialised against each other by one
 * library-wide lock, so concurrent output writes never lose each other. */

/** Input n (1-20) of the card: 0 or 1; 255 for any other n. */
KPX4160_API uint32_t k4160_read_inbit(uint16_t card, uint16_t n);
/** All 20 inputs of the card: bit k is input k + 1; bits 20-31 are 0. */
KPX4160_API uint32_t k4160_read_inport(uint16_t card);
/** Switches output n (1-20) on (value 1) or off (value 0); any other n or value writes nothing. */
KPX4160_API void k4160_write_outbit(uint16_t card, uint16_t n, uint16_t value);
/** State of output n (1-20): 1 on, 0 off; -1 for any other n. */
KPX4160_API int32_t k4160_read_outbit(uint16_t card, uint16_t n);
/** All 20 outputs of the card: bit k is output k + 1, 1 = on; bits 20-31 are 0. */
KPX4160_API uint32_t k4160_read_outport(uint16_t card);
/** Sets all 20 outputs from value (bit k = output k + 1, 1 = on); bits 20-31 are ignored; servo-on outputs are kept. */
KPX4160_API void k4160_write_outport(uint16_t card, uint32_t value);
/** Servo-on output of the axis: 1 on, 0 off; any other value does nothing. Not serialised with the port functions. */
KPX4160_API void k4160_write_SEVON_PIN(uint16_t axis, uint16_t value);
/** Servo-on output of the axis: 1 when on, else 0. */
KPX4160_API int32_t k4160_read_SEVON_PIN(uint16_t axis);
/** RDY input of the axis: 1 when active (the signal is low), else 0. */
KPX4160_API int32_t k4160_read_RDY_PIN(uint16_t axis);
/** Switches the ERC output of the axis directly: 1 on, 0 off; any other value does nothing. */
KPX4160_API void k4160_write_ERC_PIN(uint16_t axis, uint16_t value);
/* @@end gpio */

/* @@section compare-latch */
/* Comparators, CMP terminal, latches and soft limits. Comparator conditions
 * and soft limits share bits and data registers: the last call wins. */

/** CMP terminal function: cmp1 (bits 6-7) and cmp2 (bits 8-9) of SignalConfig2 each 01 unless the argument is 1, then 10, or 11 when logic is 1. */
KPX4160_API void k4160_config_CMP_PIN(uint16_t axis, uint16_t cmp1, uint16_t cmp2, uint16_t logic);
/** CMP terminal state: 1 when its sub-status bit 3 is 0, else 0. */
KPX4160_API int32_t k4160_read_CMP_PIN(uint16_t axis);
/** Drives the CMP terminal directly: value 0 issues the terminal-on command, any non-zero value the terminal-off command. */
KPX4160_API void k4160_write_CMP_PIN(uint16_t axis, uint16_t value);
/** Comparator conditions cond1, cond2 (two bits each) and action (0 sets the action bit). */
KPX4160_API void k4160_config_comparator(uint16_t axis, uint16_t cond1, uint16_t cond2, uint16_t action);
/** Loads comparator 1 with data1, then comparator 2 with data2. */
KPX4160_API void k4160_set_comparator_data(uint16_t axis, int32_t data1, int32_t data2);
/** Latch mode of the card: 1 for any non-zero mode. */
KPX4160_API void k4160_config_latch_mode(uint16_t card, uint16_t mode);
/** Latch trigger source: 1 selects the trigger, any other value clears it. */
KPX4160_API void k4160_set_latch_trigger_source(uint16_t axis, uint16_t source);
/** Encoder count the card latched for the axis, sign-extended from 28 bits. */
KPX4160_API int32_t k4160_get_latch_value(uint16_t axis);
/** Latch flags of the card: bits 0-7 are the flags, 1 = raised. */
KPX4160_API uint32_t k4160_get_latch_flag(uint16_t card);
/** Resets the latch flags of the card. */
KPX4160_API void k4160_reset_latch_flag(uint16_t card);
/** Resets the clear flag of the card. */
KPX4160_API void k4160_reset_clear_flag(uint16_t card);
/** First (which 1) or second (which 2) chip-latched counter value; any other which reads nothing and returns 0. */
KPX4160_API uint32_t k4160_get_rcun_latch_value(uint16_t axis, uint16_t which);
/** Reaction of the soft limits: action 0 sets the action bit (shared with k4160_config_comparator()). */
KPX4160_API void k4160_config_softlimit(uint16_t axis, uint16_t action);
/** Soft limits on (enable 1) or off (anything else), replacing the comparator conditions. */
KPX4160_API void k4160_enable_softlimit(uint16_t axis, uint16_t enable);
/** Soft-limit positions: limit_b goes to comparator 1, then limit_a to comparator 2. */
KPX4160_API void k4160_set_softlimit_data(uint16_t axis, int32_t limit_a, int32_t limit_b);
/* @@end compare-latch */

/* @@section interrupts */
/* Each card raises one PCI interrupt. While a card's interrupts are enabled,
 * one library thread per card waits for them; for every interrupt it
 * acknowledges the card (PCI configuration word 0x48), reads the error and
 * event causes and the main status of chip axis 0 of card 0 (whichever card
 * interrupted), and then calls the one callback set with k4160_set_board_isr()
 * or k4160_set_board_isr_ex(). Reading a cause register clears it, so only the
 * extended callback still sees what card 0, chip axis 0 reported. */

/** Application interrupt callback: called on the card's interrupt thread with the number of the card that interrupted. */
typedef void (*k4160_board_isr_t)(uint16_t card);
/** Extended interrupt callback: the card that interrupted, then the error causes (read code 0xF2), the event causes (read code 0xF3) and the main status exactly as the handler read them from chip axis 0 of card 0 (the chip that the handler reads whichever card interrupted), and the user pointer given with it. */
typedef void (*k4160_board_isr_ex_t)(uint16_t card, uint32_t error_causes, uint32_t event_causes, uint16_t main_status, void *user);

/** Acknowledges the card's interrupt, reads chip axis 0's causes and starts the card's interrupt thread; returns 0 when started, -1 when it was already running or could not start (driver refusal or no thread; nothing is left running). A card number with no open card (also 16 and above, or before k4160_board_init) returns -1 and touches nothing. Safe from several threads and from the callback, against k4160_set_int_disable and k4160_board_close too; from the callback it returns -1 for a card whose thread has ended but was not yet freed. */
KPX4160_API int32_t k4160_set_int_enable(uint16_t card);
/** Writes 0 to every open card's interrupt control word and stops every card's interrupt thread, waiting for each to end. Called from the callback it does not wait: the threads end once the callback returns, and the next k4160_set_int_disable, k4160_set_int_enable or k4160_board_close from an application thread frees them. Several application threads may call it at once: each returns once the threads are gone. */
KPX4160_API void k4160_set_int_disable(void);
/** Sets the one callback of every card's interrupts (null: none), replacing an extended one. It is called on the interrupt thread after the acknowledge and the cause reads, with the card number; it may read and write registers but must not call k4160_board_close (ignored there). */
KPX4160_API void k4160_set_board_isr(k4160_board_isr_t callback);
/** Sets the one callback of every card's interrupts in its extended form, with user handed back on every call (null callback: none); it replaces a callback set with k4160_set_board_isr(), and k4160_set_board_isr() replaces it. Same rules on the interrupt thread as k4160_set_board_isr(). */
KPX4160_API void k4160_set_board_isr_ex(k4160_board_isr_ex_t callback, void *user);
/** Chooses the chip events that interrupt on the axis: writes factor & 0x00101FFF (events 0-12 and 20) to the event-enable register and sets bit 30 of SignalConfig2 exactly when event 20 (bit 20) is chosen, keeping its other bits. */
KPX4160_API void k4160_set_int_factor(uint16_t axis, uint32_t factor);
/** Reads the event causes (read code 0xF3) of the axis; 0 for an axis with no open card. */
KPX4160_API uint32_t k4160_read_event_int_factor(uint16_t axis);
/** Reads the error causes (read code 0xF2) of the axis; 0 for an axis with no open card. */
KPX4160_API uint32_t k4160_read_error_int_factor(uint16_t axis);
/** Same as k4160_read_error_int_factor(). */
KPX4160_API uint32_t k4160_get_error_intfactor(uint16_t axis);
/* @@end interrupts */

/* @@section units */
/* ---- User units ----------------------------------------------------------
 * Each axis has a pulse equivalent e, pulses per user unit (1.0 after
 * k4160_board_init()). Positions and distances become trunc(value x e)
 * pulses (toward zero: 0.29 x 100 gives 28), pulse values become pulses / e,
 * speeds are multiplied or divided by e, times are passed unchanged.
 * Warning: a position or distance whose pulse value is not finite (NaN,
 * infinite, or an equivalent of 0 with an infinite quotient) or lies outside
 * the signed 32-bit range becomes -2147483648 pulses, a move of 2^31 pulses
 * in the negative direction, not an error. The
 * _unitmm functions return 1 whatever the pulse function does; with an axis
 * number of 30 and above they return 0 and touch nothing, and those with an
 * output pointer return -1 for a null pointer (nothing read). */

/** Sets the axis's pulse equivalent (pulses per user unit); returns 1, or 2 with nothing stored when equiv is below 0.000001 (zero and negative included) or the axis number is 30 or above. A NaN is stored. */
KPX4160_API int32_t k4160_set_equiv(uint16_t axis, double equiv);
/** Stores the axis's pulse equivalent in *equiv; returns 1, -1 for a null pointer, 0 (nothing stored) for an axis number of 30 and above. */
KPX4160_API int32_t k4160_get_equiv(uint16_t axis, double *equiv);
/** Stores the logical position in user units (position / e) in *pos; returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_get_position_unitmm(uint16_t axis, double *pos);
/** Sets the logical position to trunc(pos x e) pulses (k4160_set_position()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_set_position_unitmm(uint16_t axis, double pos);
/** Stores the encoder count in user units (count / e) in *pos; returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_get_encoder_unitmm(uint16_t axis, double *pos);
/** Presets the encoder count to trunc(pos x e) pulses (k4160_set_encoder()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_set_encoder_unitmm(uint16_t axis, double pos);
/** Symmetric trapezoidal point move of dist whole user units (trunc(dist x e) pulses; posi_mode as k4160_t_pmove()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_t_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode);
/** Asymmetric trapezoidal point move of dist whole user units (as k4160_ex_t_pmove()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_ex_t_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode);
/** Symmetric S-curve point move of dist whole user units (as k4160_s_pmove()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_s_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode);
/** Asymmetric S-curve point move of dist whole user units (as k4160_ex_s_pmove()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_ex_s_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode);
/** Changes the distance of the move in progress to trunc(pos x e) pulses (k4160_reset_target_position()); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_reset_target_position_unitmm(uint16_t axis, double pos);
/** Fixes (mode 1) or releases (mode 0) the speed range for max_speed user units per second (k4160_variety_speed_range() with max_speed x e); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_variety_speed_range_unitmm(uint16_t axis, uint16_t mode, double max_speed);
/** Stores the present speed in user units per second (pulses per second / e) in *speed; returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_read_current_speed_unitmm(uint16_t axis, double *speed);
/** Trapezoidal profile with speeds in user units per second (k4160_set_profile() with both speeds x e, times unchanged); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_set_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec);
/** S-curve profile with speeds and S sections in user units per second (k4160_set_s_profile() with the speeds x e and the sections trunc(section x e)); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_set_s_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec, double s_acc, double s_dec);
/** S-curve profile with S times (k4160_set_st_profile() with the speeds x e, the four times unchanged); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_set_st_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec, double ts_acc, double ts_dec);
/** Stores the vector profile with speeds in user units per second of this axis (x e of axis; times unchanged); returns 1. Axis numbers of 30 and above are ignored (result 0). */
KPX4160_API int32_t k4160_set_vector_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec);
/** Two-axis line of dist1 / dist2 whole user units (trunc(dist x e) of each axis's own equivalent; posi_mode as k4160_t_line2()); returns 1 (0 if either axis number is 30 or above: nothing moved). */
KPX4160_API int32_t k4160_t_line2_unitmm(uint16_t axis1, int32_t dist1, uint16_t axis2, int32_t dist2, uint16_t posi_mode);
/** Three-axis line in user units: not available on this two-axis card; does nothing and returns 1 (one entry with k4160_t_line4_unitmm() and Get_board_base()). */
KPX4160_API int32_t k4160_t_line3_unitmm(void);
/** Four-axis line in user units: not available on this two-axis card; does nothing and returns 1. */
KPX4160_API int32_t k4160_t_line4_unitmm(void);
/* @@end units */

/* @@section legacy */
/* ---- Older command set ----------------------------------------------------
 * Axis numbers are signed; the functions that call the main interface pass
 * the low 16 bits on. Positions and distances are truncated toward zero to
 * whole pulses; warning: a NaN, infinite or out-of-range double becomes
 * -2147483648 pulses (a full-length move in the negative direction). The blocking moves poll for done every millisecond, with no
 * time-out, and return nothing; the starting forms return nothing either. */

/** Opens every card as k4160_board_init(); returns its result reduced to 16 bits. */
KPX4160_API uint16_t Board_init(void);
/** Closes the cards as k4160_board_close(). */
KPX4160_API void Board_close(void);
/** Writes output bit (1..20) of a card as k4160_write_outbit(). */
KPX4160_API void Out_bit(int32_t card, int32_t bit, int32_t value);
/** Reads input bit (1..20) of card 0, whatever the card, as k4160_read_inbit(0, bit). */
KPX4160_API uint32_t In_bit(int32_t bit);
/** Returns the older status word of an axis gathered from its extended status and its sub-status. */
KPX4160_API uint16_t Get_io_status(int32_t axis);
/** Sets the pulse output mode; older modes 1, 2, 3 are modes 4, 2, 5, other values pass through. */
KPX4160_API void Set_pls_outmode(int32_t axis, int32_t mode);
/** Sets the count input mode; older modes 0, 1, 2, 3 are modes 1, 2, 3, 0. */
KPX4160_API void Set_pls_iptmode(int32_t axis, int32_t mode);
/** Chooses the counter of Get_position/Set_position: 0 command position, other values the encoder; axes outside 0..29 are ignored. */
KPX4160_API void Set_cnt_src(int32_t axis, uint16_t source);
/** Sets SD enable (enable == 1), SD logic (logic == 1) and the SD mode option bit (option non-zero); negative axes are ignored. */
KPX4160_API void Set_sd_logic(int32_t axis, int32_t logic, int32_t option, int32_t enable);
/** Sets the SD stop mode bit (set for mode 0); negative axes are ignored. */
KPX4160_API void Set_sd_stop_mode(int32_t axis, int32_t mode);
/** Configures the ALM input as k4160_config_ALM_PIN(axis, logic, mode). */
KPX4160_API void Set_alm_logic(int32_t axis, int32_t logic, int32_t mode);
/** Switches the ERC output on (non-zero: mode 3, logic 0, codes 7 and 1) or off. */
KPX4160_API void Set_erc_enable(int32_t axis, int32_t enable);
/** Configures the INP input as k4160_config_INP_PIN(axis, enable, logic). */
KPX4160_API void Set_inp_logic(int32_t axis, int32_t logic, int32_t enable);
/** Sets the home mode, the HOME logic (filtered) and the EZ logic; the fourth argument is ignored. */
KPX4160_API void Set_home_config(int32_t axis, int32_t home_mode, int32_t home_logic, int32_t unused, int32_t ez_logic);
/** Starts a continuous trapezoidal move at |v|; negative v runs in the negative direction. */
KPX4160_API void V_move(int32_t axis, double s, double v, double t);
/** Starts a continuous S-curve move at |v| with S time p; negative v runs in the negative direction. */
KPX4160_API void Sv_move(int32_t axis, double s, double v, double t, double p);
/** Starts a home search at |v|; negative v searches in the negative direction. */
KPX4160_API void Home_move(int32_t axis, double s, double v, double t);
/** Changes the speed of the running move to |speed|. */
KPX4160_API void V_change(int32_t axis, double speed);
/** Starts a trapezoidal move to an absolute position. */
KPX4160_API void Start_a_move(int32_t axis, double position, double s, double v, double t);
/** Moves to an absolute position (trapezoidal) and waits until the axis is done. */
KPX4160_API void A_move(int32_t axis, double position, double s, double v, double t);
/** Starts a trapezoidal move by a relative distance. */
KPX4160_API void Start_r_move(int32_t axis, double distance, double s, double v, double t);
/** Moves by a relative distance (trapezoidal) and waits until the axis is done. */
KPX4160_API void R_move(int32_t axis, double distance, double s, double v, double t);
/** Starts an S-curve move to an absolute position. */
KPX4160_API void Start_s_move(int32_t axis, double position, double s, double v, double t, double p);
/** Moves to an absolute position (S-curve) and waits until the axis is done. */
KPX4160_API void S_move(int32_t axis, double position, double s, double v, double t, double p);
/** Starts an S-curve move by a relative distance. */
KPX4160_API void Start_rs_move(int32_t axis, double distance, double s, double v, double t, double p);
/** Moves by a relative distance (S-curve) and waits until the axis is done. */
KPX4160_API void Rs_move(int32_t axis, double distance, double s, double v, double t, double p);
/** Starts a line of the card's two axes to the absolute position (x, y) at the vector profile. */
KPX4160_API void Start_move_xy(int32_t card, double x, double y);
/** Runs a line of the card's two axes to (x, y) and waits until both are done. */
KPX4160_API void Move_xy(int32_t card, double x, double y);
/** Decelerates the axis to a stop within time seconds. */
KPX4160_API void Decel_stop(int32_t axis, double time);
/** Returns 1 when the axis is done, else 0. */
KPX4160_API uint16_t Motion_done(int32_t axis);
/** Waits until the axis is done. */
KPX4160_API void Wait_for_done(int32_t axis);
/** Returns the axis's position: the encoder count if its count source is non-zero, else the command position. */
KPX4160_API double Get_position(int32_t axis);
/** Presets the counter chosen by the count source to the truncated position. */
KPX4160_API void Set_position(int32_t axis, double position);
/** Returns the command position, whatever the count source. */
KPX4160_API double Get_command(int32_t axis);
/** Presets the command position, whatever the count source. */
KPX4160_API void Set_command(int32_t axis, double position);
/** Runs a bare constant-speed point move of distance pulses at speed (in steps of 600 pulses/s), without profile. */
KPX4160_API void vtr_test_move(uint16_t axis, uint16_t speed, uint32_t distance);
/* @@end legacy */

#ifdef __cplusplus
} /* extern "C" */

/* ---- Exports with C++ linkage (type-decorated names) --------------------- */
/* @@section cxx-motion */
/** Older fixed-range computation: unit = trunc(min(speed, 6553600)) / 16384 + 1 (not a whole number) and a magnification derived from it, no table lookup, no register write; same refusals as k4160_variety_speed_range; axis numbers of 30 and above are ignored. */
KPX4160_CXX_API void k4160_variety_speed_range_org(unsigned short axis, unsigned short mode, double speed);
/** Continuous move started without a ramp (command 0x50), direction 1 positive, 0 negative (above 1: nothing); axis numbers of 30 and above are ignored. */
KPX4160_CXX_API void MOTION_default_const_vmove(unsigned short axis, unsigned short direction);
/* @@end cxx-motion */

/* @@section cxx-units */
/** Older call kept for applications written for it: the card needs no base address from the application; ignores card, does nothing and returns 1. */
KPX4160_CXX_API int32_t Get_board_base(int card);
/* @@end cxx-units */

/* @@section cxx-legacy */
/** Older interrupt status query; always 0. */
KPX4160_CXX_API long Get_int_status(int card);
/** Older interrupt channel query; always 0. */
KPX4160_CXX_API int Get_irq_channel(int card);
/** Older interrupt status query; always 0. */
KPX4160_CXX_API int Get_irq_status(int card);
/** Older output status query; always 0. */
KPX4160_CXX_API int Get_out_status(int card);
/** Older interrupt control; does nothing. */
KPX4160_CXX_API void Set_int_control(int card, int value);
/** Older interrupt disable; does nothing (use k4160_set_int_disable). */
KPX4160_CXX_API void Set_int_disable(int card);
/** Older interrupt enable; does nothing (use k4160_set_int_enable). */
KPX4160_CXX_API void Set_int_enable(int card, void **handler);
/** Older interrupt factor setting; does nothing (use k4160_set_int_factor). */
KPX4160_CXX_API void Set_int_factor(int card, long factor);
/* @@end cxx-legacy */
#endif

#endif /* KPX4160_H */
