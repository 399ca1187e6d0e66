/*
 * kpx4160sim: the machine around simulated KPX4160 cards, for LinuxCNC
 * configurations and tests that run without the hardware.
 *
 * Load it before kpx4160, with the same library path (dlopen hands both the
 * same simulated bus). It puts end-limit switches and a home switch on every
 * chip axis, feeds the general inputs and the alarm inputs from pins, shows
 * the card's output register, puts encoders on the motors, and keeps the simulator's motion log, written
 * as CSV when the module unloads.
 *
 * The simulated chip's own home switch is active at exactly one position,
 * which a servo loop polling every period cannot catch at speed. A real home
 * switch is a cam over some length of travel; this component models that:
 * HOME is active while the logical position lies in
 * [home-position, home-position + home-width], evaluated every period.
 */
#include "rtapi.h"
#include "rtapi_app.h"
#include "hal.h"

#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

#include "kpx4160_sim.h"

MODULE_AUTHOR("kpx4160 developers");
MODULE_DESCRIPTION("Switches, inputs and motion log of simulated KPX4160 cards");
MODULE_LICENSE("GPL");

static char *lib = "";
RTAPI_MP_STRING(lib, "path of libkpx4160_sim.so.1 (the same as kpx4160's lib=)");
static int cards = 1;
RTAPI_MP_INT(cards, "number of simulated cards on the bus, 0 for none (load this component before kpx4160)");
static char *log_csv = "";
RTAPI_MP_STRING(log_csv, "CSV file the motion log is written to at unload (empty: no log)");
static int log_ms = 5;
RTAPI_MP_INT(log_ms, "motion log interval in milliseconds");

#define MAX_CARDS 15
#define PLD_INPUT_PORT 0x4C  /* inputs 1-16 */
#define PLD_OUTPUT_PORT 0x44 /* outputs 1-14 and servo-on, active low */
#define SUB_IN_LOW 0         /* sub-status bit of inputs 17/18 (chip axis 0/1) */
#define SUB_IN_HIGH 2        /* sub-status bit of inputs 19/20 */
#define SUB_ALM (1u << 8)
#define SUB_HOME (1u << 11)

#define SIM_FUNCTIONS(X)                                                                        \
  X(kpx4160_sim_set_card_count) X(kpx4160_sim_set_limit_switches) X(kpx4160_sim_set_sub_status) \
  X(kpx4160_sim_set_pld_register) X(kpx4160_sim_get_pld_register) X(kpx4160_sim_get_axis_state)  \
  X(kpx4160_sim_log_start) X(kpx4160_sim_log_stop) X(kpx4160_sim_log_write_csv) X(kpx4160_sim_set_encoder)

static struct {
  void *handle;
#define SIM_POINTER(f) __typeof__(&f) f;
  SIM_FUNCTIONS(SIM_POINTER)
#undef SIM_POINTER
} s;

typedef struct {
  hal_s32_t limit_minus, limit_plus, home_position;
  hal_u32_t home_width;
  hal_float_t encoder_ratio;
  double applied_ratio;
  hal_bit_t limits_on, home_on;
  hal_bit_t *alarm;
  int32_t applied_minus, applied_plus;
  int applied_on;
  uint16_t sub_status;
} sim_axis_t;

typedef struct {
  hal_u32_t *inputs, *output_register;
  uint32_t applied_inputs;
} sim_card_t;

static int comp_id;
static sim_axis_t *axis;
static sim_card_t *card;

static void apply_axis(unsigned c, unsigned a, sim_axis_t *x, uint32_t inputs) {
  if (x->limits_on != x->applied_on || x->limit_minus != x->applied_minus || x->limit_plus != x->applied_plus) {
    s.kpx4160_sim_set_limit_switches(c, a, x->limit_minus, x->limit_plus, x->limits_on);
    x->applied_on = x->limits_on;
    x->applied_minus = x->limit_minus;
    x->applied_plus = x->limit_plus;
  }
  if (x->encoder_ratio != x->applied_ratio) {
    s.kpx4160_sim_set_encoder(c, a, x->encoder_ratio);
    x->applied_ratio = x->encoder_ratio;
  }
  uint16_t sub = 0;
  sub |= ((inputs >> (16 + a)) & 1u) << SUB_IN_LOW;
  sub |= ((inputs >> (18 + a)) & 1u) << SUB_IN_HIGH;
  if (*x->alarm) sub |= SUB_ALM;
  kpx4160_sim_axis_state st;
  if (x->home_on && s.kpx4160_sim_get_axis_state(c, a, &st) == 0) {
    int64_t from = x->home_position, to = from + (int64_t)x->home_width;
    if (st.position >= from && st.position <= to) sub |= SUB_HOME;
  }
  if (sub != x->sub_status) {
    s.kpx4160_sim_set_sub_status(c, a, sub);
    x->sub_status = sub;
  }
}

