// Damaged and foreign files: every one gives a jet::Error that names the
// file (and the page, for damage inside the file); none crashes or hangs.
#include "format/data_page_writer.h"
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <cstdint>
#include <fstream>
#include <random>

using namespace jettest;
using jet::writer::rd32;
using jet::writer::wr32;

using jet::Code;

namespace {

std::vector<uint8_t> readBytes(const std::string& path)
{
    const std::string bytes = fileBytes(path);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override { dir_ = scratchDir(); }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::string path = (dir_ / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    std::filesystem::path dir_;
};

// Opens the file and reads every value of every table (system ones too).
void readEverything(const std::string& path)
{
    auto db = jet::Database::open(path, jet::OpenMode::ReadOnly);
    for (const auto& name : db->tableNames(true)) {
        db->table(name);
        auto rs = db->openRecordset(name);
        const int columns = int(rs->columns().size());
        while (rs->hasCurrent()) {
            for (int c = 0; c < columns; ++c)
                rs->value(c).toString();
            rs->moveNext();
        }
    }
}

// The error readEverything raises (fails the test if none).
jet::Error errorReading(const std::string& path)
{
    try {
        readEverything(path);
    } catch (const jet::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error for " << path;
    return jet::Error(Code::IoError, "");
}

// First data page (type 1) owned by the table definition at `tdef`.
size_t firstDataPage(const std::vector<uint8_t>& b, uint32_t tdef, size_t pageSize)
{
    for (size_t p = 1; p < b.size() / pageSize; ++p) {
        if (b[p * pageSize] == 0x01 && rd32(&b[p * pageSize + 4]) == tdef)
            return p;
    }
    return 0;
}

bool mentions(const jet::Error& e, const std::string& text)
{
    return std::string(e.what()).find(text) != std::string::npos;
}

} // namespace

TEST_F(BadInput, MissingEmptyAndForeignFiles)
{
    try {
        jet::Database::open((dir_ / "absent.mdb").string());
        FAIL();
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), Code::IoError);
        EXPECT_TRUE(mentions(e, "absent.mdb"));
    }
    jet::Error empty = errorReading(write("vide.mdb", {}));
    EXPECT_EQ(empty.code(), Code::NotADatabase);
    EXPECT_TRUE(mentions(empty, "vide.mdb"));

    // The system's reason in French, whatever the process's locale.
    try {
        jet::Database::open((dir_ / "vide.mdb" / "base.mdb").string());
        FAIL();
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), Code::IoError);
        EXPECT_TRUE(mentions(e, "base.mdb : un élément du chemin n'est pas un dossier")) << e.what();
    }

    std::string text = "Ceci est un fichier texte, pas une base.\n";
    jet::Error foreign = errorReading(write("texte.mdb", std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_EQ(foreign.code(), Code::NotADatabase);
    EXPECT_TRUE(mentions(foreign, "texte.mdb"));

    // A Jet signature on a file shorter than one page.
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    std::vector<uint8_t> bytes = readBytes(fixture("velmor2001.mdb"));
    bytes.resize(1000);
    jet::Error tiny = errorReading(write("court.mdb", bytes));
    EXPECT_EQ(tiny.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(tiny, "page 0"));
}

TEST_F(BadInput, EncryptedAndPasswordProtectedFilesAreRefused)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    std::vector<uint8_t> bytes = readBytes(fixture("velmor2001.mdb"));
    // The header fields are masked: flipping a masked byte flips the field.
    std::vector<uint8_t> encrypted = bytes;
    encrypted[0x3E] ^= 0x5A; // encoding key
    jet::Error e1 = errorReading(write("chiffre.mdb", encrypted));
    EXPECT_EQ(e1.code(), Code::Unsupported);
    EXPECT_TRUE(mentions(e1, "chiffrée"));
    std::vector<uint8_t> password = bytes;
    password[0x42] ^= 0x41; // first password character
    jet::Error e2 = errorReading(write("motdepasse.mdb", password));
    EXPECT_EQ(e2.code(), Code::PasswordRequired);
    EXPECT_TRUE(mentions(e2, "mot de passe"));
}

TEST_F(BadInput, TruncatedFile)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    std::vector<uint8_t> bytes = readBytes(fixture("velmor2001.mdb"));
    for (size_t keep : {size_t(4096), size_t(3 * 4096), bytes.size() / 2, bytes.size() - 4096, bytes.size() - 100}) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(keep));
        std::string path = write("tronque.mdb", cut);
        try {
            readEverything(path);
            // Cutting only unused pages is allowed to go unnoticed.
        } catch (const jet::Error& e) {
            EXPECT_TRUE(e.code() == Code::Corrupt) << e.what();
            EXPECT_TRUE(mentions(e, "tronque.mdb")) << e.what();
            EXPECT_TRUE(mentions(e, "page")) << e.what();
        }
    }
}

