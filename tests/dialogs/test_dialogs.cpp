// The shared dialogs with real widgets: file chooser, yes/no, four numbers,
// information window and preferences.
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "dialogs/FileChooser.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/WindowSupport.h"
#include "settings/PreferencesDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

using namespace zep;

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

struct Step {
    bool seen = false;     // the dialog came up and the action ran
    bool leftOpen = false; // the action did not close it (it was closed for it)
};

// Runs `act` on the modal window `name` once the next modal loop shows it.
// A window the action leaves open is closed so that a failing test ends.
std::shared_ptr<Step> onModal(const char* name, std::function<void(QWidget*)> act)
{
    auto step = std::make_shared<Step>();
    QTimer::singleShot(0, qApp, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w->objectName() != QLatin1String(name))
            return;
        step->seen = true;
        act(w);
        if (w->isVisible()) {
            step->leftOpen = true;
            w->close();
        }
    });
    return step;
}

void click(QWidget* w, const char* button) { w->findChild<QPushButton*>(QLatin1String(button))->click(); }
QLineEdit* box(QWidget* w, const char* name) { return w->findChild<QLineEdit*>(QLatin1String(name)); }
QListWidget* list(QWidget* w, const char* name) { return w->findChild<QListWidget*>(QLatin1String(name)); }

