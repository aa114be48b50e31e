// Burning an image onto a CD and reading it back to check it. The only file that talks to
// libburn (core/Burn.cpp, in the library velmora_burn, so programs that never burn do not load
// libburn). Plain C++: the command line and the window call the same functions.
//
// Every function is synchronous and may be called from any thread; calls are serialised, as
// libburn is one per process. A drive is grabbed for the length of one call and released on every
// way out of it, cancel and errors included.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// A drive address that begins with "stdio:" is a pseudo-drive: the rest is a file that is written
// as if it were a blank CD ("stdio:/tmp/disc.iso"). The tests and a trial burn use it.
bool IsPseudoDrive(const std::string& address);

struct TBurnDrive {
    std::string Address;  // "/dev/sr0"
    std::string Vendor;
    std::string Model;
    std::string DisplayName;  // "Vendor Model (/dev/sr0)"
};

// "Vendor Model (/dev/sr0)", the spaces the drive pads its names with left out.
std::string BurnDriveDisplayName(const std::string& vendor, const std::string& model,
                                 const std::string& address);

// The drives that write CDs. None found: an empty list and a Russian message in `error`.
std::vector<TBurnDrive> FindDrives(std::string& error);

enum class TMediumState {
    Unknown,     // the drive could not be asked (see TMediumInfo::Error)
    NoDisc,      // the tray is empty
    Blank,       // ready to be written
    Appendable,  // data and an open session
    Full,        // data, closed (or a pseudo-drive file that is not empty)
    Unusable     // the drive cannot tell what it holds; a pseudo-drive path that is not a file
};

enum class TMediumKind { None, CdR, CdRw, CdRom, NotCd, PseudoDrive };

struct TMediumInfo {
    std::string Address;
    std::string Error;    // the drive could not be opened: why, in Russian (nothing else is set)
    std::string Profile;  // the medium as the drive names it: "CD-R", "DVD+RW", "stdio file"
    TMediumState State = TMediumState::Unknown;
    TMediumKind Kind = TMediumKind::None;
    // Room for data in 2048-byte sectors: what a blank medium takes; for a CD-RW with data, what
    // it takes once blanked (0 when the drive does not say).
    int64_t CapacitySectors = 0;
    bool Erasable = false;
    bool DummySupported = false;
    std::vector<int> WriteSpeeds;  // the write speeds offered for this medium, in x, ascending
    std::string StateText;         // "Чистый диск CD-R, 703 МБ" and the like
};

// Grabs the drive, reads what it holds and releases it. For a pseudo-drive the capacity is the
// free space of the file's file system, or `pseudoCapacitySectors` when that is above 0 (the file
// then stands for a CD of that size).
TMediumInfo InspectMedium(const std::string& address, int64_t pseudoCapacitySectors = 0);

struct TBurnCheck {
    bool Ok = false;
    // A CD-RW with data and no permission to blank it: ask the user ("всё на диске пропадёт")
    // and check again with blankAllowed.
    bool NeedsBlanking = false;
    bool WillBlank = false;  // Ok, after blanking the CD-RW
    std::string Message;     // when not Ok: what is wrong and what to insert, in Russian
};

// Whether an image of `imageSectors` sectors may be written onto the medium: a blank CD-R or
// CD-RW (or a CD-RW with data when blankAllowed), large enough; for a dummy write, a drive that
// can simulate and a medium that is blank already. Nothing is written when this says no.
TBurnCheck CheckBurn(const TMediumInfo& medium, int64_t imageSectors, bool blankAllowed,
                     bool dummy = false);

enum class TBurnPhase { Blanking, Writing, Closing, Verifying };

struct TBurnProgress {
    TBurnPhase Phase = TBurnPhase::Writing;
    int64_t Done = 0;           // bytes (for blanking: steps of Total)
    int64_t Total = 0;          // bytes of the image (for blanking: the number of steps)
    double BytesPerSecond = 0;  // over the last seconds; 0 while not known
    double SecondsLeft = -1;    // -1 while not known
};

// Called several times a second from the calling thread; returning false cancels. A blanking
// cannot be stopped: a cancel then takes effect once it has ended, before anything is written.
using TBurnProgressFn = std::function<bool(const TBurnProgress&)>;

// The speed of a CD drive in x for that many bytes of data a second (1x is 75 sectors a second).
double CdSpeedX(double bytesPerSecond);

struct TBurnOptions {
    std::string Address;  // "/dev/sr0" or "stdio:/path/file"
    int SpeedX = 0;       // 0: the drive's own choice
    bool Dummy = false;   // simulate: the drive goes through the write with the laser off
    bool Eject = false;   // eject the disc at the end, whatever the outcome
    bool Blank = false;   // the user agreed to blank a CD-RW with data
    bool Verify = true;   // read the disc back after writing and compare it with the image
    int64_t PseudoCapacitySectors = 0;  // see InspectMedium
};

struct TVerifyResult {
    bool Ok = false;
    bool Cancelled = false;
    int64_t Sectors = 0;          // sectors compared
    int64_t FirstBadSector = -1;  // the first sector that differs or could not be read
    std::string Message;          // Russian
};

struct TBurnResult {
    bool Ok = false;
    bool Cancelled = false;
    bool Written = false;      // the write began: a CD-R is used up unless this is false
    int64_t WrittenBytes = 0;  // how far the write got, as the drive reported it
    std::string WriteMode;     // "SAO" (one session at once, closed) or "TAO"; "" when not written
    std::string Message;  // Russian: "Диск записан и проверен", or what failed and what to do
    TVerifyResult Verify;
};

// Checks the medium (CheckBurn), blanks a CD-RW when options.Blank allows, writes the image in
// one closed session, and reads it back when options.Verify is set. A pseudo-drive file this
// call created is removed again when the burn fails, is cancelled or is a dummy.
TBurnResult BurnImage(const std::string& imagePath, const TBurnOptions& options,
                      const TBurnProgressFn& progress);

// Reads the image's sectors back from the drive and compares them with the image file; names the
// first sector that differs or cannot be read.
TVerifyResult VerifyBurn(const std::string& address, const std::string& imagePath,
                         const TBurnProgressFn& progress);

// The image's size in 2048-byte sectors (a last part sector counts whole), or 0 with a Russian
// message naming the file when it is missing, unreadable or empty.
int64_t ImageSectors(const std::string& path, std::string& error);

}  // namespace velmora
