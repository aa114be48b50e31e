// "Записать диск…": what its dialog shows and what the user chooses there — the drives found,
// the chosen drive's medium and whether the image goes onto it, the speed, a dummy write and the
// eject. The Qt dialog (ui/BurnDialog.h) mirrors this and forwards the user's input here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/burn/Burn.h"

namespace velmora {

// The speed a car radio reads a disc reliably at; faster ones are not offered.
inline constexpr int kRadioSpeedX = 16;

class TBurnSetup {
  public:
    // Where the drives and their media come from: libburn (core/Burn.h), or a test's stand-ins.
    struct TSources {
        std::function<std::vector<TBurnDrive>(std::string& error)> FindDrives;
        std::function<TMediumInfo(const std::string& address)> InspectMedium;
    };
    static TSources RealSources();

    // `image` names what is burnt ("Образ: Музыка.iso, 61 МБ"); `imageSectors` is its size.
    TBurnSetup(std::string image, int64_t imageSectors, TSources sources = RealSources());

    // Looks for the drives, keeps the chosen one when it is still there (else takes the first),
    // and inspects its medium: when the dialog opens and on "Обновить".
    void Refresh();
    // Adds a drive by its address and chooses it: a device the scan did not list, or a
    // pseudo-drive "stdio:FILE" for a trial burn into a file.
    void AddDrive(const std::string& address);
    void SelectDrive(int index);  // and inspects its medium
    void SelectSpeed(int index);
    // Chooses the speed of `x` times, offered or not (the command line's --speed).
    void ChooseSpeedX(int x);
    void SetDummy(bool on);
    void SetEject(bool on) { Eject = on; }

    // What "Записать" burns with (Blank stays false: the model asks first).
    TBurnOptions Options() const;
    // True when the medium holds data a burn would blank first.
    bool NeedsBlanking() const;

    // ---- What the dialog shows ----
    std::string Image;
    std::vector<TBurnDrive> Drives;
    int DriveIndex = -1;
    std::string DrivesMessage;  // no drive found: what to do
    TMediumInfo Medium;         // the chosen drive's medium, as last inspected
    std::string MediumText;     // its state, or why the drive could not be asked
    std::vector<std::string> SpeedItems;
    std::vector<int> Speeds;  // the speed of each item in x; 0: the drive's own choice
    int SpeedIndex = 0;
    bool DummyEnabled = false;
    bool Dummy = false;
    bool Eject = true;
    // The user agreed beforehand to blank a CD-RW with data (the command line's --blank): the
    // burn does not ask again.
    bool BlankAgreed = false;
    std::string Verdict;  // what "Записать" will do, or why it cannot
    bool CanBurn = false;

  private:
    int64_t ImageSectors;
    TSources Sources;
    std::vector<TBurnDrive> Added;
    int WantedSpeed = 0;
    void Inspect();
    void Decide();
};

}  // namespace velmora
