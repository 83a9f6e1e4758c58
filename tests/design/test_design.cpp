// Facet angles of designs, critical angles, and the design file and angles dialogs on real widgets and files.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "design/DesignDialogs.h"
#include "design/GemAngles.h"
#include "design/Materials.h"
#include "dialogs/WindowSupport.h"
#include "support/Errors.h"
#include "support/Layout.h"
#include "support/Look.h"
#include "support/Modal.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using namespace zep::test;

namespace {

// A facet record: normal, tier, text, three flagged corners and the flag that ends them.
QByteArray record(double x, double y, double z)
{
    QByteArray b;
    const auto put = [&](const auto& v) { b.append(reinterpret_cast<const char*>(&v), sizeof v); };
    for (double v : {x, y, z})
        put(v);
    const char text[] = "P1\tcut";
    put(int32_t(96));
    put(uint8_t(sizeof text - 1));
    b.append(text, sizeof text - 1);
    for (int i = 0; i < 3; ++i) {
        put(int32_t(1));
        put(std::array<double, 3>{0.1 * i, 0.2, -0.3});
    }
    put(int32_t(0));
    return b;
}

// The normal of a facet cut at `angle` degrees, pavilion or crown.
QByteArray facet(double angle, bool pavilion)
{
    const double e = (90 - angle) * M_PI / 180;
    return record(std::cos(e), 0, pavilion ? -std::sin(e) : std::sin(e));
}

const QString Designs = QStringLiteral(ZEP_DESIGNS_DIR "/");
const QStringList SrbPav{"42.50", "41.50"}, SrbCrn{"34.00", "28.00", "16.00"};

// Everything a dialog reads and writes, fresh for each test.
struct Env {
    JobState job;
    DesignFileExchange fd;
    WindowPositions positions;
    Preferences prefs;
    MaterialTable materials = MaterialTable::standard();
    RecordingSink sink;
    QTemporaryDir tmp;
    DesignEnv env{job, fd, positions, prefs, materials, sink, tmp.path() + QStringLiteral("/")};

    Env() // a job whose six angles the angles dialog takes
    {
        job.stPav = 40, job.minPav = 38, job.maxPav = 44;
        job.stCrn = 30, job.minCrn = 20, job.maxCrn = 40;
    }

    QString path(const QString& name) const { return tmp.filePath(name); }
    // A folder in the temporary folder holding copies of the named designs.
    QString folder(const QString& name, const QStringList& designs = {}) const
    {
        QDir(tmp.path()).mkpath(name);
        for (const QString& d : designs)
            QFile::copy(Designs + d.section('>', 0, 0), path(name + "/" + d.section('>', -1)));
        return path(name);
    }
};

QColor swatch(QWidget* d) { return child(d, "picCol")->palette().color(QPalette::Window); }
bool checked(QWidget* d, const char* name) { return child<QAbstractButton>(d, name)->isChecked(); }

// The design file dialog or the angles dialog, with `steps` run on it.
void designFile(Env& e, std::function<void(QWidget*)> steps) { onNextModal(std::move(steps)); showDesignFileDialog(e.env); }
void angles(Env& e, std::function<void(QWidget*)> steps) { onNextModal(std::move(steps)); showAnglesDialog(e.env); }

} // namespace

