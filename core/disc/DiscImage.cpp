#include "core/disc/DiscImage.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/files/FileSystem.h"
#include "core/files/Journal.h"
#include "core/files/Paths.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

// Writes a new file `out` through a journaled temporary file beside it: `fill` writes the
// temporary file and returns "" or why it failed; then it is flushed and renamed to `out`
// (over an existing one only when `replace`). Anything but success removes the temporary file.
// Returns "" or why it failed.
std::string WriteBeside(const std::string& out, bool replace, TSysCalls& sys, bool& cancelled,
                        const std::function<std::string(int fd)>& fill) {
    TJournal journal = TJournal::Of(TJournal::EKind::Rewrite, out, "");
    const int fd = CreateJournaledTemporary(sys, ParentOf(out), journal);
    if (fd < 0)
        return "«" + out + "»: " + ErrorReason(errno);
    const std::string& temp = journal.Temp;
    // The file gets the mode any new file of the user gets (0644 with the usual umask).
    sys.Fchmod(fd, CreationMode());
    std::string why = fill(fd);
    if (why.empty() && !cancelled && sys.Fsync(fd) != 0)
        why = "«" + out + "»: " + ErrorReason(errno);
    if (sys.Close(fd) != 0 && why.empty() && !cancelled)
        why = "«" + out + "»: " + ErrorReason(errno);
    if (why.empty() && !cancelled) {
        const int rc = replace ? sys.Rename(temp.c_str(), out.c_str())
                               : sys.RenameNoReplace(temp.c_str(), out.c_str());
        if (rc != 0)
            why = errno == EEXIST ? "файл «" + out + "» уже есть"
                                  : "«" + out + "»: " + ErrorReason(errno);
    }
    if (cancelled || !why.empty())
        sys.Unlink(temp.c_str());
    DropJournal(sys, journal);
    return why;
}

// True when something is at the path already (a link too, even one that leads nowhere).
bool Exists(TSysCalls& sys, const std::string& path) {
    struct stat st;
    return sys.Lstat(path.c_str(), &st) == 0;
}

// "3:25"; "1:02:03" from an hour on.
std::string PlayingTime(int64_t milliseconds) {
    const int64_t seconds = milliseconds / 1000;
    const auto two = [](int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    if (seconds >= 3600)
        return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" +
               two(seconds % 60);
    return std::to_string(seconds / 60) + ":" + two(seconds % 60);
}

// The text followed by spaces up to `width` characters.
std::string PadTo(const std::string& text, size_t width) {
    const size_t length = Utf8Length(text);
    return text + std::string(width > length ? width - length : 0, ' ');
}

}  // namespace

TIsoLayout DiscLayout(const TDiscCheck& check) {
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::absolute(check.Folder, ec);
    TIsoLayout layout;
    layout.Level = check.Profile.IsoLevel;
    layout.VolumeId = check.VolumeId;
    layout.MaxSectors = check.Profile.MaxImageSectors();
    for (const TDiscEntry& f : check.Folders)
        layout.Folders.push_back({f.Name, f.IsoName});
    for (const TDiscEntry& f : check.Files) {
        TIsoLayout::TFile file;
        file.Path = (root / f.Source).string();
        file.Shown = f.Source;
        file.Joliet = f.Name;
        file.Iso = f.IsoName;
        file.Folder = f.Folder;
        file.Identity = f.Identity;
        if (!file.Identity.Known())
            file.Identity.Size = f.Size;
        layout.Files.push_back(file);
    }
    return layout;
}

std::string DiscRefusal(const TDiscCheck& check) {
    std::string why;
    bool onlyTooBig = true;
    for (const TDiscProblem& p : check.Problems) {
        if (!p.Fatal)
            continue;
        onlyTooBig = onlyTooBig && p.Code == "disc-full";
        why += "\n" + p.Path + ": " + p.Text;
    }
    if (!why.empty())
        return (onlyTooBig ? "папка не помещается на диск" : "диск не будет играть") + why;
    if (check.Files.empty())
        return "в папке нет MP3 файлов, которые сыграет магнитола";
    return "";
}

