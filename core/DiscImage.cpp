#include "core/DiscImage.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/FileSystem.h"
#include "core/IsoImage.h"
#include "core/Journal.h"
#include "core/Paths.h"

namespace velmora {

TDiscImageResult WriteDiscImage(const TDiscCheck& check, const std::string& out, bool replace,
                                const TDiscProgress& progress, TSysCalls& sys) {
    TDiscImageResult result;
    const auto fail = [&](const std::string& why) {
        result.Message = "Образ диска не записан: " + why;
        return result;
    };
    if (check.HasFatal()) {
        std::string why = "диск не будет играть";
        for (const TDiscProblem& p : check.Problems)
            if (p.Fatal)
                why += "\n" + p.Path + ": " + p.Text;
        return fail(why);
    }
    if (check.Files.empty())
        return fail("в папке нет MP3 файлов");
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::absolute(check.Folder, ec);
    TIsoLayout layout;
    layout.Level = check.Profile.IsoLevel;
    layout.VolumeId = check.VolumeId;
    for (const TDiscEntry& f : check.Folders)
        layout.Folders.push_back(f.Name);
    for (const TDiscEntry& f : check.Files)
        layout.Files.push_back({(root / f.Source).string(), f.Name, f.Folder});

    TJournal journal = TJournal::Of(TJournal::EKind::Rewrite, out, "");
    const int fd = CreateJournaledTemporary(sys, ParentOf(out), journal);
    if (fd < 0)
        return fail(out + ": " + ErrorReason(errno));
    const std::string& temp = journal.Temp;
    // The image gets the mode any new file of the user gets (0644 with the usual umask).
    sys.Fchmod(fd, CreationMode());
    bool cancelled = false;
    std::string why = WriteIsoImage(layout, fd, sys, progress, cancelled);
    if (why.empty() && !cancelled && sys.Fsync(fd) != 0)
        why = ErrorReason(errno);
    if (sys.Close(fd) != 0 && why.empty() && !cancelled)
        why = ErrorReason(errno);
    if (why.empty() && !cancelled) {
        const int rc = replace ? sys.Rename(temp.c_str(), out.c_str())
                               : sys.RenameNoReplace(temp.c_str(), out.c_str());
        if (rc != 0)
            why = errno == EEXIST ? "файл " + out + " уже есть" : out + ": " + ErrorReason(errno);
    }
    if (cancelled || !why.empty())
        sys.Unlink(temp.c_str());
    DropJournal(sys, journal);
    if (cancelled || !why.empty()) {
        if (cancelled) {
            result.Cancelled = true;
            result.Message = "Запись образа отменена";
            return result;
        }
        return fail(why);
    }
    result.Ok = true;
    return result;
}

}  // namespace velmora
