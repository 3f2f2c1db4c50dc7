#include "csv_export.h"

namespace velmor {

namespace {

std::string quoted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

std::string csvField(const jet::Value& value)
{
    if (value.isNull() || value.kind() == jet::Value::Kind::Unsupported)
        return {};
    if (value.kind() == jet::Value::Kind::Binary) {
        static const char* hex = "0123456789abcdef";
        const auto& bytes = value.asBinary();
        std::string text = "0x";
        text.reserve(2 + bytes.size() * 2);
        for (uint8_t b : bytes) {
            text += hex[b >> 4];
            text += hex[b & 15];
        }
        return quoted(text);
    }
    return quoted(value.toString());
}

void writeCsvHeader(std::ostream& out, const jet::Recordset& rows)
{
    const auto& columns = rows.columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            out << ',';
        out << quoted(columns[i].name);
    }
    out << '\n';
}

long writeCsvRows(std::ostream& out, jet::Recordset& rows, long limit, std::vector<long>* unconverted)
{
    long count = 0;
    const int columns = int(rows.columns().size());
    if (unconverted)
        unconverted->assign(size_t(columns), 0);
    std::string line;
    while (rows.hasCurrent() && (limit < 0 || count < limit)) {
        line.clear();
        for (int i = 0; i < columns; ++i) {
            if (i)
                line += ',';
            const jet::Value value = rows.value(i);
            if (unconverted && value.kind() == jet::Value::Kind::Unsupported)
                ++(*unconverted)[size_t(i)];
            line += csvField(value);
        }
        line += '\n';
        out << line;
        ++count;
        rows.moveNext();
    }
    return count;
}

} // namespace velmor
