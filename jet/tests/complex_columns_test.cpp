// Columns the engine does not convert: complex columns (their kind named,
// their value the complex id), unknown types (their stored bytes), and the
// files of attachment columns, inflated.
#include "test_support.h"

#include "format/complex_columns.h"
#include "file/page_file.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <cstring>

using namespace jet;
using namespace jettest;

namespace {

const char* kUnsupported = "access-corpus/unsupportedFieldsTestV2007.accdb";
const char* kBigint = "access-corpus/bigint.accdb";

const ColumnInfo& column(const TableInfo& t, const std::string& name)
{
    for (const auto& c : t.columns) {
        if (c.name == name)
            return c;
    }
    throw std::runtime_error("no column " + name);
}

} // namespace

TEST(ComplexColumns, KindsAndUnconvertedValues)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kUnsupported);
    auto db = Database::open(fixture(kUnsupported), OpenMode::ReadOnly);
    const TableInfo t = db->table("Test");
    EXPECT_EQ(column(t, "UnknownVar").typeCode, 0x46);
    EXPECT_EQ(column(t, "UnknownVar").type, ColumnType::Complex);
    EXPECT_EQ(column(t, "UnknownVar").complex, ComplexKind::None);
    EXPECT_EQ(column(t, "UnknownFix").typeCode, 0x47);
    EXPECT_EQ(column(t, "UnknownComplex").complex, ComplexKind::MultiValue);
    EXPECT_EQ(db->table("MSysResources").columns.size(), 5u);
    EXPECT_EQ(column(db->table("MSysResources"), "Data").complex, ComplexKind::Attachment);

    // As the independent reader's dump writes them.
    auto rows = db->openRecordset("Test");
    std::vector<std::vector<std::string>> got;
    for (; rows->hasCurrent(); rows->moveNext()) {
        got.push_back({});
        for (int i = 1; i < 4; ++i) {
            const Value v = rows->value(i);
            EXPECT_TRUE(v.isNull() || v.kind() == Value::Kind::Unsupported);
            got.back().push_back(v.isNull() ? "NULL" : v.asText());
        }
    }
    const std::vector<std::vector<std::string>> want = {
        {"RawData[(10) FF FE 73 6F  6D 65 64 61  74 61]", "RawData[(4) 37 00 00 00]", "1"},
        {"RawData[(12) FF FE 6F 74  68 65 72 20  64 61 74 61]", "RawData[(4) F3 FF FF FF]", "2"},
        {"NULL", "RawData[(4) 02 00 00 00]", "3"}};
    EXPECT_EQ(got, want);
    EXPECT_THROW(db->attachments("Test", "UnknownComplex"), Error);
    EXPECT_THROW(db->attachments("Test", "Nothing"), Error);
}

// MSysResources keeps Access's theme as an attachment: a compressed file
// that inflates to the theme's ZIP archive.
TEST(ComplexColumns, AttachmentsAreReadWhole)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kBigint);
    auto db = Database::open(fixture(kBigint), OpenMode::ReadOnly);
    const std::vector<Attachment> files = db->attachments("MSysResources", "Data");
    ASSERT_EQ(files.size(), 1u);
    const Attachment& theme = files[0];
    EXPECT_EQ(theme.fileName, "Office Theme.thmx");
    EXPECT_EQ(theme.fileType, "thmx");
    ASSERT_GT(theme.data.size(), 1000u);
    EXPECT_EQ(std::memcmp(theme.data.data(), "PK\x03\x04", 4), 0);
    // An archive ends with its end-of-central-directory record.
    const size_t end = theme.data.size() - 22;
    EXPECT_EQ(std::memcmp(theme.data.data() + end, "PK\x05\x06", 4), 0);
    auto row = db->openRecordset("MSysResources");
    EXPECT_EQ(row->value("Data").asText(), std::to_string(theme.complexId));
}

TEST(ComplexColumns, AttachmentBytesAreChecked)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kBigint);
    detail::PageFile file(fixture(kBigint));
    auto stored = [](uint32_t flag, const std::vector<uint8_t>& content) {
        std::vector<uint8_t> b = {uint8_t(flag), 0, 0, 0, uint8_t(content.size()), uint8_t(content.size() >> 8), 0, 0};
        b.insert(b.end(), content.begin(), content.end());
        return b;
    };
    // Uncompressed: a 12-byte header ("x" as the extension), then the file.
    const std::vector<uint8_t> plain = {12, 0, 0, 0, 1, 0, 0, 0, 'x', 0, 0, 0, 'a', 'b', 'c'};
    EXPECT_EQ(detail::attachmentFileBytes(file, 9, stored(0, plain)), (std::vector<uint8_t>{'a', 'b', 'c'}));
    // zlib with one stored block holding the same content.
    std::vector<uint8_t> z = {0x78, 0x01, 0x01, 15, 0, 0xF0, 0xFF};
    z.insert(z.end(), plain.begin(), plain.end());
    uint32_t a = 1, b = 0;
    for (uint8_t c : plain) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const uint32_t adler = b << 16 | a;
    for (int shift = 24; shift >= 0; shift -= 8)
        z.push_back(uint8_t(adler >> shift));
    std::vector<uint8_t> compressed = stored(1, z);
    compressed[4] = uint8_t(plain.size());
    EXPECT_EQ(detail::attachmentFileBytes(file, 9, compressed), (std::vector<uint8_t>{'a', 'b', 'c'}));

    auto corrupt = [&](const std::vector<uint8_t>& bytes) {
        try {
            detail::attachmentFileBytes(file, 9, bytes);
        } catch (const Error& e) {
            return e.code() == Code::Corrupt && std::string(e.what()).find("page 9") != std::string::npos;
        }
        return false;
    };
    std::vector<uint8_t> badSum = compressed;
    badSum.back() ^= 1;
    EXPECT_TRUE(corrupt(badSum));
    std::vector<uint8_t> cut = compressed;
    cut.resize(cut.size() - 6);
    EXPECT_TRUE(corrupt(cut));
    EXPECT_TRUE(corrupt(stored(2, plain)));             // unknown flag
    EXPECT_TRUE(corrupt({1, 0, 0}));                    // too short
    std::vector<uint8_t> longHeader = plain;
    longHeader[0] = 200;
    EXPECT_TRUE(corrupt(stored(0, longHeader)));
}

// A row added to a table with complex columns takes the table's next complex
// id (the same in each), as Access gives them; the indexes on complex
// columns key that id as a Long (Access's own pages: the check verifies
// them). Deleting a row deletes its values from the hidden table.
TEST(ComplexColumns, RowsAddedAndDeletedWithTheirValues)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kBigint);
    auto dir = scratchDir();
    const std::string file = copyFixture(kBigint, dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("MSysResources");
        const std::string theme = rs->value("Data").asText();
        const Bookmark themeRow = rs->bookmark();
        rs->addNew();
        rs->setValue(rs->columnIndex("Name"), Value::text("Velmor"));
        EXPECT_THROW(rs->setValue(rs->columnIndex("Data"), Value::integer(1)), Error);
        rs->update();
        rs->setBookmark(rs->lastModified());
        EXPECT_EQ(rs->value("Data").asText(), std::to_string(std::stoi(theme) + 1));
        rs->setBookmark(themeRow);
        rs->deleteCurrent();
        EXPECT_TRUE(db->attachments("MSysResources", "Data").empty());
    }
    const CheckReport report = expectHealthy(file);
    for (const std::string& note : report.notes)
        EXPECT_EQ(note.find("non vérifié"), std::string::npos) << note;
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->openRecordset("MSysResources")->recordCount(), 1);
    std::filesystem::remove_all(dir);
}
