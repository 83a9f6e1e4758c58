// Number texts, number reading and the key-value lines shared by the files.
#include "common/KeyValue.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "support/Errors.h"

#include <QtTest>
#include <tuple>
#include <limits>

using namespace zep;
using zep::test::errorOf;

class TestCommon : public QObject {
    Q_OBJECT
private slots:
    void numText()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
        const std::pair<double, const char*> cases[] = {
            {0.5, " .5"}, {40.5, " 40.5"}, {3, " 3"}, {-2.5, "-2.5"}, {0, " 0"}, {-0.0, " 0"},
            {double(0.1f), " .1"},               // a single shows its own shortest digits
            {0.00001, " 1E-05"}, {0.0001, " .0001"}, {-1.5e-7, "-1.5E-07"}, {1.5e300, " 1.5E+300"},
            {1234567, " 1234567"}, {12345678, " 1.234568E+07"}, {9999999.5, " 1E+07"},
            {3.14159265, " 3.141593"}, {nan, " NaN"}, {inf, " Inf"}, {-inf, "-Inf"},
        };
        for (const auto& [x, latin] : cases) {
            const QString text = QString::fromLatin1(latin);
            QCOMPARE(std::pair(NumText(x), NumTextBare(x)), std::pair(text, text.startsWith(u' ') ? text.mid(1) : text));
        }
        // A double-precision result keeps 15 digits and its exponent form starts later.
        QCOMPARE(NumTextDouble(1.25 * double(61.84f)) + NumTextDouble(2e15), QStringLiteral(" 77.3000001907349 2E+15"));
        // A box's editable text has its 0 before the point and no blank.
        QVERIFY(DecimalText(0.5) == QStringLiteral("0.5") && DecimalText(-0.25) == QStringLiteral("-0.25"));
    }

    void format()
    {
        const std::tuple<double, bool, const char16_t*, const char*> cases[] = {
            {0.5, true, u"#.000", ".500"}, {-5, true, u"##.000", "-5.000"}, {1.54, true, u"#.0000", "1.5400"},
            {5.5, true, u"##.00", "5.50"}, {0, true, u"#.000", ".000"}, {3.5355339, true, u"##.000", "3.536"},
            {2.0005, true, u"#.000", "2.001"}, {-2.0005, true, u"#.000", "-2.001"}, // halves away from zero
            {0.125, false, u"#.00", ".13"}, {9.9996, false, u"#.000", "10.000"},
            {-0.0001, false, u"#.000", ".000"}, {123456789, false, u"#.00", "123456789.00"},
            {std::nan(""), false, u"#.000", "NaN"}, {-INFINITY, true, u"#.000", "-Inf"},
            {0.4, false, u"#", "0"}, {-0.4, false, u"#", "0"}, {-2.5, false, u"#", "-3"},
        };
        for (const auto& [x, single, pattern, text] : cases)
            QCOMPARE(single ? Format(float(x), pattern) : Format(x, pattern), QString::fromLatin1(text));
        // What a box takes, as its refusal says it: each kind of range.
        const std::pair<BoxRange, const char*> ranges[] = {
            {{0, 1e300}, "of at least 0"}, {{0, 1e300, true}, "above 0"}, {{-1e300, 5}, "of at most 5"},
            {{-1e300, 5, false, true}, "below 5"}, {{1, 10, true}, "above 1 and at most 10"},
            {{1, 10, false, true}, "from 1 and below 10"}, {{0.1, 89.9}, "from 0.1 to 89.9"}, {{1, 1e300, true, false, true}, "0, or one above 1"}};
        for (const auto& [range, text] : ranges)
            QCOMPARE(range.text(), QString::fromLatin1(text));
    }

    // Val reads a number's start and stops; a strict number is the whole text, or an error; integers and
    // singles overflow past their range.
    void readingAndConversion()
    {
        const std::pair<const char*, double> cases[] = {
            {"0.1abc", 0.1}, {"abc", 0}, {" 1 2.5 ", 12.5}, {"-7abc", -7}, {"1.5E-3x", 0.0015},
            {"2D2", 200}, {"3e", 3}, {"12,5", 12}, {".", 0}, {"+4.5", 4.5},
        };
        for (const auto& [text, value] : cases)
            QCOMPARE(Val(QString::fromLatin1(text)), value);
        QVERIFY(StrictNumber(u" 15 ") == 15.0 && StrictNumber(u"-.5") == -0.5);
        for (const char* bad : {"abc", "", "  ", "1.5.2", "12abc", "1 2", "--1", "0x10"})
            QCOMPARE(errorOf([&] { StrictNumber(QString::fromLatin1(bad)); }), int(err::TypeMismatch));
        QCOMPARE(std::pair(errorOf([] { StrictNumber(u"1e400"); }), errorOf([] { ToSingle(1e39); })), std::pair(int(err::Overflow), int(err::Overflow)));
        for (const auto& [x, n] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {32767.4, 32767}, {-32768.5, -32768}})
            QCOMPARE(ToInteger(x), int16_t(n)); // halves to even
        for (double bad : {32767.5, -32769.0, 1e10, std::numeric_limits<double>::quiet_NaN()})
            QCOMPARE(errorOf([&] { ToInteger(bad); }), int(err::Overflow));
        QCOMPARE(std::pair(Int(-2.5), Int(2.9)), std::pair(-3.0, 2.0));
        QVERIFY(!WithinLimits(9e14f, 0, 1e14f) && WithinLimits(41.0004f, 40, 41)); // to the thousandth, huge ones in order
    }

    void keyValueReadingIsTolerant()
    {
        // An LF-only line end right before a key (a file edited here), blanks around fields (a quoted one too), a
        // key without quotes, blank line, junk after a closing quote, empty value, a key alone on its line, word,
        // open string.
        KvReader r(QByteArray("\"a\" , 1.5 \n\"b\", \"x, y\"junk\r\n\r\n cc,#TRUE#\r\n\"d\",\r\n\"g\"\r\n\"e\",word\r\n\"f\",\"open"));
        using K = KvValue::Kind;
        const std::tuple<const char*, K, const char*> pairs[] = {{"a", K::Number, "1.5"}, {"b", K::String, "x, y"},
                                                               {"cc", K::Bool, "True"}, {"d", K::Empty, ""},
                                                               {"g", K::Empty, ""}, {"e", K::String, "word"},
                                                               {"f", K::String, "open"}};
        for (const auto& [key, kind, text] : pairs) {
            const KvPair p = r.next();
            QVERIFY(p.keyText() == QString::fromLatin1(key) && p.value.kind == kind && p.value.toText() == QString::fromLatin1(text));
        }
        QVERIFY(r.atEnd() && errorOf([&] { r.next(); }) == int(err::PastEndOfFile));
    }

    void keyValueConversions()
    {
        QVERIFY(!KvValue::num(0).toBool() && KvValue::num(2).toBool() && KvValue::str(QStringLiteral("True")).toBool() && !KvValue::str(QStringLiteral("false")).toBool());
        QCOMPARE(errorOf([] { KvValue::str(QStringLiteral("maybe")).toBool(); }), int(err::TypeMismatch));
        QCOMPARE(KvValue::boolean(true).toSingle(), -1.0f);
        // A file's version mark is a number: text that reads as 1 is one, a word or nothing is not.
        QVERIFY(KvValue::num(1).equalsNumber(1) && KvValue::str(QStringLiteral("1")).equalsNumber(1));
        QVERIFY(!KvValue::str(QStringLiteral("one")).equalsNumber(1) && !KvValue::num(2).equalsNumber(1) && !KvValue().equalsNumber(0));
    }

    void keyValueRefusesUnstorableStrings()
    {
        QVERIFY(kvStorable(QStringLiteral("C:\\gems\\my mask.bmp, v2")));
        for (const QString& bad : {QStringLiteral("a\"b"), QStringLiteral("a\nb"), QStringLiteral("a\rb")}) {
            QVERIFY(!kvStorable(bad));
            KvWriter w;
            QVERIFY_THROWS_EXCEPTION(ZepError, w.string(QStringLiteral("k"), bad));
            QVERIFY(w.bytes().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestCommon)
#include "test_numtext.moc"
