#include "command_line.h"

#ifdef _WIN32
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

namespace velmor {

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) {
            const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(size_t(n > 0 ? n : 1), '\0');
            if (n > 0)
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
            arg.pop_back(); // the terminating NUL
            args.push_back(std::move(arg));
        }
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv + 1, argv + argc);
}

void useBinaryOutput()
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A console shows the UTF-8 messages as they are meant.
    SetConsoleOutputCP(CP_UTF8);
#endif
}

std::filesystem::path pathFromUtf8(const std::string& name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

} // namespace velmor
