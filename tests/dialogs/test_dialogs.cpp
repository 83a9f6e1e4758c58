// The shared dialogs with real widgets: file chooser, yes/no, four numbers, information window and preferences.
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "dialogs/FileChooser.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/WindowSupport.h"
#include "settings/PreferencesDialog.h"
#include "support/Look.h"
#include "support/Modal.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using namespace zep::test;

namespace {

struct Env {
    WindowPositions positions;
    Preferences prefs;
    RecordingSink sink;
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    DialogEnv env;
    explicit Env(const QString& workPath) : env{positions, prefs, sink, workPath, gf, yn, fn} {}
};

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString at(const QString& name) const { return QDir::toNativeSeparators(tmp.filePath(name)); }

private slots:
    // A list at its top shows its scroll handle at the top, darkest, not taken for the groove below.
    void scrollHandleReadsAtTheTop()
    {
        setScrollBarLook();
        QListWidget list;
        for (int i = 0; i < 60; ++i)
            list.addItem(QString::number(i));
        list.resize(160, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QScrollBar* bar = list.verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        const QImage image = bar->grab().toImage();
        const auto shade = [&](double at) { // the mean grey across the bar at a height
            const int y = int(at * image.height());
            int sum = 0, n = 0;
            for (int x = image.width() / 4; x < 3 * image.width() / 4; ++x, ++n)
                sum += qGray(image.pixel(x, y));
            return sum / std::max(n, 1);
        };
        // The handle (about a sixth of the bar: 10 of 60 rows show) lies at the top, darker than the groove.
        QVERIFY2(shade(0.08) + 20 < shade(0.8), qPrintable(QStringLiteral("%1 %2").arg(shade(0.08)).arg(shade(0.8))));
        bar->setValue(bar->maximum()); // and at the end, at the bottom
        const QImage end = bar->grab().toImage();
        QVERIFY(qGray(end.pixel(end.width() / 2, int(0.95 * end.height()))) + 20 < qGray(end.pixel(end.width() / 2, end.height() / 5)));
    }

    void initTestCase()
    {
        // The lists below show which names "*.TXT" and "GEMRAY.EXE" take: not the last four.
        QVERIFY(tmp.isValid() && QDir(tmp.path()).mkpath(QStringLiteral("inner")));
        for (const char* f : {"Gemray", "a.TXT", "b.txt", "inner/d.txt", "c.bmp", "b.txt.bak", "TXT", "Gemray.sh"})
            writeFileSafely(at(f), f);
    }

    // Pick mode: nothing highlighted is refused; folders are entered by Enter, by leaving the folder list
    // with one highlighted, and left by ".."; the next use opens where the first was accepted.
    void pickAndNavigate()
    {
        Env e(tmp.path() + '/');
        // A tip as long as ZEP's own wraps within the dialog.
        const QString tip = QStringLiteral("Navigate to the directory holding the targets file and select it from the file "
                                           "box; the targets of the file replace the current ones.");
        e.gf = {true, "*.TXT", "Load Optimization Targets", "Pick one", tip, false, {}, tmp.path(), {}, {}};
        onModal("frmGenericFile", [&](QWidget* w) {
            QCOMPARE(items(w, "fileList"), (QStringList{"a.TXT", "b.txt"}));
            QVERIFY(child(w, "txtFileName")->isHidden() && looksAsKept(w, QStringLiteral("file-chooser")));
            click(w, "OKButton");
            QVERIFY(w->isVisible());
            auto* dirs = child<QListWidget>(w, "dirList");
            pick(w, "dirList", "inner");
            QTest::keyClick(dirs, Qt::Key_Return);
            QCOMPARE(items(w, "fileList"), QStringList{"d.txt"});
            pick(w, "dirList", "..");
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(dirs, &out);
            QCOMPARE(items(w, "fileList"), (QStringList{"a.TXT", "b.txt"}));
            pick(w, "dirList", "inner");
            QTest::keyClick(dirs, Qt::Key_Return);
            pick(w, "fileList", "d.txt");
            w->move(20, 35);
            click(w, "OKButton");
        });
        showFileChooser(e.env);
        QVERIFY(e.sink.messages == QStringList{"Please select a file first"} && e.gf.GFOK && e.gf.GFDrv.isEmpty());
        QCOMPARE(std::pair(e.gf.GFDir, e.gf.GFFile), std::pair(at("inner"), QStringLiteral("d.txt")));
        QCOMPARE(e.positions.TGF, pixelsToTwips(35, nullptr, true));

        // second use: opens in "inner"; Cancel clears GFOK and keeps GFDir
        QStringList again;
        onModal("frmGenericFile", [&](QWidget* w) {
            again = items(w, "fileList");
            click(w, "CancelButton");
        });
        showFileChooser(e.env);
        QVERIFY(again == QStringList{"d.txt"} && !e.gf.GFOK && e.gf.GFDir == at("inner"));
    }

    void rememberedFolderThatIsGone()
    {
        Env e(tmp.path() + '/');
        e.gf = {true, "GEMRAY.EXE", "Locate the Gemray Program", "", "", false, {}, at("gone"), {}, {}};
        QStringList shown;
        onModal("frmGenericFile", [&](QWidget* w) { shown = items(w, "fileList"); });
        const QString before = QDir::currentPath();
        QDir::setCurrent(tmp.path());
        showFileChooser(e.env);
        QDir::setCurrent(before);
        QCOMPARE(e.sink.messages, QStringList{"Error  76 (Path not found) in GF_Form_Load routine"});
        QCOMPARE(shown, QStringList{"Gemray"}); // where ZEP runs
    }

    // Create mode: no picking from the list, no empty name, an existing name asks first and stays.
    void createAndOverwrite()
    {
        Env e(tmp.path() + '/');
        e.gf = {false, "*.TXT", "Save Optimization Targets", "", "", false, {}, tmp.path(), {}, {}};
        QStringList question;
        onModal("frmGenericFile", [&](QWidget* w) {
            pick(w, "fileList", "b.txt");
            QVERIFY(child<QListWidget>(w, "fileList")->selectedItems().isEmpty());
            click(w, "OKButton");
            QVERIFY(w->isVisible());
            type(w, "txtFileName", "b.txt");
            onModal("frmYesNoDLOG", [&](QWidget* yn) {
                question = {text(yn, "txtQ1"), text(yn, "txtQ2"), text(yn, "txtQ3")};
                click(yn, "CancelButton");
            });
            click(w, "OKButton");
            QVERIFY(w->isVisible());
            onModal("frmYesNoDLOG", [](QWidget* yn) { click(yn, "OKButton"); });
            click(w, "OKButton");
        });
        showFileChooser(e.env);
        QCOMPARE(e.sink.messages, QStringList{"Please enter a file name first"});
        QCOMPARE(question, (QStringList{"The specified file " + at("b.txt"), "already exists!",
                                        "Click Ok to overwrite, Cancel to abort"}));
        QVERIFY(e.gf.GFOK && e.gf.GFFile == QStringLiteral("b.txt"));
        QCOMPARE(readFileBytes(at("b.txt")), QByteArray("b.txt")); // the caller's write replaces it
    }

    // A typed or pasted path and Enter go to its folder (a file highlighted), press no button; a bad path is refused.
    void typedFolderPath()
    {
        Env e(tmp.path() + '/');
        e.gf = {true, "*.TXT; *.BMP", "Load Optimization Targets", "", "", false, {}, at("inner"), {}, {}};
        onModal("frmGenericFile", [&](QWidget* w) {
            auto* path = child<QLineEdit>(w, "txtDirPath");
            QCOMPARE(path->text(), at("inner"));
            path->setText("  \"" + tmp.path() + "\" ");
            QTest::keyClick(path, Qt::Key_Return);
            QVERIFY(items(w, "fileList") == (QStringList{"a.TXT", "b.txt", "c.bmp"}) && w->isVisible()); // either of two patterns
            path->setText("../nowhere");
            QTest::keyClick(path, Qt::Key_Return);
            for (const QString file : {"b.txt", "inner/d.txt"}) { // a file after the list's first one, elsewhere
                path->setText(file);
                QTest::keyClick(path, Qt::Key_Return);
                QCOMPARE(child<QListWidget>(w, "fileList")->currentItem()->text(), file.section(u'/', -1));
            }
            click(w, "OKButton");
        });
        showFileChooser(e.env);
        QCOMPARE(e.sink.messages, QStringList{"There is no folder or file ../nowhere"});
        QCOMPARE(std::pair(e.gf.GFDir, e.gf.GFFile), std::pair(at("inner"), QStringLiteral("d.txt")));
    }

    // A window manager's frame as Qt reads it: a usual frame (a title bar, borders or none) is taken; no
    // frame, or one read before it came or while it changes (a side inside, or wider than any frame's), is not.
    void windowFramesAndPlaces()
    {
        const QRect inside(100, 130, 400, 300);
        const auto around = [&](QMargins m) { return frameAround(inside.marginsAdded(m), inside); };
        for (const QMargins taken : {QMargins(1, 22, 1, 1), QMargins(0, 30, 0, 0), QMargins(2, 0, 2, 2), QMargins(40, 120, 40, 40)})
            QCOMPARE(around(taken), std::optional(taken));
        QVERIFY(!around(QMargins()));
        for (int side = 0; side < 4; ++side)
            for (const int wrong : {-1, side == 1 ? 121 : 41}) {
                int m[4] = {4, 24, 4, 4};
                m[side] = wrong;
                QVERIFY2(!around(QMargins(m[0], m[1], m[2], m[3])), qPrintable(QString("side %1: %2").arg(side).arg(wrong)));
            }
        // A place saved on a larger or another screen opens on this one. Shown, the window narrows as far as
        // its wrapped text still fits its height, and not a pixel less far.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (int height = 70; height < 150; height += 5) {
            const float far = height % 2 ? 1e7f : -1e7f;
            QWidget w;
            auto* text = new QLabel(QString("Polish the crown mains to meet the girdle, then the stars. ").repeated(5));
            text->setWordWrap(true);
            (new QVBoxLayout(&w))->addWidget(text);
            w.resize(700, height);
            placeWindow(&w, far, far);
            w.show();
            const auto need = [&w](int narrower) { return w.layout()->minimumHeightForWidth(w.minimumWidth() - narrower); };
            QVERIFY(screen.contains(w.frameGeometry()) && w.height() == height);
            QVERIFY2(need(0) <= height && need(1) > height, qPrintable(QString::number(height)));
            // Placed once, its placer goes: a window placed again before it shows again gets a live one.
            QTRY_VERIFY(!w.findChild<QObject*>("zepFramePlacer"));
        }
    }

