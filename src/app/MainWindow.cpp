#include "MainWindow.h"
#include "JobSummary.h"
#include "ZepApplication.h"

#include "common/FileIO.h"
#include "merit/MarginLabel.h"
#include "common/KeyValue.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "design/DesignDialogs.h"
#include "design/GemAngles.h"
#include "design/Materials.h"
#include "recut/CutListWindow.h"
#include "recut/CuttingList.h"
#include "recut/Recut.h"
#include "library/LibraryWindow.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/WindowSupport.h"
#include "optimize/ResultOwner.h"
#include "settings/PreferencesDialog.h"
#include "settings/SavedStateFile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zep {

namespace {

QLabel* valueLabel(const char* name, QWidget* parent, QLabel* l = nullptr)
{
    if (!l)
        l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setMinimumWidth(60);
    l->setFrameShape(QFrame::StyledPanel);
    return l;
}

QLineEdit* readOnlyBox(const char* name, QWidget* parent)
{
    auto* t = new QLineEdit(parent);
    t->setObjectName(QLatin1String(name));
    t->setReadOnly(true);
    t->setMaximumWidth(90);
    return t;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    return named(new QPushButton(caption, parent), name);
}

} // namespace

MainWindow::MainWindow(ZepApplication& app)
    : QWidget(nullptr), m_app(app)
{
    setObjectName(QStringLiteral("frmZepMain"));
    setWindowTitle(QStringLiteral("ZEP - Faceting Design Optimizer"));
    auto* top = new QVBoxLayout(this);

    // Select GemCAD File and Old Angles
    auto* file = new QGroupBox(QStringLiteral("Select GemCAD File and Old Angles"), this);
    auto* fg = new QGridLayout(file);
    btnFSel = button("btnFSel", QStringLiteral("Select .GEM File"), file);
    lblFileName = valueLabel("lblFileName", file, new PathLabel(file)); // shortened in its middle when long
    lblFileName->setMinimumWidth(300);
    lblOlPav = valueLabel("lblOlPav", file);
    lblOlCrn = valueLabel("lblOlCrn", file);
    fg->addWidget(btnFSel, 0, 0);
    fg->addWidget(new QLabel(QStringLiteral("File:"), file), 0, 1);
    fg->addWidget(lblFileName, 0, 2, 1, 5);
    fg->addWidget(new QLabel(QStringLiteral("Old Angles:"), file), 1, 1);
    fg->addWidget(new QLabel(QStringLiteral("Pavilion"), file), 1, 2);
    fg->addWidget(lblOlPav, 1, 3);
    fg->addWidget(new QLabel(QStringLiteral("Crown"), file), 1, 4);
    fg->addWidget(lblOlCrn, 1, 5);
    // The tiers the old angles (and so every result) belong to.
    lblTiers = new QLabel(file);
    lblTiers->setObjectName(QStringLiteral("lblTiers"));
    fg->addWidget(lblTiers, 1, 6);
    top->addWidget(file);

    // Set Optimization Angles and Gem Material
    auto* ang = new QGroupBox(QStringLiteral("Set Optimization Angles and Gem Material"), this);
    auto* ag = new QGridLayout(ang);
    btnModAng = button("btnModAng", QStringLiteral("Modify Values"), ang);
    lblStartPav = valueLabel("lblStartPav", ang);
    lblMinPav = valueLabel("lblMinPav", ang);
    lblMaxPav = valueLabel("lblMaxPav", ang);
    txtPavFixed = readOnlyBox("txtPavFixed", ang);
    lblStartCrn = valueLabel("lblStartCrn", ang);
    lblMinCrn = valueLabel("lblMinCrn", ang);
    lblMaxCrn = valueLabel("lblMaxCrn", ang);
    txtCrnFixed = readOnlyBox("txtCrnFixed", ang);
    for (QLineEdit* t : {txtPavFixed, txtCrnFixed}) // "Variable" fits however narrow the window
        t->setMinimumWidth(t->fontMetrics().horizontalAdvance(QStringLiteral("Variable")) + 14);
    lblMat = valueLabel("lblMat", ang);
    lblRI = valueLabel("lblRI", ang);
    lblDisp = valueLabel("lblDisp", ang);
    // Wide enough for every material name, so that none is cut and the
    // columns stay put whenever a material is chosen.
    int widest = 0;
    for (const QString& name : MaterialTable::standard().Mat + QStringList{QStringLiteral("GemCAD file")}) {
        lblMat->setText(name);
        widest = std::max(widest, lblMat->sizeHint().width());
    }
    lblMat->clear();
    lblMat->setMinimumWidth(widest);
    ag->addWidget(btnModAng, 0, 0, 3, 1);
    ag->addWidget(new QLabel(QStringLiteral("Min"), ang), 0, 3);
    ag->addWidget(new QLabel(QStringLiteral("Max"), ang), 0, 4);
    ag->addWidget(new QLabel(QStringLiteral("Start Pavilion Angle"), ang), 1, 1);
    ag->addWidget(lblStartPav, 1, 2);
    ag->addWidget(lblMinPav, 1, 3);
    ag->addWidget(lblMaxPav, 1, 4);
    ag->addWidget(txtPavFixed, 1, 5);
    ag->addWidget(new QLabel(QStringLiteral("Start Crown Angle"), ang), 2, 1);
    ag->addWidget(lblStartCrn, 2, 2);
    ag->addWidget(lblMinCrn, 2, 3);
    ag->addWidget(lblMaxCrn, 2, 4);
    ag->addWidget(txtCrnFixed, 2, 5);
    ag->addWidget(new QLabel(QStringLiteral("Gem Material"), ang), 3, 1);
    ag->addWidget(lblMat, 3, 2);
    ag->addWidget(new QLabel(QStringLiteral("Refr. Index"), ang), 3, 3);
    ag->addWidget(lblRI, 3, 4);
    ag->addWidget(new QLabel(QStringLiteral("Dispersion"), ang), 4, 3);
    ag->addWidget(lblDisp, 4, 4);
    top->addWidget(ang);

    // Set Optimization Targets
    auto* targ = new QGroupBox(QStringLiteral("Set Optimization Targets"), this);
    auto* tg = new QGridLayout(targ);
    btnModTargets = button("btnModTargets", QStringLiteral("Modify Targets"), targ);
    lstTargets = new QListWidget(targ);
    lstTargets->setObjectName(QStringLiteral("lstTargets"));
    lstTargets->setFont(QFont(QStringLiteral("Monospace")));
    lstTargets->setMaximumHeight(110);
    tg->addWidget(btnModTargets, 0, 0);
    tg->addWidget(new QLabel(QStringLiteral("Current Targets"), targ), 0, 1);
    tg->addWidget(lstTargets, 1, 1);
    top->addWidget(targ);

    // Optimize
    auto* opt = new QGroupBox(QStringLiteral("Optimize"), this);
    auto* og = new QGridLayout(opt);
    btnOpt = button("btnOpt", QStringLiteral("Optimize..."), opt);
    txtItPav = readOnlyBox("txtItPav", opt);
    txtItCrn = readOnlyBox("txtItCrn", opt);
    txtStartMF = readOnlyBox("txtStartMF", opt);
    txtItMF = readOnlyBox("txtItMF", opt);
    og->addWidget(btnOpt, 0, 0, 2, 1);
    og->addWidget(new QLabel(QStringLiteral("Results:"), opt), 0, 1);
    og->addWidget(new QLabel(QStringLiteral("Pavilion"), opt), 0, 2);
    og->addWidget(txtItPav, 1, 2);
    og->addWidget(new QLabel(QStringLiteral("Crown"), opt), 0, 3);
    og->addWidget(txtItCrn, 1, 3);
    og->addWidget(new QLabel(QStringLiteral("Start MF"), opt), 0, 4);
    og->addWidget(txtStartMF, 1, 4);
    og->addWidget(new QLabel(QStringLiteral("Final MF"), opt), 0, 5);
    og->addWidget(txtItMF, 1, 5);
    lblMargin = new QLabel(opt);
    lblMargin->setObjectName(QStringLiteral("lblMargin"));
    lblMargin->setWordWrap(true);
    lblMargin->setMinimumHeight(2 * lblMargin->fontMetrics().lineSpacing()); // the margin and its hint
    og->addWidget(lblMargin, 2, 1, 1, 5);
    btnCutList = button("btnCutList", QStringLiteral("Cutting List"), opt);
    og->addWidget(btnCutList, 0, 6, 2, 1);
    top->addWidget(opt);

    auto* row = new QHBoxLayout;
    btnPlay = button("btnPlay", QStringLiteral("Play Pen"), this);
    btnMFMap = button("btnMFMap", QStringLiteral("MFMap"), this);
    btnAbout = button("btnAbout", QStringLiteral("About ZEP"), this);
    btnLibrary = button("btnLibrary", QStringLiteral("Design Library..."), this);
    btnQuit = button("btnQuit", QStringLiteral("&Quit"), this);
    for (QPushButton* b : {btnPlay, btnMFMap, btnLibrary, btnAbout, btnQuit})
        row->addWidget(b);
    top->addLayout(row);

    connect(btnFSel, &QPushButton::clicked, this, &MainWindow::btnFSel_Click);
    connect(btnModAng, &QPushButton::clicked, this, &MainWindow::btnModAng_Click);
    connect(btnModTargets, &QPushButton::clicked, this, &MainWindow::btnModTargets_Click);
    connect(btnOpt, &QPushButton::clicked, this, &MainWindow::btnOpt_Click);
    connect(btnCutList, &QPushButton::clicked, this, &MainWindow::btnCutList_Click);
    connect(btnPlay, &QPushButton::clicked, this, &MainWindow::btnPlay_Click);
    connect(btnMFMap, &QPushButton::clicked, this, &MainWindow::btnMFMap_Click);
    connect(btnLibrary, &QPushButton::clicked, this, &MainWindow::btnLibrary_Click);
    connect(btnAbout, &QPushButton::clicked, this, &MainWindow::btnAbout_Click);
    connect(btnQuit, &QPushButton::clicked, this, &MainWindow::btnQuit_Click);
}

