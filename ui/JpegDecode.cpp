#include "ui/JpegDecode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace velmora {
namespace {

// Larger pictures are refused rather than allocated: a damaged header can claim any size.
constexpr JDIMENSION kMaxSide = 8192;

// Everything the decoder touches after setjmp lives in this plain struct, owned by the caller,
// so the jump back skips no destructor and finds every value in memory.
struct TJpegJob {
    jpeg_decompress_struct Info;
    jpeg_error_mgr Error;  // Info.err points here; JpegErrorExit finds Jump from it
    std::jmp_buf Jump;
    const unsigned char* Data;
    size_t Size;
    unsigned char* Pixels;  // RGB rows of Width * 3 bytes, from malloc
    JDIMENSION Width;
    JDIMENSION Height;
};

extern "C" void JpegErrorExit(j_common_ptr info) {
    TJpegJob* job =
        reinterpret_cast<TJpegJob*>(reinterpret_cast<char*>(info->err) - offsetof(TJpegJob, Error));
    std::longjmp(job->Jump, 1);
}

extern "C" void JpegIgnoreMessage(j_common_ptr, int) {}

// Decodes job->Data into job->Pixels. Holds no object with a destructor: an error inside
// libjpeg returns here through longjmp.
bool DecodeInto(TJpegJob* const job) {
    std::memset(&job->Info, 0, sizeof job->Info);
    job->Pixels = nullptr;
    job->Width = 0;
    job->Height = 0;
    job->Info.err = jpeg_std_error(&job->Error);
    job->Error.error_exit = JpegErrorExit;
    job->Error.emit_message = JpegIgnoreMessage;
    if (setjmp(job->Jump) != 0) {
        jpeg_destroy_decompress(&job->Info);
        std::free(job->Pixels);
        job->Pixels = nullptr;
        return false;
    }
    jpeg_create_decompress(&job->Info);
    jpeg_mem_src(&job->Info, job->Data, static_cast<unsigned long>(job->Size));
    jpeg_read_header(&job->Info, TRUE);
    job->Info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job->Info);
    if (job->Info.output_width == 0 || job->Info.output_height == 0 ||
        job->Info.output_width > kMaxSide || job->Info.output_height > kMaxSide ||
        job->Info.output_components != 3) {
        jpeg_destroy_decompress(&job->Info);
        return false;
    }
    job->Width = job->Info.output_width;
    job->Height = job->Info.output_height;
    job->Pixels =
        static_cast<unsigned char*>(std::malloc(static_cast<size_t>(job->Width) * job->Height * 3));
    if (job->Pixels == nullptr) {
        jpeg_destroy_decompress(&job->Info);
        return false;
    }
    while (job->Info.output_scanline < job->Height) {
        JSAMPROW row =
            job->Pixels + static_cast<size_t>(job->Info.output_scanline) * job->Width * 3;
        jpeg_read_scanlines(&job->Info, &row, 1);
    }
    jpeg_finish_decompress(&job->Info);
    jpeg_destroy_decompress(&job->Info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const unsigned char* data, size_t size) {
    if (data == nullptr || size == 0) {
        return {};
    }
    auto* job = static_cast<TJpegJob*>(std::malloc(sizeof(TJpegJob)));
    if (job == nullptr) {
        return {};
    }
    job->Data = data;
    job->Size = size;
    QImage image;
    if (DecodeInto(job)) {
        const int width = static_cast<int>(job->Width);
        const int height = static_cast<int>(job->Height);
        image = QImage(width, height, QImage::Format_RGB888);
        for (int y = 0; y < height; ++y) {
            std::memcpy(image.scanLine(y), job->Pixels + static_cast<size_t>(y) * width * 3,
                        static_cast<size_t>(width) * 3);
        }
        std::free(job->Pixels);
    }
    std::free(job);
    return image;
}

QImage DecodeJpeg(const QByteArray& bytes) {
    return DecodeJpeg(reinterpret_cast<const unsigned char*>(bytes.constData()),
                      static_cast<size_t>(bytes.size()));
}

}  // namespace velmora
