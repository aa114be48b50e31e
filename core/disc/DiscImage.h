// The writing of a checked folder's ISO 9660 image (through core/IsoImage.h, libisofs) and of the
// disc's track list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/disc/Disc.h"
#include "core/disc/IsoImage.h"
#include "core/files/SysCalls.h"

namespace velmora {

// The image's writing: progress gets the bytes written and the total, and stops the writing when
// it returns false.
using TDiscProgress = std::function<bool(int64_t done, int64_t total)>;

struct TDiscImageResult {
    bool Ok = false;
    bool Cancelled = false;
    std::string Message;  // why it failed, for the user
};

// What libisofs is given for the check: the folders and the files in play order, with their
// names in both trees and the files as checked.
TIsoLayout DiscLayout(const TDiscCheck& check);

// Why the check's disc is not written (its fatal problems, one a line, after what they make of
// it: "диск не будет играть", or "папка не помещается на диск" when it is only too big; or no
// file that a radio plays), or "" when it can be.
std::string DiscRefusal(const TDiscCheck& check);

// Writes the image of a check without fatal problems into a hidden temporary file beside `out`
// and renames it to `out` at the end. An existing `out` is refused before anything is written,
// unless `replace`. Each file must still be the one checked when it is read, from its first
// byte to its last: a file changed before or during the write fails it with the file's name. A
// failure, a cancel or a kill leaves no file under `out` (a killed write leaves a temporary file
// the next open of that folder removes). The folder is only read.
TDiscImageResult WriteDiscImage(const TDiscCheck& check, const std::string& out, bool replace,
                                const TDiscProgress& progress, TSysCalls& sys = RealSysCalls());

// The disc's track list, the sheet for the disc's case: each folder with its files in play
// order (the name on the disc, artist – title from the tags, playing time) and the totals. UTF-8
// text with LF line ends.
std::string DiscTrackList(const TDiscCheck& check);
// Writes the track list to `path` through a temporary file beside it; an existing file is
// replaced only when `replace`. "" or why it could not be written.
std::string WriteDiscTrackList(const TDiscCheck& check, const std::string& path, bool replace,
                               TSysCalls& sys = RealSysCalls());
// Where the window puts the track list: beside the image, its name with ".txt" for ".iso".
std::string TrackListPathFor(const std::string& imagePath);

}  // namespace velmora
