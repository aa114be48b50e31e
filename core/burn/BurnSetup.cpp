#include "core/burn/BurnSetup.h"

#include <algorithm>

namespace velmora {
namespace {

constexpr int64_t kSector = 2048;

std::string Megabytes(int64_t sectors, bool roundUp) {
    const int64_t bytes = sectors * kSector;
    return std::to_string(roundUp ? (bytes + (1 << 20) - 1) >> 20 : bytes >> 20) + " МБ";
}

// The speeds offered: the drive's up to the radio's, or its slowest when it has none that slow;
// a few usual ones when the drive tells none.
std::vector<int> OfferedSpeeds(const std::vector<int>& driveSpeeds) {
    if (driveSpeeds.empty())
        return {4, 8, kRadioSpeedX};
    std::vector<int> offered;
    for (int x : driveSpeeds)
        if (x <= kRadioSpeedX)
            offered.push_back(x);
    if (offered.empty())
        offered.push_back(*std::min_element(driveSpeeds.begin(), driveSpeeds.end()));
    return offered;
}

}  // namespace

TBurnSetup::TSources TBurnSetup::RealSources() {
    TSources sources;
    sources.FindDrives = [](std::string& error) { return velmora::FindDrives(error); };
    sources.InspectMedium = [](const std::string& address) {
        return velmora::InspectMedium(address);
    };
    return sources;
}

TBurnSetup::TBurnSetup(std::string image, int64_t imageSectors, TSources sources)
    : Image(std::move(image)), ImageSectors(imageSectors), Sources(std::move(sources)) {
    Decide();
}

void TBurnSetup::Refresh() {
    const std::string chosen =
        DriveIndex >= 0 ? Drives[static_cast<size_t>(DriveIndex)].Address : std::string();
    Drives = Sources.FindDrives(DrivesMessage);
    for (const TBurnDrive& d : Added)
        if (std::none_of(Drives.begin(), Drives.end(),
                         [&](const TBurnDrive& f) { return f.Address == d.Address; }))
            Drives.push_back(d);
    if (!Drives.empty())
        DrivesMessage.clear();
    DriveIndex = Drives.empty() ? -1 : 0;
    for (size_t i = 0; i < Drives.size(); ++i)
        if (Drives[i].Address == chosen)
            DriveIndex = static_cast<int>(i);
    Inspect();
}

void TBurnSetup::AddDrive(const std::string& address) {
    TBurnDrive drive;
    drive.Address = address;
    drive.DisplayName = IsPseudoDrive(address) ? "Файл вместо диска (" + address.substr(6) + ")"
                                               : BurnDriveDisplayName("", "", address);
    Added.push_back(drive);
    Drives.push_back(drive);
    DrivesMessage.clear();
    SelectDrive(static_cast<int>(Drives.size()) - 1);
}

void TBurnSetup::SelectDrive(int index) {
    if (index < 0 || index >= static_cast<int>(Drives.size()))
        return;
    DriveIndex = index;
    Inspect();
}

void TBurnSetup::SelectSpeed(int index) {
    if (index >= 0 && index < static_cast<int>(Speeds.size()))
        SpeedIndex = index;
}

void TBurnSetup::ChooseSpeedX(int x) {
    WantedSpeed = x;
    Decide();
}

void TBurnSetup::SetDummy(bool on) {
    Dummy = on && DummyEnabled;
    Decide();
}

TBurnOptions TBurnSetup::Options() const {
    TBurnOptions options;
    if (DriveIndex >= 0)
        options.Address = Drives[static_cast<size_t>(DriveIndex)].Address;
    options.SpeedX = Speeds.empty() ? 0 : Speeds[static_cast<size_t>(SpeedIndex)];
    options.Dummy = Dummy;
    options.Eject = Eject;
    return options;
}

bool TBurnSetup::NeedsBlanking() const {
    return CanBurn && CheckBurn(Medium, ImageSectors, true, Dummy).WillBlank;
}

void TBurnSetup::Inspect() {
    Medium = DriveIndex >= 0
                 ? Sources.InspectMedium(Drives[static_cast<size_t>(DriveIndex)].Address)
                 : TMediumInfo();
    Decide();
}

void TBurnSetup::Decide() {
    // The speed chosen before stays chosen while it is offered.
    const int chosenSpeed = WantedSpeed > 0  ? WantedSpeed
                            : Speeds.empty() ? 0
                                             : Speeds[static_cast<size_t>(SpeedIndex)];
    Speeds = {0};
    for (int x : OfferedSpeeds(Medium.WriteSpeeds))
        Speeds.push_back(x);
    if (WantedSpeed > 0 && std::find(Speeds.begin(), Speeds.end(), WantedSpeed) == Speeds.end())
        Speeds.insert(std::upper_bound(Speeds.begin() + 1, Speeds.end(), WantedSpeed), WantedSpeed);
    SpeedItems = {"Как выберет привод"};
    for (size_t i = 1; i < Speeds.size(); ++i)
        SpeedItems.push_back(std::to_string(Speeds[i]) + "x");
    const auto kept = std::find(Speeds.begin(), Speeds.end(), chosenSpeed);
    SpeedIndex = kept == Speeds.end() ? 0 : static_cast<int>(kept - Speeds.begin());

    CanBurn = false;
    DummyEnabled = false;
    if (DriveIndex < 0) {
        MediumText.clear();
        Verdict = DrivesMessage;
        Dummy = false;
        return;
    }
    if (!Medium.Error.empty()) {
        MediumText = Medium.Error;
        Verdict = "Нажмите «Обновить», когда привод будет готов.";
        return;
    }
    MediumText = Medium.StateText;
    DummyEnabled = Medium.DummySupported;
    Dummy = Dummy && DummyEnabled;
    const TBurnCheck check = CheckBurn(Medium, ImageSectors, true, Dummy);
    CanBurn = check.Ok;
    if (!check.Ok)
        Verdict = check.Message;
    else if (check.WillBlank)
        Verdict =
            "На диске CD-RW есть данные: перед записью он будет очищен, и всё, что на нём "
            "записано, пропадёт.";
    else if (Dummy)
        Verdict =
            "Пробная запись: привод пройдёт всю запись с выключенным лазером, диск останется "
            "чистым.";
    else
        Verdict = "Образ (" + Megabytes(ImageSectors, true) + ") помещается " +
                  (Medium.Kind == TMediumKind::PseudoDrive ? "в файл" : "на диск") + " (" +
                  Megabytes(Medium.CapacitySectors, false) +
                  "). Диск будет закрыт: дописать на него потом ничего нельзя.";
}

}  // namespace velmora
