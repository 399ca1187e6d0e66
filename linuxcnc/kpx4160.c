/*
 * kpx4160: LinuxCNC HAL driver of the KPX4160 pulse-train cards.
 *
 * Every axis of the open cards follows its position-cmd pin with the chip's
 * own motion: a continuous move in the direction of travel whose running
 * speed is rewritten each servo period from the commanded velocity plus a
 * proportional correction of the position error. The chip ramps between
 * speeds with the axis's acceleration, so the pulse train stays smooth even
 * when a period comes late (this is not always a real-time host). Near the
 * target the move ramps down to the start speed and stops at once there.
 * linuxcnc/README.md explains why this beats queued point moves.
 *
 * The library is opened at load time with dlopen (module parameter lib=), so
 * the same module drives real cards (libkpx4160.so.1) or simulated ones
 * (the path of libkpx4160_sim.so.1). Every card access goes through the
 * library's calls, which take its register lock themselves.
 */
#include "rtapi.h"
#include "rtapi_app.h"
#include "hal.h"

#include <dlfcn.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include "kpx4160.h"

MODULE_AUTHOR("kpx4160 developers");
MODULE_DESCRIPTION("HAL driver of the KPX4160 pulse-train motion cards");
MODULE_LICENSE("GPL");

static char *lib = "libkpx4160.so.1";
RTAPI_MP_STRING(lib, "library to open: libkpx4160.so.1 (real cards) or the path of libkpx4160_sim.so.1");
static int axes = -1;
RTAPI_MP_INT(axes, "number of axes to export (default, or 0: both axes of every open card)");

#define MAX_AXES 30      /* the library addresses 15 cards of two axes */
#define INPUTS 20        /* general-purpose inputs and outputs per card, numbered 1-20 */
#define OUTPUTS 20

/* Input signals in the chip's sub-status word (k4160_axis_io_status). */
#define SUB_ALM (1u << 8)   /* servo alarm */
#define SUB_PEL (1u << 9)   /* +EL end limit */
#define SUB_MEL (1u << 10)  /* -EL end limit */
#define SUB_HOME (1u << 11) /* home (ORG) switch */
#define SUB_INP (1u << 13)  /* servo in position, where the simulated card reports it too */

/* Every library function the driver calls, resolved by name at load time. */
#define KPX_FUNCTIONS(X)                                                                     \
  X(k4160_board_init) X(k4160_board_close) X(k4160_get_error_text)                           \
  X(k4160_variety_speed_range) X(k4160_set_profile) X(k4160_t_vmove) X(k4160_change_speed)  \
  X(k4160_decel_stop) X(k4160_imd_stop) X(k4160_check_done) X(k4160_read_current_speed)     \
  X(k4160_get_position) X(k4160_get_encoder) X(k4160_axis_io_status)                      \
  X(k4160_read_inport) X(k4160_write_outport) X(k4160_write_SEVON_PIN)

static struct {
  void *handle;
#define KPX_POINTER(f) __typeof__(&f) f;
  KPX_FUNCTIONS(KPX_POINTER)
#undef KPX_POINTER
} k;

enum motion_state { AXIS_IDLE, AXIS_RUNNING, AXIS_STOPPING };

typedef struct {
  /* pins */
  hal_float_t *position_cmd, *position_fb, *velocity_fb;
  hal_bit_t *enable, *servo_on;
  hal_bit_t *limit_plus, *limit_minus, *home, *alarm, *in_position;
  hal_s32_t *counts;
  /* parameters */
  hal_float_t position_scale, encoder_scale, maxvel, maxaccel, p_gain;
  hal_bit_t use_encoder;
  /* driver state */
  int state, direction, was_enabled, servo_written;
  double last_cmd, unit, ramp_time, loaded_maxvel, loaded_maxaccel, loaded_scale;
  uint16_t io;
} axis_t;

typedef struct {
  hal_bit_t *in[INPUTS], *in_not[INPUTS], *out[OUTPUTS], *estop;
  uint32_t written;
  int outputs_known;
} card_t;

static int comp_id;
static int n_axes, n_cards;
static axis_t *ax;
static card_t *cards;

static double abs_scale(double s) { return fabs(s) > 1e-12 ? fabs(s) : 1.0; }

/* Fixes the axis's speed range at its maximum speed (a running speed can
 * then be rewritten) and loads a trapezoidal ramp from the lowest speed of
 * that range to the maximum at maxaccel. */
