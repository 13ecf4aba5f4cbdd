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

/* Copies up to `count` words of the fuse array (word 0 is the header).
 * Non-zero while the link is closed. */
XOLT_API int32_t xolt_sim_read_fuses(uint32_t *words, uint32_t count);

#ifdef __cplusplus
}
#endif

#endif /* XOLT_XOLT_SIM_H */
