/*
 * xolt: the host-link transport that carries 32-bit register accesses to
 * the chip over USB or SDIO. velmo never links against it: rf_init loads the
 * transport file at run time and resolves these eleven entry points by name.
 *
 * Every entry point returns a signed 32-bit result; 0 means success.
 * A transport library (the simulated board, or a real one) implements all
 * eleven; loading fails when any one is missing.
 *
 * A transport may also export the optional entry point xolt_open_refusal
 * (below). The library neither needs nor resolves it; a program that wants
 * to explain a refused open looks it up by name in the loaded transport and,
 * where it is absent, explains the refusal by xolt_open's result code alone.
 */
#ifndef XOLT_XOLT_H
#define XOLT_XOLT_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(XOLT_BUILDING)
#    define XOLT_API __declspec(dllexport)
#  else
#    define XOLT_API __declspec(dllimport)
#  endif
#else
#  define XOLT_API __attribute__((visibility("default")))
#endif

/* Interface selectors of xolt_select. */
#define XOLT_SELECT_SDIO 3
#define XOLT_SELECT_USB 4

/* Reasons xolt_open_refusal gives for a refused xolt_open. */
/* Another process holds the device; *holder is its process id (0 when it
 * cannot be told). */
#define XOLT_REFUSED_BUSY 1
/* A setting of the transport (in the environment) is malformed or out of
 * range; the transport names it on standard error. */
#define XOLT_REFUSED_SETTINGS 2
/* The file that keeps the device's state between runs (the simulated
 * board's fuse file) cannot be used: it is not a regular file, or cannot be
 * read or stored; the transport says which on standard error. */
#define XOLT_REFUSED_STATE_FILE 3

#ifdef __cplusplus
extern "C" {
#endif

/* Function types of the entry points, as velmo resolves them. */
typedef int32_t (*xolt_init_fn)(void);
typedef int32_t (*xolt_select_fn)(int32_t selector);
typedef int32_t (*xolt_open_fn)(void);
typedef int32_t (*xolt_close_fn)(void);
typedef int32_t (*xolt_read_reg_fn)(uint32_t address, uint32_t *value);
typedef int32_t (*xolt_write_reg_fn)(uint32_t address, uint32_t value);
typedef int32_t (*xolt_burst_read_reg_fn)(uint32_t address, uint32_t *values, uint32_t count);
typedef int32_t (*xolt_burst_write_reg_fn)(uint32_t address, const uint32_t *values, uint32_t count);
typedef int32_t (*xolt_recv_packet_fn)(uint8_t *buffer, uint32_t capacity, uint32_t *length);
typedef int32_t (*xolt_send_packet_fn)(const uint8_t *buffer, uint32_t length);
typedef int32_t (*xolt_download_fw_fn)(const uint8_t *image, uint32_t length);

/* Optional: why the last xolt_open was refused. Returns 0 with *reason one
 * of XOLT_REFUSED_* and *holder the process that holds the device (busy
 * only; 0 otherwise or when it cannot be told); non-zero, leaving both
 * alone, when the last open was not refused or the transport cannot say
 * why. Works with the link closed. */
typedef int32_t (*xolt_open_refusal_fn)(int32_t *reason, int32_t *holder);

#if !defined(XOLT_NO_PROTOTYPES)
XOLT_API int32_t xolt_init(void);
XOLT_API int32_t xolt_select(int32_t selector);
XOLT_API int32_t xolt_open(void);
XOLT_API int32_t xolt_close(void);
XOLT_API int32_t xolt_read_reg(uint32_t address, uint32_t *value);
XOLT_API int32_t xolt_write_reg(uint32_t address, uint32_t value);
XOLT_API int32_t xolt_burst_read_reg(uint32_t address, uint32_t *values, uint32_t count);
XOLT_API int32_t xolt_burst_write_reg(uint32_t address, const uint32_t *values, uint32_t count);
XOLT_API int32_t xolt_recv_packet(uint8_t *buffer, uint32_t capacity, uint32_t *length);
XOLT_API int32_t xolt_send_packet(const uint8_t *buffer, uint32_t length);
XOLT_API int32_t xolt_download_fw(const uint8_t *image, uint32_t length);
/* Optional (see above). */
XOLT_API int32_t xolt_open_refusal(int32_t *reason, int32_t *holder);
#endif

#ifdef __cplusplus
}
#endif

#endif /* XOLT_XOLT_H */
