// What a file given to the burn as a disc image is: an ISO 9660 image (its primary volume
// descriptor at sector 16, "CD001", and the volume's size against the file's), or what it looks
// like instead, so that nothing but a whole ISO 9660 image is ever burnt.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// The bytes of an image that tell what it is: its first 17 sectors (the primary volume
// descriptor is the 17th).
inline constexpr size_t kImageHeadBytes = 17 * 2048;

struct TImageFileCheck {
    bool Ok = false;
    int64_t Sectors = 0;  // the file's size in 2048-byte sectors, a last part sector counted whole
    std::string Problem;  // when not Ok: what the file is and what to do, in Russian
};

// Judges a file of `fileSize` bytes by its head (its first kImageHeadBytes bytes, or all of a
// shorter file). `shown` names the file in the texts.
TImageFileCheck CheckImageHead(const std::string& head, int64_t fileSize, const std::string& shown);
// Reads the head of the file at `path` and judges it; a file that cannot be read is a problem
// with the system's reason.
TImageFileCheck CheckImageFile(const std::string& path);
// What the first bytes of a file that is no ISO 9660 image look like: "MP3", "WAV", "архив ZIP",
// "текст", … ; "" when they look like nothing known.
std::string LooksLike(const std::string& head);

}  // namespace velmora
