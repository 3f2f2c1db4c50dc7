#include "format/format.h"

namespace jet::detail {

namespace {

// Every offset and limit, side by side: Jet3 (Access 97, 2048-byte pages)
// and Jet4, whose layout the ACE versions keep.
struct Entry {
    int FormatInfo::*field;
    int jet3;
    int jet4;
};

constexpr Entry kLayout[] = {
    // Database header (page 0)
    {&FormatInfo::headerVersionOffset, 0x14, 0x14},
    {&FormatInfo::headerMaskedStart, 0x18, 0x18},
    {&FormatInfo::headerMaskedLength, 126, 128},
    {&FormatInfo::headerCodePage, 0x3C, 0x3C},
    {&FormatInfo::headerEncodingKey, 0x3E, 0x3E},
    {&FormatInfo::headerPassword, 0x42, 0x42},
    {&FormatInfo::headerPasswordLength, 20, 40},
    {&FormatInfo::headerCreationDate, -1, 0x72},
    {&FormatInfo::headerSortOrder, 0x3A, 0x6E},

    // Data pages
    {&FormatInfo::dataFreeSpace, 2, 2},
    {&FormatInfo::dataOwner, 4, 4},
    {&FormatInfo::dataRowCount, 8, 12},
    {&FormatInfo::maxRowsPerPage, 255, 255},

    // Table definition
    {&FormatInfo::tdefFreeSpace, 2, 2},
    {&FormatInfo::tdefNextPage, 4, 4},
    {&FormatInfo::tdefLength, 8, 8},
    {&FormatInfo::tdefStamp, -1, 12},
    {&FormatInfo::tdefRowCount, 12, 16},
    {&FormatInfo::tdefNextAutonumber, 16, 20},
    {&FormatInfo::tdefAutonumberOn, -1, 24},
    {&FormatInfo::tdefLastComplexId, -1, 28},
    {&FormatInfo::tdefTableType, 20, 40},
    {&FormatInfo::tdefMaxColumns, 21, 41},
    {&FormatInfo::tdefVarColumns, 23, 43},
    {&FormatInfo::tdefColumnCount, 25, 45},
    {&FormatInfo::tdefLogicalIndexCount, 27, 47},
    {&FormatInfo::tdefRealIndexCount, 31, 51},
    {&FormatInfo::tdefOwnedPagesMap, 35, 55},
    {&FormatInfo::tdefFreeSpaceMap, 39, 59},
    {&FormatInfo::tdefHeaderSize, 43, 63},
    {&FormatInfo::tdefRealIndexEntrySize, 8, 12},
    {&FormatInfo::tdefRealIndexRowCount, 4, 4},

    // Column descriptor
    {&FormatInfo::columnDescriptorSize, 18, 25},
    {&FormatInfo::colType, 0, 0},
    {&FormatInfo::colStamp, -1, 1},
    {&FormatInfo::colNumber, 1, 5},
    {&FormatInfo::colVarIndex, 3, 7},
    {&FormatInfo::colRowNumber, 5, 9},
    {&FormatInfo::colSortOrder, 9, 11},
    {&FormatInfo::colCodePage, 11, -1},
    {&FormatInfo::colPrecision, 11, 11},
    {&FormatInfo::colScale, 12, 12},
    {&FormatInfo::colFlags, 13, 15},
    {&FormatInfo::colExtFlags, -1, 16},
    {&FormatInfo::colFixedOffset, 14, 21},
    {&FormatInfo::colLength, 16, 23},

    // Physical index
    {&FormatInfo::realIndexSize, 39, 52},
    {&FormatInfo::realIndexStamp, -1, 0},
    {&FormatInfo::realIndexColumns, 0, 4},
    {&FormatInfo::realIndexUsageMap, 30, 34},
    {&FormatInfo::realIndexFirstPage, 34, 38},
    {&FormatInfo::realIndexFlags, 38, 46},

    // Logical index
    {&FormatInfo::logicalIndexSize, 20, 28},
    {&FormatInfo::logicalIndexStamp, -1, 0},
    {&FormatInfo::logicalIndexNumber, 0, 4},
    {&FormatInfo::logicalIndexPhysical, 4, 8},
    {&FormatInfo::logicalIndexRelated, 9, 13},
    {&FormatInfo::logicalIndexCascade, 17, 21},
    {&FormatInfo::logicalIndexType, 19, 23},

    // Index pages
    {&FormatInfo::indexPrevPage, 8, 12},
    {&FormatInfo::indexNextPage, 12, 16},
    {&FormatInfo::indexTailPage, 16, 20},
    {&FormatInfo::indexPrefixLength, 20, 24},
    {&FormatInfo::indexPrefixBytes, 1, 2},
    {&FormatInfo::indexNodeMark, 21, 26},
    {&FormatInfo::indexBitmap, 22, 27},
    {&FormatInfo::indexEntries, 248, 480},

    // Rows, usage maps, long values
    {&FormatInfo::nameLengthSize, 1, 2},
    {&FormatInfo::rowColumnCountSize, 1, 2},
    {&FormatInfo::rowOffsetSize, 1, 2},
    {&FormatInfo::fixedDataRowOffset, 1, 2},
    {&FormatInfo::usageMapInlineBytes, 128, 64},
    {&FormatInfo::longValueChunkMax, 2032, 4076},

    // Limits
    {&FormatInfo::maxRowSize, 2012, 4060},
    {&FormatInfo::maxInlineLongValue, 64, 64},
};

FormatInfo make(Format format)
{
    FormatInfo f{};
    f.format = format;
    f.jet3 = format == Format::Jet3;
    f.pageSize = f.jet3 ? 2048 : 4096;
    for (const Entry& e : kLayout)
        f.*e.field = f.jet3 ? e.jet3 : e.jet4;
    return f;
}

const FormatInfo kJet3 = make(Format::Jet3);
const FormatInfo kJet4 = make(Format::Jet4);
const FormatInfo kAce12 = make(Format::Ace12);
const FormatInfo kAce14 = make(Format::Ace14);
const FormatInfo kAce15 = make(Format::Ace15);
const FormatInfo kAce16 = make(Format::Ace16);
const FormatInfo kAce17 = make(Format::Ace17);

} // namespace

const FormatInfo& formatInfo(Format format)
{
    switch (format) {
    case Format::Jet3: return kJet3;
    case Format::Jet4: return kJet4;
    case Format::Ace12: return kAce12;
    case Format::Ace14: return kAce14;
    case Format::Ace15: return kAce15;
    case Format::Ace16: return kAce16;
    case Format::Ace17: return kAce17;
    }
    return kJet4;
}

const FormatInfo* formatForVersion(uint8_t version, bool ace)
{
    switch (version) {
    case 0: return ace ? nullptr : &formatInfo(Format::Jet3);
    case 1: return &formatInfo(Format::Jet4);
    case 2: return &formatInfo(Format::Ace12);
    case 3: return &formatInfo(Format::Ace14);
    case 4: return &formatInfo(Format::Ace15);
    case 5: return &formatInfo(Format::Ace16);
    case 6: return &formatInfo(Format::Ace17);
    default: return nullptr;
    }
}

const FormatInfo* formatOfIndexPages(uint32_t pageSize)
{
    if (pageSize == kJet3.pageSize)
        return &kJet3;
    if (pageSize == kJet4.pageSize)
        return &kJet4;
    return nullptr;
}

} // namespace jet::detail
