/*
 * Extras of the simulated board only (not part of the transport interface):
 * queries that tests and the board's debug tools use to look inside the chip
 * model. A real transport does not have them.
 */
#ifndef XOLT_XOLT_SIM_H
#define XOLT_XOLT_SIM_H

#include "xolt/xolt.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results of xolt_open that only the simulated board gives. */
/* Another process holds this board (the same fuse file) open. */
#define XOLT_SIM_ERR_BUSY (-7)
/* A board setting in the environment is malformed or out of range; the
 * board prints a line naming the variable on standard error. */
#define XOLT_SIM_ERR_SETTINGS (-8)

/* After xolt_open returned XOLT_SIM_ERR_BUSY: the process id of the holder
 * (0 when it cannot be told). 0 when the last open was not refused as busy.
 * Works with the link closed. */
XOLT_API int32_t xolt_sim_board_holder(void);

/* Copies up to `count` words of the fuse array (word 0 is the header).
 * Non-zero while the link is closed. */
XOLT_API int32_t xolt_sim_read_fuses(uint32_t *words, uint32_t count);

/* The calibration engine's log since the link opened: the number of
 * calibrations run, and run `i` (0 = the first): its RG_CAL_INDEX, the channel
 * the synthesizer was tuned to last (2.4 GHz 1-14, 5 GHz from 32; 0 if never
 * tuned) and how long it was active, in microseconds (so far, for a run still
 * active). Non-zero while the link is closed or for `i` past the end. */
XOLT_API int32_t xolt_sim_calibration_count(uint32_t *count);
XOLT_API int32_t xolt_sim_calibration_at(uint32_t i, uint32_t *index, uint32_t *channel, uint32_t *active_us);

/* The receive error model's packet error rate (0 to 1) under the current
 * rate word and frequency-offset trim. Non-zero while the link is closed. */
XOLT_API int32_t xolt_sim_packet_error_rate(double *rate);

/* The die temperature in degC, before the sensor's quantisation. Non-zero
 * while the link is closed. */
XOLT_API int32_t xolt_sim_die_temperature(double *celsius);

/* Output amplitude (in RX IQ analysis units, ro_am) of the power amplifier of
 * `channel`'s band (channels below 15 are 2.4 GHz) at tone drive `drive`
 * (RG_TX_SCALE units), without noise. A property of the board's model: works
 * with the link closed. */
XOLT_API double xolt_sim_pa_amplitude(uint32_t channel, double drive);

/* Register accesses (single and burst words) the board has carried since
 * it was loaded; works with the link closed. */
XOLT_API uint64_t xolt_sim_access_count(void);

#ifdef __cplusplus
}
#endif

#endif /* XOLT_XOLT_SIM_H */
