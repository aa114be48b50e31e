#include "core/files/Leftovers.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>

#include "core/files/Journal.h"
#include "core/files/Paths.h"
#include "core/files/SafeMove.h"

namespace velmora {
namespace {

bool ProcessRuns(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsInode(const struct stat& st, const TJournal& journal) {
    return journal.HasInode && st.st_dev == journal.Dev && st.st_ino == journal.Ino;
}

bool IsSource(const struct stat& st, const TJournal& journal) {
    return journal.HasSource && st.st_dev == journal.SourceDev && st.st_ino == journal.SourceIno;
}

// A name a folders journal may note: one entry of the journal's own folder.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return "";
    std::string result = real;
    std::free(real);
    return result;
}

// The path with its folder's links resolved, so that two spellings of one entry compare equal.
std::string Canonical(const std::string& path) {
    const std::string parent = RealPath(ParentOf(path));
    return parent.empty() ? NormalPath(path) : JoinPath(parent == "/" ? "" : parent, NameOf(path));
}

// The opened folder, resolved, that every path a journal names must lie in.
class TBoundary {
  public:
    explicit TBoundary(const std::string& folder) : Real(RealPath(folder)) {}
    bool Valid() const { return !Real.empty(); }
    const std::string& Path() const { return Real; }

    // True when the path's folder, links resolved, is the opened folder or lies below it, and
    // its name is a name. A path whose folder is gone holds nothing to act on and counts as
    // inside only by its spelling.
    bool Holds(const std::string& path) const {
        const std::string name = NameOf(path);
        if (path.empty() || path[0] != '/' || name.empty() || name == "." || name == "..")
            return false;
        const std::string parent = RealPath(ParentOf(path));
        return PathWithin(parent.empty() ? ParentOf(NormalPath(path)) : parent, Real);
    }

  private:
    std::string Real;
};

// A journal of ours, for this folder, naming only paths inside the opened folder.
bool Obeyed(TSysCalls& sys, const TJournal& j, const TBoundary& boundary) {
    struct stat here {};
    if (sys.Lstat((ParentOf(j.Path) + "/.").c_str(), &here) != 0 || here.st_dev != j.FolderDev ||
        here.st_ino != j.FolderIno)
        return false;
    if (RealPath(ParentOf(j.From)) != RealPath(ParentOf(j.Path)))
        return false;
    for (const std::string* path : {&j.From, &j.To, &j.Temp}) {
        if (!(path->empty() && path != &j.From) && !boundary.Holds(*path))
            return false;
    }
    for (const TJournal::TMadeFolder& made : j.Made) {
        if (!PlainName(made.Name))
            return false;
    }
    return true;
}

// A temporary file a journal made: there, a regular file, and the inode the journal recorded
// when it made it. Stopped before the record, the file is as open(2) made it: empty, the user's
// own, readable by the user alone.
bool IsJournalsTemporary(TSysCalls& sys, const TJournal& j) {
    struct stat temp {};
    if (j.Temp.empty() || sys.Lstat(j.Temp.c_str(), &temp) != 0 || !S_ISREG(temp.st_mode) ||
        ParseOwnName(NameOf(j.Temp)).Kind != "tmp")
        return false;
    if (j.HasInode)
        return IsInode(temp, j);
    return temp.st_size == 0 && temp.st_uid == ::geteuid() && (temp.st_mode & 07777) == 0600;
}

// Completes or undoes the work of one obeyed journal.
void Recover(TSysCalls& sys, const TJournal& j) {
    struct stat from {};
    struct stat to {};
    const bool hasFrom = sys.Lstat(j.From.c_str(), &from) == 0;
    const bool hasTo = !j.To.empty() && sys.Lstat(j.To.c_str(), &to) == 0;
    switch (j.Kind) {
        case TJournal::EKind::Claim:
            // The placeholder is ours when it has the inode noted, or, when the move was stopped
            // before the inode was noted, when the file to move is still there: the name was
            // free when the journal was written.
            if (hasTo && S_ISREG(to.st_mode) && to.st_size == 0 &&
                (j.HasInode ? IsInode(to, j) : hasFrom && !SameInode(from, to))) {
                sys.Unlink(j.To.c_str());
            }
            return;
        case TJournal::EKind::Link: {
            struct stat fromTarget {};
            struct stat toTarget {};
            if (hasFrom && hasTo && S_ISLNK(from.st_mode) && S_ISLNK(to.st_mode) &&
                sys.Stat(j.From.c_str(), &fromTarget) == 0 &&
                sys.Stat(j.To.c_str(), &toTarget) == 0 && SameInode(fromTarget, toTarget)) {
                sys.Unlink(j.From.c_str());
            }
            return;
        }
        case TJournal::EKind::HardLink:
            // Both names reach the one file: the old one goes.
            if (hasFrom && hasTo && S_ISREG(from.st_mode) && SameInode(from, to) &&
                from.st_nlink > 1)
                sys.Unlink(j.From.c_str());
            return;
        case TJournal::EKind::Copy:
            // The complete copy stands under its name: only the source is left to remove.
            if (hasFrom && hasTo && S_ISREG(from.st_mode) && IsInode(to, j) &&
                to.st_size == from.st_size) {
                sys.Unlink(j.From.c_str());
            }
            if (IsJournalsTemporary(sys, j))
                sys.Unlink(j.Temp.c_str());
            return;
        case TJournal::EKind::Rewrite: {
            struct stat temp {};
            const bool hasTemp = !j.Temp.empty() && sys.Lstat(j.Temp.c_str(), &temp) == 0 &&
                                 S_ISREG(temp.st_mode) &&
                                 ParseOwnName(NameOf(j.Temp)).Kind == "tmp";
            if (hasFrom && IsInode(from, j) && hasTemp && !IsInode(temp, j)) {
                // Stopped after the exchange: the new file has the name, the one it replaced
                // stands under the temporary name. That is the rewritten file, which goes; any
                // other file (put under the name meanwhile) gets its name back and ours goes.
                if (IsSource(temp, j)) {
                    sys.Unlink(j.Temp.c_str());
                } else if (sys.RenameExchange(j.Temp.c_str(), j.From.c_str()) == 0 &&
                           IsJournalsTemporary(sys, j)) {
                    sys.Unlink(j.Temp.c_str());
                }
                return;
            }
            if (IsJournalsTemporary(sys, j))
                sys.Unlink(j.Temp.c_str());
            return;
        }
        case TJournal::EKind::Replace:
            // The original is moved only once the new file is whole: with the original gone to
            // its kept name, the new file takes its place; with the original still there, the
            // new file goes.
            if (!IsJournalsTemporary(sys, j))
                return;
            if (!hasFrom && hasTo && S_ISREG(to.st_mode))
                SafeMoveFile(sys, j.Temp, j.From);
            else
                sys.Unlink(j.Temp.c_str());
            return;
        case TJournal::EKind::Folders:
            // A folder the command made and left empty goes (one of the user's was there when it
            // was noted, and its note says it was not made); a folder that holds anything stays.
            for (const TJournal::TMadeFolder& made : j.Made) {
                const std::string path = JoinPath(ParentOf(j.Path), made.Name);
                struct stat st {};
                if (!made.Cancelled && sys.Lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    sys.Rmdir(path.c_str());
            }
            return;
        case TJournal::EKind::CaseRename: {
            struct stat temp {};
            if (sys.Lstat(j.Temp.c_str(), &temp) == 0 &&
                ParseOwnName(NameOf(j.Temp)).Kind == "move" &&
                !SafeMoveFile(sys, j.Temp, j.From).Ok)
                SafeMoveFile(sys, j.Temp, j.To);
            return;
        }
    }
}

// The order in which journals are handled: placeholders first, since a copy's last step may
// have gone through one.
int Rank(TJournal::EKind kind) {
    switch (kind) {
        case TJournal::EKind::Claim:
            return 0;
        case TJournal::EKind::Link:
        case TJournal::EKind::HardLink:
            return 1;
        case TJournal::EKind::Copy:
        case TJournal::EKind::Rewrite:
        case TJournal::EKind::Replace:
            return 2;
        case TJournal::EKind::CaseRename:
            return 3;
        case TJournal::EKind::Folders:
            return 4;  // after the journals inside the folders it made
    }
    return 5;
}

// The names of ours in one folder whose process is gone; its real subfolders into `subfolders`.
void CollectOwn(const std::string& folder, std::vector<std::string>& journals,
                std::vector<std::string>& others, std::vector<std::string>* subfolders) {
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr)
        return;
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = JoinPath(folder == "/" ? "" : folder, name);
        if (name[0] != '.') {
            if (subfolders == nullptr)
                continue;
            bool dir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN) {
                struct stat st {};
                dir =
                    ::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            if (dir)
                subfolders->push_back(path);
            continue;
        }
        const TOwnName own = ParseOwnName(name);
        if (own.Pid == 0 || ProcessRuns(own.Pid))
            continue;
        (own.Kind == "journal" ? journals : others).push_back(path);
    }
    ::closedir(d);
}

}  // namespace

