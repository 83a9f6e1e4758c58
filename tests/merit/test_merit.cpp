// The merit function evaluation: the difference pass, and whole evaluations (the tilt directions and
// samples among them) through the real console with a stand-in ray tracer answering with prepared images
// and brightness values.
#include "common/ZepError.h"
#include "merit/Evaluation.h"
#include "runner/RaytraceRig.h"

#include <QLabel>
#include <QLineEdit>

using namespace zep;
using namespace zep::test;

namespace {

// A rig, the targets and the merit record of one evaluation. The stand-in answers "-i 1.5300" with F1.src,
// "-i 1.5500" with F2.src, else R.src; a tilted raytrace gets the log tilted.src, others log.src.
struct Evaluation {
    RaytraceRig rig;
    OptimizationTargets targets;
    MeritRecord merit;
    MeritEnv env{*rig.runner, targets, rig.job, rig.images, rig.bitmaps, merit, rig.AbortFlag, rig.messages};

    Evaluation()
    {
        rig.job.theRI = 1.54f;
        rig.put("R.src", rawImage([](int) { return uint8_t(100); }));
        rig.put("log.src", gemrayLog(40, 45));
        rig.put("tilted.src", gemrayLog(50, 45));
        rig.standIn(R"(case "$*" in
  *"-i 1.5300"*) IMG=F1.src ;;
  *"-i 1.5500"*) IMG=F2.src ;;
  *) IMG=R.src ;;
esac
case "$*" in
  *"-x "*|*"-y "*) LOG=tilted.src ;;
  *) LOG=log.src ;;
esac
cp $IMG R.tmp && mv R.tmp R
cp $LOG L.tmp && mv L.tmp Gemray.log
)");
        merit.MFTotal = 99;
    }

    void run(const QString& mode = "OPT") { evalMF(env, 41, 28, mode); }
    // The tilt options of each raytrace sent, "" for an untilted one.
    QStringList tilts() const
    {
        QStringList t;
        for (QString c : rig.calls()) {
            c.remove(QRegularExpression("^.* -g (-i \\S+ )?"));
            c.chop(QString("B R N N").size());
            t << c.trimmed();
        }
        return t;
    }
};

// Tilt on, with weight 2 and a largest tilt of 10 degrees.
void setTilt(OptimizationTargets& t, int nTang, const QList<int>& directions, float dBZMF)
{
    t.doTilt = true;
    t.wtTilt = 2; t.TAngMax = 10; t.dBZMF = dBZMF; t.nTang = int16_t(nTang);
    bool* dirs[8] = {&t.doTilt1, &t.doTilt2, &t.doTilt3, &t.doTilt4, &t.doTilt5, &t.doTilt6, &t.doTilt7, &t.doTilt8};
    for (int d : directions)
        *dirs[d - 1] = true;
}

} // namespace

class TestMerit : public QObject {
    Q_OBJECT
private slots:
    void randomRaytraceAndIllumination()
    {
        Evaluation e;
        // All components off: one random raytrace and a merit function of 0.
        e.run();
        QCOMPARE(e.rig.calls(), QStringList{"-p 41.500 41.000 -c 28.000 28.000 -g -i 1.5400 B R N N"});
        QVERIFY(e.merit.MFTotal == 0.0f && e.rig.optimizerPanel->txtCGPicLbl()->text() == QString("Random Raytrace"));
        // COS above ISO: a negative illumination component.
        e.targets.doIll = true;
        e.targets.wtILL = 1; e.targets.wtISO = 0.5f;
        e.run();
        QCOMPARE((QList<float>{e.merit.MFIll, e.merit.MFISO, e.merit.MFTotal}), (QList<float>{-5, 0, -5}));
        e.targets.doISO = true;
        e.run();
        QCOMPARE(std::pair(e.merit.MFISO, e.merit.MFTotal), std::pair(20.0f, 15.0f));
        QVERIFY(e.rig.calls().size() == 3 && e.rig.messages.messages.isEmpty());
        // Aborted before the call: no raytrace, the components from the unchanged brightness values.
        e.rig.AbortFlag = true;
        e.merit.ISOBright = 60;
        e.run();
        QVERIFY(e.rig.calls().size() == 3 && std::pair(e.merit.MFIll, e.merit.MFTotal) == std::pair(15.0f, 45.0f));
    }

