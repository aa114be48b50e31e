// The file-system layer of the model. The real one talks to Linux; tests may replace it with a
// double that fails on purpose (read-only places, full disks, refused links).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"
#include "core/Paths.h"

namespace velmora {

struct TDirEntry {
    std::string Name;
    enum class Kind { File, Directory, Other } Type = Kind::Other;  // links are followed
    bool Hidden = false;                                            // the name begins with "."
};

// Result of a move: Ok, or the errno that made it fail.
struct TMoveResult {
    bool Ok = false;
    int Error = 0;
};

class TFileSystem {
  public:
    virtual ~TFileSystem() = default;
    // The entries of one folder in the natural order of names (SortDirEntries); false when the
    // folder cannot be enumerated.
    virtual bool ListDir(const std::string& dir, std::vector<TDirEntry>& entries) = 0;
    // Size of the named entry in bytes, or -1 when there is none.
    virtual int64_t EntrySize(const std::string& path) = 0;
    // True when a regular file (or a link to one) exists at path.
    virtual bool FileExists(const std::string& path) = 0;
    // Creates one folder; false when it cannot (it exists already, bad name, no access).
    virtual bool CreateDir(const std::string& path) = 0;
    // Moves a file; never replaces an existing target and never loses the source.
    virtual TMoveResult MoveFile(const std::string& from, const std::string& to) = 0;
    // Reads a whole file; throws EStreamError(CannotOpenText) when it cannot.
    virtual std::string ReadFile(const std::string& path) = 0;
    // Writes a whole file through a temporary file beside it renamed over it, so a failure
    // leaves an existing file whole; throws EStreamError(CannotCreateText) when it cannot.
    // Where the folder cannot take the temporary file but the file exists and may be written,
    // it is overwritten in place; a failure after that began says so in its message.
    virtual void WriteFileReplacing(const std::string& path, const std::string& bytes) = 0;

    // The audio layer's file operations, here so that a file system that only pretends can
    // show a planned change to the reads that follow it. By default they go to the disk.
    // Analyses the file (TAudioInfo::LoadFromFile).
    virtual void LoadAudioInfo(const std::string& path, TAudioInfo& info) {
        info.LoadFromFile(path);
    }
    // Reads the ID3v1 tag of the file (TID3v1Tag::LoadFromFile).
    virtual void LoadID3v1(const std::string& path, TID3v1Tag& tag) { tag.LoadFromFile(path); }
    // Writes the tag into the file, in place or appended (TID3v1Tag::SaveToFile).
    virtual void SaveID3v1(const std::string& path, TID3v1Tag& tag) { tag.SaveToFile(path); }
    // Removes the first `bytes` bytes of the file (an ID3v2 tag) by a safe rewrite: on any
    // failure, or a kill, the file is as it was.
    virtual TMoveResult DropFilePrefix(const std::string& path, int64_t bytes);
    // Completes, undoes or removes what a stopped program of ours left in a folder being
    // opened (see core/Leftovers.h).
    virtual void CleanLeftovers(const std::string& folder) { (void)folder; }
};

class TCollator;

// Puts folder entries in the order every listing of the program uses: the natural order of the
// user's locale (UserCollator in core/Collation.h), or of the given collator.
void SortDirEntries(std::vector<TDirEntry>& entries);
void SortDirEntries(std::vector<TDirEntry>& entries, const TCollator& collator);

TFileSystem& RealFileSystem();

}  // namespace velmora
