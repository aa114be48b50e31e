// What a move or a rewrite killed half way leaves behind, and how the next open of the folder
// completes or undoes it.
//
// Every hidden file the program makes is named ".velmora-<pid>-<n>.<kind>", which keeps it within
// any name limit whatever the name of the file it serves:
//   tmp      data written for a copy, a rewrite, a report or a table; removed when found;
//   move     the user's own file between the two steps of a rename that only changes letter case;
//            never removed, put back under its name by its journal;
//   journal  a move in flight (see TJournal), in the folder of the moved file.
// A leftover is acted on only when the process named in it no longer runs.
#pragma once

#include <sys/types.h>

#include <string>

#include "core/SysCalls.h"

namespace velmora {

// A free hidden name of the given kind, without a folder.
std::string TemporaryName(const char* kind);

// Creates a file of the given kind in `folder` (ending with "/" or empty) with O_EXCL and mode
// 0600; returns the descriptor and sets `path`, or -1 with errno set.
int CreateTemporary(TSysCalls& sys, const std::string& folder, const char* kind, std::string& path);

// The record of one move in flight, written before its first visible step and removed after its
// last one.
struct TJournal {
    enum class EKind : char {
        Claim = 'c',       // an empty placeholder is taken under To, then From renamed over it
        Link = 'l',        // a symbolic link is made at To, then From removed
        HardLink = 'h',    // a hard link is made at To, then From removed
        Copy = 'x',        // From is copied to Temp in To's folder, Temp moved to To, From removed
        CaseRename = 'r',  // From is moved to Temp, then Temp to To
    };
    EKind Kind = EKind::Claim;
    std::string From, To, Temp;
    bool HasInode = false;  // the placeholder's (Claim) or the finished copy's (Copy) inode
    dev_t Dev = 0;
    ino_t Ino = 0;
    std::string Path;  // where the journal itself is

    static TJournal Of(EKind kind, const std::string& from, const std::string& to) {
        TJournal journal;
        journal.Kind = kind;
        journal.From = from;
        journal.To = to;
        return journal;
    }
};

// Writes the journal into the folder of `journal.From` and sets its Path; false with errno set.
bool WriteJournal(TSysCalls& sys, TJournal& journal);
// Adds the inode to a written journal; false with errno set.
bool AddJournalInode(TSysCalls& sys, TJournal& journal, dev_t dev, ino_t ino);
// Removes a journal once its move is complete or undone.
void DropJournal(TSysCalls& sys, const TJournal& journal);

// Completes or undoes the moves whose journals lie in `folder` or in its subfolders, then removes
// the temporary files left there, all only where the process that made them is gone. Nothing
// else is removed. Returns the number of leftovers handled.
int CleanLeftovers(TSysCalls& sys, const std::string& folder);
int CleanLeftovers(const std::string& folder);

}  // namespace velmora
