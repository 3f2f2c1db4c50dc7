// A single cell value, as the engine reads and writes it.
//
// Text is UTF-8 in memory; the engine converts to and from the file's
// encoding (UCS-2, compressed Unicode, or the Jet3 code page).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace jet {

namespace detail {
class RowReader;
}

// Column types as stored in the file (the numbers are Jet's own type codes).
enum class ColumnType : uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,  // 16-bit
    Long = 0x04,     // 32-bit
    Currency = 0x05, // 64-bit, scaled by 10,000
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    OLE = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,
    Numeric = 0x10, // decimal
    Complex = 0x12, // ACE attachment / multi-value: read as Value::unsupported()
    BigInt = 0x13,
    DateTimeExtended = 0x14, // Access 2019: 0001-01-01 to 9999-12-31, to 100 ns
};

const char* columnTypeName(ColumnType type);

class Value {
public:
    enum class Kind { Null, Bool, Int, Double, Currency, DateTime, Text, Binary, Guid, Decimal, Unsupported };

    Value() = default; // null
    static Value null() { return Value(); }
    static Value boolean(bool b);
    static Value integer(int64_t i);
    static Value real(double d);
    // A Single column's value: a Double that toString() writes with the
    // digits a float needs ("0.15", not "0.15000000596046448").
    static Value single(float f);
    // Currency as a count of 1/10,000 units (Jet's own representation).
    static Value currency(int64_t tenThousandths);
    // Days since 1899-12-30; the fraction is the time of day. Negative dates
    // are stored as Access stores them (the fraction counts forward from the
    // integer part's midnight: -1.25 is 1899-12-29 06:00).
    static Value dateTime(double accessDays);
    static Value dateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
    // A Date/Time Extended value: 100-nanosecond ticks since 0001-01-01
    // 00:00:00 (proleptic Gregorian calendar), 0 to kMaxExtendedTicks. Its
    // kind is DateTime: asDateTime() gives the nearest Access day count, and
    // dateTimeTicks() the exact ticks. Throws Error(InvalidValue) out of range.
    static Value dateTimeExtended(int64_t ticks);
    static constexpr int64_t kTicksPerDay = 864000000000;
    static constexpr int64_t kMaxExtendedTicks = 3652059 * kTicksPerDay - 1; // 9999-12-31 23:59:59.9999999
    static Value text(std::string utf8);
    static Value binary(std::vector<uint8_t> bytes);
    // The 16 bytes as the file stores them (first three groups little-endian).
    static Value guid(const std::array<uint8_t, 16>& bytes);
    // Decimal as its exact decimal text ("-12.3400").
    static Value decimal(std::string text);
    // A value the engine does not convert: for a complex column, its complex
    // id in decimal ("12"), which Database::attachments() gives each file;
    // for a column of a type the engine does not know, its stored bytes as
    // "RawData[(N) XX XX XX XX  XX ...]" (hex, groups of four).
    static Value unsupported(std::string what);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }

    // Accessors; each throws Error(InvalidValue) on the wrong kind.
    bool asBool() const;
    int64_t asInt() const;
    double asDouble() const;             // Int, Double, Currency, DateTime, Bool
    int64_t asCurrency() const;
    double asDateTime() const;
    // A DateTime value in ticks (see dateTimeExtended()): exact for an
    // extended value; for an Access date, its time rounded to the
    // millisecond, the precision the day count holds. Throws
    // Error(InvalidValue) for a date outside the extended range.
    int64_t dateTimeTicks() const;
    // True for a value made by dateTimeExtended().
    bool isExtendedDateTime() const { return kind_ == Kind::DateTime && b_; }
    const std::string& asText() const    // Text, Decimal, Unsupported
    {
        if (kind_ == Kind::Text || kind_ == Kind::Decimal || kind_ == Kind::Unsupported) [[likely]]
            return s_;
        notText();
    }
    const std::vector<uint8_t>& asBinary() const;
    std::array<uint8_t, 16> asGuid() const;

    // Civil date/time of a DateTime value (seconds rounded as Access does;
    // an extended value's fraction of a second is dropped).
    struct Civil { int year, month, day, hour, minute, second; };
    Civil civil() const;

    // Text as the fixtures' CSV dumps write it: dates "yyyy-mm-dd hh:mm:ss"
    // (then ".SSS" when the time has milliseconds, ".SSSSSSS" when an
    // extended value has a finer fraction),
    // numbers in C locale, booleans "true"/"false", GUIDs "{XXXXXXXX-...}",
    // binary as the raw bytes. Null gives "".
    std::string toString() const;

    friend bool operator==(const Value& a, const Value& b);

private:
    // The constructors of the factories below, which the row reader calls
    // for every value: inline, the text moved in rather than assigned.
    explicit Value(Kind kind) noexcept : kind_(kind) {}
    Value(Kind kind, std::string&& s) noexcept : kind_(kind), s_(std::move(s)) {}
    // Text made in place: the string `make()` returns is the value's own,
    // not a copy or a move of it.
    template <typename Make>
    Value(Kind kind, Make&& make, int /*inPlace*/) : kind_(kind), s_(make()) {}
    friend class detail::RowReader;
    [[noreturn]] void notText() const;

    Kind kind_ = Kind::Null;
    bool b_ = false; // Bool: the value; Double: single precision; DateTime: extended (ticks in i_)
    int64_t i_ = 0;
    double d_ = 0;
    std::string s_;
    std::vector<uint8_t> bytes_;
};

inline Value Value::boolean(bool b)
{
    Value v(Kind::Bool);
    v.b_ = b;
    return v;
}

inline Value Value::integer(int64_t i)
{
    Value v(Kind::Int);
    v.i_ = i;
    return v;
}

inline Value Value::real(double d)
{
    Value v(Kind::Double);
    v.d_ = d;
    return v;
}

inline Value Value::single(float f)
{
    Value v(Kind::Double);
    v.d_ = f;
    v.b_ = true; // single precision: written with the digits a float needs
    return v;
}

inline Value Value::currency(int64_t tenThousandths)
{
    Value v(Kind::Currency);
    v.i_ = tenThousandths;
    return v;
}

inline Value Value::dateTime(double accessDays)
{
    Value v(Kind::DateTime);
    v.d_ = accessDays;
    return v;
}

inline Value Value::text(std::string utf8) { return Value(Kind::Text, std::move(utf8)); }

inline Value Value::decimal(std::string text) { return Value(Kind::Decimal, std::move(text)); }

inline Value Value::unsupported(std::string what) { return Value(Kind::Unsupported, std::move(what)); }

} // namespace jet
