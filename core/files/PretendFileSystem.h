// A file system that only pretends: reads see the real disk with the planned changes laid over
// it; writes (tag blocks, new folders, moves) are remembered, not done. The batch runs over it
// unchanged to show its plan.
#pragma once

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/files/FileSystem.h"

namespace velmora {

class TPretendFileSystem : public TFileSystem {
  public:
    // Bytes written at an offset of a file that stays on the disk as it is.
    struct TPatch {
        int64_t Offset;
        std::vector<uint8_t> Bytes;
    };

    bool ListDir(const std::string& dir, std::vector<TDirEntry>& entries) override;
    int64_t EntrySize(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    TMoveResult CreateDir(const std::string& path) override;
    TMoveResult MoveFile(const std::string& from, const std::string& to) override;
    std::string ReadFile(const std::string& path) override;
    void WriteFileReplacing(const std::string& path, const std::string& bytes,
                            bool inPlaceAllowed) override;
    bool Within(const std::string& folder, const std::string& path) override;
    bool LockFolder(const std::string&) override { return true; }
    void UnlockFolder(const std::string&) override {}
    TFileIdentity FolderIdentity(const std::string&) override { return {}; }
    void LoadAudioInfo(const std::string& path, TAudioInfo& info) override;
    void LoadID3v1(const std::string& path, TID3v1Tag& tag) override;
    void SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity& identity) override;
    TMoveResult DropFilePrefix(const std::string& path, int64_t bytes,
                               const TFileIdentity& identity, const std::string& head) override;
    // The plan reads the file as it is and leaves its first bytes as they are.
    std::string ReadFilePrefix(const std::string& path, int64_t bytes) override;
    TMoveResult ReplaceFilePrefix(const std::string& path, const TFileIdentity& identity,
                                  const std::string& oldPrefix,
                                  const std::string& newPrefix) override;

  private:
    std::map<std::string, std::string> Origin;           // planned path -> the disk file it holds
    std::set<std::string> Gone;                          // disk paths moved away
    std::set<std::string> Dirs;                          // planned folders
    std::map<std::string, std::vector<TPatch>> Patches;  // by disk file, at planned offsets
    std::map<std::string, int64_t> Dropped;              // bytes cut from a disk file's start
    std::map<std::string, std::string> Written;          // whole files written
    // Analyses of files with planned changes, by planned path, with the changes they saw: the
    // disk file, how many patches, how many bytes dropped, whether the ID3v2 fields were read.
    using TAnalysed = std::tuple<std::string, size_t, int64_t, bool>;
    std::map<std::string, std::pair<TAnalysed, TAudioInfo>> Analysed;

    // What a path names on the disk (links followed for the kind), looked at once.
    struct TOnDisk {
        bool Taken = false, File = false, Dir = false;
    };
    mutable std::map<std::string, TOnDisk> Seen;
    const TOnDisk& OnDisk(const std::string& normal) const;

    // The disk file a path names now, or "" when it names none.
    std::string DiskFile(const std::string& normal) const;
    bool IsDir(const std::string& normal) const;
    bool Taken(const std::string& normal) const;
};

}  // namespace velmora
