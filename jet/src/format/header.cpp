#include "format/header.h"

#include "format/text.h"

#include <cmath>
#include <cstring>

namespace jet::detail {

void rc4Xor(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length)
{
    uint8_t s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = uint8_t(i);
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = uint8_t(j + s[i] + key[i % keyLength]);
        std::swap(s[i], s[j]);
    }
    uint8_t a = 0, b = 0;
    for (size_t n = 0; n < length; ++n) {
        a = uint8_t(a + 1);
        b = uint8_t(b + s[a]);
        std::swap(s[a], s[b]);
        data[n] ^= s[uint8_t(s[a] + s[b])];
    }
}

namespace {

// The header block is masked with RC4 under this fixed key.
const uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

// The password as the header stores it once unmasked: Jet4 masks it again
// with the whole part of the creation date; it is UCS-2 there and code-page
// bytes in Jet3, padded with zeros.
std::string storedPassword(const std::vector<uint8_t>& header, const FormatInfo& f, uint16_t codePage)
{
    std::vector<uint8_t> bytes(header.begin() + f.headerPassword,
                               header.begin() + f.headerPassword + f.headerPasswordLength);
    if (f.headerCreationDate >= 0) {
        uint64_t bits = uint64_t(le32(header.data() + f.headerCreationDate)) |
                        uint64_t(le32(header.data() + f.headerCreationDate + 4)) << 32;
        double date;
        std::memcpy(&date, &bits, sizeof date);
        int32_t whole = 0;
        if (std::isfinite(date) && date > -2147483648.0 && date < 2147483648.0)
            whole = int32_t(date);
        const uint32_t mask = uint32_t(whole);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] ^= uint8_t(mask >> (8 * (i % 4)));
    }
    if (f.jet3) {
        size_t n = 0;
        while (n < bytes.size() && bytes[n] != 0)
            ++n;
        return decodeCodePageText(bytes.data(), n, codePage);
    }
    size_t n = 0;
    while (n + 1 < bytes.size() && (bytes[n] != 0 || bytes[n + 1] != 0))
        n += 2;
    std::string utf8;
    appendUcs2(utf8, bytes.data(), n);
    return utf8;
}

uint32_t sortOrderOf(const uint8_t* unmasked, const FormatInfo& f)
{
    return f.jet3 ? le16(unmasked + f.headerSortOrder) : le32(unmasked + f.headerSortOrder);
}

} // namespace

uint16_t headerCodePage(const FormatInfo& f, const uint8_t* page0)
{
    std::vector<uint8_t> masked(page0 + f.headerMaskedStart, page0 + f.headerMaskedStart + f.headerMaskedLength);
    rc4Xor(kHeaderKey, sizeof kHeaderKey, masked.data(), masked.size());
    return le16(masked.data() + (f.headerCodePage - f.headerMaskedStart));
}

void maskHeader(uint8_t* page, const FormatInfo& f)
{
    rc4Xor(kHeaderKey, sizeof kHeaderKey, page + f.headerMaskedStart, size_t(f.headerMaskedLength));
}

uint32_t storedSortOrder(const uint8_t* page, const FormatInfo& f)
{
    std::vector<uint8_t> block(page, page + f.headerMaskedStart + f.headerMaskedLength);
    maskHeader(block.data(), f);
    return sortOrderOf(block.data(), f);
}

HeaderInfo readHeader(PageFile& file)
{
    const std::string& path = file.path();
    const uint8_t* raw = file.rawBytes();
    if (file.size() < 0x20 || raw[0] != 0x00 || raw[1] != 0x01 || raw[2] != 0x00 || raw[3] != 0x00)
        throw Error(Code::NotADatabase, path + " : ce n'est pas une base Access (signature absente)");
    bool jet = std::memcmp(raw + 4, "Standard Jet DB", 15) == 0;
    bool ace = std::memcmp(raw + 4, "Standard ACE DB", 15) == 0;
    if (!jet && !ace)
        throw Error(Code::NotADatabase, path + " : ce n'est pas une base Access (signature absente)");

    HeaderInfo info;
    info.format = formatForVersion(raw[0x14], ace);
    if (!info.format)
        throw Error(Code::Unsupported,
                    path + " : version de format Access inconnue (" + std::to_string(raw[0x14]) + ")");
    const FormatInfo& f = *info.format;
    if (file.size() < f.pageSize)
        throw Error(Code::Corrupt, path + " : page 0 : fichier tronqué (" + std::to_string(file.size()) +
                                       " octets, moins d'une page)");
    file.setPageSize(f.pageSize);

    std::vector<uint8_t> header(raw, raw + f.pageSize);
    maskHeader(header.data(), f);

    info.codePage = le16(header.data() + f.headerCodePage);
    info.sortOrder = sortOrderOf(header.data(), f);

    if (le32(header.data() + f.headerEncodingKey) != 0) {
        if (f.format == Format::Jet3 || f.format == Format::Jet4)
            throw Error(Code::Unsupported, path + " : base de données chiffrée (codage Jet), non prise en charge");
        throw Error(Code::Unsupported, path + " : base .accdb chiffrée par un mot de passe (chiffrement ACE), "
                                              "non prise en charge : enlevez le mot de passe dans Access "
                                              "pour l'ouvrir ici");
    }
    if (f.format == Format::Jet3 || f.format == Format::Jet4)
        info.password = storedPassword(header, f, info.codePage);

    file.overlayPage(0, std::move(header));
    return info;
}

void checkPassword(const std::string& path, const std::string& stored, const std::string& given)
{
    if (stored.empty())
        return;
    if (given.empty())
        throw Error(Code::PasswordRequired, path + " : base protégée par un mot de passe : indiquez-le pour l'ouvrir");
    if (given != stored)
        throw Error(Code::WrongPassword, path + " : mot de passe incorrect");
}

} // namespace jet::detail
