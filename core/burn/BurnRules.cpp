// The rules of a burn that need no drive: pseudo-drive addresses, drive names, whether an image
// may go onto a medium, speeds in x, the image's size. In the program and in the burn module
// alike; the calls that need libburn go to the module (core/burn/BurnLib.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/burn/Burn.h"

namespace velmora {
namespace {

constexpr int64_t kSector = 2048;
constexpr double kOneX = 75.0 * kSector;   // bytes of data a second at 1x
constexpr int64_t kMinTrackSectors = 300;  // a CD track lasts at least 4 s; libburn pads to it

const char kInsertBlank[] = "Вставьте чистый диск CD-R или CD-RW.";

// Without the spaces a drive pads its vendor and model names with.
std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string MB(int64_t sectors, bool roundUp) {
    const int64_t bytes = sectors * kSector;
    return std::to_string(roundUp ? (bytes + (1 << 20) - 1) >> 20 : bytes >> 20) + " МБ";
}

}  // namespace

bool IsPseudoDrive(const std::string& address) {
    return address.rfind("stdio:", 0) == 0;
}

std::string BurnDriveDisplayName(const std::string& vendor, const std::string& model,
                                 const std::string& address) {
    std::string name = Trim(vendor);
    const std::string m = Trim(model);
    if (!m.empty())
        name += (name.empty() ? "" : " ") + m;
    if (name.empty())
        name = "Привод";
    return name + " (" + address + ")";
}

TBurnCheck CheckBurn(const TMediumInfo& medium, int64_t imageSectors, bool blankAllowed,
                     bool dummy) {
    TBurnCheck check;
    const auto refuse = [&](std::string message) {
        check.Message = std::move(message);
        return check;
    };
    if (!medium.Error.empty())
        return refuse(medium.Error);
    if (imageSectors <= 0)
        return refuse("Образ пуст: записывать нечего.");
    const bool pseudo = medium.Kind == TMediumKind::PseudoDrive;
    if (pseudo && medium.State != TMediumState::Blank)
        return refuse(medium.StateText +
                      ": в него ничего не записывается. Укажите новый файл в "
                      "существующей папке.");
    switch (medium.Kind) {
        case TMediumKind::None:
            return refuse(std::string("В приводе нет диска. ") + kInsertBlank);
        case TMediumKind::CdRom:
            return refuse(std::string("Диск CD-ROM записать нельзя. ") + kInsertBlank);
        case TMediumKind::NotCd:
            return refuse(
                "В приводе не CD, а " +
                (medium.Profile.empty() ? std::string("диск другого вида") : medium.Profile) +
                "; автомагнитола читает только CD. " + kInsertBlank);
        default:
            break;
    }
    if (medium.State == TMediumState::Unusable || medium.State == TMediumState::Unknown)
        return refuse(std::string("Диск в приводе не распознан. ") + kInsertBlank);
    if (medium.State != TMediumState::Blank) {
        if (medium.Kind != TMediumKind::CdRw || !medium.Erasable)
            return refuse(std::string("На диске уже есть данные, дописать их нельзя: диск для "
                                      "автомагнитолы пишется одной закрытой сессией. ") +
                          kInsertBlank);
        if (dummy)
            return refuse(std::string("Пробная запись идёт только на чистый диск, а на диске "
                                      "CD-RW есть данные. ") +
                          kInsertBlank);
        if (!blankAllowed) {
            check.NeedsBlanking = true;
            return refuse(
                "На диске CD-RW есть данные. Перед записью его нужно очистить, и всё, "
                "что на нём записано, пропадёт. Разрешите очистку или вставьте "
                "чистый диск CD-R или CD-RW.");
        }
    }
    const bool willBlank = medium.State != TMediumState::Blank;
    if (dummy && !medium.DummySupported)
        return refuse("Этот привод не умеет пробную запись. Запишите диск без пробной записи.");
    const int64_t needed = std::max(imageSectors, kMinTrackSectors);
    // A CD-RW with data whose size the drive does not tell is checked again once blanked.
    if (medium.CapacitySectors > 0 || !willBlank) {
        if (needed > medium.CapacitySectors) {
            const std::string where = pseudo ? "в файл" : "на диск";
            return refuse("Образ (" + MB(imageSectors, true) + ") не помещается " + where + " (" +
                          MB(medium.CapacitySectors, false) + "). " +
                          (pseudo ? std::string("Освободите место или укажите другую папку.")
                                  : std::string("Вставьте чистый диск на 700 МБ (80 минут) или "
                                                "уберите часть файлов из папки.")));
        }
    }
    check.Ok = true;
    check.WillBlank = willBlank;
    return check;
}

double CdSpeedX(double bytesPerSecond) {
    return bytesPerSecond / kOneX;
}

int64_t ImageSectors(const std::string& path, std::string& error) {
    error.clear();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        error = "Образ " + path + " не найден: " + std::strerror(errno) +
                ". Создайте образ диска заново.";
        return 0;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " — не файл образа. Укажите файл образа диска (.iso).";
        return 0;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "Не удалось открыть образ " + path + ": " + std::strerror(errno) + ".";
        return 0;
    }
    ::close(fd);
    if (st.st_size == 0) {
        error = "Образ " + path + " пуст. Создайте образ диска заново.";
        return 0;
    }
    return (static_cast<int64_t>(st.st_size) + kSector - 1) / kSector;
}

}  // namespace velmora
