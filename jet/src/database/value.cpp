// jet::Value, the names of column types and formats, and the by-name column
// accessor of Recordset.
#include "jet/value.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {

const char* columnTypeName(ColumnType type)
{
    switch (type) {
    case ColumnType::Boolean: return "Oui/Non";
    case ColumnType::Byte: return "Octet";
    case ColumnType::Integer: return "Entier";
    case ColumnType::Long: return "Entier long";
    case ColumnType::Currency: return "Monétaire";
    case ColumnType::Single: return "Réel simple";
    case ColumnType::Double: return "Réel double";
    case ColumnType::DateTime: return "Date/Heure";
    case ColumnType::Binary: return "Binaire";
    case ColumnType::Text: return "Texte";
    case ColumnType::OLE: return "Objet OLE";
    case ColumnType::Memo: return "Mémo";
    case ColumnType::Guid: return "N° de réplication";
    case ColumnType::Numeric: return "Décimal";
    case ColumnType::Complex: return "Complexe";
    case ColumnType::BigInt: return "Grand entier";
    case ColumnType::DateTimeExtended: return "Date/Heure étendue";
    }
    return "Inconnu";
}

const char* formatName(Format format)
{
    switch (format) {
    case Format::Jet3: return "Jet 3 (Access 97)";
    case Format::Jet4: return "Jet 4 (Access 2000-2003)";
    case Format::Ace12: return "ACE 12 (Access 2007)";
    case Format::Ace14: return "ACE 14 (Access 2010)";
    case Format::Ace15: return "ACE 15 (Access 2013)";
    case Format::Ace16: return "ACE 16 (Access 2016)";
    case Format::Ace17: return "ACE 17 (Access 2019)";
    }
    return "inconnu";
}

Value Recordset::value(const std::string& column) const
{
    int index = columnIndex(column);
    if (index < 0)
        throw Error(Code::NotFound, "colonne inconnue : " + column);
    return value(index);
}

