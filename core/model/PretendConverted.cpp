// The file system the plan of a batch that converts first runs over: the disk with the batch's
// planned changes laid over it (core/files/PretendFileSystem.h), and the conversion's new files
// there already, each a small file of its planned kind and tags (PlannedFileBytes) that the
// batch's steps read, tag, strip and move like any other.
#include <algorithm>
#include <cerrno>
#include <map>

#include "core/files/Paths.h"
#include "core/files/PretendFileSystem.h"
#include "core/model/ConvertLog.h"

namespace velmora {
namespace {

class TPretendConverted : public TPretendFileSystem {
  public:
    explicit TPretendConverted(const TConvertPlan& plan) {
        for (const TConvertItem& item : plan.Items) {
            if (item.Problem.empty())
                Planned[NormalPath(item.Target)] = PlannedFileBytes(item, plan.Settings.Kbps);
        }
    }

    bool ListDir(const std::string& dir, std::vector<TDirEntry>& entries) override {
        if (!TPretendFileSystem::ListDir(dir, entries))
            return false;
        const std::string folder = NormalPath(dir);
        for (const auto& [path, bytes] : Planned) {
            if (ParentOf(path) != folder)
                continue;
            const std::string name = NameOf(path);
            std::erase_if(entries, [&](const TDirEntry& e) { return e.Name == name; });
            TDirEntry entry{name, TDirEntry::Kind::File, name[0] == '.'};
            entry.Size = static_cast<int64_t>(bytes.size());
            entries.push_back(entry);
        }
        SortDirEntries(entries);
        return true;
    }
    int64_t EntrySize(const std::string& path) override {
        const auto it = Planned.find(NormalPath(path));
        return it != Planned.end() ? static_cast<int64_t>(it->second.size())
                                   : TPretendFileSystem::EntrySize(path);
    }
    bool FileExists(const std::string& path) override {
        return Planned.count(NormalPath(path)) != 0 || TPretendFileSystem::FileExists(path);
    }
    TMoveResult MoveFile(const std::string& from, const std::string& to) override {
        const std::string source = NormalPath(from), target = NormalPath(to);
        const auto it = Planned.find(source);
        if (source != target && Planned.count(target) != 0)
            return {false, EEXIST};
        if (it == Planned.end())
            return TPretendFileSystem::MoveFile(from, to);
        if (source == target)
            return {true, 0};
        std::vector<TDirEntry> entries;
        if (!TPretendFileSystem::ListDir(ParentOf(target), entries))
            return {false, ENOENT};
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const TDirEntry& e) { return e.Name == NameOf(target); }))
            return {false, EEXIST};
        Planned[target] = std::move(it->second);
        Planned.erase(source);
        return {true, 0};
    }
    void LoadAudioInfo(const std::string& path, TAudioInfo& info) override {
        const auto it = Planned.find(NormalPath(path));
        if (it == Planned.end())
            return TPretendFileSystem::LoadAudioInfo(path, info);
        TMemoryStream stream(it->second);
        info.LoadFromStream(stream, 0, 0644, path);
    }
    void LoadID3v1(const std::string& path, TID3v1Tag& tag) override {
        const auto it = Planned.find(NormalPath(path));
        if (it == Planned.end())
            return TPretendFileSystem::LoadID3v1(path, tag);
        TMemoryStream stream(it->second);
        tag.LoadFromStream(stream, stream.Size());
    }
    void SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity& identity) override {
        const auto it = Planned.find(NormalPath(path));
        if (it == Planned.end())
            return TPretendFileSystem::SaveID3v1(path, tag, identity);
        TMemoryStream stream(it->second);
        tag.SaveToWholeStream(stream);
        it->second = std::move(stream.Bytes);
    }
    TMoveResult DropFilePrefix(const std::string& path, int64_t bytes,
                               const TFileIdentity& identity, const std::string& head) override {
        const auto it = Planned.find(NormalPath(path));
        if (it == Planned.end())
            return TPretendFileSystem::DropFilePrefix(path, bytes, identity, head);
        if (bytes > static_cast<int64_t>(it->second.size()))
            return {false, EINVAL};
        it->second.erase(it->second.begin(), it->second.begin() + static_cast<long>(bytes));
        return {true, 0};
    }
    std::string ReadFilePrefix(const std::string& path, int64_t bytes) override {
        const auto it = Planned.find(NormalPath(path));
        if (it == Planned.end())
            return TPretendFileSystem::ReadFilePrefix(path, bytes);
        if (bytes < 0 || bytes > static_cast<int64_t>(it->second.size()))
            return "";
        return std::string(it->second.begin(), it->second.begin() + static_cast<long>(bytes));
    }
    TMoveResult ReplaceFilePrefix(const std::string& path, const TFileIdentity& identity,
                                  const std::string& oldPrefix,
                                  const std::string& newPrefix) override {
        const auto it = Planned.find(NormalPath(path));
        if (it == Planned.end())
            return TPretendFileSystem::ReplaceFilePrefix(path, identity, oldPrefix, newPrefix);
        if (oldPrefix.size() > it->second.size())
            return {false, EINVAL};
        it->second.erase(it->second.begin(),
                         it->second.begin() + static_cast<long>(oldPrefix.size()));
        it->second.insert(it->second.begin(), newPrefix.begin(), newPrefix.end());
        return {true, 0};
    }

  private:
    std::map<std::string, std::vector<uint8_t>> Planned;  // by planned path
};

}  // namespace

std::unique_ptr<TPretendFileSystem> PretendConverted(const TConvertPlan& plan) {
    return std::make_unique<TPretendConverted>(plan);
}

}  // namespace velmora
