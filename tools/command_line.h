// What velmor-db needs of the system to take file names and write output the
// same way on POSIX systems and on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmor {

// The program's arguments in UTF-8. On Windows they are read from the wide
// command line: the narrow argv is in the ANSI code page and loses every
// character it lacks.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Standard output and error write bytes as they are: no CR LF for LF on
// Windows, where text mode would also turn a memo's own CR LF into CR CR LF.
void useBinaryOutput();

// A path from a UTF-8 name (std::filesystem takes a narrow string in the
// ANSI code page on Windows).
std::filesystem::path pathFromUtf8(const std::string& name);

} // namespace velmor
