// Table names at the level of the table writer (what Jet 4 rows read back is
// write_recordset_test's, through the same writer), and the writes an Access
// 97 (Jet3) file takes, read back by mdbtools.
#include "table/catalog_writer.h"
#include "format/jet3_row.h"
#include "format/data_page_writer.h"
#include "file/page_store.h"
#include "table/table_writer.h"
#include "format/usage_map.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <random>

using namespace jet;
using namespace jet::writer;
using namespace jettest;

namespace {

// `piece` written `n` times.
std::string times(const std::string& piece, int n)
{
    return repeatText(piece, piece.size() * size_t(n));
}

} // namespace

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

namespace {

// A table as mdb-export (binary in hex) and velmor-db export read it, rows
// sorted, binary and case of hex digits alike.
void expectJet3ExportsEqual(const std::string& file, const std::string& table)
{
    auto rows = [](std::string csv, bool ours) {
        auto parsed = parseCsv(csv);
        for (auto& row : parsed)
            for (auto& cell : row) {
                if (ours && cell.rfind("0x", 0) == 0)
                    cell.erase(0, 2);
                std::transform(cell.begin(), cell.end(), cell.begin(), [](unsigned char c) { return std::tolower(c); });
            }
        std::sort(parsed.begin() + (parsed.empty() ? 0 : 1), parsed.end());
        return parsed;
    };
    auto theirs = rows(runCommand("mdb-export -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
                                  shellQuote(file) + " " + shellQuote(table) + " 2>/dev/null"),
                       false);
    auto ours = rows(runCommand(std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db export " + shellQuote(file) + " " +
                                shellQuote(table) + " 2>/dev/null"),
                     true);
    ASSERT_EQ(ours.size(), theirs.size()) << table;
    for (size_t i = 0; i < ours.size(); ++i)
        EXPECT_EQ(ours[i], theirs[i]) << table << ", ligne " << i;
}

} // namespace

