#include "core/burn/BurnJob.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace velmora {
namespace {

constexpr int64_t kSector = 2048;

int PercentOf(int64_t done, int64_t total) {
    if (total <= 0)
        return 0;
    return static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

std::string Megabytes(int64_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " МБ";
}

}  // namespace

TBurnStatus BurnStatusOf(const TBurnProgress& progress) {
    TBurnStatus status;
    switch (progress.Phase) {
        case TBurnPhase::Blanking:
            status.Step = TBurnStep::Blanking;
            break;
        case TBurnPhase::Writing:
            status.Step = TBurnStep::Writing;
            break;
        case TBurnPhase::Closing:
            status.Step = TBurnStep::Closing;
            break;
        case TBurnPhase::Verifying:
            status.Step = TBurnStep::Verifying;
            break;
    }
    status.Percent = PercentOf(progress.Done, progress.Total);
    status.SpeedX = progress.BytesPerSecond > 0 ? CdSpeedX(progress.BytesPerSecond) : 0;
    status.SecondsLeft = progress.SecondsLeft;
    return status;
}

TBurnStatus ImageStatusOf(int64_t done, int64_t total) {
    TBurnStatus status;
    status.Step = TBurnStep::Image;
    status.Percent = PercentOf(done, total);
    return status;
}

std::string BurnStepText(TBurnStep step) {
    switch (step) {
        case TBurnStep::Preparing:
            return "Подготовка привода";
        case TBurnStep::Image:
            return "Запись образа во временный файл";
        case TBurnStep::Blanking:
            return "Очистка диска CD-RW";
        case TBurnStep::Writing:
            return "Запись диска";
        case TBurnStep::Closing:
            return "Закрытие диска";
        case TBurnStep::Verifying:
            return "Проверка записанного";
    }
    return "";
}

std::string BurnSpeedText(double speedX) {
    if (!(speedX > 0))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1fx", speedX);
    std::string s = text;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

std::string TimeLeftText(double seconds) {
    if (!(seconds >= 0) || !std::isfinite(seconds))
        return "";
    const long long whole = std::llround(std::ceil(seconds));
    char text[48];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "осталось %lld:%02lld:%02lld", whole / 3600,
                      whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "осталось %lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string CancelQuestion(TBurnStep step, TMediumKind kind) {
    switch (step) {
        case TBurnStep::Preparing:
        case TBurnStep::Image:
            return "Остановить запись? На диск ещё ничего не записано.";
        case TBurnStep::Blanking:
            return "Очистку диска остановить нельзя: запись отменится, когда она закончится. "
                   "Отменить запись?";
        case TBurnStep::Writing:
        case TBurnStep::Closing:
            if (kind == TMediumKind::CdR)
                return "Отменить запись? Диск CD-R, на который запись уже началась, больше не "
                       "годится: понадобится новый чистый диск.";
            if (kind == TMediumKind::CdRw)
                return "Отменить запись? Диск CD-RW придётся очистить и записать снова.";
            return "Отменить запись?";
        case TBurnStep::Verifying:
            return "Отменить проверку? Диск уже записан, но без проверки неизвестно, читается "
                   "ли он целиком.";
    }
    return "";
}

TTemporaryImage::TTemporaryImage() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(base, ec);
    if (!ec)
        base = absolute.string();
    std::string pattern = base + "/velmora-burn-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        Problem = "Не удалось создать временную папку в " + base + ": " + std::strerror(errno) +
                  ". Укажите другую папку в переменной TMPDIR.";
        return;
    }
    Folder = name.data();
    ImagePath = Folder + "/disc.iso";
}

TTemporaryImage::~TTemporaryImage() {
    if (Folder.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
}

std::string TTemporaryImage::CheckRoom(int64_t sectors) const {
    struct statvfs fs;
    if (Folder.empty() || ::statvfs(Folder.c_str(), &fs) != 0)
        return "";  // the write itself will say what is wrong
    const int64_t free = static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
    // The image, and a little for the journal beside it.
    const int64_t needed = sectors * kSector + (1 << 20);
    if (free >= needed)
        return "";
    return "Для образа диска нужно " + Megabytes(needed) + " во временной папке " +
           std::filesystem::path(Folder).parent_path().string() + ", а свободно " +
           std::to_string(free >> 20) +
           " МБ. Освободите место или укажите другую папку в переменной TMPDIR.";
}

}  // namespace velmora
