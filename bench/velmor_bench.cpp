// velmor-bench [FILE [TABLE [CLIENT_COLUMN]]]
//
// Times the engine on a large file (by default the fixture
// velmor2001-big.mdb, table tablep) and runs mdbtools on the same table for
// comparison: full read of every value, a filtered SELECT on the client
// column, opening the file and showing the first row, peak memory.
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double cpuMilliseconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double childrenCpuMilliseconds()
{
    struct rusage r {};
    ::getrusage(RUSAGE_CHILDREN, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
}

struct Timing {
    double wall = 1e300; // best wall-clock time of the runs
    double cpu = 1e300;  // best CPU time of the runs
};

Timing millisecondsOf(const std::function<void()>& work, int runs)
{
    Timing best;
    for (int i = 0; i < runs; ++i) {
        double cpu0 = cpuMilliseconds();
        auto start = Clock::now();
        work();
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best.wall = std::min(best.wall, ms);
        best.cpu = std::min(best.cpu, cpuMilliseconds() - cpu0);
    }
    return best;
}

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Times of a shell command (best of `runs`); negative if it failed.
Timing commandMilliseconds(const std::string& command, int runs)
{
    Timing best;
    for (int i = 0; i < runs; ++i) {
        double cpu0 = childrenCpuMilliseconds();
        auto start = Clock::now();
        int status = std::system(command.c_str());
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (status != 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 141))
            return Timing{-1, -1};
        best.wall = std::min(best.wall, ms);
        best.cpu = std::min(best.cpu, childrenCpuMilliseconds() - cpu0);
    }
    return best;
}

size_t readAll(jet::Recordset& rs)
{
    size_t bytes = 0;
    const int columns = int(rs.columns().size());
    while (rs.hasCurrent()) {
        for (int c = 0; c < columns; ++c) {
            jet::Value v = rs.value(c);
            bytes += v.kind() == jet::Value::Kind::Text ? v.asText().size() : 8;
        }
        rs.moveNext();
    }
    return bytes;
}

void printRow(const char* what, Timing ours, Timing theirs)
{
    std::printf("%-34s %9.1f ms %9.1f ms", what, ours.wall, ours.cpu);
    if (theirs.wall >= 0)
        std::printf(" %9.1f ms %9.1f ms %7.1fx %7.1fx\n", theirs.wall, theirs.cpu, theirs.wall / ours.wall,
                    theirs.cpu / ours.cpu);
    else
        std::printf(" %12s\n", "n/a");
}

} // namespace

