/* A transport whose eleven entry points are exported only under the names
 * MSVC gives __stdcall functions ("_xolt_read_reg@8": a leading underscore,
 * and the bytes of arguments on x86): what a maker's DLL built with another
 * calling convention looks like to a library that looks up plain names. */
#define DECORATED(name, bytes)                                                  \
    __declspec(dllexport) int name(void) __asm__("_" #name "@" #bytes);        \
    int name(void) { return 0; }

DECORATED(xolt_init, 0)
DECORATED(xolt_select, 4)
DECORATED(xolt_open, 0)
DECORATED(xolt_close, 0)
DECORATED(xolt_read_reg, 8)
DECORATED(xolt_write_reg, 8)
DECORATED(xolt_burst_read_reg, 12)
DECORATED(xolt_burst_write_reg, 12)
DECORATED(xolt_recv_packet, 12)
DECORATED(xolt_send_packet, 8)
DECORATED(xolt_download_fw, 8)
