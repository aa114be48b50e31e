// The opened folder held for a command that changes it: locked, so that two copies of the program
// never interleave their work there, and held by its descriptor, so that every path inside it
// names an entry of the folder that was opened, whatever happens to the folder's name meanwhile
// (renamed, or a link to another folder put in its place).
//
// While a folder is held, the system calls of this process (core/files/SysCalls.h) resolve every
// path that is spelt inside it against its descriptor: the part below the folder is walked from
// the descriptor, subfolders without following links, so a swapped path changes nothing. A
// descriptor opened for writing an existing file is opened beneath the folder (openat2 with
// RESOLVE_BENEATH): a link inside the folder may lead to another file of the folder, never out
// of it. The folders a command makes are journaled while it holds the folder, so that the next
// open removes those a killed command left empty.
#pragma once

#include <sys/types.h>

#include <string>

#include "audio/FileStream.h"
#include "core/files/SysCalls.h"

namespace velmora {

class TFileSystem;

// "Папку <folder> уже обрабатывает другая копия Velmora"
std::string FolderBusyText(const std::string& folder);
// "Папка <folder> перемещена или заменена другой программой: работа остановлена, ..."
std::string FolderMovedText(const std::string& folder);

// Holds a folder for the life of the object through the file system's LockFolder (a file system
// that only pretends holds nothing). Takes nest: an inner take of a folder held already costs no
// system call.
class TFolderLock {
  public:
    enum class EMode {
        Try,      // Held() tells whether the folder could be taken
        Require,  // a folder that cannot be taken throws EStreamError(FolderBusyText)
    };
    // With `opened` known (the folder as it was opened, TFileSystem::FolderIdentity), a folder
    // whose path names another folder now is refused too: EStreamError(FolderMovedText). A take
    // inside a held folder looks at nothing.
    TFolderLock(TFileSystem& fs, const std::string& folder, EMode mode = EMode::Try,
                const TFileIdentity& opened = {});
    ~TFolderLock() { Release(); }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // False when another copy of the program holds the folder (or the folder is "").
    bool Held() const { return IsHeld; }
    // Throws EStreamError(FolderBusyText) when the folder is not held.
    void Require() const;
    // Lets the folder go before the object does.
    void Release();

  private:
    TFileSystem& Fs;
    std::string Folder;
    bool IsHeld = false;
};

// ---- The process's held folders (what TFileSystem::LockFolder of the real disk uses) ----

// Takes the folder: opens it, locks it with flock(2) and keeps its descriptor. False when another
// process holds its lock; a file system without locks lets the work go on unlocked. A folder held
// already (by this spelling or another one of the same folder) is taken once more.
bool HoldFolder(const std::string& folder);
// Gives one take back; the last one closes the descriptor (which ends the lock) and removes the
// journal of the folders made.
void ReleaseFolder(const std::string& folder);
// True when this process holds the folder (by this spelling), without a system call.
bool FolderHeld(const std::string& folder);
// True unless the folder is held and its path no longer names the folder held (it was moved,
// removed, or something else put in its place).
bool HeldFolderInPlace(const std::string& folder);

// A path as the system calls take it: a folder's descriptor and a name relative to it. For a path
// spelt inside a held folder the descriptor is the held folder's (or a subfolder's, opened from it
// without following links); for any other path it is AT_FDCWD and the name is the path.
class THeldPath {
  public:
    explicit THeldPath(const char* path);
    ~THeldPath();
    THeldPath(const THeldPath&) = delete;
    THeldPath& operator=(const THeldPath&) = delete;

    int Dir() const { return DirFd; }
    const char* Name() const { return Inside ? NamePtr : Path; }
    // Set when a subfolder on the way could not be opened (missing, not a folder, a link): the
    // call fails with it.
    int Error() const { return Err; }
    bool InHeldFolder() const { return Inside; }

  private:
    const char* Path;
    const char* NamePtr = nullptr;  // the tail of Path (or of Store) below the folder
    int DirFd;
    int Owned = -1;
    int Err = 0;
    bool Inside = false;
    std::string Store;  // the path in its normal form, when it was not
    std::string Tail;   // the name, when something follows it in the path ("/.")
};

// The real path of the held folder a path is spelt inside, as it was when taken; "" for none.
std::string HeldRealPath(const char* path);

// The journal of the folders a command makes in a held folder: each is noted before it is made
// and once more after, so that the next open removes the ones a kill left empty (and no folder of
// the user's). Used by TFileSystem::CreateDir of the real disk.
// Makes the folder, journaled when it lies in a held folder; 0 or the errno.
int MakeJournaledFolder(TSysCalls& sys, const std::string& path);

}  // namespace velmora
