// One whole evaluation of SRB.gem with every component on, through the real console, zepcmd and gemray.
#include "runner/RaytraceRig.h"
#include "merit/Evaluation.h"

#include <QLineEdit>

using namespace zep;
using namespace zep::test;

class TestEvaluationGemray : public QObject {
    Q_OBJECT
private slots:
    void everyComponentOfTheRoundBrilliant()
    {
        RaytraceRig rig;
        copyFileSafely(QStringLiteral(ZEP_BIN_DIR "/gemray"), rig.work("Gemray"));
        copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), rig.work("B"));
        rig.job.theRI = 1.54f; // SRB.gem's own angles are the rig's
        rig.job.theDisp = 0.044f;

        OptimizationTargets t;
        t.doISO = t.doIll = t.doTilt = t.doSparkle = t.doFire = true;
        t.wtISO = t.wtILL = 1; t.wtTilt = 10; t.wtSparkle = 2; t.wtFire = 3;
        t.doTilt1 = t.doTilt2 = t.doTilt3 = t.doTilt4 = t.doTilt5 = t.doTilt6 = t.doTilt7 = t.doTilt8 = true;
        t.nTang = 3; t.TAngMax = 10; t.dBZMF = 20;
        t.SpDir1 = 1; t.SpDir2 = 3; t.SpAng1 = t.SpAng2 = 2;
        MeritRecord m;
        const MeritEnv env{*rig.runner, t, rig.job, rig.images, rig.bitmaps, m, rig.AbortFlag, rig.messages};

        evalMF(env, 41, 30, "MFM");
        QVERIFY2(rig.messages.messages.isEmpty(), qPrintable(rig.messages.messages.join('|')));
        QVERIFY(!rig.AbortFlag && !rig.shell.TimedOut && rig.runner->statistics().raytraces == 1 + 8 * 2 + 2 + 2);

        QVERIFY(m.COSBright > 0 && m.COSBright < m.ISOBright && m.ISOBright < 100);
        QVERIFY(m.MFTilt >= 0 && m.MFTilt <= 10 && m.MFSparkle >= 2 && m.MFSparkle <= 2 * 255 && m.MFFire >= 3 && m.MFFire <= 3 * 255);
        // Background pixels of the face-up picture are white; the stone is not.
        const auto background = std::count(m.MapImage.begin(), m.MapImage.end(), uint8_t(255));
        QVERIFY(background > 1000 && background < 14000);
        QCOMPARE(rig.mapperPanel->txtCGRI()->text(), QString(" 1.562")); // the fire step's second index

        // No image that was not asked for, no batch file, no half-written file.
        const QStringList expected{"B", "Gemray", "Gemray.log", "R", "ZEP.BMP"};
        QCOMPARE(QDir(rig.work("")).entryList(QDir::Files, QDir::Name), expected);
    }
};

QTEST_MAIN(TestEvaluationGemray)
#include "test_evaluation_gemray.moc"
