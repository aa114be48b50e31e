// The only file that talks to FFmpeg (libavformat, libavcodec, libswresample): the field's
// standard decoder reads the file through our byte source, and the audio comes out at 44.1 kHz
// as floats, mono or stereo. Part of the module libvelmora-convert.so.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "core/convert/Codec.h"

namespace velmora {
namespace {

constexpr int kOutputRate = 44100;
constexpr int kIoBufferSize = 64 * 1024;
// No block FFmpeg asks for is larger: a damaged header that claims gigabytes (a RIFF chunk's
// size, say) fails the file instead of taking the memory.
constexpr size_t kLargestBlock = size_t{256} << 20;
// The containers of audio files as people have them. Playlists, image sequences and every other
// kind that would open further files or addresses are not among them.
constexpr char kContainers[] =
    "flac,ogg,mov,matroska,wav,w64,aiff,asf,ape,wv,mp3,aac,ac3,eac3,dts,caf,au,tta,mpc,mpc8,amr,"
    "dsf,tak,truehd,mlp,shn,wsaud,voc,xwma,oma";

[[noreturn]] void Fail(const std::string& why) {
    throw std::runtime_error(why);
}

// FFmpeg's error as a short Russian reason.
std::string Reason(int error) {
    if (error == AVERROR_INVALIDDATA)
        return "данные повреждены";
    if (error == AVERROR(EIO))
        return "ошибка чтения файла";
    if (error == AVERROR(ENOMEM))
        return "не хватает памяти";
    if (error == AVERROR_DECODER_NOT_FOUND)
        return "нет декодера для этого формата";
    if (error == AVERROR_PATCHWELCOME)
        return "такой вариант формата FFmpeg не читает";
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return std::string("ошибка FFmpeg: ") + text;
}

std::string Clock(int64_t ms) {
    char text[32];
    const int64_t s = std::max<int64_t>(0, ms) / 1000;
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
    return text;
}

// The reads and seeks of FFmpeg's I/O over our byte source.
struct TIo {
    TByteSource* Source = nullptr;
    int64_t Position = 0;
    int64_t Size = 0;
};

int ReadPacket(void* opaque, uint8_t* buffer, int size) {
    auto* io = static_cast<TIo*>(opaque);
    const int64_t n = io->Source->ReadAt(io->Position, buffer, static_cast<size_t>(size));
    if (n < 0)
        return AVERROR(EIO);
    if (n == 0)
        return AVERROR_EOF;
    io->Position += n;
    return static_cast<int>(n);
}

int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
    auto* io = static_cast<TIo*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return io->Size;
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? io->Position : io->Size;
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || offset < -base)
        return AVERROR(EINVAL);
    io->Position = base + offset;
    return io->Position;
}

// Nothing besides the file itself is ever opened.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

std::string FormatName(AVCodecID codec, const std::string& container) {
    switch (codec) {
        case AV_CODEC_ID_FLAC:
            return "FLAC";
        case AV_CODEC_ID_AAC:
            return "AAC";
        case AV_CODEC_ID_ALAC:
            return "ALAC";
        case AV_CODEC_ID_OPUS:
            return "Opus";
        case AV_CODEC_ID_VORBIS:
            return "Vorbis";
        case AV_CODEC_ID_MP1:
            return "MP1";
        case AV_CODEC_ID_MP2:
            return "MP2";
        case AV_CODEC_ID_MP3:
            return "MP3";
        case AV_CODEC_ID_WMAV1:
        case AV_CODEC_ID_WMAV2:
        case AV_CODEC_ID_WMAPRO:
        case AV_CODEC_ID_WMALOSSLESS:
            return "WMA";
        case AV_CODEC_ID_APE:
            return "APE";
        case AV_CODEC_ID_WAVPACK:
            return "WavPack";
        case AV_CODEC_ID_AC3:
            return "AC-3";
        default:
            break;
    }
    if (container == "wav" || container == "w64")
        return "WAV";
    if (container == "aiff")
        return "AIFF";
    std::string name = avcodec_get_name(codec);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

const char* PictureMime(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_MJPEG:
            return "image/jpeg";
        case AV_CODEC_ID_PNG:
            return "image/png";
        case AV_CODEC_ID_GIF:
            return "image/gif";
        case AV_CODEC_ID_BMP:
            return "image/bmp";
        default:
            return "";
    }
}

void TakeMetadata(const AVDictionary* dict, TSourceFacts& facts) {
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        std::string key = e->key;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        facts.Metadata.emplace_back(key, e->value);
    }
}

// A channel layout FFmpeg can convert from: the frame's own, or the usual one for its count.
AVChannelLayout UsableLayout(const AVChannelLayout& layout) {
    AVChannelLayout usable{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&layout) == 0)
        av_channel_layout_default(&usable, layout.nb_channels);
    else
        av_channel_layout_copy(&usable, &layout);
    return usable;
}

