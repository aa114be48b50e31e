// What the command line and the window share around a burn (core/burn/Burn.h): its progress as
// the user follows it, the question before a cancel, and the temporary image a folder is burnt
// from.
#pragma once

#include <cstdint>
#include <string>

#include "core/burn/Burn.h"
#include "core/text/Progress.h"

namespace velmora {

enum class TBurnStep { Preparing, Image, Blanking, Writing, Closing, Verifying };

// The step's key in the command line's progress lines ("image", "blank", "write", "close",
// "verify", "prepare") and its words in the window ("Запись диска"): one table holds both.
const char* BurnStepKey(TBurnStep step);
std::string BurnStepText(TBurnStep step);
TBurnStep BurnStepOf(TBurnPhase phase);

// A report of core/Burn.h as the user follows it (its step, bytes, the drive's speed in x, the
// time left, and what a cancel would cost on this medium); the writing of a folder's image as
// one.
TProgress BurnProgressOf(const TBurnProgress& progress, TMediumKind kind);
TProgress ImageProgressOf(int64_t done, int64_t total);

// "16,0x"; "" while not known.
std::string BurnSpeedText(double speedX);

// The question before a cancel at this step on this medium: what the cancel costs.
std::string CancelQuestion(TBurnStep step, TMediumKind kind);

// The image of a folder while it is burnt: "disc.iso" in a folder of its own made under $TMPDIR
// (else /tmp), mode 0700. The folder and everything in it are removed when this goes out of
// scope; only a killed program leaves it, in the temporary folder the system clears.
class TTemporaryImage {
  public:
    TTemporaryImage();
    ~TTemporaryImage();
    TTemporaryImage(const TTemporaryImage&) = delete;
    TTemporaryImage& operator=(const TTemporaryImage&) = delete;

    // Where the image goes; "" when the folder could not be made (Error says why).
    const std::string& Path() const { return ImagePath; }
    const std::string& Error() const { return Problem; }
    // "" when the folder's file system has room for an image of that many sectors; else what
    // to do, in Russian.
    std::string CheckRoom(int64_t sectors) const;

  private:
    std::string Folder, ImagePath, Problem;
};

}  // namespace velmora
