// "Записать диск…" and `velmora-cli burn` as one sequence each: a folder checked, its image
// written into a temporary file and burnt, or an image file (only an ISO 9660 image) burnt; the
// drive and the medium chosen through the port, the burn on a thread of its own while the
// progress is shown, the read-back after it. In the library velmora_burn_model: what never burns
// does not load libburn.
#pragma once

#include <string>
#include <vector>

#include "core/burn/BurnSetup.h"
#include "core/model/DiscJob.h"

namespace velmora {

class TMainModel;

class TBurnCommands {
  public:
    // `opened`: the folder as the window opened it, when known (as for TDiscJob).
    TBurnCommands(TUserPort& port, TFileSystem& fs, TDiscChoice& choice,
                  const TFileIdentity& opened = {},
                  TBurnSetup::TSources sources = TBurnSetup::RealSources())
        : Port(port), Fs(fs), Choice(choice), Opened(opened), Sources(std::move(sources)) {}

    // The folder checked and shown for the burn, refused when its disc would not play; the
    // drive, medium and speed chosen (AskBurn), a CD-RW with data blanked only when the user
    // agrees; the image written into a temporary folder while the folder is locked, then burnt
    // and read back.
    TDiscOutcome BurnFolder(const std::string& folder);
    // An image file: refused unless it is a whole ISO 9660 image; then as above.
    TDiscOutcome BurnImageFile(const std::string& image);
    // Image files one after the other, asking for the next blank before each but the first.
    TDiscOutcome BurnImageFiles(const std::vector<std::string>& images);
    // "Диск 1 из 3 записан. Вставьте чистый диск для диска 2 из 3 …".
    static std::string NextDiscQuestion(size_t done, size_t count);

  private:
    TUserPort& Port;
    TFileSystem& Fs;
    TDiscChoice& Choice;
    TFileIdentity Opened;
    TBurnSetup::TSources Sources;
    // The burn dialog, then the question before a CD-RW with data is blanked; false when the
    // user stops at either.
    bool Choose(TBurnSetup& setup, TBurnOptions& options);
    TDiscOutcome Burn(const std::string& image, const TBurnOptions& options, TMediumKind kind);
    // One disc of a checked folder: the drive chosen, the image written, burnt, read back.
    TDiscOutcome BurnChecked(const std::string& folder, const TDiscCheck& disc, size_t n,
                             size_t count);
};

// Lets the window burn: "Записать диск…" burns the opened folder, and "Создать образ диска…"
// offers to burn the image it wrote. For the programs that burn, so that the others need not load
// libburn.
void EnableBurning(TMainModel& model);

}  // namespace velmora
