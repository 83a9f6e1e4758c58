#include "NumText.h"
#include "ZepError.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

namespace zep {

namespace {

// A finite non-zero magnitude as significant digits and a decimal exponent:
// value = d.ddd × 10^exp. Trailing zeros are dropped from digits.
struct Decimal {
    std::string digits;
    int exp = 0;
};

Decimal toDecimal(double magnitude, int significant)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1, magnitude);
    Decimal d;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits.push_back(*p);
    if (*p == 'e')
        d.exp = std::atoi(p + 1);
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

QString nonFinite(double x)
{
    if (std::isnan(x))
        return QStringLiteral("NaN");
    return x < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");
}

QString magnitudeText(double magnitude, int significant)
{
    if (magnitude == 0)
        return QStringLiteral("0");
    const Decimal d = toDecimal(magnitude, significant);
    const int n = int(d.digits.size());
    std::string s;
    if (d.exp < -4 || d.exp >= significant) {
        s.push_back(d.digits[0]);
        if (n > 1) {
            s.push_back('.');
            s.append(d.digits, 1, std::string::npos);
        }
        char e[16];
        std::snprintf(e, sizeof e, "E%c%02d", d.exp < 0 ? '-' : '+', std::abs(d.exp));
        s += e;
    } else if (d.exp >= 0) {
        const int intDigits = d.exp + 1;
        for (int i = 0; i < intDigits; ++i)
            s.push_back(i < n ? d.digits[i] : '0');
        if (n > intDigits) {
            s.push_back('.');
            s.append(d.digits, intDigits, std::string::npos);
        }
    } else {
        s.push_back('.');
        s.append(-d.exp - 1, '0');
        s += d.digits;
    }
    return QString::fromLatin1(s.c_str());
}

QString formatWith(double x, QStringView pattern, int significant)
{
    if (!std::isfinite(x))
        return nonFinite(x);
    const qsizetype point = pattern.indexOf(u'.');
    const int decimals = point < 0 ? 0 : int(pattern.size() - point - 1);
    const bool negative = x < 0;
    // All digits of the value, integer part first: value = 0.digits × 10^intLen.
    std::string digits;
    int intLen = 0;
    if (x != 0) {
        const Decimal d = toDecimal(std::fabs(x), significant);
        digits = d.digits;
        intLen = d.exp + 1;
        if (intLen < 0) {
            digits.insert(0, std::size_t(-intLen), '0');
            intLen = 0;
        }
    }
    const int keep = intLen + decimals;
    if (int(digits.size()) < keep)
        digits.append(std::size_t(keep - int(digits.size())), '0');
    const bool roundUp = int(digits.size()) > keep && digits[std::size_t(keep)] >= '5';
    digits.resize(std::size_t(keep));
    if (roundUp) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (digits[std::size_t(i)] == '9') {
                digits[std::size_t(i)] = '0';
            } else {
                ++digits[std::size_t(i)];
                break;
            }
        }
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            ++intLen;
        }
    }
    std::string intPart = digits.substr(0, std::size_t(intLen));
    const std::string fracPart = digits.substr(std::size_t(intLen));
    const std::size_t firstNonZero = intPart.find_first_not_of('0');
    intPart = firstNonZero == std::string::npos ? std::string() : intPart.substr(firstNonZero);
    const bool allZero = intPart.empty() && fracPart.find_first_not_of('0') == std::string::npos;
    std::string s = (negative && !allZero) ? "-" : "";
    s += intPart;
    if (decimals > 0)
        s += "." + fracPart;
    else if (s.empty()) // (a value that rounds to 0 has no sign)
        s += "0";
    return QString::fromLatin1(s.c_str());
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

double checkedRange(double v)
{
    if (!std::isfinite(v))
        throw ZepError(err::Overflow);
    return v;
}

// Reads sign, digits, point, digits and exponent from the compacted text;
// returns the characters used (0 when no number starts the text).
qsizetype scanNumber(const std::string& s, double& value)
{
    std::size_t i = 0;
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        num.push_back(s[i++]);
    bool mantissaDigit = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        num.push_back(s[i++]);
        mantissaDigit = true;
    }
    if (i < s.size() && s[i] == '.') {
        num.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            num.push_back(s[i++]);
            mantissaDigit = true;
        }
    }
    if (!mantissaDigit) {
        value = 0;
        return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string e = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            e.push_back(s[j++]);
        if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                e.push_back(s[j++]);
            num += e;
            i = j;
        }
    }
    value = checkedRange(std::strtod(num.c_str(), nullptr));
    return qsizetype(i);
}

std::string latin(QStringView text)
{
    std::string s;
    s.reserve(std::size_t(text.size()));
    for (QChar c : text)
        s.push_back(c.unicode() < 128 ? char(c.unicode()) : '\x7f');
    return s;
}

