#include "core/IsoImage.h"

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

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora {
namespace {

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

std::string ErrorText(const char* what, int code) {
    const char* text = iso_error_to_msg(code);
    return std::string(what) + ": " + (text ? text : "libisofs error");
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

// A file's data read in large pieces: libisofs asks for one sector at a time, and a read call per
// sector would cost more than the copying itself.
struct TSourceFile {
    std::string Path;
    off_t Size = 0;
    dev_t Dev = 0;
    ino_t Ino = 0;
    int Fd = -1;
    std::vector<char> Buffer;
    size_t Begin = 0, End = 0;
};

TSourceFile& Of(IsoStream* stream) {
    return *static_cast<TSourceFile*>(stream->data);
}

int StreamOpen(IsoStream* stream) {
    TSourceFile& f = Of(stream);
    f.Fd = ::open(f.Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.Fd < 0)
        return errno == EACCES ? static_cast<int>(ISO_FILE_ACCESS_DENIED)
                               : static_cast<int>(ISO_FILE_ERROR);
    f.Buffer.resize(1 << 20);
    f.Begin = f.End = 0;
    return ISO_SUCCESS;
}

int StreamClose(IsoStream* stream) {
    TSourceFile& f = Of(stream);
    if (f.Fd >= 0)
        ::close(f.Fd);
    f.Fd = -1;
    std::vector<char>().swap(f.Buffer);
    return ISO_SUCCESS;
}

off_t StreamSize(IsoStream* stream) {
    return Of(stream).Size;
}

int StreamRead(IsoStream* stream, void* buf, size_t count) {
    TSourceFile& f = Of(stream);
    size_t done = 0;
    while (done < count) {
        if (f.Begin == f.End) {
            ssize_t n;
            do
                n = ::read(f.Fd, f.Buffer.data(), f.Buffer.size());
            while (n < 0 && errno == EINTR);
            if (n < 0)
                return static_cast<int>(ISO_FILE_READ_ERROR);
            if (n == 0)
                break;
            f.Begin = 0;
            f.End = static_cast<size_t>(n);
        }
        const size_t piece = std::min(count - done, f.End - f.Begin);
        std::memcpy(static_cast<char*>(buf) + done, f.Buffer.data() + f.Begin, piece);
        f.Begin += piece;
        done += piece;
    }
    return static_cast<int>(done);
}

int StreamRepeatable(IsoStream*) {
    return 1;
}

void StreamId(IsoStream* stream, unsigned int* fs, dev_t* dev, ino_t* ino) {
    *fs = 0x7E1;  // ours, apart from libisofs' own file systems
    *dev = Of(stream).Dev;
    *ino = Of(stream).Ino;
}

void StreamFree(IsoStream* stream) {
    TSourceFile* f = &Of(stream);
    if (f->Fd >= 0)
        ::close(f->Fd);
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

// A new stream over the file (one reference, handed to the file node), or nullptr with errno.
IsoStream* NewFileStream(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) != 0)
        return nullptr;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    auto* f = new TSourceFile;
    f->Path = path;
    f->Size = st.st_size;
    f->Dev = st.st_dev;
    f->Ino = st.st_ino;
    // libisofs releases the stream itself with free().
    auto* stream = static_cast<iso_stream*>(std::malloc(sizeof(iso_stream)));
    if (!stream) {
        delete f;
        errno = ENOMEM;
        return nullptr;
    }
    *stream = {&FileStreamClass, 1, f};
    return stream;
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

std::string WriteIsoImage(const TIsoLayout& layout, int fd, TSysCalls& sys,
                          const std::function<bool(int64_t, int64_t)>& progress, bool& cancelled) {
    cancelled = false;
    std::lock_guard<std::mutex> lock(IsoLock);
    InitOnce();
    TakeMessages();
    TImageRef ref;
    int rc = iso_image_new(layout.VolumeId.c_str(), &ref.Image);
    if (rc < 0)
        return ErrorText("iso_image_new", rc);
    iso_image_set_volume_id(ref.Image, layout.VolumeId.c_str());
    iso_tree_set_follow_symlinks(ref.Image, 1);
    iso_image_set_ignore_aclea(ref.Image, 1 | 2 | 4);
    IsoDir* root = iso_image_get_root(ref.Image);
    std::vector<IsoDir*> folders;
    for (const std::string& name : layout.Folders) {
        IsoDir* dir = nullptr;
        rc = iso_tree_add_new_dir(root, name.c_str(), &dir);
        if (rc < 0)
            return ErrorText(name.c_str(), rc);
        folders.push_back(dir);
    }
    // The file data is laid out by falling weight: the first file gets the highest.
    int weight = static_cast<int>(layout.Files.size());
    for (const TIsoLayout::TFile& file : layout.Files) {
        IsoDir* parent = file.Folder < 0 ? root : folders.at(static_cast<size_t>(file.Folder));
        struct stat st;
        IsoStream* stream = NewFileStream(file.Path, st);
        if (!stream)
            return file.Path + ": " + std::strerror(errno);
        IsoFile* node = nullptr;
        rc = iso_image_add_new_file(ref.Image, parent, file.Name.c_str(), stream, &node);
        if (rc < 0) {
            iso_stream_unref(stream);
            return file.Path + ": " + ErrorText("", rc).substr(2);
        }
        iso_node_set_permissions(reinterpret_cast<IsoNode*>(node), 0444);
        iso_node_set_mtime(reinterpret_cast<IsoNode*>(node), st.st_mtime);
        iso_node_set_atime(reinterpret_cast<IsoNode*>(node), st.st_atime);
        iso_node_set_ctime(reinterpret_cast<IsoNode*>(node), st.st_ctime);
        iso_node_set_sort_weight(reinterpret_cast<IsoNode*>(node), weight--);
    }

    IsoWriteOpts* opts = nullptr;
    rc = iso_write_opts_new(&opts, 0);
    if (rc < 0)
        return ErrorText("iso_write_opts_new", rc);
    iso_write_opts_set_iso_level(opts, layout.Level);
    iso_write_opts_set_joliet(opts, 1);
    iso_write_opts_set_rockridge(opts, 0);
    iso_write_opts_set_sort_files(opts, 1);
    iso_write_opts_set_fifo_size(opts, 2048);  // 4 MB between the files and our writes
    struct burn_source* source = nullptr;
    rc = iso_image_create_burn_source(ref.Image, opts, &source);
    iso_write_opts_free(opts);
    if (rc < 0)
        return ErrorText("iso_image_create_burn_source", rc);

    const int64_t total = source->get_size(source);
    std::string failure;
    constexpr int kSectorBytes = 2048;
    std::vector<unsigned char> buffer(512 * kSectorBytes);
    size_t filled = 0;
    int64_t done = 0;
    const auto flush = [&] {
        int error = 0;
        if (filled > 0 && !WriteAll(sys, fd, buffer.data(), filled, error)) {
            failure = std::strerror(error);
            return false;
        }
        done += static_cast<int64_t>(filled);
        filled = 0;
        return true;
    };
    for (;;) {
        // A read past the end of the image loses its part before the end: ask for what is left.
        const int64_t left = total - done - static_cast<int64_t>(filled);
        const int want =
            static_cast<int>(std::min<int64_t>(std::max<int64_t>(left, 0), buffer.size() - filled));
        // Waiting inside the read would wake this thread for every sector libisofs puts in the
        // buffer; waiting until the buffer holds the whole read costs far less.
        for (;;) {
            size_t capacity = 0, free = 0;
            if (iso_ring_buffer_get_status(source, &capacity, &free) != 1 ||
                capacity - free >= static_cast<size_t>(want))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const int n = want > 0 ? source->read_xt(source, buffer.data() + filled, want) : 0;
        if (n < 0) {
            failure = TakeMessages();
            if (failure.empty())
                failure = "the image could not be made";
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
    source->free_data(source);
    std::free(source);
    // A file that could not be read is written as zeros with a message: that image is no good.
    const std::string late = TakeMessages();
    if (failure.empty() && !cancelled && !late.empty())
        failure = late;
    if (failure.empty() && !cancelled && done != total)
        failure = "the image came out shorter than planned (" + std::to_string(done) + " of " +
                  std::to_string(total) + ")";
    return failure;
}

std::string ReadIsoImage(const std::string& path, bool joliet, TIsoListing& listing) {
    std::lock_guard<std::mutex> lock(IsoLock);
    InitOnce();
    TakeMessages();
    listing = {};
    IsoDataSource* source = nullptr;
    int rc = iso_data_source_new_from_file(path.c_str(), &source);
    if (rc < 0)
        return ErrorText(path.c_str(), rc);
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
        return ErrorText(path.c_str(), rc);
    if (features)
        iso_read_image_features_destroy(features);
    const char* volume = iso_image_get_volume_id(ref.Image);
    listing.VolumeId = volume ? volume : "";
    ListDir(iso_image_get_root(ref.Image), "", listing);
    return {};
}

}  // namespace velmora
