// Number texts, number reading and the key-value lines shared by the files.
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"

#include <QtTest>
#include <cmath>
#include <limits>

using namespace zep;

class TestCommon : public QObject {
    Q_OBJECT
private slots:
    void numText_data();
    void numText();
    void numTextSpecialValues();
    void format_data();
    void format();
    void lenientReading_data();
    void lenientReading();
    void strictReading();
    void integerConversion();
    void standardErrorMessage();
    void keyValueWriting();
    void keyValueReadingIsTolerant();
    void keyValueConversions();
    void keyValueRefusesUnstorableStrings();
};

void TestCommon::numText_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5 << " .5";
    QTest::newRow("40.5") << 40.5 << " 40.5";
    QTest::newRow("three") << 3.0 << " 3";
    QTest::newRow("negative") << -2.5 << "-2.5";
    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("float 0.1") << double(0.1f) << " .1";
    QTest::newRow("float 40.7") << double(40.7f) << " 40.7";
    QTest::newRow("float 0.05") << double(0.05f) << " .05";
    QTest::newRow("exponent below -4") << 0.00001 << " 1E-05";
    QTest::newRow("exponent -4 stays plain") << 0.0001 << " .0001";
    QTest::newRow("1.5E-07") << -1.5e-7 << "-1.5E-07";
    QTest::newRow("six integer digits") << 999999.0 << " 999999";
    QTest::newRow("seven integer digits") << 1234567.0 << " 1234567";
    QTest::newRow("exponent from 1E+07") << 12345678.0 << " 1.234568E+07";
    QTest::newRow("rounding carry to 1E+07") << 9999999.5 << " 1E+07";
    QTest::newRow("carry in the fraction") << 0.99999999 << " 1";
    QTest::newRow("seven significant digits") << 3.14159265 << " 3.141593";
    QTest::newRow("large exponent") << 1.5e300 << " 1.5E+300";
    QTest::newRow("float third") << double(1.0f / 3.0f) << " .3333333";
    QTest::newRow("negative zero") << -0.0 << " 0";
}

void TestCommon::numText()
{
    QFETCH(double, x);
    QFETCH(QString, text);
    QCOMPARE(NumText(x), text);
    QCOMPARE(NumTextBare(x), text.startsWith(u' ') ? text.mid(1) : text);
}

void TestCommon::numTextSpecialValues()
{
    // Nothing crashes, and the texts say what the value is.
    QCOMPARE(NumText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral(" NaN"));
    QCOMPARE(NumText(std::numeric_limits<double>::infinity()), QStringLiteral(" Inf"));
    QCOMPARE(NumText(-std::numeric_limits<double>::infinity()), QStringLiteral("-Inf"));
    QCOMPARE(Format(std::numeric_limits<float>::quiet_NaN(), u"#.000"), QStringLiteral("NaN"));
    QCOMPARE(NumText(std::numeric_limits<double>::denorm_min()), QStringLiteral(" 4.940656E-324"));
    // A double-precision result keeps 15 digits and its exponent form starts later.
    QCOMPARE(NumTextDouble(1.25 * double(61.84f)), QStringLiteral(" 77.3000001907349"));
    QCOMPARE(NumTextDouble(-12345678.0), QStringLiteral("-12345678"));
    QCOMPARE(NumTextDouble(2e15), QStringLiteral(" 2E+15"));
}

void TestCommon::format_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("single");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5 << true << "#.000" << ".500";
    QTest::newRow("minus five") << -5.0 << true << "##.000" << "-5.000";
    QTest::newRow("pavilion") << 40.75 << true << "##.000" << "40.750";
    QTest::newRow("index") << 1.54 << true << "#.0000" << "1.5400";
    QTest::newRow("angle list") << 41.0 << true << "##.00" << "41.00";
    QTest::newRow("small angle") << 5.5 << true << "##.00" << "5.50";
    QTest::newRow("zero") << 0.0 << true << "#.000" << ".000";
    QTest::newRow("tilt sample") << 3.5355339 << true << "##.000" << "3.536";
    QTest::newRow("tilt sample 2") << 7.0710678 << true << "##.000" << "7.071";
    QTest::newRow("float 40.7") << 40.7 << true << "##.000" << "40.700";
    QTest::newRow("half away from zero") << 2.0005 << true << "#.000" << "2.001";
    QTest::newRow("negative half") << -2.0005 << true << "#.000" << "-2.001";
    QTest::newRow("double half") << 0.125 << false << "#.00" << ".13";
    QTest::newRow("carry into integer") << 9.9996 << false << "#.000" << "10.000";
    QTest::newRow("carry from zero") << 0.9999 << false << "#.00" << "1.00";
    QTest::newRow("rounds to zero") << -0.0001 << false << "#.000" << ".000";
    QTest::newRow("tiny") << 1e-20 << false << "#.000" << ".000";
    QTest::newRow("large") << 123456789.0 << false << "#.00" << "123456789.00";
    QTest::newRow("version") << 1.0 << false << "#.00" << "1.00";
}

