#include "core/files/PretendFileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "audio/FileStream.h"
#include "core/files/Paths.h"

namespace velmora {
namespace {

constexpr size_t kNameMax = 255;

// A file on the disk seen through the planned writes: reads take the patches over the file's
// bytes, writes add patches.
class TOverlayStream : public TStream {
  public:
    TOverlayStream(TFileStream& base, std::vector<TPretendFileSystem::TPatch>& patches,
                   int64_t dropped)
        : Base(base), Patches(patches), Dropped(dropped) {}

    int64_t Size() override {
        int64_t size = Base.Size() - Dropped;
        for (const auto& p : Patches)
            size = std::max(size, p.Offset + static_cast<int64_t>(p.Bytes.size()));
        return size;
    }
    int64_t Position() override { return Pos; }
    void Seek(int64_t position) override { Pos = std::max<int64_t>(0, position); }
    void Prefetch(int64_t position, int64_t length) override {
        Base.Prefetch(position + Dropped, length);
    }

    size_t Read(void* buffer, size_t count) override {
        const int64_t size = Size();
        if (Pos >= size)
            return 0;
        count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size - Pos));
        auto* out = static_cast<uint8_t*>(buffer);
        std::fill(out, out + count, 0);
        const int64_t baseSize = Base.Size() - Dropped;
        if (Pos < baseSize) {
            Base.Seek(Pos + Dropped);
            Base.ReadBuffer(out, static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count),
                                                                       baseSize - Pos)));
        }
        for (const auto& p : Patches) {
            const int64_t from = std::max(Pos, p.Offset);
            const int64_t to = std::min(Pos + static_cast<int64_t>(count),
                                        p.Offset + static_cast<int64_t>(p.Bytes.size()));
            for (int64_t k = from; k < to; ++k)
                out[k - Pos] = p.Bytes[static_cast<size_t>(k - p.Offset)];
        }
        Pos += static_cast<int64_t>(count);
        return count;
    }

    void Write(const void* buffer, size_t count) override {
        const auto* in = static_cast<const uint8_t*>(buffer);
        Patches.push_back({Pos, std::vector<uint8_t>(in, in + count)});
        Pos += static_cast<int64_t>(count);
    }

  private:
    TFileStream& Base;
    std::vector<TPretendFileSystem::TPatch>& Patches;
    int64_t Dropped;
    int64_t Pos = 0;
};

EStreamError CannotOpen(const std::string& path, int error) {
    return EStreamError(CannotOpenText(path, std::strerror(error)));
}

}  // namespace

const TPretendFileSystem::TOnDisk& TPretendFileSystem::OnDisk(const std::string& normal) const {
    // The plan never writes, so what stands on the disk is looked at once per path.
    const auto it = Seen.find(normal);
    if (it != Seen.end())
        return it->second;
    TOnDisk seen;
    struct stat st;
    if (::lstat(normal.c_str(), &st) == 0) {
        seen.Taken = true;
        if (S_ISLNK(st.st_mode) && ::stat(normal.c_str(), &st) != 0)
            st.st_mode = 0;
        seen.File = S_ISREG(st.st_mode);
        seen.Dir = S_ISDIR(st.st_mode);
    }
    return Seen.emplace(normal, seen).first->second;
}

std::string TPretendFileSystem::DiskFile(const std::string& normal) const {
    if (const auto it = Origin.find(normal); it != Origin.end())
        return it->second;
    if (Gone.count(normal) != 0)
        return "";
    return OnDisk(normal).File ? normal : "";
}

bool TPretendFileSystem::IsDir(const std::string& normal) const {
    if (Dirs.count(normal) != 0)
        return true;
    return Gone.count(normal) == 0 && OnDisk(normal).Dir;
}

bool TPretendFileSystem::Taken(const std::string& normal) const {
    if (Origin.count(normal) != 0 || Dirs.count(normal) != 0)
        return true;
    return Gone.count(normal) == 0 && OnDisk(normal).Taken;
}

bool TPretendFileSystem::ListDir(const std::string& dir, std::vector<TDirEntry>& entries) {
    const std::string folder = NormalPath(dir);
    entries.clear();
    const bool onDisk = Dirs.count(folder) == 0 && RealFileSystem().ListDir(dir, entries);
    if (!onDisk && Dirs.count(folder) == 0)
        return false;
    const auto child = [&folder](const std::string& name) {
        return folder == "/" ? "/" + name : folder + "/" + name;
    };
    std::erase_if(entries, [&](const TDirEntry& e) { return Gone.count(child(e.Name)) != 0; });
    const auto add = [&](const std::string& path, TDirEntry::Kind kind) {
        if (ParentOf(path) != folder)
            return;
        const std::string name = NameOf(path);
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const TDirEntry& e) { return e.Name == name; }))
            return;
        entries.push_back({name, kind, name[0] == '.'});
    };
    for (const auto& [path, disk] : Origin)
        add(path, TDirEntry::Kind::File);
    for (const std::string& path : Dirs)
        add(path, TDirEntry::Kind::Directory);
    SortDirEntries(entries);
    return true;
}

int64_t TPretendFileSystem::EntrySize(const std::string& path) {
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty())
        return IsDir(NormalPath(path)) ? RealFileSystem().EntrySize(path) : -1;
    int64_t size = RealFileSystem().EntrySize(disk) - Dropped[disk];
    for (const auto& p : Patches[disk])
        size = std::max(size, p.Offset + static_cast<int64_t>(p.Bytes.size()));
    return size;
}

bool TPretendFileSystem::FileExists(const std::string& path) {
    return !DiskFile(NormalPath(path)).empty();
}

