#include "core/convert/ConvertJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/files/FileSystem.h"
#include "core/files/Journal.h"
#include "core/files/Paths.h"
#include "core/files/SafeMove.h"

namespace velmora {
namespace {

// Sample frames decoded and encoded in one step (four Layer III frames): with the MP3 bytes
// gathered before a write, all a worker holds whatever the file's length.
constexpr size_t kStepFrames = 4 * 1152;
constexpr size_t kWriteSize = 256 * 1024;

class EStop : public std::runtime_error {
  public:
    explicit EStop(const std::string& why, bool cancelled = false)
        : std::runtime_error(why), Cancelled(cancelled) {}
    bool Cancelled;
};

class TJob {
  public:
    TJob(TSysCalls& sys, const TConvertItem& item, const TConvertSettings& settings,
         const std::function<bool(int64_t)>& progress, int given = -1)
        : Sys(sys), Item(item), Settings(settings), Progress(progress), Given(given) {}

    ~TJob() {
        if (Out >= 0 && Out != Given)
            Sys.Close(Out);
        if (!Journal.Temp.empty() && !Placed)
            Sys.Unlink(Journal.Temp.c_str());
        if (!Journal.Path.empty())
            DropJournal(Sys, Journal);
        if (In >= 0)
            Sys.Close(In);
    }
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    TConvertOutcome Run() {
        TConvertOutcome outcome;
        try {
            OpenSource();
            Encode();
            if (Given < 0)
                Place(outcome);
            outcome.State = TConvertOutcome::EState::Done;
        } catch (const EStop& stop) {
            outcome.State = stop.Cancelled ? TConvertOutcome::EState::Cancelled
                                           : TConvertOutcome::EState::Failed;
            outcome.Message = stop.what();
        } catch (const std::exception& error) {
            outcome.State = TConvertOutcome::EState::Failed;
            outcome.Message = error.what();
        }
        return outcome;
    }

  private:
    TSysCalls& Sys;
    const TConvertItem& Item;
    const TConvertSettings& Settings;
    std::function<bool(int64_t)> Progress;
    int Given;  // the file to write into, or -1 for a temporary file beside the target
    int In = -1, Out = -1;
    struct stat Source {};
    TJournal Journal;
    bool Placed = false;
    int64_t Written = 0;

    [[noreturn]] static void Stop(const std::string& why) { throw EStop(why); }
    [[noreturn]] static void Failed(const char* what, int error) {
        throw EStop(std::string(what) + ": " + ErrorReason(error));
    }

    void OpenSource() {
        In = Sys.Open(Item.Source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
        if (In < 0)
            Failed("файл не открывается", errno);
        if (Sys.Fstat(In, &Source) != 0)
            Failed("файл не читается", errno);
        if (!S_ISREG(Source.st_mode) || !(IdentityOf(Source) == Item.Identity))
            Stop(ChangedText());
    }

    std::string ChangedText() const {
        return "файл изменён другой программой после плана: Velmora его не трогает";
    }

    void WriteOut(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = Sys.Write(Out, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                Failed("новый файл не записывается", n == 0 ? ENOSPC : errno);
            data += n;
            size -= static_cast<size_t>(n);
            Written += n;
        }
    }

    void Encode() {
        TFileByteSource bytes(In);
        const std::unique_ptr<TDecoder> decoder = Codecs().OpenDecoder(bytes, NameOf(Item.Source));
        const int channels = decoder->OutputChannels();
        const std::unique_ptr<TEncoder> encoder = Codecs().NewEncoder(channels, Settings.Kbps);
        TCarriedTags tags = Item.Tags;
        if (Item.Cover) {
            tags.Cover = decoder->Facts().Cover;
            tags.CoverMime = decoder->Facts().CoverMime;
        }
        const std::string id3v2 = RenderID3v2(tags, 0);

        if (Given >= 0) {
            Out = Given;
        } else {
            const std::string folder = ParentOf(Item.Target);
            Journal = Item.Kind == TConvertItem::EKind::Mp3
                          ? TJournal::Of(TJournal::EKind::Replace, Item.Source, Item.Original)
                          : TJournal::Of(TJournal::EKind::Rewrite, Item.Target, "");
            Out = CreateJournaledTemporary(Sys, folder, Journal);
            if (Out < 0)
                Failed("рядом нельзя создать файл", errno);
        }

        std::vector<float> samples(kStepFrames * static_cast<size_t>(channels));
        std::string mp3;
        WriteOut(id3v2.data(), id3v2.size());
        int64_t frames = 0;
        for (;;) {
            const size_t got = decoder->Read(samples.data(), kStepFrames);
            if (got == 0)
                break;
            frames += static_cast<int64_t>(got);
            encoder->Encode(samples.data(), got, mp3);
            if (mp3.size() >= kWriteSize) {
                WriteOut(mp3.data(), mp3.size());
                mp3.clear();
            }
            if (Progress && !Progress(decoder->PositionMs()))
                throw EStop("перекодирование отменено", true);
        }
        if (frames == 0)
            Stop("в файле нет звука: декодер не выдал ни одного сэмпла");
        encoder->Finish(mp3);
        WriteOut(mp3.data(), mp3.size());
        WriteOut(Item.ID3v1.data(), Item.ID3v1.size());
        // The first frame was a placeholder of the Info frame's length.
        const std::string info = encoder->InfoFrame();
        if (!info.empty() &&
            ::pwrite(Out, info.data(), info.size(), static_cast<off_t>(id3v2.size())) !=
                static_cast<ssize_t>(info.size()))
            Failed("новый файл не записывается", errno);
        Finish();
    }

    void Finish() {
        // An MP3 converted under its own name keeps the original's permissions. The umask is
        // read once (reading it sets it for a moment, which workers side by side must not do).
        static const mode_t created = CreationMode();
        const mode_t mode =
            Item.Kind == TConvertItem::EKind::Mp3 ? Source.st_mode & 07777 : created;
        if (Given < 0 && Sys.Fchmod(Out, mode) != 0 && errno != EPERM && errno != EOPNOTSUPP)
            Failed("новый файл не записывается", errno);
        while (Sys.Fsync(Out) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EINVAL && errno != EOPNOTSUPP)
                Failed("новый файл не записывается", errno);
            break;
        }
        struct stat written {};
        if (Sys.Fstat(Out, &written) != 0)
            Failed("новый файл не записывается", errno);
        if (written.st_size != Written)
            Failed("новый файл не записывается", EIO);
        const int fd = Out;
        Out = -1;
        if (fd != Given && Sys.Close(fd) != 0 && errno != EINTR)
            Failed("новый файл не записывается", errno);
        // The source was read whole as it was planned.
        struct stat now {};
        if (Sys.Fstat(In, &now) != 0 || !(IdentityOf(now) == IdentityOf(Source)))
            Stop("файл изменился во время перекодирования: Velmora его не трогает");
    }

