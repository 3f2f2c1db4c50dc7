// Database::insertRows: many rows as one write. Thousands of rows land with
// their autonumbers and indexes checked; a row refused by the engine or by the
// caller's source, however late, leaves the file byte for byte as it was; a
// value for an autonumber column is refused like any other bad value.
#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"
#include "file/journal.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace jet;
using namespace jettest;

namespace {

// Fills a velmor2001 row of the indexed fixture (id left to the engine).
void fillRow(const TableInfo& t, std::vector<Value>& values, int n) {
    auto set = [&](const char* name, Value v) {
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (t.columns[i].name == name)
                values[i] = std::move(v);
    };
    set("naccord", Value::text("L-" + std::to_string(n)));
    set("client", Value::text(n % 3 ? "Société Générale d'Équipement"
                                    : "L'Oréal n°" + std::to_string(n % 50)));
    set("dateaccord", Value::dateTime(2001, 1 + n % 12, 1 + n % 28));
    if (n % 100 == 0)
        set("intervention", Value::text(std::string(3000, 'm') + std::to_string(n)));
}

} // namespace

TEST(InsertRows, ThousandsOfRowsInOneWrite) {
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001-indexed.mdb", dir);
    auto db = Database::open(file, OpenMode::ReadWrite);
    const TableInfo t = db->table("velmor2001");
    int n = 0;
    long added = db->insertRows("velmor2001", [&](std::vector<Value>& values) {
        EXPECT_EQ(values.size(), t.columns.size());
        EXPECT_TRUE(
            std::all_of(values.begin(), values.end(), [](const Value& v) { return v.isNull(); }));
        if (n == 5000)
            return false;
        fillRow(t, values, ++n);
        return true;
    });
    EXPECT_EQ(added, 5000);
    EXPECT_EQ(db->table("velmor2001").rowCount, 5008u);
    auto rs = db->openRecordset("SELECT * FROM velmor2001 WHERE naccord = 'L-5000'");
    ASSERT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(rs->value("id").asInt(), 5008); // the autonumbers follow the fixture's 1 to 8
    db.reset();
    expectHealthy(file);
}

TEST(InsertRows, ARefusedRowLeavesTheFileAsItWas) {
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001-indexed.mdb", dir);
    const std::string before = fileBytes(file);
    auto db = Database::open(file, OpenMode::ReadWrite);
    const TableInfo t = db->table("velmor2001");
    const int id = db->openRecordset("velmor2001")->columnIndex("id");
    const int naccord = db->openRecordset("velmor2001")->columnIndex("naccord");

    struct Case {
        const char* what;
        std::function<void(std::vector<Value>&)> spoil; // applied to row 3000
        Code code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"texte trop long",
         [&](std::vector<Value>& v) { v[size_t(naccord)] = Value::text(std::string(51, 'x')); },
         Code::InvalidValue, "trop long"},
        {"numéro automatique choisi",
         [&](std::vector<Value>& v) { v[size_t(id)] = Value::integer(3); }, Code::InvalidValue,
         "numérotée automatiquement"},
        {"source en erreur",
         [](std::vector<Value>&) {
             throw Error(Code::InvalidValue, "ligne 3001 : date impossible");
         },
         Code::InvalidValue, "date impossible"},
    };
    for (const Case& c : cases) {
        int n = 0;
        try {
            db->insertRows("velmor2001", [&](std::vector<Value>& values) {
                fillRow(t, values, ++n);
                if (n == 3000)
                    c.spoil(values);
                return true; // never ends: the refusal must stop it
            });
            ADD_FAILURE() << c.what << " : accepté";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), c.code) << c.what;
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.what << " : " << e.what();
        }
        EXPECT_EQ(n, 3000) << c.what << " : rows asked for after the refused one";
        EXPECT_EQ(db->table("velmor2001").rowCount, 8u) << c.what;
        EXPECT_EQ(fileBytes(file), before) << c.what;
        EXPECT_FALSE(writer::journalPending(file)) << c.what;
    }
    db.reset();
    expectHealthy(file);
}
