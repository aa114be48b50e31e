#include "tools/CoverImage.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>

namespace velmora::tools {
namespace {

// A small generator of our own, so the pictures do not depend on a library's distributions.
struct TNoise {
    uint32_t State;
    uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
};

// RGB rows of width * 3 bytes: a diagonal gradient between two colours, three soft discs and a
// grain of +-24 that gives the encoders real work.
std::vector<uint8_t> Draw(int width, int height, uint32_t seed) {
    TNoise noise{seed * 2654435761u | 1u};
    uint8_t from[3], to[3];
    for (int c = 0; c < 3; ++c) {
        from[c] = static_cast<uint8_t>(noise.Next() % 256);
        to[c] = static_cast<uint8_t>(noise.Next() % 256);
    }
    struct TDisc {
        int X, Y, R;
        uint8_t Rgb[3];
    } discs[3];
    for (TDisc& d : discs) {
        d.X = static_cast<int>(noise.Next() % static_cast<uint32_t>(width));
        d.Y = static_cast<int>(noise.Next() % static_cast<uint32_t>(height));
        d.R = std::max(4, static_cast<int>(noise.Next() % static_cast<uint32_t>(width / 3 + 1)));
        for (uint8_t& v : d.Rgb)
            v = static_cast<uint8_t>(noise.Next() % 256);
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    const int span = std::max(1, width + height - 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            const int t = x + y;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>((from[c] * (span - t) + to[c] * t) / span);
            for (const TDisc& d : discs) {
                const int dx = x - d.X, dy = y - d.Y;
                if (dx * dx + dy * dy < d.R * d.R) {
                    for (int c = 0; c < 3; ++c)
                        p[c] = static_cast<uint8_t>((p[c] + d.Rgb[c]) / 2);
                }
            }
            for (int c = 0; c < 3; ++c) {
                const int grain = static_cast<int>(noise.Next() % 49) - 24;
                p[c] = static_cast<uint8_t>(std::clamp(p[c] + grain, 0, 255));
            }
        }
    }
    return pixels;
}

// Everything the JPEG encoder touches after setjmp lives in this plain struct, so the jump back
// on an error skips no destructor.
struct TJpegJob {
    jpeg_compress_struct Info;
    jpeg_error_mgr Error;
    std::jmp_buf Jump;
    const uint8_t* Pixels;
    int Width;
    int Height;
    unsigned char* Out;  // from libjpeg's malloc
    unsigned long OutSize;
};

extern "C" void CoverJpegErrorExit(j_common_ptr info) {
    TJpegJob* job =
        reinterpret_cast<TJpegJob*>(reinterpret_cast<char*>(info->err) - offsetof(TJpegJob, Error));
    std::longjmp(job->Jump, 1);
}

bool EncodeJpegInto(TJpegJob* const job) {
    std::memset(&job->Info, 0, sizeof job->Info);
    job->Out = nullptr;
    job->OutSize = 0;
    job->Info.err = jpeg_std_error(&job->Error);
    job->Error.error_exit = CoverJpegErrorExit;
    if (setjmp(job->Jump) != 0) {
        jpeg_destroy_compress(&job->Info);
        std::free(job->Out);
        job->Out = nullptr;
        return false;
    }
    jpeg_create_compress(&job->Info);
    jpeg_mem_dest(&job->Info, &job->Out, &job->OutSize);
    job->Info.image_width = static_cast<JDIMENSION>(job->Width);
    job->Info.image_height = static_cast<JDIMENSION>(job->Height);
    job->Info.input_components = 3;
    job->Info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&job->Info);
    jpeg_set_quality(&job->Info, 90, TRUE);
    jpeg_start_compress(&job->Info, TRUE);
    while (job->Info.next_scanline < job->Info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->Pixels) +
                       static_cast<size_t>(job->Info.next_scanline) * job->Width * 3;
        jpeg_write_scanlines(&job->Info, &row, 1);
    }
    jpeg_finish_compress(&job->Info);
    jpeg_destroy_compress(&job->Info);
    return true;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& pixels, int width, int height) {
    TJpegJob job;
    job.Pixels = pixels.data();
    job.Width = width;
    job.Height = height;
    if (!EncodeJpegInto(&job))
        throw std::runtime_error("libjpeg could not encode the cover");
    std::vector<uint8_t> bytes(job.Out, job.Out + job.OutSize);
    std::free(job.Out);
    return bytes;
}

// The same for PNG: libpng's error handler jumps back to png_jmpbuf.
struct TPngJob {
    const uint8_t* Pixels;
    int Width;
    int Height;
    std::vector<uint8_t>* Out;
};

extern "C" void CoverPngWrite(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

extern "C" void CoverPngFlush(png_structp) {}

bool EncodePngInto(TPngJob* const job) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, job->Out, CoverPngWrite, CoverPngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(job->Width),
                 static_cast<png_uint_32>(job->Height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < job->Height; ++y)
        png_write_row(png, job->Pixels + static_cast<size_t>(y) * job->Width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& pixels, int width, int height) {
    std::vector<uint8_t> bytes;
    TPngJob job{pixels.data(), width, height, &bytes};
    if (!EncodePngInto(&job))
        throw std::runtime_error("libpng could not encode the cover");
    return bytes;
}

}  // namespace

std::vector<uint8_t> EncodeCover(TImageFormat format, int width, int height, uint32_t seed) {
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192)
        throw std::invalid_argument("EncodeCover: side out of range");
    const std::vector<uint8_t> pixels = Draw(width, height, seed);
    return format == TImageFormat::Jpeg ? EncodeJpeg(pixels, width, height)
                                        : EncodePng(pixels, width, height);
}

std::vector<uint8_t> CoverOfSize(TImageFormat format, size_t targetBytes, uint32_t seed) {
    if (targetBytes < 4096 || targetBytes > (64u << 20))
        throw std::invalid_argument("CoverOfSize: size out of range");
    const double target = static_cast<double>(targetBytes);
    // Both encoders spend roughly a fixed number of bytes a pixel on this picture, so the side
    // follows the square root of the size; a few corrections make up for the headers.
    int side = static_cast<int>(std::sqrt(target / (format == TImageFormat::Jpeg ? 1.5 : 2.5)));
    std::vector<uint8_t> best;
    for (int attempt = 0; attempt < 8; ++attempt) {
        side = std::clamp(side, 16, 8192);
        std::vector<uint8_t> bytes = EncodeCover(format, side, side, seed);
        const double ratio = static_cast<double>(bytes.size()) / target;
        if (best.empty() || std::abs(static_cast<double>(bytes.size()) - target) <
                                std::abs(static_cast<double>(best.size()) - target))
            best = std::move(bytes);
        if (std::abs(ratio - 1.0) <= 0.02)
            break;
        const int next = static_cast<int>(std::lround(side / std::sqrt(ratio)));
        side = next == side ? side + (ratio < 1 ? 1 : -1) : next;
    }
    return best;
}

}  // namespace velmora::tools