namespace {

const char* kindName(Value::Kind kind)
{
    switch (kind) {
    case Value::Kind::Null: return "nulle";
    case Value::Kind::Bool: return "booléenne";
    case Value::Kind::Int: return "entière";
    case Value::Kind::Double: return "réelle";
    case Value::Kind::Currency: return "monétaire";
    case Value::Kind::DateTime: return "date/heure";
    case Value::Kind::Text: return "texte";
    case Value::Kind::Binary: return "binaire";
    case Value::Kind::Guid: return "GUID";
    case Value::Kind::Decimal: return "décimale";
    case Value::Kind::Unsupported: return "non prise en charge";
    }
    return "inconnue";
}

[[noreturn]] void wrongKind(Value::Kind actual, const char* wanted)
{
    throw Error(Code::InvalidValue,
                std::string("valeur ") + kindName(actual) + " là où une valeur " + wanted + " est attendue");
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

const int64_t kAccessEpoch = daysFromCivil(1899, 12, 30);
// Day 0 of extended dates, 0001-01-01, counted from 1970-01-01.
const int64_t kTicksEpoch = daysFromCivil(1, 1, 1);

[[noreturn]] void dateOutOfRange()
{
    throw Error(Code::InvalidValue, "date hors limites (du 1er janvier 1 au 31 décembre 9999)");
}

// Shortest text that reads back as the same number, with at least one digit
// after the point ("0.0", "0.15", "1.0E7"), the form the CSV dumps use.
template <typename F>
std::string shortestNumber(F value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    char buffer[64];
    F magnitude = std::fabs(value);
    bool scientific = magnitude != 0 && (magnitude >= F(1e7) || magnitude < F(1e-3));
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                scientific ? std::chars_format::scientific : std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (!scientific) {
        if (text.find('.') == std::string::npos)
            text += ".0";
        return text;
    }
    // "1e+07" -> "1.0E7", "1.5e-05" -> "1.5E-5"
    auto e = text.find('e');
    std::string mantissa = text.substr(0, e);
    int exponent = std::stoi(text.substr(e + 1));
    if (mantissa.find('.') == std::string::npos)
        mantissa += ".0";
    return mantissa + "E" + std::to_string(exponent);
}

} // namespace

Value Value::dateTime(int year, int month, int day, int hour, int minute, int second)
{
    int64_t days = daysFromCivil(year, month, day) - kAccessEpoch;
    double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    return dateTime(days >= 0 ? double(days) + fraction : double(days) - fraction);
}

Value Value::dateTimeExtended(int64_t ticks)
{
    if (ticks < 0 || ticks > kMaxExtendedTicks)
        dateOutOfRange();
    // The Access day count nearest to it, for what reads dates as numbers.
    const int64_t day = ticks / kTicksPerDay + kTicksEpoch - kAccessEpoch;
    const double fraction = double(ticks % kTicksPerDay) / double(kTicksPerDay);
    Value v(Kind::DateTime);
    v.d_ = day >= 0 ? double(day) + fraction : double(day) - fraction;
    v.i_ = ticks;
    v.b_ = true;
    return v;
}

int64_t Value::dateTimeTicks() const
{
    if (kind_ != Kind::DateTime)
        wrongKind(kind_, "date/heure");
    if (b_)
        return i_;
    if (!std::isfinite(d_) || std::fabs(d_) > 3.0e6)
        dateOutOfRange();
    const double whole = std::trunc(d_);
    const int64_t ms = std::llround(std::fabs(d_ - whole) * 86400000.0);
    const int64_t day = int64_t(whole) + kAccessEpoch - kTicksEpoch;
    const int64_t ticks = day * kTicksPerDay + ms * 10000;
    if (day < 0 || ticks > kMaxExtendedTicks)
        dateOutOfRange();
    return ticks;
}

Value Value::binary(std::vector<uint8_t> bytes)
{
    Value v;
    v.kind_ = Kind::Binary;
    v.bytes_ = std::move(bytes);
    return v;
}

Value Value::guid(const std::array<uint8_t, 16>& bytes)
{
    Value v;
    v.kind_ = Kind::Guid;
    v.bytes_.assign(bytes.begin(), bytes.end());
    return v;
}

bool Value::asBool() const
{
    if (kind_ == Kind::Bool)
        return b_;
    wrongKind(kind_, "booléenne");
}

int64_t Value::asInt() const
{
    if (kind_ == Kind::Int)
        return i_;
    wrongKind(kind_, "entière");
}

double Value::asDouble() const
{
    switch (kind_) {
    case Kind::Int: return double(i_);
    case Kind::Double: return d_;
    case Kind::Currency: return double(i_) / 10000.0;
    case Kind::DateTime: return d_;
    case Kind::Bool: return b_ ? -1.0 : 0.0;
    default: wrongKind(kind_, "numérique");
    }
}

int64_t Value::asCurrency() const
{
    if (kind_ == Kind::Currency)
        return i_;
    wrongKind(kind_, "monétaire");
}

double Value::asDateTime() const
{
    if (kind_ == Kind::DateTime)
        return d_;
    wrongKind(kind_, "date/heure");
}

void Value::notText() const
{
    wrongKind(kind_, "texte");
}

const std::vector<uint8_t>& Value::asBinary() const
{
    if (kind_ == Kind::Binary)
        return bytes_;
    wrongKind(kind_, "binaire");
}

std::array<uint8_t, 16> Value::asGuid() const
{
    if (kind_ != Kind::Guid || bytes_.size() != 16)
        wrongKind(kind_, "GUID");
    std::array<uint8_t, 16> out{};
    std::copy(bytes_.begin(), bytes_.end(), out.begin());
    return out;
}

Value::Civil Value::civil() const
{
    if (isExtendedDateTime()) {
        Civil c{};
        civilFromDays(i_ / kTicksPerDay + kTicksEpoch, c.year, c.month, c.day);
        const int64_t seconds = i_ % kTicksPerDay / 10000000;
        c.hour = int(seconds / 3600);
        c.minute = int(seconds / 60 % 60);
        c.second = int(seconds % 60);
        return c;
    }
    double days = asDateTime();
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        throw Error(Code::InvalidValue, "date hors limites");
    // The integer part is the day (counted towards zero); the fraction is
    // the time of day, forward from that day's midnight, whatever the sign.
    double whole = std::trunc(days);
    double fraction = std::fabs(days - whole);
    int64_t day = int64_t(whole);
    int64_t seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += 1;
    }
    Civil c{};
    civilFromDays(day + kAccessEpoch, c.year, c.month, c.day);
    c.hour = int(seconds / 3600);
    c.minute = int(seconds / 60 % 60);
    c.second = int(seconds % 60);
    return c;
}

