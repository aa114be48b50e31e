#include "core/Leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/Paths.h"
#include "core/SafeMove.h"

namespace velmora {
namespace {

constexpr char kPrefix[] = ".velmora-";
constexpr char kMagic[] = "velmora-journal-1";

bool WriteAll(TSysCalls& sys, int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sys.Write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// A name of ours: the owner's pid and the kind, or pid 0 when the name is not one of ours.
struct TOwnName {
    pid_t Pid = 0;
    std::string Kind;
};

TOwnName ParseOwnName(const std::string& name) {
    const size_t prefix = sizeof kPrefix - 1;
    if (name.compare(0, prefix, kPrefix) != 0)
        return {};
    size_t i = prefix;
    const auto digits = [&] {
        const size_t start = i;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9')
            ++i;
        return i > start && i - start <= 10;
    };
    const size_t pidStart = i;
    if (!digits() || i >= name.size() || name[i] != '-')
        return {};
    const long long pid = std::stoll(name.substr(pidStart, i - pidStart));
    ++i;
    if (!digits() || i >= name.size() || name[i] != '.')
        return {};
    const std::string kind = name.substr(i + 1);
    if (kind != "tmp" && kind != "move" && kind != "journal")
        return {};
    if (pid <= 0 || pid > 0x7FFFFFFF)
        return {};
    return {static_cast<pid_t>(pid), kind};
}

bool ProcessRuns(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool ReadJournal(TSysCalls& sys, const std::string& path, TJournal& journal) {
    const int fd = sys.Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = sys.Read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() > 65536)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    sys.Close(fd);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        fields.push_back(bytes.substr(start, end - start));
    if (fields.size() < 5 || fields[0] != kMagic || fields[1].size() != 1)
        return false;
    journal.Kind = static_cast<TJournal::EKind>(fields[1][0]);
    journal.From = fields[2];
    journal.To = fields[3];
    journal.Temp = fields[4];
    journal.Path = path;
    unsigned long long dev = 0;
    unsigned long long ino = 0;
    if (fields.size() >= 6 && std::sscanf(fields[5].c_str(), "%llu %llu", &dev, &ino) == 2) {
        journal.HasInode = true;
        journal.Dev = static_cast<dev_t>(dev);
        journal.Ino = static_cast<ino_t>(ino);
    }
    return true;
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsInode(const struct stat& st, const TJournal& journal) {
    return journal.HasInode && st.st_dev == journal.Dev && st.st_ino == journal.Ino;
}

// Completes or undoes one move; false when the journal has to stay for a later open.
bool Recover(TSysCalls& sys, const TJournal& j) {
    struct stat from {};
    struct stat to {};
    const bool hasFrom = sys.Lstat(j.From.c_str(), &from) == 0;
    const bool hasTo = sys.Lstat(j.To.c_str(), &to) == 0;
    switch (j.Kind) {
        case TJournal::EKind::Claim:
            // The placeholder is ours when it has the inode noted, or, when the move was stopped
            // before the inode was noted, when the file to move is still there: the name was
            // free when the journal was written.
            if (hasTo && S_ISREG(to.st_mode) && to.st_size == 0 &&
                (j.HasInode ? IsInode(to, j) : hasFrom && !SameInode(from, to))) {
                sys.Unlink(j.To.c_str());
            }
            return true;
        case TJournal::EKind::Link: {
            struct stat fromTarget {};
            struct stat toTarget {};
            if (hasFrom && hasTo && S_ISLNK(from.st_mode) && S_ISLNK(to.st_mode) &&
                ::stat(j.From.c_str(), &fromTarget) == 0 && ::stat(j.To.c_str(), &toTarget) == 0 &&
                SameInode(fromTarget, toTarget)) {
                sys.Unlink(j.From.c_str());
            }
            return true;
        }
        case TJournal::EKind::HardLink:
            // Both names reach the one file: the old one goes.
            if (hasFrom && hasTo && SameInode(from, to) && from.st_nlink > 1)
                sys.Unlink(j.From.c_str());
            return true;
        case TJournal::EKind::Copy:
            // The complete copy stands under its name: only the source is left to remove.
            if (hasFrom && hasTo && S_ISREG(from.st_mode) && IsInode(to, j) &&
                to.st_size == from.st_size) {
                sys.Unlink(j.From.c_str());
            }
            if (!j.Temp.empty() && ParseOwnName(NameOf(j.Temp)).Pid != 0)
                sys.Unlink(j.Temp.c_str());
            return true;
        case TJournal::EKind::CaseRename: {
            struct stat temp {};
            if (sys.Lstat(j.Temp.c_str(), &temp) != 0)
                return true;
            return SafeMoveFile(sys, j.Temp, j.From).Ok || SafeMoveFile(sys, j.Temp, j.To).Ok;
        }
    }
    return true;
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
            return 2;
        case TJournal::EKind::CaseRename:
            return 3;
    }
    return 4;
}

void CollectOwn(const std::string& folder, std::vector<std::string>& journals,
                std::vector<std::string>& temporaries, std::vector<std::string>* subfolders) {
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr)
        return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + name;
        if (name[0] != '.') {
            struct stat st {};
            if (subfolders != nullptr && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                subfolders->push_back(path + "/");
            continue;
        }
        const TOwnName own = ParseOwnName(name);
        if (own.Pid == 0 || ProcessRuns(own.Pid))
            continue;
        if (own.Kind == "journal")
            journals.push_back(path);
        else if (own.Kind == "tmp")
            temporaries.push_back(path);
    }
    ::closedir(d);
}

}  // namespace

std::string TemporaryName(const char* kind) {
    static std::atomic<unsigned> counter{0};
    return std::string(kPrefix) + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
           "." + kind;
}

int CreateTemporary(TSysCalls& sys, const std::string& folder, const char* kind,
                    std::string& path) {
    for (int attempt = 0;; ++attempt) {
        path = folder + TemporaryName(kind);
        const int fd = sys.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST || attempt >= 100)
            return fd;
    }
}

