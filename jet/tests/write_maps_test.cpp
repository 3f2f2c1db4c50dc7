// Thousands of adds: new pages, the table's owned-pages map switching from
// its inline form to a reference map, the global page map moving its window;
// updates that move rows to other pages, deletes; then both readers agree and
// the check passes. Also writes to an ACE (.accdb) file.
#include "table/catalog_writer.h"
#include "database/database_writer.h"
#include "file/page_store.h"
#include "table/table_writer.h"
#include "format/usage_map.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

using namespace jet;
using namespace jettest;

namespace {

void expectReadersAgree(const std::string& file, const std::string& table)
{
    auto ours = readBack(file, table);
    auto theirs = mdbExport(file, table);
    ASSERT_FALSE(theirs.empty());
    theirs.erase(theirs.begin());
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs) << table << " : les deux lecteurs divergent";
}

} // namespace

TEST(WriteMaps, ThousandsOfRowsSwitchToAReferenceMap)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    const int rows = 9000;
    {
        writer::DatabaseWriter w(file);
        for (int batch = 0; batch < rows / 1000; ++batch) {
            w.transact([&](writer::Transaction& txn) {
                writer::TableWriter t(txn, w.definitionPage(txn, "velmor2001"));
                for (int i = 0; i < 1000; ++i) {
                    int n = batch * 1000 + i;
                    std::vector<Value> v(12);
                    v[1] = Value::text("M-" + std::to_string(n));
                    v[2] = Value::dateTime(2002, 1 + n % 12, 1 + n % 28);
                    v[3] = Value::text("Client numéro " + std::to_string(n % 300));
                    v[5] = Value::text(std::string(150 + n % 80, 'a' + char(n % 26)));
                    if (n % 40 == 0)
                        v[9] = Value::text(std::string(300 + n, 'm'));
                    t.insert(v);
                }
                t.finish();
            });
        }
        w.transact([&](writer::Transaction& txn) {
            uint32_t tdef = writer::findTableDefinition(txn, "velmor2001");
            writer::UsageMap owned(txn, detail::readTableDef(txn, tdef).ownedPages);
            EXPECT_TRUE(owned.isReference()) << "la carte des pages aurait dû passer en forme référencée";
            const std::vector<uint32_t> all = owned.pages();
            EXPECT_GT(all.size(), 512u);
            EXPECT_EQ(owned.last(), int64_t(all.back())); // read from the last map page back
            EXPECT_EQ(owned.pages(32), std::vector<uint32_t>(all.begin(), all.begin() + 32));
        });
    }
    auto db = Database::open(file, OpenMode::ReadWrite);
    EXPECT_EQ(db->table("velmor2001").rowCount, uint32_t(8 + rows));
    // Grow some rows beyond what their pages hold, delete others.
    {
        auto rs = db->openRecordset("SELECT * FROM velmor2001 WHERE client = 'Client numéro 7'");
        ASSERT_EQ(rs->recordCount(), 30);
        rs->moveFirst();
        int k = 0;
        while (!rs->eof()) {
            Bookmark b = rs->bookmark();
            if (k % 3 == 2) {
                rs->deleteCurrent();
            } else {
                rs->edit();
                rs->setValue(rs->columnIndex("motif"), Value::text(std::string(255, 'Z')));
                rs->setValue(rs->columnIndex("materiel"), Value::text(std::string(50, 'Y')));
                rs->setValue(rs->columnIndex("intervention"), Value::text(std::string(3000 + k, 'w')));
                rs->update();
                EXPECT_EQ(rs->bookmark(), b);
                EXPECT_EQ(rs->value("motif").asText(), std::string(255, 'Z'));
            }
            rs->moveNext();
            ++k;
        }
    }
    EXPECT_EQ(db->table("velmor2001").rowCount, uint32_t(8 + rows - 10));
    expectHealthy(file);
    expectReadersAgree(file, "velmor2001");
    expectReadersAgree(file, "tablep");
}

TEST(WriteMaps, AceFileAcceptsWrites)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.accdb", dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        ASSERT_FALSE(db->readOnly());
        auto rs = db->openRecordset("velmor2001");
        rs->addNew();
        rs->setValue(rs->columnIndex("client"), Value::text("Société « ACE » d'essai"));
        rs->setValue(rs->columnIndex("intervention"), Value::text(std::string(5000, 'c') + " — fin"));
        rs->setValue(rs->columnIndex("dateaccord"), Value::dateTime(2007, 7, 7, 7, 7, 7));
        rs->update();
        rs->moveFirst();
        rs->edit();
        rs->setValue(rs->columnIndex("intervention"), Value::text("Réécrit."));
        rs->update();
        rs->moveNext();
        rs->deleteCurrent();
        EXPECT_EQ(db->execute("UPDATE tablep SET rdzvp = 'jeudi' WHERE clientp = 'L''Oréal'"), 2);
    }
    expectHealthy(file);
    expectReadersAgree(file, "velmor2001");
    expectReadersAgree(file, "tablep");
}

// Access may keep the global page map in reference form with a slot it never
// used holding 0xFFFFFF80 (an Access 2000 file has it in its last slot): no
// page has such a number, so the slot is empty, and writes go on.
TEST(WriteMaps, GlobalReferenceMapWithANegativeSlot)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    const size_t pageSize = 4096;
    std::string page1 = fileBytes(file).substr(pageSize, pageSize);
    const size_t start = (uint8_t(page1[14]) | uint8_t(page1[15]) << 8) & 0x1FFF; // row 0 runs to the page's end
    ASSERT_EQ(pageSize - start, 69u);
    std::string map(69, '\0');
    map[0] = 0x01;
    map.replace(65, 4, "\x80\xff\xff\xff");
    writeAt(file, map, off_t(pageSize + start));
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        for (int i = 0; i < 40; ++i) {
            rs->addNew();
            rs->setValue(rs->columnIndex("client"), Value::text("Client " + std::to_string(i)));
            rs->setValue(rs->columnIndex("intervention"), Value::text(std::string(3000, char('a' + i % 26))));
            rs->update();
        }
    }
    expectHealthy(file);
    expectReadersAgree(file, "velmor2001");
}
