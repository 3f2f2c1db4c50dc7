// Where things are in a Jet file, for each version of the format.
//
// Every offset the engine uses to read or write a page, and every limit of
// the format, lives here (listed in format.cpp, a column per version), so
// that the readers and writers never test the version themselves.
#pragma once

#include "jet/database.h"

#include <cstdint>

namespace jet::detail {

struct FormatInfo {
    Format format;
    bool jet3;                 // 1-byte lengths, code-page text, jump tables
    uint32_t pageSize;

    // Database header (page 0)
    int headerVersionOffset;   // version byte (0 = Jet3, 1 = Jet4, 2.. = ACE)
    int headerMaskedStart;     // start of the RC4-masked block
    int headerMaskedLength;    // its length
    int headerCodePage;        // 2 bytes
    int headerEncodingKey;     // 4 bytes; non-zero means an encrypted file
    int headerPassword;        // start of the masked password
    int headerPasswordLength;
    int headerCreationDate;    // 8-byte double masking the Jet4 password; -1 for Jet3
    int headerSortOrder;       // 2 bytes (Jet3) or 4 bytes (Jet4 and later)

    // Data pages
    int dataFreeSpace;         // 2 bytes
    int dataOwner;             // 4 bytes: the table definition page
    int dataRowCount;          // 2 bytes, followed by the row offset table
    int maxRowsPerPage;

    // Table definition (page type 0x02; the layout is drawn in table_def.h)
    int tdefFreeSpace;         // 2 bytes, as on a data page
    int tdefNextPage;          // 4 bytes
    int tdefLength;            // 4 bytes
    int tdefStamp;             // 4 bytes, kDefinitionStamp; -1: none
    int tdefRowCount;
    int tdefNextAutonumber;
    int tdefAutonumberOn;      // 1 byte, 1 lets autonumbers count; -1: none
    int tdefLastComplexId;     // 4 bytes, ACE: the complex id last given to a row; -1: none
    int tdefTableType;         // 0x4e user, 0x53 system
    int tdefMaxColumns;
    int tdefVarColumns;
    int tdefColumnCount;
    int tdefLogicalIndexCount;
    int tdefRealIndexCount;
    int tdefOwnedPagesMap;     // row pointer to the usage map of the table's pages
    int tdefFreeSpaceMap;
    int tdefHeaderSize;        // where the per-index row counts begin
    int tdefRealIndexEntrySize;
    int tdefRealIndexRowCount; // 4 bytes, inside each of those entries

    // Column descriptor (in the table definition)
    int columnDescriptorSize;
    int colType;
    int colStamp;              // 4 bytes, kDefinitionStamp; -1: none
    int colNumber;
    int colVarIndex;
    int colRowNumber;          // the column number again
    int colSortOrder;
    int colCodePage;           // -1: none
    int colPrecision;
    int colScale;
    int colFlags;
    int colExtFlags;           // -1: none
    int colFixedOffset;
    int colLength;

    // Physical index (in the table definition)
    int realIndexSize;
    int realIndexStamp;        // 4 bytes, kIndexStamp; -1: none
    int realIndexColumns;      // ten slots: column number (2), order (1)
    int realIndexUsageMap;     // row pointer
    int realIndexFirstPage;    // 4 bytes: the root page
    int realIndexFlags;

    // Logical index (in the table definition)
    int logicalIndexSize;
    int logicalIndexStamp;     // 4 bytes, kDefinitionStamp; -1: none
    int logicalIndexNumber;    // 4 bytes
    int logicalIndexPhysical;  // 4 bytes
    int logicalIndexRelated;   // 4 bytes, the related table's index (-1: none)
    int logicalIndexCascade;   // 2 bytes: update and delete rules
    int logicalIndexType;      // 1 primary key, 2 foreign key

    // Index pages (types 0x03 and 0x04; the layout is drawn in index_page.h)
    int indexPrevPage;         // 4 bytes: previous page at the same level
    int indexNextPage;         // 4 bytes: next page at the same level
    int indexTailPage;         // 4 bytes: node pages' last child
    int indexPrefixLength;     // length of the shared key prefix
    int indexPrefixBytes;      // 1 (Jet3) or 2 bytes: the longest prefix is 255 or 65535
    int indexNodeMark;         // 1 byte, 1 on node pages and 0 on leaves in Access's pages
    int indexBitmap;           // entry-start bitmap, up to indexEntries
    int indexEntries;          // the entries, back to back

    int nameLengthSize;        // 1 (Jet3) or 2 bytes
    int rowColumnCountSize;    // 1 or 2 bytes at the start of each row
    int rowOffsetSize;         // 1 (Jet3, with jump table) or 2

    int fixedDataRowOffset;    // fixed columns begin after the row's column count
    int usageMapInlineBytes;   // bitmap bytes of an inline usage map
    int longValueChunkMax;     // largest row of a long-value page

    // Limits
    int maxRowSize;            // bytes of a row
    int maxInlineLongValue;    // long values up to this size may stay inside the row
};

// Limits common to every version.
constexpr int kMaxNumericPrecision = 28;   // digits of a Decimal (Numeric) column

// Stamps repeated in the blocks of a Jet4/ACE table definition.
constexpr uint32_t kDefinitionStamp = 0x0659;
constexpr uint32_t kIndexStamp = 0x0783;

const FormatInfo& formatInfo(Format format);

// The format whose index pages have this size (2048: Jet3, 4096: Jet4, whose
// index layout the ACE versions keep); null for any other size.
const FormatInfo* formatOfIndexPages(uint32_t pageSize);

// The format of a file whose header holds `version` (0 Jet3, 1 Jet4, 2.. ACE);
// null when unknown. `ace`: the file's signature says ACE.
const FormatInfo* formatForVersion(uint8_t version, bool ace);

} // namespace jet::detail
