// The entry of the module libvelmora-convert.so: the table the program finds with dlsym.
#include "core/convert/Codec.h"

extern "C" const velmora::TCodecs* VelmoraCodecs() {
    static const velmora::TCodecs codecs{velmora::kCodecsVersion, &velmora::OpenFFmpegDecoder,
                                         &velmora::NewLameEncoder};
    return &codecs;
}