TMoveResult TPretendFileSystem::CreateDir(const std::string& path) {
    const std::string folder = NormalPath(path);
    if (NameOf(folder).size() > kNameMax)
        return {false, ENAMETOOLONG};
    if (Taken(folder))
        return {false, EEXIST};
    if (!IsDir(ParentOf(folder)))
        return {false, ENOENT};
    // Making it would need write access to the folder it goes in.
    const std::string parent = ParentOf(folder);
    if (Dirs.count(parent) == 0 && ::access(parent.c_str(), W_OK) != 0)
        return {false, errno};
    Dirs.insert(folder);
    return {true, 0};
}

TMoveResult TPretendFileSystem::MoveFile(const std::string& from, const std::string& to) {
    const std::string source = NormalPath(from);
    const std::string target = NormalPath(to);
    const std::string disk = DiskFile(source);
    if (disk.empty())
        return {false, ENOENT};
    if (source == target)
        return {true, 0};
    if (NameOf(target).size() > kNameMax)
        return {false, ENAMETOOLONG};
    if (Taken(target))
        return {false, EEXIST};
    if (!IsDir(ParentOf(target)))
        return {false, ENOENT};
    if (Origin.erase(source) == 0)
        Gone.insert(source);
    Origin[target] = disk;
    return {true, 0};
}

std::string TPretendFileSystem::ReadFile(const std::string& path) {
    if (const auto it = Written.find(NormalPath(path)); it != Written.end())
        return it->second;
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty())
        throw CannotOpen(path, ENOENT);
    return RealFileSystem().ReadFile(disk);
}

bool TPretendFileSystem::Within(const std::string& folder, const std::string& path) {
    // A planned path stands for the disk file it holds; a planned folder lies where it is made.
    const std::string disk = DiskFile(NormalPath(path));
    return RealFileSystem().Within(folder, disk.empty() ? path : disk);
}

void TPretendFileSystem::WriteFileReplacing(const std::string& path, const std::string& bytes,
                                            bool) {
    Written[NormalPath(path)] = bytes;
}

void TPretendFileSystem::LoadAudioInfo(const std::string& path, TAudioInfo& info) {
    const std::string normal = NormalPath(path);
    const std::string disk = DiskFile(normal);
    if (disk.empty())
        throw CannotOpen(path, ENOENT);
    std::vector<TPatch>& patches = Patches[disk];
    const int64_t dropped = Dropped[disk];
    // A file as it is on the disk: the real file system's facts, read once for the command.
    if (patches.empty() && dropped == 0 && disk == normal) {
        RealFileSystem().LoadAudioInfo(disk, info);
        return;
    }
    // A planned change laid over it: analysed again only when the plan changed it since.
    const TAnalysed version{disk, patches.size(), dropped, info.ReadID3v2Fields};
    if (const auto it = Analysed.find(normal);
        it != Analysed.end() && it->second.first == version) {
        info = it->second.second;
        return;
    }
    TFileStream base(disk, TFileStream::Mode::Read);
    TOverlayStream overlay(base, patches, dropped);
    info.LoadFromStream(overlay, base.ModificationTime(), base.FileMode(), path);
    info.Identity = base.OpenedIdentity();
    info.Links = base.LinkCount();
    Analysed[normal] = {version, info};
}

void TPretendFileSystem::LoadID3v1(const std::string& path, TID3v1Tag& tag) {
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty())
        throw CannotOpen(path, ENOENT);
    TFileStream base(disk, TFileStream::Mode::Read);
    TOverlayStream overlay(base, Patches[disk], Dropped[disk]);
    tag.LoadFromStream(overlay, overlay.Size());
}

void TPretendFileSystem::SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity&) {
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty())
        throw CannotOpen(path, ENOENT);
    // The write itself would open the file for writing: a file that cannot be is refused now.
    if (::access(disk.c_str(), W_OK) != 0)
        throw CannotOpen(path, errno);
    TFileStream base(disk, TFileStream::Mode::Read);
    TOverlayStream overlay(base, Patches[disk], Dropped[disk]);
    uint8_t block[kID3v1Size];
    TID3v1Tag(tag).SaveToBuffer(block, sizeof block);
    tag.SaveToWholeStream(overlay);
    // The tag as the file would then hold it, as the real save gives it back.
    tag.LoadFromBuffer(block, sizeof block);
}

std::string TPretendFileSystem::ReadFilePrefix(const std::string& path, int64_t bytes) {
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty() || Dropped[disk] != 0)
        return "";
    return TFileSystem::ReadFilePrefix(disk, bytes);
}

TMoveResult TPretendFileSystem::ReplaceFilePrefix(const std::string& path, const TFileIdentity&,
                                                  const std::string& oldPrefix,
                                                  const std::string&) {
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty())
        return {false, ENOENT};
    if (static_cast<int64_t>(oldPrefix.size()) > EntrySize(path))
        return {false, EINVAL};
    return {true, 0};
}

TMoveResult TPretendFileSystem::DropFilePrefix(const std::string& path, int64_t bytes,
                                               const TFileIdentity&, const std::string&) {
    const std::string disk = DiskFile(NormalPath(path));
    if (disk.empty())
        return {false, ENOENT};
    if (bytes > EntrySize(path))
        return {false, EINVAL};
    Dropped[disk] += bytes;
    for (TPatch& p : Patches[disk]) {
        p.Offset -= bytes;
        if (p.Offset < 0) {  // the part of a write that lay in the dropped bytes goes with them
            const auto cut = static_cast<size_t>(
                std::min<int64_t>(-p.Offset, static_cast<int64_t>(p.Bytes.size())));
            p.Bytes.erase(p.Bytes.begin(), p.Bytes.begin() + static_cast<long>(cut));
            p.Offset = 0;
        }
    }
    return {true, 0};
}

}  // namespace velmora