template <class F>
void MainWindow::guarded(const char* routine, F&& f)
{
    runRoutine(m_app.messages(), QLatin1String(routine), std::forward<F>(f));
}

void MainWindow::Form_Load()
{
    AppState& s = m_app.state();
    guarded("Form_Load", [&] {
        s.shell.Interactive = true;
        s.targets.nTang = 3;
        s.job.theRCol = s.job.theGCol = s.job.theBCol = 255;
        buildAllTemplates(s.bitmaps, s.map.MapHeader);
        invidx(s.images);
        for (const QString& f : staleFilesAtLoad())
            removeIfExists(m_app.workFile(f));
        buildMaterialTable(s.materials);
        s.shell.TimedOut = false;
        GetLast();
    });
    placeWindow(this, s.positions.TMain, s.positions.LMain);
    if (s.prefs.DoTips) {
        btnFSel->setToolTip(QStringLiteral("Select GemCAD File"));
        btnModAng->setToolTip(QStringLiteral("Modify Gem Angles and Materials"));
        btnModTargets->setToolTip(QStringLiteral("Modify Optimization Targets and Weights"));
        btnOpt->setToolTip(QStringLiteral("Start Optimization Run"));
        btnCutList->setToolTip(QStringLiteral("Cutting list, design and diagram at the optimized angles"));
        btnAbout->setToolTip(QStringLiteral("Information and Preferences"));
        btnPlay->setToolTip(QStringLiteral("Start PlayPen"));
        btnMFMap->setToolTip(QStringLiteral("Start Merit Function Mapper"));
        btnQuit->setToolTip(QStringLiteral("Quit ZEP"));
    }
}

