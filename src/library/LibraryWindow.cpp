#include "library/LibraryWindow.h"

#include "common/NumText.h"
#include "common/SharedState.h"
#include "common/ZepError.h"
#include "design/Materials.h"
#include "recut/Proportions.h"
#include "optimize/OptimizationTargets.h"
#include "optimize/TargetFile.h"
#include "recut/Diagram.h"
#include "recut/Recut.h"

#include <QApplication>
#include <QFileDialog>
#include <QStyle>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace zep::library {

namespace {

constexpr int Shown = 96; // the picture's side in the table

} // namespace

LibraryModel::LibraryModel(LibraryDb& db, QObject* parent) : QAbstractTableModel(parent), m_db(db)
{
    reload();
}

int LibraryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int LibraryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Columns; }

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const names[] = {"Picture", "Name",  "Gear",        "Facets",    "L/W",  "Final MF",
                                        "Pavilion", "Crown", "Weight (ct)", "Yield (%)", "Tiers"};
    return QString::fromLatin1(names[section]);
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const ListRow& r = m_rows[std::size_t(index.row())];
    if (role == Qt::DecorationRole && index.column() == Picture)
        return picture(r);
    if (role == Qt::ToolTipRole)
        return index.column() == Tiers && !tiersText(r).isEmpty() ? tiersText(r) : QDir::toNativeSeparators(r.path);
    if (role == Qt::TextAlignmentRole)
        return index.column() == Name ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    // Designs of one name are told apart by their files.
    case Name: return r.path.isEmpty() ? r.name : r.name + u'\n' + QFileInfo(r.path).fileName();
    // A negative gear counts its index the other way round; the gear a
    // cutter mounts is its number of teeth.
    case Gear: return std::abs(r.gear);
    case Facets: return r.facets;
    case LW: return QString::number(r.lw, 'f', 3);
    case MeritFunction: return r.hasResult ? NumText(r.finalMf).trimmed() : QString();
    case Pavilion: return r.hasResult ? Format(r.finalPav, u"#.000") : QString();
    case Crown: return r.hasResult ? Format(r.finalCrn, u"#.000") : QString();
    case Weight:
    case Yield: {
        const auto stone = m_filter.rough ? stoneInRough(r, *m_filter.rough) : std::nullopt;
        if (!stone)
            return QString();
        return index.column() == Weight ? Format(stone->weight, u"#.00") : Format(stone->fit.yieldPercent, u"##.00");
    }
    case Tiers: return tiersText(r);
    default: return {};
    }
}

QString LibraryModel::tiersText(const ListRow& r)
{
    if (r.hasResult) {
        const QString pav = tierLabel(r.pavTier, r.pav), crn = tierLabel(r.crnTier, r.crn);
        return pav.isEmpty() && crn.isEmpty() ? QString() : pav + QStringLiteral(", ") + crn;
    }
    return r.failure.isEmpty() ? QString() : QStringLiteral("failed: ") + r.failure;
}

QPixmap LibraryModel::picture(const ListRow& r) const
{
    const auto cached = m_pictures.constFind(r.id);
    if (cached != m_pictures.constEnd())
        return *cached;
    // Drawn from the design's file the first time its row is shown; a file
    // that is gone or no longer reads leaves the cell empty.
    QPixmap p;
    const QString path = currentPath(m_db, r.id);
    if (!path.isEmpty()) {
        try {
            p = QPixmap::fromImage(outlinePicture(loadDesign(path), Shown));
        } catch (const ZepError&) {
        }
    }
    m_pictures.insert(r.id, p);
    return p;
}

void LibraryModel::sort(int column, Qt::SortOrder order)
{
    static const SortColumn columns[] = {SortColumn::Best, SortColumn::Name, SortColumn::Gear, SortColumn::Facets,
                                         SortColumn::LW, SortColumn::MeritFunction, SortColumn::Pavilion, SortColumn::Crown,
                                         SortColumn::Weight, SortColumn::Yield, SortColumn::Best};
    m_filter.sort = column >= 0 && column < Columns ? columns[column] : SortColumn::Best;
    m_filter.descending = order == Qt::DescendingOrder;
    reload();
}

bool LibraryModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && int(m_rows.size()) < m_total;
}

void LibraryModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    std::vector<ListRow> more = listDesigns(m_db, m_filter, int(m_rows.size()), Page);
    if (more.empty()) {
        m_total = int(m_rows.size());
        return;
    }
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + more.size()) - 1);
    m_rows.insert(m_rows.end(), more.begin(), more.end());
    endInsertRows();
}

void LibraryModel::setKey(const std::optional<ResultKey>& key)
{
    m_filter.key = key;
    setRough(m_rough);
}

void LibraryModel::setRough(const std::optional<std::array<double, 3>>& mm)
{
    m_rough = mm;
    m_filter.rough.reset();
    if (mm && m_filter.key) {
        const MaterialTable table = MaterialTable::standard();
        const int i = int(table.Mat.indexOf(m_filter.key->material));
        if (i >= 0)
            m_filter.rough = Rough{*mm, table.matDensity[std::size_t(i)]};
    }
    reload();
}

void LibraryModel::setText(const QString& text)
{
    m_filter.text = text;
    reload();
}

void LibraryModel::reload()
{
    const int wanted = std::max(Page, int(m_rows.size()));
    beginResetModel();
    m_total = countDesigns(m_db, m_filter);
    m_rows = listDesigns(m_db, m_filter, 0, wanted);
    endResetModel();
}