void TestCommon::format()
{
    QFETCH(double, x);
    QFETCH(bool, single);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QCOMPARE(single ? Format(float(x), pattern) : Format(x, pattern), text);
}

void TestCommon::lenientReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("leading number") << "0.1abc" << 0.1;
    QTest::newRow("word") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks ignored") << " 1 2.5 " << 12.5;
    QTest::newRow("sign") << "-7abc" << -7.0;
    QTest::newRow("no leading zero") << ".05" << 0.05;
    QTest::newRow("exponent") << "1.5E-3x" << 0.0015;
    QTest::newRow("D exponent") << "2D2" << 200.0;
    QTest::newRow("dangling exponent") << "3e" << 3.0;
    QTest::newRow("comma ends") << "12,5" << 12.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("lone sign") << "-" << 0.0;
}

void TestCommon::lenientReading()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Val(text), value);
}

void TestCommon::strictReading()
{
    QCOMPARE(StrictNumber(u" 15 "), 15.0);
    QCOMPARE(StrictNumber(u"-.5"), -0.5);
    QCOMPARE(StrictNumber(u"1E-05"), 1e-5);
    for (const char* bad : {"abc", "", "  ", "1.5.2", "12abc", "1 2", "--1", "0x10"}) {
        try {
            StrictNumber(QString::fromLatin1(bad));
            QFAIL(bad);
        } catch (const ZepError& e) {
            QCOMPARE(e.number(), err::TypeMismatch);
        }
    }
    try {
        StrictNumber(u"1e400");
        QFAIL("no overflow");
    } catch (const ZepError& e) {
        QCOMPARE(e.number(), err::Overflow);
    }
    QVERIFY_THROWS_EXCEPTION(ZepError, ToSingle(1e39));
    QCOMPARE(ToSingle(-3.5), -3.5f);
}

void TestCommon::integerConversion()
{
    QCOMPARE(ToInteger(2.5), int16_t(2));
    QCOMPARE(ToInteger(3.5), int16_t(4));
    QCOMPARE(ToInteger(-2.5), int16_t(-2));
    QCOMPARE(ToInteger(2.4999), int16_t(2));
    QCOMPARE(ToInteger(32767.4), int16_t(32767));
    QCOMPARE(ToInteger(-32768.5), int16_t(-32768));
    for (double bad : {32767.5, -32769.0, 1e10, std::numeric_limits<double>::quiet_NaN()}) {
        try {
            ToInteger(bad);
            QFAIL("no overflow");
        } catch (const ZepError& e) {
            QCOMPARE(e.number(), err::Overflow);
        }
    }
    QCOMPARE(Int(-2.5), -3.0);
    QCOMPARE(Int(2.9), 2.0);
}

void TestCommon::standardErrorMessage()
{
    QCOMPARE(ZepError(53).standardMessage(QStringLiteral("GetLast")),
             QStringLiteral("Error  53 (File not found) in GetLast routine"));
    QCOMPARE(ZepError(13).standardMessage(QStringLiteral("OKButton_Click")),
             QStringLiteral("Error  13 (Type mismatch) in OKButton_Click routine"));
    // An error with a message of its own shows that message.
    RecordingSink sink;
    sink.report(ZepError(5, QStringLiteral("Not a mask")), QStringLiteral("Form_Load"));
    sink.report(ZepError(62), QStringLiteral("GetPrefs"));
    QCOMPARE(sink.messages, (QStringList{QStringLiteral("Not a mask"),
                                         QStringLiteral("Error  62 (Input past end of file) in GetPrefs routine")}));
    QCOMPARE(sink.titles.first(), QStringLiteral("ZEP"));
}

