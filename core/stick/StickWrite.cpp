#include "core/stick/StickWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "core/convert/ConvertJob.h"
#include "core/files/FileSystem.h"
#include "core/files/Paths.h"
#include "core/stick/MountTable.h"

namespace velmora {
namespace {

constexpr size_t kChunk = 1 << 20;
constexpr int kMaxCopies = 999;

// A folder of the new tree: its descriptor, its path as shown, the names made in it in order.
struct TMadeFolder {
    int Fd = -1;
    std::string Path;
    std::vector<std::string> Names;
    std::vector<bool> IsFolder{};  // of each name
};

// True when the open file is still the file the check read.
bool SameFile(const TDiscEntry& entry, const struct stat& st) {
    const TFileIdentity& id = entry.Identity;
    if (!id.Known())
        return st.st_size == entry.Size;
    if ((id.Dev != 0 || id.Ino != 0) &&
        (static_cast<uint64_t>(st.st_dev) != id.Dev || static_cast<uint64_t>(st.st_ino) != id.Ino))
        return false;
    if (id.ModifiedNs != 0 &&
        int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec != id.ModifiedNs)
        return false;
    return st.st_size == id.Size;
}

// The bytes, speed and time left of a step.
class TMeter {
  public:
    TMeter(const TStickProgress& progress, const char* key, const char* step, int64_t total)
        : Progress(progress),
          Key(key),
          Step(step),
          Total(total),
          Start(std::chrono::steady_clock::now()) {}
    bool Show(const std::string& item, int64_t done) {
        if (!Progress)
            return true;
        done = std::min(done, Total);
        TProgress p{Key, Step, item, done, Total};
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        if (seconds > 0.5 && done > 0) {
            const double rate = static_cast<double>(done) / seconds;
            p.Speed = SizeText(static_cast<int64_t>(rate)) + "/с";
            p.SecondsLeft = static_cast<double>(Total - done) / rate;
        }
        p.Warning = "Отмена удалит новую папку на флешке; в открытой папке ничего не меняется";
        return Progress(p);
    }

  private:
    const TStickProgress& Progress;
    const char* Key;
    const char* Step;
    int64_t Total;
    std::chrono::steady_clock::time_point Start;
};

class TStickWriter {
  public:
    TStickWriter(const TStickPlan& plan, const TStickProgress& progress, TSysCalls& sys)
        : Plan(plan),
          Progress(progress),
          Sys(sys),
          Buffer(new char[kChunk]),
          Compare(new char[kChunk]) {}
    ~TStickWriter() {
        for (TMadeFolder& f : Made)
            if (f.Fd >= 0)
                Sys.Close(f.Fd);
        if (TargetFd >= 0)
            Sys.Close(TargetFd);
    }