    // Both answers store the position, and the next question opens there.
    void yesNoAnswersAndPosition()
    {
        Env e(tmp.path() + '/');
        e.yn = {"one", "two", "three", {}, false};
        onModal("frmYesNoDLOG", [&](QWidget* w) {
            QVERIFY(child(w, "OKButton")->toolTip() == QStringLiteral("Accept values") && looksAsKept(w, QStringLiteral("yes-no")));
            w->move(40, 25);
            click(w, "OKButton");
        });
        showYesNo(e.env);
        QVERIFY(e.yn.YNAnswer);
        QCOMPARE(std::pair(e.positions.TYesNo, e.positions.LYesNo),
                 std::pair(pixelsToTwips(25, nullptr, true), pixelsToTwips(40, nullptr, false)));

        QPoint opened;
        e.prefs.DoTips = false;
        onModal("frmYesNoDLOG", [&](QWidget* w) {
            opened = w->pos();
            QVERIFY(child(w, "OKButton")->toolTip().isEmpty());
            w->move(70, 10);
            click(w, "CancelButton");
        });
        showYesNo(e.env);
        QVERIFY(!e.yn.YNAnswer && opened == QPoint(40, 25) && e.positions.TYesNo == pixelsToTwips(10, nullptr, true));
        for (const bool yes : {true, false}) { // the program's own questions (Quit, replace a file)
            onNextModal([&](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(yes ? QMessageBox::Yes : QMessageBox::No)->click(); });
            QCOMPARE(MessageBoxSink().question("Are you sure you want to Quit?", "Quit"), yes);
        }
    }

