#include "core/disc/IsoLib.h"

// libisofs.h needs these first.
#include <stdint.h>
#include <sys/types.h>
#include <time.h>
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs.h>

// libisofs hides its stream struct from C++ (a member is named "class"); this is its layout.
struct iso_stream {
    IsoStreamIface* Class;
    int refcount;
    void* data;
};

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "core/files/FileSystem.h"
#include "core/text/TrackRules.h"

namespace velmora {
namespace {

constexpr int64_t kSectorBytes = 2048;

// libisofs keeps one message queue per process; the writes of the program do not overlap.
std::mutex IsoLock;

void InitOnce() {
    static const bool done = [] {
        iso_init();
        char queue[] = "SORRY", print[] = "NEVER", id[] = "velmora";
        iso_set_msgs_severities(queue, print, id);
        return true;
    }();
    (void)done;
}

// The oldest queued message of the severity SORRY or worse, or "" when none; empties the queue.
std::string TakeMessages() {
    std::string first;
    char minimum[] = "SORRY";
    char text[ISO_MSGS_MESSAGE_LEN];
    char severity[80];
    int code = 0, image = 0;
    while (iso_obtain_msgs(minimum, &code, &image, text, severity) == 1) {
        if (first.empty())
            first = text;
    }
    return first;
}

// A failure of libisofs itself, which names no file of ours: its own words, after ours.
std::string LibraryError(const std::string& what, int code) {
    const char* text = iso_error_to_msg(code);
    return what + " (libisofs: " + (text ? text : std::to_string(code)) + ")";
}

struct TImageRef {
    IsoImage* Image = nullptr;
    ~TImageRef() {
        if (Image)
            iso_image_unref(Image);
    }
};

bool WriteAll(TSysCalls& sys, int fd, const unsigned char* data, size_t size, int& error) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = sys.Write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n == 0 ? ENOSPC : errno;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// What the streams of one write share: the calls they read through, and the first file that
// failed, which stops the write.
struct TWriteState {
    static constexpr size_t kPiece = 1 << 20;
    TSysCalls* Sys = nullptr;
    std::mutex Lock;
    std::string Failure;
    std::atomic<bool> Failed{false};
    // Read buffers of kPiece bytes, made once for the whole image: libisofs reads one file
    // after the other, and a fresh buffer per file costs more than reading it.
    std::vector<std::unique_ptr<char[]>> Buffers;

    std::unique_ptr<char[]> TakeBuffer() {
        std::lock_guard<std::mutex> guard(Lock);
        if (Buffers.empty())
            return std::unique_ptr<char[]>(new char[kPiece]);
        std::unique_ptr<char[]> buffer = std::move(Buffers.back());
        Buffers.pop_back();
        return buffer;
    }
    void GiveBack(std::unique_ptr<char[]> buffer) {
        std::lock_guard<std::mutex> guard(Lock);
        Buffers.push_back(std::move(buffer));
    }

