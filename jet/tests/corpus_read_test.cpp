// Every table of the corpus of real Access files (97 to 2019) reads as the
// independent reader's dump of it, value by value. Known differences, each
// checked rather than skipped:
// - the five bytes that code page 1252 leaves undefined (81 8D 8F 90 9D) read
//   as the C1 controls of the same number, as iconv reads them; the dumps
//   have U+FFFD there.
#include "index/index_key.h"
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <filesystem>

using namespace jet;
using namespace jettest;

namespace {

// The C1 control characters (U+0080..U+009F) as U+FFFD.
std::string c1AsReplacement(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (uint8_t(s[i]) == 0xC2 && i + 1 < s.size() && uint8_t(s[i + 1]) >= 0x80 && uint8_t(s[i + 1]) <= 0x9F) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool sameValue(const Value& v, const std::string& dump)
{
    if (v.kind() == Value::Kind::Binary)
        return "0x" + detail::keyToHex(v.asBinary()) == dump;
    const std::string ours = v.toString();
    if (ours == dump)
        return true;
    if (v.kind() == Value::Kind::Double) // written with other digits: the same number
        return std::stod(dump) == v.asDouble() || float(std::stod(dump)) == float(v.asDouble());
    if (v.kind() == Value::Kind::Text && dump.find("\xEF\xBF\xBD") != std::string::npos)
        return c1AsReplacement(ours) == dump;
    return false;
}

} // namespace

TEST(Corpus, EveryTableReadsAsItsDump)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-corpus");
    const std::filesystem::path dir = fixture("access-corpus");
    int tables = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".csv")
            continue;
        const size_t dot = name.find(".mdb.") != std::string::npos ? name.find(".mdb.") + 4 : name.find(".accdb.") + 6;
        const std::string file = (dir / name.substr(0, dot)).string();
        const std::string table = name.substr(dot + 1, name.size() - dot - 5);
        SCOPED_TRACE(name);
        auto db = Database::open(file, OpenMode::ReadOnly, file.find("password") != std::string::npos ? "password" : "");
        const auto dump = parseCsvFields(fileBytes(entry.path().string()));
        auto rs = db->openRecordset(table);
        ASSERT_EQ(rs->columns().size(), dump[0].size());
        size_t row = 1;
        for (; rs->hasCurrent(); rs->moveNext(), ++row) {
            ASSERT_LT(row, dump.size());
            for (size_t c = 0; c < dump[row].size(); ++c) {
                const Value v = rs->value(int(c));
                const CsvField& want = dump[row][c];
                if (!want) {
                    EXPECT_TRUE(v.isNull()) << "row " << row << " " << *dump[0][c] << " : " << v.toString();
                    continue;
                }
                EXPECT_TRUE(!v.isNull() && sameValue(v, *want))
                    << "row " << row << " " << *dump[0][c] << " : " << v.toString() << " / " << *want;
            }
        }
        EXPECT_EQ(row, dump.size());
        ++tables;
    }
    EXPECT_EQ(tables, 65);
}

// Access 97 keeps the last autonumber given at offset 16 of the table
// definition (the row count at 12, the table's type at 20).
TEST(Corpus, Jet3AutonumberCounter)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    auto db = Database::open(fixture("access-made/nwind.mdb"), OpenMode::ReadOnly);
    EXPECT_EQ(db->table("Categories").nextAutonumber, 8u); // CategoryID 1 to 8
    EXPECT_EQ(db->table("Employees").nextAutonumber, 9u);
}
