// The Cutting List window, offscreen: the angles it lists, saving through the
// file chooser, and the place it keeps in its own positions file.
#include "common/FileIO.h"
#include "common/ZepError.h"
#include "dialogs/WindowSupport.h"
#include "recut/CutListWindow.h"
#include "recut/Recut.h"
#include "settings/WindowPlaces.h"
#include "support/Modal.h"
#include "support/Picture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using namespace zep::test;

namespace {

// The text of `column` in the row of the tier named `tier`.
QString cell(QWidget* w, const QString& tier, int column)
{
    auto* t = child<QTableWidget>(w, "lstCuts");
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0)->text() == tier)
            return t->item(r, column)->text();
    return QString();
}

// Answers the file chooser that `button` opens with the name `file`.
void saveAs(QWidget* w, const char* button, const QString& file)
{
    onNextModal([file](QWidget* chooser) {
        type(chooser, "txtFileName", file);
        click(chooser, "OKButton");
    });
    click(w, button);
}

} // namespace

class TestRecutWindow : public QObject {
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

    void listsTheResultOrTheStartAngles()
    {
        QString result, start;
        open(true, [&](QWidget* w) {
            picture(w, "cutting-list.png");
            QCOMPARE(w->objectName(), QStringLiteral("frmCutList"));
            result = cell(w, "2", 2) + cell(w, "2", 3) + cell(w, "B", 2) + child<QLabel>(w, "lblAngles")->text();
        });
        QCOMPARE(result, QStringLiteral("42.30°41.50°31.00°Pavilion 41.50° to 42.30°, crown 28.00° to 31.00° "
                                        "(optimization result)"));
        open(false, [&](QWidget* w) { start = cell(w, "2", 2) + cell(w, "B", 2) + cell(w, "T", 2); });
        QCOMPARE(start, QStringLiteral("40.00°29.00°0.00°"));
        QVERIFY(sink.messages.isEmpty());
    }

    void savesTheDesignTextAndDiagram()
    {
        QString status;
        sink.answers = {false}; // do not replace the design saved first
        open(true, [&](QWidget* w) {
            saveAs(w, "btnSaveDesign", "recut");
            status = child<QLabel>(w, "lblStatus")->text();
            saveAs(w, "btnSaveText", "list.asc");
            saveAs(w, "btnSaveDiagram", "page");
            saveAs(w, "btnSaveDesign", "recut");
        });
        const QByteArray recut = gemBytes(recutDesign(loadDesign(path("SRB.gem")), {41.5, 42.3, 28, 31}));
        QCOMPARE(readFileBytes(path("recut.gem")), recut);
        QVERIFY(status.endsWith(QDir::toNativeSeparators(path("recut.gem"))));
        QVERIFY(readFileBytes(path("list.asc")).contains("\r\na -42.300000 0.62884239 96 n 2 84 72"));
        QVERIFY(readFileBytes(path("page.pdf")).startsWith("%PDF-"));
        QCOMPARE(sink.messages, QStringList{QStringLiteral("The file ") + path("recut.gem") +
                                            QStringLiteral(" already exists. Replace it?")});
    }

    void damagedDesignGetsItsMessage()
    {
        writeFileSafely(path("SRB.gem"), QByteArray(500, 'x'));
        CutListEnv e = env(true);
        showCuttingList(e); // no window: nothing to answer
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages[0].contains(QStringLiteral("is not a GemCAD design")));
    }

    void keepsItsPlace()
    {
        const QString places = path(QLatin1String(kCutListPlaces));
        writeFileSafely(places, "\"ZEPWindows\",1\r\n\"TOther\",5\r\n\"TCutList\",1440\r\n\"LCutList\",720\r\n"
                                "\"END\",\"ZEPWindows\"\r\n");
        QPoint opened;
        open(true, [&](QWidget* w) {
            opened = w->pos();
            w->move(opened + QPoint(30, 15));
        });
        QWidget probe;
        QCOMPARE(opened, QPoint(twipsToPixels(720, &probe, false), twipsToPixels(1440, &probe, true)));
        const WindowPlace kept = readWindowPlace(places, QStringLiteral("CutList"));
        QCOMPARE(kept.left, pixelsToTwips(opened.x() + 30, &probe, false));
        QCOMPARE(kept.top, pixelsToTwips(opened.y() + 15, &probe, true));
        QCOMPARE(readWindowPlace(places, QStringLiteral("Other")).top, 5.0f);

        // A damaged or foreign file places the window at the top left.
        for (const QByteArray& bad : {QByteArray("\"ZEPWindows\",1\r\n\"TCutList\",\"x\""),
                                      QByteArray("\"ZEPLast\",1\r\n\"TCutList\",99\r\n"), QByteArray(300, '\0')}) {
            writeFileSafely(places, bad);
            QCOMPARE(readWindowPlace(places, QStringLiteral("CutList")).top, 0.0f);
        }
        QVERIFY_THROWS_EXCEPTION(ZepError, storeWindowPlace(path("gone/x.txt"), QStringLiteral("CutList"), {}));
    }
};

QTEST_MAIN(TestRecutWindow)
#include "test_recut_window.moc"
