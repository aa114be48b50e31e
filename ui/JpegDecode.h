// Decoding of the About box picture: a JPEG image held in memory, read with libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstddef>

namespace velmora {

// The decoded picture as RGB, or a null image when libjpeg cannot read the data. A damaged image
// is an error of this call only: libjpeg's own error handler, which ends the program, is never
// reached.
QImage DecodeJpeg(const unsigned char* data, size_t size);
QImage DecodeJpeg(const QByteArray& bytes);

}  // namespace velmora