    void fourNumbers()
    {
        Env e(tmp.path() + '/');
        e.fn = {"Enter Plot Limits", "Enter Max ISO Value for Plot", "Enter Min ISO Value for Plot", "", "",
                5, 0.5f, 3.25f, 0, false};
        onModal("frm4NumsDLOG", [&](QWidget* w) {
            QVERIFY(looksAsKept(w, QStringLiteral("four-numbers")));
            QCOMPARE((QStringList{text(w, "txtNA1"), text(w, "txtNA2")}), (QStringList{" 5", " .5"}));
            QVERIFY(child(w, "txtNA3")->isHidden() && child(w, "txtNq3")->isHidden() && child<QLineEdit>(w, "txtNq1")->cursorPosition() == 0);
            type(w, "txtNA2", "");
            click(w, "OKButton");
            QVERIFY(w->isVisible());
            type(w, "txtNA1", "12.5");
            type(w, "txtNA2", "7abc");
            click(w, "OKButton"); // letters are refused, naming the box; nothing is taken
            QVERIFY(w->isVisible() && e.fn.NA1 == 5);
            type(w, "txtNA2", "17");
            click(w, "OKButton"); // the caller's refusal keeps it open too
            QVERIFY(w->isVisible() && e.fn.NA1 == 5);
            type(w, "txtNA2", "7");
            click(w, "OKButton");
        });
        e.fn.refusal = [](const std::array<float, 4>& a) { return a[1] > a[0] ? QStringLiteral("reversed") : QString(); };
        showFourNums(e.env);
        QCOMPARE(e.sink.messages, (QStringList{"Please supply values for all fields",
                                               "The box \"Enter Min ISO Value for Plot\" holds \"7abc\", which is not "
                                               "a number. Please type a number.", "reversed"}));
        QVERIFY(e.fn.NAnswer && !e.fn.refusal && std::tuple(e.fn.NA1, e.fn.NA2, e.fn.NA3) == std::tuple(12.5f, 7.0f, 3.25f));
        // Cancel: nothing taken, not even the position
        e.fn.title.clear();
        QString title;
        onModal("frm4NumsDLOG", [&](QWidget* w) {
            title = w->windowTitle();
            type(w, "txtNA1", "99");
            w->move(60, 60);
            click(w, "CancelButton");
        });
        showFourNums(e.env);
        QVERIFY(title == QStringLiteral("User Prompt") && !e.fn.NAnswer && e.fn.NA1 == 12.5f);
        QCOMPARE(e.positions.T4Num, 0.0f);
    }