    void tiltRaytracesAndTheirLimits()
    {
        const QStringList all{"", "-x 5.000", "-x 10.000", "-x 3.536 -y 3.536", "-x 7.071 -y 7.071",
                              "-y 5.000", "-y 10.000", "-x -3.536 -y 3.536", "-x -7.071 -y 7.071",
                              "-x -5.000", "-x -10.000", "-x -3.536 -y -3.536", "-x -7.071 -y -7.071",
                              "-y -5.000", "-y -10.000", "-x 3.536 -y -3.536", "-x 7.071 -y -7.071"};
        // Untilted samples have ISO 40, tilted ones 50; wtTilt is 2, TAngMax 10.
        const struct {
            int nTang;
            QList<int> directions;
            float dBZMF;
            QStringList tilts;
            float MFTilt;
        } cases[] = {
            {1, {1, 3}, 10, {""}, 2},
            {2, {5}, 10, {"", "-x -10.000"}, 1},
            {2, {5}, 5, {"", "-x -10.000"}, 0}, // a spread equal to dBZMF
            {2, {5}, 4, {"", "-x -10.000"}, 0}, // and above it
            {3, {1, 2, 3, 4, 5, 6, 7, 8}, 10, all, 1.1111112f}, // 8 samples of 40 and 16 of 50
        };
        for (const auto& c : cases) {
            Evaluation e;
            setTilt(e.targets, c.nTang, c.directions, c.dBZMF);
            e.run();
            QVERIFY2(e.rig.messages.messages.isEmpty(), qPrintable(e.rig.messages.messages.join('|')));
            QCOMPARE(e.tilts(), c.tilts);
            QCOMPARE(e.merit.MFTilt, c.MFTilt);
            QCOMPARE(e.merit.MFTotal, c.MFTilt);
            if (c.tilts.size() > 1)
                QCOMPARE(e.rig.optimizerPanel->txtCGPicLbl()->text(), QString("Tilted Raytrace"));
        }
        // A tilt step that cannot go on.
        const QString subscript = "Error  9 (Subscript out of range) in evalMF routine";
        const struct {
            int nTang;
            QList<int> directions;
            float dBZMF;
            int raytraces;
            QString message;
        } stuck[] = {
            {3, {}, 10, 1, "Please specify at least one direction and angle in Tilt Panel of Optimization Targets"},
            {4, {1, 2, 3, 4, 5, 6, 7, 8}, 10, 1 + 6 * 3, subscript}, // the 25th sample is untilted: no raytrace
            {5, {1, 2, 3, 4, 5, 6, 7, 8}, 10, 1 + 4 * 4 + 4, subscript}, // it is tilted: raytraced, then no place
            {2, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 1 + 8, "Error  11 (Division by zero) in evalMF routine"},
        };
        for (const auto& c : stuck) {
            Evaluation e;
            OptimizationTargets& t = e.targets;
            t.doISO = t.doSparkle = t.doFire = true;
            t.wtISO = 1;
            setTilt(t, c.nTang, c.directions, c.dBZMF);
            e.merit.MFTilt = 7; e.merit.MFSparkle = 8;
            e.run();
            QVERIFY(int(e.rig.calls().size()) == c.raytraces && e.rig.messages.messages == QStringList{c.message} && e.rig.AbortFlag);
            // ISO computed before the tilt step, sparkle not reached, the total left as it was
            QCOMPARE((QList<float>{e.merit.MFISO, e.merit.MFTilt, e.merit.MFSparkle, e.merit.MFTotal}),
                     (QList<float>{40, 0, 8, 99}));
        }
    }

    // Identical images give sparkle its weight, and with a dispersion of 0 the two fire images are alike
    // and fire gives its weight too. Each raytrace and difference image gets its caption.
    void identicalImagesGiveTheWeightsAndCaptions()
    {
        Evaluation e;
        QStringList captions;
        connect(e.rig.optimizerPanel->txtCGPicLbl(), &QLineEdit::textChanged, this, [&](const QString& c) { captions << c; });
        // The gem in the middle, background (255) around it.
        e.rig.put("R.src", rawImage([](int i) { return uint8_t(i % 120 < 60 ? 255 : 30); }));
        OptimizationTargets& t = e.targets;
        t.doSparkle = t.doFire = true;
        t.wtSparkle = 3; t.wtFire = 2;
        t.SpDir1 = 1; t.SpDir2 = 3; t.SpAng1 = t.SpAng2 = 2;
        e.run();
        QVERIFY(e.rig.messages.messages.isEmpty() && e.tilts() == (QStringList{"", "-x 2.000", "-y 2.000", "", ""}));
        QCOMPARE(e.rig.calls().mid(3), QStringList(2, "-p 41.500 41.000 -c 28.000 28.000 -g -i 1.5400 B R N N"));
        QCOMPARE((QList<float>{e.merit.MFSparkle, e.merit.MFFire, e.merit.MFTotal}), (QList<float>{3, 2, 5}));
        QCOMPARE(captions, (QStringList{"Random Raytrace", "Sparkle 1 Raytrace", "Sparkle Difference", "Fire 1 Raytrace",
                                        "Fire 2 Raytrace", "Fire Difference"}));
        // The difference image ("ZEP.BMP") shows the pixels left out in blue.
        const QImage shown = e.rig.optimizerPanel->imgCurGem()->pixmap().toImage();
        QVERIFY(shown.pixelColor(0, 0) == QColor(0, 0, 255) && shown.pixelColor(121, 1) == QColor(1, 1, 1));
        // A direction outside 1 to 8 keeps the tilt of the raytrace before it.
        t.doFire = false;
        setTilt(t, 3, {2}, 5);
        t.SpDir1 = 0; t.SpDir2 = 9;
        e.run();
        QCOMPARE(e.tilts().mid(5), (QStringList{"", "-x 3.536 -y 3.536", "-x 7.071 -y 7.071",
                                                 "-x 7.071 -y 7.071", "-x 7.071 -y 7.071"}));
        // Before any tilted raytrace of the evaluation, the tilt is 0.
        t.doTilt = false;
        t.SpDir2 = 3;
        e.run();
        QCOMPARE(e.tilts().mid(10), (QStringList{"", "", "-y 2.000"}));
    }

