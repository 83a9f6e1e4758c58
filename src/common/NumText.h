#pragma once
// The number texts of ZEP: one default form (NumText), one format routine for
// the fixed-decimal patterns, and one number reader. Everything that turns a
// number into text or text into a number goes through here.
#include <QString>
#include <QStringView>
#include <cstdint>

namespace zep {

// The default text of a number: a blank (not negative) or "-", then at most
// 7 significant digits, no trailing zeros or point, no "0" before the point,
// exponent form below 1E-4 and from 1E+07: " 40.5", " .5", "-2.5", " 1E-05".
QString NumText(double x);
// NumText without the leading blank of a non-negative value (file form: ".05").
QString NumTextBare(double x);
// NumText's digits as a plain decimal, as a box shows a value to edit: no
// leading blank, and a 0 before a leading point ("1.5", "0.5", "-0.5", "0").
QString DecimalText(double x);
// The default text of a double-precision result: as NumText, with up to 15
// significant digits and exponent form from 1E+15.
QString NumTextDouble(double x);

// Fixed-decimal patterns "#.000", "##.000", "#.0000", "#.00", "##.00":
// integer digits without leading zeros, then exactly as many decimals as the
// pattern has zeros, rounded half away from zero (".500", "-5.000").
// A single is taken at its 7-digit decimal value (as it is shown), a double
// at 15 digits, so 2.0005f formats as "2.001".
QString Format(float x, QStringView pattern);
QString Format(double x, QStringView pattern);

// Lenient reading: the leading number of the text, blanks anywhere ignored,
// "." as the decimal point, 0 when the text does not start with a number
// ("0.1abc" gives 0.1, "abc" gives 0). Out of range raises Overflow (6).
double Val(QStringView text);
// Strict reading: the whole text (blanks around it allowed) must be a number,
// else Type mismatch (13); out of range raises Overflow (6).
double StrictNumber(QStringView text);
// True when StrictNumber would accept the text.
bool IsNumber(QStringView text);

// What a box accepts: a closed or open range, optionally 0 besides it.
struct BoxRange {
    double lo = -1e300, hi = 1e300;
    bool loOpen = false, hiOpen = false;
    bool orZero = false; // 0 is accepted too ("0: the design's own")
    bool holds(double x) const;
    // "from 0.1 to 89.9", "above 1 and at most 10", "above 0", "0, or above 1 ..."
    QString text() const;
};
// The angles a raytrace takes, in degrees.
inline constexpr BoxRange AngleRange{0.1, 89.9};

// The number typed into the box called `box`, read strictly. An empty box,
// text that is not a number (13) or a number outside `range` (5) raises
// ZepError with a message that names the box and says what it takes.
double ReadBox(QStringView text, const QString& box, const BoxRange& range);

// To a single: Overflow (6) when the value is beyond a single's range.
float ToSingle(double x);
// To a 16-bit integer: nearest, halves to even; Overflow (6) out of range.
int16_t ToInteger(double x);
// The largest whole number not greater than x.
double Int(double x);

// An angle as the ray tracer is given it and the windows show it, rounded to
// three decimals ("#.000"), in thousandths of a degree.
int64_t AngleThousandths(float x);
// Angle limits are inclusive, to those three decimals: an angle that equals a
// limit as given lies within it, however its single-precision sum strayed.
bool WithinLimits(float x, float lo, float hi);

} // namespace zep
