// Database passwords of .mdb files: the file opens only with its own
// password, whatever the mode; writes and compaction keep it; encrypted
// files are refused with a message that says why.
#include "test_support.h"

#include "format/header.h"

#include "jet/check.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

using namespace jet;
using namespace jettest;

namespace {

const char* kProtected = "access-corpus/V2000_with-password.mdb";

// A scratch copy of a corpus file.
std::string corpusCopy(const char* name)
{
    const std::filesystem::path dir = scratchDir();
    std::filesystem::create_directories(dir / "access-corpus");
    return copyFixture(name, dir);
}

Code openingFails(const std::string& file, OpenMode mode, const std::string& password)
{
    try {
        Database::open(file, mode, password);
    } catch (const Error& e) {
        return e.code();
    }
    ADD_FAILURE() << file << " opened with password '" << password << "'";
    return Code::InvalidState;
}

} // namespace

TEST(Password, OpensOnlyWithTheStoredPassword)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kProtected);
    const std::string file = corpusCopy(kProtected);
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite, OpenMode::ReadWriteIfPossible}) {
        EXPECT_EQ(openingFails(file, mode, ""), Code::PasswordRequired);
        EXPECT_EQ(openingFails(file, mode, "Password"), Code::WrongPassword); // case counts
        EXPECT_EQ(openingFails(file, mode, "password "), Code::WrongPassword);
        EXPECT_EQ(openingFails(file, mode, "passwor"), Code::WrongPassword);
    }
    try {
        Database::open(file, OpenMode::ReadOnly);
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("mot de passe"), std::string::npos) << e.what();
    }
    auto db = Database::open(file, OpenMode::ReadWrite, "password");
    EXPECT_FALSE(db->readOnly());
    EXPECT_EQ(db->openRecordset("Table1")->recordCount(), long(db->table("Table1").rowCount));
    EXPECT_GT(db->table("Table1").rowCount, 0u);

    // A file without a password ignores the one given.
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    EXPECT_NO_THROW(Database::open(fixture("velmor2001.mdb"), OpenMode::ReadOnly, "n'importe"));
}

TEST(Password, WritesAndCompactionKeepIt)
{
    VELMOR_SKIP_WITHOUT_FIXTURE(kProtected);
    const std::string file = corpusCopy(kProtected);
    {
        auto db = Database::open(file, OpenMode::ReadWrite, "password");
        std::vector<std::string> all = db->tableNames();
        ASSERT_FALSE(all.empty());
        db->execute("DELETE FROM Table1");
    }
    EXPECT_TRUE(checkDatabase(file).ok());
    compactDatabase(file);
    EXPECT_TRUE(checkDatabase(file).ok());
    EXPECT_EQ(openingFails(file, OpenMode::ReadOnly, ""), Code::PasswordRequired);
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly, "password")->openRecordset("Table1")->recordCount(), 0);
}

// The encoding key of the header, when set, marks an encrypted file: Jet's
// own encoding for .mdb, the password's encryption for .accdb.
TEST(Password, EncryptedFilesAreRefusedAndSaySo)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    const std::filesystem::path dir = scratchDir();
    for (const char* name : {"velmor2001.accdb", "velmor2001.mdb"}) {
        const std::string file = copyFixture(name, dir);
        std::string header = fileBytes(file).substr(0, 0x18 + 128);
        // The header block is masked: set the key's bytes through the mask.
        uint8_t mask[128] = {};
        const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
        detail::rc4Xor(key, 4, mask, sizeof mask);
        std::string encodingKey;
        for (int i = 0; i < 4; ++i)
            encodingKey += char(uint8_t(0x5A + i) ^ mask[0x3E - 0x18 + i]);
        writeAt(file, encodingKey, 0x3E);
        try {
            Database::open(file, OpenMode::ReadOnly, "secret");
            ADD_FAILURE() << name << " opened";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::Unsupported);
            const bool ace = std::string(name).find(".accdb") != std::string::npos;
            EXPECT_NE(std::string(e.what()).find(ace ? "chiffrement ACE" : "codage Jet"), std::string::npos)
                << e.what();
        }
    }
}