void MainWindow::GetLast()
{
    AppState& s = m_app.state();
    const StateRead read = readSavedState(m_app.workFile(QStringLiteral("ZEPLast.txt")),
                                          {s.job, s.targets, s.positions, s.fd}, m_app.messages());
    if (read == StateRead::Failed || (read == StateRead::Complete && s.fd.FDFile.isEmpty())) {
        // A damaged file, or a job saved before any design was chosen: show
        // what was read, but select no design from it.
        s.shell.Interactive = false;
        btnModAng_Click();
        btnModTargets_Click();
        s.shell.Interactive = true;
        return;
    }
    if (read != StateRead::Complete)
        return;
    s.shell.Interactive = false;
    s.fd.FDOK = true;
    s.fd.FDPav = s.job.olPav;
    s.fd.FDCrn = s.job.olCrn;
    btnFSel_Click(); // the start angles become the design's old angles
    s.job.pStep = (s.job.maxPav - s.job.minPav) / 10;
    s.job.cStep = (s.job.maxCrn - s.job.minCrn) / 10;
    btnModAng_Click();
    btnModTargets_Click();
    s.shell.Interactive = true;
    // The last result, when it belongs to this job (a file that does not say
    // what it was computed for: to this design).
    if (const auto r = readLastResult(m_app.workFile(QLatin1String(LastResultFile)));
        r && r->design == s.job.fnam && (r->owner.isEmpty() || r->owner == resultOwner(s.job, s.targets)))
    {
        keepResult(s.job, s.targets, r->pav, r->crn, r->startMF, r->finalMF);
        if (r->margin) {
            s.job.theMarginKnown = true;
            std::tie(s.job.theMarginTol, s.job.theMarginWorst, s.job.theMarginPav, s.job.theMarginCrn) =
                std::tuple((*r->margin)[0], (*r->margin)[1], (*r->margin)[2], (*r->margin)[3]);
        }
    }
    showResult();
}

