#include "core/stick/MountTable.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/files/Paths.h"

namespace velmora {
namespace {

std::vector<std::string> SplitSpaces(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; in >> field;)
        fields.push_back(field);
    return fields;
}

bool ParseNumber(const std::string& text, unsigned& n) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    n = static_cast<unsigned>(std::stoul(text));
    return true;
}

bool HasOption(const std::string& options, const std::string& option) {
    std::istringstream in(options);
    for (std::string o; std::getline(in, o, ',');)
        if (o == option)
            return true;
    return false;
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[4096];
    while (in && text.size() < (4u << 20)) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<size_t>(in.gcount()));
    }
    return text;
}

std::string RealPathOf(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// True when /sys says the block device (or the disk it is a part of) is removable, or lies on a
// USB bus (USB disks and card readers often say they are not removable).
bool IsRemovable(unsigned major, unsigned minor) {
    const std::string dev = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    for (const char* file : {"/removable", "/../removable"})
        if (ReadSmallFile(dev + file).substr(0, 1) == "1")
            return true;
    return RealPathOf(dev).find("/usb") != std::string::npos;
}

// The label of a device from /dev/disk/by-label, whose names escape bytes as "\x20".
std::string LabelOf(const std::string& device) {
    const std::string real = RealPathOf(device);
    DIR* dir = real.empty() ? nullptr : ::opendir("/dev/disk/by-label");
    if (!dir)
        return "";
    std::string label;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || RealPathOf("/dev/disk/by-label/" + name) != real)
            continue;
        for (size_t i = 0; i < name.size(); ++i) {
            if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size() &&
                std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
                std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
                label += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                label += name[i];
            }
        }
        break;
    }
    ::closedir(dir);
    return label;
}

}  // namespace

std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&field](size_t at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3) &&
            field[i + 1] <= '3') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<TMountEntry> ParseMountInfo(const std::string& text) {
    std::vector<TMountEntry> mounts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> f = SplitSpaces(line);
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        // id, parent, major:minor, root, mount point, options, optional fields, "-", type,
        // source, the file system's options.
        if (dash + 3 > f.size())
            continue;
        TMountEntry m;
        const size_t colon = f[2].find(':');
        unsigned id = 0, parent = 0;
        if (colon == std::string::npos || !ParseNumber(f[0], id) || !ParseNumber(f[1], parent) ||
            !ParseNumber(f[2].substr(0, colon), m.Major) ||
            !ParseNumber(f[2].substr(colon + 1), m.Minor) || f[4].empty() || f[4][0] != '/')
            continue;
        m.Root = UnescapeMountField(f[3]);
        m.MountPoint = UnescapeMountField(f[4]);
        m.FsType = UnescapeMountField(f[dash + 1]);
        m.Source = UnescapeMountField(f[dash + 2]);
        m.ReadOnly = HasOption(f[5], "ro") || (dash + 3 < f.size() && HasOption(f[dash + 3], "ro"));
        mounts.push_back(std::move(m));
    }
    return mounts;
}

const TMountEntry* MountOf(const std::vector<TMountEntry>& mounts, const std::string& path) {
    const TMountEntry* best = nullptr;
    const std::string normal = NormalPath(path);
    for (const TMountEntry& m : mounts) {
        const std::string mp = NormalPath(m.MountPoint);
        const bool under = normal == mp || mp == "/" ||
                           (normal.size() > mp.size() && normal.compare(0, mp.size(), mp) == 0 &&
                            normal[mp.size()] == '/');
        // A later mount over the same point hides the earlier one.
        if (under && (!best || mp.size() >= NormalPath(best->MountPoint).size()))
            best = &m;
    }
    return best;
}

std::vector<TStickDrive> RemovableDrives() {
    std::vector<TStickDrive> drives;
    for (const TMountEntry& m : ParseMountInfo(ReadSmallFile("/proc/self/mountinfo"))) {
        if (m.Source.rfind("/dev/", 0) != 0 || m.Root != "/" || !IsRemovable(m.Major, m.Minor))
            continue;
        TStickDrive d;
        d.MountPoint = m.MountPoint;
        d.FsType = m.FsType;
        d.Device = m.Source;
        d.ReadOnly = m.ReadOnly;
        d.Label = LabelOf(m.Source);
        struct statvfs st;
        if (::statvfs(m.MountPoint.c_str(), &st) == 0)
            d.FreeBytes = static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
        drives.push_back(std::move(d));
    }
    return drives;
}

std::string SizeText(int64_t bytes) {
    constexpr int64_t kB = 1024, kMB = kB * 1024, kGB = kMB * 1024;
    const auto tenths = [bytes](int64_t unit, const char* name) {
        const int64_t n = (bytes * 10 + unit / 2) / unit;
        return std::to_string(n / 10) + "," + std::to_string(n % 10) + " " + name;
    };
    if (bytes >= kGB)
        return tenths(kGB, "ГБ");
    if (bytes >= 10 * kMB)
        return std::to_string((bytes + kMB / 2) / kMB) + " МБ";
    if (bytes >= kMB)
        return tenths(kMB, "МБ");
    return std::to_string((bytes + kB - 1) / kB) + " КБ";
}

std::string DriveText(const TStickDrive& drive) {
    std::string text = (drive.Label.empty() ? NameOf(drive.MountPoint) : drive.Label) + " — " +
                       drive.MountPoint + ", " + drive.FsType;
    if (drive.FreeBytes >= 0)
        text += ", свободно " + SizeText(drive.FreeBytes);
    if (drive.ReadOnly)
        text += ", только для чтения";
    return text;
}

}  // namespace velmora
