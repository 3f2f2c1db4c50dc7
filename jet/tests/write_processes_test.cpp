// Two programs writing one database at the same time lose no row: two child
// processes (this program, started again) each add rows one statement at a
// time, so that their writes interleave under the file's write lock; every
// row of both is there afterwards and the file checks clean. The database's
// name has accents, so that on Windows the wide-character path reaches the
// disk as it is. Runs the same on POSIX systems and on Windows (under Wine).
#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

std::string self; // this program, as started

// The path travels in hexadecimal, so that no code page touches it on the
// way through the command line.
std::string toHex(const std::string& bytes)
{
    std::string out;
    char digits[3];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        out += digits;
    }
    return out;
}

std::string fromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The child: `rows` INSERT statements, each its own write.
int writeRows(const std::string& path, const std::string& writer, int rows)
{
    try {
        auto db = jet::Database::open(path, jet::OpenMode::ReadWrite);
        for (int i = 0; i < rows; ++i)
            db->execute("INSERT INTO prets (poste, n) VALUES ('" + writer + "', " + std::to_string(i) + ")");
        return 0;
    } catch (const jet::Error& e) {
        std::fprintf(stderr, "%s : %s\n", writer.c_str(), e.what());
        return 1;
    }
}

int runChild(const std::string& path, const std::string& writer, int rows)
{
    std::string command = "\"" + self + "\" --write-rows " + toHex(path) + " " + writer + " " + std::to_string(rows);
#ifdef _WIN32
    command = "\"" + command + "\""; // cmd.exe takes off the outer quotes
#endif
    return std::system(command.c_str());
}

long countRows(jet::Database& db, const std::string& writer)
{
    auto rs = db.openRecordset("SELECT * FROM prets WHERE poste = '" + writer + "'");
    long n = 0;
    for (; !rs->eof(); rs->moveNext())
        ++n;
    return n;
}

std::filesystem::path fromUtf8(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string toUtf8(const std::filesystem::path& path)
{
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

TEST(WriteProcesses, TwoProcessesWritingOneFileLoseNoRow)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / fromUtf8("velmor-écritures-" + std::to_string(now));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = toUtf8(dir / fromUtf8("prêts à deux.mdb"));
    {
        auto db = jet::Database::create(path);
        db->createTable("prets", {{"poste", jet::ColumnType::Text, 20}, {"n", jet::ColumnType::Long}});
    }
    constexpr int kRows = 40;
    int first = -1, second = -1;
    std::thread a([&] { first = runChild(path, "A", kRows); });
    std::thread b([&] { second = runChild(path, "B", kRows); });
    a.join();
    b.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);

    auto db = jet::Database::open(path, jet::OpenMode::ReadOnly);
    EXPECT_EQ(countRows(*db, "A"), kRows);
    EXPECT_EQ(countRows(*db, "B"), kRows);
    db.reset();
    const jet::CheckReport report = jet::checkDatabase(path);
    EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems.front());
    EXPECT_FALSE(std::filesystem::exists(fromUtf8(path + "-journal")))
        << "le journal reste après la fermeture";
    std::filesystem::remove_all(dir);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--write-rows")
        return writeRows(fromHex(argv[2]), argv[3], std::atoi(argv[4]));
    self = argv[0];
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