QString numText(double x, int significant)
{
    if (std::isnan(x))
        return QStringLiteral(" NaN");
    const bool negative = x < 0;
    if (std::isinf(x))
        return negative ? QStringLiteral("-Inf") : QStringLiteral(" Inf");
    return (negative ? QStringLiteral("-") : QStringLiteral(" ")) + magnitudeText(std::fabs(x), significant);
}

} // namespace

QString NumText(double x) { return numText(x, 7); }

QString NumTextDouble(double x) { return numText(x, 15); }

QString NumTextBare(double x)
{
    QString s = NumText(x);
    if (s.startsWith(u' '))
        s.remove(0, 1);
    return s;
}

QString DecimalText(double x)
{
    QString s = NumTextBare(x);
    if (s.startsWith(u'.'))
        s.prepend(u'0');
    else if (s.startsWith(QLatin1String("-.")))
        s.insert(1, u'0');
    return s;
}

QString Format(float x, QStringView pattern) { return formatWith(double(x), pattern, 7); }
QString Format(double x, QStringView pattern) { return formatWith(x, pattern, 15); }

double Val(QStringView text)
{
    std::string compact;
    for (QChar c : text)
        if (!isBlank(c))
            compact.push_back(c.unicode() < 128 ? char(c.unicode()) : '\x7f');
    double v = 0;
    scanNumber(compact, v);
    return v;
}

bool IsNumber(QStringView text)
{
    const std::string s = latin(text.trimmed());
    double v = 0;
    try {
        return !s.empty() && std::size_t(scanNumber(s, v)) == s.size();
    } catch (const ZepError&) {
        return true; // a number, only too large
    }
}

double StrictNumber(QStringView text)
{
    const std::string s = latin(text.trimmed());
    double v = 0;
    if (s.empty() || std::size_t(scanNumber(s, v)) != s.size())
        throw ZepError(err::TypeMismatch);
    return v;
}

bool BoxRange::holds(double x) const
{
    if (orZero && x == 0)
        return true;
    const bool aboveLo = loOpen ? x > lo : x >= lo;
    const bool belowHi = hiOpen ? x < hi : x <= hi;
    return aboveLo && belowHi; // false for a NaN
}

QString BoxRange::text() const
{
    const bool hasLo = lo > -1e300, hasHi = hi < 1e300;
    QString t;
    if (hasLo && !hasHi)
        t = (loOpen ? QStringLiteral("above ") : QStringLiteral("of at least ")) + DecimalText(lo);
    else if (!hasLo && hasHi)
        t = (hiOpen ? QStringLiteral("below ") : QStringLiteral("of at most ")) + DecimalText(hi);
    else if (loOpen || hiOpen)
        t = (loOpen ? QStringLiteral("above ") : QStringLiteral("from ")) + DecimalText(lo)
            + (hiOpen ? QStringLiteral(" and below ") : QStringLiteral(" and at most ")) + DecimalText(hi);
    else if (hasLo)
        t = QStringLiteral("from ") + DecimalText(lo) + QStringLiteral(" to ") + DecimalText(hi);
    return orZero ? QStringLiteral("0, or one ") + t : t;
}

double ReadBox(QStringView text, const QString& box, const BoxRange& range)
{
    const QString accepted = range.text();
    const QString please = QStringLiteral(" Please type a number") + (accepted.isEmpty() ? QString() : u' ' + accepted) + u'.';
    const QString typed = text.trimmed().toString();
    if (typed.isEmpty())
        throw ZepError(err::TypeMismatch, QStringLiteral("The box \"%1\" is empty.").arg(box) + please);
    double v = 0;
    try {
        v = StrictNumber(typed);
    } catch (const ZepError&) {
        throw ZepError(err::TypeMismatch,
                       QStringLiteral("The box \"%1\" holds \"%2\", which is not a number.").arg(box, typed) + please);
    }
    if (!range.holds(v))
        throw ZepError(err::InvalidCall,
                       QStringLiteral("The box \"%1\" holds %2, which it cannot take.").arg(box, typed) + please);
    return v;
}

float ToSingle(double x)
{
    if (std::isnan(x) || std::fabs(x) > double(FLT_MAX))
        throw ZepError(err::Overflow);
    return float(x);
}

int16_t ToInteger(double x)
{
    if (!(x >= -32768.5 && x < 32767.5))
        throw ZepError(err::Overflow);
    return int16_t(std::nearbyint(x)); // default rounding: nearest, halves to even
}

double Int(double x) { return std::floor(x); }

int64_t AngleThousandths(float x)
{
    const double v = Val(Format(x, u"#.000")) * 1000;
    return std::fabs(v) < 1e18 ? std::llround(v) : v < 0 ? -int64_t(1e18) : int64_t(1e18);
}

bool WithinLimits(float x, float lo, float hi)
{
    const int64_t a = AngleThousandths(x);
    return a >= AngleThousandths(lo) && a <= AngleThousandths(hi);
}

} // namespace zep
