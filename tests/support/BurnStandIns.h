// Drives that are not there, for the burn dialog's tests and pictures: two burners whose media
// the test sets, or none.
#pragma once

#include <string>
#include <vector>

#include "core/burn/BurnSetup.h"

namespace velmora::test {

inline TMediumInfo StandInDisc(TMediumKind kind, TMediumState state, std::vector<int> speeds = {},
                               const std::string& text = "", bool dummy = true) {
    TMediumInfo m;
    m.Kind = kind;
    m.State = state;
    m.CapacitySectors = 360000;
    m.Erasable = kind == TMediumKind::CdRw;
    m.DummySupported = dummy;
    m.WriteSpeeds = std::move(speeds);
    m.StateText = text;
    return m;
}

struct TBurnStandIns {
    bool HasDrives = true;
    TMediumInfo Media[2];  // in /dev/sr0 and /dev/sr1
    TBurnSetup::TSources Sources() {
        return {[this](std::string& error) {
                    if (!HasDrives)
                        error = "Привод для записи дисков не найден.";
                    return HasDrives
                               ? std::vector<TBurnDrive>{{"/dev/sr0", "HL-DT-ST", "DVDRAM GH24NSD1",
                                                          "HL-DT-ST DVDRAM GH24NSD1 (/dev/sr0)"},
                                                         {"/dev/sr1", "ASUS", "SDRW-08D2S-U",
                                                          "ASUS SDRW-08D2S-U (/dev/sr1)"}}
                               : std::vector<TBurnDrive>{};
                },
                [this](const std::string& address) { return Media[address == "/dev/sr1"]; }};
    }
};

}  // namespace velmora::test
