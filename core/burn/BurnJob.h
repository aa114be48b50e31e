// What the command line and the window share around a burn (core/Burn.h): its progress as a step,
// a percentage, a speed and the time left, with their Russian texts; the question before a
// cancel; and the temporary image a folder is burnt from.
#pragma once

#include <cstdint>
#include <string>

#include "core/burn/Burn.h"

namespace velmora {

enum class TBurnStep { Preparing, Image, Blanking, Writing, Closing, Verifying };

struct TBurnStatus {
    TBurnStep Step = TBurnStep::Preparing;
    int Percent = 0;          // 0..100
    double SpeedX = 0;        // the drive's speed in x; 0 while not known
    double SecondsLeft = -1;  // -1 while not known
};

// A report of core/Burn.h as a status; the writing of the folder's image as one.
TBurnStatus BurnStatusOf(const TBurnProgress& progress);
TBurnStatus ImageStatusOf(int64_t done, int64_t total);

// "Запись диска" and the like.
std::string BurnStepText(TBurnStep step);
// "16,0x"; "" while not known.
std::string BurnSpeedText(double speedX);
// "осталось 3:05" or "осталось 1:02:03"; "" while not known.
std::string TimeLeftText(double seconds);

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