int main(int argc, char** argv)
{
    std::string file = argc > 1 ? argv[1] : std::string(VELMOR_FIXTURES_DIR) + "/velmor2001-big.mdb";
    std::string table = argc > 2 ? argv[2] : "tablep";
    std::string clientColumn = argc > 3 ? argv[3] : "clientp";
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        std::cerr << "velmor-bench : fichier introuvable : " << file << "\n";
        return 1;
    }
    const int runs = 5;
    try {
        // Open + first row, measured first while this process is cold.
        std::string firstValue;
        Timing firstRow = millisecondsOf(
            [&] {
                auto db = jet::Database::open(file, jet::OpenMode::ReadOnly);
                auto rs = db->openRecordset(table);
                for (int c = 0; c < int(rs->columns().size()); ++c)
                    firstValue = rs->value(c).toString();
            },
            runs);

        auto db = jet::Database::open(file, jet::OpenMode::ReadOnly);
        long rows = 0;
        size_t bytes = 0;
        Timing fullRead = millisecondsOf(
            [&] {
                auto rs = db->openRecordset(table);
                rows = rs->recordCount();
                bytes = readAll(*rs);
            },
            runs);

        // A client that exists: the client of the table's first row.
        std::string client;
        {
            auto rs = db->openRecordset(table);
            while (rs->hasCurrent() && (rs->value(clientColumn).isNull() || rs->value(clientColumn).asText().empty() ||
                                        rs->value(clientColumn).asText().find('\'') != std::string::npos))
                rs->moveNext();
            if (rs->hasCurrent())
                client = rs->value(clientColumn).asText();
        }
        std::string query = "SELECT * FROM " + table + " WHERE " + clientColumn + "='" + client + "'";
        long matches = 0;
        Timing filtered = millisecondsOf(
            [&] {
                auto rs = db->openRecordset(query);
                matches = rs->recordCount();
                readAll(*rs);
            },
            runs);

        struct rusage self {};
        ::getrusage(RUSAGE_SELF, &self);
        double peakMiB = double(self.ru_maxrss) / 1024.0;

        // As the application moves: a dynaset opened for writing when the
        // file allows it, 1,000 rows forward then back, every value of each.
        Timing moves;
        {
            auto appDb = jet::Database::open(file, jet::OpenMode::ReadWriteIfPossible);
            auto rs = appDb->openRecordset(table);
            const int columns = int(rs->columns().size());
            size_t seen = 0;
            auto show = [&] {
                for (int c = 0; c < columns; ++c)
                    seen += rs->value(c).isNull() ? 0 : 1;
            };
            moves = millisecondsOf(
                [&] {
                    rs->moveFirst();
                    show();
                    for (int i = 0; i < 1000 && !rs->eof(); ++i) {
                        rs->moveNext();
                        if (rs->hasCurrent())
                            show();
                    }
                    for (int i = 0; i < 1000 && !rs->bof(); ++i) {
                        rs->movePrevious();
                        if (rs->hasCurrent())
                            show();
                    }
                },
                runs);
        }
        // As velmor-db export reads: every row at once, under one hold of the lock.
        Timing snapshot = millisecondsOf(
            [&] {
                auto rs = db->openRecordset(table);
                rs->fetchAll();
                readAll(*rs);
            },
            runs);

        // mdbtools on the same table.
        std::string q = shellQuote(file), t = shellQuote(table);
        Timing mdbFull = commandMilliseconds("mdb-export " + q + " " + t + " > /dev/null", 3);
        Timing mdbFirst = commandMilliseconds("mdb-export " + q + " " + t + " 2>/dev/null | head -2 > /dev/null", 3);
        std::string mdbQuery = "echo " + shellQuote(query) + " | mdb-sql -H -F -P " + q + " > /dev/null 2>&1";
        Timing mdbFiltered = commandMilliseconds(mdbQuery, 3);
        // Peak memory of mdb-export itself (the children's ru_maxrss would
        // start from this process's size, as they are forked from it).
        double mdbPeakMiB = -1;
        {
            char tmpl[] = "/tmp/velmor-bench-XXXXXX";
            int fd = ::mkstemp(tmpl);
            if (fd >= 0) {
                ::close(fd);
                std::string cmd = "/usr/bin/time -f %M -o " + std::string(tmpl) + " mdb-export " + q + " " + t +
                                  " > /dev/null 2>&1";
                if (std::system(cmd.c_str()) == 0) {
                    if (FILE* in = std::fopen(tmpl, "r")) {
                        long kib = 0;
                        if (std::fscanf(in, "%ld", &kib) == 1)
                            mdbPeakMiB = double(kib) / 1024.0;
                        std::fclose(in);
                    }
                }
                std::remove(tmpl);
            }
        }

        std::printf("Fichier : %s (%.1f Mio), table %s : %ld lignes (%zu octets lus)\n", file.c_str(),
                    double(st.st_size) / 1048576.0, table.c_str(), rows, bytes);
        std::printf("Requête filtrée : %s -> %ld lignes\n\n", query.c_str(), matches);
        std::printf("Meilleur de plusieurs essais ; « mur » = temps écoulé, « CPU » = temps processeur.\n");
        std::printf("%-34s %12s %12s %12s %12s %8s %8s\n", "mesure", "velmor mur", "velmor CPU", "mdb mur",
                    "mdb CPU", "x mur", "x CPU");
        printRow("lecture complète de la table", fullRead, mdbFull);
        printRow("SELECT filtré sur le client", filtered, mdbFiltered);
        printRow("ouverture + première ligne", firstRow, mdbFirst);
        printRow("2 000 déplacements (application)", moves, Timing{-1, -1});
        printRow("lecture complète d'un coup (export)", snapshot, mdbFull);
        std::printf("%-44s %10.1f Mio %10.1f Mio (fichier : %.1f Mio, rapport mémoire/fichier %.2f)\n",
                    "mémoire maximale (RSS, velmor / mdb)", peakMiB, mdbPeakMiB, double(st.st_size) / 1048576.0,
                    peakMiB * 1048576.0 / double(st.st_size));
    } catch (const jet::Error& e) {
        std::cerr << "velmor-bench : " << e.what() << "\n";
        return 1;
    }
    return 0;
}
