#include "core/files/Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "core/files/Paths.h"

namespace velmora {
namespace {

constexpr char kPrefix[] = ".velmora-";
constexpr char kMagic[] = "velmora-journal-2";

// The path as an absolute one: a journal must mean the same whatever the working folder of the
// program that reads it.
std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    std::vector<char> cwd(PATH_MAX);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return path;
    return JoinPath(cwd.data(), path);
}

std::string Pair(unsigned long long a, unsigned long long b) {
    return std::to_string(a) + " " + std::to_string(b);
}

bool ParsePair(const std::string& text, unsigned long long& a, unsigned long long& b) {
    return std::sscanf(text.c_str(), "%llu %llu", &a, &b) == 2;
}

}  // namespace

std::string TemporaryName(const char* kind) {
    static std::atomic<unsigned> counter{0};
    return std::string(kPrefix) + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
           "." + kind;
}

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

bool WriteJournal(TSysCalls& sys, TJournal& journal) {
    for (std::string* path : {&journal.From, &journal.To, &journal.Temp})
        *path = Absolute(*path);
    const std::string folder = ParentOf(journal.From);
    struct stat st {};
    if (sys.Lstat((folder + "/.").c_str(), &st) != 0)
        return false;
    journal.FolderDev = st.st_dev;
    journal.FolderIno = st.st_ino;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        journal.Path = JoinPath(folder, TemporaryName("journal"));
        fd = sys.Open(journal.Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            return false;
    }
    std::string bytes = kMagic;
    bytes += '\0';
    bytes += static_cast<char>(journal.Kind);
    for (const std::string* field : {&journal.From, &journal.To, &journal.Temp})
        (bytes += '\0') += *field;
    (bytes += '\0') += Pair(journal.FolderDev, journal.FolderIno);
    bytes += '\0';
    const bool written = WriteAll(sys, fd, bytes.data(), bytes.size());
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
    std::string record = Pair(dev, ino) + std::string(1, '\0');
    if (journal.HasSource)
        record += Pair(journal.SourceDev, journal.SourceIno) + std::string(1, '\0');
    const bool written = WriteAll(sys, fd, record.data(), record.size());
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

namespace {

// The bytes of a journal of ours (at most 64 KB are read): false unless it is a regular file of
// the user running the program that only that user may read or write (mode 0600).
bool ReadSmall(TSysCalls& sys, const std::string& path, std::string& bytes) {
    const int fd = sys.Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct stat st {};
    if (sys.Fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 07777) != 0600) {
        sys.Close(fd);
        return false;
    }
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
    return true;
}

// The fields of a record, each ended by a zero byte; what follows the last zero is not one.
std::vector<std::string> Fields(const std::string& bytes) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        fields.push_back(bytes.substr(start, end - start));
    return fields;
}

constexpr size_t kWholeFields = 6;  // magic, kind, from, to, temp, folder

}  // namespace

bool IsUnfinishedJournal(TSysCalls& sys, const std::string& path) {
    std::string bytes;
    return ReadSmall(sys, path, bytes) && IsUnfinishedRecord(bytes);
}

bool IsUnfinishedRecord(const std::string& bytes) {
    const std::string magic = std::string(kMagic) + '\0';
    if (bytes.size() < magic.size())
        return magic.compare(0, bytes.size(), bytes) == 0;
    return bytes.compare(0, magic.size(), magic) == 0 && Fields(bytes).size() < kWholeFields;
}

bool ReadJournal(TSysCalls& sys, const std::string& path, TJournal& journal) {
    std::string bytes;
    return ReadSmall(sys, path, bytes) && ParseJournal(bytes, path, journal);
}

bool ParseJournal(const std::string& bytes, const std::string& path, TJournal& journal) {
    const std::vector<std::string> fields = Fields(bytes);
    if (fields.size() < kWholeFields || fields[0] != kMagic || fields[1].size() != 1)
        return false;
    const char kind = fields[1][0];
    if (std::string("clhxrwvd").find(kind) == std::string::npos)
        return false;
    journal = {};
    journal.Kind = static_cast<TJournal::EKind>(kind);
    journal.From = fields[2];
    journal.To = fields[3];
    journal.Temp = fields[4];
    journal.Path = path;
    unsigned long long a = 0, b = 0;
    if (!ParsePair(fields[5], a, b))
        return false;
    journal.FolderDev = static_cast<dev_t>(a);
    journal.FolderIno = static_cast<ino_t>(b);
    if (journal.Kind == TJournal::EKind::Folders) {
        // "+name" before a folder is made, "-name" when it was not.
        for (size_t i = kWholeFields; i < fields.size(); ++i) {
            const std::string& mark = fields[i];
            if (mark.size() < 2 || (mark[0] != '+' && mark[0] != '-'))
                continue;
            const std::string name = mark.substr(1);
            if (mark[0] == '+')
                journal.Made.push_back({name, false});
            for (TJournal::TMadeFolder& made : journal.Made)
                if (made.Name == name && mark[0] == '-')
                    made.Cancelled = true;
        }
        return true;
    }
    if (fields.size() >= 7 && ParsePair(fields[6], a, b)) {
        journal.HasInode = true;
        journal.Dev = static_cast<dev_t>(a);
        journal.Ino = static_cast<ino_t>(b);
    }
    if (fields.size() >= 8 && ParsePair(fields[7], a, b)) {
        journal.HasSource = true;
        journal.SourceDev = static_cast<dev_t>(a);
        journal.SourceIno = static_cast<ino_t>(b);
    }
    return true;
}

mode_t CreationMode() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

int CreateJournaledTemporary(TSysCalls& sys, const std::string& folder, TJournal& journal) {
    for (int attempt = 0;; ++attempt) {
        journal.Temp = JoinPath(folder, TemporaryName("tmp"));
        if (!WriteJournal(sys, journal))
            return -1;
        const int fd =
            sys.Open(journal.Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            DropJournal(sys, journal);
            errno = error;
            if (error == EEXIST && attempt < 100)
                continue;
            return -1;
        }
        struct stat st {};
        if (sys.Fstat(fd, &st) != 0 || !AddJournalInode(sys, journal, st.st_dev, st.st_ino)) {
            const int error = errno;
            sys.Close(fd);
            sys.Unlink(journal.Temp.c_str());
            DropJournal(sys, journal);
            errno = error;
            return -1;
        }
        return fd;
    }
}

}  // namespace velmora