    // The information window leads to the preferences, whose OK stores them and writes the file; both keep places.
    void aboutAndPreferencesAccepted()
    {
        QTemporaryDir work;
        Env e(work.path() + '/');
        e.positions.TPrefs = 720, e.prefs.CutRobust = true;
        onModal("frmAboutDLOG", [&](QWidget* w) {
            QVERIFY(looksAsKept(w, QStringLiteral("about")));
            // Its stone, seen from above, is an octagon: the same turned a quarter.
            const QImage gem = child<QLabel>(w, "picIcon")->pixmap().toImage();
            int off = 0;
            for (int y = 0; y < gem.height(); ++y)
                for (int x = 0; x < gem.width(); ++x)
                    off += std::abs(qGray(gem.pixel(x, y)) - qGray(gem.pixel(gem.width() - 1 - y, x))) > 40;
            QVERIFY2(!gem.isNull() && off < gem.width(), qPrintable(QString::number(off)));
            onModal("frmPrefsDLOG", [&](QWidget* p) {
                QVERIFY(looksAsKept(p, QStringLiteral("preferences")) && text(p, "txtATol") == QStringLiteral(" .05")
                        && child<QLabel>(p, "lblATol")->buddy() == child(p, "txtATol")); // each box named by its caption
                type(p, "txtATol", "0.1");
                type(p, "txtThreads", "2");
                QCOMPARE(text(p, "txtCutTol"), QStringLiteral(" .1"));
                type(p, "txtCutTol", "0.2");
                child<QCheckBox>(p, "chkCutRobust")->setChecked(false);
                child<QCheckBox>(p, "chkTips")->setChecked(false);
                click(p, "OKButton");
            });
            click(w, "btnCust");
            w->move(30, 45);
            click(w, "cmdOK");
        });
        showAbout(e.env, [&e](QWidget* about) { showPreferences(e.env, about); });
        QVERIFY(e.sink.messages.isEmpty() && std::pair(e.prefs.ATol, e.prefs.Threads) == std::pair(0.1f, int16_t(2)));
        QVERIFY(!e.prefs.DoTips && e.prefs.CutTol == 0.2f && !e.prefs.CutRobust && readFileBytes(work.filePath("ZEPPrefs.txt")).contains("\"ATol\",.1\r\n"));
        QCOMPARE(std::pair(e.positions.TPrefs, e.positions.TAbout), std::pair(720.0f, pixelsToTwips(45, nullptr, true)));
    }

