// A new user's PlayPen session with the real console, zepcmd and gemray:
// SRB.gem raytraced normally, kept as reference, evaluated for tilt and
// rendered in colour, the images copied beside the design, then Turkey.gem.
#include "PlayPenRig.h"
#include "support/Picture.h"

#include "common/NumText.h"

#include <QRadioButton>

using namespace zep;
using namespace zep::test;

class TestPlayPenGemray : public QObject {
    Q_OBJECT
private slots:
    void sessionWithTheRoundBrilliant();
};

namespace {

// ISO and COS of the log's third line.
Brightness logged(PlayPenRig& rig)
{
    return readGemrayLog(rig.get("Gemray.log"));
}

// The ray tracer commands typed into the console so far.
QStringList commands(PlayPenRig& rig)
{
    QStringList out;
    for (const QString& line : rig.console.outputText().split('\n'))
        if (line.contains(">Gemray "))
            out << line.section('>', 1);
    return out;
}

void loadDesign(PlayPenRig& rig, const QString& file, const QString& pav, const QString& crn)
{
    onNextModal([=](QWidget* d) { // the design file dialog
        pick(d, "fileList", file);
        click(d, "btnParse");
        pick(d, "lstPav", pav);
        pick(d, "lstCrn", crn);
        click(d, "OKButton");
    });
    rig.click("btnLoadFile");
}

} // namespace

void TestPlayPenGemray::sessionWithTheRoundBrilliant()
{
    PlayPenRig rig;
    copyFileSafely(QStringLiteral(ZEP_BIN_DIR "/gemray"), rig.work("Gemray"));
    copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/Turkey.gem"), rig.designs + "Turkey.gem");
    rig.job.olPav = 41.5f;
    rig.job.olCrn = 28;
    rig.job.theMat = "Quartz";
    rig.fd.FDDir = rig.designs;
    rig.fd.FDFile = "SRB.gem";
    const DesignFileExchange before = rig.fd;
    PlayPenWindow& w = rig.open();
    QCOMPARE(rig.text("txtCurFile"), QString("SRB.gem"));
    const auto noMessages = [&] {
        QVERIFY2(rig.messages.messages.isEmpty(), qPrintable(rig.messages.messages.join('|')));
    };

    // At its own angles and index: the figures of the log (which test_stone.cpp
    // compares with the established ray tracer's).
    rig.click("CalcButton");
    noMessages();
    Brightness b = logged(rig);
    QCOMPARE(w.pen().f.PISO, b.iso);
    QCOMPARE(w.pen().f.PCOS, b.cos);
    QCOMPARE(rig.text("txtCurISO"), NumText(b.iso));
    for (const char* name : {"imgCurRan", "imgCurCos", "ImgCurISO"}) {
        const QImage& img = child<GemImage>(&w, name)->image();
        QCOMPARE(img.size(), QSize(120, 120));
        QCOMPARE(img.pixelColor(0, 0), QColor(255, 255, 255)); // background
        QVERIFY(img.pixelColor(60, 60) != QColor(255, 255, 255));
    }

    // Tilt towards direction 2, kept as reference; then a steeper pavilion.
    rig.type("txtCurDir", "2");
    rig.type("txtCurAng", "10");
    child<QRadioButton>(&w, "optTilt")->setChecked(true);
    rig.click("CalcButton");
    noMessages();
    b = logged(rig);
    const PlayPenFields& f = w.pen().f;
    QCOMPARE(f.PTiltISO[0], b.iso);
    QCOMPARE(commands(rig).size(), 4); // (the tilts sent: test_playpen)

    rig.click("btnMakeRef");
    noMessages();
    QCOMPARE(rig.text("txtRefVar"), rig.text("txtCurVar"));
    QCOMPARE(rig.get("ZEPRefI.BMP"), rig.get("ZEPi.BMP"));
    rig.type("txtCurPav", "43");
    rig.click("CalcButton");
    noMessages();
    QCOMPARE(commands(rig).size(), 7);

    // The colour image at the index and half the dispersion on either side.
    child<QRadioButton>(&w, "optRGB")->setChecked(true);
    rig.type("txtCurDir", "");
    rig.click("CalcButton");
    noMessages();
    QCOMPARE(commands(rig).size(), 10);
    const QImage& colour = child<GemImage>(&w, "imgCurRan")->image();
    QCOMPARE(colour.pixelColor(0, 0), QColor(0, 0, 0));
    int dispersed = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x)
            dispersed += colour.pixelColor(x, y).red() != colour.pixelColor(x, y).blue();
    QVERIFY(dispersed > 100);

    w.adjustSize();
    picture(&w, "playpen.png");

    onNextModal([](QWidget* d) { click(d, "OKButton"); });
    rig.click("btnSaveBMP");
    noMessages();
    QCOMPARE(readFileBytes(rig.designs + "ZEPR.BMP"), rig.get("ZEPr.BMP"));

    // Turkey.gem at its own angles and index; the main window's design, and
    // what the saved state keeps of it, stay.
    child<QRadioButton>(&w, "optNormal")->setChecked(true);
    loadDesign(rig, "Turkey.gem", "40.00", "40.00");
    QCOMPARE(rig.text("txtCurFile"), QString("Turkey.gem"));
    rig.type("txtCurRI", "1.76");
    rig.click("CalcButton");
    noMessages();
    QCOMPARE(rig.text("txtCurISO"), NumText(logged(rig).iso));
    QVERIFY(commands(rig).last().endsWith("-p 40.000 40.000 -c 40.000 40.000 -g -i 1.7600 P R C I"));
    QCOMPARE(rig.fd.FDFile, before.FDFile);
    QCOMPARE(rig.fd.FDPav, before.FDPav);
    rig.click("CancelButton");
    QCOMPARE(rig.messages.messages, QStringList{"Leaving PlayPen - Returning to GEM File " + rig.job.fnam});
    QVERIFY(rig.AbortFlag);
    QVERIFY(!rig.w->isVisible());
}

QTEST_MAIN(TestPlayPenGemray)
#include "test_playpen_gemray.moc"
