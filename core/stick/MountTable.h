// The mounted file systems as the kernel lists them (/proc/self/mountinfo), and the removable
// drives among them that the window offers for "Записать на флешку…". The mount table rather
// than udisks2 over D-Bus: it needs no library and no desktop session, and it is what the kernel
// itself knows (docs/stick.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// One line of /proc/self/mountinfo.
struct TMountEntry {
    unsigned Major = 0, Minor = 0;  // the device
    std::string Root;               // the part of the file system mounted, "/" for all of it
    std::string MountPoint;
    std::string FsType;  // "vfat", "exfat", "fuseblk", "fuse.fusefat"…
    std::string Source;  // "/dev/sdb1"
    bool ReadOnly = false;
};

// A field of the table with its escapes undone ("\040" is a space; a backslash not followed by
// three octal digits stays as it is).
std::string UnescapeMountField(const std::string& field);
// The lines of the table; a line that does not have the table's shape is left out.
std::vector<TMountEntry> ParseMountInfo(const std::string& text);
// The mount that holds the path (the longest mount point it lies under); nullptr for none.
const TMountEntry* MountOf(const std::vector<TMountEntry>& mounts, const std::string& path);

// A mounted removable drive, as the window lists it.
struct TStickDrive {
    std::string MountPoint;
    std::string Label;  // from /dev/disk/by-label; "" when it has none
    std::string FsType;
    std::string Device;
    int64_t FreeBytes = -1;
    bool ReadOnly = false;
};
// The removable drives mounted now (a USB stick, a card): the device or its disk says
// "removable" in /sys, or lies on a USB bus.
std::vector<TStickDrive> RemovableDrives();
// "MY_STICK — /media/user/MY_STICK, vfat, свободно 3,5 ГБ"
std::string DriveText(const TStickDrive& drive);
// "3,5 ГБ", "120 МБ", "1,5 МБ", "512 КБ": a size as people read it, with one decimal place
// where whole units would say too little.
std::string SizeText(int64_t bytes);

}  // namespace velmora