    // A failing OK names the box and keeps the dialog open; nothing changes until every box is fine. Cancel: nothing.
    void preferencesRefused()
    {
        QTemporaryDir work;
        Env e(work.path() + '/');
        onModal("frmPrefsDLOG", [&](QWidget* w) {
            const auto ok = [&](const char* box, const QString& value) {
                type(w, box, value);
                click(w, "OKButton");
                QVERIFY(w->isVisible());
            };
            type(w, "txtDP", "^V");
            child<QCheckBox>(w, "chkDoBat")->setChecked(true);
            ok("txtATol", "abc");
            ok("txtATol", "0"); // a tolerance of 0 never ends a search
            type(w, "txtATol", "2");
            ok("txtTout", "3601"); // an hour at most
            type(w, "txtTout", "20");
            ok("txtThreads", "2.5");
            type(w, "txtThreads", "2");
            for (const char* t : {"abc", "-0.1", "1.5", "nan"})
                ok("txtCutTol", t);
            type(w, "txtCutTol", "0.3");
            ok("txtDP", "say \"hi\"");
            ok("txtDP", "%{NOSUCHKEY}");
            w->move(50, 50);
            click(w, "CancelButton");
        });
        showPreferences(e.env);
        QStringList m = e.sink.messages;
        QCOMPARE(m.size(), 10);
        for (int k = 4; k < 8; ++k)
            QVERIFY2(m[k].startsWith("The box \"Cutting tolerance\" holds") && m[k].endsWith("from 0 to 1."), qPrintable(m[k]));
        m.remove(4, 4);
        QCOMPARE(m[0], QStringLiteral("The box \"Angle Tolerance\" holds \"abc\", which is not a number. "
                                      "Please type a number above 0 and at most 10."));
        QCOMPARE(m[1], QStringLiteral("The box \"Angle Tolerance\" holds 0, which it cannot take. "
                                      "Please type a number above 0 and at most 10."));
        QCOMPARE(m[2], QStringLiteral("The box \"time-out interval\" holds 3601, which it cannot take. Please type a number above 0 and at most 3600."));
        QVERIFY(m[3].contains("\"Ray tracer threads\" needs a whole number from 0 to 256"));
        QCOMPARE(m[4], kvNotStorableMessage("The keystroke sequence"));
        QVERIFY(m[5].startsWith("The keystroke sequence %{NOSUCHKEY} cannot be used"));
        QCOMPARE(std::tuple(e.prefs.ATol, e.prefs.Tout, e.prefs.Threads, e.prefs.CutTol),
                 std::tuple(0.05f, 15.0f, int16_t(0), 0.1f));
        QCOMPARE(e.prefs.DosPaste, QStringLiteral("% EP"));
        QVERIFY(!e.prefs.DoBat && !QFile::exists(work.filePath("ZEPPrefs.txt")) && e.positions.TPrefs == 0.0f);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