TEST_F(BadInput, LoopsAndPointersOutOfRange)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    const size_t pageSize = 4096;
    std::vector<uint8_t> bytes = readBytes(fixture("velmor2001.mdb"));
    uint32_t tdef = jet::Database::open(fixture("velmor2001.mdb"), jet::OpenMode::ReadOnly)->table("tablep").definitionPage;
    ASSERT_GT(tdef, 2u);

    // The table definition continues on itself.
    std::vector<uint8_t> loop = bytes;
    wr32(&loop[tdef * pageSize + 4], tdef);
    jet::Error e1 = errorReading(write("boucle.mdb", loop));
    EXPECT_EQ(e1.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(e1, "page " + std::to_string(tdef))) << e1.what();
    EXPECT_TRUE(mentions(e1, "boucle")) << e1.what();

    // The usage map pointer names a page past the end of the file.
    std::vector<uint8_t> far = bytes;
    wr32(&far[tdef * pageSize + 55], 0xFFFFFF00u);
    jet::Error e2 = errorReading(write("loin.mdb", far));
    EXPECT_EQ(e2.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(e2, "au-delà de la fin du fichier")) << e2.what();

    // A row whose offset lies beyond its page.
    size_t data = firstDataPage(bytes, tdef, pageSize);
    ASSERT_NE(data, 0u);
    std::vector<uint8_t> row = bytes;
    row[data * pageSize + 14] = 0xFF;
    row[data * pageSize + 15] = 0x1F;
    jet::Error e3 = errorReading(write("ligne.mdb", row));
    EXPECT_EQ(e3.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(e3, "page " + std::to_string(data))) << e3.what();

    // Too many rows for the page.
    std::vector<uint8_t> rows = bytes;
    rows[data * pageSize + 12] = 0xFF;
    rows[data * pageSize + 13] = 0x7F;
    jet::Error e4 = errorReading(write("lignes.mdb", rows));
    EXPECT_EQ(e4.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(e4, "page " + std::to_string(data))) << e4.what();

    // A moved row that points at itself.
    std::vector<uint8_t> moved = bytes;
    uint16_t first = uint16_t(moved[data * pageSize + 14] | moved[data * pageSize + 15] << 8);
    moved[data * pageSize + 15] = uint8_t(((first & 0x1FFF) | 0x4000) >> 8);
    wr32(&moved[data * pageSize + (first & 0x1FFF)], uint32_t(data) << 8);
    jet::Error e5 = errorReading(write("deplacee.mdb", moved));
    EXPECT_EQ(e5.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(e5, "boucle")) << e5.what();

    // The catalog's own definition has a complex column, whose description
    // would be read through the catalog again.
    std::vector<uint8_t> self = bytes;
    self[2 * pageSize + 63 + 12 * rd32(&self[2 * pageSize + 51])] = 0x12;
    jet::Error e6 = errorReading(write("catalogue.mdb", self));
    EXPECT_EQ(e6.code(), Code::Corrupt);
    EXPECT_TRUE(mentions(e6, "page 2")) << e6.what();
}

TEST_F(BadInput, ByteFlipsInEveryPageNeverCrash)
{
    for (const char* name : {"velmor2001.mdb", "velmor2001.accdb", "access-made/DateTestDatabase.mdb"}) {
        VELMOR_SKIP_WITHOUT_FIXTURE(name);
        std::vector<uint8_t> bytes = readBytes(fixture(name));
        const size_t pageSize = 4096;
        std::mt19937 random(12345);
        int errors = 0, clean = 0;
        for (size_t page = 0; page < bytes.size() / pageSize; ++page) {
            for (int trial = 0; trial < 6; ++trial) {
                std::vector<uint8_t> damaged = bytes;
                // Mostly the structural head of the page, sometimes anywhere.
                size_t offset = trial < 4 ? random() % 96 : random() % pageSize;
                damaged[page * pageSize + offset] ^= uint8_t(1u << (random() % 8));
                if (trial == 5)
                    damaged[page * pageSize + random() % pageSize] = uint8_t(random());
                std::string path = write("abime.mdb", damaged);
                try {
                    readEverything(path);
                    ++clean;
                } catch (const jet::Error& e) {
                    ++errors;
                    EXPECT_TRUE(mentions(e, "abime.mdb") || e.code() == Code::NotFound || e.code() == Code::SqlError)
                        << e.what();
                }
            }
        }
        EXPECT_GT(errors + clean, 0);
    }
}
