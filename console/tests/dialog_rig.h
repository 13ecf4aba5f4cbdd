// A Deve dialog over the recording stand-in for the library and a recording
// surface.
#pragma once

#include "recording_api.h"
#include "recording_surface.h"

#include "deve/resource.h"

#include <string>
#include <vector>

using Calls = std::vector<std::string>;

struct StandIn {
    fake::RecordingApi api;
};

class Rig : public StandIn, public fake::DialogRig {
public:
    // `observer` (which may be null) outlives the rig.
    explicit Rig(const std::string &library_file = deve::velmo_library_file(),
                 deve::DialogObserver *observer = nullptr)
        : DialogRig(api, library_file, observer) {}

    // OPEN on the stand-in, and a clean log after it.
    void open() {
        click(IDC_OPEN);
        api.take();
    }
    // Reveals the engineering controls (TX ON with the access code).
    void reveal() {
        type(IDC_FREQ_OFFSET, "624");
        click(IDC_TX_ON);
        click(IDC_TX_OFF);
        api.take();
    }
    Calls calls() { return api.take(); }
};
