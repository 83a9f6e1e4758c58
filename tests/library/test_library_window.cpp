// The Design Library window: adding, ranking with zeptool's processes, filtering, sorting, paging, choosing.
#include "common/Messages.h"
#include "common/SharedState.h"
#include "library/LibraryWindow.h"
#include "optimize/OptimizationTargets.h"
#include "support/Layout.h"
#include "support/Look.h"
#include "support/Picture.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace zep;
using namespace zep::library;

class TestLibraryWindow : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    JobState job;
    OptimizationTargets targets = defaultTargets();
    RecordingSink messages;
    struct Chosen {
        QString path;
        float olPav = 0, olCrn = 0, stPav = 0, stCrn = 0, ri = 0;
    } chosen;

    LibraryWindowEnv env(const char* library = "lib.sqlite")
    {
        return {job, targets, messages, dir.filePath(library), QStringLiteral(ZEP_BIN_DIR),
                [this](const QString& p, float a, float b, float c, float d, float ri) {
                    chosen = {p, a, b, c, d, ri};
                    return QStringLiteral("Limits set: as derived");
                }};
    }
    std::unique_ptr<LibraryWindow> window(const char* library = "lib.sqlite")
    {
        return std::make_unique<LibraryWindow>(env(library));
    }
    static bool waitIdle(LibraryWindow& w)
    {
        QSignalSpy idle(&w, &LibraryWindow::idle);
        return !w.busy() || idle.wait(180000);
    }
    static QString cell(LibraryModel& m, int row, int column)
    {
        return m.data(m.index(row, column), Qt::DisplayRole).toString();
    }
    static QPushButton* button(LibraryWindow& w, const QString& caption)
    {
        for (QPushButton* b : w.findChildren<QPushButton*>())
            if (b->text() == caption)
                return b;
        return nullptr;
    }

