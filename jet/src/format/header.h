// The database header (page 0): format detection, unmasking, the refusal of
// encrypted files and the database password of .mdb files.
#pragma once

#include "format/format.h"
#include "file/page_file.h"

#include <string>

namespace jet::detail {

struct HeaderInfo {
    const FormatInfo* format = nullptr;
    uint16_t codePage = 0;     // Jet3 text encoding (Windows code page number)
    uint32_t sortOrder = 0;
    // The database password (Jet3/Jet4 .mdb), UTF-8; empty when none is set.
    // The data itself is not encrypted: the password only guards the opening.
    std::string password;
};

// Reads and checks the header, sets the file's page size and puts the
// unmasked header page in its overlay. Throws NotADatabase, Unsupported (an
// encrypted file) or Corrupt.
HeaderInfo readHeader(PageFile& file);

// Lets a file with a database password open only with that password
// (compared exactly): throws PasswordRequired or WrongPassword.
void checkPassword(const std::string& path, const std::string& stored, const std::string& given);

// The code page of Jet3 text, from the header page as stored (masked).
uint16_t headerCodePage(const FormatInfo& f, const uint8_t* page0);
// Masks or unmasks (the mask is its own inverse) the header block of page 0,
// in place.
void maskHeader(uint8_t* page, const FormatInfo& f);

// The database's text sort order, from the header page as stored (masked).
uint32_t storedSortOrder(const uint8_t* page, const FormatInfo& f);

// XORs `length` bytes with the keystream of the RC4 cipher under `key`.
void rc4Xor(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length);

} // namespace jet::detail
