// The cutting list against GemCAD's text exports, text designs (the variants real files hold, and refusals), the
// re-cut (tangent ratio, round trip, what stays) read back, the diagram's pictures, and the Cutting List window.
#include "common/FileIO.h"
#include "common/NumText.h"
#include "support/Errors.h"
#include "dialogs/WindowSupport.h"
#include "recut/CuttingList.h"
#include "recut/CutListWindow.h"
#include "recut/Diagram.h"
#include "recut/Proportions.h"
#include "recut/Recut.h"
#include "raytracer/AscFile.h"
#include "settings/WindowPlaces.h"
#include "support/Modal.h"
#include "support/Picture.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <sys/stat.h>
#include <numbers>

using namespace zep;
using namespace zep::test;
using gemray::FacetKind;
using gemray::GemDesign;

namespace {

QString designPath(const QString& name) { return QStringLiteral(ZEP_DESIGNS_DIR "/") + name; }
QByteArray withoutCR(QByteArray b) { return b.replace("\r", ""); }
QByteArray replaced(QByteArray b, const QByteArray& what, const QByteArray& with) { return b.replace(what, with); }
double tanOf(const gemray::Vec3& abc) { return std::hypot(abc.x, abc.y) / std::fabs(abc.z); }
std::span<const std::uint8_t> span(const QByteArray& b) { return {reinterpret_cast<const std::uint8_t*>(b.data()), std::size_t(b.size())}; }

// Small designs as GemCAD writes them (line ends aside).
const QByteArray kOctagon = "GemCad 5.0\ng 96 0.0\ny 8 y\nI 1.54\nH Octagon\n"
                            "a -90.000000 1.00000000 96 n G 12 24 36 48 60 72 84\n"
                            "a -42.000000 0.90000000 96 n P 12 24 36 48 60 72 84\n"
                            "a 35.000000 0.90000000 96 n C 12 24 36 48 60 72 84\n"
                            "a 0.000000 0.45000000 96 n T\n";
// A step cut: three girdle tiers, and each step (two pavilion, one crown) a tier for sides, ends and corners.
const QByteArray kStepCut = "GemCad 5.0\ng 96 0.0\ny 2 y\nI 1.54\nH Step cut\n"
                            "a -90.000000 0.70000000 96 n G1 48\na -90.000000 1.00000000 24 n G2 72\n"
                            "a -90.000000 1.10000000 12 n G3 36 60 84\n"
                            "a -60.000000 0.61620000 96 48 n P1\na -60.000000 0.87600000 24 72\n"
                            "a -60.000000 0.96260000 12 36 60 84\n"
                            "a -45.000000 0.58380000 96 48 n P2\na -45.000000 0.79600000 24 72\n"
                            "a -45.000000 0.86670000 12 36 60 84\n"
                            "a 50.000000 0.54910000 96 48 n C\na 50.000000 0.77890000 24 72\n"
                            "a 50.000000 0.85550000 12 36 60 84\na 0.000000 0.25000000 96 n T\n";
// Gear 64 offset a whole turn, no symmetry, a fractional index, two names in a tier, a culet written as -0,
// a line exactly as wide as GemCAD's (95), not broken.
const QByteArray kOdd = "GemCad 5.0\ng 64 64.0\ny 1 n\nI 1.54\nH Odd one\n"
                        "a -90.000000 1.00000000 64 16 32 48\n"
                        "a -43.000000 0.90000000 1.70 n P1 17 n P2 33 49\n"
                        "a -0.000000 0.36800000 64\n"
                        "a 38.000000 0.85000000 8 24 40 56 G Level with the girdle, then polish the crown mains to meet.\n"
                        "a 0.000000 0.50000000 64 n T\n";

// The text of `column` in the row of the tier named `tier`.
QString cell(QWidget* w, const QString& tier, int column)
{
    auto* t = child<QTableWidget>(w, "lstCuts");
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0)->text() == tier)
            return t->item(r, column)->text();
    return QString();
}

// Answers the file chooser that `button` opens with the name `file`, keeping its title.
void saveAs(QWidget* w, const char* button, const QString& file, QStringList& titles)
{
    onNextModal([file, &titles](QWidget* chooser) {
        titles << chooser->windowTitle();
        type(chooser, "txtFileName", file);
        click(chooser, "OKButton");
    });
    click(w, button);
}

} // namespace

class TestRecut : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    WindowPositions positions;
    Preferences prefs;
    RecordingSink sink;
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    JobState job;

    QString path(const QString& name) const { return dir->filePath(name); }
    CutListEnv env(bool result) { return {{positions, prefs, sink, dir->path() + u'/', gf, yn, fn}, job, result}; }
    void open(bool result, std::function<void(QWidget*)> act)
    {
        onNextModal([act](QWidget* w) {
            act(w);
            click(w, "btnClose");
        });
        CutListEnv e = env(result);
        showCuttingList(e);
    }