static void load_profile(uint16_t n, axis_t *a) {
  double s = abs_scale(a->position_scale);
  double vmax = a->maxvel * s, acc = a->maxaccel * s;
  if (!(vmax >= 1.0)) vmax = 1.0;
  /* the speed unit of the range the library picks for this maximum */
  a->unit = vmax <= 16383 ? 1 : vmax <= 163830 ? 10 : vmax <= 819150 ? 50 : vmax <= 3276600 ? 200 : vmax <= 6553200 ? 400 : 600;
  k.k4160_variety_speed_range(n, 1, vmax);
  a->ramp_time = acc > 0 ? (vmax - a->unit) / acc : 0.0;
  k.k4160_set_profile(n, a->unit, vmax, a->ramp_time, a->ramp_time);
  a->loaded_maxvel = a->maxvel;
  a->loaded_maxaccel = a->maxaccel;
  a->loaded_scale = a->position_scale;
}

static void read_axis(uint16_t n, axis_t *a) {
  int32_t pulses = k.k4160_get_position(n);
  *a->counts = pulses;
  if (a->use_encoder) {
    double es = fabs(a->encoder_scale) > 1e-12 ? a->encoder_scale : a->position_scale;
    *a->position_fb = k.k4160_get_encoder(n) / (fabs(es) > 1e-12 ? es : 1.0);
  } else {
    *a->position_fb = pulses / (fabs(a->position_scale) > 1e-12 ? a->position_scale : 1.0);
  }
  double speed = a->state == AXIS_IDLE ? 0.0 : k.k4160_read_current_speed(n);
  *a->velocity_fb = speed == 0.0 ? 0.0 : a->direction * speed / (fabs(a->position_scale) > 1e-12 ? a->position_scale : 1.0);
  a->io = k.k4160_axis_io_status(n);
  *a->limit_plus = (a->io & SUB_PEL) != 0;
  *a->limit_minus = (a->io & SUB_MEL) != 0;
  *a->home = (a->io & SUB_HOME) != 0;
  *a->alarm = (a->io & SUB_ALM) != 0;
  *a->in_position = (a->io & SUB_INP) != 0;
}

static void stop_axis(uint16_t n, axis_t *a) {
  if (a->state == AXIS_RUNNING) {
    k.k4160_decel_stop(n, a->ramp_time);  /* the time of the whole ramp: the rate of maxaccel */
    a->state = AXIS_STOPPING;
  }
  if (a->state == AXIS_STOPPING && k.k4160_check_done(n)) a->state = AXIS_IDLE;
}

/* One servo period of one axis: the speed the chip should run at now. */
static void write_axis(uint16_t n, axis_t *a, int card_stopped, double period_s) {
  double cmd = *a->position_cmd;
  if (card_stopped && a->state != AXIS_IDLE) {  /* emergency stop: at once */
    k.k4160_imd_stop(n);
    a->state = AXIS_IDLE;
  }
  if (!*a->enable || card_stopped) {
    a->was_enabled = 0;
    a->last_cmd = cmd;
    stop_axis(n, a);
    return;
  }
  if (!a->was_enabled || (a->state == AXIS_IDLE && (a->maxvel != a->loaded_maxvel || a->maxaccel != a->loaded_maxaccel ||
                                                    a->position_scale != a->loaded_scale))) {
    if (a->state != AXIS_IDLE) {
      stop_axis(n, a);
      return;
    }
    load_profile(n, a);
    a->last_cmd = cmd;
    a->was_enabled = 1;
  }
  if (a->state == AXIS_STOPPING) {
    stop_axis(n, a);
    a->last_cmd = cmd;
    return;
  }

  double s = a->position_scale, vmax = a->maxvel * abs_scale(s);
  double err = (cmd - *a->position_fb) * s;            /* pulses still to go */
  double ff = (cmd - a->last_cmd) * s / period_s;      /* commanded speed, pulses/s */
  a->last_cmd = cmd;
  /* The correction never asks for more speed than the chip can take off
   * over the distance left at maxaccel, so a jump of the command (homing,
   * a changed offset) ends on target instead of overshooting. */
  double corr = a->p_gain * err, reach = sqrt(2.0 * a->maxaccel * abs_scale(s) * fabs(err));
  if (fabs(corr) > reach) corr = copysign(reach, corr);
  double want = ff + corr;
  if (want > vmax) want = vmax;
  if (want < -vmax) want = -vmax;

  if (a->state == AXIS_RUNNING && k.k4160_check_done(n)) a->state = AXIS_IDLE;  /* a limit or alarm stopped it */
  if (a->state == AXIS_IDLE) {
    if (fabs(err) < 1.0) return;  /* within a pulse: hold */
    a->direction = want > 0 || (want == 0 && err > 0) ? 1 : -1;
    k.k4160_t_vmove(n, a->direction > 0 ? 1 : 0);
    k.k4160_change_speed(n, fabs(want));
    a->state = AXIS_RUNNING;
    return;
  }
  /* Running: keep going while the target is still ahead, else ramp down to
   * the start speed and stop there (a step the motor takes by definition). */
  int arrived = a->direction * err < 0.5 && fabs(ff) < a->unit;
  if (a->direction * want > 0 && !arrived) {
    k.k4160_change_speed(n, fabs(want));
  } else if (k.k4160_read_current_speed(n) <= a->unit * 1.5) {
    k.k4160_imd_stop(n);
    a->state = AXIS_IDLE;
  } else {
    k.k4160_change_speed(n, 0.0);
  }
}