void MainWindow::SaveState()
{
    AppState& s = m_app.state();
    zep::SaveState(m_app.workFile(QStringLiteral("ZEPLast.txt")), {s.job, s.targets, s.positions, s.fd});
    const QString result = m_app.workFile(QLatin1String(LastResultFile));
    if (!showResult()) {
        removeIfExists(result);
        return;
    }
    const JobState& j = s.job;
    LastResult last{j.fnam, j.theFinalPav, j.theFinalCrn, j.theStartMF, j.theFinalMF, j.theResultFor, {}};
    if (j.theMarginKnown)
        last.margin = std::array{j.theMarginTol, j.theMarginWorst, j.theMarginPav, j.theMarginCrn};
    saveLastResult(result, last);
}

QString MainWindow::txtItPavText() const
{
    return txtItPav->text();
}

QString MainWindow::txtItCrnText() const
{
    return txtItCrn->text();
}

void MainWindow::btnFSel_Click()
{
    guarded("btnFSel_Click", [&] {
        AppState& s = m_app.state();
        if (s.shell.Interactive) {
            s.fd.FDOK = false;
            s.fd.FDTitle = QStringLiteral("Select GemCAD File and Old Angles");
            DesignEnv env = m_app.designEnv();
            showDesignFileDialog(env, this);
        }
        if (s.fd.FDOK)
            takeChosenDesign();
    });
}

// The design the file dialog's exchange names becomes the job's design.
void MainWindow::takeChosenDesign()
{
    {
        AppState& s = m_app.state();
        JobState& j = s.job;
        j.fnam = joinPath(s.fd.FDDir, s.fd.FDFile);
        lblOlPav->setText(NumText(s.fd.FDPav));
        lblOlCrn->setText(NumText(s.fd.FDCrn));
        const std::string tiers = oldTiersText(j.fnam.toStdString(), singleAsDecimal(s.fd.FDPav), singleAsDecimal(s.fd.FDCrn));
        lblTiers->setText(tiers.empty() ? QString() : QStringLiteral("Tiers: ") + QString::fromStdString(tiers));
        j.olPav = j.stPav = s.fd.FDPav;
        j.olCrn = j.stCrn = s.fd.FDCrn;
        lblStartPav->setText(lblOlPav->text());
        lblStartCrn->setText(lblOlCrn->text());
        j.GemDir = joinPath(s.fd.FDDir, QString());
        if (!j.GemDir.endsWith(QDir::separator()))
            j.GemDir += QDir::separator();
        lblFileName->setText(j.fnam);
        showResult();
    }
}