class TestDesign : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void realDesignsAndAngleRules()
    {
        // Girdle facets between two pavilion tiers make an angle count again.
        const struct {
            const char* file;
            QStringList pav, crn;
        } designs[] = {
            {"SRB.gem", SrbPav, SrbCrn},
            {"Compear125.gem", {"42.40", "41.50", "42.90", "43.20", "41.50"},
             {"38.50", "42.30", "41.50", "43.70", "32.00", "34.50", "25.30", "15.90", "20.60", "17.60", "18.80"}},
            {"CubeIllusionTri.gem", {"46.00", "47.00", "45.00"}, {"41.36", "34.04", "33.97", "24.16", "10.00"}},
            {"Turkey.gem", {"40.50", "40.00"}, {"35.50", "40.00", "34.00", "10.00", "8.00"}},
        };
        const QString work = dir.filePath(QStringLiteral("B"));
        // The design and its text export list the same angles; the ray tracer's working copy is the file as is.
        for (const auto& d : designs)
            for (const char* kind : {".gem", ".asc"}) {
                const QString file = Designs + QLatin1String(d.file).chopped(4) + kind;
                const GemAngleLists l = ParseFile(file, work);
                QVERIFY(!l.truncated && readFileBytes(work) == readFileBytes(file) && l.pav == d.pav && l.crn == d.crn);
            }
        // Text that is not a design is refused naming the file and the line.
        const QString bad = dir.filePath(QStringLiteral("bad.asc"));
        writeFileSafely(bad, "GemCad 5.0\r\ng 96 0.0\r\ny 8 y\r\nI 1.54\r\na -42 0.6 x\r\n");
        QCOMPARE(messageOf([&] { ParseFile(bad, work); }), "Design file \"" + bad + "\", line 5: \"x\" is not a number (an index position).");
        // a missing design, or one too large to be a design, leaves the working copy alone
        writeFileSafely(work, "old copy");
        QCOMPARE(errorOf([&] { ParseFile(dir.filePath(QStringLiteral("none.gem")), work); }), int(err::FileNotFound));
        const QString huge = dir.filePath(QStringLiteral("huge.gem"));
        writeFileSafely(huge, "x");
        QVERIFY(QFile::resize(huge, (16 << 20) + 1)); // a byte past the 16 MiB a design file may have
        QVERIFY(messageOf([&] { ParseFile(huge, work); }).endsWith("is too large to be a GemCAD design."));
        QCOMPARE(readFileBytes(work), QByteArray("old copy"));
        QVERIFY(QFile::resize(huge, 16 << 20) && !messageOf([&] { ParseFile(huge, work); }).contains("too large"));
        // a damaged design is refused naming the user's file and why, as the ray tracer would
        writeFileSafely(huge, readFileBytes(ZEP_DESIGNS_DIR "/SRB.gem").left(3000));
        QCOMPARE(messageOf([&] { ParseFile(huge, work); }), "Design file \"" + huge + "\" is truncated: facet record 22 ends early.");

        // Facet records made here: the normal (0.656059, 0, -0.754710) is a 41 degree pavilion facet. An angle equal
        // to the one just before it is not listed again, sixteen equal ones list once; 0.5 and 89.5 are not listed.
        const QByteArray pav41 = record(0.656059, 0, -0.754710), crn41 = record(0.656059, 0, 0.754710);
        const std::tuple<QByteArray, QStringList, QStringList> lists[] = {
            {record(0, 0, 1) + record(0, 0, -1) + record(1, 0, 1e-16), {}, {}}, // table, culet and girdle
            {pav41 + crn41, {"41.00"}, {}},
            {pav41 + facet(43, false) + crn41, {"41.00"}, {"43.00", "41.00"}},
            {facet(41, true).repeated(16) + facet(43, true) + facet(41, true), {"41.00", "43.00", "41.00"}, {}},
            {facet(0.5, true) + facet(89.5, true) + facet(1, true) + facet(89, true), {"1.00", "89.00"}, {}},
            {record(std::nan(""), 0, -1) + record(INFINITY, 0, -1) + record(0, 0, -INFINITY), {}, {}}, // and no failure
        };
        for (const auto& [bytes, pav, crn] : lists) {
            const GemAngleLists l = extractAngles(bytes);
            QVERIFY(l.pav == pav && l.crn == crn);
        }

        const QByteArray good = facet(41, true) + facet(30, false);
        // cut inside the second record: the first angle stays, the parse ends quietly
        const GemAngleLists l = extractAngles(good.left(record(0, 0, 1).size() + 30));
        QVERIFY(l.pav == QStringList{"41.00"} && l.truncated && extractAngles(QByteArray()).pav.isEmpty());
        // a record whose vertex flags never end runs into the end of the file
        QByteArray endless = facet(41, true);
        endless.chop(4);
        for (int i = 0; i < 1000; ++i)
            endless += QByteArray("\x01\0\0\0", 4) + QByteArray(24, '\0');
        QVERIFY(extractAngles(endless).truncated);
    }

    // The design file dialog and the angles and material dialog.
    void pickDesignAndAngles()
    {
        Env e;
        e.fd.FDDir = e.folder("designs", {"SRB.gem", "Turkey.gem>Turkey.GEM", "SRB.asc>notes.txt",
                                          "Turkey.asc>Turkey.ASC", "SRB.asc>srb.asc"});
        float top = 0, left = 0;
        designFile(e, [&](QWidget* d) {
            QCOMPARE(items(d, "fileList"), (QStringList{"srb.asc", "SRB.gem", "Turkey.ASC", "Turkey.GEM"}));
            pick(d, "fileList", "Turkey.ASC");
            click(d, "btnParse");
            QCOMPARE(items(d, "lstCrn"), (QStringList{"35.50", "40.00", "34.00", "10.00", "8.00"}));
            pick(d, "fileList", "SRB.gem");
            click(d, "btnParse"); // replaces both lists
            QVERIFY(items(d, "lstPav") == SrbPav && zep::test::looksAsKept(d, QStringLiteral("design-file")));
            QCOMPARE(items(d, "lstCrn"), SrbCrn);
            pick(d, "lstPav", "41.50");
            pick(d, "lstCrn", "28.00");
            d->move(300, 200);
            storeWindowPosition(d, top, left);
            click(d, "OKButton");
        });
        QVERIFY(e.sink.messages.isEmpty() && e.fd.FDOK && e.fd.FDDrv.isEmpty() && e.fd.FDFile == QStringLiteral("SRB.gem"));
        QCOMPARE((QList<float>{e.fd.FDPav, e.fd.FDCrn, e.positions.TFile, e.positions.LFile}),
                 (QList<float>{41.5f, 28, top, left}));
    }

    void fileDialogRefusals()
    {
        Env e;
        e.fd.FDDir = e.folder("d", {"SRB.gem"});
        e.positions.TFile = 720;
        designFile(e, [&](QWidget* d) {
            d->move(500, 400);
            click(d, "btnParse");
            QVERIFY(!QFile::exists(e.path("B")));
            click(d, "OKButton");
            pick(d, "fileList", "SRB.gem");
            click(d, "OKButton"); // not parsed yet
            QCOMPARE(e.fd.FDFile, QStringLiteral("SRB.gem"));
            click(d, "btnParse");
            // The design's own angles are chosen first: the mains at the culet and the table.
            for (auto [list, main] : {std::pair{"lstPav", "41.50"}, std::pair{"lstCrn", "28.00"}}) {
                const auto chosen = d->findChild<QListWidget*>(list)->selectedItems();
                QVERIFY(chosen.size() == 1 && chosen[0]->text() == main);
            }
            pick(d, "lstPav", "42.50");
            d->findChild<QListWidget*>("lstCrn")->clearSelection();
            click(d, "OKButton"); // no crown angle
            QVERIFY(QFile::remove(e.path("d/SRB.gem")));
            click(d, "btnParse"); // the lists stay
            QVERIFY(items(d, "lstCrn") == SrbCrn && d->isVisible() && e.fd.FDOK);
            click(d, "CancelButton");
        });
        QVERIFY(!e.fd.FDOK && e.positions.TFile == 720.0f);
        const QString parse = "Please parse the file and select one pavillion and one crown angle";
        QCOMPARE(e.sink.messages, (QStringList{"Please select a file first", "Please select a file first", parse,
                                               parse, "Error  53 (File not found) in btnParse_Click routine"}));

        // A double quote or a line break in the path would stop Quit from saving the job: OK refuses it, keeps nothing.
        for (const char* folder : {"say \"when\"", "two\nlines"}) {
            Env q;
            q.fd.FDDir = q.folder(folder, {"SRB.gem"});
            designFile(q, [&](QWidget* d) {
                chooseDesign(d, "SRB.gem", "41.50", "28.00");
                QVERIFY(d->isVisible());
            });
            QCOMPARE(q.sink.messages.size(), 1);
            QVERIFY(q.sink.messages[0].startsWith("ZEP cannot keep this path, because a name in it holds a double quote") && q.fd.FDDir == q.path(folder) && q.fd.FDFile.isEmpty()); // as it was before
        }
    }

    void directoryNavigation()
    {
        Env e;
        e.folder("top/inner", {"SRB.gem"});
        e.fd.FDDir = e.path("top");
        bool reachedTheEnd = false;
        designFile(e, [&](QWidget* d) {
            auto* dirs = child<QListWidget>(d, "dirList");
            auto enter = [&](const char* name) {
                pick(d, "dirList", name, Qt::MatchEndsWith);
                QTest::keyClick(dirs, Qt::Key_Return);
            };
            QVERIFY(items(d, "fileList").isEmpty());
            enter("inner");
            QCOMPARE(items(d, "fileList"), QStringList{"SRB.gem"});
            const QStringList tree = items(d, "dirList"); // from the root down to inner, each folder two spaces in from its parent
            for (int k = 0; k < tree.size(); ++k)
                QVERIFY(tree[k].startsWith(QString(2 * k, u' ')) && tree[k][2 * k] != u' ' && tree.last().endsWith("inner"));
            enter("top"); // up again
            QVERIFY(items(d, "fileList").isEmpty());
            enter("inner");
            // leaving the list opens the folder highlighted in it
            QApplication::setActiveWindow(d); // focus moves only inside the active window
            dirs->setFocus();
            pick(d, "dirList", "top", Qt::MatchEndsWith);
            child(d, "fileList")->setFocus();
            QVERIFY(items(d, "fileList").isEmpty());
            // a pasted path of a design goes to its folder and picks it
            type(d, "txtDirPath", e.path("top/inner/SRB.gem"));
            QTest::keyClick(child(d, "txtDirPath"), Qt::Key_Return);
            QCOMPARE(child<QListWidget>(d, "fileList")->currentItem()->text(), QStringLiteral("SRB.gem"));
            reachedTheEnd = true;
        });
        QVERIFY(reachedTheEnd);
        // a folder that is gone: the message, and the lists open where ZEP runs
        e.fd.FDDir = e.path("gone");
        designFile(e, [](QWidget*) {});
        QCOMPARE(e.sink.messages, QStringList{"Error  76 (Path not found) in Form_Load routine"});
    }

    void anglesDialogOpensFromJob()
    {
        Env e;
        e.job.stPav = 41.5f, e.job.maxCrn = 44.25f, e.job.fixCrn = e.job.useMatRI = true, e.job.theMat = "Quartz";
        e.job.theRCol = 10, e.job.theGCol = 20, e.job.theBCol = 30;
        QList<QColor> presets;
        e.env.pickColour = [&](const QColor& preset, QWidget*) { presets << preset; return QColor(200, 100, 90); };
        angles(e, [&](QWidget* d) {
            QVERIFY(zep::test::misplaced(d) == QString() && zep::test::looksAsKept(d, QStringLiteral("angles")));
            QCOMPARE(text(d, "specStartPav") + text(d, "specMaxCrn"), QStringLiteral(" 41.5 44.25"));
            QVERIFY(!checked(d, "chkFixPav") && checked(d, "chkFixCrn") && checked(d, "optSelMat") && items(d, "lstMatl") == e.materials.Mat);
            QCOMPARE(child<QListWidget>(d, "lstMatl")->currentItem()->text(), QStringLiteral("Quartz"));
            QCOMPARE(swatch(d), QColor(10, 20, 30));
            click(d, "btnSelCol");
            QVERIFY(swatch(d) == QColor(200, 100, 90) && child(d, "btnCAmax")->isEnabled());
            click(d, "optFile");
            QVERIFY(!child(d, "btnCAmax")->isEnabled());
            type(d, "specStartPav", "40");
            click(d, "CancelButton");
        });
        QVERIFY(e.job.stPav == 41.5f && e.job.useMatRI && !e.job.useFileRI);
        QCOMPARE(presets, QList<QColor>{QColor(10, 20, 30)}); // (the dialog ran: its colour button was pressed)
        QCOMPARE(e.job.theRCol, int16_t(10)); // the colour too is kept
    }

    void okStoresAngles()
    {
        Env e;
        e.job.useMatRI = true, e.job.theMat = "Diamond", e.job.theRI = 2.417f, e.job.theDisp = 0.044f;
        QList<QColor> presets, chosen{QColor(200, 100, 90), QColor()}; // the second choice cancelled
        e.env.pickColour = [&](const QColor& preset, QWidget*) { presets << preset; return chosen.takeFirst(); };
        float top = 0, left = 0;
        angles(e, [&](QWidget* d) {
            // start angles on their limits are accepted
            for (auto [box, value] : {std::pair{"specStartPav", "38"}, {"specMinPav", "38"}, {"specMaxPav", "44"},
                                      {"specStartCrn", "35"}, {"specMinCrn", "25"}, {"specMaxCrn", "35"}})
                type(d, box, value);
            click(d, "chkFixPav");
            click(d, "optFile");
            click(d, "btnSelCol");
            click(d, "btnSelCol");
            QCOMPARE(swatch(d), QColor(200, 100, 90));
            d->move(120, 80);
            storeWindowPosition(d, top, left);
            click(d, "OKButton");
            QVERIFY(!d->isVisible());
        });
        QVERIFY(e.sink.messages.isEmpty());
        // the steps a tenth of each range; the file's index, the dispersion kept
        QCOMPARE((QList<float>{e.job.stPav, e.job.maxPav, e.job.stCrn, e.job.minCrn, e.job.pStep, e.job.cStep,
                               e.job.theRI, e.job.theDisp, e.positions.Tang, e.positions.Lang}),
                 (QList<float>{38, 44, 35, 25, 0.6f, 1, 0, 0.044f, top, left}));
        QVERIFY(e.job.fixPav && !e.job.fixCrn && e.job.useFileRI && !e.job.useSpecRI && !e.job.useMatRI);
        QVERIFY(e.job.theMat == QStringLiteral("Diamond") && presets == (QList<QColor>{QColor(255, 255, 255), QColor(200, 100, 90)}));
        QCOMPARE((QList<int16_t>{e.job.theRCol, e.job.theGCol, e.job.theBCol}), (QList<int16_t>{200, 100, 90}));
    }

    // Refused OKs and a critical angle that cannot be had keep what was stored and shown.
    void refusalsKeepWhatWasStored()
    {
        Env e;
        e.job.stPav = 1, e.job.useMatRI = true, e.positions.Tang = 360;
        angles(e, [&](QWidget* d) {
            d->move(400, 300);
            type(d, "specMinCrn", QString());
            click(d, "OKButton");
            QCOMPARE(e.job.stPav, 1.0f);
            type(d, "specStartPav", "44.001");
            type(d, "specMaxPav", "44");
            type(d, "specMinCrn", "4x");
            click(d, "OKButton"); // named, and no angle is stored
            QCOMPARE(e.job.stPav, 1.0f);
            type(d, "specMinCrn", "0");
            click(d, "OKButton"); // not an angle
            QCOMPARE(e.job.minCrn, 20.0f);
            type(d, "specMinCrn", "1");
            click(d, "chkFixCrn");
            click(d, "OKButton"); // start pavilion angle above its maximum
            QCOMPARE(e.job.stPav, 44.001f); // a thousandth beyond its maximum
            QVERIFY(e.job.pStep == 0.6f && e.job.fixCrn && e.job.useMatRI);
            type(d, "specStartPav", "44.0004");
            type(d, "specMinCrn", "51"); // a minimum above its maximum (the start below both, the pavilion's below them)
            const QString maxCrn = text(d, "specMaxCrn");
            type(d, "specMaxCrn", "50");
            click(d, "OKButton");
            type(d, "specMinCrn", "1");
            type(d, "specMaxCrn", maxCrn);
            click(d, "optSpecRI");
            type(d, "specRI", "1");
            click(d, "btnCAmax"); // no critical angle for an index of 1
            QCOMPARE(text(d, "specMaxPav"), QStringLiteral("44"));
            type(d, "specRI", "");
            click(d, "OKButton"); // no index
            QVERIFY(!e.job.useFileRI && !e.job.useSpecRI && !e.job.useMatRI);
            click(d, "optSelMat");
            click(d, "OKButton"); // no material
            QVERIFY(d->isVisible());
        });
        QCOMPARE(e.job.stPav, 44.0004f); // on its maximum; stored by a refused OK, kept by Cancel
        QCOMPARE(e.positions.Tang, 360.0f);
        QCOMPARE(e.sink.messages,
                 (QStringList{"Please specify value for all angles",
                              "The box \"Crown Min\" holds \"4x\", which is not a number. "
                              "Please type a number from 0.1 to 89.9.",
                              "The box \"Crown Min\" holds 0, which it cannot take. "
                              "Please type a number from 0.1 to 89.9.",
                              "Starting angles must be between Min and Max! \"Start Pavilion Angle\" 44.001 is "
                              "above \"Pavilion Max\" 44.",
                              "Starting angles must be between Min and Max! \"Crown Min\" 51 is above \"Crown Max\" 50.",
                              "Error  11 (Division by zero) in CalcCA routine",
                              "Please specify a refractive index and dispersion",
                              "Error  9 (Subscript out of range) in OKButton_Click routine"}));
    }

    void refractiveIndexSources()
    {
        Env e;
        e.job.stPav = e.job.maxPav = 40;
        angles(e, [&](QWidget* d) {
            QVERIFY(checked(d, "optFile"));
            click(d, "optSelMat"); // a material's index leaves the dispersion box alone
            QVERIFY(text(d, "specDisp").isEmpty());
            click(d, "optSpecRI");
            QCOMPARE(text(d, "specDisp"), QStringLiteral("0"));
            type(d, "specRI", "1.6abc");
            click(d, "OKButton");
            QCOMPARE(e.sink.messages.value(0), QStringLiteral("The box \"R. I.\" holds \"1.6abc\", which is not "
                                                              "a number. Please type a number above 1 and at most 10."));
            QVERIFY(!e.job.useSpecRI);
            type(d, "specRI", "1.6");
            // The density beside the index: a box that names itself when it holds no density.
            for (const char* bad : {"0", "abc", "-2", "31"}) {
                type(d, "specDensity", bad);
                click(d, "OKButton");
                QVERIFY(e.sink.messages.last().startsWith(QStringLiteral("The box \"Density\" holds")) && !e.job.useSpecRI);
            }
            type(d, "specDensity", "3.1");
            click(d, "OKButton");
        });
        QVERIFY(e.job.useSpecRI && !e.job.useFileRI && !e.job.useMatRI && e.job.theMat == QStringLiteral("Custom"));
        QCOMPARE((QList<float>{e.job.theRI, e.job.theDisp, e.job.theDensity}), (QList<float>{1.6f, 0, 3.1f}));
        angles(e, [&](QWidget* d) {
            QVERIFY(text(d, "specRI") == QStringLiteral(" 1.6") && text(d, "specDensity") == QStringLiteral("3.1"));
            click(d, "optSelMat");
            pick(d, "lstMatl", "Quartz");
            click(d, "OKButton");
        });
        QVERIFY(e.job.useMatRI && !e.job.useSpecRI && e.job.theMat == QStringLiteral("Quartz"));
        // the table's index and dispersion; a density of 0: the table's is used
        QCOMPARE((QList<float>{e.job.theRI, e.job.theDisp, e.job.theDensity}), (QList<float>{1.55f, 0.013f, 0}));
        // Each material's density within its handbook range: a weight in carats is only as good as this.
        const std::pair<const char*, std::pair<double, double>> handbook[] = {
            {"Beryl", {2.63, 2.92}},          {"Chrysoberyl", {3.70, 3.78}},      {"Corundum", {3.95, 4.10}},
            {"CZ", {5.60, 6.00}},             {"Diamond", {3.50, 3.53}},          {"Pyrope_Garnet", {3.62, 3.87}},
            {"Almandine_Garnet", {3.95, 4.30}}, {"Spessartite_Garnet", {4.12, 4.20}}, {"Rhodolite_Garnet", {3.74, 3.94}},
            {"Grossular_Garnet", {3.57, 3.73}}, {"Opal", {1.98, 2.25}},           {"Peridot", {3.27, 3.48}},
            {"Quartz", {2.64, 2.66}},         {"Spinel", {3.54, 3.63}},           {"Topaz", {3.49, 3.57}},
            {"Tourmaline", {3.00, 3.26}},     {"High_Zircon", {4.60, 4.80}},      {"Low_Zircon", {3.90, 4.10}},
        };
        const MaterialTable t = MaterialTable::standard();
        QVERIFY(t.Mat.size() == qsizetype(std::size(handbook)) && t.nMat == t.Mat.size()); // its count says its rows
        for (const auto& [name, range] : handbook) {
            const double sg = t.densityOf(QString::fromLatin1(name));
            QVERIFY2(sg >= range.first && sg <= range.second, name);
        }
        // Derived crown limits: 10 either side of the old crown, within 5 to 60, widened to hold the start.
        for (const auto& [old, start, lo, hi, widened] : {std::tuple{55.0f, 55.0f, 45.0f, 60.0f, false},
                                                           {8, 8, 5, 18, false}, {55, 62, 45, 62, true}}) {
            const AngleLimits l = derivedCrownLimits(old, start);
            QVERIFY(l.lo == lo && l.hi == hi && l.widened == widened);
        }
        for (std::size_t i = 0; i < t.matRI.size(); ++i) // and the indices and dispersions of gem materials
            QVERIFY(t.matRI[i] > 1.4 && t.matRI[i] < 2.5 && t.matDisp[i] >= 0 && t.matDisp[i] < 0.07);

        // A typed index's critical angle, or a refusal naming the box (an index of 1: the angles dialog, above).
        RecordingSink sink;
        QVERIFY(qAbs(CalcCA({true, QStringLiteral("1.54"), QString()}, t, sink).value_or(0) - 40.49) < 0.01);
        QCOMPARE(errorOf([&] { CalcCA({true, QStringLiteral("1.54 or so"), QString()}, t, sink); }), int(err::TypeMismatch));
        for (const auto& [byIndex, typed] : {std::pair{true, ""}, {false, ""}, {true, "0.9"}})
            QVERIFY(!CalcCA({byIndex, QString::fromLatin1(typed), QString()}, t, sink));
        QCOMPARE(sink.messages, (QStringList{QStringLiteral("Please specify a refractive index"),
                                             QStringLiteral("Please select a material from the list first"),
                                             QStringLiteral("Please specify a refractive index first")}));
    }

    void tooltipsFollowDoTips()
    {
        for (const bool tips : {false, true}) {
            Env e;
            e.prefs.DoTips = tips;
            int shown = 0;
            const auto count = [&](QWidget* d) {
                for (QWidget* w : d->findChildren<QWidget*>())
                    shown += !w->toolTip().isEmpty();
            };
            designFile(e, count);
            angles(e, count);
            QCOMPARE(shown, tips ? 6 : 0);
        }
    }
};

QTEST_MAIN(TestDesign)
#include "test_design.moc"