static void read_all(void *arg, long period) {
  (void)arg;
  (void)period;
  for (int n = 0; n < n_axes; n++) read_axis((uint16_t)n, &ax[n]);
  for (int c = 0; c < n_cards; c++) {
    uint32_t inputs = k.k4160_read_inport((uint16_t)c);
    for (int i = 0; i < INPUTS; i++) {
      *cards[c].in[i] = (inputs >> i) & 1u;
      *cards[c].in_not[i] = !*cards[c].in[i];
    }
  }
}

static void write_all(void *arg, long period) {
  (void)arg;
  double period_s = period > 0 ? period * 1e-9 : 1e-3;
  for (int n = 0; n < n_axes; n++) {
    axis_t *a = &ax[n];
    write_axis((uint16_t)n, a, *cards[n / 2].estop, period_s);
    if (a->servo_written != (*a->servo_on ? 1 : 0)) {
      a->servo_written = *a->servo_on ? 1 : 0;
      k.k4160_write_SEVON_PIN((uint16_t)n, (uint16_t)a->servo_written);
    }
  }
  for (int c = 0; c < n_cards; c++) {
    uint32_t outputs = 0;
    for (int i = 0; i < OUTPUTS; i++) outputs |= (*cards[c].out[i] ? 1u : 0u) << i;
    if (!cards[c].outputs_known || outputs != cards[c].written) {  /* a port write is seven accesses */
      k.k4160_write_outport((uint16_t)c, outputs);
      cards[c].written = outputs;
      cards[c].outputs_known = 1;
    }
  }
}

