#include "format/decimal.h"

namespace jet::detail {

std::optional<DecimalDigits> parseDecimal(const std::string& s)
{
    DecimalDigits d;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        d.negative = s[i++] == '-';
    std::string all;
    long beforePoint = 0;
    bool seenPoint = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            all.push_back(c);
            if (!seenPoint)
                ++beforePoint;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (all.empty())
        return std::nullopt;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negativeExponent = s[i++] == '-';
        bool exponentDigit = false;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            exponentDigit = true;
            if (exponent < 1000000)
                exponent = exponent * 10 + (s[i] - '0');
        }
        if (!exponentDigit)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != s.size())
        return std::nullopt;
    size_t first = all.find_first_not_of('0');
    if (first == std::string::npos) {
        d.negative = false;
        return d; // zero
    }
    size_t last = all.find_last_not_of('0');
    d.digits = all.substr(first, last - first + 1);
    d.point = beforePoint - long(first) + exponent;
    return d;
}

int compareDecimals(const DecimalDigits& a, const DecimalDigits& b)
{
    const int signA = a.digits.empty() ? 0 : (a.negative ? -1 : 1);
    const int signB = b.digits.empty() ? 0 : (b.negative ? -1 : 1);
    if (signA != signB)
        return signA < signB ? -1 : 1;
    if (signA == 0)
        return 0;
    int magnitude;
    if (a.point != b.point)
        magnitude = a.point < b.point ? -1 : 1;
    else
        magnitude = a.digits.compare(b.digits) < 0 ? -1 : a.digits == b.digits ? 0 : 1;
    return signA < 0 ? -magnitude : magnitude;
}

} // namespace jet::detail
