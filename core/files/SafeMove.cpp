#include "core/files/SafeMove.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/files/Journal.h"
#include "core/files/Paths.h"

namespace velmora {
namespace {

TMoveResult Done() {
    return {true, 0};
}
TMoveResult Fail(int error) {
    return {false, error};
}

// renameat2 answers these when the file system cannot do a move without replacing (FUSE says
// EINVAL even when the target is absent).
bool NoReplaceUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// link answers these where the file system has no hard links (FAT says EPERM).
bool LinksRefused(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// A file system that cannot hold a mode or a time (FAT with its fixed masks) refuses to set it;
// the copy keeps what the file system gives it then.
bool MetadataRefused(int error) {
    return error == EPERM || error == EOPNOTSUPP;
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The canonical form of an existing path, or "" when it cannot be found.
std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (real == nullptr)
        return "";
    std::string result = real;
    std::free(real);
    return result;
}

class TMover {
  public:
    explicit TMover(TSysCalls& sys) : Sys(sys) {}

    TMoveResult Move(const std::string& from, const std::string& to) {
        struct stat source {};
        if (Sys.Lstat(from.c_str(), &source) == 0 && S_ISLNK(source.st_mode) &&
            !SameFolder(from, to)) {
            return MoveLink(from, to);
        }
        const TMoveResult moved = MoveEntry(from, to);
        if (moved.Ok || moved.Error != EEXIST)
            return moved;
        // The target name is taken. It may be taken by the file itself: the same entry under
        // another spelling of its path, another spelling of the name on a file system that
        // ignores case, or another hard link to the file.
        struct stat target {};
        if (Sys.Lstat(from.c_str(), &source) != 0 || Sys.Lstat(to.c_str(), &target) != 0 ||
            !SameInode(source, target) || !SameFolder(from, to)) {
            return moved;
        }
        if (NameOf(from) == NameOf(to))
            return Done();
        if (source.st_nlink > 1)
            return moved;
        return MoveThroughTemporary(from, to);
    }

    // Rewrites a file without its first bytes; see SafeRewriteFile.
    TMoveResult Rewrite(const std::string& path, uint64_t drop, const TFileIdentity& identity,
                        const std::string& head, const std::string& prefix) {
        std::string target = path;
        struct stat st {};
        if (Sys.Lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            target = RealPath(path);
            if (target.empty())
                return Fail(ENOENT);
        }
        const int src = Sys.Open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
        if (src < 0)
            return Fail(errno);
        struct stat source {};
        if (Sys.Fstat(src, &source) != 0) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        if (!S_ISREG(source.st_mode) || static_cast<uint64_t>(source.st_size) < drop ||
            head.size() > drop) {
            Sys.Close(src);
            return Fail(EINVAL);
        }
        // The file must still be the one analysed and begin with the tag that was measured.
        std::string start(head.size(), '\0');
        if ((identity.Known() && !(IdentityOf(source) == identity)) ||
            ReadUpTo(src, start) != head.size() || start != head) {
            Sys.Close(src);
            return Fail(ESTALE);
        }
        TJournal journal = TJournal::Of(TJournal::EKind::Rewrite, target, "");
        journal.HasSource = true;
        journal.SourceDev = source.st_dev;
        journal.SourceIno = source.st_ino;
        const int dst = CreateJournaledTemporary(Sys, ParentOf(target), journal);
        if (dst < 0) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        struct stat written {};
        int error = WriteAll(dst, prefix);
        if (error == 0)
            error =
                CopyContents(src, dst, source, static_cast<off_t>(drop), written,
                             static_cast<off_t>(head.size()), static_cast<off_t>(prefix.size()));
        if (Sys.Close(dst) != 0 && errno != EINTR && error == 0)
            error = errno;
        // Written to while it was copied (the time of change moved on): the copy is not its
        // content.
        struct stat after {};
        if (error == 0 && (Sys.Fstat(src, &after) != 0 || !SameState(after, source)))
            error = ESTALE;
        Sys.Close(src);
        bool tempIsOurs = true;
        if (error == 0)
            error = Replace(journal.Temp, target, source, tempIsOurs);
        if (error != 0 && tempIsOurs)
            Sys.Unlink(journal.Temp.c_str());
        DropJournal(Sys, journal);
        return error == 0 ? Done() : Fail(error);
    }

  private:
    TSysCalls& Sys;

    // The same file in the same state: inode, size, modification and change times.
    static bool SameState(const struct stat& a, const struct stat& b) {
        return SameInode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
               a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
               a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
    }

    // Puts the new file `temp` under `target` in place of `source`, only while the name still
    // names that file as it was copied: the two are exchanged, and what came out from under the
    // name is checked (inode, size, modification time: the exchange itself moves the time of
    // change on); anything else is exchanged back and ESTALE returned. Where the file system
    // cannot exchange, the name is checked right before a rename over it. Returns 0 or the errno;
    // `temp` is left for the caller to remove on a failure, unless `tempIsOurs` comes back false.
    int Replace(const std::string& temp, const std::string& target, const struct stat& source,
                bool& tempIsOurs) {
        struct stat now {};
        if (Sys.Lstat(target.c_str(), &now) != 0 || !SameState(now, source))
            return ESTALE;
        if (Sys.RenameExchange(temp.c_str(), target.c_str()) != 0) {
            if (!NoReplaceUnsupported(errno))
                return errno;
            return Sys.Rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
        }
        struct stat out {};
        const bool same = Sys.Lstat(temp.c_str(), &out) == 0 && SameInode(out, source) &&
                          out.st_size == source.st_size &&
                          out.st_mtim.tv_sec == source.st_mtim.tv_sec &&
                          out.st_mtim.tv_nsec == source.st_mtim.tv_nsec;
        if (!same) {
            // Another file came under the name between the check and the exchange: it gets its
            // name back, and the new file goes. Should that fail, both stay where they are (the
            // other file under the hidden name, named at the next open): nothing is removed.
            if (Sys.RenameExchange(temp.c_str(), target.c_str()) != 0)
                tempIsOurs = false;
            return ESTALE;
        }
        // The old file, now under the temporary name, goes.
        Sys.Unlink(temp.c_str());
        return 0;
    }

    // Reads into `bytes` until it is full or the file ends; returns how many bytes came.
    size_t ReadUpTo(int fd, std::string& bytes) {
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = Sys.Read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        return got;
    }

    bool SameFolder(const std::string& a, const std::string& b) {
        struct stat da {};
        struct stat db {};
        return Sys.Lstat((ParentOf(a) + "/.").c_str(), &da) == 0 &&
               Sys.Lstat((ParentOf(b) + "/.").c_str(), &db) == 0 && SameInode(da, db);
    }

    // True when the name is free; otherwise false with errno set (EEXIST when it is taken).
    bool NameFree(const std::string& path) {
        struct stat st {};
        if (Sys.Lstat(path.c_str(), &st) == 0) {
            errno = EEXIST;
            return false;
        }
        return errno == ENOENT;
    }

    // A symbolic link going to another folder is made anew there, pointing at the file it
    // points at now: a relative target is rewritten for the new place.
    TMoveResult MoveLink(const std::string& from, const std::string& to) {
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t got = Sys.Readlink(from.c_str(), buffer.data(), buffer.size());
        if (got < 0)
            return Fail(errno);
        if (static_cast<size_t>(got) >= buffer.size())
            return Fail(ENAMETOOLONG);
        std::string target(buffer.data(), static_cast<size_t>(got));
        if (!target.empty() && target[0] != '/') {
            const std::string file = RealPath(from);
            const std::string folder = RealPath(ParentOf(to));
            if (file.empty() || folder.empty())
                return Fail(file.empty() ? ENOENT : errno);
            target = std::filesystem::path(file).lexically_relative(folder).string();
        }
        if (!NameFree(to))
            return Fail(errno);
        TJournal journal = TJournal::Of(TJournal::EKind::Link, from, to);
        if (!WriteJournal(Sys, journal))
            return Fail(errno);
        if (Sys.Symlink(target.c_str(), to.c_str()) != 0) {
            DropJournal(Sys, journal);
            return Fail(errno);
        }
        if (Sys.Unlink(from.c_str()) != 0) {
            const int error = errno;
            Sys.Unlink(to.c_str());
            DropJournal(Sys, journal);
            return Fail(error);
        }
        DropJournal(Sys, journal);
        return Done();
    }

    // A rename that only changes the case of the name: the file system sees the target as
    // taken, so the file goes to a free hidden name first. The journal puts it back under its
    // name should the program be stopped between the two steps.
    TMoveResult MoveThroughTemporary(const std::string& from, const std::string& to) {
        const std::string folder = (ParentOf(to) + "/");
        TJournal journal = TJournal::Of(TJournal::EKind::CaseRename, from, to);
        TMoveResult first = Fail(EEXIST);
        for (int attempt = 0; attempt < 100 && !first.Ok; ++attempt) {
            journal.Temp = folder + TemporaryName("move");
            if (!WriteJournal(Sys, journal))
                return Fail(errno);
            first = MoveEntry(from, journal.Temp);
            if (!first.Ok)
                DropJournal(Sys, journal);
            if (!first.Ok && first.Error != EEXIST)
                return first;
        }
        if (!first.Ok)
            return first;
        const TMoveResult second = MoveEntry(journal.Temp, to);
        if (!second.Ok)
            MoveEntry(journal.Temp, from);
        DropJournal(Sys, journal);
        return second;
    }

    TMoveResult MoveEntry(const std::string& from, const std::string& to, bool mayCopy = true) {
        if (Sys.RenameNoReplace(from.c_str(), to.c_str()) == 0)
            return Done();
        const int error = errno;
        if (error == EXDEV && mayCopy)
            return Copy(from, to);
        if (NoReplaceUnsupported(error))
            return MoveByLink(from, to, mayCopy);
        return Fail(error);
    }

    // A second name for the file, then the old name goes; the journal lets the next open of
    // the folder remove the old name should the program be stopped between the two.
    TMoveResult MoveByLink(const std::string& from, const std::string& to, bool mayCopy) {
        if (!NameFree(to))
            return Fail(errno);
        TJournal journal = TJournal::Of(TJournal::EKind::HardLink, from, to);
        if (!WriteJournal(Sys, journal))
            return Fail(errno);
        if (Sys.Link(from.c_str(), to.c_str()) == 0) {
            if (Sys.Unlink(from.c_str()) == 0) {
                DropJournal(Sys, journal);
                return Done();
            }
            const int error = errno;
            Sys.Unlink(to.c_str());
            DropJournal(Sys, journal);
            return Fail(error);
        }
        const int error = errno;
        DropJournal(Sys, journal);
        if (error == EXDEV && mayCopy)
            return Copy(from, to);
        if (LinksRefused(error))
            return MoveOverPlaceholder(from, to, mayCopy);
        return Fail(error);
    }

    // Claims the target name with an empty file of our own, then renames over it: rename may
    // replace only that placeholder. The journal written first lets the next open of the folder
    // remove a placeholder left by a stopped move.
    TMoveResult MoveOverPlaceholder(const std::string& from, const std::string& to, bool mayCopy) {
        if (!NameFree(to))
            return Fail(errno);
        TJournal journal = TJournal::Of(TJournal::EKind::Claim, from, to);
        if (!WriteJournal(Sys, journal))
            return Fail(errno);
        const TMoveResult result = RenameOverPlaceholder(from, to, journal);
        DropJournal(Sys, journal);
        if (!result.Ok && result.Error == EXDEV && mayCopy)
            return Copy(from, to);
        return result;
    }

    TMoveResult RenameOverPlaceholder(const std::string& from, const std::string& to,
                                      TJournal& journal) {
        const int fd = Sys.Open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return Fail(errno);
        struct stat placeholder {};
        const bool known = Sys.Fstat(fd, &placeholder) == 0;
        const int statError = errno;
        Sys.Close(fd);
        if (!known || !AddJournalInode(Sys, journal, placeholder.st_dev, placeholder.st_ino)) {
            const int error = known ? errno : statError;
            Sys.Unlink(to.c_str());
            return Fail(error);
        }
        struct stat now {};
        if (Sys.Lstat(to.c_str(), &now) != 0 || !SameInode(now, placeholder) || now.st_size != 0) {
            return Fail(EEXIST);  // someone else's file stands there now: leave it
        }
        if (Sys.Rename(from.c_str(), to.c_str()) == 0)
            return Done();
        const int error = errno;
        Sys.Unlink(to.c_str());
        return Fail(error);
    }

    // Across file systems: a copy to a hidden temporary file in the target folder, flushed and
    // checked, then moved to its name without replacing anything, before the source goes. The
    // journal lets the next open of the folder remove the source when the program was stopped
    // after the copy got its name.
    TMoveResult Copy(const std::string& from, const std::string& to) {
        const int src = Sys.Open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
        if (src < 0)
            return Fail(errno);
        struct stat source {};
        if (Sys.Fstat(src, &source) != 0) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        if (!S_ISREG(source.st_mode)) {  // only a regular file is copied
            Sys.Close(src);
            return Fail(EXDEV);
        }
        if (!NameFree(to)) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        TJournal journal = TJournal::Of(TJournal::EKind::Copy, from, to);
        const int dst = CreateJournaledTemporary(Sys, ParentOf(to), journal);
        if (dst < 0) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        struct stat written {};
        int error = CopyContents(src, dst, source, 0, written);
        if (Sys.Close(dst) != 0 && errno != EINTR && error == 0)
            error = errno;
        Sys.Close(src);
        if (error == 0) {
            const TMoveResult named = MoveEntry(journal.Temp, to, false);
            if (!named.Ok)
                error = named.Error;
        }
        if (error != 0) {
            Sys.Unlink(journal.Temp.c_str());
            DropJournal(Sys, journal);
            return Fail(error);
        }
        if (Sys.Unlink(from.c_str()) != 0) {
            error = errno;
            Sys.Unlink(to.c_str());
            DropJournal(Sys, journal);
            return Fail(error);
        }
        DropJournal(Sys, journal);
        return Done();
    }

    // Writes all of `bytes` to `fd`; returns 0 or the errno of the failure.
    int WriteAll(int fd, const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = Sys.Write(fd, bytes.data() + done, bytes.size() - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return errno;
            if (put == 0)
                return ENOSPC;
            done += static_cast<size_t>(put);
        }
        return 0;
    }

    // Copies what follows the first `skip` bytes of `src` to `dst` and gives it the source's
    // mode and times; `written` is the copy's state. `consumed` bytes of those `skip` were read
    // from `src` already; `dst` holds `already` bytes before the copy. Returns 0 or the errno of
    // the first failure.
    int CopyContents(int src, int dst, const struct stat& source, off_t skip, struct stat& written,
                     off_t consumed = 0, off_t already = 0) {
        std::vector<char> buffer(256 * 1024);
        off_t copied = 0;
        off_t skipped = consumed;
        for (;;) {
            const ssize_t got = Sys.Read(src, buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (got == 0)
                break;
            size_t done = 0;
            if (skipped < skip) {
                done = static_cast<size_t>(std::min<off_t>(skip - skipped, got));
                skipped += static_cast<off_t>(done);
            }
            copied += got - static_cast<ssize_t>(done);
            while (done < static_cast<size_t>(got)) {
                const ssize_t put = Sys.Write(dst, buffer.data() + done, got - done);
                if (put < 0) {
                    if (errno == EINTR)
                        continue;
                    return errno;
                }
                if (put == 0)
                    return ENOSPC;
                done += static_cast<size_t>(put);
            }
        }
        if (copied + skip != source.st_size)
            return ESTALE;  // the source changed while it was copied
        if (Sys.Fchmod(dst, source.st_mode & 07777) != 0 && !MetadataRefused(errno))
            return errno;
        const struct timespec times[2] = {source.st_atim, source.st_mtim};
        if (Sys.Futimens(dst, times) != 0 && !MetadataRefused(errno))
            return errno;
        while (Sys.Fsync(dst) != 0) {
            if (errno == EINTR)
                continue;
            if (errno == EINVAL || errno == EOPNOTSUPP)
                break;  // nothing to flush there
            return errno;
        }
        if (Sys.Fstat(dst, &written) != 0)
            return errno;
        if (written.st_size != copied + already)
            return EIO;
        return 0;
    }
};

}  // namespace

TMoveResult SafeMoveFile(TSysCalls& sys, const std::string& from, const std::string& to) {
    return TMover(sys).Move(from, to);
}

TMoveResult SafeMoveFile(const std::string& from, const std::string& to) {
    return SafeMoveFile(RealSysCalls(), from, to);
}

TMoveResult SafeRewriteFile(TSysCalls& sys, const std::string& path, uint64_t dropPrefixBytes,
                            const TFileIdentity& identity, const std::string& head,
                            const std::string& newPrefix) {
    return TMover(sys).Rewrite(path, dropPrefixBytes, identity, head, newPrefix);
}

}  // namespace velmora
