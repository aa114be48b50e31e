#include "core/burn/BurnLib.h"

#include <fcntl.h>
#include <libburn/libburn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "core/text/TrackRules.h"

namespace velmora {
namespace {

// libburn.h puts its declarations into the namespace burn when compiled as C++.
using namespace burn;

using TClock = std::chrono::steady_clock;

constexpr int64_t kSector = 2048;
constexpr double kOneX = 75.0 * kSector;  // bytes of data a second at 1x
constexpr int kSpeedKbPerX = 1764;        // libburn's speeds: 1x is 176.4 kB/s (raw bytes)
constexpr auto kPoll = std::chrono::milliseconds(2);
constexpr auto kReportEvery = std::chrono::milliseconds(50);
// A write whose data stops moving for this long has lost its drive: it is cancelled.
constexpr auto kStall = std::chrono::seconds(120);
// How long a write refused because libburn still counts the last job on the drive is asked again.
constexpr auto kNoWriter = std::chrono::seconds(5);
// How long libburn's write thread lives on after a cancel or a failure once its drive is at rest.
constexpr auto kWriterTail = std::chrono::seconds(1);
// How long a cancelled or failing drive may take to come back to rest.
constexpr auto kSettle = std::chrono::seconds(60);
constexpr int kReadChunkSectors = 32;

const char kInsertBlank[] = "Вставьте чистый диск CD-R или CD-RW.";

// libburn is one per process: one call at a time owns it, from burn_initialize to burn_finish.
std::mutex LibraryLock;
// Set when a drive did not come back to rest after a cancel: libburn's thread may still use the
// drive, so it is neither released nor is libburn shut down, and nothing burns until the program
// starts again.
bool Stuck = false;

// Without the spaces a drive pads its vendor and model names with.
std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string MB(int64_t sectors, bool roundUp) {
    const int64_t bytes = sectors * kSector;
    return std::to_string(roundUp ? (bytes + (1 << 20) - 1) >> 20 : bytes >> 20) + " МБ";
}

// What libburn said, gathered from its message queue under the library lock: the first
// complaint (severity SORRY or worse, with the system's reason) not yet taken.
std::string Complaint;

void Listen() {
    char minimum[] = "ALL";
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    int code = 0, osErrno = 0;
    while (burn_msgs_obtain(minimum, &code, text, &osErrno, severity) == 1) {
        const std::string level = severity;
        if (Complaint.empty() &&
            (level == "SORRY" || level == "FAILURE" || level == "FATAL" || level == "ABORT")) {
            Complaint = text;
            if (osErrno != 0)
                Complaint += std::string(" (") + std::strerror(osErrno) + ")";
        }
    }
}

// The first complaint since the last call, "" when there was none.
std::string TakeMessage() {
    Listen();
    std::string first;
    first.swap(Complaint);
    return first;
}

// The message with libburn's reason after it, on one line and ending with one full stop.
std::string WithReason(std::string message, std::string reason) {
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    while (!reason.empty() && (reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    if (!reason.empty())
        message += " Причина: " + reason + ".";
    return message;
}

// libburn, started on first use and kept for the rest of the process. A write thread of libburn
// lives on a moment after its drive came to rest (it frees its options, says that it ended and
// leaves libburn's list of jobs): shutting libburn down between calls would pull the library
// from under it. One call at a time owns it.
class TLibrary {
  public:
    TLibrary() : Hold(LibraryLock) {
        static const bool started = [] {
            if (!burn_initialize())
                return false;
            char queue[] = "SORRY", print[] = "NEVER", id[] = "velmora: ";
            burn_msgs_set_severities(queue, print, id);
            return true;
        }();
        if (Stuck) {
            Error =
                "Привод не ответил после прошлой записи. Перезапустите программу, а если "
                "это не поможет — отключите и снова подключите привод.";
            return;
        }
        if (!started) {
            Error = "Не удалось запустить libburn, библиотеку записи дисков.";
            return;
        }
        TakeMessage();
        Up = true;
    }
    ~TLibrary() {
        if (Up && !Stuck)
            TakeMessage();
    }
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    bool Up = false;
    std::string Error;

  private:
    std::unique_lock<std::mutex> Hold;
};

// Waits until the drive is at rest; false when it still is not after `patience`.
bool WaitIdle(burn_drive* drive, TClock::duration patience) {
    const TClock::time_point until = TClock::now() + patience;
    while (burn_drive_get_status(drive, nullptr) != BURN_DRIVE_IDLE) {
        if (TClock::now() > until)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

std::string PseudoPath(const std::string& address) {
    return address.substr(std::strlen("stdio:"));
}

// A grabbed drive, released (and ejected when asked) when it goes out of scope.
class TGrab {
  public:
    TGrab() = default;
    TGrab(const TGrab&) = delete;
    TGrab& operator=(const TGrab&) = delete;
    ~TGrab() { Release(); }

    bool Open(const std::string& address, std::string& error) {
        if (address.empty() || address.size() >= BURN_DRIVE_ADR_LEN) {
            error = "Не указан привод. Выберите привод из списка.";
            return false;
        }
        char adr[BURN_DRIVE_ADR_LEN] = {};
        std::string name = address;
        // "/dev/cdrom" and other links to a drive: libburn wants the drive's own address.
        if (!IsPseudoDrive(address) &&
            burn_drive_convert_fs_adr(const_cast<char*>(address.c_str()), adr) == 1)
            name = adr;
        const int rc = burn_drive_scan_and_grab(&Info, const_cast<char*>(name.c_str()), 1);
        if (rc <= 0) {
            if (Info)
                burn_drive_info_free(Info);
            Info = nullptr;
            error = WithReason(
                IsPseudoDrive(address)
                    ? "Файл " + PseudoPath(address) +
                          " нельзя открыть вместо диска. Укажите новый файл в существующей папке."
                    : "Привод " + address +
                          " не найден или занят другой программой. Проверьте, что он подключён "
                          "и что диск в нём не открыт другой программой.",
                TakeMessage());
            return false;
        }
        Drive = Info[0].drive;
        WaitForDisc();
        return true;
    }

    // Lets the drive settle after a grab, a blanking or a write: "unready" while it spins up.
    void WaitForDisc() {
        const TClock::time_point until = TClock::now() + std::chrono::seconds(30);
        while (burn_disc_get_status(Drive) == BURN_DISC_UNREADY && TClock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    void Release() {
        if (!Drive || Stuck)
            return;
        if (!WaitIdle(Drive, std::chrono::seconds(0))) {
            burn_drive_cancel(Drive);
            if (!WaitIdle(Drive, kSettle)) {
                Stuck = true;  // see Stuck: the drive and its info are left to libburn's thread
                Drive = nullptr;
                Info = nullptr;
                return;
            }
        }
        burn_drive_release(Drive, Eject ? 1 : 0);
        burn_drive_info_free(Info);
        Drive = nullptr;
        Info = nullptr;
    }

    burn_drive* Drive = nullptr;
    burn_drive_info* Info = nullptr;
    bool Eject = false;
};

// Describes what the grabbed drive holds.
TMediumInfo Inspect(TGrab& grab, const std::string& address, int64_t pseudoCapacitySectors) {
    TMediumInfo info;
    info.Address = address;
    burn_drive* drive = grab.Drive;
    int profile = 0;
    char profileName[80] = {};
    burn_disc_get_profile(drive, &profile, profileName);
    info.Profile = profileName;
    const enum burn_disc_status status = burn_disc_get_status(drive);
    info.Erasable = burn_disc_erasable(drive) != 0;

    if (burn_drive_get_drive_role(drive) != 1) {
        // A pseudo-drive is a file standing for a blank CD. libburn gives it the profile "stdio
        // file" (0xffff), which is no CD profile, so the checks below that want a CD let it
        // through by its kind: it takes the same path a real drive takes, without a burner.
        // libburn would overwrite a file that has data and would write into a device; we only
        // write into a new or empty file.
        info.Kind = TMediumKind::PseudoDrive;
        info.DummySupported = true;  // libburn goes through the write and writes nothing
        const std::string path = PseudoPath(address);
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                info.State = TMediumState::Unusable;
                info.StateText = path + " — не файл";
            } else if (st.st_size > 0) {
                info.State = TMediumState::Full;
                info.StateText = "Файл " + path + " уже есть и не пуст";
            } else {
                info.State = TMediumState::Blank;
            }
        } else {
            info.State = TMediumState::Blank;  // a new file (libburn refuses a missing folder)
        }
        if (info.State == TMediumState::Blank) {
            info.CapacitySectors = pseudoCapacitySectors > 0
                                       ? pseudoCapacitySectors
                                       : burn_disc_available_space(drive, nullptr) / kSector;
            info.StateText =
                "Файл вместо диска: " + path + ", места " + MB(info.CapacitySectors, false);
        }
        return info;
    }

    info.DummySupported = grab.Info[0].write_simulate != 0;
    switch (profile) {
        case 0x00:
            info.Kind = TMediumKind::None;
            break;
        case 0x08:
            info.Kind = TMediumKind::CdRom;
            break;
        case 0x09:
            info.Kind = TMediumKind::CdR;
            break;
        case 0x0a:
            info.Kind = TMediumKind::CdRw;
            break;
        default:
            info.Kind = TMediumKind::NotCd;
    }
    switch (status) {
        case BURN_DISC_EMPTY:
            info.State = TMediumState::NoDisc;
            info.Kind = TMediumKind::None;
            break;
        case BURN_DISC_BLANK:
            info.State = TMediumState::Blank;
            break;
        case BURN_DISC_APPENDABLE:
            info.State = TMediumState::Appendable;
            break;
        case BURN_DISC_FULL:
            info.State = TMediumState::Full;
            break;
        default:
            info.State = TMediumState::Unusable;
    }
    if (info.State == TMediumState::Blank) {
        info.CapacitySectors = burn_disc_available_space(drive, nullptr) / kSector;
    } else if (info.Kind == TMediumKind::CdRw && info.Erasable) {
        // What the disc holds once blanked: where its lead-out begins, as the disc's ATIP says.
        int start = 0, end = 0;
        if (burn_drive_get_start_end_lba(drive, &start, &end, 0) == 1 && end > 0)
            info.CapacitySectors = end;
    }
    if (info.Kind == TMediumKind::CdR || info.Kind == TMediumKind::CdRw) {
        struct burn_speed_descriptor* list = nullptr;
        if (burn_drive_get_speedlist(drive, &list) == 1) {
            for (auto* s = list; s; s = s->next) {
                const int x = (s->write_speed * 10 + kSpeedKbPerX / 2) / kSpeedKbPerX;
                if (s->write_speed > 0 && x > 0)
                    info.WriteSpeeds.push_back(x);
            }
            burn_drive_free_speedlist(&list);
        }
        std::sort(info.WriteSpeeds.begin(), info.WriteSpeeds.end());
        info.WriteSpeeds.erase(std::unique(info.WriteSpeeds.begin(), info.WriteSpeeds.end()),
                               info.WriteSpeeds.end());
    }

    const std::string kind =
        info.Kind == TMediumKind::CdR    ? "CD-R"
        : info.Kind == TMediumKind::CdRw ? "CD-RW"
        : info.Kind == TMediumKind::CdRom
            ? "CD-ROM"
            : (info.Profile.empty() ? std::string("неизвестный") : info.Profile);
    switch (info.State) {
        case TMediumState::NoDisc:
            info.StateText = "В приводе нет диска";
            break;
        case TMediumState::Blank:
            info.StateText = "Чистый диск " + kind + ", " + MB(info.CapacitySectors, false);
            break;
        case TMediumState::Appendable:
            info.StateText = "Диск " + kind + " с данными (сессия не закрыта)";
            break;
        case TMediumState::Full:
            info.StateText = "Диск " + kind + " с данными" +
                             (info.Kind == TMediumKind::CdRw && info.Erasable
                                  ? std::string(" (его можно очистить)")
                                  : std::string());
            break;
        default:
            info.StateText = "Диск в приводе не распознан";
    }
    return info;
}

// Speeds over the last two seconds from samples of (time, bytes done).
class TRate {
  public:
    void Add(int64_t done) {
        const TClock::time_point now = TClock::now();
        Samples.push_back({now, done});
        while (Samples.size() > 2 && now - Samples.front().first > std::chrono::seconds(2))
            Samples.pop_front();
    }
    double BytesPerSecond() const {
        if (Samples.size() < 2)
            return 0;
        const double seconds =
            std::chrono::duration<double>(Samples.back().first - Samples.front().first).count();
        if (seconds < 0.2)
            return 0;
        return static_cast<double>(Samples.back().second - Samples.front().second) / seconds;
    }

  private:
    std::deque<std::pair<TClock::time_point, int64_t>> Samples;
};

bool Report(const TBurnProgressFn& progress, TBurnPhase phase, int64_t done, int64_t total,
            TRate* rate) {
    if (!progress)
        return true;
    TBurnProgress p;
    p.Phase = phase;
    p.Done = done;
    p.Total = total;
    if (rate) {
        rate->Add(done);
        p.BytesPerSecond = rate->BytesPerSecond();
        if (p.BytesPerSecond > 0)
            p.SecondsLeft = static_cast<double>(total - done) / p.BytesPerSecond;
    }
    return progress(p);
}

std::string BadSectorText(const std::string& address, int64_t sector, bool unreadable) {
    return "Диск записан, но проверка не прошла: сектор " + std::to_string(sector) +
           (unreadable ? " не читается" : " не совпадает с образом") + " (" + address +
           "). Запишите образ на новый диск, лучше на меньшей скорости.";
}

// Reads the image's sectors from the drive and compares them with the image, in pieces.
TVerifyResult Compare(burn_drive* drive, const std::string& address, const std::string& imagePath,
                      int64_t sectors, const TBurnProgressFn& progress) {
    TVerifyResult result;
    // libburn reads a pseudo-drive's file past its end as if it went on (stale bytes, no error):
    // a file shorter than the image ends where its last whole sector ends.
    int64_t present = sectors;
    if (IsPseudoDrive(address)) {
        struct stat st;
        present = ::stat(PseudoPath(address).c_str(), &st) == 0 ? st.st_size / kSector : 0;
    }
    const int fd = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.Message = "Не удалось открыть образ " + imagePath +
                         " для проверки: " + std::strerror(errno) + ".";
        return result;
    }
    std::vector<char> image(kReadChunkSectors * kSector), disc(kReadChunkSectors * kSector);
    TRate rate;
    const int64_t total = sectors * kSector;
    TClock::time_point lastReport{};
    for (int64_t at = 0; at < sectors;) {
        const bool due = TClock::now() - lastReport >= kReportEvery;
        if (due)
            lastReport = TClock::now();
        if (due && !Report(progress, TBurnPhase::Verifying, at * kSector, total, &rate)) {
            result.Cancelled = true;
            result.Message = "Проверка отменена.";
            break;
        }
        const int64_t n = std::min<int64_t>(kReadChunkSectors, sectors - at);
        const size_t bytes = static_cast<size_t>(n * kSector);
        // The part of a last sector the image does not fill is written as zeros.
        std::fill(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(bytes), 0);
        size_t got = 0;
        while (got < bytes) {
            const ssize_t r = ::pread(fd, image.data() + got, bytes - got,
                                      static_cast<off_t>(at * kSector) + static_cast<off_t>(got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                result.Message =
                    "Не удалось прочитать образ " + imagePath + ": " + std::strerror(errno) + ".";
                ::close(fd);
                return result;
            }
            if (r == 0)
                break;
            got += static_cast<size_t>(r);
        }
        off_t count = 0;
        const int rc = burn_read_data(drive, static_cast<off_t>(at * kSector), disc.data(),
                                      static_cast<off_t>(bytes), &count, 2);
        int64_t readable = rc == 1 ? n : std::min<int64_t>(n, count / kSector);
        readable = std::clamp<int64_t>(present - at, 0, readable);
        for (int64_t i = 0; i < readable; ++i) {
            if (std::memcmp(image.data() + i * kSector, disc.data() + i * kSector, kSector) != 0) {
                result.FirstBadSector = at + i;
                result.Message = BadSectorText(address, at + i, false);
                break;
            }
        }
        if (result.FirstBadSector < 0 && readable < n) {
            result.FirstBadSector = at + readable;
            result.Message = BadSectorText(address, at + readable, true);
        }
        if (result.FirstBadSector >= 0) {
            result.Sectors = result.FirstBadSector;
            break;
        }
        at += n;
        result.Sectors = at;
    }
    ::close(fd);
    TakeMessage();
    if (!result.Cancelled && result.FirstBadSector < 0 && result.Message.empty()) {
        Report(progress, TBurnPhase::Verifying, total, total, nullptr);  // too late to cancel
        result.Ok = true;
        result.Message =
            "Диск записан и проверен: " +
            CountOf(sectors, "сектор совпадает", "сектора совпадают", "секторов совпадают") +
            " с образом.";
    }
    return result;
}

// A pseudo-drive's file: removed at the end unless kept, when this call created it; emptied again
// when it was there empty.
class TPseudoTarget {
  public:
    TPseudoTarget() = default;
    TPseudoTarget(const TPseudoTarget&) = delete;
    TPseudoTarget& operator=(const TPseudoTarget&) = delete;
    void Watch(const std::string& path) {
        struct stat st;
        Path = path;
        Existed = ::lstat(path.c_str(), &st) == 0;
    }
    ~TPseudoTarget() {
        if (Path.empty() || Keep)
            return;
        if (!Existed)
            ::unlink(Path.c_str());
        else
            (void)::truncate(Path.c_str(), 0);
    }
    bool Keep = false;

  private:
    std::string Path;
    bool Existed = true;
};

struct TDiscParts {
    burn_write_opts* Opts = nullptr;
    burn_disc* Disc = nullptr;
    burn_session* Session = nullptr;
    burn_track* Track = nullptr;
    burn_source* Source = nullptr;
    TDiscParts() = default;
    TDiscParts(const TDiscParts&) = delete;
    TDiscParts& operator=(const TDiscParts&) = delete;
    ~TDiscParts() {
        if (Stuck)
            return;  // libburn's thread may still read them
        if (Source)
            burn_source_free(Source);
        if (Track)
            burn_track_free(Track);
        if (Session)
            burn_session_free(Session);
        if (Disc)
            burn_disc_free(Disc);
        if (Opts)
            burn_write_opts_free(Opts);
    }
};

// The image as libburn's track source, read in 1 MB pieces: libburn asks for one sector a call,
// and a read(2) per sector would cost more than the copying itself.
struct TImageReader {
    int Fd = -1;
    off_t Size = 0;
    std::vector<unsigned char> Buffer = std::vector<unsigned char>(1 << 20);
    size_t Begin = 0, End = 0;
};

TImageReader& ReaderOf(burn_source* source) {
    return *static_cast<TImageReader*>(source->data);
}

int ImageRead(burn_source* source, unsigned char* buffer, int size) {
    TImageReader& r = ReaderOf(source);
    int done = 0;
    while (done < size) {
        if (r.Begin == r.End) {
            ssize_t n;
            do
                n = ::read(r.Fd, r.Buffer.data(), r.Buffer.size());
            while (n < 0 && errno == EINTR);
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            r.Begin = 0;
            r.End = static_cast<size_t>(n);
        }
        const size_t piece = std::min(static_cast<size_t>(size - done), r.End - r.Begin);
        std::memcpy(buffer + done, r.Buffer.data() + r.Begin, piece);
        r.Begin += piece;
        done += static_cast<int>(piece);
    }
    return done;
}

off_t ImageSize(burn_source* source) {
    return ReaderOf(source).Size;
}

int ImageSetSize(burn_source*, off_t) {
    return 1;  // libburn pads or cuts by itself; the image has a fixed size
}

int ImageCancel(burn_source*) {
    return 1;
}

void ImageFree(burn_source* source) {
    TImageReader* r = &ReaderOf(source);
    if (r->Fd >= 0)
        ::close(r->Fd);
    delete r;
}

// A new source with one reference, or nullptr with errno set. libburn frees it with free().
burn_source* NewImageSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    auto* source = static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
    if (!source) {
        ::close(fd);
        return nullptr;
    }
    auto* reader = new TImageReader;
    reader->Fd = fd;
    reader->Size = st.st_size;
    source->refcount = 1;
    source->read = nullptr;  // version 1: read_xt does the reading
    source->get_size = ImageSize;
    source->set_size = ImageSetSize;
    source->free_data = ImageFree;
    source->data = reader;
    source->version = 1;
    source->read_xt = ImageRead;
    source->cancel = ImageCancel;
    return source;
}

// Blanks the CD-RW in the drive (fast: the table of contents only). A cancel asked for meanwhile
// is returned in `cancelled`; libburn cannot stop a blanking.
bool Blank(TGrab& grab, const TBurnProgressFn& progress, bool& cancelled, std::string& error) {
    burn_drive* drive = grab.Drive;
    burn_disc_erase(drive, 1);
    struct burn_progress p = {};
    while (burn_drive_get_status(drive, &p) != BURN_DRIVE_IDLE) {
        if (!Report(progress, TBurnPhase::Blanking, p.sector, p.sectors > 0 ? p.sectors : 0x10000,
                    nullptr))
            cancelled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The blanking thread leaves libburn's list of running jobs just after the drive is at rest;
    // a write asked for before that is refused.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (!burn_drive_wrote_well(drive)) {
        error = WithReason("Не удалось очистить диск CD-RW. Вставьте другой диск.", TakeMessage());
        return false;
    }
    burn_drive_re_assess(drive, 0);
    grab.WaitForDisc();
    return true;
}

// How a write ended, with its Russian words: one table for every verdict of BurnImage.
enum class EVerdict {
    Written,    // written (and checked when asked)
    Dummy,      // the dummy write went through
    Refused,    // the drive did not start the write
    Cancelled,  // the user cancelled
    Stalled,    // the data stopped moving: the drive is lost
    Stuck,      // the drive did not come back to rest
    Failed,     // libburn says the write did not go well
};

struct TVerdictRow {
    EVerdict Verdict;
    const char* Words;
};

constexpr TVerdictRow kVerdicts[] = {
    {EVerdict::Written, "Диск записан."},
    {EVerdict::Dummy, "Пробная запись прошла успешно: на диск ничего не записано."},
    {EVerdict::Refused, "Привод не начал запись. Вставьте чистый диск CD-R или CD-RW."},
    {EVerdict::Cancelled, "Запись отменена."},
    {EVerdict::Stalled,
     "Привод перестал отвечать, запись прервана. Проверьте, что привод подключён; диск CD-R, "
     "скорее всего, испорчен."},
    {EVerdict::Stuck,
     "Привод перестал отвечать, запись прервана. Перезапустите программу, отключите и снова "
     "подключите привод; диск CD-R, скорее всего, испорчен."},
    {EVerdict::Failed,
     "Запись диска не удалась; диск, скорее всего, испорчен. Вставьте новый чистый диск и "
     "запишите на меньшей скорости."},
};

std::string WordsOf(EVerdict verdict) {
    for (const TVerdictRow& row : kVerdicts)
        if (row.Verdict == verdict)
            return row.Words;
    return "";
}

// One burn, step by step: the session (the image's size, the library, the drive, the checks, a
// CD-RW blanked), the disc composed of one track, the write type, the write watched until the
// drive is at rest again, the verdict, and the read-back.
class TBurnSession {
  public:
    TBurnSession(const std::string& imagePath, const TBurnOptions& options,
                 const TBurnProgressFn& progress)
        : ImagePath(imagePath), Options(options), Progress(progress) {}

    TBurnResult Run() {
        if (!Open() || !Compose() || !ChooseWriteType())
            return std::move(Result);
        Watch();
        if (!Verdict())
            return std::move(Result);
        Verify();
        return std::move(Result);
    }

  private:
    const std::string& ImagePath;
    const TBurnOptions& Options;
    const TBurnProgressFn& Progress;
    TBurnResult Result;
    int64_t Sectors = 0;
    std::optional<TLibrary> Library;
    // Destroyed after the drive is released: the pseudo-drive's file is closed by then, and
    // libburn's write thread is done with the disc's parts.
    TPseudoTarget Target;
    TDiscParts Parts;
    TGrab Grab;
    TMediumInfo Medium;
    bool Pseudo = false;
    // What the watch saw: a write thread started (the drive left its rest), …
    bool Started = false, Cancelled = false, Stalled = false, AtRest = false;

    bool Fail(const std::string& message) {
        Result.Message = message;
        return false;
    }

    // The image's size, libburn, the drive grabbed, its medium checked, a CD-RW blanked when
    // allowed (and checked again after).
    bool Open() {
        std::string error;
        Sectors = ImageSectors(ImagePath, error);
        if (Sectors == 0)
            return Fail(error);
        Library.emplace();
        if (!Library->Up)
            return Fail(Library->Error);
        if (!Grab.Open(Options.Address, error))
            return Fail(error);
        Grab.Eject = Options.Eject;
        Medium = Inspect(Grab, Options.Address, Options.PseudoCapacitySectors);
        TBurnCheck check = CheckBurn(Medium, Sectors, Options.Blank, Options.Dummy);
        if (!check.Ok)
            return Fail(check.Message);
        Pseudo = Medium.Kind == TMediumKind::PseudoDrive;
        if (Pseudo)
            Target.Watch(PseudoPath(Options.Address));
        if (!check.WillBlank)
            return true;
        bool cancelled = false;
        Result.Written = true;  // the disc's old data is gone
        if (!Blank(Grab, Progress, cancelled, Result.Message))
            return false;
        if (cancelled) {
            Result.Cancelled = true;
            return Fail("Запись отменена. Диск CD-RW очищен, на него ничего не записано.");
        }
        Medium = Inspect(Grab, Options.Address, Options.PseudoCapacitySectors);
        check = CheckBurn(Medium, Sectors, false, Options.Dummy);
        return check.Ok || Fail(check.Message);
    }

    // One session of one data track from the image, closed; the speed.
    bool Compose() {
        burn_drive* drive = Grab.Drive;
        Parts.Opts = burn_write_opts_new(drive);
        Parts.Disc = burn_disc_create();
        Parts.Session = burn_session_create();
        Parts.Track = burn_track_create();
        burn_source* file = NewImageSource(ImagePath);
        if (!Parts.Opts || !Parts.Disc || !Parts.Session || !Parts.Track || !file) {
            if (file)
                burn_source_free(file);
            return Fail(WithReason("Не удалось подготовить запись образа " + ImagePath + ".",
                                   TakeMessage()));
        }
        // A burner gets 4 MB between the image and the drive, so a slow moment of the hard disk
        // does not starve it. libburn's buffer waits in steps of 50 ms, which is nothing at a
        // CD's speed but most of the time of a pseudo-drive's file: that one reads the image
        // itself.
        if (Pseudo) {
            Parts.Source = file;
        } else {
            Parts.Source = burn_fifo_source_new(file, 32 * 1024, 128, 0);
            burn_source_free(file);
        }
        if (!Parts.Source)
            return Fail(WithReason("Не удалось подготовить запись.", TakeMessage()));
        burn_track_define_data(Parts.Track, 0, 0, 1, BURN_MODE1);
        burn_track_set_source(Parts.Track, Parts.Source);
        burn_session_add_track(Parts.Session, Parts.Track, BURN_POS_END);
        burn_disc_add_session(Parts.Disc, Parts.Session, BURN_POS_END);
        burn_write_opts_set_multi(Parts.Opts, 0);  // closed: no session can follow
        burn_write_opts_set_underrun_proof(Parts.Opts, 1);
        burn_write_opts_set_simulate(Parts.Opts, Options.Dummy ? 1 : 0);
        burn_write_opts_set_stdio_fsync(Parts.Opts, 1);  // a pseudo-drive's file: once, at the end
        // A drive's x is 75 sectors a second (libburn counts it as 176.4 kB/s of raw sectors);
        // a pseudo-drive is paced by the image's bytes, so it gets the data rate of that x.
        if (Options.SpeedX > 0)
            burn_drive_set_speed(drive, 0,
                                 Pseudo ? static_cast<int>(Options.SpeedX * kOneX / 1000)
                                        : (Options.SpeedX * kSpeedKbPerX + 9) / 10);
        return true;
    }

    // The whole session at once (DAO, which libburn calls SAO for CD); track at once only where
    // the drive cannot, still one closed session.
    bool ChooseWriteType() {
        char reasons[BURN_REASONS_LEN] = {};
        Result.WriteMode = "SAO";
        burn_write_opts_set_write_type(Parts.Opts, BURN_WRITE_SAO, BURN_BLOCK_SAO);
        if (burn_precheck_write(Parts.Opts, Parts.Disc, reasons, 1) == 1)
            return true;
        Result.WriteMode = "TAO";
        burn_write_opts_set_write_type(Parts.Opts, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
        if (burn_precheck_write(Parts.Opts, Parts.Disc, reasons, 1) == 1)
            return true;
        Result.WriteMode.clear();
        TakeMessage();
        return Fail(WithReason(std::string("Привод не может записать этот диск. ") + kInsertBlank,
                               reasons));
    }

    // The write, reported several times a second, until the drive is at rest again: libburn's
    // drive state leaves BURN_DRIVE_IDLE for SPAWNING in burn_disc_write when a write thread
    // starts, and is BURN_DRIVE_IDLE again once that thread has done. A cancel, or data that stops
    // moving, cancels the drive; a drive that does not come to rest after that is given up.
    void Watch() {
        burn_drive* drive = Grab.Drive;
        const int64_t total = Sectors * kSector;
        // A write libburn refuses leaves the drive at rest. Its list of running jobs lets go of
        // the last write (or blanking) on this drive just after the drive came to rest, and a
        // write asked for before that is refused: it is asked again for a while.
        const TClock::time_point giveUp = TClock::now() + kNoWriter;
        do {
            TakeMessage();
            burn_disc_write(Parts.Opts, Parts.Disc);
            Started = burn_drive_get_status(drive, nullptr) != BURN_DRIVE_IDLE;
            if (Started)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (TClock::now() < giveUp);
        TRate rate;
        int64_t lastDone = -1;
        TClock::time_point lastMove = TClock::now(), cancelledAt{}, lastReport{};
        TBurnPhase lastPhase = TBurnPhase::Blanking;
        struct burn_progress p = {};
        for (;;) {
            const enum burn_drive_status status = burn_drive_get_status(drive, &p);
            if (status == BURN_DRIVE_IDLE) {
                AtRest = true;
                // The write thread lives on a moment after its drive came to rest: microseconds
                // after a write that went well, half a second after a cancel or a failure, still
                // using the drive and the disc's parts, which stay until it has done.
                const bool well = !Cancelled && burn_drive_wrote_well(drive) != 0;
                std::this_thread::sleep_for(well ? kPoll : kWriterTail);
                break;
            }
            if (status == BURN_DRIVE_SPAWNING) {
                std::this_thread::sleep_for(kPoll);
                continue;
            }
            int64_t done = p.sectors > 0 ? static_cast<int64_t>(p.sector) * kSector
                                         : static_cast<int64_t>(p.buffered_bytes);
            done = std::clamp<int64_t>(done, 0, total);
            const bool closing = status == BURN_DRIVE_WRITING_LEADOUT ||
                                 status == BURN_DRIVE_CLOSING_TRACK ||
                                 status == BURN_DRIVE_CLOSING_SESSION;
            if (done != lastDone || closing) {
                lastDone = done;
                lastMove = TClock::now();
            }
            Result.WrittenBytes = std::max<int64_t>(Result.WrittenBytes, done);
            const TBurnPhase phase = closing ? TBurnPhase::Closing : TBurnPhase::Writing;
            if (!Cancelled && (TClock::now() - lastReport >= kReportEvery || phase != lastPhase)) {
                lastReport = TClock::now();
                lastPhase = phase;
                const bool go = Report(Progress, phase, done, total, &rate);
                Stalled = TClock::now() - lastMove > kStall;
                if (!go || Stalled) {
                    Cancelled = true;
                    cancelledAt = TClock::now();
                    burn_drive_cancel(drive);
                }
            } else if (Cancelled && TClock::now() - cancelledAt > kSettle) {
                break;  // a drive that does not stop even when cancelled
            }
            std::this_thread::sleep_for(kPoll);
        }
    }

    // What the write came to; true when it was written and is to be read back.
    bool Verdict() {
        const auto end = [this](EVerdict verdict, const std::string& reason = "") {
            Result.Message = WithReason(WordsOf(verdict), reason);
            return false;
        };
        if (!AtRest) {
            Stuck = true;  // libburn's thread still holds the drive: nothing is released
            Result.Written = !Options.Dummy;
            return end(EVerdict::Stuck);
        }
        const bool well = burn_drive_wrote_well(Grab.Drive) != 0;
        const std::string reason = TakeMessage();
        if (!Started && !well)
            return end(EVerdict::Refused, reason);
        Result.Written = !Options.Dummy;
        if (Stalled)
            return end(EVerdict::Stalled);
        if (Cancelled) {
            Result.Cancelled = true;
            Result.Message = WordsOf(EVerdict::Cancelled);
            if (!Options.Dummy && !Pseudo)
                Result.Message += Medium.Kind == TMediumKind::CdRw
                                      ? " Диск CD-RW можно очистить и записать снова."
                                      : " Диск CD-R, на который запись началась, больше не "
                                        "годится: вставьте новый чистый диск.";
            return false;
        }
        if (!well && Pseudo) {
            Result.Message =
                WithReason("Запись в файл " + PseudoPath(Options.Address) + " не удалась.", reason);
            return false;
        }
        if (!well)
            return end(EVerdict::Failed, reason);
        if (Options.Dummy) {
            Result.Ok = true;
            Result.Message = WordsOf(EVerdict::Dummy);
            return false;
        }
        Target.Keep = true;
        if (!Options.Verify) {
            Result.Ok = true;
            Result.Message = WordsOf(EVerdict::Written);
            return false;
        }
        return true;
    }

    // The disc read back and compared with the image.
    void Verify() {
        // The drive's view of the disc has changed: ask it again before reading.
        burn_drive_re_assess(Grab.Drive, 0);
        Grab.WaitForDisc();
        Result.Verify = Compare(Grab.Drive, Options.Address, ImagePath, Sectors, Progress);
        Result.Ok = Result.Verify.Ok;
        Result.Message = Result.Verify.Cancelled ? "Диск записан; проверка отменена."
                                                 : (Result.Verify.Ok ? "Диск записан и проверен."
                                                                     : Result.Verify.Message);
    }
};

}  // namespace

std::vector<TBurnDrive> LibFindDrives(std::string& error) {
    error.clear();
    std::vector<TBurnDrive> drives;
    TLibrary library;
    if (!library.Up) {
        error = library.Error;
        return drives;
    }
    burn_drive_info* infos = nullptr;
    unsigned int count = 0;
    int rc;
    while ((rc = burn_drive_scan(&infos, &count)) == 0)
        std::this_thread::sleep_for(kPoll);
    if (rc < 0) {
        error = WithReason("Не удалось найти приводы.", TakeMessage());
        return drives;
    }
    bool readersOnly = false;
    for (unsigned int i = 0; i < count; ++i) {
        if (!infos[i].write_cdr && !infos[i].write_cdrw) {
            readersOnly = true;
            continue;
        }
        char adr[BURN_DRIVE_ADR_LEN] = {};
        if (burn_drive_get_adr(&infos[i], adr) <= 0)
            continue;
        TBurnDrive d;
        d.Address = adr;
        d.Vendor = Trim(infos[i].vendor);
        d.Model = Trim(infos[i].product);
        d.DisplayName = BurnDriveDisplayName(d.Vendor, d.Model, d.Address);
        drives.push_back(d);
    }
    if (infos)
        burn_drive_info_free(infos);
    TakeMessage();
    std::sort(drives.begin(), drives.end(),
              [](const TBurnDrive& a, const TBurnDrive& b) { return a.Address < b.Address; });
    if (drives.empty())
        error = readersOnly ? "Найдены только приводы, которые не записывают CD. Подключите "
                              "привод, который записывает диски CD-R."
                            : "Привод для записи дисков не найден. Подключите привод CD или DVD "
                              "и проверьте, что у вас есть доступ к нему (группа cdrom).";
    return drives;
}

TMediumInfo LibInspectMedium(const std::string& address, int64_t pseudoCapacitySectors) {
    TMediumInfo info;
    info.Address = address;
    TLibrary library;
    if (!library.Up) {
        info.Error = library.Error;
        return info;
    }
    TGrab grab;
    if (!grab.Open(address, info.Error))
        return info;
    return Inspect(grab, address, pseudoCapacitySectors);
}

TBurnResult LibBurnImage(const std::string& imagePath, const TBurnOptions& options,
                         const TBurnProgressFn& progress) {
    return TBurnSession(imagePath, options, progress).Run();
}

TVerifyResult LibVerifyBurn(const std::string& address, const std::string& imagePath,
                            const TBurnProgressFn& progress) {
    TVerifyResult result;
    std::string error;
    const int64_t sectors = ImageSectors(imagePath, error);
    if (sectors == 0) {
        result.Message = error;
        return result;
    }
    TLibrary library;
    if (!library.Up) {
        result.Message = library.Error;
        return result;
    }
    TGrab grab;
    if (!grab.Open(address, result.Message))
        return result;
    if (IsPseudoDrive(address)) {
        struct stat st;
        if (::stat(PseudoPath(address).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            result.Message = "Файла " + PseudoPath(address) + " нет: проверять нечего.";
            return result;
        }
    } else if (burn_disc_get_status(grab.Drive) != BURN_DISC_FULL &&
               burn_disc_get_status(grab.Drive) != BURN_DISC_APPENDABLE) {
        result.Message = "В приводе " + address +
                         " нет записанного диска. Вставьте диск, "
                         "который нужно проверить.";
        return result;
    }
    return Compare(grab.Drive, address, imagePath, sectors, progress);
}

const TBurnLib* BurnLibTable() {
    static const TBurnLib table{kBurnLibVersion, &LibFindDrives, &LibInspectMedium, &LibBurnImage,
                                &LibVerifyBurn};
    return &table;
}

}  // namespace velmora

extern "C" const velmora::TBurnLib* VelmoraBurnLib() {
    return velmora::BurnLibTable();
}
