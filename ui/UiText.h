// Text crossing between the program's UTF-8 strings and Qt's strings.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace velmora {

inline QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace velmora