private slots:
    void init() { zep::test::failOnLayoutWarnings(); }
    void initTestCase()
    {
        QDir().mkpath(dir.filePath("designs"));
        for (const char* n : {"SRB.gem", "Turkey.asc", "CubeIllusionTri.gem"})
            QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/") + n, dir.filePath(QStringLiteral("designs/") + n)));
        job.useMatRI = true;
        job.theMat = "Quartz";
    }

    // Add, rank, filter, sort and use, as a cutter does.
    void addRankAndUse()
    {
        job.theMat = "Diamond"; // the job's material when Rank is pressed is the one shown
        auto w = window();
        w->addFolder(dir.filePath("designs"));
        QVERIFY(waitIdle(*w) && w->statusText() == QStringLiteral("3 added, 0 known, 0 refused"));
        LibraryModel& m = w->model();
        QVERIFY(m.rowCount() == 3 && cell(m, 0, LibraryModel::MeritFunction).isEmpty());
        job.theMat = "Quartz";
        bool early = false; // each result shows as its job ends, before the ranking is over
        connect(&m, &QAbstractItemModel::modelReset, &m, [&] {
            early = early || (w->busy() && !cell(m, 0, LibraryModel::MeritFunction).isEmpty());
        });
        button(*w, "Rank")->click();
        QVERIFY(w->busy() && waitIdle(*w) && early && w->statusText() == QStringLiteral("3 of 3 ranked, 0 failed"));
        // The window's targets, handed to the jobs as a file, are the job's: the default ranking finds all current.
        LibraryDb db(dir.filePath("lib.sqlite"));
        Statement claims = db.prepare("SELECT COUNT(*) FROM claims"); // and no job is left claimed by this live window
        QVERIFY(missingDesigns(db, resultKey("Quartz", {}, false)).empty() && claims.step() && claims.integer(0) == 0);
        // Best first, each row with its result and its picture at the result's angles.
        QCOMPARE((QStringList{cell(m, 0, LibraryModel::Name), cell(m, 0, LibraryModel::MeritFunction), cell(m, 0, LibraryModel::Pavilion),
                              cell(m, 0, LibraryModel::Tiers)}),
                 (QStringList{"Standard Round Brilliant\nSRB.gem", "143.352", "45.864", "2 at 41.50, B at 28.00"}));
        // The tip names the design's file; over the tiers it holds them whole (a long list is cut in its cell).
        const auto tip = [&](int column) { return m.data(m.index(0, column), Qt::ToolTipRole).toString(); };
        QVERIFY(tip(LibraryModel::Crown) == m.row(0).path && m.row(0).path.endsWith("/SRB.gem") && tip(LibraryModel::Tiers) == cell(m, 0, LibraryModel::Tiers));
        for (int r = 0; r < 3; ++r)
            QCOMPARE(storedPicture(db, m.row(r).id).size(), PictureSide * PictureSide);
        QVERIFY(!m.data(m.index(0, LibraryModel::Picture), Qt::DecorationRole).value<QPixmap>().isNull());
        for (const int other : {LibraryModel::Name, LibraryModel::Facets, LibraryModel::Tiers}) // the picture once a row
            QVERIFY(!m.data(m.index(0, other), Qt::DecorationRole).isValid());
        m.sort(LibraryModel::Facets, Qt::AscendingOrder);
        QCOMPARE(std::pair(m.row(0).facets, m.row(2).facets), std::pair(51, 74));
        m.sort(-1, Qt::AscendingOrder); // a header without a sort column: best first again
        QCOMPARE(cell(m, 0, LibraryModel::MeritFunction), QStringLiteral("143.352"));
        w->findChild<QLineEdit*>("txtFilter")->setText("TURKEY");
        QTRY_COMPARE(m.rowCount(), 1);
        w->findChild<QTableView*>()->selectRow(0);
        button(*w, "Use This Design")->click();
        QVERIFY(chosen.path == dir.filePath("designs/Turkey.asc") && std::pair(chosen.olPav, chosen.olCrn) == std::pair(40.5f, 40.0f));
        QCOMPARE(std::pair(chosen.stPav, chosen.stCrn), std::pair(m.row(0).finalPav, m.row(0).finalCrn));
    }

    // A ranking cancelled at once ends its jobs and stays usable; a job without a table's material is not ranked.
    void cancelAndRefuse()
    {
        job.theMat = "Corundum";
        auto w = window();
        button(*w, "Rank")->click();
        button(*w, "Cancel")->click();
        QVERIFY(waitIdle(*w) && button(*w, "Rank")->isEnabled());
        job.useMatRI = false;
        job.useSpecRI = true;
        button(*w, "Rank")->click();
        QVERIFY(!w->busy() && messages.messages.last() == QStringLiteral("Please choose a material of the table to rank the designs in")
                && w->findChild<QLabel*>("lblMaterial")->text() == QStringLiteral("No material chosen"));
        job.useMatRI = true;
        job.useSpecRI = false;
        targets.doISO = targets.doIll = false;
        button(*w, "Rank")->click();
        QVERIFY(!w->busy() && messages.messages.last() == QStringLiteral("Please enter at least one optimization parameter"));
        using T = OptimizationTargets;
        for (bool T::*alone : {&T::doTilt, &T::doSparkle, &T::doFire}) {
            targets.doTilt = targets.doSparkle = targets.doFire = false;
            targets.*alone = true; // one measure alone is enough
            button(*w, "Rank")->click();
            QVERIFY(w->busy() && button(*w, "Cancel")->isEnabled() && !button(*w, "Rank")->isEnabled() && w->statusText() == "Ranking...");
            button(*w, "Cancel")->click();
            QVERIFY(waitIdle(*w));
        }
        targets = defaultTargets();
        // Closing the window, as a cutter does, stops an adding at the file it is at; it opens again at once.
        QDir().mkpath(dir.filePath("many"));
        for (int i = 0; i < 6000; ++i)
            QFile::copy(dir.filePath("designs/SRB.gem"), dir.filePath(QStringLiteral("many/%1.gem").arg(i)));
        QPointer<LibraryWindow> shown = showLibraryWindow(env(), nullptr);
        shown->addFolder(dir.filePath("many"));
        QTRY_VERIFY(shown->statusText().contains("added"));
        QVERIFY(shown->busy());
        shown->close();
        QTRY_VERIFY(shown.isNull());
        LibraryDb db(dir.filePath("lib.sqlite"));
        Statement paths = db.prepare("SELECT COUNT(*) FROM paths");
        QVERIFY(paths.step() && paths.integer(0) < 3000);
        shown = showLibraryWindow(env(), nullptr);
        QVERIFY(shown && shown->isVisible() && !shown->busy());
        delete shown;
    }

    // Rows as a cutter reads them: designs of one name told apart by their files, a gear counted either way
    // shown as its teeth, a picture, the count; the job's material followed; Use This Design says what it set.
    void rowsAsACutterReadsThem()
    {
        QDir().mkpath(dir.filePath("two"));
        for (const char* n : {"Turkey.asc", "Turkey.gem", "SRB.gem"})
            QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/") + n, dir.filePath(QStringLiteral("two/") + n)));
        job.theMat = "Quartz";
        auto w = window("rows.sqlite");
        auto* count = w->findChild<QLabel*>("lblCount");
        QCOMPARE(count->text(), QStringLiteral("0 designs"));
        w->addFolder(dir.filePath("two"));
        QVERIFY(waitIdle(*w) && count->text() == QStringLiteral("3 designs"));
        const auto* bar = w->findChild<QProgressBar*>();
        QVERIFY(bar->value() == 3 && bar->maximum() == 3); // the adding counted file by file
        LibraryModel& m = w->model();
        m.sort(LibraryModel::Name, Qt::AscendingOrder);
        const QStringList names{cell(m, 0, LibraryModel::Name), cell(m, 1, LibraryModel::Name),
                                cell(m, 2, LibraryModel::Name)};
        QCOMPARE(names.mid(0, 2).replaceInStrings(".gem", ".asc"), QStringList(2, m.row(0).name + "\nTurkey.asc"));
        QVERIFY(names[0] != names[1] && names[2] == QStringLiteral("Standard Round Brilliant\nSRB.gem")); // told apart by their files
        // Shown at the window's own size, each name and its file read whole: the figures leave the name its room.
        auto* table = w->findChild<QTableView*>();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        for (const QString& name : names)
            for (const QString& line : name.split(u'\n'))
                QVERIFY(table->fontMetrics().horizontalAdvance(line) + 8 <= table->columnWidth(LibraryModel::Name));
        QVERIFY(zep::test::misplaced(w.get()).isEmpty() && zep::test::looksAsKept(w.get(), QStringLiteral("library")));
        for (int c = LibraryModel::Gear; c <= LibraryModel::Crown; ++c) // and every caption its own
            QVERIFY(table->horizontalHeader()->fontMetrics().horizontalAdvance(m.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString())
                    < table->columnWidth(c));
        QCOMPARE(m.row(1).gear, -96); // the file counts its index the other way
        QCOMPARE(cell(m, 1, LibraryModel::Gear), QStringLiteral("96"));
        const QImage picture = m.data(m.index(1, LibraryModel::Picture), Qt::DecorationRole).value<QPixmap>().toImage();
        QVERIFY(picture.width() >= 96 && picture.height() == picture.width()); // and drawn whole at that size
        QVERIFY(table->iconSize().width() >= picture.width()
                && table->columnWidth(LibraryModel::Picture) >= picture.width() + 8);
        int dark = 0, light = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                (qGray(picture.pixel(x, y)) < 110 ? dark : qGray(picture.pixel(x, y)) > 235 ? light : x)++;
        const int all = picture.width() * picture.height();
        QVERIFY2(dark > all / 50 && light > all / 2, qPrintable(QStringLiteral("%1 dark, %2 light").arg(dark).arg(light)));
        QCOMPARE(qGray(picture.pixel(0, 0)), 255);
        // drawn once, and the same when the row is shown again
        QCOMPARE(m.data(m.index(1, LibraryModel::Picture), Qt::DecorationRole).value<QPixmap>().toImage(), picture);
        w->findChild<QLineEdit*>("txtFilter")->setText("turkey");
        QTRY_COMPARE(count->text(), QStringLiteral("2 of 3 designs"));
        auto* clear = w->findChild<QLineEdit*>("txtFilter")->findChild<QToolButton*>(); // the filter's own clear button
        QVERIFY(clear != nullptr);
        clear->click();
        QTRY_COMPARE(count->text(), QStringLiteral("3 designs"));
        auto* material = w->findChild<QLabel*>("lblMaterial");
        QVERIFY(material->text().startsWith("Quartz"));
        // Two garnets of one index and dispersion weigh apart: each keeps its own results.
        for (const char* garnet : {"Almandine_Garnet", "Grossular_Garnet"}) {
            job.theMat = garnet;
            w->jobChanged();
        }
        QCOMPARE(m.filter().key->material, QStringLiteral("Grossular_Garnet"));
        job.theMat = "Diamond";
        w->jobChanged();
        QVERIFY(material->text().startsWith("Diamond") && m.filter().key->material == QStringLiteral("Diamond"));
        table->selectRow(0);
        button(*w, "Use This Design")->click();
        QCOMPARE(chosen.ri, 1.76f);
        QCOMPARE(w->statusText(), m.row(0).name + QStringLiteral(" is the job's design. Limits set: as derived"));
        w->jobChanged(); // the job changed, but not its material or targets: the chosen row stays chosen
        QVERIFY(table->selectionModel()->isRowSelected(0));
    }

    // A rough typed in: Weight and Yield appear and sort in SQL as their figures; a box without a size
    // hides them and is named; a click shows the stone's sizes. Then rows read a page at a time.
    void roughColumnsAndPages()
    {
        job.theMat = "Quartz";
        auto w = window();
        if (w->model().total() == 0) {
            w->addFolder(dir.filePath("designs"));
            QVERIFY(waitIdle(*w));
        }
        {
            // Results at the designs' own angles where the ranking left none.
            LibraryDb db(dir.filePath("lib.sqlite"));
            const ResultKey key = resultKey("Quartz", {}, false);
            for (const qint64 id : missingDesigns(db, key)) {
                const DesignFacts f = designFacts(db, id);
                StoredResult r;
                r.key = key;
                r.startPav = r.finalPav = float(f.pav);
                r.startCrn = r.finalCrn = float(f.crn);
                r.startMf = r.finalMf = 100 + float(id);
                r.proportions = f.proportions;
                QVERIFY(storeResult(db, id, r));
            }
            // A result reads back as it was kept (one of an older ray tracer, which no list shows).
            ResultKey older = key;
            older.tracer = "0";
            const qint64 id = missingDesigns(db, older).at(0);
            StoredResult r;
            r.key = older;
            r.startPav = 40.5f, r.finalPav = 41.25f, r.startCrn = 30, r.finalCrn = 33.5f;
            r.startMf = 50, r.finalMf = 61.5f, r.evaluations = 17, r.seconds = 2.5;
            r.date = "2026-01-01T00:00:00Z";
            QVERIFY(storeResult(db, id, r));
            std::vector<StoredResult> all = designResults(db, id);
            const auto back = std::find_if(all.begin(), all.end(), [](const StoredResult& b) { return b.key.tracer == "0"; });
            QVERIFY(back != all.end() && back->finalMf == r.finalMf && back->finalPav == r.finalPav && back->finalCrn == r.finalCrn);
            QVERIFY(back->startMf == r.startMf && back->startPav == r.startPav && back->startCrn == r.startCrn);
            QVERIFY(back->evaluations == r.evaluations && back->seconds == r.seconds && back->date == r.date);
        }
        LibraryModel& m = w->model();
        m.reload();
        auto* table = w->findChild<QTableView*>();
        QVERIFY(table->isColumnHidden(LibraryModel::Weight) && table->isColumnHidden(LibraryModel::Yield));
        const auto box = [&](int i) { return w->findChild<QLineEdit*>(QStringLiteral("txtRough%1").arg(i)); };
        for (QLabel* l : w->findChildren<QLabel*>()) // the caption labels the first box (a screen reader reads it there)
            QVERIFY(l->text() != "Rough (mm)" || l->buddy() == box(1));
        box(1)->setText("14");
        box(2)->setText("4"); // a flat rough: its thin side decides, as the weights' order must show
        QVERIFY(table->isColumnHidden(LibraryModel::Weight)); // not all three yet
        box(3)->setText("14");
        QVERIFY(!table->isColumnHidden(LibraryModel::Weight) && !table->isColumnHidden(LibraryModel::Yield));
        const auto figure = [&](int row, int column) { return cell(m, row, column).toDouble(); };
        for (const auto& [column, order] : {std::pair{LibraryModel::Weight, Qt::DescendingOrder},
                                            {LibraryModel::Yield, Qt::AscendingOrder}}) {
            m.sort(column, order);
            QCOMPARE(m.rowCount(), 3);
            for (int r = 0; r < 3; ++r) {
                const double here = figure(r, column), before = r ? figure(r - 1, column) : here;
                QVERIFY(here > 0 && (order == Qt::DescendingOrder ? before >= here : before <= here));
            }
        }
        table->sortByColumn(LibraryModel::Weight, Qt::DescendingOrder); // as a click on its header
        QVERIFY(figure(0, LibraryModel::Weight) >= figure(1, LibraryModel::Weight));
        table->selectRow(1);
        QVERIFY2(w->statusText().contains(" mm, ") && w->statusText().endsWith(" % of the rough"), qPrintable(w->statusText()));
        QVERIFY(w->statusText().contains(cell(m, 1, LibraryModel::Yield)));
        w->show(); // its look: the weight and yield columns wide enough for their figures
        zep::test::picture(w.get(), "design-library-rough.png");
        for (const char* bad : {"abc", "0", "1001", "nan"}) {
            box(2)->setText(bad);
            QVERIFY(table->isColumnHidden(LibraryModel::Weight));
            QVERIFY2(w->statusText().contains("Rough (mm) 2"), qPrintable(w->statusText()));
        }
        box(2)->setText("4");
        QVERIFY(!table->isColumnHidden(LibraryModel::Yield));
        // Rows are read a page at a time; pictures only for rows asked for.
        w.reset();
        LibraryDb(dir.filePath("lib.sqlite"))
            .exec("WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k+1 FROM n WHERE k<447) INSERT INTO designs(hash,"
                  "format,name,footnotes,gear,symmetry,mirror,facets,tiers,ri,pav,crn,lw,added) SELECT 'copy'||k,"
                  "format,name||k,footnotes,gear,symmetry,mirror,facets,tiers,ri,pav,crn,lw,added FROM n, designs"
                  " WHERE designs.id=1");
        w = window();
        LibraryModel& paged = w->model();
        QVERIFY(std::pair(paged.total(), paged.rowCount()) == std::pair(450, LibraryModel::Page) && paged.canFetchMore({}));
        QAbstractItemModelTester checked(&paged, QAbstractItemModelTester::FailureReportingMode::QtTest); // fetches too
        paged.fetchMore({});
        paged.fetchMore({});
        QVERIFY(paged.rowCount() == 450 && !paged.canFetchMore({}));
        // Designs removed meanwhile (library remove): the window reads what is left and asks no more than there is.
        w = window();
        QCOMPARE(w->model().rowCount(), LibraryModel::Page);
        LibraryDb(dir.filePath("lib.sqlite")).exec("DELETE FROM designs WHERE hash LIKE 'copy%'");
        w->model().fetchMore({});
        QVERIFY(w->model().rowCount() == LibraryModel::Page && !w->model().canFetchMore({}));
    }
};

QTEST_MAIN(TestLibraryWindow)
#include "test_library_window.moc"
