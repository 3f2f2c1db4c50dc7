#include "header.h"

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

} // namespace

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
    rc4Xor(kHeaderKey, sizeof kHeaderKey, header.data() + f.headerMaskedStart, size_t(f.headerMaskedLength));

    info.codePage = le16(header.data() + f.headerCodePage);
    info.sortOrder = f.jet3 ? le16(header.data() + f.headerSortOrder) : le32(header.data() + f.headerSortOrder);

    if (le32(header.data() + f.headerEncodingKey) != 0)
        throw Error(Code::Unsupported, path + " : base de données chiffrée, non prise en charge");

    if (f.format == Format::Jet3 || f.format == Format::Jet4) {
        std::vector<uint8_t> password(header.begin() + f.headerPassword,
                                      header.begin() + f.headerPassword + f.headerPasswordLength);
        if (f.headerCreationDate >= 0) {
            // Jet4 further masks the password with the creation date.
            uint64_t bits = uint64_t(le32(header.data() + f.headerCreationDate)) |
                            uint64_t(le32(header.data() + f.headerCreationDate + 4)) << 32;
            double date;
            std::memcpy(&date, &bits, sizeof date);
            int32_t whole = 0;
            if (std::isfinite(date) && date > -2147483648.0 && date < 2147483648.0)
                whole = int32_t(date);
            uint8_t mask[4] = {uint8_t(whole), uint8_t(uint32_t(whole) >> 8), uint8_t(uint32_t(whole) >> 16),
                               uint8_t(uint32_t(whole) >> 24)};
            for (size_t i = 0; i < password.size(); ++i)
                password[i] ^= mask[i % 4];
        }
        for (uint8_t b : password) {
            if (b != 0)
                throw Error(Code::Unsupported,
                            path + " : base de données protégée par un mot de passe, non prise en charge");
        }
    }

    file.overlayPage(0, std::move(header));
    return info;
}

} // namespace jet::detail