LibraryWindow::LibraryWindow(LibraryWindowEnv env, QWidget* parent)
    : QWidget(parent, Qt::Window), m_env(std::move(env))
{
    setObjectName(QStringLiteral("frmLibrary"));
    setWindowTitle(QStringLiteral("Design Library"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_db = std::make_unique<LibraryDb>(m_env.libraryPath, true);
    try {
        m_programs = programsIn(m_env.programs);
    } catch (const ZepError&) {
        // Without the programs the library is still shown; Rank tells why it cannot run.
    }
    m_model = new LibraryModel(*m_db, this);

    auto* top = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter: words of the name, footnotes or folder"));
    m_filter->setClearButtonEnabled(true);
    m_material = new QLabel(this);
    m_material->setObjectName(QStringLiteral("lblMaterial"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("lblCount"));
    m_add = new QPushButton(QStringLiteral("Add Folder..."), this);
    m_rank = new QPushButton(QStringLiteral("Rank"), this);
    m_use = new QPushButton(QStringLiteral("Use This Design"), this);
    bar->addWidget(m_filter, 1);
    auto* roughLabel = new QLabel(QStringLiteral("Rough (mm)"), this);
    bar->addWidget(roughLabel);
    for (int i = 0; i < 3; ++i) {
        m_rough[i] = new QLineEdit(this);
        m_rough[i]->setObjectName(QStringLiteral("txtRough%1").arg(i + 1));
        m_rough[i]->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.00")) + 14);
        m_rough[i]->setToolTip(QStringLiteral("The rough's three sizes in mm, any order: a box around it"));
        bar->addWidget(m_rough[i]);
    }
    roughLabel->setBuddy(m_rough[0]);
    bar->addWidget(m_count);
    bar->addWidget(m_material);
    for (QPushButton* b : {m_add, m_rank, m_use})
        bar->addWidget(b);
    top->addLayout(bar);

    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSortingEnabled(true);
    m_table->horizontalHeader()->setSortIndicator(LibraryModel::MeritFunction, Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setIconSize(QSize(Shown, Shown));
    m_table->verticalHeader()->setDefaultSectionSize(Shown + 4);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(LibraryModel::Name, QHeaderView::Stretch);
    m_table->setColumnWidth(LibraryModel::Picture, Shown + 16);
    m_table->setColumnWidth(LibraryModel::Tiers, 190);
    // A figure's column is as wide as its caption (with the sort arrow) or its
    // widest figure; the name and its file take the rest.
    {
        const QFontMetrics header = m_table->horizontalHeader()->fontMetrics();
        const QFontMetrics cells = m_table->fontMetrics();
        const int arrow = m_table->style()->pixelMetric(QStyle::PM_HeaderMarkSize) + 16;
        const std::pair<int, const char*> widest[] = {
            {LibraryModel::Gear, "720"},        {LibraryModel::Facets, "10000"},   {LibraryModel::LW, "10.000"},
            {LibraryModel::MeritFunction, "999.999"}, {LibraryModel::Pavilion, "90.000"}, {LibraryModel::Crown, "90.000"},
            {LibraryModel::Weight, "99999.00"}, {LibraryModel::Yield, "100.00"}};
        for (const auto& [column, figure] : widest)
            m_table->setColumnWidth(column, std::max(header.horizontalAdvance(m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()) + arrow,
                                                     cells.horizontalAdvance(QLatin1String(figure)) + 12));
    }
    top->addWidget(m_table, 1);

    auto* foot = new QHBoxLayout;
    m_progress = new QProgressBar(this);
    m_status = new QLabel(this);
    m_status->setMinimumWidth(420);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    foot->addWidget(m_progress, 1);
    foot->addWidget(m_status);
    foot->addWidget(m_cancel);
    top->addLayout(foot);
    setWorking(false, {});
    resize(1000, 600);

    // The filter waits for a pause in the typing; results arriving refill
    // the rows at most a few times a second.
    m_typing = new QTimer(this);
    m_typing->setSingleShot(true);
    m_typing->setInterval(150);
    m_refill = new QTimer(this);
    m_refill->setSingleShot(true);
    m_refill->setInterval(300);
    connect(m_filter, &QLineEdit::textChanged, m_typing, qOverload<>(&QTimer::start));
    const auto count = [this] {
        const int all = countDesigns(*m_db, {});
        m_count->setText(m_model->total() == all ? QStringLiteral("%1 designs").arg(all)
                                                 : QStringLiteral("%1 of %2 designs").arg(m_model->total()).arg(all));
    };
    connect(m_model, &QAbstractItemModel::modelReset, this, count);
    count();
    connect(m_typing, &QTimer::timeout, this, [this] { m_model->setText(m_filter->text()); });
    connect(m_refill, &QTimer::timeout, m_model, &LibraryModel::reload);
    connect(m_add, &QPushButton::clicked, this, &LibraryWindow::chooseFolder);
    connect(m_rank, &QPushButton::clicked, this, &LibraryWindow::rank);
    connect(m_use, &QPushButton::clicked, this, &LibraryWindow::useThisDesign);
    connect(m_cancel, &QPushButton::clicked, this, &LibraryWindow::cancel);
    connect(m_table, &QTableView::doubleClicked, this, &LibraryWindow::useThisDesign);
    for (QLineEdit* box : m_rough)
        connect(box, &QLineEdit::textChanged, this, &LibraryWindow::roughChanged);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &LibraryWindow::showStone);
    m_table->setColumnHidden(LibraryModel::Weight, true);
    m_table->setColumnHidden(LibraryModel::Yield, true);
    m_model->setKey(jobKey(false));
}

LibraryWindow::~LibraryWindow()
{
    cancel();
    m_closing = true;
    if (m_adding) {
        m_adding->wait();
        delete m_adding;
    }
}

std::optional<ResultKey> LibraryWindow::jobKey(bool tell)
{
    const JobState& j = m_env.job;
    if (!j.useMatRI || j.theMat.isEmpty()) {
        m_material->setText(QStringLiteral("No material chosen"));
        if (tell)
            m_env.messages.message(QStringLiteral("Please choose a material of the table to rank the designs in"));
        return std::nullopt;
    }
    try {
        ResultKey k = resultKey(j.theMat, {}, false);
        k.targets = targetsHash(m_env.targets);
        m_material->setText(QStringLiteral("%1, index%2").arg(k.material, NumText(float(k.ri))));
        return k;
    } catch (const ZepError& e) {
        if (tell)
            m_env.messages.report(e, QStringLiteral("Rank"));
        return std::nullopt;
    }
}

void LibraryWindow::roughChanged()
{
    std::optional<std::array<double, 3>> mm;
    const bool filled = std::all_of(std::begin(m_rough), std::end(m_rough),
                                    [](const QLineEdit* b) { return !b->text().trimmed().isEmpty(); });
    if (filled) {
        try {
            std::array<double, 3> sizes{};
            for (int i = 0; i < 3; ++i)
                sizes[std::size_t(i)] = ReadBox(m_rough[i]->text(), QStringLiteral("Rough (mm) %1").arg(i + 1),
                                                BoxRange{0, kMaxRoughMm, true, false});
            mm = sizes;
            if (!busy())
                m_status->clear();
        } catch (const ZepError& e) {
            m_status->setText(e.messageFor(QStringLiteral("Rough")));
        }
    }
    m_table->setColumnHidden(LibraryModel::Weight, !mm);
    m_table->setColumnHidden(LibraryModel::Yield, !mm);
    m_model->setRough(mm);
}

void LibraryWindow::showStone()
{
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount() || busy())
        return;
    const ListRow& r = m_model->row(current.row());
    const ListFilter& f = m_model->filter();
    if (f.rough) {
        if (const auto stone = stoneInRough(r, *f.rough)) {
            m_status->setText(QStringLiteral("%1: %2 x %3 x %4 mm, %5 ct, %6 % of the rough")
                                  .arg(r.name, Format(stone->fit.length, u"#.00"), Format(stone->fit.width, u"#.00"),
                                       Format(stone->fit.depth, u"#.00"), Format(stone->weight, u"#.00"),
                                       Format(stone->fit.yieldPercent, u"##.00")));
            return;
        }
    }
    const std::optional<Proportions>& p = r.atFinal ? r.atFinal : r.own;
    m_status->setText(p ? QStringLiteral("%1 (%2): %3").arg(r.name, r.atFinal ? QStringLiteral("at its result's angles")
                                                                              : QStringLiteral("at its own angles"),
                                                            proportionsText(*p))
                        : r.name + QStringLiteral(": its proportions are not known (its file is gone)"));
}

bool LibraryWindow::busy() const { return m_ranking || m_adding; }
QString LibraryWindow::statusText() const { return m_status->text(); }

void LibraryWindow::setWorking(bool working, const QString& status)
{
    m_add->setEnabled(!working);
    m_rank->setEnabled(!working);
    m_cancel->setEnabled(working && m_ranking);
    m_progress->setVisible(working);
    m_status->setText(status);
    if (!working)
        emit idle();
}

void LibraryWindow::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Add the designs of a folder"));
    if (!folder.isEmpty())
        addFolder(folder);
}

void LibraryWindow::addFolder(const QString& folder)
{
    if (busy())
        return;
    m_progress->setRange(0, 0);
    setWorking(true, QStringLiteral("Looking for designs..."));
    // The adding has its own connection to the library, in its own thread.
    QPointer<LibraryWindow> self(this);
    const QString library = m_db->path();
    m_adding = QThread::create([self, library, folder, closing = &m_closing] {
        const auto tell = [self](const std::function<void(LibraryWindow*)>& f) {
            QMetaObject::invokeMethod(qApp, [self, f] {
                if (self)
                    f(self);
            });
        };
        int added = 0, known = 0, refused = 0, done = 0;
        QString failure;
        try {
            LibraryDb db(library);
            const QStringList files = designFilesUnder({folder});
            tell([n = int(files.size())](LibraryWindow* w) { w->m_progress->setRange(0, std::max(1, n)); });
            addFiles(db, files, [&](const AddReport& r) {
                ++done;
                (r.outcome == AddOutcome::Added ? added : r.outcome == AddOutcome::Known ? known : refused)++;
                tell([done, added, known, refused](LibraryWindow* w) {
                    w->m_progress->setValue(done);
                    w->m_status->setText(QStringLiteral("%1 added, %2 known, %3 refused").arg(added).arg(known).arg(refused));
                });
            }, [closing] { return closing->load(); });
        } catch (const ZepError& e) {
            failure = e.messageFor(QStringLiteral("Add Folder"));
        }
        tell([added, known, refused, failure](LibraryWindow* w) {
            w->m_adding->wait();
            delete w->m_adding;
            w->m_adding = nullptr;
            w->m_model->reload();
            w->setWorking(false, QStringLiteral("%1 added, %2 known, %3 refused").arg(added).arg(known).arg(refused));
            if (!failure.isEmpty())
                w->m_env.messages.message(failure);
        });
    });
    m_adding->start();
}

void LibraryWindow::rank()
{
    if (busy())
        return;
    const std::optional<ResultKey> key = jobKey(true);
    if (!key)
        return;
    // The rows show the results of the material and targets being ranked.
    m_model->setKey(key);
    const OptimizationTargets& t = m_env.targets;
    if (!t.doISO && !t.doIll && !t.doTilt && !t.doSparkle && !t.doFire) {
        m_env.messages.message(QStringLiteral("Please enter at least one optimization parameter"));
        return;
    }
    if (m_programs.zeptool.isEmpty()) {
        try {
            m_programs = programsIn(m_env.programs);
        } catch (const ZepError& e) {
            m_env.messages.report(e, QStringLiteral("Rank"));
            return;
        }
    }
    Ranking::Options o;
    o.key = *key;
    o.parallel = std::max(1, QThread::idealThreadCount());
    o.programs = m_programs;
    // The job's targets, as a file the jobs read.
    m_targetsDir = std::make_unique<QTemporaryDir>();
    o.targetsFile = m_targetsDir->filePath(QStringLiteral("targets.txt"));
    try {
        SaveTargetFile(o.targetsFile, m_env.targets, o.targetsFile);
    } catch (const ZepError& e) {
        m_env.messages.report(e, QStringLiteral("Rank"));
        return;
    }
    std::vector<qint64> shown;
    for (const ListRow& r : listDesigns(*m_db, m_model->filter()))
        shown.push_back(r.id);
    o.among = shown;
    m_ranking = std::make_unique<Ranking>(*m_db, o);
    connect(m_ranking.get(), &Ranking::jobEnded, this, [this](qint64, const QString&) {
        m_progress->setRange(0, m_ranking->total());
        m_progress->setValue(m_ranking->done());
        m_status->setText(QStringLiteral("%1 of %2 ranked, %3 left")
                              .arg(m_ranking->done())
                              .arg(m_ranking->total())
                              .arg(Ranking::timeText(m_ranking->secondsLeft())));
        m_refill->start();
    });
    connect(m_ranking.get(), &Ranking::finished, this, [this] {
        const QString said = QStringLiteral("%1 of %2 ranked, %3 failed")
                                 .arg(m_ranking->done() - m_ranking->failed())
                                 .arg(m_ranking->total())
                                 .arg(m_ranking->failed());
        m_ranking.release()->deleteLater();
        m_model->reload();
        setWorking(false, said);
        jobChanged();
    });
    m_progress->setRange(0, 0);
    setWorking(true, QStringLiteral("Ranking..."));
    m_ranking->start();
}

void LibraryWindow::jobChanged()
{
    if (m_ranking)
        return;
    const std::optional<ResultKey> now = jobKey(false), shown = m_model->filter().key;
    const auto same = [](const ResultKey& a, const ResultKey& b) {
        return a.material == b.material && a.ri == b.ri && a.disp == b.disp && a.targets == b.targets;
    };
    if (now.has_value() != shown.has_value() || (now && !same(*now, *shown)))
        m_model->setKey(now);
}

void LibraryWindow::cancel()
{
    if (m_ranking)
        m_ranking->cancel();
}

void LibraryWindow::useThisDesign()
{
    const QModelIndexList chosen = m_table->selectionModel()->selectedRows();
    if (chosen.isEmpty()) {
        m_env.messages.message(QStringLiteral("Please select a design first"));
        return;
    }
    const ListRow& r = m_model->row(chosen.first().row());
    const QString path = currentPath(*m_db, r.id);
    if (path.isEmpty()) {
        m_env.messages.message(QStringLiteral("None of the files of %1 holds the design any more").arg(r.name));
        return;
    }
    const float pav = float(r.pav), crn = float(r.crn);
    const QString set = m_env.useDesign(path, pav, crn, r.hasResult ? r.finalPav : pav, r.hasResult ? r.finalCrn : crn,
                                        float(r.ri));
    if (!set.isEmpty())
        m_status->setText(QStringLiteral("%1 is the job's design. %2").arg(r.name, set));
}

LibraryWindow* showLibraryWindow(LibraryWindowEnv env, QWidget* parent)
{
    MessageSink& messages = env.messages;
    try {
        auto* w = new LibraryWindow(std::move(env), parent);
        w->show();
        return w;
    } catch (const ZepError& e) {
        messages.report(e, QStringLiteral("Design Library"));
        return nullptr;
    }
}

} // namespace zep::library
