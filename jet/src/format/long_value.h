// Long values (Memo, OLE): the 12-byte field in the row, and the data it
// describes: inline, in one row of a long-value page, or in a chain of them.
#pragma once

#include "format/data_page.h"

#include <string>
#include <unordered_map>
#include <variant>

namespace jet::detail {

constexpr uint8_t kLongValueInline = 0x80;
constexpr uint8_t kLongValueSingle = 0x40;

// Long values read together with copies of the rows that point to them, in
// the same hold of the file's lock, so that a row and its long values are
// of one commit. Keyed by the address of the 12-byte field in the copy; a
// value that could not be read keeps the error, raised when it is asked for.
class LongValueCopies {
public:
    void clear() { values_.clear(); }
    // Reads the long value of `field` (unless it lies in the row itself).
    void copy(const PageFile& file, const FormatInfo& f, const ByteRange& field);
    // The copy made for `field`; null when there is none. Throws the error
    // met when it was read.
    const std::string* find(const uint8_t* field) const;

private:
    std::unordered_map<const uint8_t*, std::variant<std::string, Error>> values_;
};

// The raw bytes of a long value whose 12-byte field is `field`: from
// `copies` when they hold it, else from the file.
std::string readLongValue(const PageFile& file, const FormatInfo& f, const ByteRange& field,
                          const LongValueCopies* copies = nullptr);

} // namespace jet::detail
