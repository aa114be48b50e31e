// The file-system layer of the model. The real one talks to Linux; tests may replace it with a
// double that fails on purpose (read-only places, full disks, refused links).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"
#include "core/files/Leftovers.h"
#include "core/files/Paths.h"

namespace velmora {

struct TDirEntry {
    std::string Name;
    enum class Kind { File, Directory, Other } Type = Kind::Other;  // links are followed
    bool Hidden = false;                                            // the name begins with "."
    bool Link = false;                                              // a symbolic link
    int64_t Size = -1;  // a file's size, when the listing learnt it on the way; else -1
};

// Result of a file operation: Ok, or the errno that made it fail.
struct TMoveResult {
    bool Ok = false;
    int Error = 0;
};

// A write that replaces a file could not go through a temporary file beside it (the folder
// refuses new files), and overwriting it in place was not allowed: a kill during such an
// overwrite would leave it half old, half new.
class EInPlaceNeeded : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

// The file changed after it was read (another program wrote, replaced or removed it): it is left
// as it is.
class EChangedMeanwhile : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
// "Файл «<path>» изменён другой программой после чтения: Velmora его не меняет"
std::string ChangedMeanwhileText(const std::string& path);

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
    // Creates one folder; the errno when it cannot (it exists already, bad name, no access).
    virtual TMoveResult CreateDir(const std::string& path) = 0;
    // Moves a file; never replaces an existing target and never loses the source.
    virtual TMoveResult MoveFile(const std::string& from, const std::string& to) = 0;
    // Reads a whole file; throws EStreamError(CannotOpenText) when it cannot.
    virtual std::string ReadFile(const std::string& path) = 0;
    // Writes a whole file through a temporary file beside it renamed over it, so a failure
    // leaves an existing file whole; throws EStreamError(CannotCreateText) when it cannot. Where
    // the folder cannot take the temporary file but the file exists and may be written, it is
    // overwritten in place when inPlaceAllowed, else EInPlaceNeeded is thrown and nothing
    // changes.
    virtual void WriteFileReplacing(const std::string& path, const std::string& bytes,
                                    bool inPlaceAllowed = false) = 0;

    // True when the file or folder at `path` is `folder` itself or lies inside it once links
    // are resolved; a path that names nothing counts as inside by its spelling.
    virtual bool Within(const std::string& folder, const std::string& path);
    // Takes the lock of a folder that every command changing it holds, so that two copies of
    // the program never interleave their work there; false when another copy holds it. Takes
    // nest; each is paired with an UnlockFolder. The real disk holds the folder by its
    // descriptor meanwhile (core/files/FolderLock.h). Commands take it through TFolderLock.
    virtual bool LockFolder(const std::string& folder);
    virtual void UnlockFolder(const std::string& folder);
    // False when the folder is held and its path names another folder now (it was moved or
    // replaced): a command in the middle of its work stops.
    virtual bool FolderInPlace(const std::string& folder);
    // The folder's device and inode (Size 0), through its descriptor while it is held; not Known
    // when there is none.
    virtual TFileIdentity FolderIdentity(const std::string& folder);

    // The audio layer's file operations, here so that a file system that only pretends can
    // show a planned change to the reads that follow it. By default they go to the disk.
    // Analyses the file (TAudioInfo::LoadFromFile).
    virtual void LoadAudioInfo(const std::string& path, TAudioInfo& info);
    // Reads the ID3v1 tag of the file (TID3v1Tag::LoadFromFile).
    virtual void LoadID3v1(const std::string& path, TID3v1Tag& tag);
    // Writes the tag into the file, in place or appended, when the file is still the one
    // `identity` names and still ends in the bytes the tag was read from (when known; else
    // EChangedMeanwhile, and nothing is written: core/files/TagBlockWrite.h), and sets `identity`
    // to the file as written and the tag to what the file now holds (ReadBlock included).
    virtual void SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity& identity);
    // Removes the first `bytes` bytes of the file (an ID3v2 tag that begins with `head`) by a
    // safe rewrite, only while it is the file `identity` names and still begins with `head`
    // (else ESTALE); on any failure, or a kill, the file is as it was.
    virtual TMoveResult DropFilePrefix(const std::string& path, int64_t bytes,
                                       const TFileIdentity& identity, const std::string& head);
    // The first `bytes` bytes of the file ("" when it cannot be read).
    virtual std::string ReadFilePrefix(const std::string& path, int64_t bytes);
    // Puts `newPrefix` in place of the file's first bytes `oldPrefix` by a safe rewrite, only
    // while it is the file `identity` names and still begins with `oldPrefix` (else ESTALE); on
    // any failure, or a kill, the file is as it was.
    virtual TMoveResult ReplaceFilePrefix(const std::string& path, const TFileIdentity& identity,
                                          const std::string& oldPrefix,
                                          const std::string& newPrefix);
    // Completes, undoes or removes what a stopped program of ours left in a folder being
    // opened (core/Leftovers.h); names what only looks like ours.
    virtual TLeftovers CleanLeftovers(const std::string& folder) {
        (void)folder;
        return {};
    }
};

class TCollator;

// Puts folder entries in the order every listing of the program uses: the natural order of the
// user's locale (UserCollator in core/Collation.h), or of the given collator.
void SortDirEntries(std::vector<TDirEntry>& entries);
void SortDirEntries(std::vector<TDirEntry>& entries, const TCollator& collator);

TFileSystem& RealFileSystem();

// True when something that is neither a regular file nor a folder stands at the path (links
// followed): a device, a FIFO, a socket, a terminal. Such a target of a report or a track list is
// written straight into and never replaced by a file.
bool IsSpecialFile(const std::string& path);
// Writes the bytes into such a file; "" or why it failed (a FIFO nobody reads is not waited for).
std::string WriteIntoSpecialFile(const std::string& path, const std::string& bytes);
// Why a file was not replaced where its folder takes no new file (EInPlaceNeeded).
std::string InPlaceNeededText(const std::string& path);

// A short Russian reason for an errno, for the lines a user reads ("файловая система только
// для чтения", "нет прав", "уже есть", ...); the system's own text for the rest.
std::string ErrorReason(int error);

}  // namespace velmora