class TFFmpegDecoder : public TDecoder {
  public:
    TFFmpegDecoder(TByteSource& source, const std::string& name) {
        static std::once_flag once;
        std::call_once(once, [] {
            av_log_set_level(AV_LOG_QUIET);
            av_max_alloc(kLargestBlock);
        });
        Io.Source = &source;
        Io.Size = source.Size();
        if (Io.Size == 0)
            Fail("пустой файл");
        try {
            Open(name);
        } catch (...) {
            Free();
            throw;
        }
    }
    ~TFFmpegDecoder() override { Free(); }
    TFFmpegDecoder(const TFFmpegDecoder&) = delete;
    TFFmpegDecoder& operator=(const TFFmpegDecoder&) = delete;

    const TSourceFacts& Facts() const override { return SourceFacts; }
    int OutputChannels() const override { return Channels; }
    int64_t PositionMs() const override {
        return InputRate > 0 ? InputSamples * 1000 / InputRate : 0;
    }

    size_t Read(float* samples, size_t frames) override {
        size_t got = 0;
        while (got < frames) {
            const size_t have = (Pending.size() - PendingAt) / static_cast<size_t>(Channels);
            if (have > 0) {
                const size_t take = std::min(have, frames - got);
                const size_t floats = take * static_cast<size_t>(Channels);
                std::memcpy(samples + got * static_cast<size_t>(Channels),
                            Pending.data() + PendingAt, floats * sizeof(float));
                PendingAt += floats;
                got += take;
                continue;
            }
            Pending.clear();
            PendingAt = 0;
            if (!Refill())
                break;
        }
        return got;
    }

  private:
    TIo Io;
    AVIOContext* Avio = nullptr;
    AVFormatContext* Format = nullptr;
    AVCodecContext* Decoder = nullptr;
    SwrContext* Swr = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    int Stream = -1;
    int Channels = 2;
    TSourceFacts SourceFacts;
    std::vector<float> Pending;
    size_t PendingAt = 0;
    bool InputDone = false, Ended = false;
    int64_t InputSamples = 0;
    int InputRate = 0;
    // What the resampler converts from.
    int SwrRate = 0;
    int SwrFormat = -1;
    AVChannelLayout SwrLayout{};

    void Open(const std::string& name) {
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
        if (buffer == nullptr)
            Fail(Reason(AVERROR(ENOMEM)));
        Avio = avio_alloc_context(buffer, kIoBufferSize, 0, &Io, ReadPacket, nullptr, SeekPacket);
        if (Avio == nullptr) {
            av_free(buffer);
            Fail(Reason(AVERROR(ENOMEM)));
        }
        Format = avformat_alloc_context();
        if (Format == nullptr)
            Fail(Reason(AVERROR(ENOMEM)));
        Format->pb = Avio;
        Format->io_open = RefuseOpen;
        Format->format_whitelist = av_strdup(kContainers);
        Format->protocol_whitelist = av_strdup("none");
        // The name is a hint to the kind of file; nothing is opened by it.
        int error = avformat_open_input(&Format, name.c_str(), nullptr, nullptr);
        if (error < 0) {
            Format = nullptr;  // freed by avformat_open_input
            Fail(error == AVERROR_INVALIDDATA || error == AVERROR_EOF
                     ? "не звуковой файл или формат, который Velmora не знает"
                     : Reason(error));
        }
        error = avformat_find_stream_info(Format, nullptr);
        if (error < 0)
            Fail(Reason(error));
        for (unsigned i = 0; i < Format->nb_streams; ++i) {
            const AVStream* s = Format->streams[i];
            if ((s->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
                if (SourceFacts.Cover.empty() && s->attached_pic.size > 0) {
                    SourceFacts.Cover.assign(reinterpret_cast<const char*>(s->attached_pic.data),
                                             static_cast<size_t>(s->attached_pic.size));
                    SourceFacts.CoverMime = PictureMime(s->codecpar->codec_id);
                }
            } else if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                SourceFacts.Video = true;
            }
        }
        const AVCodec* codec = nullptr;
        Stream = av_find_best_stream(Format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (Stream == AVERROR_DECODER_NOT_FOUND)
            Fail(Reason(Stream));
        if (Stream < 0)
            Fail("звук не найден: файл повреждён или это не звуковой файл");
        const AVStream* audio = Format->streams[Stream];
        const AVCodecParameters* par = audio->codecpar;
        SourceFacts.Container = Format->iformat->name;
        SourceFacts.Codec = avcodec_get_name(par->codec_id);
        SourceFacts.Format = FormatName(par->codec_id, SourceFacts.Container);
        SourceFacts.SampleRate = par->sample_rate;
        SourceFacts.Channels = par->ch_layout.nb_channels;
        const int64_t bitrate = par->bit_rate > 0 ? par->bit_rate : Format->bit_rate;
        SourceFacts.Bitrate = static_cast<int>(std::clamp<int64_t>(bitrate / 1000, 0, 100000));
        if (Format->duration > 0)
            SourceFacts.DurationMs = Format->duration / (AV_TIME_BASE / 1000);
        else if (audio->duration > 0)
            SourceFacts.DurationMs = av_rescale_q(audio->duration, audio->time_base, {1, 1000});
        TakeMetadata(Format->metadata, SourceFacts);
        TakeMetadata(audio->metadata, SourceFacts);
        if (SourceFacts.Channels <= 0 || SourceFacts.SampleRate <= 0)
            Fail("звук не найден: файл повреждён или это не звуковой файл");
        Channels = SourceFacts.Channels == 1 ? 1 : 2;
        InputRate = SourceFacts.SampleRate;

        Decoder = avcodec_alloc_context3(codec);
        if (Decoder == nullptr)
            Fail(Reason(AVERROR(ENOMEM)));
        error = avcodec_parameters_to_context(Decoder, par);
        if (error < 0)
            Fail(Reason(error));
        Decoder->thread_count = 1;  // the files are decoded side by side instead
        Decoder->pkt_timebase = audio->time_base;
        error = avcodec_open2(Decoder, codec, nullptr);
        if (error < 0)
            Fail(Reason(error));
        Packet = av_packet_alloc();
        Frame = av_frame_alloc();
        if (Packet == nullptr || Frame == nullptr)
            Fail(Reason(AVERROR(ENOMEM)));
    }

    void Free() {
        swr_free(&Swr);
        av_channel_layout_uninit(&SwrLayout);
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Decoder);
        avformat_close_input(&Format);
        if (Avio != nullptr) {
            av_freep(&Avio->buffer);
            avio_context_free(&Avio);
        }
    }

