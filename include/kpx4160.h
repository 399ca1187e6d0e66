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
/** Matches one k4160_board_init(); the last one emergency-stops every card, stops every interrupt thread (waiting for it) and releases the cards. Ignored when called from an interrupt callback. */
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
/* Each card raises one PCI interrupt. While a card's interrupts are enabled,
 * one library thread per card waits for them; for every interrupt it
 * acknowledges the card (PCI configuration word 0x48), reads the error and
 * event causes and the main status of chip axis 0 of card 0 (whichever card
 * interrupted; the values are not kept), and then calls the callback set with
 * k4160_set_board_isr(). */

/** Application interrupt callback: called on the card's interrupt thread with the number of the card that interrupted. */
typedef void (*k4160_board_isr_t)(uint16_t card);

/** Acknowledges the card's interrupt, reads chip axis 0's causes and starts the card's interrupt thread; returns 0 when started, -1 when it was already running or could not start (driver refusal or no thread; nothing is left running). A card number with no open card (also 16 and above, or before k4160_board_init) returns -1 and touches nothing. Call it, k4160_set_int_disable and k4160_board_close from one application thread at a time; from the callback it returns -1 for a card whose thread has ended but was not yet freed. */
KPX4160_API int32_t k4160_set_int_enable(uint16_t card);
/** Writes 0 to every open card's interrupt control word and stops every card's interrupt thread, waiting for each to end. Called from the callback it does not wait: the threads end once the callback returns, and the next k4160_set_int_disable, k4160_set_int_enable or k4160_board_close from an application thread frees them. */
KPX4160_API void k4160_set_int_disable(void);
/** Sets the one callback of every card's interrupts (null: none). It is called on the interrupt thread after the acknowledge and the cause reads, with the card number; it may read and write registers but must not call k4160_board_close (ignored there). */
KPX4160_API void k4160_set_board_isr(k4160_board_isr_t callback);
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
/* @@end units */

/* @@section legacy */
/* @@end legacy */

#ifdef __cplusplus
} /* extern "C" */

/* ---- Exports with C++ linkage (type-decorated names) --------------------- */
/* @@section cxx-motion */
/* @@end cxx-motion */

/* @@section cxx-units */
/* @@end cxx-units */

/* @@section cxx-legacy */
/* @@end cxx-legacy */
#endif

#endif /* KPX4160_H */
