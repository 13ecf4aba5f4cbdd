/*
 * velmo: RF function library for the Varimon dual-band Wi-Fi SoC.
 *
 * A flat C interface. Every export returns a signed 32-bit result, 0 for
 * success and -1 for failure unless stated otherwise. The library reaches
 * the chip only through the register entry points of the xolt transport,
 * which rf_init loads at run time (XOLT_LIBRARY, or the platform's default
 * transport file). Diagnostics are single lines on standard output, unless
 * the caller takes them with velmo_set_log_handler (below).
 *
 * The library keeps module-level state and is not re-entrant: call it from
 * one thread, one call at a time. velmo_set_log_handler and velmo_version
 * are the exceptions, as said at each.
 */
#ifndef VELMO_VELMO_H
#define VELMO_VELMO_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(VELMO_BUILDING)
#    define VELMO_API __declspec(dllexport)
#  else
#    define VELMO_API __declspec(dllimport)
#  endif
#else
#  define VELMO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Connection and register access ---------------------------------- */

/* Loads the transport and opens the link. selector: 4 = USB, 3 = SDIO.
 * 0 on success; -1 when loading, xolt_init or xolt_select fails; otherwise
 * the transport's own non-zero result of xolt_open. */
VELMO_API int32_t rf_init(int32_t selector);
/* -1 when no link is open; otherwise the result of xolt_close. */
VELMO_API int32_t rf_deinit(void);
/* Forward to the transport; -1 while no transport is loaded. */
VELMO_API int32_t xolt_read_reg(uint32_t address, uint32_t *value);
VELMO_API int32_t xolt_write_reg(uint32_t address, uint32_t value);
/* Why the last rf_init could not load the transport or found it without its
 * entry points, in plain words (the line the library printed after its
 * "ERROR: unable to load" or "ERROR: unable to find DLL api" line, without
 * "ERROR: "). Copies at most size - 1 bytes and a NUL into text (when text is
 * not null and size > 0) and returns the text's full length: 0 when the last
 * load succeeded or none was tried. */
VELMO_API int32_t velmo_transport_failure(char *text, int32_t size);

/* ---- eFuse store ----------------------------------------------------- */

VELMO_API int32_t rf_efuse_write_mac(uint8_t *mac);
VELMO_API int32_t rf_efuse_read_mac(uint8_t *mac);
VELMO_API int32_t rf_efuse_read_chip_id(uint32_t *chip_id);
VELMO_API int32_t rf_get_efuse_free_bits(void);
VELMO_API int32_t rf_efuse_write_tx_power1(int32_t high, int32_t low);
VELMO_API int32_t rf_efuse_read_tx_power1(uint8_t *high, uint8_t *low);
VELMO_API int32_t rf_efuse_write_tx_power2(int32_t high, int32_t low);
VELMO_API int32_t rf_efuse_read_tx_power2(uint8_t *high, uint8_t *low);
VELMO_API int32_t rf_efuse_write_rate_gain_b_n40(int32_t high, int32_t low);
VELMO_API int32_t rf_efuse_read_rate_gain_b_n40(uint8_t *high, uint8_t *low);
VELMO_API int32_t rf_efuse_write_rate_gain_g_n20(int32_t high, int32_t low);
VELMO_API int32_t rf_efuse_read_rate_gain_g_n20(uint8_t *high, uint8_t *low);
VELMO_API int32_t rf_efuse_write_xtal(int32_t value);
VELMO_API int32_t rf_efuse_read_xtal(uint8_t *value);
VELMO_API int32_t rf_efuse_write_vid(int32_t value);
VELMO_API int32_t rf_efuse_read_vid(uint16_t *value);
VELMO_API int32_t rf_efuse_write_pid(int32_t value);
VELMO_API int32_t rf_efuse_read_pid(uint16_t *value);
VELMO_API int32_t rf_read_efuse(uint32_t *address, uint32_t *value);
VELMO_API int32_t rf_chip_id(uint32_t *chip_id);

