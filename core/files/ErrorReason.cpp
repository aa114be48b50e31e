// The Russian reasons of the system's errors the program's lines give. Also in the modules that
// report errors of their own (the disc image's).
#include <cerrno>
#include <cstring>
#include <string>

#include "core/files/FileSystem.h"

namespace velmora {

std::string ErrorReason(int error) {
    switch (error) {
        case EROFS:
            return "файловая система только для чтения";
        case EACCES:
        case EPERM:
            return "нет прав";
        case EEXIST:
        case ENOTEMPTY:
            return "уже есть";
        case ENOSPC:
        case EDQUOT:
            return "нет места на диске";
        case ENOENT:
            return "нет такого файла или папки";
        case ENAMETOOLONG:
            return "слишком длинное имя";
        case ESTALE:
            return "файл изменён другой программой после чтения";
        case EINVAL:
            return "недопустимое имя или файл";
        case EIO:
            return "ошибка ввода-вывода";
        default:
            return std::strerror(error);
    }
}

}  // namespace velmora