    void fireAndTheMaskedDifference()
    {
        Evaluation e;
        // First: 100 background pixels (255), the rest 100. Second: 0 on the background, 110 on the next 100.
        e.rig.put("F1.src", rawImage([](int i) { return uint8_t(i < 100 ? 255 : 100); }));
        e.rig.put("F2.src", rawImage([](int i) { return uint8_t(i < 100 ? 0 : i < 200 ? 110 : 100); }));
        e.rig.job.theDisp = 0.02f;
        OptimizationTargets& t = e.targets;
        t.doFire = t.doISO = true;
        t.wtFire = 2; t.wtISO = 0.25f;
        e.run("MFM");
        QVERIFY(e.rig.messages.messages.isEmpty());
        const QStringList calls = e.rig.calls();
        QVERIFY(calls.size() == 3 && calls[1].endsWith("-g -i 1.5300 B R N N") && calls[2].endsWith("-g -i 1.5500 B R N N"));
        // 14300 pixels: 100 differ by 10, the others count 1.
        QVERIFY(e.merit.MFFire == 2.1258741f && e.merit.MFTotal == 12.125874f);
        QCOMPARE(e.rig.mapperPanel->txtCGPicLbl()->text(), QString("Fire Difference"));
        QCOMPARE(e.rig.mapperPanel->txtCGRI()->text(), QString(" 1.55"));
        // With the mask: only the raw image's last row, which differs by 100.
        e.rig.put("F2.src", rawImage([](int i) { return uint8_t(i >= 14280 ? 0 : 100); }));
        t.useFMsk = true;
        Pixels fire{}; // read from its file as a window that evaluates reads it
        std::fill(fire.begin() + 14280, fire.end(), uint8_t(7));
        writeBitmap(t.theFMsk = e.rig.work("fire.bmp"), e.rig.bitmaps.BMP_Header, fire);
        readMasks(t, e.rig.images, e.rig.bitmaps.BMP_Header, e.rig.messages);
        e.run();
        QCOMPARE(e.merit.MFFire, 200.0f);
        const QByteArray bmp = e.rig.get("ZEP.BMP");
        QCOMPARE(bmp.mid(1078, 120), QByteArray(120, char(100)));   // the picture's bottom row
        QCOMPARE(bmp.mid(1078 + 120), QByteArray(14280, char(0)));

        // No pixel left to compare ends the evaluation: the steps before it ran.
        e.rig.put("F1.src", rawImage([](int) { return uint8_t(255); }));
        t.useFMsk = false;
        e.merit.MFISO = 5; e.merit.MFTotal = 99;
        e.run();
        QVERIFY(e.rig.messages.messages == QStringList{"There are no allowed pixels in the Fire Mask! Aborting"} && e.rig.AbortFlag);
        QCOMPARE((QList<float>{e.merit.MFFire, e.merit.MFISO, e.merit.MFTotal}), (QList<float>{0, 10, 99}));
        // An empty sparkle mask: the sparkle message, and fire is not reached.
        e.rig.AbortFlag = false;
        t.doSparkle = t.useSMsk = true;
        e.run();
        QCOMPARE(e.rig.messages.messages.last(), QString("There are no allowed pixels in the Sparkle Mask! Aborting"));
        QCOMPARE(e.rig.calls().size(), 9 + 3);

        // The pass with a mask: a 255 in the first image counts like any other value.
        ImageStore s;
        invidx(s);
        Pixels first, second, mask{};
        first.fill(80);
        second.fill(80);
        mask[5] = 1;
        first[5] = 255;
        const Difference d = differencePass(first, second, true, mask, s.FlipIndex);
        QVERIFY(d.count == int16_t(1) && d.sum == 175.0f);
    }
};

QTEST_MAIN(TestMerit)
#include "test_merit.moc"
