/* A transport that has the eleven entry points under their plain names and
 * does nothing. Built for the other architecture (x86), or importing a helper
 * DLL that is not installed beside it, it shows how a DLL that cannot load is
 * explained. */
#ifdef PLAIN_XOLT_NEEDS_HELPER
__declspec(dllimport) int xolt_helper_ready(void);
#define READY() xolt_helper_ready()
#else
#define READY() 0
#endif

__declspec(dllexport) int xolt_init(void) { return READY(); }
__declspec(dllexport) int xolt_select(int selector) { return selector == 3 || selector == 4 ? 0 : -1; }
__declspec(dllexport) int xolt_open(void) { return 0; }
__declspec(dllexport) int xolt_close(void) { return 0; }
__declspec(dllexport) int xolt_read_reg(unsigned address, unsigned *value) { *value = address; return 0; }
__declspec(dllexport) int xolt_write_reg(unsigned address, unsigned value) { (void)address; (void)value; return 0; }
__declspec(dllexport) int xolt_burst_read_reg(void) { return -1; }
__declspec(dllexport) int xolt_burst_write_reg(void) { return -1; }
__declspec(dllexport) int xolt_recv_packet(void) { return -1; }
__declspec(dllexport) int xolt_send_packet(void) { return -1; }
__declspec(dllexport) int xolt_download_fw(void) { return -1; }
