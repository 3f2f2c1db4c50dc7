#include "sheets/engine_path.h"

#include <QFile>

namespace velmor {

std::string toEnginePath(const QString& path) {
#ifdef Q_OS_WIN
    return path.toStdString(); // UTF-8
#else
    return QFile::encodeName(path).toStdString();
#endif
}

QString fromEnginePath(const std::string& path) {
#ifdef Q_OS_WIN
    return QString::fromStdString(path);
#else
    return QFile::decodeName(path.c_str());
#endif
}

} // namespace velmor
