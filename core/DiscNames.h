// The names files and folders get on the disc: a Joliet name in Latin letters and an ISO 9660
// name made from it, unique within their folder, and the volume id.
#pragma once

#include <string>
#include <vector>

#include "core/Disc.h"

namespace velmora {

// The Joliet name of a file or folder: the name in Latin letters, without characters Joliet may
// not hold, within the profile's length, keeping a file's ".mp3".
std::string DiscJolietName(const std::string& name, bool isFile, const TDiscProfile& profile);
// The ISO 9660 name made from a Joliet name: capitals, digits and "_" only, 8.3 at Level 1,
// 31 characters at Level 2; folders have no extension.
std::string DiscIsoName(const std::string& jolietName, bool isFile, int isoLevel);
// Gives names that would come out equal on the disc a number at the end of the stem.
void MakeUniqueDiscNames(std::vector<TDiscEntry*>& entries, bool isFile, int isoLevel);
// True when the entry's name on the disc, in either tree, is not its own name (capitals aside).
bool DiscNameChanged(const TDiscEntry& entry);
// The volume id made from the folder's name: Latin capitals, digits and "_", at most 32.
std::string DiscVolumeId(const std::string& folderName);

}  // namespace velmora