std::string Value::toString() const
{
    switch (kind_) {
    case Kind::Null: return {};
    case Kind::Bool: return b_ ? "true" : "false";
    case Kind::Int: return std::to_string(i_);
    case Kind::Double: return b_ ? shortestNumber(float(d_)) : shortestNumber(d_);
    case Kind::Currency: {
        uint64_t magnitude = i_ < 0 ? uint64_t(0) - uint64_t(i_) : uint64_t(i_);
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%s%llu.%04llu", i_ < 0 ? "-" : "",
                      static_cast<unsigned long long>(magnitude / 10000),
                      static_cast<unsigned long long>(magnitude % 10000));
        return buffer;
    }
    case Kind::DateTime: {
        Civil c = civil();
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                      c.minute, c.second);
        if (b_) {
            // Milliseconds when the fraction has no finer digits, else all seven.
            const int fraction = int(i_ % 10000000);
            std::string text = buffer;
            if (fraction % 10000 == 0 && fraction != 0)
                std::snprintf(buffer, sizeof buffer, ".%03d", fraction / 10000);
            else if (fraction != 0)
                std::snprintf(buffer, sizeof buffer, ".%07d", fraction);
            return fraction == 0 ? text : text + buffer;
        }
        // Milliseconds, when the time has any: the second is then the one
        // they belong to, not rounded up.
        const double fraction = std::fabs(d_ - std::trunc(d_));
        const int64_t ms = std::llround(fraction * 86400000.0);
        if (ms % 1000 != 0 && ms < 86400000) {
            civilFromDays(int64_t(std::trunc(d_)) + kAccessEpoch, c.year, c.month, c.day);
            const int64_t s = ms / 1000;
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day,
                          int(s / 3600), int(s / 60 % 60), int(s % 60), int(ms % 1000));
        }
        return buffer;
    }
    case Kind::Text:
    case Kind::Decimal:
    case Kind::Unsupported: return s_;
    case Kind::Binary: return std::string(bytes_.begin(), bytes_.end());
    case Kind::Guid: {
        // Stored as in the file: the first three groups are little-endian.
        if (bytes_.size() != 16)
            return {};
        const uint8_t* g = bytes_.data();
        char buffer[48];
        std::snprintf(buffer, sizeof buffer,
                      "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2], g[1],
                      g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
        return buffer;
    }
    }
    return {};
}

bool operator==(const Value& a, const Value& b)
{
    if (a.kind_ != b.kind_)
        return false;
    switch (a.kind_) {
    case Value::Kind::Null: return true;
    case Value::Kind::Bool: return a.b_ == b.b_;
    case Value::Kind::Int:
    case Value::Kind::Currency: return a.i_ == b.i_;
    case Value::Kind::Double: return a.d_ == b.d_;
    case Value::Kind::DateTime: return a.b_ == b.b_ && (a.b_ ? a.i_ == b.i_ : a.d_ == b.d_);
    case Value::Kind::Text:
    case Value::Kind::Decimal:
    case Value::Kind::Unsupported: return a.s_ == b.s_;
    case Value::Kind::Binary:
    case Value::Kind::Guid: return a.bytes_ == b.bytes_;
    }
    return false;
}

} // namespace jet