TLeftovers CleanLeftovers(TSysCalls& sys, const std::string& folder) {
    TLeftovers result;
    const TBoundary boundary(folder);
    if (folder.empty() || !boundary.Valid())
        return result;
    const std::string& top = boundary.Path();
    std::vector<std::string> journalPaths, others, subfolders;
    CollectOwn(top, journalPaths, others, &subfolders);
    for (const std::string& sub : subfolders)
        CollectOwn(sub, journalPaths, others, nullptr);

    std::vector<TJournal> journals;
    for (const std::string& path : journalPaths) {
        TJournal j;
        if (ReadJournal(sys, path, j) && Obeyed(sys, j, boundary))
            journals.push_back(j);
        else if (IsUnfinishedJournal(sys, path) && sys.Unlink(path.c_str()) == 0)
            ++result.Handled;  // stopped before its record was whole: its work made no step
        else
            result.Ignored.push_back(path);
    }
    std::stable_sort(journals.begin(), journals.end(), [](const TJournal& a, const TJournal& b) {
        return Rank(a.Kind) < Rank(b.Kind);
    });
    std::set<std::string> named;
    for (const TJournal& j : journals) {
        named.insert(Canonical(j.Temp));
        Recover(sys, j);
        if (sys.Unlink(j.Path.c_str()) == 0)
            ++result.Handled;
    }
    for (const std::string& path : others) {
        struct stat st {};
        if (named.count(Canonical(path)) != 0 && sys.Lstat(path.c_str(), &st) != 0) {
            ++result.Handled;  // removed or put back by its journal
            continue;
        }
        result.Ignored.push_back(path);
    }
    std::sort(result.Ignored.begin(), result.Ignored.end());
    return result;
}

TLeftovers CleanLeftovers(const std::string& folder) {
    return CleanLeftovers(RealSysCalls(), folder);
}

}  // namespace velmora
