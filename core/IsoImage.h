// The one door to libisofs: an ISO 9660 image (with Joliet, without Rock Ridge) written from a
// list of files, and an image read back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/SafeMove.h"

namespace velmora {

struct TIsoLayout {
    int Level = 2;
    std::string VolumeId;
    std::vector<std::string> Folders;  // names below the root, in the order their data goes
    struct TFile {
        std::string Path;  // absolute
        std::string Name;  // the Joliet name; libisofs makes the ISO 9660 name from it
        int Folder = -1;   // -1 for the root
    };
    std::vector<TFile> Files;  // in the order their data goes on the disc
};

// Writes the image into fd through sys. progress gets bytes written and the total and stops the
// writing when it returns false (cancelled is then set). Returns "" or the reason it failed.
std::string WriteIsoImage(const TIsoLayout& layout, int fd, TSysCalls& sys,
                          const std::function<bool(int64_t, int64_t)>& progress, bool& cancelled);

// An image read back: the files of one tree (ISO 9660 or Joliet), their paths from the root
// ("D001/01_SONG.MP3"), first sector and size.
struct TIsoListing {
    std::string VolumeId;
    struct TFile {
        std::string Path;
        uint32_t Block = 0;
        uint32_t Size = 0;
    };
    std::vector<TFile> Files;
    std::vector<std::string> Folders;
};
// Reads the image's ISO 9660 tree, or its Joliet tree; "" or the reason it failed.
std::string ReadIsoImage(const std::string& path, bool joliet, TIsoListing& listing);

}  // namespace velmora
