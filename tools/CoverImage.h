// Cover pictures for generated MP3 folders: real JPEG (libjpeg) and PNG (libpng) files of about a
// given size, drawn from a seed. The same seed, size and format always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::tools {

enum class TImageFormat { Jpeg, Png };

// An RGB picture of width x height drawn from the seed (a gradient, a few discs and grain),
// encoded as a baseline JPEG of quality 90 or an 8-bit RGB PNG. Throws std::runtime_error when the
// library fails.
std::vector<uint8_t> EncodeCover(TImageFormat format, int width, int height, uint32_t seed);

// A picture whose encoded size lies within 4 % of targetBytes (targetBytes of at least 4096): the
// side is fitted to the target in a few encodes.
std::vector<uint8_t> CoverOfSize(TImageFormat format, size_t targetBytes, uint32_t seed);

}  // namespace velmora::tools
