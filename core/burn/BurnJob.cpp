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

std::string Megabytes(int64_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " МБ";
}

struct TStepRow {
    TBurnStep Step;
    const char* Key;
    const char* Text;
};
constexpr TStepRow kSteps[] = {
    {TBurnStep::Preparing, "prepare", "Подготовка привода"},
    {TBurnStep::Image, "image", "Запись образа во временный файл"},
    {TBurnStep::Blanking, "blank", "Очистка диска CD-RW"},
    {TBurnStep::Writing, "write", "Запись диска"},
    {TBurnStep::Closing, "close", "Закрытие диска"},
    {TBurnStep::Verifying, "verify", "Проверка записанного"},
};

const TStepRow& RowOf(TBurnStep step) {
    for (const TStepRow& row : kSteps)
        if (row.Step == step)
            return row;
    return kSteps[0];
}

}  // namespace

const char* BurnStepKey(TBurnStep step) {
    return RowOf(step).Key;
}

std::string BurnStepText(TBurnStep step) {
    return RowOf(step).Text;
}

TBurnStep BurnStepOf(TBurnPhase phase) {
    switch (phase) {
        case TBurnPhase::Blanking:
            return TBurnStep::Blanking;
        case TBurnPhase::Writing:
            return TBurnStep::Writing;
        case TBurnPhase::Closing:
            return TBurnStep::Closing;
        case TBurnPhase::Verifying:
            return TBurnStep::Verifying;
    }
    return TBurnStep::Writing;
}

TProgress BurnProgressOf(const TBurnProgress& progress, TMediumKind kind) {
    const TBurnStep step = BurnStepOf(progress.Phase);
    TProgress shown;
    shown.Key = BurnStepKey(step);
    shown.Step = BurnStepText(step);
    shown.Done = std::max<int64_t>(0, progress.Done);
    shown.Total = std::max<int64_t>(0, progress.Total);
    shown.Speed = progress.BytesPerSecond > 0 ? BurnSpeedText(CdSpeedX(progress.BytesPerSecond))
                                              : std::string();
    shown.SecondsLeft = progress.SecondsLeft;
    if (step == TBurnStep::Writing || step == TBurnStep::Closing) {
        if (kind == TMediumKind::CdR)
            shown.Warning = "Диск CD-R, запись на который отменена, больше не годится.";
        else if (kind == TMediumKind::CdRw)
            shown.Warning = "Диск CD-RW, запись на который отменена, придётся очистить.";
    }
    return shown;
}

TProgress ImageProgressOf(int64_t done, int64_t total) {
    TProgress shown;
    shown.Key = BurnStepKey(TBurnStep::Image);
    shown.Step = BurnStepText(TBurnStep::Image);
    shown.Done = done;
    shown.Total = total;
    return shown;
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