void MainWindow::btnLibrary_Click()
{
    guarded("btnLibrary_Click", [&] {
        if (m_library) {
            // Shown again should it be hidden (closed while it still finished work).
            m_library->show();
            m_library->raise();
            m_library->activateWindow();
            return;
        }
        AppState& s = m_app.state();
        m_library = library::showLibraryWindow(
            {s.job, s.targets, m_app.messages(), library::defaultLibraryPath(), QCoreApplication::applicationDirPath(),
             [this](const QString& path, float olPav, float olCrn, float stPav, float stCrn, float ri) {
                 return useLibraryDesign(path, olPav, olCrn, stPav, stCrn, ri);
             }},
            this);
    });
}

// A design chosen in the Design Library takes the path of Select .GEM File:
// its own angles are the old ones, its best result's the start, and the
// limits those derive.
QString MainWindow::useLibraryDesign(const QString& path, float olPav, float olCrn, float stPav, float stCrn,
                                     float designRi)
{
    QString said;
    guarded("btnUse_Click", [&] {
        AppState& s = m_app.state();
        const QString refusal = pathRefusal(path);
        if (!refusal.isEmpty()) {
            m_app.messages().message(refusal);
            return;
        }
        // As Parse in the file dialog: the design is read from a working copy.
        ParseFile(path, s.shell.WorkPath + QStringLiteral("B"));
        const QFileInfo file(path);
        s.fd.FDDir = QDir::toNativeSeparators(file.absolutePath());
        s.fd.FDFile = file.fileName();
        s.fd.FDPav = olPav;
        s.fd.FDCrn = olCrn;
        s.fd.FDOK = true;
        takeChosenDesign();
        s.job.stPav = stPav;
        s.job.stCrn = stCrn;
        said = setDerivedLimits(s.job, designRi);
        refreshAngleSummary();
    });
    return said;
}

void MainWindow::refreshAngleSummary()
{
    const JobState& j = m_app.state().job;
    // An angle or an index of 0 is one not set yet (a job without a design
    // has none): shown empty, as at the first start.
    const auto setOrEmpty = [](float x) { return x == 0 ? QString() : NumText(x); };
    lblStartPav->setText(setOrEmpty(j.stPav));
    lblStartCrn->setText(setOrEmpty(j.stCrn));
    lblMinPav->setText(setOrEmpty(j.minPav));
    lblMaxPav->setText(setOrEmpty(j.maxPav));
    lblMinCrn->setText(setOrEmpty(j.minCrn));
    lblMaxCrn->setText(setOrEmpty(j.maxCrn));
    txtPavFixed->setText(j.fixPav ? QStringLiteral("Fixed") : QStringLiteral("Variable"));
    txtCrnFixed->setText(j.fixCrn ? QStringLiteral("Fixed") : QStringLiteral("Variable"));
    if (j.useFileRI) {
        lblMat->setText(QStringLiteral("GemCAD file"));
        lblRI->setText(QStringLiteral("file"));
    } else {
        lblMat->setText(j.theMat);
        lblRI->setText(setOrEmpty(j.theRI));
        lblDisp->setText(NumText(j.theDisp));
    }
    if (auto* library = qobject_cast<library::LibraryWindow*>(m_library.data()))
        library->jobChanged();
}

void MainWindow::btnModAng_Click()
{
    guarded("btnModAng_Click", [&] {
        if (m_app.state().shell.Interactive) {
            DesignEnv env = m_app.designEnv();
            showAnglesDialog(env, this);
        }
        refreshAngleSummary();
        showResult();
    });
}

void MainWindow::refreshTargetList()
{
    lstTargets->clear();
    lstTargets->addItems(targetSummary(m_app.state().targets));
    if (auto* library = qobject_cast<library::LibraryWindow*>(m_library.data()))
        library->jobChanged();
}

void MainWindow::openActivity(const std::function<void(QWidget*)>& window, const QString& name)
{
    if (window)
        window(this);
    else
        m_app.messages().message(name + QStringLiteral(" is not part of this build of ZEP yet."));
    // Every activity can run the ray tracer: offer a new console after a
    // time-out, or when the console's window was closed.
    if (m_app.state().shell.TimedOut || !m_app.console().isRunning())
        m_app.RestartDos();
}

void MainWindow::btnModTargets_Click()
{
    guarded("btnModTargets_Click", [&] {
        if (m_app.state().shell.Interactive)
            openActivity(m_app.windows().targets, QStringLiteral("The targets dialog"));
        refreshTargetList();
        showResult();
    });
}

