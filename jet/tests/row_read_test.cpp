// Reading the values of damaged rows: a row too short for its fixed
// columns, a variable column placed outside its row, a column count that
// the row cannot hold. Each gives a Corrupt error naming the file and the
// page, for the value concerned only; the other rows still read.
#include "format/data_page_writer.h"
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>

using namespace jettest;
using jet::writer::rd16;
using jet::writer::rd32;
using jet::writer::wr16;

using jet::Bookmark;
using jet::Code;

namespace {

constexpr size_t kPageSize = 4096;

class RowRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        dir_ = scratchDir();
        const std::string original = fileBytes(fixture("velmor2001.mdb"));
        bytes_.assign(original.begin(), original.end());
        auto db = jet::Database::open(fixture("velmor2001.mdb"), jet::OpenMode::ReadOnly);
        const uint32_t tdef = db->table("tablep").definitionPage;
        for (size_t p = 1; p < bytes_.size() / kPageSize && page_ == 0; ++p) {
            if (bytes_[p * kPageSize] == 0x01 && rd32(&bytes_[p * kPageSize + 4]) == tdef)
                page_ = p;
        }
        ASSERT_NE(page_, 0u);
        rows_ = rd16(&bytes_[page_ * kPageSize + 12]);
        ASSERT_GE(rows_, 2u);
    }
    void TearDown() override
    {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    // Where row `row` of the data page starts and ends in the file.
    size_t rowStart(uint16_t row) const { return page_ * kPageSize + (rd16(&bytes_[entry(row)]) & 0x1FFF); }
    size_t rowEnd(uint16_t row) const
    {
        return page_ * kPageSize + (row == 0 ? kPageSize : (rd16(&bytes_[entry(uint16_t(row - 1))]) & 0x1FFF));
    }
    size_t entry(uint16_t row) const { return page_ * kPageSize + 14 + 2 * size_t(row); }

    std::unique_ptr<jet::Database> open(const std::vector<uint8_t>& bytes)
    {
        std::string path = (dir_ / "abime.mdb").string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        return jet::Database::open(path, jet::OpenMode::ReadOnly);
    }

    // The error reading `column` of row `row` of the data page (fails the
    // test if there is none).
    jet::Error errorOf(jet::Recordset& rs, uint16_t row, const std::string& column)
    {
        rs.setBookmark(Bookmark{uint32_t(page_), row});
        try {
            rs.value(column);
        } catch (const jet::Error& e) {
            return e;
        }
        ADD_FAILURE() << "pas d'erreur pour la colonne " << column << " de la ligne " << row;
        return jet::Error(Code::IoError, "");
    }

    void expectCorrupt(const jet::Error& e, const std::string& what)
    {
        EXPECT_EQ(e.code(), Code::Corrupt) << e.what();
        const std::string message = e.what();
        EXPECT_NE(message.find("abime.mdb"), std::string::npos) << message;
        EXPECT_NE(message.find("page " + std::to_string(page_)), std::string::npos) << message;
        EXPECT_NE(message.find(what), std::string::npos) << message;
    }

    // Every other row of the page still reads in full.
    void expectOtherRowsRead(jet::Recordset& rs, uint16_t damaged)
    {
        for (uint16_t row = 0; row < rows_; ++row) {
            if (row == damaged)
                continue;
            rs.setBookmark(Bookmark{uint32_t(page_), row});
            for (int c = 0; c < int(rs.columns().size()); ++c)
                EXPECT_NO_THROW(rs.value(c).toString()) << "ligne " << row << ", colonne " << c;
        }
    }

    std::filesystem::path dir_;
    std::vector<uint8_t> bytes_;
    size_t page_ = 0;
    uint16_t rows_ = 0;
};

} // namespace

TEST_F(RowRead, RowTooShortForItsFixedColumns)
{
    // The page's last row cut to 8 bytes: 12 columns, no variable column
    // stored, every column present. Its dates would lie past its end.
    const uint16_t last = uint16_t(rows_ - 1);
    std::vector<uint8_t> damaged = bytes_;
    const size_t end = rowEnd(last);
    const uint16_t flags = rd16(&damaged[entry(last)]) & 0xE000;
    wr16(&damaged[entry(last)], uint16_t(flags | ((end - 8 - page_ * kPageSize) & 0x1FFF)));
    const uint8_t row[8] = {12, 0, 0x55, 0x55, 0, 0, 0xFF, 0xFF};
    std::copy(row, row + 8, damaged.begin() + long(end - 8));
    auto db = open(damaged);
    auto rs = db->openRecordset("tablep");
    expectCorrupt(errorOf(*rs, last, "dateaccordp"), "hors de la zone de 8 octets");
    // Its text columns are not stored (the row predates them): null.
    rs->setBookmark(Bookmark{uint32_t(page_), last});
    EXPECT_TRUE(rs->value("clientp").isNull());
    expectOtherRowsRead(*rs, last);
}

TEST_F(RowRead, VariableColumnOutsideItsRow)
{
    // Row 0: the first variable column said to start at 0x0FFF.
    std::vector<uint8_t> damaged = bytes_;
    const size_t end = rowEnd(0);
    const size_t countAt = end - 2 /* null mask of 12 columns */ - 2;
    ASSERT_GT(rd16(&damaged[countAt]), 0u);
    wr16(&damaged[countAt - 2], 0x0FFF);
    auto db = open(damaged);
    auto rs = db->openRecordset("tablep");
    int damagedColumns = 0;
    for (const jet::ColumnInfo& c : rs->columns()) {
        if (c.fixed)
            continue;
        rs->setBookmark(Bookmark{uint32_t(page_), 0});
        try {
            rs->value(c.name).toString();
        } catch (const jet::Error& e) {
            ++damagedColumns;
            expectCorrupt(e, "colonne " + c.name);
            expectCorrupt(e, "hors de la ligne");
        }
    }
    EXPECT_EQ(damagedColumns, 1);
    rs->setBookmark(Bookmark{uint32_t(page_), 0});
    EXPECT_NO_THROW(rs->value("dateaccordp"));
    expectOtherRowsRead(*rs, 0);
}

TEST_F(RowRead, ColumnCountTheRowCannotHold)
{
    std::vector<uint8_t> damaged = bytes_;
    wr16(&damaged[rowStart(1)], 0xFFFF);
    auto db = open(damaged);
    auto rs = db->openRecordset("tablep");
    expectCorrupt(errorOf(*rs, 1, "emetteurp"), "trop courte");
    expectCorrupt(errorOf(*rs, 1, "dateaccordp"), "trop courte");
    expectOtherRowsRead(*rs, 1);
}
