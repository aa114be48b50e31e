#include "core/convert/ConvertPlan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "core/files/Module.h"
#include "core/files/Paths.h"
#include "core/tags/Naming.h"

namespace velmora {
namespace {

// An open source, closed when this goes.
class TOpenSource {
  public:
    explicit TOpenSource(const std::string& path)
        : Fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        struct stat st;
        if (Fd >= 0 && ::fstat(Fd, &st) == 0 && S_ISREG(st.st_mode)) {
            Identity = IdentityOf(st);
            return;
        }
        Error = Fd < 0 ? errno : EINVAL;
    }
    ~TOpenSource() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TOpenSource(const TOpenSource&) = delete;
    TOpenSource& operator=(const TOpenSource&) = delete;

    int Fd;
    int Error = 0;
    TFileIdentity Identity;
};

std::string SourceText(const TSourceFacts& facts) {
    std::string text = facts.Format;
    if (facts.SampleRate > 0)
        text += ", " + std::to_string(facts.SampleRate) + " Гц";
    if (facts.Channels == 1)
        text += ", моно";
    else if (facts.Channels > 2)
        text += ", каналов " + std::to_string(facts.Channels);
    return text;
}

class TPlanner {
  public:
    TPlanner(TFileSystem& fs, const std::string& folder, const TConvertSettings& settings,
             const std::function<void(size_t, size_t)>& step)
        : Fs(fs), Step(step) {
        Plan.Folder = folder;
        Plan.Settings = settings;
    }

    TConvertPlan Run() {
        std::vector<TDirEntry> root;
        if (!Fs.ListDir(Plan.Folder, root))
            return std::move(Plan);
        std::vector<std::pair<std::string, std::vector<TDirEntry>>> folders{{Plan.Folder, root}};
        for (const TDirEntry& e : root) {
            const std::string path = JoinPath(Plan.Folder, e.Name);
            if (e.Type != TDirEntry::Kind::Directory || e.Hidden ||
                (e.Link && !Fs.Within(Plan.Folder, path)))
                continue;
            std::vector<TDirEntry> entries;
            if (Fs.ListDir(path, entries))
                folders.emplace_back(path, std::move(entries));
        }
        for (const auto& [folder, entries] : folders)
            Total += std::count_if(entries.begin(), entries.end(),
                                   [](const TDirEntry& e) { return Candidate(e); });
        for (const auto& [folder, entries] : folders)
            PlanFolder(folder, entries);
        return std::move(Plan);
    }

  private:
    TFileSystem& Fs;
    std::function<void(size_t, size_t)> Step;
    TConvertPlan Plan;
    size_t Total = 0, Seen = 0;

    static bool Candidate(const TDirEntry& e) {
        return e.Type == TDirEntry::Kind::File && !e.Hidden && !IsKeptOriginalName(e.Name) &&
               (IsMp3Name(e.Name) || IsConvertibleName(e.Name));
    }

    void PlanFolder(const std::string& folder, const std::vector<TDirEntry>& entries) {
        // Every name the folder holds, and the names this plan gives to new files there.
        std::set<std::string> taken, files;
        for (const TDirEntry& e : entries) {
            taken.insert(e.Name);
            if (e.Type == TDirEntry::Kind::File && !e.Hidden)
                files.insert(e.Name);
        }
        const auto freeName = [&taken](const auto& nameFor) {
            for (int n = 1;; ++n) {
                const std::string name = nameFor(n);
                if (taken.count(name) == 0) {
                    taken.insert(name);
                    return name;
                }
            }
        };
        for (const TDirEntry& e : entries) {
            if (!Candidate(e))
                continue;
            const std::string path = JoinPath(folder, e.Name);
            const bool mp3 = IsMp3Name(e.Name);
            TConvertItem item;
            item.Source = path;
            if (!mp3 && HasConvertedBeside(e.Name, files)) {
                Stepped();
                continue;  // its MP3 stands beside it
            }
            if (e.Link && !Fs.Within(Plan.Folder, path)) {
                item.Problem = "ссылка на файл вне папки: скопируйте файл в папку";
                Add(std::move(item));
                continue;
            }
            if (mp3) {
                TAudioInfo info;
                try {
                    Fs.LoadAudioInfo(path, info);
                } catch (const std::exception& error) {
                    item.Problem = std::string("файл не читается: ") + error.what();
                    Add(std::move(item));
                    continue;
                }
                item.From = Mp3Problem(info, Plan.Settings.Limits);
                if (item.From.empty()) {
                    Stepped();
                    continue;  // the radio plays it
                }
                if (e.Link) {
                    // Converted under its own name, the link would become a file and its
                    // original a link: the file it points to is the one to convert.
                    item.Problem = "это ссылка на другой файл: перекодируйте сам файл";
                    Add(std::move(item));
                    continue;
                }
                item.Kind = TConvertItem::EKind::Mp3;
                item.Target = path;
                item.Original =
                    JoinPath(folder, freeName([&](int n) { return KeptOriginalName(e.Name, n); }));
                item.Identity = info.Identity;
                item.Tags = TagsOfMp3(info);
            } else {
                const std::string name = ConvertedName(e.Name);
                item.Target = JoinPath(
                    folder, freeName([&](int n) { return n == 1 ? name : NumberedName(name, n); }));
                files.insert(NameOf(item.Target));
            }
            Probe(item, mp3);
            Add(std::move(item));
        }
    }

