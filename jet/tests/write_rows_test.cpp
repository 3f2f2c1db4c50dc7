// Table names at the level of the table writer (what the rows read back is
// write_recordset_test's, through the same writer).
#include "table/catalog_writer.h"
#include "file/page_store.h"
#include "table/table_writer.h"
#include "test_support.h"

#include "jet/status.h"

#include <gtest/gtest.h>

using namespace jet;
using namespace jet::writer;
using namespace jettest;

// A table is found whatever the case of its name, accented letters
// included, by the write side as by the readers.
TEST(WriteRows, TableNamesIgnoreCaseOfAccentedLetters)
{
    auto dir = scratchDir();
    const std::string file = (dir / "casse.mdb").string();
    Database::create(file)->createTable("Prêts", {{"numéro", ColumnType::Long, 0, false}});
    {
        PageStore store(file);
        Transaction txn(store);
        const uint32_t page = findTableDefinition(txn, "Prêts");
        EXPECT_EQ(findTableDefinition(txn, "PRÊTS"), page);
        EXPECT_EQ(detail::readTableDef(txn, page).columnIndex("NUMÉRO"), 0);
    }
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->table("prÊts").name, "Prêts");
}