// An Access 97 file (Northwind): texts in its code page, memos in each of
// their three forms, an OLE value, rows grown past 256 bytes (the jump
// table) and moved off their page, rows added to, changed in and deleted
// from indexed tables; mdbtools and our reader read them back, the check
// (every index against its rows) finds nothing.
TEST(WriteRows, Jet3UpdatesReadBackWithMdbtools)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    auto dir = scratchDir();
    const std::string file = copyFixture("access-made/nwind.mdb", dir);
    const std::string chain = repeatText("Notes — été, œuvre n°3, l’atelier. ", 6000);
    const std::string onePage = repeatText("Réparé. ", 150);
    std::vector<uint8_t> photo(5000);
    for (size_t i = 0; i < photo.size(); ++i)
        photo[i] = uint8_t(i * 7);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        db->execute("UPDATE Employees SET Notes = '" + chain + "' WHERE EmployeeID = 1");
        db->execute("UPDATE Employees SET Notes = '" + onePage + "' WHERE EmployeeID = 2");
        db->execute("UPDATE Employees SET Notes = NULL, Photo = NULL WHERE EmployeeID = 4");
        // Every column no index covers at its longest, the memo and the
        // picture inline: a row of more than 256 bytes.
        db->execute("UPDATE Employees SET FirstName = 'Françoise', Title = '" + times("Œ", 30) +
                    "', TitleOfCourtesy = '" + times("é", 25) + "', Address = '" + times("à", 60) + "', City = '" +
                    times("Ü", 15) + "', Region = 'Île-de-France', Country = '" + times("ç", 15) +
                    "', HomePhone = '" + times("9", 24) + "', Extension = '1234', Notes = '" + times("«»", 30) +
                    "' WHERE EmployeeID = 3");
        auto rs = db->openRecordset("Employees");
        for (rs->moveFirst(); rs->value(0).asInt() != 3; rs->moveNext()) {
        }
        rs->edit();
        rs->setValue(rs->columnIndex("Photo"), Value::binary({1, 2, 3, 0, 255}));
        rs->update();
        for (rs->moveFirst(); rs->value(0).asInt() != 5; rs->moveNext()) {
        }
        rs->edit();
        rs->setValue(rs->columnIndex("Photo"), Value::binary(photo));
        rs->update();
        // Every row longer: most leave their page.
        EXPECT_EQ(db->execute("UPDATE Customers SET ContactTitle = 'Directrice générale adjointe', Address = '" +
                              times("Rue de l''Été ", 4) + "', Fax = '01 98 76 54 32'"),
                  91);
        EXPECT_EQ(db->execute("UPDATE Categories SET Description = '" + chain + "' WHERE CategoryID < 5"), 4);

        // Indexed tables: rows added (enough to split the index pages),
        // indexed columns changed, rows deleted; Access 97's keys throughout.
        for (int i = 0; i < 400; ++i)
            db->execute("INSERT INTO Customers (CustomerID, CompanyName, City, PostalCode) VALUES ('Z" +
                        std::to_string(1000 + i) + "', 'Société n°" + std::to_string(i) + " Çà et là', '" +
                        (i % 2 ? "Évry" : "Œuilly") + "', '" + std::to_string(91000 + i * 7) + "')");
        EXPECT_EQ(db->execute("UPDATE Customers SET City = 'Lyon', CompanyName = 'Île de Ré' WHERE CustomerID < 'C'"),
                  11);
        EXPECT_EQ(db->execute("DELETE FROM Customers WHERE CustomerID >= 'Z1100' AND CustomerID < 'Z1300'"), 200);
        db->execute("INSERT INTO Shippers (CompanyName) VALUES ('La Poste')");
        const std::string before = fileBytes(file);
        try {
            db->execute("UPDATE Employees SET Title = 'Ωmega' WHERE EmployeeID = 6");
            ADD_FAILURE() << "Ω écrit en page de codes 1252";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "le caractère « Ω » ne peut pas être enregistré dans la colonne « Title » : "
                                             "une base Access 97 range son texte dans la page de codes 1252, qui ne "
                                             "le contient pas");
        }
        EXPECT_EQ(fileBytes(file), before);
    }
    for (const char* table : {"Employees", "Customers", "Categories", "Shippers"})
        expectJet3ExportsEqual(file, table);
    auto db = Database::open(file, OpenMode::ReadOnly);
    auto rs = db->openRecordset("SELECT * FROM Employees WHERE EmployeeID <= 5 ORDER BY EmployeeID");
    const int title = rs->columnIndex("Title"), notes = rs->columnIndex("Notes"), picture = rs->columnIndex("Photo");
    rs->moveFirst();
    EXPECT_EQ(rs->value(notes).asText(), chain);
    rs->moveNext();
    EXPECT_EQ(rs->value(notes).asText(), onePage);
    rs->moveNext();
    EXPECT_EQ(rs->value(title).asText(), times("Œ", 30));
    EXPECT_EQ(rs->value(notes).asText(), times("«»", 30));
    EXPECT_EQ(rs->value(picture).asBinary(), std::vector<uint8_t>({1, 2, 3, 0, 255}));
    rs->moveNext();
    EXPECT_TRUE(rs->value(notes).isNull());
    rs->moveNext();
    EXPECT_EQ(rs->value(picture).asBinary(), photo);
    const CheckReport report = checkDatabase(file);
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
}

// The tail of Jet3 rows (one-byte offsets and jump table) reads back as
// written for rows of every length up to a page, with a filler entry where
// the row's length asks for one more than the offsets need.
TEST(WriteRows, Jet3RowTailReadsBack)
{
    std::mt19937 rng(97);
    int fillers = 0;
    for (size_t length = 1; length < 1900; length += 1 + rng() % 5) {
        const size_t columns = 1 + rng() % 40;
        std::vector<uint16_t> offsets;
        size_t at = 1 + rng() % 30; // the column count, then fixed columns
        std::vector<uint8_t> row(at, 0);
        for (size_t c = 0; c < columns; ++c) {
            offsets.push_back(uint16_t(row.size()));
            const size_t n = c + 1 == columns ? (length > row.size() ? length - row.size() : 0)
                                              : std::min<size_t>(rng() % 600, length - std::min(length, row.size()));
            row.insert(row.end(), n, uint8_t(c));
        }
        offsets.push_back(uint16_t(row.size()));
        const std::vector<uint8_t> mask((columns + 8) / 8, 0xFF);
        const size_t dataEnd = row.size();
        ASSERT_TRUE(detail::appendJet3Tail(row, offsets, mask)) << length;
        fillers += (row.size() - 1) / 256 > dataEnd / 256;
        std::vector<uint16_t> read;
        ASSERT_TRUE(detail::readJet3Offsets(row.data(), row.size(), mask.size(), read)) << length;
        EXPECT_EQ(read, offsets) << "ligne de " << row.size() << " octets";
    }
    EXPECT_GT(fillers, 0);
}