    // Moves `from` to the first free name `nameFor(1)`, `nameFor(2)`, …; the name it got.
    std::string MoveToFree(const std::string& from,
                           const std::function<std::string(int)>& nameFor) {
        for (int n = 1; n < 1000; ++n) {
            const std::string to = nameFor(n);
            const TMoveResult moved = SafeMoveFile(Sys, from, to);
            if (moved.Ok)
                return to;
            if (moved.Error != EEXIST)
                Failed("новый файл не получает имя", moved.Error);
        }
        Failed("новый файл не получает имя", EEXIST);
    }

    std::string Numbered(const std::string& path, int n) const {
        return n == 1 ? path : JoinPath(ParentOf(path), NumberedName(NameOf(path), n));
    }

    void Place(TConvertOutcome& outcome) {
        const std::string temp = Journal.Temp;
        if (Item.Kind == TConvertItem::EKind::Source) {
            outcome.Target = MoveToFree(temp, [&](int n) { return Numbered(Item.Target, n); });
            Placed = true;
            SyncFolder();
            return;
        }
        // The name must still name the file that was read.
        struct stat now {};
        if (Sys.Lstat(Item.Source.c_str(), &now) != 0 || !(IdentityOf(now) == IdentityOf(Source)))
            Stop(ChangedText());
        outcome.Original = Item.Original;
        for (int n = 1;; ++n) {
            const TMoveResult moved = SafeMoveFile(Sys, Item.Source, outcome.Original);
            if (moved.Ok)
                break;
            if (moved.Error != EEXIST || n >= 1000)
                Failed("оригинал не переносится", moved.Error);
            // Its kept name was taken meanwhile: the journal names the next one first.
            outcome.Original =
                JoinPath(ParentOf(Item.Original), KeptOriginalName(NameOf(Item.Source), n + 1));
            TJournal next = TJournal::Of(TJournal::EKind::Replace, Item.Source, outcome.Original);
            next.Temp = temp;
            struct stat st {};
            if (!WriteJournal(Sys, next) || Sys.Lstat(temp.c_str(), &st) != 0 ||
                !AddJournalInode(Sys, next, st.st_dev, st.st_ino))
                Failed("оригинал не переносится", errno);
            DropJournal(Sys, Journal);
            Journal = next;
        }
        try {
            outcome.Target = MoveToFree(temp, [&](int n) { return Numbered(Item.Source, n); });
        } catch (...) {
            SafeMoveFile(Sys, outcome.Original, Item.Source);  // the original back
            throw;
        }
        Placed = true;
        SyncFolder();
    }

    void SyncFolder() const {
        const int fd = ::open(ParentOf(Item.Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
};

}  // namespace

TConvertOutcome ConvertFile(TSysCalls& sys, const TConvertItem& item,
                            const TConvertSettings& settings,
                            const std::function<bool(int64_t)>& progress) {
    if (!item.Problem.empty())
        return {TConvertOutcome::EState::Failed, "", "", item.Problem};
    return TJob(sys, item, settings, progress).Run();
}

TConvertOutcome ConvertInto(TSysCalls& sys, const TConvertItem& item,
                            const TConvertSettings& settings, int out,
                            const std::function<bool(int64_t)>& progress) {
    if (!item.Problem.empty())
        return {TConvertOutcome::EState::Failed, "", "", item.Problem};
    return TJob(sys, item, settings, progress, out).Run();
}

}  // namespace velmora
