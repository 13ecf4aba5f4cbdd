// A second process on a board, for the board's ownership tests: opens the
// link on the board of XOLT_FUSE_FILE and prints xolt_open's result, the
// holder the board's own query tells, and what xolt_open_refusal tells
// ("<result> <holder> <refusal result> <reason> <holder>"). Then, by its argument, it closes
// the link ("close") or ends at once without closing, as a process that dies
// holding the board ("die").
#include "xolt/xolt.h"
#include "xolt/xolt_sim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    const bool die = argc > 1 && std::strcmp(argv[1], "die") == 0;
    int32_t result = 1;
    if (xolt_init() == 0 && xolt_select(XOLT_SELECT_USB) == 0) {
        result = xolt_open();
    }
    int32_t reason = 0;
    int32_t holder = 0;
    const int32_t refusal = xolt_open_refusal(&reason, &holder);
    std::printf("%d %d %d %d %d\n", static_cast<int>(result), static_cast<int>(xolt_sim_board_holder()),
                static_cast<int>(refusal), static_cast<int>(reason), static_cast<int>(holder));
    std::fflush(stdout);
    if (die) {
        std::_Exit(0);  // no clean-up of any kind: the board is still held
    }
    xolt_close();
    return 0;
}