static int open_library(void) {
  k.handle = dlopen(lib, RTLD_NOW | RTLD_GLOBAL);
  if (!k.handle) {
    rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160: cannot open %s: %s\n", lib, dlerror());
    return -1;
  }
#define KPX_RESOLVE(f)                                                                      \
  *(void **)&k.f = dlsym(k.handle, #f);                                                     \
  if (!k.f) {                                                                               \
    rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160: %s has no %s: is it the KPX4160 library?\n", lib, #f); \
    return -1;                                                                              \
  }
  KPX_FUNCTIONS(KPX_RESOLVE)
#undef KPX_RESOLVE
  return 0;
}

static int open_cards(void) {
  uint32_t found = k.k4160_board_init();
  if (found == 0 || found > 1000) {
    char why[256] = "";
    k.k4160_get_error_text(why, sizeof why);
    why[strcspn(why, "\n")] = '\0';
    if (found > 1000)
      rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160: card %u did not open: %s\n", found - 1001, why);
    else
      rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160: no KPX4160 card found: %s\n", why[0] ? why : "none on the bus");
    k.k4160_board_close();
    return -1;
  }
  n_axes = 2 * (int)found;
  if (n_axes > MAX_AXES) n_axes = MAX_AXES;
  if (axes > 0 && axes < n_axes) n_axes = axes;
  n_cards = (n_axes + 1) / 2;
  return 0;
}

static int export_axis(int n, axis_t *a) {
  int r = 0;
  r |= hal_pin_float_newf(HAL_IN, &a->position_cmd, comp_id, "kpx4160.%d.position-cmd", n);
  r |= hal_pin_float_newf(HAL_OUT, &a->position_fb, comp_id, "kpx4160.%d.position-fb", n);
  r |= hal_pin_float_newf(HAL_OUT, &a->velocity_fb, comp_id, "kpx4160.%d.velocity-fb", n);
  r |= hal_pin_s32_newf(HAL_OUT, &a->counts, comp_id, "kpx4160.%d.counts", n);
  r |= hal_pin_bit_newf(HAL_IN, &a->enable, comp_id, "kpx4160.%d.enable", n);
  r |= hal_pin_bit_newf(HAL_IN, &a->servo_on, comp_id, "kpx4160.%d.servo-on", n);
  r |= hal_pin_bit_newf(HAL_OUT, &a->limit_plus, comp_id, "kpx4160.%d.limit-plus", n);
  r |= hal_pin_bit_newf(HAL_OUT, &a->limit_minus, comp_id, "kpx4160.%d.limit-minus", n);
  r |= hal_pin_bit_newf(HAL_OUT, &a->home, comp_id, "kpx4160.%d.home", n);
  r |= hal_pin_bit_newf(HAL_OUT, &a->alarm, comp_id, "kpx4160.%d.alarm", n);
  r |= hal_pin_bit_newf(HAL_OUT, &a->in_position, comp_id, "kpx4160.%d.in-position", n);
  r |= hal_param_float_newf(HAL_RW, &a->position_scale, comp_id, "kpx4160.%d.position-scale", n);
  r |= hal_param_float_newf(HAL_RW, &a->encoder_scale, comp_id, "kpx4160.%d.encoder-scale", n);
  r |= hal_param_bit_newf(HAL_RW, &a->use_encoder, comp_id, "kpx4160.%d.use-encoder", n);
  r |= hal_param_float_newf(HAL_RW, &a->maxvel, comp_id, "kpx4160.%d.maxvel", n);
  r |= hal_param_float_newf(HAL_RW, &a->maxaccel, comp_id, "kpx4160.%d.maxaccel", n);
  r |= hal_param_float_newf(HAL_RW, &a->p_gain, comp_id, "kpx4160.%d.p-gain", n);
  a->position_scale = 1000.0;
  a->maxvel = 10.0;
  a->maxaccel = 100.0;
  a->p_gain = 50.0;
  a->servo_written = -1;
  return r;
}

static int export_card(int c, card_t *card) {
  int r = 0;
  for (int i = 0; i < INPUTS; i++) {
    r |= hal_pin_bit_newf(HAL_OUT, &card->in[i], comp_id, "kpx4160.card.%d.in-%02d", c, i + 1);
    r |= hal_pin_bit_newf(HAL_OUT, &card->in_not[i], comp_id, "kpx4160.card.%d.in-%02d-not", c, i + 1);
  }
  for (int i = 0; i < OUTPUTS; i++)
    r |= hal_pin_bit_newf(HAL_IN, &card->out[i], comp_id, "kpx4160.card.%d.out-%02d", c, i + 1);
  r |= hal_pin_bit_newf(HAL_IN, &card->estop, comp_id, "kpx4160.card.%d.emergency-stop", c);
  return r;
}

static void close_library(void) {
  if (!k.handle) return;
  if (k.k4160_board_close && n_axes > 0) k.k4160_board_close();
  dlclose(k.handle);
  k.handle = NULL;
}

int rtapi_app_main(void) {
  comp_id = hal_init("kpx4160");
  if (comp_id < 0) return comp_id;
  if (open_library() != 0 || open_cards() != 0) {
    n_axes = 0;
    close_library();
    hal_exit(comp_id);
    return -1;
  }
  ax = hal_malloc(n_axes * sizeof *ax);
  cards = hal_malloc(n_cards * sizeof *cards);
  if (!ax || !cards) goto fail;
  memset(ax, 0, n_axes * sizeof *ax);
  memset(cards, 0, n_cards * sizeof *cards);
  for (int n = 0; n < n_axes; n++)
    if (export_axis(n, &ax[n]) != 0) goto fail;
  for (int c = 0; c < n_cards; c++)
    if (export_card(c, &cards[c]) != 0) goto fail;
  if (hal_export_funct("kpx4160.read", read_all, NULL, 1, 0, comp_id) != 0 ||
      hal_export_funct("kpx4160.write", write_all, NULL, 1, 0, comp_id) != 0)
    goto fail;
  rtapi_print_msg(RTAPI_MSG_INFO, "kpx4160: %d axes on %d cards through %s\n", n_axes, n_cards, lib);
  hal_ready(comp_id);
  return 0;
fail:
  rtapi_print_msg(RTAPI_MSG_ERR, "kpx4160: cannot export the pins and functions\n");
  close_library();
  hal_exit(comp_id);
  return -1;
}

void rtapi_app_exit(void) {
  close_library();
  hal_exit(comp_id);
}
