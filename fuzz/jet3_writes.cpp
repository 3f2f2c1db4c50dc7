// Write scripts on Access 97 files: a copy of one of the Access-made Jet3
// files with indexed tables, or of a new Velmor database in that format
// (`velmor-db init --format 97`, named by VELMOR_FUZZ_JET3_START), takes the
// adds, changes and deletes the script
// bytes describe, through the recordset and insertRows, then is compacted
// when the byte after the steps is odd. Refusals (a duplicate key, a value too
// long, a character outside the code page) are fine; afterwards the file
// must pass the full check and hold exactly the rows that were written.
#include "fuzz_cases.h"

#include "jet/check.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The script, read a byte at a time; zeros once it is used up.
class Script {
public:
    Script(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ >= end_; }
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    uint64_t bytes(int n)
    {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= uint64_t(byte()) << (8 * i);
        return v;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// Characters whose sort keys Access 97 treats apart (ignored signs,
// ligatures, code page 1252 letters above 0x7F), and two it cannot store.
const char* const kSpecials[] = {"-", "'", "’", "œ", "Œ",  "æ", "ß",
                                 "€", "š", "Ÿ", "—", "\t", "ā", "中"};

std::string utf8(unsigned cp)
{
    std::string s;
    if (cp < 0x80) {
        s += char(cp);
    } else {
        s += char(0xC0 | (cp >> 6));
        s += char(0x80 | (cp & 0x3F));
    }
    return s;
}

std::string text(Script& s, int length)
{
    std::string out;
    for (int i = 0; i < length; ++i) {
        const uint8_t b = s.byte();
        if (b < 0x20 || (b >= 0x7F && b < 0xA0))
            out += kSpecials[b % std::size(kSpecials)];
        else
            out += utf8(b);
    }
    return out;
}

jet::Value value(Script& s, const jet::ColumnInfo& c)
{
    if (s.byte() % 6 == 0)
        return jet::Value::null();
    using T = jet::ColumnType;
    switch (c.type) {
    case T::Boolean:
        return jet::Value::boolean(s.byte() & 1);
    case T::Byte:
        return jet::Value::integer(s.byte());
    case T::Integer:
        return jet::Value::integer(int16_t(s.bytes(2)));
    case T::Long:
        return jet::Value::integer(int32_t(s.bytes(4)));
    case T::Currency:
        return jet::Value::currency(int64_t(s.bytes(8)));
    case T::Single:
    case T::Double: {
        const uint64_t bits = s.bytes(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return c.type == T::Single ? jet::Value::single(float(d)) : jet::Value::real(d);
    }
    case T::DateTime:
        return jet::Value::dateTime(double(int32_t(s.bytes(3)) - 0x400000) + s.byte() / 256.0);
    case T::Text:
        return jet::Value::text(text(s, s.byte() % (c.maxChars + 2)));
    case T::Memo: {
        // Long texts without long scripts: a few characters repeated.
        std::string piece = text(s, 1 + s.byte() % 8);
        std::string memo;
        for (int n = s.byte() * 16; n > 0; --n)
            memo += piece;
        return jet::Value::text(memo);
    }
    case T::Binary:
    case T::OLE: {
        const size_t length = c.type == T::Binary ? s.byte() : size_t(s.byte() % 64) * 64;
        std::vector<uint8_t> b(length);
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = uint8_t(i * 31 + s.byte());
        return jet::Value::binary(b);
    }
    case T::Guid: {
        std::array<uint8_t, 16> g;
        for (uint8_t& b : g)
            b = s.byte();
        return jet::Value::guid(g);
    }
    default:
        return jet::Value::null();
    }
}

bool writable(const jet::ColumnInfo& c)
{
    return !c.autonumber && !c.calculated && c.type != jet::ColumnType::Complex;
}

// One step of the script on one table; returns the change in its row count.
long step(Script& s, jet::Database& db, const std::string& table)
{
    auto rs = db.openRecordset(table);
    const std::vector<jet::ColumnInfo> columns = rs->columns();
    const long rows = rs->recordCount();
    switch (s.byte() % 4) {
    case 0:
        rs->addNew();
        for (size_t c = 0; c < columns.size(); ++c)
            if (writable(columns[c]))
                rs->setValue(int(c), value(s, columns[c]));
        rs->update();
        return 1;
    case 1:
        if (rows == 0)
            return 0;
        rs->setAbsolutePosition(long(s.byte()) % rows);
        rs->edit();
        for (int n = 1 + s.byte() % 2; n > 0; --n) {
            const size_t c = s.byte() % columns.size();
            if (writable(columns[c]))
                rs->setValue(int(c), value(s, columns[c]));
        }
        rs->update();
        return 0;
    case 2:
        if (rows == 0)
            return 0;
        rs->setAbsolutePosition(long(s.byte()) % rows);
        rs->deleteCurrent();
        return -1;
    default: {
        rs.reset();
        int left = s.byte() % 8;
        return db.insertRows(table, [&](std::vector<jet::Value>& values) {
            if (left-- <= 0)
                return false;
            for (size_t c = 0; c < columns.size(); ++c)
                if (writable(columns[c]))
                    values[c] = value(s, columns[c]);
            return true;
        });
    }
    }
}

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The files the scripts start from (none without the fixtures).
const std::vector<std::string>& bases()
{
    static const std::vector<std::string> all = [] {
        std::vector<std::string> paths;
        for (const char* name : {"indexTestV1997.mdb", "testIndexCodesV1997.mdb"})
            paths.push_back(std::string(VELMOR_FIXTURES_DIR) + "/access-corpus/" + name);
        if (const char* made = std::getenv("VELMOR_FUZZ_JET3_START"))
            paths.push_back(made);
        std::vector<std::string> out;
        for (const std::string& path : paths)
            if (std::string bytes = fileBytes(path); !bytes.empty())
                out.push_back(std::move(bytes));
        return out;
    }();
    return all;
}

const std::string& scratchFile()
{
    static const std::string path = [] {
        char dir[] = "/tmp/velmor-fuzz-XXXXXX";
        if (!::mkdtemp(dir))
            std::abort();
        return std::string(dir) + "/base97.mdb";
    }();
    return path;
}

} // namespace

void fuzzJet3Writes(const uint8_t* data, size_t size)
{
    if (bases().empty())
        return;
    Script s(data, size);
    const std::string& base = bases()[s.byte() % bases().size()];
    const std::string& path = scratchFile();
    for (const char* suffix : {"", "-journal"})
        ::unlink((path + suffix).c_str());
    std::ofstream(path, std::ios::binary).write(base.data(), std::streamsize(base.size()));
    std::map<std::string, long> expected; // row counts of the tables written to
    {
        auto db = jet::Database::open(path, jet::OpenMode::ReadWrite);
        const std::vector<std::string> tables = db->tableNames();
        for (int steps = 0; !s.done() && steps < 32; ++steps) {
            const std::string& table = tables[s.byte() % tables.size()];
            if (!expected.count(table))
                expected[table] = db->openRecordset(table)->recordCount();
            try {
                expected[table] += step(s, *db, table);
            } catch (const jet::Error&) {
                // refused: nothing of that step was written
            }
        }
    }
    if (s.byte() & 1)
        jet::compactDatabase(path); // the check below is of the compacted file
    jet::CheckReport report = jet::checkDatabase(path);
    auto db = jet::Database::open(path, jet::OpenMode::ReadOnly);
    for (const auto& [table, rows] : expected)
        if (const long read = db->openRecordset(table)->recordCount(); read != rows) {
            std::fprintf(stderr, "%s : %ld lignes au lieu de %ld\n", table.c_str(), read, rows);
            std::abort();
        }
    for (const std::string& problem : report.problems)
        std::fprintf(stderr, "%s\n", problem.c_str());
    if (!report.ok())
        std::abort();
}
