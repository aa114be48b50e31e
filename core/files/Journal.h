// The program's own hidden files: temporary files and the journals of moves and rewrites in
// flight. Every such file is named ".velmora-<pid>-<n>.<kind>", which keeps it within any name
// limit whatever the name of the file it serves:
//   tmp      data written for a copy, a rewrite, a report, a table or a disc image;
//   move     the user's own file between the two steps of a rename that only changes letter case;
//   journal  what one move or rewrite is doing (TJournal), in the folder of the file it serves,
//            or the folders a command made there.
// A name alone never makes a file ours: a temporary file is made only after a journal naming it
// has been written, and the next open of the folder obeys a journal only when it was written by
// this program for that very folder, by the user running it, readable by that user alone
// (core/files/Leftovers.h).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "core/files/SysCalls.h"

namespace velmora {

// A free hidden name of the given kind ("tmp", "move", "journal"), without a folder.
std::string TemporaryName(const char* kind);

// A name of ours: the owner's pid and the kind, or pid 0 when the name is not one of ours.
struct TOwnName {
    pid_t Pid = 0;
    std::string Kind;
};
TOwnName ParseOwnName(const std::string& name);

// The record of one move or rewrite in flight, written before its first visible step and removed
// after its last one. Its paths are absolute.
struct TJournal {
    enum class EKind : char {
        Claim = 'c',       // an empty placeholder is taken under To, then From renamed over it
        Link = 'l',        // a symbolic link is made at To, then From removed
        HardLink = 'h',    // a hard link is made at To, then From removed
        Copy = 'x',        // From is copied to Temp in To's folder, Temp moved to To, From removed
        CaseRename = 'r',  // From is moved to Temp, then Temp to To
        Rewrite = 'w',     // new bytes for From are written to Temp, then Temp renamed over From
                           // (or exchanged with it, and From's old file, now under Temp, removed)
        // new bytes for From are written to Temp; only then From is moved to To (the original
        // kept beside), and Temp takes From's name
        Replace = 'v',
        Folders = 'd',  // the folders a command makes in From's folder (Made)
    };
    EKind Kind = EKind::Claim;
    std::string From, To, Temp;
    // The inode of the file the journal made: the placeholder (Claim) or the temporary file
    // (Copy, Rewrite, Replace), added once that file exists.
    bool HasInode = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    // The folder the journal was written into, so that a journal copied elsewhere (an archive,
    // another disk) is never taken for one of that folder.
    dev_t FolderDev = 0;
    ino_t FolderIno = 0;
    std::string Path;  // where the journal itself is
    // The file a rewrite replaces, when known (written with the inode).
    bool HasSource = false;
    dev_t SourceDev = 0;
    ino_t SourceIno = 0;
    // Folders: each folder noted before it was made, while its name was free; one noted but not
    // made is Cancelled.
    struct TMadeFolder {
        std::string Name;
        bool Cancelled = false;
    };
    std::vector<TMadeFolder> Made;

    static TJournal Of(EKind kind, const std::string& from, const std::string& to) {
        TJournal journal;
        journal.Kind = kind;
        journal.From = from;
        journal.To = to;
        return journal;
    }
};

// Writes the journal into the folder of `journal.From` and sets its Path; its paths are made
// absolute first. False with errno set.
bool WriteJournal(TSysCalls& sys, TJournal& journal);
// Adds the inode to a written journal (and the source's, when HasSource); false with errno set.
bool AddJournalInode(TSysCalls& sys, TJournal& journal, dev_t dev, ino_t ino);
// Removes a journal once its work is complete or undone.
void DropJournal(TSysCalls& sys, const TJournal& journal);
// Reads a journal of ours (this version's); false for anything else. Ours means also a regular
// file of the user running the program with mode 0600, as the program makes them: a journal
// another user wrote (into a shared folder, say) is never obeyed.
bool ReadJournal(TSysCalls& sys, const std::string& path, TJournal& journal);
// True for a journal of ours (as above) whose writing stopped before its record was whole: the
// work it was to describe made no step yet.
bool IsUnfinishedJournal(TSysCalls& sys, const std::string& path);
// The same two on a journal's bytes (`path` is where they were read from).
bool ParseJournal(const std::string& bytes, const std::string& path, TJournal& journal);
bool IsUnfinishedRecord(const std::string& bytes);

// 0666 less the process's umask: the mode a new file made by open(2) would get.
mode_t CreationMode();

// A temporary file for the journal's work: the journal (its Temp a free name in `folder`) is
// written first, then the file is made with O_EXCL and mode 0600 and its inode added to the
// journal. Returns the descriptor, or -1 with errno set and nothing left behind.
int CreateJournaledTemporary(TSysCalls& sys, const std::string& folder, TJournal& journal);

}  // namespace velmora
