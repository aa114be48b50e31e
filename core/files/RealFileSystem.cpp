// The file-system layer over Linux.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "audio/FileStream.h"
#include "core/files/FileSystem.h"
#include "core/files/FolderLock.h"
#include "core/files/Journal.h"
#include "core/files/Leftovers.h"
#include "core/files/Paths.h"
#include "core/files/SafeMove.h"
#include "core/files/TagBlockWrite.h"
#include "core/text/Collation.h"

namespace velmora {

void SortDirEntries(std::vector<TDirEntry>& entries, const TCollator& collator) {
    struct Keyed {
        std::string Key;
        TDirEntry Entry;
    };
    std::vector<Keyed> found;
    found.reserve(entries.size());
    for (TDirEntry& entry : entries)
        found.push_back({collator.Key(entry.Name), std::move(entry)});
    std::sort(found.begin(), found.end(),
              [](const Keyed& a, const Keyed& b) { return a.Key < b.Key; });
    entries.clear();
    for (auto& k : found)
        entries.push_back(std::move(k.Entry));
}

void SortDirEntries(std::vector<TDirEntry>& entries) {
    SortDirEntries(entries, UserCollator());
}

namespace {

// Added to the reason when a file overwritten in place could not be written whole.
constexpr char kInPlaceFailureText[] =
    ". The file was being overwritten in place and is incomplete now";

std::string Reason(int error) {
    return std::strerror(error);
}

// Writes all bytes, retrying after interruptions; false with errno set on failure.
bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class TRealFileSystem : public TFileSystem {
  public:
    bool ListDir(const std::string& dir, std::vector<TDirEntry>& entries) override {
        const int fd = RealSysCalls().Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (d == nullptr) {
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        const int dfd = ::dirfd(d);
        entries.clear();
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            TDirEntry entry;
            entry.Name = name;
            entry.Hidden = name[0] == '.';
            unsigned char type = e->d_type;
            // One stat per name that is listed, links followed: it gives the kind and the size
            // the list sums. Hidden names are never listed and need none.
            if (!entry.Hidden && type != DT_DIR) {
                struct stat st;
                if (type == DT_LNK || type == DT_UNKNOWN) {
                    struct stat lst;
                    entry.Link = ::fstatat(dfd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 &&
                                 S_ISLNK(lst.st_mode);
                }
                if (::fstatat(dfd, e->d_name, &st, 0) != 0) {
                    type = DT_UNKNOWN;  // a dangling link is neither file nor folder
                } else if (S_ISREG(st.st_mode)) {
                    type = DT_REG;
                    entry.Size = static_cast<int64_t>(st.st_size);
                } else if (S_ISDIR(st.st_mode)) {
                    type = DT_DIR;
                } else {
                    type = DT_UNKNOWN;
                }
            } else if (type == DT_LNK || type == DT_UNKNOWN) {
                // A hidden name: only whether it is a folder matters.
                struct stat st;
                entry.Link = type == DT_LNK;
                const bool dir = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
                type = dir ? static_cast<unsigned char>(DT_DIR)
                           : static_cast<unsigned char>(DT_UNKNOWN);
            }
            entry.Type = type == DT_REG   ? TDirEntry::Kind::File
                         : type == DT_DIR ? TDirEntry::Kind::Directory
                                          : TDirEntry::Kind::Other;
            entries.push_back(std::move(entry));
        }
        ::closedir(d);
        SortDirEntries(entries);
        return true;
    }

    int64_t EntrySize(const std::string& path) override {
        struct stat st;
        if (RealSysCalls().Stat(path.c_str(), &st) != 0)
            return -1;
        return static_cast<int64_t>(st.st_size);
    }

    bool FileExists(const std::string& path) override {
        struct stat st;
        return RealSysCalls().Stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    TMoveResult CreateDir(const std::string& path) override {
        const int error = MakeJournaledFolder(RealSysCalls(), path);
        return {error == 0, error};
    }

    TMoveResult MoveFile(const std::string& from, const std::string& to) override {
        // A move changes no file's bytes: what is known of other names of the file stays.
        Analyses.erase(from);
        Analyses.erase(to);
        return SafeMoveFile(from, to);
    }

    // A file is analysed once while it stays the file it was: the list's fill, the batch's
    // steps, the plan and the check all make each file current, and each time would read it
    // again. The facts are kept by path with the file's identity (device, inode, size,
    // modification and change times), checked with one stat before they are used; the
    // program's own writes forget them, or bring them up to date, at once.
    void LoadAudioInfo(const std::string& path, TAudioInfo& info) override {
        const auto it = Analyses.find(path);
        if (it != Analyses.end()) {
            struct stat st;
            const bool enough =
                it->second.ID3v2FieldsRead || !info.ReadID3v2Fields || !it->second.ID3v2.Present;
            if (enough && RealSysCalls().Stat(path.c_str(), &st) == 0 &&
                IdentityOf(st) == it->second.Identity) {
                const bool fields = info.ReadID3v2Fields;
                info = it->second;
                info.ReadID3v2Fields = fields;
                return;
            }
            Analyses.erase(it);
        }
        TFileSystem::LoadAudioInfo(path, info);
        if (Analyses.size() >= kMaxAnalyses)
            Analyses.clear();
        if (info.Identity.Known())
            Analyses.emplace(path, info);
    }

    void SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity& identity) override {
        // The analysis after the save is the one before it with the new tag: the file is not
        // read again for it.
        std::optional<TAudioInfo> before;
        if (const auto it = Analyses.find(path); it != Analyses.end()) {
            if (it->second.Identity == identity)
                before = std::move(it->second);
            Analyses.erase(it);
        }
        TFileSystem::SaveID3v1(path, tag, identity);
        if (before && before->AfterTagWrite(tag, identity))
            Analyses.emplace(path, std::move(*before));
    }

    TMoveResult DropFilePrefix(const std::string& path, int64_t bytes,
                               const TFileIdentity& identity, const std::string& head) override {
        Analyses.erase(path);
        return TFileSystem::DropFilePrefix(path, bytes, identity, head);
    }

    TMoveResult ReplaceFilePrefix(const std::string& path, const TFileIdentity& identity,
                                  const std::string& oldPrefix,
                                  const std::string& newPrefix) override {
        Analyses.erase(path);
        return TFileSystem::ReplaceFilePrefix(path, identity, oldPrefix, newPrefix);
    }

    std::string ReadFile(const std::string& path) override {
        // Non-blocking open, so that a FIFO cannot hang the program; only regular files are read.
        const int fd = RealSysCalls().Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
        if (fd < 0)
            throw EStreamError(CannotOpenText(path, Reason(errno)));
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            throw EStreamError(CannotOpenText(path, Reason(error)));
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            throw EStreamError(CannotOpenText(path, Reason(S_ISDIR(st.st_mode) ? EISDIR : EINVAL)));
        }
        std::string bytes;
        bytes.reserve(static_cast<size_t>(st.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int error = errno;
                ::close(fd);
                throw EStreamError(CannotOpenText(path, Reason(error)));
            }
            if (n == 0)
                break;
            bytes.append(buffer, static_cast<size_t>(n));
        }
        ::close(fd);
        return bytes;
    }

    void WriteFileReplacing(const std::string& path, const std::string& bytes,
                            bool inPlaceAllowed) override {
        Analyses.erase(path);
        TSysCalls& sys = RealSysCalls();
        // A link is kept: the file it points to is the one replaced.
        std::string target = path;
        struct stat lst;
        if (sys.Lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            if (char* real = ::realpath(path.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
        struct stat old;
        const bool exists = sys.Stat(target.c_str(), &old) == 0;
        if (exists && S_ISDIR(old.st_mode)) {
            throw EStreamError(CannotCreateText(path, Reason(EISDIR)));
        }
        if (exists && !S_ISREG(old.st_mode)) {
            // A device, a FIFO, a terminal: written into, never replaced by a file.
            const std::string why = WriteIntoSpecialFile(path, bytes);
            if (!why.empty())
                throw EStreamError(CannotCreateText(path, why));
            return;
        }

        // The temporary file sits beside the target, hidden, with a short name no other file
        // has, so that it fits wherever the target's name fits; its journal comes first.
        TJournal journal = TJournal::Of(TJournal::EKind::Rewrite, target, "");
        const int fd = CreateJournaledTemporary(sys, ParentOf(target), journal);
        if (fd < 0) {
            const int error = errno;
            if ((error == EACCES || error == EPERM) && exists && S_ISREG(old.st_mode) &&
                ::access(target.c_str(), W_OK) == 0) {
                if (!inPlaceAllowed)
                    throw EInPlaceNeeded(InPlaceNeededText(path));
                return OverwriteInPlace(path, target, bytes, error);
            }
            throw EStreamError(CannotCreateText(path, Reason(error)));
        }
        const std::string& temp = journal.Temp;
        const auto fail = [&](int error) {
            sys.Close(fd);
            sys.Unlink(temp.c_str());
            DropJournal(sys, journal);
            throw EStreamError(CannotCreateText(path, Reason(error)));
        };
        if (sys.Fchmod(fd, exists ? old.st_mode & 07777 : CreationMode()) != 0)
            fail(errno);
        if (!WriteAll(fd, bytes.data(), bytes.size()))
            fail(errno);
        if (sys.Fsync(fd) != 0)
            fail(errno);
        if (sys.Close(fd) != 0) {
            const int error = errno;
            sys.Unlink(temp.c_str());
            DropJournal(sys, journal);
            throw EStreamError(CannotCreateText(path, Reason(error)));
        }
        if (sys.Rename(temp.c_str(), target.c_str()) != 0) {
            const int error = errno;
            sys.Unlink(temp.c_str());
            DropJournal(sys, journal);
            throw EStreamError(CannotCreateText(path, Reason(error)));
        }
        DropJournal(sys, journal);
        // Make the new name durable too; a failure here leaves a complete file either way.
        const int dfd = sys.Open(ParentOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }

    TLeftovers CleanLeftovers(const std::string& folder) override {
        return velmora::CleanLeftovers(folder);
    }

  private:
    static constexpr size_t kMaxAnalyses = 20000;
    // By path. A write through another name of a file (a link) moves the file's time of change,
    // so its facts under this name are not taken for it any more.
    std::map<std::string, TAudioInfo> Analyses;

    // The folder refuses a new file, but the file itself may be written: it is overwritten in
    // place, and a failure once that has begun is told as such.
    static void OverwriteInPlace(const std::string& path, const std::string& target,
                                 const std::string& bytes, int folderError) {
        const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw EStreamError(CannotCreateText(path, Reason(folderError)));
        bool ok = WriteAll(fd, bytes.data(), bytes.size()) &&
                  ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
        int error = errno;
        if (::close(fd) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (!ok) {
            throw EStreamError(CannotCreateText(path, Reason(error) + kInPlaceFailureText));
        }
    }
};

}  // namespace

TFileSystem& RealFileSystem() {
    static TRealFileSystem fs;
    return fs;
}

TMoveResult TFileSystem::DropFilePrefix(const std::string& path, int64_t bytes,
                                        const TFileIdentity& identity, const std::string& head) {
    return SafeRewriteFile(RealSysCalls(), path, static_cast<uint64_t>(bytes), identity, head);
}

std::string TFileSystem::ReadFilePrefix(const std::string& path, int64_t bytes) {
    try {
        const THeldPath at(path.c_str());
        std::unique_ptr<TFileStream> stream;
        if (!at.InHeldFolder())
            stream = std::make_unique<TFileStream>(path, TFileStream::Mode::Read);
        else if (at.Error() == 0)
            stream =
                std::make_unique<TFileStream>(at.Dir(), at.Name(), path, TFileStream::Mode::Read);
        if (!stream || bytes < 0 || bytes > stream->Size())
            return "";
        std::string prefix(static_cast<size_t>(bytes), '\0');
        stream->ReadBuffer(prefix.data(), prefix.size());
        return prefix;
    } catch (const EStreamError&) {
        return "";
    }
}

TMoveResult TFileSystem::ReplaceFilePrefix(const std::string& path, const TFileIdentity& identity,
                                           const std::string& oldPrefix,
                                           const std::string& newPrefix) {
    return SafeRewriteFile(RealSysCalls(), path, oldPrefix.size(), identity, oldPrefix, newPrefix);
}

void TFileSystem::LoadAudioInfo(const std::string& path, TAudioInfo& info) {
    const THeldPath at(path.c_str());
    if (!at.InHeldFolder())
        return info.LoadFromFile(path);
    if (at.Error() != 0)
        throw EStreamError(CannotOpenText(path, Reason(at.Error())));
    TFileStream stream(at.Dir(), at.Name(), path, TFileStream::Mode::Read);
    info.LoadFromOpenFile(stream);
}

void TFileSystem::LoadID3v1(const std::string& path, TID3v1Tag& tag) {
    const THeldPath at(path.c_str());
    if (!at.InHeldFolder())
        return tag.LoadFromFile(path);
    if (at.Error() != 0)
        throw EStreamError(CannotOpenText(path, Reason(at.Error())));
    TFileStream stream(at.Dir(), at.Name(), path, TFileStream::Mode::Read);
    tag.LoadFromStream(stream, stream.Size());
}

void TFileSystem::SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity& identity) {
    uint8_t block[kID3v1Size];
    TID3v1Tag(tag).SaveToBuffer(block, sizeof block);
    const TTagBlockWrite done = WriteTagBlock(RealSysCalls(), path, identity, tag.ReadBlock, block);
    if (done.Changed)
        throw EChangedMeanwhile(ChangedMeanwhileText(path));
    if (!done.Opened && done.Error == EXDEV)  // opened beneath the held folder: a link led out
        throw EStreamError("Файл " + path +
                           " — ссылка на файл вне открытой папки: Velmora его не меняет");
    if (!done.Opened)
        throw EStreamError(
            CannotOpenText(path, done.Error == EINVAL ? "Not a regular file" : Reason(done.Error)));
    if (done.Error != 0)
        throw EStreamError("Stream write error. " + Reason(done.Error));
    // The tag as the file now holds it, as a read would give it back.
    tag.LoadFromBuffer(block, sizeof block);
    identity = done.Now;
}

bool TFileSystem::FolderInPlace(const std::string& folder) {
    return HeldFolderInPlace(folder);
}

TFileIdentity TFileSystem::FolderIdentity(const std::string& folder) {
    struct stat st;
    if (folder.empty() || RealSysCalls().Stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), 0, 0, 0};
}

bool IsSpecialFile(const std::string& path) {
    struct stat st;
    return RealSysCalls().Stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISDIR(st.st_mode);
}

std::string WriteIntoSpecialFile(const std::string& path, const std::string& bytes) {
    // Opened without waiting, so that a FIFO nobody reads cannot hang the program.
    const int fd =
        RealSysCalls().Open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (fd < 0)
        return errno == ENXIO ? "никто не читает из канала" : Reason(errno);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const bool written = WriteAll(fd, bytes.data(), bytes.size());
    const int error = errno;
    ::close(fd);
    return written ? std::string() : Reason(error);
}

std::string InPlaceNeededText(const std::string& path) {
    return "Файл «" + path +
           "» не записан: в его папке нельзя создавать файлы (нет прав на папку), а "
           "перезапись самого файла на месте при сбое оставила бы его испорченным";
}

bool TFileSystem::Within(const std::string& folder, const std::string& path) {
    TSysCalls& sys = RealSysCalls();
    // A path spelt below the folder is inside unless a link on its way leads elsewhere: one
    // lstat per part below the folder, and the full resolution only where a link stands.
    const std::string base = NormalPath(folder);
    const std::string normal = NormalPath(path);
    if (PathWithin(normal, base) && normal != base) {
        bool link = false;
        for (size_t at = base.size() + (base == "/" ? 0 : 1); !link && at <= normal.size();) {
            size_t end = normal.find('/', at);
            if (end == std::string::npos)
                end = normal.size();
            struct stat st;
            if (sys.Lstat(normal.substr(0, end).c_str(), &st) != 0)
                return true;  // names nothing (yet): inside by its spelling
            link = S_ISLNK(st.st_mode);
            at = end + 1;
        }
        if (!link)
            return true;
    }
    const auto real = [](const std::string& p) {
        char* r = ::realpath(p.c_str(), nullptr);
        std::string result = r ? r : "";
        std::free(r);
        return result;
    };
    const std::string realBase = real(folder);
    const std::string resolved = real(path);
    if (realBase.empty() || resolved.empty())
        return PathWithin(path, folder);
    return PathWithin(resolved, realBase);
}

bool TFileSystem::LockFolder(const std::string& folder) {
    return HoldFolder(folder);
}

void TFileSystem::UnlockFolder(const std::string& folder) {
    ReleaseFolder(folder);
}

std::string ChangedMeanwhileText(const std::string& path) {
    return "Файл «" + path + "» изменён другой программой после чтения: Velmora его не меняет";
}

}  // namespace velmora
