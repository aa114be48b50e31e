// The names files and folders get on the disc: a Joliet name in Latin letters and an ISO 9660
// name, unique within their folder and in the order of the list in both trees, and the volume id.
#pragma once

#include <string>
#include <vector>

#include "core/disc/Disc.h"

namespace velmora {

// The Joliet name of a file or folder: the name in Latin letters, without characters Joliet may
// not hold, within the profile's length, keeping a file's ".mp3".
std::string DiscJolietName(const std::string& name, bool isFile, const TDiscProfile& profile);
// The ISO 9660 name made from a Joliet name: capitals, digits and "_" only, 8.3 at Level 1,
// 31 characters at Level 2; folders have no extension.
std::string DiscIsoName(const std::string& jolietName, bool isFile, int isoLevel);

// How the names of one folder's entries came to follow the list's order on the disc.
enum class EDiscNaming {
    Own,        // their own names (with a number where two would be equal) sort in that order
    Numbers,    // the numbers the names begin with are padded with zeros to one width ("02 A")
    Positions,  // each name begins with its place in the list, of one width ("01 A")
};
// Names the entries (the files of one folder, or the root's folders, in the list's order; their
// own names are the last part of Source) for the disc: Joliet and ISO 9660 names, unique in
// either tree, whose byte order in either tree (the order of the directory records) is the
// list's. `taken` are names already used in the same folder of the disc.
EDiscNaming NameInListOrder(const std::vector<TDiscEntry*>& entries, bool isFile,
                            const TDiscProfile& profile,
                            const std::vector<std::string>& taken = {});
// True when the entry's name on the disc, in either tree, is not its own name (capitals aside).
bool DiscNameChanged(const TDiscEntry& entry);
// The volume id made from the folder's name: Latin capitals, digits and "_", at most 32.
std::string DiscVolumeId(const std::string& folderName);

}  // namespace velmora