    [[noreturn]] void Damaged(int error) { Fail(Reason(error) + " на " + Clock(PositionMs())); }

    // More converted samples into Pending; false at the end of the stream.
    bool Refill() {
        while (!Ended) {
            int error = avcodec_receive_frame(Decoder, Frame);
            if (error == 0) {
                Convert(Frame);
                av_frame_unref(Frame);
                if (!Pending.empty())
                    return true;
                continue;
            }
            if (error == AVERROR_EOF) {
                Ended = true;
                FlushResampler();
                return !Pending.empty();
            }
            if (error != AVERROR(EAGAIN))
                Damaged(error);
            if (InputDone)
                Damaged(AVERROR_BUG);
            error = av_read_frame(Format, Packet);
            if (error == AVERROR_EOF) {
                InputDone = true;
                avcodec_send_packet(Decoder, nullptr);
                continue;
            }
            if (error < 0)
                Damaged(error);
            if (Packet->stream_index != Stream) {
                av_packet_unref(Packet);
                continue;
            }
            error = avcodec_send_packet(Decoder, Packet);
            av_packet_unref(Packet);
            if (error < 0 && error != AVERROR(EAGAIN))
                Damaged(error);
        }
        return false;
    }

    // The resampler for frames like this one: made at the first frame, made again (after giving
    // out what the old one held) when the stream changes its rate or layout midway.
    void PrepareResampler(const AVFrame* frame) {
        const AVChannelLayout layout = UsableLayout(frame->ch_layout);
        const bool same = Swr != nullptr && SwrRate == frame->sample_rate &&
                          SwrFormat == frame->format &&
                          av_channel_layout_compare(&SwrLayout, &layout) == 0;
        if (same) {
            AVChannelLayout copy = layout;
            av_channel_layout_uninit(&copy);
            return;
        }
        FlushResampler();
        swr_free(&Swr);
        av_channel_layout_uninit(&SwrLayout);
        SwrLayout = layout;
        SwrRate = frame->sample_rate;
        SwrFormat = frame->format;
        AVChannelLayout out{};
        av_channel_layout_default(&out, Channels);
        const int error =
            swr_alloc_set_opts2(&Swr, &out, AV_SAMPLE_FMT_FLT, kOutputRate, &SwrLayout,
                                static_cast<AVSampleFormat>(SwrFormat), SwrRate, 0, nullptr);
        av_channel_layout_uninit(&out);
        if (error < 0 || swr_init(Swr) < 0)
            Fail("звук в таком виде не переводится в 44100 Гц");
    }

    void Convert(const AVFrame* frame) {
        if (frame->nb_samples <= 0 || frame->sample_rate <= 0)
            return;
        PrepareResampler(frame);
        InputRate = frame->sample_rate;
        InputSamples += frame->nb_samples;
        Resample(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    }

    void Resample(const uint8_t** input, int count) {
        const int room = swr_get_out_samples(Swr, count);
        if (room <= 0)
            return;
        const size_t base = Pending.size();
        Pending.resize(base + static_cast<size_t>(room) * static_cast<size_t>(Channels));
        auto* out = reinterpret_cast<uint8_t*>(Pending.data() + base);
        const int n = swr_convert(Swr, &out, room, input, count);
        if (n < 0)
            Fail(Reason(n));
        Pending.resize(base + static_cast<size_t>(n) * static_cast<size_t>(Channels));
    }

    void FlushResampler() {
        if (Swr != nullptr)
            Resample(nullptr, 0);
    }
};

}  // namespace

std::unique_ptr<TDecoder> OpenFFmpegDecoder(TByteSource& source, const std::string& name) {
    return std::make_unique<TFFmpegDecoder>(source, name);
}

}  // namespace velmora
