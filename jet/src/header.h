// The database header (page 0): format detection, unmasking, and the refusal
// of encrypted or password-protected files.
#pragma once

#include "format.h"
#include "page_file.h"

namespace jet::detail {

struct HeaderInfo {
    const FormatInfo* format = nullptr;
    uint16_t codePage = 0;     // Jet3 text encoding (Windows code page number)
    uint32_t sortOrder = 0;
};

// Reads and checks the header, sets the file's page size and puts the
// unmasked header page in its overlay. Throws NotADatabase, Unsupported or
// Corrupt.
HeaderInfo readHeader(PageFile& file);

// XORs `length` bytes with the keystream of the RC4 cipher under `key`.
void rc4Xor(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length);

} // namespace jet::detail
