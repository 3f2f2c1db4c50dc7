// Calculated columns: their result types and expressions come from the
// table's properties, their values from behind their wrapper; adding or
// changing rows of their tables is refused and leaves the file as it was,
// deleting rows is not.
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

using namespace jet;
using namespace jettest;

namespace {

const char* kCalc = "access-corpus/calcFieldTestV2010.accdb";

std::string calcCopy()
{
    const std::filesystem::path dir = scratchDir();
    std::filesystem::create_directories(dir / "access-corpus");
    return copyFixture(kCalc, dir);
}

} // namespace

TEST(CalculatedColumns, ResultTypesExpressionsAndValues)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kCalc);
    auto db = Database::open(fixture(kCalc), OpenMode::ReadOnly);
    const TableInfo t = db->table("Table1");
    std::map<std::string, ColumnInfo> byName;
    for (const ColumnInfo& c : t.columns)
        byName[c.name] = c;
    EXPECT_FALSE(byName["FirstName"].calculated);
    EXPECT_TRUE(byName["LastFirst"].calculated);
    EXPECT_EQ(byName["LastFirst"].expression, "[LastName] & \", \" & [FirstName]");
    // The descriptor says Integer, Text, Double and Decimal: the results are these.
    EXPECT_EQ(byName["IsRich"].type, ColumnType::Boolean);
    EXPECT_EQ(byName["AllNames"].type, ColumnType::Memo);
    EXPECT_EQ(byName["MonthlySalary"].type, ColumnType::Currency);
    EXPECT_EQ(byName["FloatTest"].type, ColumnType::Single);
    EXPECT_EQ(byName["WeeklySalary"].type, ColumnType::Numeric);

    auto rs = db->openRecordset("Table1");
    EXPECT_EQ(rs->value("LastFirst").asText(), "Wayne, Bruce");
    EXPECT_EQ(rs->value("LastFirstLen").asInt(), 12);
    EXPECT_TRUE(rs->value("IsRich").asBool());
    EXPECT_EQ(rs->value("AllNames").asText(), "Wayne, Bruce=Wayne, Bruce");
    EXPECT_EQ(rs->value("MonthlySalary").asCurrency(), 833333333);
    EXPECT_EQ(rs->value("WeeklySalary").asText(), "19230.7692307692");
    EXPECT_EQ(rs->value("BigNumTest").asText(), "56505085819.424791296572280180");
    EXPECT_FLOAT_EQ(float(rs->value("FloatTest").asDouble()), 2583.2092f);
    rs->moveNext();
    EXPECT_FALSE(rs->value("IsRich").asBool());
    EXPECT_EQ(rs->value("BigNumTest").asText(), "-0.0784734499180612994241100748"); // negative
}

TEST(CalculatedColumns, AddingOrChangingRowsIsRefusedDeletingIsNot)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kCalc);
    const std::string file = calcCopy();
    const std::string before = fileBytes(file);
    auto db = Database::open(file, OpenMode::ReadWrite);
    auto refused = [&](const std::function<void()>& write) {
        try {
            write();
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::Unsupported);
            return std::string(e.what()).find("colonnes calculées (« LastFirst », « LastFirstLen »") !=
                   std::string::npos;
        }
        return false;
    };
    EXPECT_TRUE(refused([&] { db->execute("INSERT INTO Table1 (FirstName, LastName) VALUES ('Diana', 'Prince')"); }));
    EXPECT_TRUE(refused([&] { db->execute("UPDATE Table1 SET FirstName = 'Brian' WHERE ID = 1"); }));
    EXPECT_TRUE(refused([&] {
        auto rs = db->openRecordset("Table1");
        rs->edit();
        rs->setValue(rs->columnIndex("City"), Value::text("Metropolis"));
        rs->update();
    }));
    db.reset();
    EXPECT_EQ(fileBytes(file), before);

    db = Database::open(file, OpenMode::ReadWrite);
    EXPECT_EQ(db->execute("DELETE FROM Table1 WHERE ID = 2"), 1);
    db.reset();
    // Access left this table with one row more than its definition counts
    // (3 for 4); the count went down with the row, the difference stays.
    const CheckReport report = checkDatabase(file);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0], "table Table1 : 2 lignes notées, 3 trouvées");
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->openRecordset("Table1")->recordCount(), 3);
}