QStringList texts(QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

void selectEntry(QListWidget* l, const QString& text)
{
    l->setCurrentItem(l->findItems(text, Qt::MatchExactly).value(0));
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString at(const QString& name) const { return QDir::toNativeSeparators(tmp.filePath(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        writeFileSafely(at("Gemray"), "program");
        writeFileSafely(at("a.TXT"), "a");
        writeFileSafely(at("b.txt"), "b");
        writeFileSafely(at("c.bmp"), "c");
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("inner")));
        writeFileSafely(at("inner/d.txt"), "d");
    }

    // (What the dialogs below list shows the common patterns.)
    void patterns()
    {
        QVERIFY(fileMatchesPattern("gemray.exe", "GEMRAY.EXE"));
        QVERIFY(!fileMatchesPattern("Gemray.sh", "GEMRAY.EXE"));
        QVERIFY(!fileMatchesPattern("notes.txt.bak", "*.TXT"));
        QVERIFY(!fileMatchesPattern("TXT", "*.TXT"));
        QVERIFY(fileMatchesPattern("m1.BMP", "*.txt;*.bmp"));
    }

    // Pick mode: nothing highlighted is refused; folders are entered by Enter,
    // by leaving the folder list with one highlighted, and left by "..";
    // the next use opens where the first was accepted.
    void pickAndNavigate()
    {
        Env e(tmp.path() + '/');
        e.gf = {true, "*.TXT", "Load Optimization Targets", "Pick one", "Navigate.", false, {}, tmp.path(), {}};
        QStringList shown, inner, back;
        bool nameHidden = false, stayedOpen = false;
        auto step = onModal("frmGenericFile", [&](QWidget* w) {
            shown = texts(list(w, "fileList"));
            nameHidden = box(w, "txtFileName")->isHidden();
            click(w, "OKButton");
            stayedOpen = w->isVisible();
            QListWidget* dirs = list(w, "dirList");
            selectEntry(dirs, "inner");
            QTest::keyClick(dirs, Qt::Key_Return);
            inner = texts(list(w, "fileList"));
            selectEntry(dirs, "..");
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(dirs, &out);
            back = texts(list(w, "fileList"));
            selectEntry(dirs, "inner");
            QTest::keyClick(dirs, Qt::Key_Return);
            selectEntry(list(w, "fileList"), "d.txt");
            w->move(20, 35);
            click(w, "OKButton");
        });
        showFileChooser(e.env);
        QVERIFY(step->seen && !step->leftOpen);
        QCOMPARE(shown, (QStringList{"a.TXT", "b.txt"}));
        QVERIFY(nameHidden);
        QVERIFY(stayedOpen);
        QCOMPARE(e.sink.messages, QStringList{"Please select a file first"});
        QCOMPARE(inner, QStringList{"d.txt"});
        QCOMPARE(back, (QStringList{"a.TXT", "b.txt"}));
        QVERIFY(e.gf.GFOK);
        QCOMPARE(e.gf.GFDir, at("inner"));
        QCOMPARE(e.gf.GFFile, QStringLiteral("d.txt"));
        QVERIFY(e.gf.GFDrv.isEmpty());
        QCOMPARE(e.positions.TGF, pixelsToTwips(35, nullptr, true));

        // second use: opens in "inner"; Cancel clears GFOK and keeps GFDir
        QStringList again;
        step = onModal("frmGenericFile", [&](QWidget* w) {
            again = texts(list(w, "fileList"));
            click(w, "CancelButton");
        });
        showFileChooser(e.env);
        QVERIFY(!step->leftOpen);
        QCOMPARE(again, QStringList{"d.txt"});
        QVERIFY(!e.gf.GFOK);
        QCOMPARE(e.gf.GFDir, at("inner"));
    }

    void rememberedFolderThatIsGone()
    {
        Env e(tmp.path() + '/');
        e.gf = {true, "GEMRAY.EXE", "Locate the Gemray Program", "", "", false, {}, at("gone"), {}};
        QStringList shown;
        auto step = onModal("frmGenericFile", [&](QWidget* w) {
            shown = texts(list(w, "fileList"));
            click(w, "CancelButton");
        });
        const QString before = QDir::currentPath();
        QDir::setCurrent(tmp.path());
        showFileChooser(e.env);
        QDir::setCurrent(before);
        QCOMPARE(e.sink.messages, QStringList{"Error  76 (Path not found) in GF_Form_Load routine"});
        QCOMPARE(shown, QStringList{"Gemray"}); // where ZEP runs
    }

    // Create mode: the file list cannot be picked from, an empty name is
    // refused, an existing name asks first and the file is left in place.
    void createAndOverwrite()
    {
        Env e(tmp.path() + '/');
        e.gf = {false, "*.TXT", "Save Optimization Targets", "", "", false, {}, tmp.path(), {}};
        QStringList question;
        bool pickable = true, openAfterEmpty = false, openAfterDecline = false;
        std::shared_ptr<Step> decline, accept;
        auto step = onModal("frmGenericFile", [&](QWidget* w) {
            QListWidget* files = list(w, "fileList");
            selectEntry(files, "b.txt");
            pickable = !files->selectedItems().isEmpty();
            click(w, "OKButton");
            openAfterEmpty = w->isVisible();
            QTest::keyClicks(box(w, "txtFileName"), "b.txt");
            decline = onModal("frmYesNoDLOG", [&](QWidget* yn) {
                question = {box(yn, "txtQ1")->text(), box(yn, "txtQ2")->text(), box(yn, "txtQ3")->text()};
                click(yn, "CancelButton");
            });
            click(w, "OKButton");
            openAfterDecline = w->isVisible();
            accept = onModal("frmYesNoDLOG", [](QWidget* yn) { click(yn, "OKButton"); });
            click(w, "OKButton");
        });
        showFileChooser(e.env);
        QVERIFY(step->seen && !step->leftOpen);
        QVERIFY(!pickable);
        QVERIFY(openAfterEmpty && openAfterDecline);
        QVERIFY(decline->seen && accept->seen);
        QCOMPARE(e.sink.messages, QStringList{"Please enter a file name first"});
        QCOMPARE(question, (QStringList{"The specified file " + at("b.txt"), "already exists!",
                                        "Click Ok to overwrite, Cancel to abort"}));
        QVERIFY(e.gf.GFOK);
        QCOMPARE(e.gf.GFFile, QStringLiteral("b.txt"));
        QVERIFY(fileExists(at("b.txt")));
        QCOMPARE(readFileBytes(at("b.txt")), QByteArray("b")); // the caller's write replaces it
    }

    // A typed or pasted path and Enter go to its folder (a file's name is
    // highlighted there) and press no button; a path to nothing is refused.
    void typedFolderPath()
    {
        Env e(tmp.path() + '/');
        e.gf = {true, "*.TXT", "Load Optimization Targets", "", "", false, {}, at("inner"), {}};
        QStringList afterFolder;
        QString highlighted;
        bool stayedOpen = false;
        auto step = onModal("frmGenericFile", [&](QWidget* w) {
            QLineEdit* path = box(w, "txtDirPath");
            QCOMPARE(path->text(), at("inner"));
            path->setText("  \"" + tmp.path() + "\" ");
            QTest::keyClick(path, Qt::Key_Return);
            afterFolder = texts(list(w, "fileList"));
            stayedOpen = w->isVisible();
            path->setText("../nowhere");
            QTest::keyClick(path, Qt::Key_Return);
            path->setText("inner/d.txt");
            QTest::keyClick(path, Qt::Key_Return);
            highlighted = list(w, "fileList")->currentItem()->text();
            click(w, "OKButton");
        });
        showFileChooser(e.env);
        QVERIFY(!step->leftOpen && stayedOpen);
        QCOMPARE(afterFolder, (QStringList{"a.TXT", "b.txt"}));
        QCOMPARE(e.sink.messages, QStringList{"There is no folder or file ../nowhere"});
        QCOMPARE(highlighted, QStringLiteral("d.txt"));
        QCOMPARE(e.gf.GFDir, at("inner"));
        QCOMPARE(e.gf.GFFile, QStringLiteral("d.txt"));
    }

    // A place saved on a larger or another screen opens on this one.
    void restoredWindowStaysOnScreen()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const float far : {1e7f, -1e7f}) {
            QWidget w;
            w.resize(300, 200);
            placeWindow(&w, far, far);
            w.show();
            QVERIFY(screen.contains(w.frameGeometry()));
        }
    }

    // Both answers store the position, and the next question opens there.
    void yesNoAnswersAndPosition()
    {
        Env e(tmp.path() + '/');
        e.yn = {"one", "two", "three", false};
        QString tip, line3;
        auto step = onModal("frmYesNoDLOG", [&](QWidget* w) {
            tip = w->findChild<QPushButton*>("OKButton")->toolTip();
            line3 = box(w, "txtQ3")->text();
            w->move(40, 25);
            click(w, "OKButton");
        });
        showYesNo(e.env);
        QVERIFY(!step->leftOpen);
        QVERIFY(e.yn.YNAnswer);
        QCOMPARE(tip, QStringLiteral("Accept values"));
        QCOMPARE(line3, QStringLiteral("three"));
        QCOMPARE(e.positions.TYesNo, pixelsToTwips(25, nullptr, true));
        QCOMPARE(e.positions.LYesNo, pixelsToTwips(40, nullptr, false));

        QPoint opened;
        e.prefs.DoTips = false;
        step = onModal("frmYesNoDLOG", [&](QWidget* w) {
            opened = w->pos();
            tip = w->findChild<QPushButton*>("OKButton")->toolTip();
            w->move(70, 10);
            click(w, "CancelButton");
        });
        showYesNo(e.env);
        QVERIFY(!e.yn.YNAnswer);
        QCOMPARE(opened, QPoint(40, 25));
        QVERIFY(tip.isEmpty());
        QCOMPARE(e.positions.TYesNo, pixelsToTwips(10, nullptr, true));
    }

    void fourNumbers()
    {
        Env e(tmp.path() + '/');
        e.fn = {"Enter Plot Limits", "Enter Max ISO Value for Plot", "Enter Min ISO Value for Plot", "", "",
                5, 0.5f, 3.25f, 0, false};
        QString title, shown1, shown2;
        bool row3Hidden = false, openAfterEmpty = false;
        auto step = onModal("frm4NumsDLOG", [&](QWidget* w) {
            title = w->windowTitle();
            shown1 = box(w, "txtNA1")->text();
            shown2 = box(w, "txtNA2")->text();
            row3Hidden = box(w, "txtNA3")->isHidden() && box(w, "txtNq3")->isHidden();
            box(w, "txtNA2")->clear();
            click(w, "OKButton");
            openAfterEmpty = w->isVisible();
            box(w, "txtNA1")->setText("12.5");
            QTest::keyClicks(box(w, "txtNA2"), "7abc");
            click(w, "OKButton");
        });
        showFourNums(e.env);
        QVERIFY(!step->leftOpen);
        QCOMPARE(title, QStringLiteral("Enter Plot Limits"));
        QCOMPARE(shown1, QStringLiteral(" 5"));
        QCOMPARE(shown2, QStringLiteral(" .5"));
        QVERIFY(row3Hidden && openAfterEmpty);
        QCOMPARE(e.sink.messages, QStringList{"Please supply values for all fields"});
        QVERIFY(e.fn.NAnswer);
        QCOMPARE(e.fn.NA1, 12.5f);
        QCOMPARE(e.fn.NA2, 7.0f);
        QCOMPARE(e.fn.NA3, 3.25f);

        // Cancel: nothing taken, not even the position
        e.fn.title.clear();
        step = onModal("frm4NumsDLOG", [&](QWidget* w) {
            title = w->windowTitle();
            box(w, "txtNA1")->setText("99");
            w->move(60, 60);
            click(w, "CancelButton");
        });
        showFourNums(e.env);
        QCOMPARE(title, QStringLiteral("User Prompt"));
        QVERIFY(!e.fn.NAnswer);
        QCOMPARE(e.fn.NA1, 12.5f);
        QCOMPARE(e.positions.T4Num, 0.0f);
    }

    // The information window leads to the preferences and keeps its place.
    void about()
    {
        Env e(tmp.path() + '/');
        QString version, tip;
        std::shared_ptr<Step> prefs;
        auto step = onModal("frmAboutDLOG", [&](QWidget* w) {
            version = box(w, "txtVers")->text();
            tip = w->findChild<QWidget*>("picIcon")->toolTip();
            prefs = onModal("frmPrefsDLOG", [](QWidget* p) { click(p, "CancelButton"); });
            click(w, "btnCust");
            w->move(30, 45);
            click(w, "cmdOK");
        });
        showAbout(e.env, [&e](QWidget* about) { showPreferences(e.env, about); });
        QVERIFY(!step->leftOpen);
        QVERIFY(prefs->seen && !prefs->leftOpen);
        QCOMPARE(version, QStringLiteral("Version 1.00 17 September 2002"));
        QCOMPARE(tip, QStringLiteral("Don't let the #@$&! grind you down"));
        QCOMPARE(e.positions.TAbout, pixelsToTwips(45, nullptr, true));
    }

    void preferencesAccepted()
    {
        QTemporaryDir work;
        Env e(work.path() + '/');
        e.positions.TPrefs = 720;
        QString atolShown, tip;
        auto step = onModal("frmPrefsDLOG", [&](QWidget* w) {
            atolShown = box(w, "txtATol")->text();
            tip = w->findChild<QCheckBox*>("chkTips")->toolTip();
            box(w, "txtATol")->setText("0.1abc");
            box(w, "txtThreads")->setText("2.5");
            w->findChild<QCheckBox*>("chkTips")->setChecked(false);
            click(w, "OKButton");
        });
        showPreferences(e.env);
        QVERIFY(!step->leftOpen);
        QCOMPARE(atolShown, QStringLiteral(" .05"));
        QCOMPARE(tip, QStringLiteral("Click here to shut me up"));
        QVERIFY(e.sink.messages.isEmpty());
        QCOMPARE(e.prefs.ATol, 0.1f);
        QCOMPARE(e.prefs.Threads, int16_t(2));
        QVERIFY(!e.prefs.DoTips);
        QVERIFY(readFileBytes(work.filePath("ZEPPrefs.txt")).contains("\"ATol\",.1\r\n"));
        QCOMPARE(e.positions.TPrefs, 720.0f);
    }

    // A failing OK keeps the dialog open with what was taken before the
    // failure; Cancel takes nothing at all.
    void preferencesRefused()
    {
        QTemporaryDir work;
        Env e(work.path() + '/');
        bool openAfterTout = false, openAfterQuote = false;
        auto step = onModal("frmPrefsDLOG", [&](QWidget* w) {
            box(w, "txtATol")->setText("abc");
            box(w, "txtDP")->setText("^V");
            w->findChild<QCheckBox*>("chkDoBat")->setChecked(true);
            box(w, "txtTout")->setText("abc");
            click(w, "OKButton");
            openAfterTout = w->isVisible();
            box(w, "txtATol")->setText("2");
            box(w, "txtDP")->setText("say \"hi\"");
            w->findChild<QCheckBox*>("chkDoBat")->setChecked(false);
            click(w, "OKButton");
            openAfterQuote = w->isVisible();
            box(w, "txtDP")->setText("%{NOSUCHKEY}");
            click(w, "OKButton");
            openAfterQuote = openAfterQuote && w->isVisible();
            w->move(50, 50);
            click(w, "CancelButton");
        });
        showPreferences(e.env);
        QVERIFY(!step->leftOpen);
        QVERIFY(openAfterTout && openAfterQuote);
        QCOMPARE(e.sink.messages.mid(0, 2), (QStringList{"Error  13 (Type mismatch) in OKButton_Click routine",
                                                         kvNotStorableMessage("The keystroke sequence")}));
        QCOMPARE(e.sink.messages.size(), 3);
        QVERIFY(e.sink.messages[2].startsWith("The keystroke sequence %{NOSUCHKEY} cannot be used"));
        QCOMPARE(e.prefs.ATol, 2.0f);
        QCOMPARE(e.prefs.DosPaste, QStringLiteral("^V"));
        QVERIFY(e.prefs.DoBat);
        QCOMPARE(e.prefs.Tout, 15.0f);
        QVERIFY(!QFile::exists(work.filePath("ZEPPrefs.txt")));
        QCOMPARE(e.positions.TPrefs, 0.0f);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