    // Opens the source, asks the decoder what it holds and reads its tags.
    void Probe(TConvertItem& item, bool mp3) {
        const TOpenSource source(item.Source);
        if (source.Error != 0) {
            item.Problem = "файл не открывается: " + ErrorReason(source.Error);
            return;
        }
        if (!mp3)
            item.Identity = source.Identity;
        else if (!(item.Identity == source.Identity))
            item.Identity = {};  // changed since its analysis: the conversion will refuse it
        TSourceFacts facts;
        try {
            TFileByteSource bytes(source.Fd);
            facts = Codecs().OpenDecoder(bytes, NameOf(item.Source))->Facts();
        } catch (const EModuleMissing&) {
            throw;
        } catch (const std::exception& error) {
            item.Problem = error.what();
            return;
        }
        if (facts.Video) {
            item.Problem = "видеофайл, а не звук: Velmora перекодирует только звуковые файлы";
            return;
        }
        if (!mp3) {
            item.From = SourceText(facts);
        } else {
            // What keeps it off the disc, with its rate and channels where that does not say.
            if (item.From.find("Гц") == std::string::npos && facts.SampleRate > 0)
                item.From += ", " + std::to_string(facts.SampleRate) + " Гц";
            if (facts.Channels == 1)
                item.From += ", моно";
        }
        item.DurationMs = std::max<int64_t>(0, facts.DurationMs);
        item.Channels = facts.Channels == 1 ? 1 : 2;
        ReadSourceTags(source.Fd, facts, item.Tags);
        const std::string withCover = RenderID3v2(item.Tags, 0);
        const std::string tag = RenderID3v2(item.Tags, Plan.Settings.MaxID3v2);
        item.Cover = !item.Tags.Cover.empty() && tag.size() == withCover.size();
        item.ID3v2Size = static_cast<int64_t>(tag.size());
        item.CoverSize = item.Cover ? static_cast<int64_t>(item.Tags.Cover.size()) : 0;
        item.Tags.Cover.clear();
        // A source without a tag gets none: an empty one would only hide what the check says of
        // a file without a title.
        const TCarriedTags& t = item.Tags;
        if (!(t.Title + t.Artist + t.Album + t.Year + t.Track + t.Genre + t.Comment).empty()) {
            TID3v1Tag v1 = ID3v1Of(item.Tags);
            item.ID3v1.resize(kID3v1Size);
            v1.SaveToBuffer(reinterpret_cast<uint8_t*>(item.ID3v1.data()), item.ID3v1.size());
        }
    }

    void Add(TConvertItem item) {
        Plan.Items.push_back(std::move(item));
        Stepped();
    }

    void Stepped() {
        ++Seen;
        if (Step)
            Step(Seen, Total);
    }
};

}  // namespace

size_t TConvertPlan::Convertible() const {
    return static_cast<size_t>(std::count_if(
        Items.begin(), Items.end(), [](const auto& item) { return item.Problem.empty(); }));
}

TConvertPlan PlanConversion(TFileSystem& fs, const std::string& folder,
                            const TConvertSettings& settings,
                            const std::function<void(size_t, size_t)>& step) {
    return TPlanner(fs, folder, settings, step).Run();
}

std::vector<uint8_t> PlannedFileBytes(const TConvertItem& item, int kbps) {
    TCarriedTags tags = item.Tags;
    tags.Cover.assign(static_cast<size_t>(item.CoverSize), '\0');
    const std::string tag = RenderID3v2(tags, 0);
    std::vector<uint8_t> bytes(tag.begin(), tag.end());
    // MPEG-1 Layer III at 44.1 kHz: the bitrate's index, joint stereo or mono.
    static const int kBitrates[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                    112, 128, 160, 192, 224, 256, 320};
    int index = 11;
    for (int i = 1; i < 15; ++i)
        if (kBitrates[i] == kbps)
            index = i;
    const size_t length = static_cast<size_t>(144 * kBitrates[index] * 1000 / 44100);
    const bool mono = item.Channels == 1;
    for (int frame = 0; frame < 2; ++frame) {
        const size_t at = bytes.size();
        bytes.resize(at + length, 0);
        bytes[at] = 0xFF;
        bytes[at + 1] = 0xFB;
        bytes[at + 2] = static_cast<uint8_t>(index << 4);
        bytes[at + 3] = mono ? 0xC0 : 0x40;
    }
    bytes.insert(bytes.end(), item.ID3v1.begin(), item.ID3v1.end());
    return bytes;
}

int64_t ConvertedSize(const TConvertItem& item, int kbps) {
    // The Info frame, and the last frame the encoder pads out.
    constexpr int64_t kFrames = 2 * 1441;
    return item.ID3v2Size + static_cast<int64_t>(item.ID3v1.size()) + kFrames +
           int64_t{kbps} * 125 * std::max<int64_t>(0, item.DurationMs) / 1000;
}

std::string ConvertDetail(const TConvertItem& item, int kbps, const std::string& original) {
    std::string text = item.From + " → MP3 " + std::to_string(kbps) + " кбит/с, 44100 Гц";
    if (item.Kind == TConvertItem::EKind::Mp3)
        text += "; оригинал останется как «" + NameOf(original) + "»";
    return text;
}

TFileByteSource::TFileByteSource(int fd) : Fd(fd) {
    struct stat st;
    if (::fstat(fd, &st) == 0)
        FileSize = static_cast<int64_t>(st.st_size);
}

int64_t TFileByteSource::ReadAt(int64_t offset, void* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::pread(Fd, buffer, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

}  // namespace velmora
