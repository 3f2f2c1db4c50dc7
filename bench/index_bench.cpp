// velmor-bench-index: the indexed big fixture, copied. Rows added, changed
// (new client) and deleted one commit per row, as the application saves,
// with both indexes of the table kept up to date; then the lookup of one
// client through the index beside the same query by a full scan, the table
// in client order through the index beside a sort, and the index check of
// the copy. Not a test; run it by hand:
//   velmor-bench-index [DIR] [N]
#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string sqlText(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

double queryMilliseconds(jet::Database& db, const std::string& query, int repeat, long& rows)
{
    auto start = Clock::now();
    for (int i = 0; i < repeat; ++i) {
        auto rs = db.openRecordset(query);
        rows = 0;
        for (; !rs->eof(); rs->moveNext()) {
            for (int c = 0; c < int(rs->columns().size()); ++c)
                rs->value(c);
            ++rows;
        }
    }
    return seconds(start) * 1000.0 / repeat;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    long n = argc > 2 ? std::atol(argv[2]) : 1000;
    std::string big = std::string(VELMOR_FIXTURES_DIR) + "/velmor2001-big.mdb";
    if (!std::filesystem::exists(big)) {
        std::cerr << "fixture absente : " << big << "\n";
        return 77;
    }
    std::string file = dir + "/velmor-bench-index.mdb";
    std::filesystem::remove(file);
    std::filesystem::copy_file(big, file);
    std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    try {
        auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
        std::mt19937 rng(2001);
        std::vector<std::string> clients;
        {
            auto sample = db->openRecordset("SELECT * FROM tablep WHERE id <= 3000");
            for (; !sample->eof(); sample->moveNext())
                if (!sample->value("clientp").isNull())
                    clients.push_back(sample->value("clientp").asText());
        }
        auto rs = db->openRecordset("tablep");
        const int client = rs->columnIndex("clientp");
        const int motif = rs->columnIndex("motifp");

        auto start = Clock::now();
        for (long i = 0; i < n; ++i) {
            rs->addNew();
            rs->setValue(client, jet::Value::text(clients[rng() % clients.size()]));
            rs->setValue(motif, jet::Value::text("Prêt n°" + std::to_string(i)));
            rs->update();
        }
        double addSeconds = seconds(start);

        start = Clock::now();
        for (long i = 0; i < n; ++i) {
            rs->setBookmark(rs->bookmark()); // stays valid; moves below pick rows at random
            rs->moveFirst();
            long steps = long(rng() % 2000);
            for (long s = 0; s < steps && !rs->eof(); ++s)
                rs->moveNext();
            if (rs->eof())
                rs->moveLast();
            rs->edit();
            rs->setValue(client, jet::Value::text(clients[rng() % clients.size()]));
            rs->update();
        }
        double updateSeconds = seconds(start);

        start = Clock::now();
        rs->moveFirst();
        for (long i = 0; i < n && !rs->eof(); ++i) {
            rs->deleteCurrent();
            rs->moveNext();
        }
        double deleteSeconds = seconds(start);
        rs.reset();

        std::cout << "Base indexée (2 index sur tablep), une validation par ligne, écriture sur disque comprise :\n";
        std::cout << "  ajouts       : " << n << " en " << addSeconds << " s, " << long(double(n) / addSeconds)
                  << " validations/s\n";
        std::cout << "  modifications du client : " << n << " en " << updateSeconds << " s, "
                  << long(double(n) / updateSeconds) << " validations/s\n";
        std::cout << "  suppressions : " << n << " en " << deleteSeconds << " s, "
                  << long(double(n) / deleteSeconds) << " validations/s\n";

        std::string wanted = clients[rng() % clients.size()];
        long indexRows = 0, scanRows = 0;
        double viaIndex = queryMilliseconds(*db, "SELECT * FROM tablep WHERE clientp = " + sqlText(wanted), 50,
                                            indexRows);
        double viaScan = queryMilliseconds(
            *db, "SELECT * FROM tablep WHERE NOT (clientp <> " + sqlText(wanted) + ")", 5, scanRows);
        std::cout << "SELECT * FROM tablep WHERE clientp=" << sqlText(wanted) << " (" << indexRows
                  << " lignes, toutes les colonnes lues) :\n";
        std::cout << "  par l'index       : " << viaIndex << " ms\n";
        std::cout << "  parcours complet  : " << viaScan << " ms (" << scanRows << " lignes), soit "
                  << viaScan / viaIndex << " fois plus lent\n";

        // ORDER BY on the indexed text column: read through the index, and
        // sorted (by the same collation keys) when no index can serve it.
        long orderRows = 0, sortRows = 0;
        double orderViaIndex = queryMilliseconds(*db, "SELECT * FROM tablep ORDER BY clientp", 3, orderRows);
        double orderViaSort = queryMilliseconds(
            *db, "SELECT * FROM tablep WHERE NOT (clientp IS NULL AND clientp IS NOT NULL) ORDER BY clientp", 3,
            sortRows);
        bool sameOrder = true;
        {
            auto a = db->openRecordset("SELECT * FROM tablep ORDER BY clientp DESC");
            auto b = db->openRecordset(
                "SELECT * FROM tablep WHERE NOT (clientp IS NULL AND clientp IS NOT NULL) ORDER BY clientp DESC");
            for (; !a->eof() && !b->eof(); a->moveNext(), b->moveNext())
                sameOrder = sameOrder && a->bookmark().page == b->bookmark().page &&
                            a->bookmark().row == b->bookmark().row;
            sameOrder = sameOrder && a->eof() && b->eof();
        }
        std::cout << "SELECT * FROM tablep ORDER BY clientp (" << orderRows << " lignes, toutes les colonnes lues) :\n";
        std::cout << "  par l'index       : " << orderViaIndex << " ms\n";
        std::cout << "  par un tri        : " << orderViaSort << " ms (" << sortRows << " lignes), "
                  << (sameOrder ? "même ordre" : "ORDRE DIFFÉRENT") << "\n";
        db.reset();

        start = Clock::now();
        jet::CheckReport report = jet::checkDatabase(file);
        std::cout << "velmor-db check : " << report.entries << " entrées d'index, "
                  << (report.ok() ? "aucun problème" : std::to_string(report.problems.size()) + " problèmes")
                  << " (" << seconds(start) << " s)\n";
        for (size_t i = 0; i < report.problems.size() && i < 10; ++i)
            std::cout << "  " << report.problems[i] << "\n";
        std::filesystem::remove(file);
        return report.ok() && sameOrder ? 0 : 1;
    } catch (const jet::Error& e) {
        std::cerr << "velmor-bench-index : " << e.what() << "\n";
        return 1;
    }
}