// A Jet3 table without indexes, as many desks' own tables are, takes adds
// and deletes too. The Access 97 fixtures have none: this one is Table2 of
// indexTestV1997.mdb with its indexes taken out of its definition (page
// 41: the 43-byte header with no index counted, the columns and their
// names, the end mark).
TEST(WriteRows, Jet3AddsAndDeletesInATableWithoutIndexes)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-corpus/indexTestV1997.mdb");
    auto dir = scratchDir();
    const std::string file = copyFixture("access-corpus/indexTestV1997.mdb", dir);
    const std::string bytes = fileBytes(file);
    const size_t tdef = 41 * 2048, columns = 2;
    auto u16 = [&](size_t at) { return size_t(uint8_t(bytes[at])) | size_t(uint8_t(bytes[at + 1])) << 8; };
    const size_t start = tdef + 43 + 8 * u16(tdef + 31); // the columns, after an entry per real index
    size_t end = start + 18 * columns;
    for (size_t c = 0; c < columns; ++c)
        end += 1 + uint8_t(bytes[end]);
    std::string def = bytes.substr(tdef, 43) + bytes.substr(start, end - start) + "\xFF\xFF" + std::string(8, '\0');
    def.replace(27, 8, std::string(8, '\0'));                                    // no logical, no real index
    def.replace(8, 4, std::string(1, char(def.size() - 8)) + std::string(3, '\0')); // its length
    writeAt(file, def + std::string(2048 - def.size(), '\0'), off_t(tdef));

    auto db = Database::open(file, OpenMode::ReadWrite);
    ASSERT_TRUE(db->table("Table2").indexes.empty());
    EXPECT_EQ(db->insertRows("Table2",
                             [n = 3](std::vector<Value>& row) mutable {
                                 if (n > 300)
                                     return false;
                                 row[0] = Value::integer(n);
                                 row[1] = Value::text("Ligne n°" + std::to_string(n) + " — été");
                                 ++n;
                                 return true;
                             }),
              298);
    EXPECT_EQ(db->execute("DELETE FROM Table2 WHERE id < 2 OR id > 250"), 52);
    EXPECT_EQ(db->execute("UPDATE Table2 SET data = 'Modifiée : œuvre' WHERE id = 20"), 1);
    EXPECT_EQ(db->execute("INSERT INTO Table2 (id, data) VALUES (999, 'Zoé')"), 1);
    db.reset();
    expectJet3ExportsEqual(file, "Table2");
    EXPECT_EQ(mdbExport(file, "Table2").size(), 1u + 250);
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->table("Table2").rowCount, 250u);
    expectHealthy(file);
}

// A table is a system table by its flags in the catalog, not by its name:
// MSysCompactError, which Access leaves with flags 0, is a user table.
TEST(WriteRows, TableNamedLikeASystemTableIsListedWithTheUserTables)
{
    auto dir = scratchDir();
    const std::string file = (dir / "compact.mdb").string();
    Database::create(file)->createTable("MSysCompactError", {{"ErrorCode", ColumnType::Long, 0, false}});
    auto db = Database::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(db->tableNames(), std::vector<std::string>{"MSysCompactError"});
    EXPECT_FALSE(db->table("MSysCompactError").system);
    EXPECT_TRUE(db->table("MSysObjects").system);
}
