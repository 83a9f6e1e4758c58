// The targets record and the target file.
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "optimize/TargetFile.h"
#include "support/Errors.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using zep::test::errorOf;

class TestTargets : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* n) const { return dir.filePath(QString::fromLatin1(n)); }

    static bool same(const OptimizationTargets& a, const OptimizationTargets& b)
    {
        KvWriter wa, wb;
        WriteOpt6(wa, a);
        WriteOpt6(wb, b);
        return wa.bytes() == wb.bytes();
    }

private slots:
    void defaultsSaveAs34Lines()
    {
        const QString p = path("defaults.TXT");
        SaveTargetFile(p, OptimizationTargets(), p);
        const QByteArray f = "#FALSE#", z = "0";
        QByteArray expected = "\"ZEP\",1\r\n";
        for (const auto& [key, value] :
             {std::pair{"doISO", f}, {"wtISO", z}, {"doIll", f}, {"wtILL", z}, {"doTilt", f}, {"wtTilt", z},
              {"doTilt1", f}, {"doTilt2", f}, {"doTilt3", f}, {"doTilt4", f}, {"doTilt5", f}, {"doTilt6", f},
              {"doTilt7", f}, {"doTilt8", f}, {"TAngMax", z}, {"nTang", "3"}, {"dBZMF", z}, {"doSparkle", f},
              {"wtSparkle", z}, {"SpDir1", z}, {"SpAng1", z}, {"SpDir2", z}, {"SpAng2", z}, {"useSMsk", f},
              {"theSMsk", "\"\""}, {"doFire", f}, {"wtFire", z}, {"firePreset", f}, {"fireMat", "\"\""},
              {"fireDisp", z}, {"useFMsk", f}, {"theFMsk", "\"\""}})
            expected += '"' + QByteArray(key) + "\"," + value + "\r\n";
        expected += "\"END\",\"" + p.toUtf8() + "\"\r\n";
        QCOMPARE(readFileBytes(p), expected);
    }

    void roundTripKeepsEveryField()
    {
        OptimizationTargets t;
        t.doISO = true; t.wtISO = 2.5f; t.doIll = true; t.wtILL = 0.1f; t.doTilt = true;
        t.wtTilt = 40.7f; t.doTilt3 = t.doTilt8 = true; t.TAngMax = 10; t.nTang = 5; t.dBZMF = 1e-5f;
        t.doSparkle = true; t.wtSparkle = -3; t.SpDir1 = 2; t.SpAng1 = 2.5f; t.SpDir2 = 7;
        t.SpAng2 = 1234567; t.useSMsk = true; t.theSMsk = QStringLiteral("/m/sparkle mask, a.bmp");
        t.doFire = true; t.wtFire = 0.3333333f; t.firePreset = true; t.fireMat = QStringLiteral("Diamond");
        t.fireDisp = 0.044f; t.useFMsk = true; t.theFMsk = QStringLiteral("/m/fire.bmp");
        SaveTargetFile(path("t.TXT"), t, path("t.TXT"));
        OptimizationTargets back;
        RecordingSink sink;
        QVERIFY(LoadTargetFile(path("t.TXT"), back, sink));
        QVERIFY(sink.messages.isEmpty());
        QVERIFY(same(t, back));
        QCOMPARE(back.wtILL, 0.1f);
        QCOMPARE(back.theSMsk, t.theSMsk);
    }

    void tolerantLoading()
    {
        OptimizationTargets t;
        t.wtFire = 9;
        writeFileSafely(path("short.TXT"), "\"ZEP\",1\r\n\"unknown\",5\r\n\"wtISO\",2.5\r\n\"wtISO\", 3 \n\"END\",\"\"\r\n\"wtFire\",1\r\n");
        RecordingSink sink;
        QVERIFY(LoadTargetFile(path("short.TXT"), t, sink));
        QCOMPARE(t.wtISO, 3.0f);   // the later value wins
        QCOMPARE(t.wtFire, 9.0f);  // nothing after END is read
        QVERIFY(sink.messages.isEmpty());
    }

    void keysAreCaseSensitiveAndValuesChecked()
    {
        OptimizationTargets t;
        ParseOpt(t, QStringLiteral("ntang"), KvValue::num(9));
        QCOMPARE(t.nTang, int16_t(3));
        ParseOpt(t, QStringLiteral("doISO"), KvValue::num(-1));
        QVERIFY(t.doISO);
        QCOMPARE(errorOf([&] { ParseOpt(t, QStringLiteral("nTang"), KvValue::num(40000)); }), int(err::Overflow));
        QCOMPARE(t.nTang, int16_t(3));
    }

    void wrongHeaderAndVersion()
    {
        OptimizationTargets t;
        t.wtISO = 7;
        RecordingSink sink;
        writeFileSafely(path("lower.TXT"), "\"zep\",1\r\n\"wtISO\",1\r\n\"END\",\"\"\r\n");
        QVERIFY(!LoadTargetFile(path("lower.TXT"), t, sink));
        QCOMPARE(sink.messages, QStringList{QStringLiteral("This is not a ZEP Target File. Aborting Load")});
        QCOMPARE(t.wtISO, 7.0f);

        sink.messages.clear();
        writeFileSafely(path("v2.TXT"), "\"ZEP\",2\r\n\"wtISO\",1\r\n\"END\",\"\"\r\n");
        QVERIFY(LoadTargetFile(path("v2.TXT"), t, sink));
        QCOMPARE(sink.messages, QStringList{QStringLiteral(
                                    "This target list seems to be from a different version of ZEP. Proceed with Caution")});
        QCOMPARE(t.wtISO, 1.0f);
    }

    void badFiles()
    {
        OptimizationTargets t;
        RecordingSink sink;
        auto expectError = [&](const QString& p, int16_t number) {
            QCOMPARE(errorOf([&] { LoadTargetFile(p, t, sink); }), int(number));
        };
        expectError(path("missing.TXT"), err::FileNotFound);
        writeFileSafely(path("empty.TXT"), "");
        expectError(path("empty.TXT"), err::PastEndOfFile);
        // Ends before its END line: the pairs before the end stay stored.
        writeFileSafely(path("cut.TXT"), "\"ZEP\",1\r\n\"wtISO\",4\r\n\"doI");
        expectError(path("cut.TXT"), err::PastEndOfFile);
        QCOMPARE(t.wtISO, 4.0f);
        writeFileSafely(path("mismatch.TXT"), "\"ZEP\",1\r\n\"wtILL\",\"heavy\"\r\n\"END\",\"\"\r\n");
        expectError(path("mismatch.TXT"), err::TypeMismatch);
        writeFileSafely(path("huge.TXT"), "\"ZEP\",1\r\n\"wtILL\",1e300\r\n\"END\",\"\"\r\n");
        expectError(path("huge.TXT"), err::Overflow);
        QVERIFY(sink.messages.isEmpty());
    }

    void saveReplacesOnlyWhenComplete()
    {
        // A target that cannot be written leaves the old file whole.
        const QString p = path("keep.TXT");
        writeFileSafely(p, "old contents");
        OptimizationTargets t;
        t.theFMsk = QStringLiteral("bad\"name");
        QVERIFY_THROWS_EXCEPTION(ZepError, SaveTargetFile(p, t, p));
        QCOMPARE(readFileBytes(p), QByteArray("old contents"));
        QCOMPARE(errorOf([&] { SaveTargetFile(dir.filePath(QStringLiteral("no/such/dir/t.TXT")), OptimizationTargets(), {}); }),
                 int(err::PathNotFound));
    }
};

QTEST_GUILESS_MAIN(TestTargets)
#include "test_targets.moc"