void TestCommon::keyValueWriting()
{
    KvWriter w;
    w.number(QStringLiteral("ATol"), double(0.05f));
    w.string(QStringLiteral("DosPaste"), QStringLiteral("% EP"));
    w.boolean(QStringLiteral("DoBat"), false);
    w.boolean(QStringLiteral("DoTips"), true);
    w.number(QStringLiteral("x"), -2.5);
    w.number(QStringLiteral("n"), 15);
    w.string(QStringLiteral("empty"), QString());
    QCOMPARE(w.bytes(), QByteArray("\"ATol\",.05\r\n\"DosPaste\",\"% EP\"\r\n\"DoBat\",#FALSE#\r\n"
                                   "\"DoTips\",#TRUE#\r\n\"x\",-2.5\r\n\"n\",15\r\n\"empty\",\"\"\r\n"));
}

void TestCommon::keyValueReadingIsTolerant()
{
    // LF-only lines, blanks around unquoted fields, a blank line, text after a
    // closing quote, an empty value and a word.
    KvReader r(QByteArray("\"a\" , 1.5 \n\n\"b\",\"x, y\"junk\r\n c ,#TRUE#\r\n\"d\",\r\n\"e\",word\r\n\"f\",\"open"));
    KvPair p = r.next();
    QCOMPARE(p.keyText(), QStringLiteral("a"));
    QCOMPARE(p.value.kind, KvValue::Kind::Number);
    QCOMPARE(p.value.toSingle(), 1.5f);
    p = r.next();
    QCOMPARE(p.keyText(), QStringLiteral("b"));
    QCOMPARE(p.value.toText(), QStringLiteral("x, y"));
    p = r.next();
    QCOMPARE(p.keyText(), QStringLiteral("c"));
    QVERIFY(p.value.toBool());
    p = r.next();
    QCOMPARE(p.keyText(), QStringLiteral("d"));
    QCOMPARE(p.value.kind, KvValue::Kind::Empty);
    p = r.next();
    QCOMPARE(p.value.kind, KvValue::Kind::String);
    QCOMPARE(p.value.toText(), QStringLiteral("word"));
    p = r.next();
    QCOMPARE(p.value.toText(), QStringLiteral("open"));
    QVERIFY(r.atEnd());
    try {
        r.next();
        QFAIL("read past the end");
    } catch (const ZepError& e) {
        QCOMPARE(e.number(), err::PastEndOfFile);
    }
}

void TestCommon::keyValueConversions()
{
    QVERIFY(!KvValue::num(0).toBool());
    QVERIFY(KvValue::num(2).toBool());
    QVERIFY(KvValue::str(QStringLiteral("True")).toBool());
    QVERIFY(!KvValue::str(QStringLiteral("false")).toBool());
    QVERIFY_THROWS_EXCEPTION(ZepError, KvValue::str(QStringLiteral("maybe")).toBool());
    QCOMPARE(KvValue::boolean(true).toSingle(), -1.0f);
    QCOMPARE(KvValue::num(2.5).toInteger(), int16_t(2));
    QCOMPARE(KvValue::num(3.5).toInteger(), int16_t(4));
    QCOMPARE(KvValue::str(QStringLiteral(" 7 ")).toSingle(), 7.0f);
    QVERIFY_THROWS_EXCEPTION(ZepError, KvValue::str(QStringLiteral("abc")).toSingle());
    QCOMPARE(KvValue::num(2.5).toText(), QStringLiteral("2.5"));
    QVERIFY(KvValue::num(1).equalsNumber(1));
    QVERIFY(!KvValue::str(QStringLiteral("x")).equalsNumber(1));
    QCOMPARE(KvValue::num(2).shownText(), QStringLiteral(" 2"));
}

void TestCommon::keyValueRefusesUnstorableStrings()
{
    QVERIFY(kvStorable(QStringLiteral("C:\\gems\\my mask.bmp, v2")));
    for (const QString& bad : {QStringLiteral("a\"b"), QStringLiteral("a\nb"), QStringLiteral("a\rb")}) {
        QVERIFY(!kvStorable(bad));
        KvWriter w;
        QVERIFY_THROWS_EXCEPTION(ZepError, w.string(QStringLiteral("k"), bad));
        QVERIFY(w.bytes().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestCommon)
#include "test_numtext.moc"