private slots:
    void cuttingListAndRecut_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n : {"SRB", "Compear125", "CubeIllusionTri", "Turkey"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }
    // A sample's cutting list is GemCAD's text export; a re-cut scales pavilion and crown tangents, and goes back.
    void cuttingListAndRecut()
    {
        QFETCH(QString, name);
        const GemDesign d = loadDesign(designPath(name + QStringLiteral(".gem"))), asc = loadDesign(designPath(name + QStringLiteral(".asc")));
        QCOMPARE(withoutCR(ascText(d)), withoutCR(readFileBytes(designPath(name + QStringLiteral(".asc")))));
        RecutAngles a; // from the first pavilion and crown tiers
        for (const CutGroup& g : cuttingList(d)) {
            if (g.kind == FacetKind::Pavilion && a.oldPav == 0 && g.angle != 0)
                a.oldPav = g.cuttingAngle();
            if (g.kind == FacetKind::Crown && a.oldCrn == 0 && g.angle != 0)
                a.oldCrn = g.cuttingAngle();
        }
        a.newPav = a.oldPav + 1.7;
        a.newCrn = a.oldCrn - 2.3;
        const GemDesign r = recutDesign(d, a);
        const double kp = std::tan(a.newPav * std::numbers::pi / 180) / std::tan(a.oldPav * std::numbers::pi / 180);
        const double kc = std::tan(a.newCrn * std::numbers::pi / 180) / std::tan(a.oldCrn * std::numbers::pi / 180);
        const GemDesign back = recutDesign(r, {a.newPav, a.oldPav, a.newCrn, a.oldCrn}); // and back again
        const gemray::Stone before(d);
        QCOMPARE(r.facets.size(), d.facets.size());
        for (std::size_t i = 0; i < d.facets.size(); ++i) {
            const auto &was = d.facets[i], &now = r.facets[i], &b = back.facets[i];
            switch (before.facets()[i].kind) {
            case FacetKind::Girdle: QCOMPARE(now.abc, was.abc); break;
            case FacetKind::Pavilion: QVERIFY(std::fabs(tanOf(now.abc) - kp * tanOf(was.abc)) < 1e-9); break;
            case FacetKind::Crown: QVERIFY(std::fabs(tanOf(now.abc) - kc * tanOf(was.abc)) < 1e-9); break;
            }
            QCOMPARE(std::pair(now.tier, asc.facets[i].tier), std::pair(was.tier, was.tier)); // the .asc's tiers are the .gem's
            QVERIFY(now.text == was.text && now.vertices.size() == was.vertices.size() && gemray::length(b.abc - was.abc) < 1e-9);
            for (std::size_t v = 0; v < was.vertices.size(); ++v) {
                QCOMPARE(now.vertices[v].x, was.vertices[v].x); // seen from above nothing moves
                QCOMPARE(now.vertices[v].y, was.vertices[v].y);
                // every corner still lies on its facet's plane
                QVERIFY(std::fabs(gemray::dot(now.abc, now.vertices[v]) - 1) < 1e-7 && gemray::length(b.vertices[v] - was.vertices[v]) < 1e-9);
            }
        }
        // The index positions stay; the trailer too.
        const auto ca = cuttingList(d), cb = cuttingList(r);
        QCOMPARE(cb.size(), ca.size());
        for (std::size_t g = 0; g < ca.size(); ++g)
            for (std::size_t p = 0; p < ca[g].positions.size(); ++p)
                QCOMPARE(cb[g].positions[p].index, ca[g].positions[p].index);
        QCOMPARE(std::tuple(r.gear, r.gearOffset, r.refractiveIndex), std::tuple(d.gear, d.gearOffset, d.refractiveIndex));
    }

    // What real files vary in reads as the plain text GemCAD writes.
    void textVariantsReadAsGemcadWritesThem_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("written");
        const QByteArray& o = kOctagon;
        QTest::newRow("octagon") << o << o;
        QTest::newRow("lone CR") << replaced(o, "\n", "\r") << o;
        QTest::newRow("glued, blank lines, no g line, byte-order mark")
            << QByteArray("\xEF\xBB\xBFGemCad 5.0\r\n\r\ny8 y\r\nI1.54\r\nHOctagon\r\n\r\n"
                          "a-90 1 96 n G 12 24 36 48 60 72 84\r\na-42 .9 96 n P 12 24 36 48 60 72 84\r\n\r\n"
                          "a35 0.9 96 n C 12 24 36 48 60 72 84\r\na0 0.45 96 n T\r\n")
            << o;
        QTest::newRow("continued lists, girdle at +90, index 0 and -96")
            << QByteArray("GemCad 5.0\ng 96 0\ny 8 y\nI 1.54\nH Octagon\na 90 1 96 n G 12 24\n 36 48 60 72 84\n"
                          "a -42 0.9 96 n\n P 12 24 36 48 60 72 84\na 35 0.9 -96 n C 12 24 36\n48 60 72 84\n"
                          "a 0 0.45 0 n T\n")
            << o;
        const QByteArray degrees = replaced(o, "H Octagon", "H 40\xB0 crown\x92s");
        QTest::newRow("Windows-1252") << degrees << degrees;
        QTest::newRow("UTF-8, a character no GemCAD shows") // four bytes: the sequence read whole, its character a '?'
            << replaced(o, "H Octagon", "H 40\xC2\xB0 crown\xE2\x80\x99s \xF0\x9F\x92\x8E") << replaced(o, "H Octagon", "H 40\xB0 crown\x92s ?");
        QTest::newRow("UTF-8, only U+0080") << replaced(o, "H Octagon", "H \xC2\x80") << replaced(o, "H Octagon", "H ?");
        const QByteArray mixed = replaced(o, "H Octagon", "H Caf\xC3\xA9 \xE9t\xE9"); // one sequence no UTF-8
        QTest::newRow("Windows-1252 with a UTF-8 look-alike") << mixed << mixed;
        const QByteArray stray = replaced(o, "H Octagon", "H Caf\xC3\xA9 crown\x92s"); // a byte no UTF-8 sequence starts with
        QTest::newRow("Windows-1252 with a UTF-8 look-alike and a stray byte") << stray << stray;
        QTest::newRow("a sequence cut by the file's end") << o + "F Caf\xC3" << o + "F Caf\xC3\n";
        QTest::newRow("six header lines, footnotes")
            << replaced(o + "F Foot\n", "H Octagon\n", "H One\nH Two\nH Three\nH Four\nH Five\nH Six\n")
            << replaced(o + "F Foot\n", "H Octagon\n", "H One\nH Two\nH Three\nH Four Five Six\n");
        QTest::newRow("gear 80 with an offset, symmetry 5, version 4, instructions")
            << QByteArray("GemCad 4.0\ng 80 4.0\ny 5 n\nI 1.76\nH Pentagon\nF 80-tooth gear\na 90 1 80 16 32 48 64\n"
                          "a -41 0.95 80 16 n P 32 48 64\na 33 0.9 8 24 40 56 72 G Meet girdle\na 0 0.5 80\n")
            << QByteArray("GemCad 5.0\ng 80 4.0\ny 5 n\nI 1.76\nH Pentagon\na -90.000000 1.00000000 80 16 32 48 64\n"
                          "a -41.000000 0.95000000 80 16 n P 32 48 64\n"
                          "a 33.000000 0.90000000 8 24 40 56 72 G Meet girdle\na 0.000000 0.50000000 80\n"
                          "F 80-tooth gear\n");
        QTest::newRow("gear 64, culet with a negative distance")
            << QByteArray("GemCad 5.0\ng 64 64.0\ny 1 n\nI 1.54\nH Odd one\na -90 1 64 16 32 48\n"
                          "a -43 0.9 1.7 n P1 17 n P2 33 49\na 0.00 -0.368 0\n"
                          "a 38 0.85 8 24 40 56 G Level with the girdle, then polish the crown mains to meet.\n"
                          "a 0 0.5 64 n T\n")
            << kOdd;
        QTest::newRow("gear 64, culet at -0") << kOdd << kOdd;
        // GemCad 5.0 of 2017 writes its version with a suffix; DOS text may end in Ctrl-Z and a line end; blanks and tabs trail.
        QTest::newRow("a line end first, version suffix, trailing blanks, Ctrl-Z")
            << "\r\n" + replaced(replaced(replaced(o, "5.0\n", "5.0_2017  \r\n"), "96 n T\n", "96 n T \t\r\n\x1a\r\n"), "y 8 y", "y 8 y\t")
            << o;
        QTest::newRow("small letters, 4.51, a word after") << replaced(o, "GemCad 5.0", "gemcad 4.51 export") << o;
        QTest::newRow("step cut")
            << replaced(kStepCut, "a -90.000000 1.10000000 12 n G3 36 60 84", "a 90 1.1 12 n G3 36\n 60 84")
            << kStepCut;
    }
    void textVariantsReadAsGemcadWritesThem()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, written);
        QVERIFY(gemray::isAscText(span(text)) && withoutCR(ascText(gemray::parseDesign(span(text), "variant.asc"))) == written);
    }

    // Text that is not a design is refused naming the file and the line.
    void textRefusals_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QByteArray& o = kOctagon;
        const QByteArray pav = "a -42.000000 0.90000000 96 n P 12 24 36 48 60 72 84";
        QTest::newRow("empty") << QByteArray() << "\"bad.asc\" is empty";
        QTest::newRow("only the head") << o.left(o.indexOf("H Octagon")) << "\"bad.asc\" is not a GemCAD design: it has no facets";
        QTest::newRow("no symmetry") << replaced(o, "y 8 y\n", "") << "\"bad.asc\" is not a GemCAD design: it has no symmetry line (y)";
        QTest::newRow("cut in a tier") << o.left(o.indexOf(pav) + 12) << "\"bad.asc\", line 7: a tier needs an angle and a distance";
        QTest::newRow("cut before the crown") << o.left(o.indexOf("a 35")) << "\"bad.asc\" is not a closed stone: no crown (a preform?)";
        QTest::newRow("version 9") << replaced(o, "5.0", "9.0") << "line 1: GemCad version 9.0 is not one ZEP reads";
        QTest::newRow("no version") << replaced(o, "5.0", "") << "line 1: the first line must be \"GemCad\" and a version";
        QTest::newRow("half a byte-order mark") << "\xEF\xBC\xBF" + o << "not a GemCAD design: facet record 1";
        QTest::newRow("a byte-order mark's first byte wrong") << "\xEE\xBB\xBF" + o << "not a GemCAD design: facet record 1";
        QTest::newRow("version of letters") << replaced(o, "5.0", "five") << "line 1: \"five\" is not a GemCad version";
        QTest::newRow("version suffix first") << replaced(o, "5.0", "_2017") << "line 1: \"_2017\" is not a GemCad version";
        QTest::newRow("Ctrl-Z inside") << replaced(o, "H Octagon\n", "H Octagon\n\x1a\n") << "line 6: the line starts with no keyword";
        QTest::newRow("garbage line") << replaced(o, "H Octagon\n", "H Octagon\n#~&%\n") << "line 6: the line starts with no keyword";
        QTest::newRow("garbage number") << replaced(o, "0.90000000 96 n P", "0.9x 96 n P") << "line 7: \"0.9x\" is not a number";
        QTest::newRow("NaN angle") << replaced(o, "a -42.000000", "a nan") << "line 7: \"nan\" is not a number";
        QTest::newRow("huge gear") << replaced(o, "g 96", "g 100000") << "line 2: the gear \"100000\" must be a whole number from -720 to 720";
        QTest::newRow("gear 0") << replaced(o, "g 96", "g 0") << "line 2: a gear of 0 teeth";
        QTest::newRow("fractional gear") << replaced(o, "g 96", "g 95.5") << "must be a whole number";
        QTest::newRow("index past the gear") << replaced(o, "n P 12", "n P 97") << "line 7: the index position 97 lies outside the gear of 96 teeth";
        QTest::newRow("1 MB of indices") << replaced(o, pav, pav + QByteArray(" 12").repeated(350000)) << "line 7: more than 10000 facets";
        QTest::newRow("long instructions") << replaced(o, pav, pav + " G cut\n" + QByteArray(252, 'x')) << "line 8: the cutting instructions hold more than 255 bytes";
        QTest::newRow("1 MB header") << replaced(o, "H Octagon", "H " + QByteArray(1 << 20, 'x')) << "line 5: the header lines hold more than 255 bytes";
        QTest::newRow("steeper than upright") << replaced(o, "a -42.000000", "a -95") << "line 7: the angle \"-95\" lies outside -90 to 90";
        QTest::newRow("negative distance") << replaced(o, "0.90000000 96 n P", "-0.9 96 n P") << "line 7: the distance \"-0.9\" must lie between";
        QTest::newRow("name first") << replaced(o, "96 n P 12", "n P 96 12") << "line 7: a name (n) before any index position";
        QTest::newRow("name missing") << replaced(o, "96 n T", "96 n") << "line 9: a name (n) is missing";
        QTest::newRow("no index positions") << replaced(o, "96 n T", "") << "line 9: the tier has no index positions";
        QTest::newRow("second gear") << replaced(o, "y 8 y", "g 96\ny 8 y") << "line 3: a second \"g\" line";
        QTest::newRow("symmetry 0") << replaced(o, "y 8 y", "y 0 y") << "line 3: the symmetry \"0\" must be a whole number from 1 to 720";
        QTest::newRow("mirror maybe") << replaced(o, "y 8 y", "y 8 m") << "line 3: mirror symmetry must be y or n";
        QTest::newRow("no index line") << replaced(o, "I 1.54\n", "") << "it has no refractive index line (I)";
        QTest::newRow("NUL byte in UTF-8") << replaced(o, "Octagon", QByteArray("Oct\0agon \xC3\xA9", 11)) << "it holds a NUL byte";
        QTest::newRow("open below") << replaced(replaced(o, "a -90.000000 1.00000000 96 n G 12 24 36 48 60 72 84\n", ""),
                                                 "96 n P 12 24 36 48 60 72 84", "96 n P")
                                    << "is not a closed stone: its facets leave it open";
    }
    void textRefusals()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        QString why = QStringLiteral("(read)");
        try {
            gemray::parseDesign(span(text), "bad.asc");
        } catch (const gemray::GemFileError& e) {
            why = QString::fromLatin1(e.what());
        }
        QVERIFY2(why.startsWith("design file \"bad.asc\"") && why.contains(message) && !why.contains(u'\n'), qPrintable(why.left(300)));
    }

    // The re-cut design read back with its note; angles it cannot cut refused.
    void recutNoteAndRefusals()
    {
        GemDesign srb = loadDesign(designPath(QStringLiteral("SRB.gem")));
        const GemDesign r = recutDesign(srb, {41.5, 42.3, 28, 31});
        const QByteArray bytes = gemBytes(r);
        const GemDesign read = gemray::parseGem(span(bytes), "r");
        QCOMPARE(ascText(read), ascText(r));
        QVERIFY(ascText(r).contains("\r\nH Re-cut by ZEP: pavilion 41.50 to 42.30, crown 28.00 to 31.00\r\n"));
        QVERIFY(ascText(r).contains("\r\na -42.300000 ") && ascText(r).contains("\r\na 31.000000 ") && read.headers[0] == srb.headers[0]);
        // A second re-cut replaces the note; a half that stays is not named.
        const GemDesign again = recutDesign(r, {42.3, 42.3, 31, 30});
        QVERIFY(again.headers[2] == "Re-cut by ZEP: crown 31.00 to 30.00" && again.headers[3] == srb.headers[3]);
        // Turkey's four header lines are all used: the note becomes a footnote.
        const GemDesign turkey = loadDesign(designPath(QStringLiteral("Turkey.gem")));
        const GemDesign t = recutDesign(turkey, {40, 41, 35.5, 35.5});
        QVERIFY(t.headers == turkey.headers && t.footnotes[0] == "Re-cut by ZEP: pavilion 40.00 to 41.00");
        GemDesign full = turkey; // and with every footnote used too, the last header line
        for (auto& f : full.footnotes)
            f = "Polish well.";
        QCOMPARE(recutDesign(full, {40, 41, 35.5, 35.5}).headers.back(), t.footnotes[0]);

        const std::pair<RecutAngles, const char*> cases[] = {
            {{41.5, 0.0, 28.0, 28.0}, "The new pavilion angle 0 must lie between 0 and 90"},
            {{41.5, 41.5, 90.0, 30.0}, "The old crown angle 90 must lie between 0 and 90"},
            {{14.5, 40.0, 28.0, 28.0},
             "The design has no pavilion tier at 14.5 degrees; its pavilion angles are 42.50, 41.50."},
            {{41.5, 41.5, 41.5, 40.0}, "no crown tier at 41.5 degrees"}};
        for (const auto& [angles, message] : cases) {
            const QString why = messageOf([&, &angles = angles] { recutDesign(srb, angles); });
            QVERIFY2(why.contains(QLatin1String(message)), qPrintable(why));
        }
        // Without a crown the pavilion is still re-cut; a crown angle is refused.
        std::erase_if(srb.facets, [](const gemray::GemFacet& f) { return f.abc.z > 0.01; });
        QCOMPARE(notOptimizable(mainAngles(srb)), "no crown tier to change, its top is flat (a preform?)"); // its girdle is none
        QCOMPARE(cuttingList(recutDesign(srb, {41.5, 43, 45, 45}))[2].cuttingAngle(), 43.0);
        QVERIFY_THROWS_EXCEPTION(ZepError, recutDesign(srb, {41.5, 41.5, 28, 30}));
    }

    // A design's own angles: its largest pavilion tier at the culet or keel and crown tier at the table (or top),
    // never simply its largest tier. The tiers of a job's old angles; nothing, at once, for a gone file or a pipe.
    void tiersAndIndexPositions()
    {
        const struct {
            const char* design;
            double pav, crn;
            std::string pavTier, crnTier, refusal;
        } cases[] = {
            {"SRB.gem", 41.5, 28.0, "2", "B", ""},                     // round brilliant
            {"Turkey.gem", 40.5, 40.0, "1", "B", ""},                  // larger crown tier off the table
            {"public-domain/pc04071a.asc", 41.0, 70.0, "5", "A", ""},  // girdle step, crown main 70
            {"public-domain/pc14062a.asc", 41.0, 32.0, "6", "D", ""},  // step cut, steep pavilion step
            {"public-domain/pc21082a.asc", 41.0, 37.0, "4", "B", ""},  // star points
            {"public-domain/pc18009a.asc", 41.05, 10.0, "7", "K", ""}, // keel of an oval
            {"public-domain/pc01746.asc", 41.0, 7.0, "1", "J", ""},    // crown without a table
            {"public-domain/pc21273.asc", 0.0, 7.0, "", "23",          // letter shape
             "no pavilion tier to change, its back is flat (a letter shape or a preform?)"},
        };
        for (const auto& c : cases) {
            const MainAngles m = mainAngles(loadDesign(designPath(QString::fromLatin1(c.design))));
            QCOMPARE(std::tuple(m.pavilion, m.crown, m.pavilionTier, m.crownTier, notOptimizable(m)),
                     std::tuple(c.pav, c.crn, c.pavTier, c.crnTier, c.refusal));
        }
        const std::string srb = designPath(QStringLiteral("SRB.gem")).toStdString();
        QVERIFY(oldTiersText(srb, 41.5, 28) == "2 at 41.50, B at 28.00" && oldTiersText(srb, 41.5, 29).empty());
        const QByteArray fifo = QFile::encodeName(path(QStringLiteral("pipe.gem")));
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0 && oldTiersText(fifo.toStdString(), 41.5, 28).empty());
        QCOMPARE(oldTiersText(path(QStringLiteral("gone.gem")).toStdString(), 41.5, 28), "");
        // Index positions at gears, offsets and fractions the four designs do not use.
        for (const auto& [gear, offset, index] :
             {std::tuple{96, 48.0, 72.0}, {80, 0.0, 20.0}, {96, 0.5, 24.5}, {96, -24.0, 0.0}})
            QCOMPARE(indexPosition({1, 0, -1}, gear, offset), index); // a facet facing east
        QCOMPARE(indexText(24.5, 96), std::string("24.50"));
    }

    void diagramShowsTheStone()
    {
        DiagramInput in;
        in.original = loadDesign(designPath(QStringLiteral("SRB.gem")));
        in.angles = {41.5, 42.3, 28, 31};
        in.recut = recutDesign(in.original, in.angles);
        in.designName = QStringLiteral("SRB.gem");
        const QList<QImage> pages = diagramImages(in, 60);
        QCOMPARE(pages.size(), 1);
        // Side by side: crown and table from above, pavilion from below, both from the side.
        const QImage& page = pages[0];
        int crown[3] = {}, table[3] = {}, pavilion[3] = {}, shadedRows = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QRgb c = page.pixel(x, y) & 0xffffff;
                const int third = 3 * x / page.width();
                crown[third] += c == 0xd4e3f6;
                table[third] += c == 0xbad2f0;
                pavilion[third] += c == 0xe2e2e2;
                shadedRows += c == 0xf2f2f2 && x == page.width() / 2;
            }
        QVERIFY(crown[0] > 1500 && table[0] > 1500 && crown[1] == 0 && table[1] + table[2] == 0);
        // (a few grey pixels of lines and letters share the pavilion's colour)
        QVERIFY(pavilion[1] > 3000 && pavilion[0] < 100 && pavilion[2] > 1000 && crown[2] > 300);
        // Every other row of the table shaded, for the eye to follow a row across (three such rows or more).
        QVERIFY2(shadedRows >= 30, qPrintable(QString::number(shadedRows)));
        // The title's lines above the pictures, a band of ink each (a blank header line takes none), and where they end:
        // the lines under the title in the text's 9 points.
        const auto titleLines = [&](const QImage& sheet) {
            int bands = 0, blank = 0, y = 0;
            for (; y < sheet.height() && (bands == 0 || blank < 25); ++y) { // the block ends at a wide gap
                bool ink = false;
                for (int x = 0; x < sheet.width() && !ink; ++x)
                    ink = qGray(sheet.pixel(x, y)) < 100;
                bands += ink && blank > 0;
                blank = ink ? 0 : blank + 1;
            }
            return std::pair(bands, y - blank);
        };
        QCOMPARE(titleLines(diagramImages(in, 150)[0]), std::pair(6, 232)); // (150 dots an inch: sharp enough for a gap between lines)
        in.original.headers = {"Standard Round Brilliant", "", "after a design of 1919", ""};
        QCOMPARE(titleLines(diagramImages(in, 150)[0]), std::pair(6, 232));
        gemray::GemDesign pavilionOnly = in.original; // a design without a crown is pictured by its pavilion
        std::erase_if(pavilionOnly.facets, [](const gemray::GemFacet& f) { return f.abc.z > 0; });
        QVERIFY(outlinePicture(pavilionOnly, 96).pixel(48, 48) != qRgb(255, 255, 255));
        // The table: the re-cut tier's new angle, and what it was.
        const std::vector<QStringList> rows = diagramTable(in);
        QCOMPARE(rows[0].mid(2, 2), (QStringList{"Angle", "Was"}));
        const auto row = [&](const char* tier) {
            return *std::find_if(rows.begin(), rows.end(), [&](const QStringList& r) { return r[0] == tier; });
        };
        QVERIFY(row("2").mid(2, 2) == (QStringList{"42.30°", "41.50°"}) && row("B").mid(2, 2) == (QStringList{"31.00°", "28.00°"}));
        const QByteArray pdf = diagramPdf(in);
        const QByteArray info = QByteArrayLiteral("/Title (\xfe\xff\0S\0R\0B\0.\0g\0e\0m)\n/Creator (\xfe\xff\0Z\0E\0P)"); // as a viewer's properties show them
        QVERIFY(pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF") && pdf.contains("/FontFile2") && pdf.contains(info)); // drawn, with its letters' font inside to print anywhere
        // Long instructions wrap: seven tiers fit one page, nothing in the 15 mm margins a printer may not reach.
        for (gemray::GemDesign* d : {&in.original, &in.recut})
            for (gemray::GemFacet& f : d->facets)
                f.text = f.text.substr(0, f.text.find('\t'))
                         + "\tcut to the meetpoint of the girdle and the mains, then polish with cerium oxide on tin";
        const QList<QImage> sheets = diagramImages(in, 60);
        QCOMPARE(std::pair(sheets.size(), sheets.value(0).size()), std::pair(qsizetype(1), QSize(496, 702))); // A4 at 60 dots an inch
        QVERIFY(diagramTable(in)[1].last().startsWith("cut to the meetpoint"));
        const QImage& sheet = sheets[0];
        const int margin = int(15 * 60 / 25.4) - 1;
        for (int y = 0; y < sheet.height(); ++y)
            for (int i = 0; i < margin; ++i)
                for (int at : {i, sheet.width() - 1 - i})
                    QVERIFY2(qGray(sheet.pixel(at, y)) > 200, qPrintable(QString("ink at %1, %2").arg(at).arg(y)));
        // A long list runs on over further pages, each filled (the test's fonts: five).
        for (std::size_t i = 0; i < in.recut.facets.size(); ++i)
            in.recut.facets[i].tier = int(i);
        in.original.footnotes = {"Polish the table last, on a new lap."}; // a note after the table
        const QList<QImage> five = diagramImages(in, 60);
        QVERIFY(five.size() == 5 && pagesAsKept(five, QStringLiteral("diagram-pages"))); // and each page as it was seen
        // A row taller than a page (7000 characters of instructions) starts on the first all the same: no page without rows.
        in.recut.facets[0].text = in.recut.facets[0].text.substr(0, in.recut.facets[0].text.find('\t')) + "\t" + QString("polish ").repeated(1000).toStdString();
        QCOMPARE(diagramImages(in, 60).size(), 5);
    }

    // The Cutting List window: its angles, saving through the file chooser, its place in its own positions file.
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), path("SRB.gem")));
        sink = RecordingSink();
        job = JobState();
        job.fnam = path("SRB.gem");
        job.olPav = 41.5f, job.olCrn = 28, job.stPav = 40, job.stCrn = 29;
        job.theFinalPav = 42.3f, job.theFinalCrn = 31;
    }

    void listsAnglesSizeAndWeight()
    {
        QString result, start;
        open(true, [&](QWidget* w) {
            picture(w, "cutting-list-result.png");
            QCOMPARE(w->objectName(), QStringLiteral("frmCutList"));
            result = cell(w, "2", 2) + cell(w, "2", 3) + cell(w, "B", 2) + child<QLabel>(w, "lblAngles")->text();
            child<QTableWidget>(w, "lstCuts")->setCurrentCell(0, 2); // the list is read, never edited: F2 opens no editor
            QTest::keyClick(child<QTableWidget>(w, "lstCuts"), Qt::Key_F2);
            QVERIFY(!child<QTableWidget>(w, "lstCuts")->findChild<QLineEdit*>());
            // The stone as the diagram draws it: crown and table, then pavilion.
            const QImage stone = child<QWidget>(w, "picStone")->grab().toImage();
            int crown[3] = {}, pavilion[3] = {};
            QSet<QRgb> shades; // drawn smooth: the edges blend into the fills in about a thousand shades (400 when jagged)
            for (int y = 0; y < stone.height(); ++y)
                for (int x = 0; x < stone.width(); ++x) {
                    crown[3 * x / stone.width()] += (stone.pixel(x, y) & 0xffffff) == 0xbad2f0;
                    pavilion[3 * x / stone.width()] += (stone.pixel(x, y) & 0xffffff) == 0xe2e2e2;
                    shades.insert(stone.pixel(x, y));
                }
            QVERIFY(crown[0] > 300 && crown[1] == 0 && pavilion[1] > 1000 && pavilion[2] > 300 && shades.size() > 800);
            QVERIFY(w->sizeHint().width() <= 1280 && w->sizeHint().height() <= 690);
        });
        QCOMPARE(result, QStringLiteral("42.30°41.50°31.00°Pavilion 41.50° to 42.30°, crown 28.00° to 31.00° "
                                        "(optimization result)"));
        open(false, [&](QWidget* w) { start = cell(w, "2", 2) + cell(w, "B", 2) + cell(w, "T", 2); });
        QVERIFY(start == QStringLiteral("40.00°29.00°0.00°") && sink.messages.isEmpty());
        // Size and weight at the typed width in the job's material; none without a density; a bad width named at once.
        job.useMatRI = true;
        job.theMat = QStringLiteral("Quartz");
        const Proportions p = proportionsOf(recutDesign(loadDesign(path("SRB.gem")), {41.5, 42.3, 28, 31}));
        const auto expected = [&](double w, const char* tail) {
            return QStringLiteral("Stone %1 x %1 x %2 mm").arg(Format(w, u"#.00"), Format(w * p.hw, u"#.00")) +
                   QString::fromUtf8(tail);
        };
        QStringList said;
        open(true, [&](QWidget* w) {
            auto* width = child<QLineEdit>(w, "txtWidth");
            auto* stone = child<QLabel>(w, "lblStone");
            said << stone->text();
            for (const char* typed : {"abc", "0", "1e9", "nan", "6.5"}) {
                width->setText(QString::fromLatin1(typed));
                said << stone->text();
            }
            picture(w, "cutting-list.png");
        });
        QCOMPARE(said[0], expected(10, ", ") + Format(caratWeight(p.vw3, 10, 2.65), u"#.00") + QStringLiteral(" ct in Quartz"));
        for (int i = 1; i <= 4; ++i)
            QVERIFY2(said[i].contains(QStringLiteral("Width (mm)")), qPrintable(said[i]));
        QVERIFY(said[5].startsWith(expected(6.5, ", ")));

        job.useMatRI = false;
        job.useSpecRI = true; // an index typed by hand, without a density
        job.theRI = 1.6f;
        const auto stone = [&] { open(true, [&](QWidget* w) { said = {child<QLabel>(w, "lblStone")->text()}; }); return said[0]; };
        QCOMPARE(stone(), expected(10, "; no weight without the material's density"));
        job.theDensity = 4;
        QVERIFY(stone().endsWith(Format(caratWeight(p.vw3, 10, 4), u"#.00") + QStringLiteral(" ct in a material of density 4")));
        job.useSpecRI = false, job.useFileRI = true; // the design's own index: the density typed before is not its
        QCOMPARE(stone(), expected(10, "; no weight without the material's density"));
    }

    void savesItsFilesAndKeepsItsPlace()
    {
        QString status;
        QStringList titles;
        sink.answers = {false}; // do not replace the design saved first
        open(true, [&](QWidget* w) {
            saveAs(w, "btnSaveDesign", "recut", titles);
            status = child<QLabel>(w, "lblStatus")->text();
            saveAs(w, "btnSaveText", "list.asc", titles);
            saveAs(w, "btnSaveDiagram", "page", titles);
            saveAs(w, "btnSaveDesign", "recut", titles);
        });
        QCOMPARE(titles, (QStringList{"Save Re-cut Design", "Save Cutting List Text", "Save Cutting Diagram", "Save Re-cut Design"}));
        const QByteArray recut = gemBytes(recutDesign(loadDesign(path("SRB.gem")), {41.5, 42.3, 28, 31}));
        QVERIFY(readFileBytes(path("recut.gem")) == recut && status.endsWith(QDir::toNativeSeparators(path("recut.gem"))));
        QVERIFY(readFileBytes(path("list.asc")).contains("\r\na -42.300000 0.62884239 96 n 2 84 72") && readFileBytes(path("page.pdf")).startsWith("%PDF-"));
        QCOMPARE(sink.messages, QStringList{QStringLiteral("The file ") + path("recut.gem") +
                                            QStringLiteral(" already exists. Replace it?")});
        // The window keeps its place in its own positions file.
        const QString places = path(QLatin1String(kCutListPlaces));
        writeFileSafely(places, "\"ZEPWindows\",1\r\n\"TOther\",5\r\n\"TCutList\",1440\r\n\"LCutList\",720\r\n"
                                "\"END\",\"ZEPWindows\"\r\n");
        QPoint opened;
        open(true, [&](QWidget* w) {
            opened = w->pos();
            w->move(opened + QPoint(30, 15));
        });
        QCOMPARE(opened, QPoint(48, 96)); // at the screen's 96 dots an inch, a pixel is 15 twips
        const WindowPlace kept = readWindowPlace(places, QStringLiteral("CutList"));
        QCOMPARE(std::pair(kept.left, kept.top), std::pair(78 * 15.0f, 111 * 15.0f));
        QCOMPARE(readWindowPlace(places, QStringLiteral("Other")).top, 5.0f);
        // A damaged or foreign file places the window at the top left, as a place past the file's first 64 KiB does.
        for (const QByteArray& bad : {QByteArray("\"ZEPWindows\",1\r\n\"TCutList\",\"x\""),
                                      QByteArray("\"ZEPLast\",1\r\n\"TCutList\",99\r\n"), QByteArray(300, '\0'),
                                      QByteArray("\"ZEPWindows\",1\r\n").leftJustified(64 << 10, '\n') + "\"TCutList\",99\r\n"}) {
            writeFileSafely(places, bad);
            QCOMPARE(readWindowPlace(places, QStringLiteral("CutList")).top, 0.0f);
        }
        QVERIFY_THROWS_EXCEPTION(ZepError, storeWindowPlace(path("gone/x.txt"), QStringLiteral("CutList"), {}));
        // A damaged design gets its message, and no window.
        writeFileSafely(path("SRB.gem"), QByteArray(500, 'x'));
        sink.messages.clear();
        CutListEnv e = env(true);
        showCuttingList(e); // no window: nothing to answer
        QVERIFY(sink.messages.size() == 1 && sink.messages[0].contains(QStringLiteral("is not a GemCAD design")));
    }
};

QTEST_MAIN(TestRecut)
#include "test_recut.moc"
