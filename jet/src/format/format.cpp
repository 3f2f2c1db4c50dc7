#include "format/format.h"

namespace jet::detail {

namespace {

FormatInfo makeJet3()
{
    FormatInfo f{};
    f.format = Format::Jet3;
    f.jet3 = true;
    f.pageSize = 2048;
    f.headerVersionOffset = 0x14;
    f.headerMaskedStart = 0x18;
    f.headerMaskedLength = 126;
    f.headerCodePage = 0x3C;
    f.headerEncodingKey = 0x3E;
    f.headerPassword = 0x42;
    f.headerPasswordLength = 20;
    f.headerCreationDate = -1;
    f.headerSortOrder = 0x3A;

    f.dataFreeSpace = 2;
    f.dataOwner = 4;
    f.dataRowCount = 8;
    f.maxRowsPerPage = 255;

    f.tdefNextPage = 4;
    f.tdefLength = 8;
    f.tdefRowCount = 12;
    f.tdefNextAutonumber = 16;
    f.tdefTableType = 20;
    f.tdefMaxColumns = 21;
    f.tdefVarColumns = 23;
    f.tdefColumnCount = 25;
    f.tdefLogicalIndexCount = 27;
    f.tdefRealIndexCount = 31;
    f.tdefOwnedPagesMap = 35;
    f.tdefFreeSpaceMap = 39;
    f.tdefHeaderSize = 43;
    f.tdefRealIndexEntrySize = 8;
    f.tdefRealIndexRowCount = 4;

    f.columnDescriptorSize = 18;
    f.colType = 0;
    f.colNumber = 1;
    f.colVarIndex = 3;
    f.colSortOrder = 9;
    f.colCodePage = 11;
    f.colPrecision = 11;
    f.colScale = 12;
    f.colFlags = 13;
    f.colExtFlags = -1;
    f.colFixedOffset = 14;
    f.colLength = 16;

    f.realIndexSize = 39;
    f.realIndexSkipBefore = 0;
    f.realIndexSkipBeforeFlags = 0;
    f.logicalIndexSize = 20;
    f.logicalIndexSkipBefore = 0;

    f.nameLengthSize = 1;
    f.rowColumnCountSize = 1;
    f.rowOffsetSize = 1;
    f.fixedDataRowOffset = 1;
    f.usageMapInlineBytes = 128;
    f.longValueChunkMax = 2032;
    f.maxRowSize = 2012;
    f.maxInlineLongValue = 64;
    return f;
}

FormatInfo makeJet4(Format format)
{
    FormatInfo f{};
    f.format = format;
    f.jet3 = false;
    f.pageSize = 4096;
    f.headerVersionOffset = 0x14;
    f.headerMaskedStart = 0x18;
    f.headerMaskedLength = 128;
    f.headerCodePage = 0x3C;
    f.headerEncodingKey = 0x3E;
    f.headerPassword = 0x42;
    f.headerPasswordLength = 40;
    f.headerCreationDate = 0x72;
    f.headerSortOrder = 0x6E;

    f.dataFreeSpace = 2;
    f.dataOwner = 4;
    f.dataRowCount = 12;
    f.maxRowsPerPage = 255;

    f.tdefNextPage = 4;
    f.tdefLength = 8;
    f.tdefRowCount = 16;
    f.tdefNextAutonumber = 20;
    f.tdefTableType = 40;
    f.tdefMaxColumns = 41;
    f.tdefVarColumns = 43;
    f.tdefColumnCount = 45;
    f.tdefLogicalIndexCount = 47;
    f.tdefRealIndexCount = 51;
    f.tdefOwnedPagesMap = 55;
    f.tdefFreeSpaceMap = 59;
    f.tdefHeaderSize = 63;
    f.tdefRealIndexEntrySize = 12;
    f.tdefRealIndexRowCount = 4;

    f.columnDescriptorSize = 25;
    f.colType = 0;
    f.colNumber = 5;
    f.colVarIndex = 7;
    f.colSortOrder = 11;
    f.colCodePage = -1;
    f.colPrecision = 11;
    f.colScale = 12;
    f.colFlags = 15;
    f.colExtFlags = 16;
    f.colFixedOffset = 21;
    f.colLength = 23;

    f.realIndexSize = 52;
    f.realIndexSkipBefore = 4;
    f.realIndexSkipBeforeFlags = 4;
    f.logicalIndexSize = 28;
    f.logicalIndexSkipBefore = 4;

    f.nameLengthSize = 2;
    f.rowColumnCountSize = 2;
    f.rowOffsetSize = 2;
    f.fixedDataRowOffset = 2;
    f.usageMapInlineBytes = 64;
    f.longValueChunkMax = 4076;
    f.maxRowSize = 4060;
    f.maxInlineLongValue = 64;
    return f;
}

const FormatInfo kJet3 = makeJet3();
const FormatInfo kJet4 = makeJet4(Format::Jet4);
const FormatInfo kAce12 = makeJet4(Format::Ace12);
const FormatInfo kAce14 = makeJet4(Format::Ace14);
const FormatInfo kAce15 = makeJet4(Format::Ace15);
const FormatInfo kAce16 = makeJet4(Format::Ace16);
const FormatInfo kAce17 = makeJet4(Format::Ace17);

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

} // namespace jet::detail