    TStickResult Run() {
        TStickResult result;
        TargetFd = Sys.Open(Plan.Target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (TargetFd < 0) {
            result.Message = "Запись на флешку не удалась: «" + Plan.Target +
                             "» не открывается: " + ErrorReason(errno);
            return result;
        }
        if (!MakeRoot(result))
            return result;
        result.Folder = Made[0].Path;
        const std::string fault = WriteAll();
        if (!fault.empty() || Cancelled) {
            result.Kind = Cancelled ? TStickResult::EKind::Cancelled : TStickResult::EKind::Failed;
            const std::string removed = RemoveMade();
            result.Folder.clear();
            result.Message =
                Cancelled ? "Запись на флешку отменена" : "Запись на флешку не удалась: " + fault;
            result.Message += "\r" + removed + "\rВ открытой папке ничего не изменилось.";
            return result;
        }
        result.OrderChecked = Plan.Volume.OrderVisible();
        result.Differences = CheckAll();
        result.Differences.insert(result.Differences.begin(), Differences.begin(),
                                  Differences.end());
        if (Cancelled) {
            result.Kind = TStickResult::EKind::Cancelled;
            result.Message = "Папка записана на флешку: " + result.Folder +
                             "\rПроверка отменена: записанное не проверено.";
            return result;
        }
        result.Message = "Папка записана на флешку: " + result.Folder;
        for (const std::string& line : Unconverted)
            result.Message += "\r" + line;
        if (!result.Differences.empty()) {
            result.Kind = TStickResult::EKind::Differs;
            result.Message += "\rПроверка нашла отличия:";
            for (const std::string& d : result.Differences)
                result.Message += "\r" + d;
            return result;
        }
        result.Kind = TStickResult::EKind::Done;
        result.Message += result.OrderChecked
                              ? "\rпорядок и файлы проверены"
                              : "\rфайлы проверены; порядок проверить нельзя: драйвер " +
                                    (Plan.Volume.Type.empty() ? std::string("этой флешки")
                                                              : "«" + Plan.Volume.Type + "»") +
                                    " не показывает, в каком порядке записи лежат на флешке";
        return result;
    }

  private:
    const TStickPlan& Plan;
    const TStickProgress& Progress;
    TSysCalls& Sys;
    std::unique_ptr<char[]> Buffer, Compare;
    int TargetFd = -1;
    bool Cancelled = false;
    std::vector<TMadeFolder> Made;         // the new folder first, then its folders in order
    std::vector<std::string> Differences;  // found while writing (the converted files')
    std::vector<std::string> Unconverted;  // the conversions that failed, and what became of them
    std::set<size_t> Left;                 // the files not written: their conversion failed
    std::set<size_t> AsIs;                 // the files copied as they are instead

    int ConvertedOf(size_t index) const {
        return index < Plan.Converted.size() && AsIs.count(index) == 0 ? Plan.Converted[index] : -1;
    }
    int64_t ConvertedBytes() const {
        int64_t bytes = 0;
        for (size_t i = 0; i < Plan.Check.Files.size(); ++i)
            if (ConvertedOf(i) >= 0)
                bytes += Plan.Check.Files[i].Size;
        return bytes;
    }

    // The new folder: the name, or the name with " (2)", " (3)"… when it is taken.
    bool MakeRoot(TStickResult& result) {
        for (int n = 1; n <= kMaxCopies; ++n) {
            const std::string name =
                n == 1 ? Plan.FolderName : Plan.FolderName + " (" + std::to_string(n) + ")";
            if (Sys.MkdirAt(TargetFd, name.c_str(), 0755) != 0) {
                if (errno == EEXIST)
                    continue;
                result.Message = "Запись на флешку не удалась: папка «" +
                                 JoinPath(Plan.Target, name) +
                                 "» не создаётся: " + ErrorReason(errno);
                return false;
            }
            const int fd = Sys.OpenAt(TargetFd, name.c_str(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
            Made.push_back({fd, JoinPath(Plan.Target, name), {}});
            RootName = name;
            if (fd < 0) {
                result.Message = "Запись на флешку не удалась: папка «" + Made[0].Path +
                                 "» не открывается: " + ErrorReason(errno) + "\r" + RemoveMade();
                return false;
            }
            return true;
        }
        result.Message = "Запись на флешку не удалась: на флешке уже " +
                         std::to_string(kMaxCopies) + " папок «" + Plan.FolderName + " (…)»";
        return false;
    }
    std::string RootName;

    // Each file in play order, each folder made just before its first file; "" or the fault.
    std::string WriteAll() {
        // A converted file counts twice: its conversion, then its write.
        TMeter meter(Progress, "write", "Запись на флешку", Plan.Bytes + ConvertedBytes());
        int64_t done = 0;
        int folder = -1;
        for (size_t index = 0; index < Plan.Check.Files.size(); ++index) {
            const TDiscEntry& file = Plan.Check.Files[index];
            if (file.Folder != folder) {
                folder = file.Folder;
                const std::string name = Plan.Check.Folders.at(static_cast<size_t>(folder)).Name;
                const std::string path = JoinPath(Made[0].Path, name);
                if (Sys.MkdirAt(Made[0].Fd, name.c_str(), 0755) != 0)
                    return "папка «" + path + "» не создаётся: " + ErrorReason(errno);
                Made[0].Names.push_back(name);
                Made[0].IsFolder.push_back(true);
                const int fd = Sys.OpenAt(Made[0].Fd, name.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
                Made.push_back({fd, path, {}});
                if (fd < 0)
                    return "папка «" + path + "» не открывается: " + ErrorReason(errno);
            }
            TMadeFolder& into = Made[static_cast<size_t>(folder + 1)];
            const int item = ConvertedOf(index);
            std::string failed;
            if (const std::string why =
                    item >= 0 ? WriteConverted(file, Plan.Convert.Items[static_cast<size_t>(item)],
                                               into, meter, done, failed)
                              : WriteFile(file, into, meter, done);
                !why.empty() || Cancelled)
                return why;
            if (failed.empty())
                continue;
            if (const std::string why = Unconvertible(index, file, into, meter, done, failed);
                !why.empty() || Cancelled)
                return why;
        }
        return "";
    }

    // A file whose conversion failed (a damaged stream): an MP3 that plays as it is goes on the
    // stick as it is, as it would without the conversion; anything else stays off. The rest of
    // the copy goes on, as the conversion goes on past a file it cannot convert.
    std::string Unconvertible(size_t index, const TDiscEntry& file, TMadeFolder& into,
                              TMeter& meter, int64_t& done, const std::string& failed) {
        const size_t item = static_cast<size_t>(Plan.Converted[index]);
        if (item < Plan.PlaysAsIs.size() && Plan.PlaysAsIs[item]) {
            AsIs.insert(index);
            TDiscEntry original = file;
            original.Identity = Plan.Convert.Items[item].Identity;
            original.Size = original.Identity.Size;
            Unconverted.push_back(failed + " — записан как есть");
            return WriteFile(original, into, meter, done);
        }
        Left.insert(index);
        Unconverted.push_back(failed + " — на флешку не записан");
        return "";
    }

    // A file of no name in $TMPDIR (else /tmp), never inside the opened folder: it goes with its
    // descriptor, whatever stops the copy, a kill too.
    int OpenTemporary(std::string& where) const {
        const char* env = ::getenv("TMPDIR");
        where = env != nullptr && *env != '\0' ? env : "/tmp";
        if (PathWithin(NormalPath(where), NormalPath(Plan.Check.Folder)))
            where = "/tmp";
        const int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
            return fd;
        // A file system without O_TMPFILE: a named file, unlinked at once.
        std::string name = JoinPath(where, ".velmora-stick-XXXXXX");
        const int named = ::mkostemp(name.data(), O_CLOEXEC);
        if (named >= 0)
            ::unlink(name.c_str());
        return named;
    }

    // A file the radio cannot play: converted into a temporary file, which is then written onto
    // the stick under the file's final name and compared with the stick's bytes right away (the
    // temporaries of a whole folder would take as much room as the stick).
    // A failed conversion is told in `failed`, not as the copy's fault.
    std::string WriteConverted(const TDiscEntry& file, const TConvertItem& item, TMadeFolder& into,
                               TMeter& meter, int64_t& done, std::string& failed) {
        const std::string shown = RelativePath(item.Source, Plan.Check.Folder);
        std::string where;
        const int temp = OpenTemporary(where);
        if (temp < 0)
            return "временный файл для перекодирования не создаётся в «" + where +
                   "»: " + ErrorReason(errno);
        const int64_t base = done, planned = file.Size;
        const int64_t length = std::max<int64_t>(1, item.DurationMs);
        const TConvertOutcome made =
            ConvertInto(Sys, item, Plan.Convert.Settings, temp, [&](int64_t ms) {
                done = base + planned * std::clamp<int64_t>(ms, 0, length) / length;
                return meter.Show(shown, done);
            });
        std::string why;
        struct stat st {};
        if (made.State == TConvertOutcome::EState::Cancelled)
            Cancelled = true;
        else if (made.State != TConvertOutcome::EState::Done)
            failed = "«" + shown + "» не перекодирован: " + made.Message;
        else if (Sys.Fstat(temp, &st) != 0 || ::lseek(temp, 0, SEEK_SET) != 0)
            why = "перекодированный файл «" + shown + "» не читается: " + ErrorReason(errno);
        if (why.empty() && !Cancelled && failed.empty()) {
            done = base + planned;
            why = CopyInto(temp, st.st_size, shown, file, into, meter, done);
        }
        if (why.empty() && !Cancelled && failed.empty()) {
            if (::lseek(temp, 0, SEEK_SET) != 0)
                why = "перекодированный файл «" + shown + "» не читается: " + ErrorReason(errno);
            else if (const std::string d = CompareWith(temp, shown, into, file.Name, nullptr, done);
                     !d.empty())
                Differences.push_back(d);
        }
        Sys.Close(temp);
        done = base + 2 * planned;
        return why;
    }

    std::string WriteFile(const TDiscEntry& file, TMadeFolder& into, TMeter& meter, int64_t& done) {
        const std::string source = JoinPath(Plan.Check.Folder, file.Source);
        const int in = Sys.Open(source.c_str(), O_RDONLY | O_CLOEXEC, 0);
        if (in < 0)
            return "файл «" + file.Source + "» не открывается: " + ErrorReason(errno);
        struct stat st;
        if (Sys.Fstat(in, &st) != 0 || !SameFile(file, st)) {
            Sys.Close(in);
            return "файл «" + file.Source + "» изменился после проверки — запишите флешку ещё раз";
        }
        const std::string why = CopyInto(in, file.Size, file.Source, file, into, meter, done);
        Sys.Close(in);
        return why;
    }

    // `size` bytes of `in` (shown as `shown`) into a new file of the entry's name, flushed and
    // closed; "" or the fault.
    std::string CopyInto(int in, int64_t size, const std::string& shown, const TDiscEntry& file,
                         TMadeFolder& into, TMeter& meter, int64_t& done) {
        const std::string target = JoinPath(into.Path, file.Name);
        const int out = Sys.OpenAt(into.Fd, file.Name.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (out < 0)
            return "«" + target + "»: " + ErrorReason(errno);
        into.Names.push_back(file.Name);
        into.IsFolder.push_back(false);
        std::string why;
        int64_t left = size;
        while (why.empty() && left > 0) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(left, kChunk));
            const ssize_t n = ReadAll(Sys, in, Buffer.get(), want);
            if (n < 0)
                why = "файл «" + shown + "» не читается: " + ErrorReason(errno);
            else if (static_cast<size_t>(n) != want)
                why = "файл «" + shown + "» изменился во время записи — запишите флешку ещё раз";
            else if (!velmora::WriteAll(Sys, out, Buffer.get(), want))
                why = "«" + target + "»: " + ErrorReason(errno);
            left -= static_cast<int64_t>(want);
            done += static_cast<int64_t>(want);
            if (why.empty() && !meter.Show(shown, done)) {
                Cancelled = true;
                break;
            }
        }
        if (why.empty() && !Cancelled && Sys.Fsync(out) != 0)
            why = "«" + target + "»: " + ErrorReason(errno);
        // What the check reads back comes from the stick, not from memory.
        if (why.empty() && !Cancelled)
            ::posix_fadvise(out, 0, 0, POSIX_FADV_DONTNEED);
        if (Sys.Close(out) != 0 && why.empty() && !Cancelled)
            why = "«" + target + "»: " + ErrorReason(errno);
        return why;
    }

    // Removes what was made, files and folders from the last; says what became of the folder.
    std::string RemoveMade() {
        bool all = true;
        int error = 0;
        for (size_t i = Made.size(); i-- > 0;) {
            for (size_t n = Made[i].Names.size(); n-- > 0;) {
                const int flags = Made[i].IsFolder[n] ? AT_REMOVEDIR : 0;
                if (Made[i].Fd < 0 ||
                    Sys.UnlinkAt(Made[i].Fd, Made[i].Names[n].c_str(), flags) != 0) {
                    all = false;
                    error = error != 0 ? error : errno;
                }
            }
        }
        if (!Made.empty() && Sys.UnlinkAt(TargetFd, RootName.c_str(), AT_REMOVEDIR) != 0) {
            all = false;
            error = error != 0 ? error : errno;
        }
        const std::string path = Made.empty() ? Plan.Target : Made[0].Path;
        return all ? "Новая папка «" + path + "» удалена с флешки."
                   : "Новую папку «" + path + "» удалить не удалось (" + ErrorReason(error) +
                         "): удалите её сами.";
    }

    // The new tree read back against the list; the differences.
    std::vector<std::string> CheckAll() {
        std::vector<std::string> differences;
        for (const TMadeFolder& folder : Made) {
            std::vector<std::string> found;
            bool listed = false;
            const int fd = Sys.OpenAt(folder.Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
            if (DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr) {
                listed = true;
                while (const dirent* e = ::readdir(dir))
                    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                        found.push_back(e->d_name);
                ::closedir(dir);
            } else if (fd >= 0) {
                Sys.Close(fd);
            }
            if (!listed) {
                differences.push_back("«" + folder.Path + "» не читается: " + ErrorReason(errno));
                continue;
            }
            std::vector<std::string> expected = folder.Names;
            if (!Plan.Volume.OrderVisible()) {
                // Only what is there counts.
                std::sort(expected.begin(), expected.end());
                std::sort(found.begin(), found.end());
            }
            for (std::string& d : CompareStickOrder(expected, found, folder.Path))
                differences.push_back(std::move(d));
        }
        // The converted files were compared with their temporaries as they were written.
        TMeter meter(Progress, "verify", "Проверка записанного", Plan.Bytes - ConvertedBytes());
        int64_t done = 0;
        Cancelled = !meter.Show("", 0);
        for (size_t index = 0; index < Plan.Check.Files.size(); ++index) {
            const TDiscEntry& file = Plan.Check.Files[index];
            if (Cancelled)
                break;
            if (ConvertedOf(index) >= 0 || Left.count(index) != 0)
                continue;
            if (const std::string d =
                    CheckFile(file, Made[static_cast<size_t>(file.Folder + 1)], meter, done);
                !d.empty())
                differences.push_back(d);
        }
        return differences;
    }

    std::string CheckFile(const TDiscEntry& file, const TMadeFolder& folder, TMeter& meter,
                          int64_t& done) {
        const std::string source = JoinPath(Plan.Check.Folder, file.Source);
        const int in = Sys.Open(source.c_str(), O_RDONLY | O_CLOEXEC, 0);
        if (in < 0)
            return "файл «" + file.Source + "» не открывается: " + ErrorReason(errno);
        const std::string differs = CompareWith(in, file.Source, folder, file.Name, &meter, done);
        Sys.Close(in);
        return differs;
    }

    // The stick's file `name` in `folder` read back against `in` (shown as `shown`); "" or the
    // difference. Without a meter nothing is shown and nothing cancels.
    std::string CompareWith(int in, const std::string& shown, const TMadeFolder& folder,
                            const std::string& name, TMeter* meter, int64_t& done) {
        const std::string target = JoinPath(folder.Path, name);
        const int copy = Sys.OpenAt(folder.Fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
        if (copy < 0)
            return "«" + target + "» не читается: " + ErrorReason(errno);
        ::posix_fadvise(copy, 0, 0, POSIX_FADV_DONTNEED);
        std::string differs;
        int64_t at = 0;
        while (differs.empty()) {
            const ssize_t a = ReadAll(Sys, copy, Buffer.get(), kChunk);
            const ssize_t b = ReadAll(Sys, in, Compare.get(), kChunk);
            if (a < 0) {
                differs = "«" + target + "» не читается: " + ErrorReason(errno);
                break;
            }
            if (b < 0) {
                differs = "файл «" + shown + "» не читается: " + ErrorReason(errno);
                break;
            }
            const size_t same = std::min(a, b);
            if (std::memcmp(Buffer.get(), Compare.get(), same) != 0 || a != b) {
                size_t i = 0;
                while (i < same && Buffer[i] == Compare[i])
                    ++i;
                differs = "«" + target + "» не совпадает с файлом «" + shown + "» с байта " +
                          std::to_string(at + static_cast<int64_t>(i));
                break;
            }
            if (a == 0)
                break;
            at += a;
            done += a;
            if (meter && !meter->Show(shown, done)) {
                Cancelled = true;
                break;
            }
        }
        Sys.Close(copy);
        return differs;
    }
};

}  // namespace

std::vector<std::string> CompareStickOrder(const std::vector<std::string>& expected,
                                           const std::vector<std::string>& found,
                                           const std::string& shown) {
    std::vector<std::string> out;
    const std::multiset<std::string> want(expected.begin(), expected.end()),
        have(found.begin(), found.end());
    std::set<std::string> told;
    for (const std::string& name : expected)
        if (have.count(name) < want.count(name) && told.insert(name).second)
            out.push_back("в «" + shown + "» нет «" + name + "»");
    for (const std::string& name : found)
        if (want.count(name) < have.count(name) && told.insert(name).second)
            out.push_back("в «" + shown + "» лишнее «" + name + "»");
    if (!out.empty())
        return out;
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != found[i]) {
            out.push_back("в «" + shown + "» порядок не тот: " + std::to_string(i + 1) +
                          "-м стоит «" + found[i] + "» вместо «" + expected[i] + "»");
            break;
        }
    return out;
}

TStickResult WriteStick(const TStickPlan& plan, const TStickProgress& progress, TSysCalls& sys) {
    return TStickWriter(plan, progress, sys).Run();
}

}  // namespace velmora