/* ---- Channel, rate and gain settings --------------------------------- */

VELMO_API int32_t rf_set_ch(int32_t channel);
VELMO_API int32_t rf_rate(uint32_t code);
VELMO_API int32_t rf_xtal_set(uint32_t index);
VELMO_API int32_t rf_gain(int32_t band, int32_t gain);
VELMO_API int32_t rf_dac_gain(uint32_t index);
VELMO_API int32_t rf_freq_offset(int32_t offset);
VELMO_API int32_t rf_brate_gain(uint32_t index);
VELMO_API int32_t rf_sb_txpatch(void);
VELMO_API int32_t rf_dcdc_onoff(uint8_t choice);

/* ---- TX/RX test control ---------------------------------------------- */

VELMO_API int32_t rf_tx_start(int32_t band, uint32_t pit);
VELMO_API int32_t rf_tx_stop(void);
VELMO_API int32_t tx_packet(int32_t mode, uint32_t *count);
VELMO_API int32_t rf_rx_start(int32_t band, int32_t mode);
VELMO_API int32_t rf_rx_stop(void);
VELMO_API int32_t rf_rxpkt(int32_t mode, uint32_t *errors, uint32_t *total);
VELMO_API int32_t rf_rxpkt_reset(int32_t mode);

/* ---- Calibration ------------------------------------------------------ */

VELMO_API int32_t rf_calibration(void);
VELMO_API int32_t rf_iqcal_manual(int32_t a, int32_t b);
VELMO_API int32_t rf_read_temperature(int32_t *celsius);

/* ---- Register table -------------------------------------------------- */

VELMO_API int32_t rf_load_register(void);
VELMO_API int32_t rf_load_phy(void);

/* ---- Power-amplifier pre-distortion ---------------------------------- */

VELMO_API int32_t rf_2g_5g_padpd_cali(int32_t enable);

/* ---- The library and its caller --------------------------------------- */

/* Receives one diagnostic line of the library: `line` is its UTF-8 text
 * without the line end ("rf_init -1 fails" for "rf_init -1 fails\n"; an
 * empty line is ""), valid only during the call; `context` is the pointer
 * given to velmo_set_log_handler. The handler runs on the thread of the
 * library call that printed the line, before that call returns. It must
 * not call the library's other exports, and must not throw. */
typedef void (*velmo_log_handler)(const char *line, void *context);

/* Sends the library's diagnostic lines to `handler` instead of standard
 * output, one call per line, with `context` passed through unchanged. A
 * null handler restores standard output, where the lines are printed and
 * flushed as before, byte for byte. Always 0.
 * May be called at any time, from any thread, also before rf_init: once it
 * returns, no line goes to the previous handler any more (a line being
 * handed to it is finished first). A handler may call it to replace
 * itself. */
VELMO_API int32_t velmo_set_log_handler(velmo_log_handler handler, void *context);

/* The transport file that rf_init loaded, as a UTF-8 path (the file the
 * system loaded, with its directory). Returns the path's length in bytes,
 * without the terminating NUL, and writes the path and a NUL into `buffer`
 * when `size` is greater than that length. When the buffer is too small it
 * writes only an empty string (when `size` > 0), never a cut path: call
 * again with the length + 1. `buffer` may be null when `size` is 0.
 * Returns 0 (and writes an empty string) while no transport is loaded:
 * before rf_init, after rf_deinit, and after an rf_init that could not load
 * it. Returns -1 for a negative `size`, or a null `buffer` with a `size`
 * other than 0. */
VELMO_API int32_t velmo_transport_path(char *buffer, int32_t size);

/* The library's version, "MAJOR.MINOR.PATCH" (the version of the package
 * it came in). The text is static: never freed, the same for every call.
 * May be called at any time, from any thread. */
VELMO_API const char *velmo_version(void);

#ifdef __cplusplus
}
#endif

#endif /* VELMO_VELMO_H */
