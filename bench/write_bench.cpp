// velmor-bench-write: write timings of the Jet engine on an unindexed copy of
// the big fixture (a new database made like `velmor-db init`, filled with the
// fixture's 2 x 100,000 rows in batches of 1,000 rows per commit), 100,000
// rows imported as one write (time and peak memory), then rows added one
// commit per row (as the application saves), updates and deletes; then the
// same one-commit-per-row writes to indexed tables of an Access 97 (Jet3)
// file and of a Jet4 one, side by side.
// Each timing is followed by the user CPU time it took, which a loaded
// machine disturbs less than the elapsed time.
//
// The batches go through Database::insertRows, which frees the values of
// each row it is handed: their freeing is timed with the adds. How long it
// takes is printed too ("libération"), measured by freeing a copy of each
// batch, and so is the rate without it, the one to set beside figures of
// benches that kept the rows and freed them untimed.
// Not a test; run it by hand: velmor-bench-write [DIR] [N].
#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include "disk_probe.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// User CPU time of the process so far.
double userSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6;
}

std::vector<jet::ColumnSpec> columnsLike(const jet::TableInfo& t)
{
    std::vector<jet::ColumnSpec> out;
    for (const auto& c : t.columns) {
        if (c.autonumber)
            continue; // the unindexed variant has no id column
        jet::ColumnSpec s;
        s.name = c.name;
        s.type = c.type == jet::ColumnType::Text ? jet::ColumnType::Text : c.type;
        s.maxChars = 255;
        out.push_back(s);
    }
    return out;
}

