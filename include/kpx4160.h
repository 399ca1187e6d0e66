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

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Board open, reset and close ---------------------------------------- */

/** Finds and opens every card; returns the card count (0: none), or 1001 + card when opening that card failed (the cards before it stay open; call k4160_board_close). At most 16 cards are opened: a scan reporting more counts as 16 cards. */
KPX4160_API uint32_t k4160_board_init(void);
/** Resets the pulse chips of every open card and rewrites their basic signal configuration, speed range and pulse equivalent. */
KPX4160_API void k4160_board_rest(void);
/** Same as k4160_board_rest(). */
KPX4160_API void k4160_board_reset(void);
/** Matches one k4160_board_init(); the last one emergency-stops every card and releases it. */
KPX4160_API void k4160_board_close(void);

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

/* @@section speed-profiles */
/* @@end speed-profiles */

/* @@section moves */
/* @@end moves */

/* @@section stops-status */
/* @@end stops-status */

/* @@section home-handwheel */
/* @@end home-handwheel */

/* @@section interpolation */
/* @@end interpolation */

/* @@section sync */
/* @@end sync */

/* @@section pulse-encoder */
/* @@end pulse-encoder */

/* @@section signals */
/* @@end signals */

/* @@section gpio */
/* @@end gpio */

/* @@section compare-latch */
/* @@end compare-latch */

/* @@section interrupts */
/* @@end interrupts */

/* @@section units */
/* @@end units */

/* @@section legacy */
/* ---- Older command set ----------------------------------------------------
 * Axis numbers are signed; the functions that call the main interface pass
 * the low 16 bits on. Positions and distances are truncated toward zero to
 * whole pulses. The blocking moves poll for done every millisecond, with no
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
/* @@end cxx-motion */

/* @@section cxx-units */
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
