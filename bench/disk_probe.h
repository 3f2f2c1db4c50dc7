// What one forced write costs on the disk under a folder: the mean time of
// rewriting one 4 KiB page of a file and waiting for fdatasync, as a commit
// does twice (journal, then database). Printed beside commit rates, which
// depend on it more than on anything the engine does.
#pragma once

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

inline double flushMilliseconds(const std::string& dir, int rounds = 100)
{
    const std::string path = dir + "/velmor-bench-flush.tmp";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    std::vector<char> page(4096, 'v');
    double total = -1;
    if (::pwrite(fd, page.data(), page.size(), 0) == ssize_t(page.size()) && ::fsync(fd) == 0) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) {
            page[0] = char(i);
            if (::pwrite(fd, page.data(), page.size(), 0) != ssize_t(page.size()) || ::fdatasync(fd) != 0)
                break;
        }
        total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    ::close(fd);
    ::unlink(path.c_str());
    return total < 0 ? -1 : total / rounds;
}

inline void printFlushCost(const std::string& dir)
{
    double ms = flushMilliseconds(dir);
    if (ms >= 0)
        std::printf("écriture forcée d'une page sur ce disque (fdatasync) : %.3f ms ; une validation en fait deux\n",
                    ms);
}
