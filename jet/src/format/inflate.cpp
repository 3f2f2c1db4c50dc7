#include "format/inflate.h"

#include <array>

namespace jet::detail {

namespace {

struct Malformed {};

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint32_t bits(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (pos_ >= size_)
                throw Malformed{};
            value |= uint32_t((data_[pos_] >> bit_) & 1) << i;
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return value;
    }
    void alignToByte()
    {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }
    uint8_t byte()
    {
        if (pos_ >= size_)
            throw Malformed{};
        return data_[pos_++];
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    int bit_ = 0;
};

// A canonical Huffman code given by the bit length of each symbol.
class Huffman {
public:
    Huffman(const uint8_t* lengths, int symbols)
    {
        count_.fill(0);
        for (int s = 0; s < symbols; ++s)
            ++count_[lengths[s]];
        count_[0] = 0;
        std::array<uint16_t, 16> offset{};
        for (int len = 1; len < 15; ++len)
            offset[size_t(len) + 1] = uint16_t(offset[size_t(len)] + count_[size_t(len)]);
        symbol_.assign(size_t(symbols), 0);
        for (int s = 0; s < symbols; ++s) {
            if (lengths[s] != 0)
                symbol_[offset[lengths[s]]++] = uint16_t(s);
        }
    }

    int decode(BitReader& in) const
    {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= 15; ++len) {
            code |= int(in.bits(1));
            const int count = count_[size_t(len)];
            if (code - count < first)
                return symbol_.at(size_t(index + (code - first)));
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        throw Malformed{};
    }

private:
    std::array<uint16_t, 16> count_;
    std::vector<uint16_t> symbol_;
};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void inflateBlock(BitReader& in, std::vector<uint8_t>& out, size_t limit, const Huffman& lengths,
                  const Huffman& distances)
{
    for (;;) {
        int symbol = lengths.decode(in);
        if (symbol < 256) {
            if (out.size() >= limit)
                throw Malformed{};
            out.push_back(uint8_t(symbol));
            continue;
        }
        if (symbol == 256)
            return;
        symbol -= 257;
        if (symbol >= 29)
            throw Malformed{};
        const size_t length = kLengthBase[symbol] + in.bits(kLengthExtra[symbol]);
        const int d = distances.decode(in);
        if (d >= 30)
            throw Malformed{};
        const size_t distance = kDistanceBase[d] + in.bits(kDistanceExtra[d]);
        if (distance > out.size() || out.size() + length > limit)
            throw Malformed{};
        for (size_t i = 0; i < length; ++i)
            out.push_back(out[out.size() - distance]);
    }
}

void dynamicBlock(BitReader& in, std::vector<uint8_t>& out, size_t limit)
{
    const int literals = int(in.bits(5)) + 257, distances = int(in.bits(5)) + 1, codes = int(in.bits(4)) + 4;
    if (literals > 286 || distances > 30)
        throw Malformed{};
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    uint8_t lengths[320] = {};
    for (int i = 0; i < codes; ++i)
        lengths[order[i]] = uint8_t(in.bits(3));
    const Huffman codeLengths(lengths, 19);
    int n = 0;
    while (n < literals + distances) {
        int symbol = codeLengths.decode(in);
        if (symbol < 16) {
            lengths[n++] = uint8_t(symbol);
            continue;
        }
        uint8_t repeated = 0;
        int times = 0;
        if (symbol == 16) {
            if (n == 0)
                throw Malformed{};
            repeated = lengths[n - 1];
            times = 3 + int(in.bits(2));
        } else if (symbol == 17) {
            times = 3 + int(in.bits(3));
        } else {
            times = 11 + int(in.bits(7));
        }
        if (n + times > literals + distances)
            throw Malformed{};
        while (times--)
            lengths[n++] = repeated;
    }
    if (lengths[256] == 0)
        throw Malformed{};
    inflateBlock(in, out, limit, Huffman(lengths, literals), Huffman(lengths + literals, distances));
}

void fixedBlock(BitReader& in, std::vector<uint8_t>& out, size_t limit)
{
    uint8_t lengths[288 + 30];
    for (int i = 0; i < 288; ++i)
        lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    for (int i = 0; i < 30; ++i)
        lengths[288 + i] = 5;
    inflateBlock(in, out, limit, Huffman(lengths, 288), Huffman(lengths + 288, 30));
}

uint32_t adler32(const std::vector<uint8_t>& bytes)
{
    uint32_t a = 1, b = 0;
    for (uint8_t c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

} // namespace

std::optional<std::vector<uint8_t>> inflateZlib(const uint8_t* data, size_t size, size_t limit)
{
    try {
        BitReader in(data, size);
        const uint8_t cmf = in.byte(), flg = in.byte();
        if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (uint32_t(cmf) << 8 | flg) % 31 != 0 || (flg & 0x20) != 0)
            return std::nullopt;
        std::vector<uint8_t> out;
        bool last = false;
        while (!last) {
            last = in.bits(1) != 0;
            switch (in.bits(2)) {
            case 0: {
                in.alignToByte();
                uint16_t len = in.byte();
                len = uint16_t(len | in.byte() << 8);
                uint16_t nlen = in.byte();
                nlen = uint16_t(nlen | in.byte() << 8);
                if (uint16_t(~nlen) != len || out.size() + len > limit)
                    return std::nullopt;
                for (uint16_t i = 0; i < len; ++i)
                    out.push_back(in.byte());
                break;
            }
            case 1: fixedBlock(in, out, limit); break;
            case 2: dynamicBlock(in, out, limit); break;
            default: return std::nullopt;
            }
        }
        in.alignToByte();
        uint32_t stored = 0;
        for (int i = 0; i < 4; ++i)
            stored = stored << 8 | in.byte();
        if (stored != adler32(out))
            return std::nullopt;
        return out;
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

} // namespace jet::detail
