#include "format/jet3_row.h"

namespace jet::detail {

bool readJet3Offsets(const uint8_t* row, size_t size, size_t nullMaskSize, std::vector<uint16_t>& offsets)
{
    offsets.clear();
    const long last = long(size) - 1;
    const long nm = long(nullMaskSize);
    if (last - nm < 1)
        return false;
    const long varCount = row[last - nm];
    long jumps = (long(size) - 1) / 256;
    const long firstEntry = last - nm - jumps - 1;
    if (firstEntry - varCount < 0)
        return false;
    if ((firstEntry - varCount) / 256 < jumps)
        --jumps; // a filler entry
    long used = 0;
    offsets.resize(size_t(varCount) + 1);
    for (long i = 0; i <= varCount; ++i) {
        while (used < jumps && i == row[last - nm - used - 1])
            ++used;
        offsets[size_t(i)] = uint16_t(row[firstEntry - i] + used * 256);
    }
    return true;
}

bool appendJet3Tail(std::vector<uint8_t>& row, const std::vector<uint16_t>& offsets,
                    const std::vector<uint8_t>& nullMask)
{
    const size_t n = offsets.size() - 1;
    const size_t eod = offsets[n];
    const size_t needed = eod / 256; // boundaries the offsets cross
    // The table's length follows from the row's: with or without a filler.
    size_t entries = needed;
    const size_t rest = offsets.size() + 1 + nullMask.size(); // offsets, EOD included, and n
    if ((eod + rest + entries - 1) / 256 != entries)
        ++entries;
    if (entries > needed + 1 || (eod + rest + entries - 1) / 256 != entries)
        return false;
    for (size_t i = n + 1; i-- > 0;)
        row.push_back(uint8_t(offsets[i] & 0xFF));
    std::vector<uint8_t> jumps;
    size_t first = 0;
    for (size_t k = 1; k <= needed; ++k) {
        while (first <= n && offsets[first] < 256 * k)
            ++first;
        jumps.push_back(uint8_t(first));
    }
    if (entries > needed)
        row.push_back(0xFF);
    for (size_t k = jumps.size(); k-- > 0;)
        row.push_back(jumps[k]);
    row.push_back(uint8_t(n));
    row.insert(row.end(), nullMask.begin(), nullMask.end());
    return true;
}

} // namespace jet::detail
