// The one door to libisofs: an ISO 9660 image (with Joliet, without Rock Ridge) written from a
// list of files, its size measured before, and an image read back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/FileStream.h"
#include "core/files/SysCalls.h"

namespace velmora {

// What goes on the disc. Each entry has a name in either tree: a file or folder whose names
// differ is two nodes, one shown in each tree, over the same data.
struct TIsoLayout {
    int Level = 2;
    std::string VolumeId;
    int64_t MaxSectors = 0;  // a larger image is refused before anything is read; 0: no limit
    struct TFolder {
        std::string Joliet, Iso;  // names below the root
    };
    std::vector<TFolder> Folders;
    struct TFile {
        std::string Path;   // absolute
        std::string Shown;  // how messages name it (relative to the folder)
        std::string Joliet, Iso;
        int Folder = -1;  // -1 for the root
        // The file as it was checked: it must still be that file (device, inode, size,
        // modification time, as far as known) when it is opened and when its end is read.
        TFileIdentity Identity;
    };
    std::vector<TFile> Files;  // in the order their data goes on the disc
};

// The size of the layout's image in 2048-byte sectors, files taken at their Identity.Size and
// nothing read. Returns "" or the reason it could not be measured.
std::string MeasureIsoImage(const TIsoLayout& layout, int64_t& sectors);

// Writes the image into fd through sys, which also reads the files. progress gets bytes written
// and the total and stops the writing when it returns false (cancelled is then set). Returns ""
// or the reason it failed, in Russian, naming the file.
std::string WriteIsoImage(const TIsoLayout& layout, int fd, TSysCalls& sys,
                          const std::function<bool(int64_t, int64_t)>& progress, bool& cancelled);

// An image read back through libisofs: the files of one tree (ISO 9660 or Joliet), their paths
// from the root ("D001/01_SONG.MP3"), first sector and size.
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
