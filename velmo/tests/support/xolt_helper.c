/* The helper DLL that plain_xolt.c imports when built with
 * PLAIN_XOLT_NEEDS_HELPER; the test leaves it out on purpose. */
__declspec(dllexport) int xolt_helper_ready(void) { return 0; }