    void Fail(const std::string& why) {
        std::lock_guard<std::mutex> guard(Lock);
        if (Failure.empty())
            Failure = why;
        Failed = true;
    }
};

// A file's data read in large pieces: libisofs asks for one sector at a time, and a read call per
// sector would cost more than the copying itself. Without a write state the stream only has a
// size (measuring) and is never opened.
struct TSourceFile {
    std::string Path, Shown;
    TFileIdentity Expected;  // Size is always set
    // What libisofs tells files apart by: the same id is the same data, written once.
    uint64_t IdDev = 0, IdIno = 0;
    TWriteState* State = nullptr;
    int Fd = -1;
    int64_t Done = 0;
    bool Ended = false;
    std::unique_ptr<char[]> Buffer;  // while open
    size_t Begin = 0, End = 0;
};

TSourceFile& Of(IsoStream* stream) {
    return *static_cast<TSourceFile*>(stream->data);
}

std::string Quoted(const TSourceFile& f) {
    return "«" + f.Shown + "»";
}

// True when the open file is still the one checked: same device and inode, size and
// modification time (each as far as the check knew it).
bool SameFile(const TFileIdentity& expected, const struct stat& st) {
    if (expected.Dev != 0 || expected.Ino != 0) {
        if (static_cast<uint64_t>(st.st_dev) != expected.Dev ||
            static_cast<uint64_t>(st.st_ino) != expected.Ino)
            return false;
    }
    if (expected.ModifiedNs != 0 &&
        int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec != expected.ModifiedNs)
        return false;
    return st.st_size == expected.Size;
}

int StreamOpen(IsoStream* stream) {
    TSourceFile& f = Of(stream);
    if (!f.State)
        return static_cast<int>(ISO_FILE_ERROR);
    TSysCalls& sys = *f.State->Sys;
    f.Fd = sys.Open(f.Path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (f.Fd < 0) {
        f.State->Fail("файл " + Quoted(f) + " не открывается: " + ErrorReason(errno));
        return static_cast<int>(ISO_FILE_ERROR);
    }
    struct stat st;
    if (sys.Fstat(f.Fd, &st) != 0 || !SameFile(f.Expected, st)) {
        f.State->Fail("файл " + Quoted(f) +
                      " изменился после проверки диска — проверьте диск ещё раз");
        sys.Close(f.Fd);
        f.Fd = -1;
        return static_cast<int>(ISO_FILE_ERROR);
    }
    f.Buffer = f.State->TakeBuffer();
    f.Begin = f.End = 0;
    f.Done = 0;
    f.Ended = false;
    return ISO_SUCCESS;
}

int StreamClose(IsoStream* stream) {
    TSourceFile& f = Of(stream);
    if (f.Fd >= 0)
        f.State->Sys->Close(f.Fd);
    f.Fd = -1;
    if (f.Buffer)
        f.State->GiveBack(std::move(f.Buffer));
    return ISO_SUCCESS;
}

off_t StreamSize(IsoStream* stream) {
    return static_cast<off_t>(Of(stream).Expected.Size);
}

// At the file's end: nothing follows the bytes checked, the open file has kept its size and
// time, and its name still leads to it (it was not replaced meanwhile).
bool StillTheSameAtEnd(TSourceFile& f) {
    TSysCalls& sys = *f.State->Sys;
    char extra;
    ssize_t n;
    do
        n = sys.Read(f.Fd, &extra, 1);
    while (n < 0 && errno == EINTR);
    struct stat st;
    if (n != 0 || sys.Fstat(f.Fd, &st) != 0 || !SameFile(f.Expected, st))
        return false;
    const int again = sys.Open(f.Path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (again < 0)
        return false;
    struct stat now;
    const bool same =
        sys.Fstat(again, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino;
    sys.Close(again);
    return same;
}

int StreamRead(IsoStream* stream, void* buf, size_t count) {
    TSourceFile& f = Of(stream);
    TSysCalls& sys = *f.State->Sys;
    const auto changed = [&f] {
        f.State->Fail("файл " + Quoted(f) +
                      " изменился во время записи образа — запишите образ ещё раз");
        return static_cast<int>(ISO_FILE_READ_ERROR);
    };
    count = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(count), f.Expected.Size - f.Done));
    size_t done = 0;
    while (done < count) {
        if (f.Begin == f.End) {
            ssize_t n;
            do
                n = sys.Read(f.Fd, f.Buffer.get(),
                             static_cast<size_t>(std::min<int64_t>(
                                 TWriteState::kPiece,
                                 f.Expected.Size - f.Done - static_cast<int64_t>(done))));
            while (n < 0 && errno == EINTR);
            if (n < 0) {
                f.State->Fail("файл " + Quoted(f) + " не читается: " + ErrorReason(errno));
                return static_cast<int>(ISO_FILE_READ_ERROR);
            }
            if (n == 0)
                return changed();  // shorter than when it was checked
            f.Begin = 0;
            f.End = static_cast<size_t>(n);
        }
        const size_t piece = std::min(count - done, f.End - f.Begin);
        std::memcpy(static_cast<char*>(buf) + done, f.Buffer.get() + f.Begin, piece);
        f.Begin += piece;
        done += piece;
    }
    f.Done += static_cast<int64_t>(done);
    if (f.Done == f.Expected.Size && !f.Ended) {
        f.Ended = true;
        if (!StillTheSameAtEnd(f))
            return changed();
    }
    return static_cast<int>(done);
}

int StreamRepeatable(IsoStream*) {
    return 1;
}

void StreamId(IsoStream* stream, unsigned int* fs, dev_t* dev, ino_t* ino) {
    *fs = 0x7E1;  // ours, apart from libisofs' own file systems
    *dev = static_cast<dev_t>(Of(stream).IdDev);
    *ino = static_cast<ino_t>(Of(stream).IdIno);
}

void StreamFree(IsoStream* stream) {
    TSourceFile* f = &Of(stream);
    if (f->Fd >= 0 && f->State)
        f->State->Sys->Close(f->Fd);
    delete f;
}

IsoStreamIface FileStreamClass = {0,
                                  {'v', 'f', 'i', 'l'},
                                  StreamOpen,
                                  StreamClose,
                                  StreamSize,
                                  StreamRead,
                                  StreamRepeatable,
                                  StreamId,
                                  StreamFree,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  nullptr};

// A new stream over the file (one reference, for the first node that takes it), or nullptr.
IsoStream* NewFileStream(const TIsoLayout::TFile& file, TWriteState* state) {
    auto* f = new TSourceFile;
    f->Path = file.Path;
    f->Shown = file.Shown;
    f->Expected = file.Identity;
    f->Expected.Size = std::max<int64_t>(0, file.Identity.Size);
    f->State = state;
    f->IdDev = file.Identity.Dev;
    f->IdIno = file.Identity.Ino;
    if (f->IdDev == 0 && f->IdIno == 0) {
        // A file whose inode is not known is one of its own.
        static std::atomic<uint64_t> unknown{0};
        f->IdDev = ~uint64_t{0};
        f->IdIno = ++unknown;
    }
    // libisofs releases the stream itself with free().
    auto* stream = static_cast<iso_stream*>(std::malloc(sizeof(iso_stream)));
    if (!stream) {
        delete f;
        return nullptr;
    }
    *stream = {&FileStreamClass, 1, f};
    return stream;
}

// A folder or file of the layout in the ISO 9660 tree and in the Joliet tree: one node when its
// names are the same, else a node hidden from each other tree.
struct TTwoSides {
    IsoDir* Iso = nullptr;
    IsoDir* Joliet = nullptr;
};

std::string AddFolder(IsoDir* root, const TIsoLayout::TFolder& folder, TTwoSides& sides) {
    const auto add = [&](const std::string& name, int hide, IsoDir*& dir) {
        const int rc = iso_tree_add_new_dir(root, name.c_str(), &dir);
        if (rc < 0)
            return LibraryError("папка «" + name + "» не добавляется в образ", rc);
        if (hide)
            iso_node_set_hidden(reinterpret_cast<IsoNode*>(dir), hide);
        return std::string();
    };
    if (folder.Joliet == folder.Iso) {
        const std::string why = add(folder.Iso, 0, sides.Iso);
        sides.Joliet = sides.Iso;
        return why;
    }
    std::string why = add(folder.Iso, LIBISO_HIDE_ON_JOLIET, sides.Iso);
    if (why.empty())
        why = add(folder.Joliet, LIBISO_HIDE_ON_RR, sides.Joliet);
    return why;
}

std::string AddFile(IsoImage* image, const TTwoSides& parent, const TIsoLayout::TFile& file,
                    TWriteState* state, int weight) {
    IsoStream* stream = NewFileStream(file, state);
    if (!stream)
        return "файл «" + file.Shown + "»: " + ErrorReason(ENOMEM);
    const time_t mtime = static_cast<time_t>(file.Identity.ModifiedNs / 1000000000);
    const auto add = [&](IsoDir* dir, const std::string& name, int hide) {
        IsoFile* node = nullptr;
        const int rc = iso_image_add_new_file(image, dir, name.c_str(), stream, &node);
        if (rc < 0) {
            iso_stream_unref(stream);
            return LibraryError("файл «" + file.Shown + "» не добавляется в образ", rc);
        }
        auto* n = reinterpret_cast<IsoNode*>(node);
        iso_node_set_permissions(n, 0444);
        iso_node_set_mtime(n, mtime);
        iso_node_set_atime(n, mtime);
        iso_node_set_ctime(n, mtime);
        iso_node_set_sort_weight(n, weight);
        if (hide)
            iso_node_set_hidden(n, hide);
        return std::string();
    };
    const bool one = file.Joliet == file.Iso && parent.Iso == parent.Joliet;
    if (one)
        return add(parent.Iso, file.Iso, 0);
    iso_stream_ref(stream);  // the second node's reference; its data is written once
    std::string why = add(parent.Iso, file.Iso, LIBISO_HIDE_ON_JOLIET);
    if (!why.empty()) {
        iso_stream_unref(stream);
        return why;
    }
    return add(parent.Joliet, file.Joliet, LIBISO_HIDE_ON_RR);
}

// The layout's tree in a new image; "" or why it could not be made.
std::string BuildImage(const TIsoLayout& layout, TWriteState* state, TImageRef& ref) {
    int rc = iso_image_new(layout.VolumeId.c_str(), &ref.Image);
    if (rc < 0)
        return LibraryError("образ не создаётся", rc);
    iso_image_set_volume_id(ref.Image, layout.VolumeId.c_str());
    iso_image_set_ignore_aclea(ref.Image, 1 | 2 | 4);
    IsoDir* root = iso_image_get_root(ref.Image);
    std::vector<TTwoSides> folders(layout.Folders.size());
    for (size_t i = 0; i < layout.Folders.size(); ++i) {
        const std::string why = AddFolder(root, layout.Folders[i], folders[i]);
        if (!why.empty())
            return why;
    }
    // The file data is laid out by falling weight: the first file gets the highest. Added from
    // the last: libisofs keeps a folder's nodes in a sorted list and looks for the place from
    // its start, where a name that sorts before the others belongs.
    for (size_t i = layout.Files.size(); i-- > 0;) {
        const TIsoLayout::TFile& file = layout.Files[i];
        const TTwoSides parent =
            file.Folder < 0 ? TTwoSides{root, root} : folders.at(static_cast<size_t>(file.Folder));
        const int weight = static_cast<int>(layout.Files.size() - i);
        const std::string why = AddFile(ref.Image, parent, file, state, weight);
        if (!why.empty())
            return why;
    }
    return {};
}

// The image's stream of bytes (the writer thread starts unless measuring); "" or why not.
std::string CreateSource(const TIsoLayout& layout, IsoImage* image, bool measuring,
                         struct burn_source*& source) {
    IsoWriteOpts* opts = nullptr;
    int rc = iso_write_opts_new(&opts, 0);
    if (rc < 0)
        return LibraryError("образ не создаётся", rc);
    iso_write_opts_set_iso_level(opts, layout.Level);
    iso_write_opts_set_joliet(opts, 1);
    iso_write_opts_set_rockridge(opts, 0);
    iso_write_opts_set_omit_version_numbers(opts, 2);  // no ";1" in the Joliet tree
    iso_write_opts_set_sort_files(opts, 1);
    iso_write_opts_set_fifo_size(opts, 2048);  // 4 MB between the files and our writes
    iso_write_opts_set_will_cancel(opts, measuring ? 1 : 0);
    rc = iso_image_create_burn_source(image, opts, &source);
    iso_write_opts_free(opts);
    if (rc < 0)
        return LibraryError("образ не создаётся", rc);
    return {};
}

void FreeSource(struct burn_source* source) {
    source->free_data(source);
    std::free(source);
}

void ListDir(IsoDir* dir, const std::string& prefix, TIsoListing& listing) {
    IsoDirIter* iter = nullptr;
    if (iso_dir_get_children(dir, &iter) < 0)
        return;
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(iter, &node) == 1) {
        const std::string path = prefix + iso_node_get_name(node);
        if (iso_node_get_type(node) == LIBISO_DIR) {
            listing.Folders.push_back(path);
            ListDir(reinterpret_cast<IsoDir*>(node), path + "/", listing);
        } else if (iso_node_get_type(node) == LIBISO_FILE) {
            TIsoListing::TFile file;
            file.Path = path;
            int count = 0;
            struct iso_file_section* sections = nullptr;
            if (iso_file_get_old_image_sections(reinterpret_cast<IsoFile*>(node), &count, &sections,
                                                0) == 1 &&
                count > 0) {
                file.Block = sections[0].block;
                for (int i = 0; i < count; ++i)
                    file.Size += sections[i].size;
            }
            std::free(sections);
            listing.Files.push_back(file);
        }
    }
    iso_dir_iter_free(iter);
}

}  // namespace

std::string LibMeasureIsoImage(const TIsoLayout& layout, int64_t& sectors) {
    std::lock_guard<std::mutex> lock(IsoLock);
    InitOnce();
    TakeMessages();
    TImageRef ref;
    std::string why = BuildImage(layout, nullptr, ref);
    struct burn_source* source = nullptr;
    if (why.empty())
        why = CreateSource(layout, ref.Image, true, source);
    if (!why.empty())
        return why;
    sectors = source->get_size(source) / kSectorBytes;
    source->cancel(source);
    FreeSource(source);
    TakeMessages();
    return {};
}

std::string LibWriteIsoImage(const TIsoLayout& layout, int fd, TSysCalls& sys,
                             const std::function<bool(int64_t, int64_t)>& progress,
                             bool& cancelled) {
    cancelled = false;
    std::lock_guard<std::mutex> lock(IsoLock);
    InitOnce();
    TakeMessages();
    TWriteState state;
    state.Sys = &sys;
    TImageRef ref;
    std::string failure = BuildImage(layout, &state, ref);
    struct burn_source* source = nullptr;
    if (failure.empty())
        failure = CreateSource(layout, ref.Image, false, source);
    if (!failure.empty())
        return failure;

    const int64_t total = source->get_size(source);
    if (layout.MaxSectors > 0 && total / kSectorBytes > layout.MaxSectors) {
        source->cancel(source);
        FreeSource(source);
        TakeMessages();
        return "образ в " + CountOf(total / kSectorBytes, "сектор", "сектора", "секторов") +
               " больше, чем помещается на диск (" + std::to_string(layout.MaxSectors) + ")";
    }
    std::vector<unsigned char> buffer(512 * kSectorBytes);
    size_t filled = 0;
    int64_t done = 0;
    const auto flush = [&] {
        int error = 0;
        if (filled > 0 && !WriteAll(sys, fd, buffer.data(), filled, error)) {
            failure = ErrorReason(error);
            return false;
        }
        done += static_cast<int64_t>(filled);
        filled = 0;
        return true;
    };
    for (;;) {
        // A read past the end of the image loses its part before the end: ask for what is left.
        const int64_t left = total - done - static_cast<int64_t>(filled);
        const int want = static_cast<int>(std::min<int64_t>(
            std::max<int64_t>(left, 0), static_cast<int64_t>(buffer.size() - filled)));
        // Waiting inside the read would wake this thread for every sector libisofs puts in the
        // buffer; waiting until the buffer holds the whole read costs far less.
        for (;;) {
            size_t capacity = 0, free = 0;
            if (state.Failed || iso_ring_buffer_get_status(source, &capacity, &free) != 1 ||
                capacity - free >= static_cast<size_t>(want))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (state.Failed) {
            source->cancel(source);
            break;
        }
        const int n = want > 0 ? source->read_xt(source, buffer.data() + filled, want) : 0;
        if (n < 0 || state.Failed) {
            if (!state.Failed)
                failure = "libisofs не смог собрать образ";
            source->cancel(source);
            break;
        }
        filled += static_cast<size_t>(n);
        if (n == 0 || filled == buffer.size()) {
            if (!flush()) {
                source->cancel(source);
                break;
            }
            if (n == 0) {
                if (progress)
                    progress(done, total);  // all written: a cancel now comes too late
                break;
            }
            if (progress && !progress(done, total)) {
                cancelled = true;
                source->cancel(source);
                break;
            }
        }
    }
    FreeSource(source);
    // A failed file comes first: libisofs' own message about it ("Filling with 0s") says less.
    const std::string late = TakeMessages();
    if (state.Failed)
        return state.Failure;
    if (failure.empty() && !cancelled && !late.empty())
        failure = "libisofs: " + late;
    if (failure.empty() && !cancelled && done != total)
        failure = "образ вышел короче задуманного (" + std::to_string(done) + " из " +
                  CountOf(total, "байта", "байт", "байт") + ")";
    return failure;
}

std::string LibReadIsoImage(const std::string& path, bool joliet, TIsoListing& listing) {
    std::lock_guard<std::mutex> lock(IsoLock);
    InitOnce();
    TakeMessages();
    listing = {};
    IsoDataSource* source = nullptr;
    int rc = iso_data_source_new_from_file(path.c_str(), &source);
    if (rc < 0)
        return LibraryError(path + ": образ не читается", rc);
    IsoReadOpts* opts = nullptr;
    iso_read_opts_new(&opts, 0);
    iso_read_opts_set_no_rockridge(opts, 1);
    iso_read_opts_set_no_iso1999(opts, 1);
    iso_read_opts_set_no_joliet(opts, joliet ? 0 : 1);
    iso_read_opts_set_preferjoliet(opts, joliet ? 1 : 0);
    TImageRef ref;
    rc = iso_image_new("", &ref.Image);
    IsoReadImageFeatures* features = nullptr;
    if (rc >= 0)
        rc = iso_image_import(ref.Image, source, opts, &features);
    iso_read_opts_free(opts);
    iso_data_source_unref(source);
    if (rc < 0)
        return LibraryError(path + ": образ не читается", rc);
    if (features)
        iso_read_image_features_destroy(features);
    const char* volume = iso_image_get_volume_id(ref.Image);
    listing.VolumeId = volume ? volume : "";
    ListDir(iso_image_get_root(ref.Image), "", listing);
    return {};
}

const TIsoLib* IsoLibTable() {
    static const TIsoLib table{kIsoLibVersion, &LibMeasureIsoImage, &LibWriteIsoImage,
                               &LibReadIsoImage};
    return &table;
}

}  // namespace velmora

extern "C" const velmora::TIsoLib* VelmoraIsoLib() {
    return velmora::IsoLibTable();
}