// Peak resident memory since the last reset (VmHWM), in KiB; resets it when
// asked (Linux: writing 5 to clear_refs).
long peakKiB(bool reset = false)
{
    if (reset) {
        std::ofstream("/proc/self/clear_refs") << "5";
        return 0;
    }
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The big fixture's velmor2001 rows into a new file as one write
// (Database::insertRows, as `velmor-db import` does): time and memory.
void oneWriteImport(jet::Database& source, const std::string& dir)
{
    const std::string file = dir + "/velmor-bench-import.mdb";
    std::filesystem::remove(file);
    {
        auto db = jet::Database::create(file);
        db->createTable("velmor2001", columnsLike(source.table("velmor2001")));
    }
    auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
    auto rows = source.openRecordset("velmor2001");
    std::vector<int> from;
    for (const auto& c : db->table("velmor2001").columns)
        from.push_back(rows->columnIndex(c.name));
    rows->moveFirst();
    peakKiB(true);
    const long before = peakKiB();
    auto t0 = Clock::now();
    long added = db->insertRows("velmor2001", [&](std::vector<jet::Value>& values) {
        if (rows->eof())
            return false;
        for (size_t i = 0; i < from.size(); ++i)
            values[i] = rows->value(from[i]);
        rows->moveNext();
        return true;
    });
    std::printf("import en une écriture : %ld lignes en %.2f s, mémoire de pointe +%ld Mio (fichier de %ld Mio)\n",
                added, seconds(t0), (peakKiB() - before) / 1024,
                long(std::filesystem::file_size(file) / (1024 * 1024)));
    std::filesystem::remove(file);
}

// One commit per row into an indexed table of a copy of `fixture`: rows
// added, an indexed text column changed in each, the rows deleted; rows/s.
void indexedWrites(const char* label, const std::string& fixture, const std::string& dir,
                   const std::string& table, const std::string& key, const std::string& other,
                   long n) {
    const std::string file =
        dir + "/velmor-bench-indexed" + std::filesystem::path(fixture).extension().string();
    std::filesystem::copy_file(fixture, file, std::filesystem::copy_options::overwrite_existing);
    auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
    auto rs = db->openRecordset(table);
    const int keyColumn = rs->columnIndex(key), otherColumn = rs->columnIndex(other);
    std::vector<jet::Bookmark> added;
    auto t0 = Clock::now();
    for (long i = 0; i < n; ++i) {
        rs->addNew();
        rs->setValue(keyColumn, jet::Value::text("Lefèvre " + std::to_string(i * 7919 % 100000)));
        rs->setValue(otherColumn, jet::Value::text("Zoé"));
        rs->update();
        added.push_back(rs->lastModified());
    }
    const double addSeconds = seconds(t0);
    t0 = Clock::now();
    for (const jet::Bookmark& b : added) {
        rs->setBookmark(b);
        rs->edit();
        rs->setValue(keyColumn, jet::Value::text("Müller " + std::to_string(b.row * 31 + b.page)));
        rs->update();
    }
    const double updateSeconds = seconds(t0);
    t0 = Clock::now();
    for (const jet::Bookmark& b : added) {
        rs->setBookmark(b);
        rs->deleteCurrent();
    }
    const double deleteSeconds = seconds(t0);
    rs.reset();
    db.reset();
    const jet::CheckReport report = jet::checkDatabase(file);
    std::printf("%s, table indexée %s, une validation par ligne : ajouts %.0f lignes/s, "
                "modifications d'une colonne "
                "indexée %.0f/s, suppressions %.0f/s ; vérification : %s\n",
                label, table.c_str(), n / addSeconds, n / updateSeconds, n / deleteSeconds,
                report.ok() ? "aucun problème" : "PROBLÈMES");
    std::filesystem::remove(file);
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    long n = argc > 2 ? std::atol(argv[2]) : 2000;
    std::string big = std::string(VELMOR_FIXTURES_DIR) + "/velmor2001-big.mdb";
    if (!std::filesystem::exists(big)) {
        std::cerr << "fixture absente : " << big << "\n";
        return 77;
    }
    std::string file = dir + "/velmor-bench-write.mdb";
    std::filesystem::remove(file);
    try {
        auto source = jet::Database::open(big, jet::OpenMode::ReadOnly);
        {
            auto db = jet::Database::create(file);
            for (const char* table : {"velmor2001", "tablep"})
                db->createTable(table, columnsLike(source->table(table)));
        }
        auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
        long total = 0;
        double batchSeconds = 0, batchUser = 0, freeSeconds = 0;
        for (const char* table : {"velmor2001", "tablep"}) {
            auto rows = source->openRecordset(table);
            std::vector<int> from; // source column of each target column
            jet::TableInfo target = db->table(table);
            for (const auto& c : target.columns)
                from.push_back(rows->columnIndex(c.name));
            std::vector<std::vector<jet::Value>> batch;
            auto flush = [&]() {
                {
                    std::vector<std::vector<jet::Value>> copy = batch;
                    const auto t0 = Clock::now();
                    copy.clear();
                    freeSeconds += seconds(t0);
                }
                const double u0 = userSeconds();
                const auto t0 = Clock::now();
                size_t next = 0;
                db->insertRows(table, [&](std::vector<jet::Value>& values) {
                    if (next == batch.size())
                        return false;
                    values.swap(batch[next++]); // each row handed over once, for the nulls it came with
                    return true;
                });
                batchSeconds += seconds(t0);
                batchUser += userSeconds() - u0;
                total += long(batch.size());
                batch.clear();
            };
            rows->moveFirst();
            while (!rows->eof()) {
                std::vector<jet::Value> v;
                for (int i : from)
                    v.push_back(rows->value(i));
                batch.push_back(std::move(v));
                if (batch.size() == 1000)
                    flush();
                rows->moveNext();
            }
            flush();
        }
        std::printf("ajouts par lots de 1 000 lignes : %ld lignes en %.2f s, %.0f lignes/s (processeur %.2f s) ; "
                    "libération des valeurs remises %.3f s, hors libération %.0f lignes/s\n",
                    total, batchSeconds, total / batchSeconds, batchUser, freeSeconds,
                    total / (batchSeconds - freeSeconds));

        oneWriteImport(*source, dir);

        printFlushCost(dir);
        auto rs = db->openRecordset("velmor2001");
        double u0 = userSeconds();
        auto t0 = Clock::now();
        for (long i = 0; i < n; ++i) {
            rs->addNew();
            rs->setValue(rs->columnIndex("naccord"), jet::Value::text("B-" + std::to_string(i)));
            rs->setValue(rs->columnIndex("client"), jet::Value::text("Café de l'André"));
            rs->setValue(rs->columnIndex("dateaccord"), jet::Value::dateTime(2003, 3, 3));
            rs->setValue(rs->columnIndex("motif"), jet::Value::text("Écran qui scintille"));
            rs->setValue(rs->columnIndex("nomauteur"), jet::Value::text("Hélène"));
            rs->update();
        }
        double addSeconds = seconds(t0);
        std::printf("ajouts, une validation par ligne : %ld lignes en %.2f s, %.0f lignes/s (processeur %.2f s)\n", n,
                    addSeconds, n / addSeconds, userSeconds() - u0);

        rs->moveFirst();
        u0 = userSeconds();
        t0 = Clock::now();
        for (long i = 0; i < n && !rs->eof(); ++i) {
            rs->edit();
            rs->setValue(rs->columnIndex("parquiinterv"), jet::Value::text("Jérôme " + std::to_string(i)));
            rs->update();
            rs->moveNext();
        }
        double updateSeconds = seconds(t0);
        std::printf("modifications, une validation par ligne : %ld en %.2f s, %.0f/s (processeur %.2f s)\n", n,
                    updateSeconds, n / updateSeconds, userSeconds() - u0);

        rs->moveLast();
        u0 = userSeconds();
        t0 = Clock::now();
        long deleted = 0;
        for (; deleted < n && rs->hasCurrent(); ++deleted) {
            rs->deleteCurrent();
            rs->movePrevious();
        }
        double deleteSeconds = seconds(t0);
        std::printf("suppressions, une validation par ligne : %ld en %.2f s, %.0f/s (processeur %.2f s)\n", deleted,
                    deleteSeconds, deleted / deleteSeconds, userSeconds() - u0);

        printFlushCost(dir);
        u0 = userSeconds();
        t0 = Clock::now();
        jet::CheckReport report = jet::checkDatabase(file);
        std::printf("vérification : %s en %.2f s (processeur %.2f s)\n", report.ok() ? "aucun problème" : "PROBLÈMES",
                    seconds(t0), userSeconds() - u0);
        for (const auto& p : report.problems)
            std::printf("  %s\n", p.c_str());

        const std::string fixtures = VELMOR_FIXTURES_DIR;
        if (std::filesystem::exists(fixtures + "/access-made/nwind.mdb"))
            indexedWrites("Access 97 (Jet 3)", fixtures + "/access-made/nwind.mdb", dir,
                          "Employees", "LastName", "FirstName", n);
        indexedWrites("Jet 4", fixtures + "/velmor2001-indexed.mdb", dir, "velmor2001", "client",
                      "naccord", n);
    } catch (const std::exception& e) {
        std::cerr << "velmor-bench-write : " << e.what() << "\n";
        return 1;
    }
    std::filesystem::remove(file);
    return 0;
}
