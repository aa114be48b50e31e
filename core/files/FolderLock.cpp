#include "core/files/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <list>
#include <mutex>
#include <string_view>
#include <vector>

#include "audio/FileStream.h"
#include "core/files/FileSystem.h"
#include "core/files/Journal.h"
#include "core/files/Paths.h"

namespace velmora {

std::string FolderBusyText(const std::string& folder) {
    return "Папку " + folder + " уже обрабатывает другая копия Velmora";
}

std::string FolderMovedText(const std::string& folder) {
    return "Папка " + folder +
           " перемещена или заменена другой программой: работа остановлена, файлы по новому "
           "пути не тронуты";
}

TFolderLock::TFolderLock(TFileSystem& fs, const std::string& folder, EMode mode,
                         const TFileIdentity& opened)
    : Fs(fs), Folder(folder) {
    const bool nested = FolderHeld(folder);
    IsHeld = !folder.empty() && Fs.LockFolder(folder);
    if (mode != EMode::Require)
        return;
    Require();
    if (opened.Known() && !nested) {
        const TFileIdentity now = Fs.FolderIdentity(folder);
        if (now.Known() && (now.Dev != opened.Dev || now.Ino != opened.Ino)) {
            // The name leads to another folder than the one opened (renamed, a link put there).
            Release();
            throw EStreamError(FolderMovedText(folder));
        }
    }
}

void TFolderLock::Require() const {
    if (!IsHeld)
        throw EStreamError(FolderBusyText(Folder));
}

void TFolderLock::Release() {
    if (IsHeld)
        Fs.UnlockFolder(Folder);
    IsHeld = false;
}

namespace {

struct THeld {
    std::vector<std::string> Spellings;  // as spelt, made absolute, resolved (and other takes')
    std::string Real;
    int Fd = -1;
    dev_t Dev = 0;
    ino_t Ino = 0;
    int Depth = 0;
    // The journal of the folders made while the folder is held, open for appending.
    TJournal Made;
    int MadeFd = -1;
    bool MadeRefused = false;  // the folder takes no journal: folders are made unjournaled
    // The last folder made, open: the move into it resolves through this descriptor.
    std::string SubName;
    int SubFd = -1;
};

// Recursive: the journal of the folders made is written through the system calls, which look
// their paths up here.
using TGuard = std::lock_guard<std::recursive_mutex>;
std::recursive_mutex& HeldMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}
std::list<THeld>& Helds() {
    static std::list<THeld> helds;
    return helds;
}
// How many folders are held: a path is looked up only while one is.
std::atomic<int> HeldCount{0};

// The part of `normal` below `base` ("" for the base itself); false when it is not below.
bool Below(std::string_view normal, std::string_view base, std::string_view& rel) {
    if (base.empty())
        return false;
    if (normal == base) {
        rel = {};
        return true;
    }
    if (base == "/") {
        if (normal.empty() || normal[0] != '/')
            return false;
        rel = normal.substr(1);
        return true;
    }
    if (normal.size() > base.size() && normal.compare(0, base.size(), base) == 0 &&
        normal[base.size()] == '/') {
        rel = normal.substr(base.size() + 1);
        return true;
    }
    return false;
}

THeld* FindSpelling(const std::string& normal) {
    for (THeld& held : Helds())
        for (const std::string& spelling : held.Spellings)
            if (spelling == normal)
                return &held;
    return nullptr;
}

std::string RealPathOf(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    std::string result = real != nullptr ? real : "";
    std::free(real);
    return result;
}

void WriteAllTo(TSysCalls& sys, int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sys.Write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

bool HoldFolder(const std::string& folder) {
    if (folder.empty())
        return false;
    const TGuard guard(HeldMutex());
    const std::string normal = NormalPath(folder);
    if (THeld* held = FindSpelling(normal)) {
        ++held->Depth;
        return true;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        for (THeld& held : Helds()) {
            if (held.Fd >= 0 && held.Dev == st.st_dev && held.Ino == st.st_ino) {
                // Another spelling of a folder held already.
                held.Spellings.push_back(normal);
                ++held.Depth;
                ::close(fd);
                return true;
            }
        }
    }
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 &&
        (errno == EWOULDBLOCK || errno == EINTR)) {
        ::close(fd);
        return false;
    }
    // A file system without locks (some network ones) lets the work go on unlocked; a folder
    // that cannot be opened is held by its name only, and its commands fail on their own.
    THeld held;
    held.Fd = fd;
    held.Dev = st.st_dev;
    held.Ino = st.st_ino;
    held.Depth = 1;
    held.Spellings.push_back(normal);
    if (!normal.empty() && normal[0] != '/') {
        std::vector<char> cwd(PATH_MAX);
        if (::getcwd(cwd.data(), cwd.size()) != nullptr)
            held.Spellings.push_back(NormalPath(std::string(cwd.data()) + "/" + normal));
    }
    held.Real = RealPathOf(folder);
    if (!held.Real.empty())
        held.Spellings.push_back(held.Real);
    Helds().push_back(std::move(held));
    ++HeldCount;
    return true;
}

void ReleaseFolder(const std::string& folder) {
    const TGuard guard(HeldMutex());
    std::list<THeld>& helds = Helds();
    for (auto it = helds.begin(); it != helds.end(); ++it) {
        bool match = false;
        for (const std::string& spelling : it->Spellings)
            match = match || spelling == NormalPath(folder);
        if (!match)
            continue;
        if (--it->Depth > 0)
            return;
        if (it->MadeFd >= 0) {
            // The command ended: the folders it made are the user's now.
            ::close(it->MadeFd);
            DropJournal(RealSysCalls(), it->Made);
        }
        if (it->SubFd >= 0)
            ::close(it->SubFd);
        if (it->Fd >= 0)
            ::close(it->Fd);  // releases the lock
        helds.erase(it);
        --HeldCount;
        return;
    }
}

bool FolderHeld(const std::string& folder) {
    if (HeldCount.load() == 0)
        return false;
    const TGuard guard(HeldMutex());
    return FindSpelling(NormalPath(folder)) != nullptr;
}

bool HeldFolderInPlace(const std::string& folder) {
    if (HeldCount.load() == 0)
        return true;
    dev_t dev = 0;
    ino_t ino = 0;
    {
        const TGuard guard(HeldMutex());
        const THeld* held = FindSpelling(NormalPath(folder));
        if (held == nullptr || held->Fd < 0)
            return true;
        dev = held->Dev;
        ino = held->Ino;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

THeldPath::THeldPath(const char* path) : Path(path), DirFd(AT_FDCWD) {
    if (HeldCount.load() == 0 || path == nullptr)
        return;
    // Every system call comes here: the path is looked at in place unless it must be put in its
    // normal form first.
    std::string_view normal(path);
    if (normal.find("//") != std::string_view::npos ||
        (normal.size() > 1 && normal.back() == '/')) {
        Store = NormalPath(path);
        normal = Store;
    }
    const TGuard guard(HeldMutex());
    const THeld* best = nullptr;
    size_t bestLength = 0;
    std::string_view rel;
    for (const THeld& held : Helds()) {
        if (held.Fd < 0)
            continue;
        for (const std::string& spelling : held.Spellings) {
            std::string_view below;
            if (spelling.size() >= bestLength && Below(normal, spelling, below)) {
                best = &held;
                bestLength = spelling.size();
                rel = below;
            }
        }
    }
    if (best == nullptr)
        return;
    std::string_view parts[2];  // the first part and the last
    size_t count = 0;
    for (size_t at = 0; at <= rel.size();) {
        const size_t end = std::min(rel.find('/', at), rel.size());
        const std::string_view part = rel.substr(at, end - at);
        if (part == "..")
            return;  // not resolved below the folder: the path as it is
        if (!part.empty() && part != ".") {
            parts[count == 0 ? 0 : 1] = part;
            ++count;
        }
        at = end + 1;
    }
    Inside = true;
    DirFd = best->Fd;
    if (count == 0) {
        NamePtr = ".";
        return;
    }
    // The last part mostly ends the path: the name is then the path's own tail.
    const std::string_view last = parts[count == 1 ? 0 : 1];
    if (last.data() + last.size() == normal.data() + normal.size()) {
        NamePtr = last.data();
    } else {
        Tail = last;  // "D001/."
        NamePtr = Tail.c_str();
    }
    if (count == 1)
        return;
    if (count == 2 && best->SubFd >= 0 && parts[0] == best->SubName) {
        DirFd = best->SubFd;  // the folder just made
        return;
    }
    // The folders on the way, opened one by one without following links.
    for (size_t at = 0; at < static_cast<size_t>(last.data() - rel.data());) {
        const size_t end = rel.find('/', at);
        const std::string part(rel.substr(at, end - at));
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        const int next =
            ::openat(DirFd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            Err = errno == ENOTDIR || errno == ELOOP ? ENOTDIR : errno;
            break;
        }
        if (Owned >= 0)
            ::close(Owned);
        Owned = DirFd = next;
    }
}

std::string HeldRealPath(const char* path) {
    const std::string normal = NormalPath(path);
    const TGuard guard(HeldMutex());
    for (const THeld& held : Helds()) {
        std::string_view below;
        for (const std::string& spelling : held.Spellings)
            if (held.Fd >= 0 && Below(normal, spelling, below))
                return held.Real;
    }
    return "";
}

THeldPath::~THeldPath() {
    if (Owned >= 0)
        ::close(Owned);
}

int MakeJournaledFolder(TSysCalls& sys, const std::string& path) {
    const TGuard guard(HeldMutex());
    THeld* held = nullptr;
    if (HeldCount.load() > 0) {
        // Journaled: a folder made right in a held folder.
        const std::string normal = NormalPath(path);
        for (THeld& h : Helds()) {
            std::string_view rel;
            for (const std::string& spelling : h.Spellings)
                if (h.Fd >= 0 && Below(normal, spelling, rel) && !rel.empty() &&
                    rel.find('/') == std::string_view::npos)
                    held = &h;
        }
    }
    if (held != nullptr && held->MadeFd < 0 && !held->MadeRefused) {
        held->Made = TJournal::Of(TJournal::EKind::Folders, path, "");
        if (WriteJournal(sys, held->Made))
            held->MadeFd = sys.Open(held->Made.Path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC, 0);
        if (held->MadeFd < 0) {
            // No journal here: the folders are made all the same, as they always were.
            held->MadeRefused = true;
            DropJournal(sys, held->Made);
        }
    }
    if (held == nullptr || held->MadeFd < 0)
        return sys.Mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
    // The folder is noted before it is made, and only while its name is free: the next open
    // removes a folder so noted when it is empty (it was made by this command, as nobody else
    // makes folders of that name in the moment between), and never one of the user's. A folder
    // noted but not made is noted as such.
    struct stat st {};
    if (sys.Lstat(path.c_str(), &st) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    const std::string name = NameOf(path);
    const auto note = [&](char mark) {
        std::string record(1, mark);
        record.append(name).push_back('\0');
        WriteAllTo(sys, held->MadeFd, record);
    };
    note('+');
    if (sys.Mkdir(path.c_str(), 0777) != 0) {
        const int error = errno;
        note('-');
        return error;
    }
    // Kept open: the move into it that comes next goes through this descriptor.
    const int sub = sys.Open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (held->SubFd >= 0)
        ::close(held->SubFd);
    held->SubFd = sub;
    held->SubName = sub >= 0 ? name : std::string();
    return 0;
}

}  // namespace velmora
