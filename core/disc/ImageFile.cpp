#include "core/disc/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/disc/Disc.h"
#include "core/files/FileSystem.h"

namespace velmora {
namespace {

constexpr int64_t kSector = 2048;
constexpr size_t kDescriptor = 16 * 2048;

uint8_t Byte(const std::string& s, size_t i) {
    return static_cast<uint8_t>(s[i]);
}

// ISO 9660 stores its numbers twice, little-endian first; the little-endian half is read.
uint32_t Le32(const std::string& s, size_t i) {
    return Byte(s, i) | Byte(s, i + 1) << 8 | Byte(s, i + 2) << 16 |
           static_cast<uint32_t>(Byte(s, i + 3)) << 24;
}

uint32_t Le16(const std::string& s, size_t i) {
    return Byte(s, i) | Byte(s, i + 1) << 8;
}

bool StartsWith(const std::string& s, size_t at, const char* magic) {
    const size_t n = std::strlen(magic);
    return s.size() >= at + n && s.compare(at, n, magic) == 0;
}

// An MPEG audio frame header's first 11 bits, a version and a layer that are not reserved.
bool MpegSync(const std::string& s, size_t i) {
    return s.size() >= i + 2 && Byte(s, i) == 0xFF && (Byte(s, i + 1) & 0xE0) == 0xE0 &&
           (Byte(s, i + 1) & 0x18) != 0x08 && (Byte(s, i + 1) & 0x06) != 0;
}

}  // namespace

std::string LooksLike(const std::string& head) {
    if (StartsWith(head, 0, "ID3") || MpegSync(head, 0))
        return "MP3";
    if (StartsWith(head, 0, "RIFF") && StartsWith(head, 8, "WAVE"))
        return "WAV";
    if (StartsWith(head, 0, "fLaC"))
        return "FLAC";
    if (StartsWith(head, 0, "OggS"))
        return "Ogg";
    if (StartsWith(head, 4, "ftyp"))
        return "MP4 или M4A";
    if (StartsWith(head, 0, "PK\x03\x04"))
        return "архив ZIP";
    if (StartsWith(head, 0, "Rar!"))
        return "архив RAR";
    if (StartsWith(head, 0, "7z\xBC\xAF"))
        return "архив 7z";
    if (StartsWith(head, 0, "\x1F\x8B"))
        return "архив gzip";
    if (StartsWith(head, 0, "%PDF"))
        return "PDF";
    if (StartsWith(head, 0, "\x89PNG"))
        return "картинку PNG";
    if (StartsWith(head, 0, "\xFF\xD8\xFF"))
        return "картинку JPEG";
    if (StartsWith(head, 0,
                   "\x7F"
                   "ELF"))
        return "программу";
    if (!head.empty() && head.find_first_of(std::string("\0\x01\x02\x03\x04\x05\x06\x07\x08\x0B"
                                                        "\x0E\x0F\x10\x11\x12\x13\x14\x15\x16"
                                                        "\x17\x18\x19\x1A\x1C\x1D\x1E\x1F",
                                                        30)) == std::string::npos)
        return "текст";
    return "";
}

TImageFileCheck CheckImageHead(const std::string& head, int64_t fileSize,
                               const std::string& shown) {
    TImageFileCheck result;
    const std::string file = "«" + shown + "»";
    if (fileSize <= 0) {
        result.Problem = file + ": файл пуст — это не образ диска. Создайте образ заново.";
        return result;
    }
    const bool primary = head.size() >= kDescriptor + kSector && Byte(head, kDescriptor) == 1 &&
                         StartsWith(head, kDescriptor + 1, "CD001") &&
                         Byte(head, kDescriptor + 6) == 1;
    if (!primary) {
        const std::string like = LooksLike(head);
        result.Problem = file + ": это не образ диска ISO 9660" +
                         (like.empty() ? std::string() : " (похоже на " + like + ")") +
                         ". Укажите файл образа (.iso), созданный командой «Создать образ "
                         "диска», или папку с MP3 файлами.";
        return result;
    }
    const int64_t blockSize = Le16(head, kDescriptor + 128);
    const int64_t volumeBytes = static_cast<int64_t>(Le32(head, kDescriptor + 80)) * blockSize;
    if (blockSize != kSector || volumeBytes < static_cast<int64_t>(kDescriptor + kSector)) {
        result.Problem = file +
                         ": заголовок образа ISO 9660 повреждён (размер тома или блока не тот). "
                         "Создайте образ заново.";
        return result;
    }
    if (fileSize < volumeBytes) {
        result.Problem = file + ": образ обрезан — в файле " +
                         DiscSizeText(fileSize / kSector, volumeBytes / kSector) +
                         ", что указаны в его заголовке. Создайте образ заново.";
        return result;
    }
    result.Ok = true;
    result.Sectors = (fileSize + kSector - 1) / kSector;
    return result;
}

TImageFileCheck CheckImageFile(const std::string& path) {
    TImageFileCheck result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        result.Problem = "Образ «" + path + "» не открывается: " + ErrorReason(error) + ".";
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        result.Problem = "«" + path + "» — не файл. Укажите файл образа диска (.iso) или папку.";
        return result;
    }
    std::string head(kImageHeadBytes, '\0');
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            result.Problem = "Образ «" + path + "» не читается: " + ErrorReason(error) + ".";
            return result;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    head.resize(got);
    return CheckImageHead(head, st.st_size, path);
}

}  // namespace velmora
