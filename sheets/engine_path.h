// File names between Qt and the storage engine, whose paths are bytes in the
// file system's encoding on POSIX systems and UTF-8 on Windows (where the
// engine opens files by their UTF-16 names; QFile::encodeName would give the
// ANSI code page there and lose every character it lacks).
#pragma once

#include <QString>

#include <string>

namespace velmor {

std::string toEnginePath(const QString& path);
QString fromEnginePath(const std::string& path);

} // namespace velmor