static void update(void *arg, long period) {
  (void)arg;
  (void)period;
  for (int c = 0; c < cards; c++) {
    uint32_t inputs = *card[c].inputs;
    if (inputs != card[c].applied_inputs) {
      s.kpx4160_sim_set_pld_register((unsigned)c, PLD_INPUT_PORT, inputs & 0xFFFFu);
      card[c].applied_inputs = inputs;
    }
    for (unsigned a = 0; a < 2; a++) apply_axis((unsigned)c, a, &axis[2 * c + a], inputs);
    *card[c].output_register = s.kpx4160_sim_get_pld_register((unsigned)c, PLD_OUTPUT_PORT);
  }
}

static int open_library(void) {
  s.handle = lib[0] ? dlopen(lib, RTLD_NOW | RTLD_GLOBAL) : NULL;
  if (!s.handle) {
    rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160sim: cannot open the simulated library '%s': %s\n", lib,
                    lib[0] ? dlerror() : "give its path with lib=");
    return -1;
  }
#define SIM_RESOLVE(f)                                                                                  \
  *(void **)&s.f = dlsym(s.handle, #f);                                                                 \
  if (!s.f) {                                                                                           \
    rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160sim: %s has no %s: is it the simulated library?\n", lib, #f); \
    return -1;                                                                                          \
  }
  SIM_FUNCTIONS(SIM_RESOLVE)
#undef SIM_RESOLVE
  return 0;
}

static int export_pins(void) {
  int r = 0;
  for (int c = 0; c < cards; c++) {
    r |= hal_pin_u32_newf(HAL_IN, &card[c].inputs, comp_id, "kpx4160sim.card.%d.inputs", c);
    r |= hal_pin_u32_newf(HAL_OUT, &card[c].output_register, comp_id, "kpx4160sim.card.%d.output-register", c);
    card[c].applied_inputs = 0xFFFFFFFFu;
  }
  for (int n = 0; n < 2 * cards; n++) {
    sim_axis_t *x = &axis[n];
    r |= hal_param_s32_newf(HAL_RW, &x->limit_minus, comp_id, "kpx4160sim.%d.limit-minus", n);
    r |= hal_param_s32_newf(HAL_RW, &x->limit_plus, comp_id, "kpx4160sim.%d.limit-plus", n);
    r |= hal_param_bit_newf(HAL_RW, &x->limits_on, comp_id, "kpx4160sim.%d.limits-on", n);
    r |= hal_param_s32_newf(HAL_RW, &x->home_position, comp_id, "kpx4160sim.%d.home-position", n);
    r |= hal_param_u32_newf(HAL_RW, &x->home_width, comp_id, "kpx4160sim.%d.home-width", n);
    r |= hal_param_bit_newf(HAL_RW, &x->home_on, comp_id, "kpx4160sim.%d.home-on", n);
    r |= hal_pin_bit_newf(HAL_IN, &x->alarm, comp_id, "kpx4160sim.%d.alarm", n);
    r |= hal_param_float_newf(HAL_RW, &x->encoder_ratio, comp_id, "kpx4160sim.%d.encoder-ratio", n);
    x->sub_status = 0xFFFF;  /* written on the first period */
  }
  return r;
}

int rtapi_app_main(void) {
  if (cards < 0 || cards > MAX_CARDS) {
    rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160sim: cards=%d is outside 0..%d\n", cards, MAX_CARDS);
    return -1;
  }
  comp_id = hal_init("kpx4160sim");
  if (comp_id < 0) return comp_id;
  if (open_library() != 0) goto fail;
  s.kpx4160_sim_set_card_count((unsigned)cards);
  axis = hal_malloc((2 * cards + 1) * sizeof *axis);  /* + 1: an empty bus still gets a block */
  card = hal_malloc((cards + 1) * sizeof *card);
  if (!axis || !card) goto fail;
  memset(axis, 0, 2 * cards * sizeof *axis);
  memset(card, 0, cards * sizeof *card);
  if (export_pins() != 0 || hal_export_funct("kpx4160sim.update", update, NULL, 0, 0, comp_id) != 0) goto fail;
  if (log_csv[0] && s.kpx4160_sim_log_start((log_ms > 0 ? log_ms : 5) * 1e-3) != 0) goto fail;
  hal_ready(comp_id);
  return 0;
fail:
  if (s.handle) dlclose(s.handle);
  s.handle = NULL;
  hal_exit(comp_id);
  return -1;
}

void rtapi_app_exit(void) {
  if (s.handle && log_csv[0]) {
    s.kpx4160_sim_log_stop();
    if (s.kpx4160_sim_log_write_csv(log_csv) != 0)
      rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160sim: cannot write the motion log to %s\n", log_csv);
  }
  if (s.handle) dlclose(s.handle);
  hal_exit(comp_id);
}