bool WriteJournal(TSysCalls& sys, TJournal& journal) {
    const int fd = CreateTemporary(sys, ParentOf(journal.From) + "/", "journal", journal.Path);
    if (fd < 0)
        return false;
    std::string bytes = kMagic;
    bytes += '\0';
    bytes += static_cast<char>(journal.Kind);
    for (const std::string* field : {&journal.From, &journal.To, &journal.Temp})
        (bytes += '\0') += *field;
    bytes += '\0';
    const bool written = WriteAll(sys, fd, bytes);
    const int error = errno;
    if (sys.Close(fd) != 0 || !written) {
        sys.Unlink(journal.Path.c_str());
        errno = written ? errno : error;
        return false;
    }
    return true;
}

bool AddJournalInode(TSysCalls& sys, TJournal& journal, dev_t dev, ino_t ino) {
    const int fd = sys.Open(journal.Path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const std::string record = std::to_string(static_cast<unsigned long long>(dev)) + " " +
                               std::to_string(static_cast<unsigned long long>(ino)) +
                               std::string(1, '\0');
    const bool written = WriteAll(sys, fd, record);
    const int error = errno;
    const bool closed = sys.Close(fd) == 0;
    if (!written)
        errno = error;
    journal.HasInode = written && closed;
    journal.Dev = dev;
    journal.Ino = ino;
    return journal.HasInode;
}

void DropJournal(TSysCalls& sys, const TJournal& journal) {
    const int error = errno;
    sys.Unlink(journal.Path.c_str());
    errno = error;
}

int CleanLeftovers(TSysCalls& sys, const std::string& folder) {
    if (folder.empty())
        return 0;
    const std::string top = folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> journalPaths;
    std::vector<std::string> temporaries;
    std::vector<std::string> subfolders;
    CollectOwn(top, journalPaths, temporaries, &subfolders);
    for (const std::string& sub : subfolders)
        CollectOwn(sub, journalPaths, temporaries, nullptr);

    std::vector<TJournal> journals;
    int handled = 0;
    for (const std::string& path : journalPaths) {
        TJournal j;
        if (ReadJournal(sys, path, j)) {
            journals.push_back(j);
        } else if (sys.Unlink(path.c_str()) == 0) {
            ++handled;  // stopped before its record was whole: no step of its move was made
        }
    }
    std::stable_sort(journals.begin(), journals.end(), [](const TJournal& a, const TJournal& b) {
        return Rank(a.Kind) < Rank(b.Kind);
    });
    for (const TJournal& j : journals) {
        if (Recover(sys, j) && sys.Unlink(j.Path.c_str()) == 0)
            ++handled;
    }
    for (const std::string& path : temporaries) {
        if (sys.Unlink(path.c_str()) == 0)
            ++handled;
    }
    return handled;
}

int CleanLeftovers(const std::string& folder) {
    return CleanLeftovers(RealSysCalls(), folder);
}

}  // namespace velmora
