// For tests of other programs: holds a database file's write lock, as a
// long write of another process would.
//
//   jet_hold_lock FILE [MILLISECONDS]
//
// Writes "verrou pris" on its standard output once it holds the lock, then
// lets go after MILLISECONDS or, without them, when its standard input ends.
#include "file/page_store.h"

#include "jet/status.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage : jet_hold_lock FICHIER [MILLISECONDES]\n");
        return 2;
    }
    const int limit = argc == 3 ? std::atoi(argv[2]) : -1;
    try {
        jet::writer::PageStore store(argv[1]);
        store.lock().lockExclusive();
        std::printf("verrou pris\n");
        std::fflush(stdout);
        if (limit >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(limit));
        } else {
            char buffer[64];
            while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
            }
        }
        store.lock().unlock();
    } catch (const jet::Error& e) {
        std::fprintf(stderr, "jet_hold_lock : %s\n", e.what());
        return 1;
    }
    return 0;
}
