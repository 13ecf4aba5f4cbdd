// A second process for the dialog's busy-board test: a Deve dialog over the
// real library (on the board of XOLT_LIBRARY and XOLT_FUSE_FILE) presses OPEN
// and prints the status it shows and every message box, one per line
// ("status: ...", "box: ..."); then CLOSE.
#include "recording_surface.h"

#include "deve/resource.h"
#include "deve/velmo_api.h"

#include <cstdio>

int main() {
    deve::VelmoApi api;
    fake::DialogRig rig(api);
    rig.surface.take_boxes();  // a presence-check warning is not this test's
    rig.click(IDC_OPEN);
    std::printf("status: %s\n", rig.text(IDC_PORT_STATUS).c_str());
    for (const fake::RecordingSurface::Box &box : rig.surface.take_boxes()) {
        std::printf("box: %s\n", box.text.c_str());
    }
    std::fflush(stdout);
    rig.click(IDC_CLOSE);
    return 0;
}