bool MainWindow::checkJob(const QString& message)
{
    if (jobReady(m_app.state().job))
        return true;
    m_app.messages().message(message);
    return false;
}

void MainWindow::btnOpt_Click()
{
    guarded("btnOpt_Click", [&] {
        AppState& s = m_app.state();
        if (!checkJob(QStringLiteral("Please select a .GEM file, (non-zero) Angles, and Material before Optimizing")))
            return;
        if (lstTargets->count() == 0) {
            m_app.messages().message(QStringLiteral("Please enter at least one optimization parameter"));
            return;
        }
        s.job.once = 0;
        openActivity(m_app.windows().optimizer, QStringLiteral("The optimizer"));
        showResult();
    });
}

bool MainWindow::showResult()
{
    AppState& s = m_app.state();
    const JobState& j = s.job;
    if (!ownResult(s.job, s.targets)) {
        for (QLineEdit* t : {txtItPav, txtItCrn, txtStartMF, txtItMF})
            t->clear();
        showMargin(lblMargin, std::nullopt);
        return false;
    }
    txtItPav->setText(Format(j.theFinalPav, u"#.000"));
    txtItCrn->setText(Format(j.theFinalCrn, u"#.000"));
    txtStartMF->setText(NumText(j.theStartMF));
    txtItMF->setText(NumText(j.theFinalMF));
    showMargin(lblMargin, jobMargin(j));
    return true;
}

void MainWindow::btnCutList_Click()
{
    guarded("btnCutList_Click", [&] {
        if (!checkJob(QStringLiteral("Please select a .GEM file, (non-zero) Angles, and Material before opening "
                                     "the Cutting List")))
            return;
        CutListEnv env{m_app.dialogEnv(), m_app.state().job, showResult(), {}, {}};
        if (const auto m = jobMargin(m_app.state().job); m && env.hasResult) {
            env.margin = marginText(*m);
            env.marginHint = m->steep() ? SteepMarginHint : QString();
        }
        showCuttingList(env, this);
    });
}

void MainWindow::openGemActivity(const char* routine, const std::function<void(QWidget*)>& window,
                                 const QString& name)
{
    // The mapper asks with the PlayPen's words.
    guarded(routine, [&] {
        showResult(); // they start from the result the boxes show
        if (checkJob(QStringLiteral(
                "Please select a .GEM file, (non-zero) Angles, and Material before entering the PlayPen")))
            openActivity(window, name);
        showResult();
    });
}

void MainWindow::btnPlay_Click()
{
    openGemActivity("btnPlay_Click", m_app.windows().playPen, QStringLiteral("The PlayPen"));
}

void MainWindow::btnMFMap_Click()
{
    openGemActivity("btnMFMap_Click", m_app.windows().mapper, QStringLiteral("The merit function mapper"));
    // "Use as Start Angles" may have moved the start.
    refreshAngleSummary();
}

void MainWindow::btnAbout_Click()
{
    guarded("btnAbout_Click", [&] {
        DialogEnv env = m_app.dialogEnv();
        showAbout(env, [&env](QWidget* about) { showPreferences(env, about); }, this);
    });
}

void MainWindow::btnQuit_Click()
{
    guarded("btnQuit_Click", [&] {
        AppState& s = m_app.state();
        if (!m_app.messages().question(QStringLiteral("Are you sure you want to Quit?"), QStringLiteral("Quit")))
            return;
        storeWindowPosition(this, s.positions.TMain, s.positions.LMain);
        // A job that cannot be saved keeps ZEP open, so nothing is lost.
        if (!runRoutine(m_app.messages(), QStringLiteral("SaveState"), [&] { SaveState(); }))
            return;
        for (const QString& f : workingFilesAtQuit())
            removeIfExists(m_app.workFile(f));
        if (!s.shell.TimedOut && m_app.console().isRunning())
            m_app.PasteToDos(quitPasteText());
        m_quitting = true;
        close();
        emit quitted();
    });
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (m_quitting) {
        e->accept();
        return;
    }
    // Through the window frame: the Quit command with its question and clean-up.
    btnQuit_Click();
    if (m_quitting)
        e->accept();
    else
        e->ignore();
}

} // namespace zep