TDiscImageResult WriteDiscImage(const TDiscCheck& check, const std::string& out, bool replace,
                                const TDiscProgress& progress, TSysCalls& sys) {
    TDiscImageResult result;
    const auto fail = [&](const std::string& why) {
        result.Message = "Образ диска не записан: " + why;
        return result;
    };
    if (const std::string why = DiscRefusal(check); !why.empty())
        return fail(why);
    if (IsSpecialFile(out))
        return fail("«" + out + "» — не файл, а устройство или канал: образ туда не пишется");
    if (!replace && Exists(sys, out))
        return fail("файл «" + out + "» уже есть");
    const TIsoLayout layout = DiscLayout(check);
    bool cancelled = false;
    const std::string why = WriteBeside(out, replace, sys, cancelled, [&](int fd) {
        return WriteIsoImage(layout, fd, sys, progress, cancelled);
    });
    if (cancelled) {
        result.Cancelled = true;
        result.Message = "Запись образа отменена";
        return result;
    }
    if (!why.empty())
        return fail(why);
    result.Ok = true;
    return result;
}

std::string DiscTrackList(const TDiscCheck& check) {
    size_t nameWidth = 0, tagWidth = 0;
    std::vector<std::string> tags;
    for (const TDiscEntry& f : check.Files) {
        // A merged title that begins with the artist already ("Kino-Gruppa krovi") is shown
        // alone.
        const bool merged = !f.Artist.empty() && f.Title.rfind(f.Artist, 0) == 0 &&
                            (f.Title.size() == f.Artist.size() ||
                             !std::isalnum(static_cast<unsigned char>(f.Title[f.Artist.size()])));
        std::string tag = merged ? std::string() : f.Artist;
        if (!tag.empty() && !f.Title.empty())
            tag += " – ";
        tag += f.Title;
        tags.push_back(tag);
        nameWidth = std::max(nameWidth, Utf8Length(f.Name));
        tagWidth = std::max(tagWidth, Utf8Length(tag));
    }
    const size_t numberWidth = std::to_string(check.Files.size()).size();
    std::string text = "Диск " + check.VolumeId + " (" + check.Profile.Name + ")\n";
    int64_t total = 0;
    int folder = -2;
    size_t number = 0;
    for (size_t i = 0; i < check.Files.size(); ++i) {
        const TDiscEntry& f = check.Files[i];
        if (f.Folder != folder) {
            folder = f.Folder;
            number = 0;
            text += "\n" +
                    (folder < 0 ? std::string("Корень диска")
                                : check.Folders.at(static_cast<size_t>(folder)).Name) +
                    "\n";
        }
        const std::string n = std::to_string(++number);
        text += std::string(numberWidth - std::min(numberWidth, n.size()) + 2, ' ') + n + "  " +
                PadTo(f.Name, nameWidth) + "  " + PadTo(tags[i], tagWidth) + "  " +
                PlayingTime(f.Duration) + "\n";
        total += f.Duration;
    }
    text += "\nФайлов: " + std::to_string(check.Files.size()) +
            ", папок: " + std::to_string(check.Folders.size()) +
            ", время звучания: " + PlayingTime(total) + ", " +
            DiscSizeText(check.Sectors, check.Profile.MaxImageSectors()) + "\n";
    return text;
}

std::string WriteDiscTrackList(const TDiscCheck& check, const std::string& path, bool replace,
                               TSysCalls& sys) {
    const auto fail = [](const std::string& why) { return "Список треков не записан: " + why; };
    if (IsSpecialFile(path)) {
        // A device or a FIFO (standard output, say) is written into, never replaced by a file.
        const std::string why = WriteIntoSpecialFile(path, DiscTrackList(check));
        return why.empty() ? why : fail("«" + path + "»: " + why);
    }
    if (!replace && Exists(sys, path))
        return fail("файл «" + path + "» уже есть");
    const std::string text = DiscTrackList(check);
    bool cancelled = false;
    const std::string why = WriteBeside(path, replace, sys, cancelled, [&](int fd) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = sys.Write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return "«" + path + "»: " + ErrorReason(n == 0 ? ENOSPC : errno);
            done += static_cast<size_t>(n);
        }
        return std::string();
    });
    return why.empty() ? why : fail(why);
}

std::string TrackListPathFor(const std::string& imagePath) {
    const std::string name = NameOf(imagePath);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    if (stem + ".txt" == name)
        return imagePath + ".txt";  // never the image itself
    return imagePath.substr(0, imagePath.size() - name.size()) + stem + ".txt";
}

}  // namespace velmora
