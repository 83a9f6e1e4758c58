#include "playpen/PlayPenWindow.h"
#include "playpen/MoviePlayer.h"
#include "playpen/TiltPlot.h"

#include "dialogs/FileChooser.h"
#include "movie/MovieFile.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/DirectionPicture.h"
#include "dialogs/WindowSupport.h"
#include "merit/CurrentGemPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtMath>

namespace zep {

namespace {

QLineEdit* box(QWidget* parent, const char* name, bool entry = false)
{
    auto* b = named(new QLineEdit(parent), name);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("-888.88888")) + 16);
    if (entry)
        selectAllOnFocus(b);
    else
        b->setReadOnly(true);
    return b;
}

// An axis number of the tilt plot: no frame, on the window's background.
QLineEdit* axisLabel(QWidget* parent, const char* name, Qt::Alignment align)
{
    auto* b = named(new QLineEdit(parent), name);
    b->setReadOnly(true);
    b->setFrame(false);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAlignment(align);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("-88888.8")) + 8);
    QPalette p = b->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    b->setPalette(p);
    return b;
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

// One row of a "Cur" and a "Ref" box.
struct CurRefRow {
    const char* label;
    QLineEdit** cur;
    const char* curName;
    QLineEdit** ref;
    const char* refName;
};

// Rows of "Cur" and "Ref" boxes under the two column headings; the "Cur"
// boxes take typing when `curEntry` is set, all others are read only.
void curRefRows(QGridLayout* g, QWidget* parent, std::initializer_list<CurRefRow> rows, bool curEntry = false)
{
    g->addWidget(heading(QStringLiteral("Cur"), parent), 0, 1);
    g->addWidget(heading(QStringLiteral("Ref"), parent), 0, 2);
    int r = 1;
    for (const CurRefRow& row : rows) {
        *row.cur = box(parent, row.curName, curEntry);
        *row.ref = box(parent, row.refName);
        g->addWidget(new QLabel(QLatin1String(row.label), parent), r, 0);
        g->addWidget(*row.cur, r, 1);
        g->addWidget(*row.ref, r, 2);
        ++r;
    }
}

// The picture of the Gem material button: a faceted stone seen from the side.
QIcon gemIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF stone({{4, 12}, {10, 5}, {22, 5}, {28, 12}, {16, 29}});
    p.setBrush(QColor(90, 160, 230));
    p.setPen(QPen(QColor(20, 60, 120), 1.5));
    p.drawPolygon(stone);
    p.drawLine(QPointF(4, 12), QPointF(28, 12));
    p.drawLine(QPointF(10, 5), QPointF(13, 12));
    p.drawLine(QPointF(22, 5), QPointF(19, 12));
    p.drawLine(QPointF(13, 12), QPointF(16, 29));
    p.drawLine(QPointF(19, 12), QPointF(16, 29));
    return QIcon(pm);
}

// The picture of the Load File button: a folder.
QIcon folderIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 90, 20), 1.5));
    p.setBrush(QColor(240, 200, 90));
    QPainterPath folder;
    folder.moveTo(3, 8);
    folder.lineTo(12, 8);
    folder.lineTo(15, 11);
    folder.lineTo(29, 11);
    folder.lineTo(29, 27);
    folder.lineTo(3, 27);
    folder.closeSubpath();
    p.drawPath(folder);
    return QIcon(pm);
}

} // namespace

GemImage::GemImage(int scale, QWidget* parent) : QLabel(parent), m_scale(scale)
{
    setFixedSize(ImageSide * scale + 2, ImageSide * scale + 2);
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignCenter);
}

void GemImage::showFile(const QString& bitmapFile)
{
    const QImage image = loadPicture(bitmapFile);
    m_image = image;
    // Whole pixels, no smoothing: each pixel of the raytrace stays a square.
    setPixmap(QPixmap::fromImage(image.scaled(image.size() * m_scale, Qt::IgnoreAspectRatio,
                                              Qt::FastTransformation)));
}

void GemImage::clearImage()
{
    m_image = QImage();
    clear();
}

PlayPenWindow::PlayPenWindow(PlayPenEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
{
    setObjectName(QStringLiteral("frmPlayDLOG"));
    setWindowTitle(QStringLiteral("PlayPen"));
    RunnerEnv runnerEnv = env.runner;
    runnerEnv.views = RaytraceViews{this, this}; // every raytrace shows here
    m_pen = std::make_unique<PlayPen>(runnerEnv, env.values);

    // Gem Parameters
    auto* gem = new QGroupBox(QStringLiteral("Gem Parameters"), this);
    auto* gg = new QGridLayout(gem);
    curRefRows(gg, gem,
               {{"Pavilion Angle", &txtCurPav, "txtCurPav", &txtRefPav, "txtRefPav"},
                {"Crown Angle", &txtCurCrn, "txtCurCrn", &txtRefCrn, "txtRefCrn"},
                {"Refractive Index", &txtCurRI, "txtCurRI", &txtRefRI, "txtRefRI"},
                {"Dispersion", &txtCurDisp, "txtCurDisp", &txtRefDisp, "txtRefDisp"},
                {"Tilt Direction", &txtCurDir, "txtCurDir", &txtRefDir, "txtRefDir"},
                {"Tilt Angle", &txtCurAng, "txtCurAng", &txtRefAng, "txtRefAng"}},
               true);
    btnGemMat = named(new QPushButton(gemIcon(), QStringLiteral("Material"), gem), "btnGemMat");
    btnGemMat->setIconSize(QSize(32, 32));
    gg->addWidget(btnGemMat, 0, 3, 2, 1, Qt::AlignCenter);
    gg->addWidget(named(new DirectionPicture(gem), "Image1"), 2, 3, 5, 1, Qt::AlignCenter);

    // Brightness
    auto* bright = new QGroupBox(QStringLiteral("Brightness"), this);
    auto* bg = new QGridLayout(bright);
    curRefRows(bg, bright,
               {{"ISO", &txtCurISO, "txtCurISO", &txtRefISO, "txtRefISO"},
                {"COS", &txtCurCOS, "txtCurCOS", &txtRefCOS, "txtRefCOS"}});
    bg->setColumnStretch(3, 1);

    // Raytrace Options
    auto* options = new QGroupBox(QStringLiteral("Raytrace Options"), this);
    auto* ol = new QVBoxLayout(options);
    optNormal = named(new QRadioButton(QStringLiteral("Normal Raytrace"), options), "optNormal");
    optTilt = named(new QRadioButton(QStringLiteral("Evaluate Tilt Performance"), options), "optTilt");
    optRGB = named(new QRadioButton(QStringLiteral("Colour Raytrace"), options), "optRGB");
    for (QRadioButton* o : {optNormal, optTilt, optRGB})
        ol->addWidget(o);

    // Tilt Performance
    auto* tilt = new QGroupBox(QStringLiteral("Tilt Performance"), this);
    auto* tg = new QGridLayout(tilt);
    picTilt = new TiltPlot(tilt);
    txtY2 = axisLabel(tilt, "txtY2", Qt::AlignRight | Qt::AlignTop);
    txtY1 = axisLabel(tilt, "txtY1", Qt::AlignRight | Qt::AlignBottom);
    txtX1 = axisLabel(tilt, "txtX1", Qt::AlignLeft);
    txtX2 = axisLabel(tilt, "txtX2", Qt::AlignRight);
    txtX1->setText(QStringLiteral("0"));
    tg->addWidget(txtY2, 0, 0, Qt::AlignTop);
    tg->addWidget(txtY1, 1, 0, Qt::AlignBottom);
    tg->addWidget(picTilt, 0, 1, 2, 2);
    tg->addWidget(txtX1, 2, 1, Qt::AlignLeft);
    tg->addWidget(txtX2, 2, 2, Qt::AlignRight);
    auto* figures = new QGridLayout;
    curRefRows(figures, tilt,
               {{"Avg ISO", &txtCurAvg, "txtCurAvg", &txtRefAvg, "txtRefAvg"},
                {"Var", &txtCurVar, "txtCurVar", &txtRefVar, "txtRefVar"}});
    btnPlotLim = named(new QPushButton(QStringLiteral("Change Plot Limits"), tilt), "btnPlotLim");
    figures->addWidget(btnPlotLim, 3, 1, 1, 2);
    figures->setRowStretch(4, 1);
    // The figures beside the plot: the group stays low.
    tg->addLayout(figures, 0, 3, 3, 1);
    tg->setColumnStretch(4, 1);

    // File
    auto* file = new QGroupBox(QStringLiteral("File"), this);
    auto* fg = new QGridLayout(file);
    btnLoadFile = named(new QPushButton(folderIcon(), QStringLiteral("Load File"), file), "btnLoadFile");
    btnLoadFile->setIconSize(QSize(32, 32));
    txtCurFile = named(new QLineEdit(file), "txtCurFile");
    txtRefFile = named(new QLineEdit(file), "txtRefFile");
    for (QLineEdit* f : {txtCurFile, txtRefFile})
        f->setReadOnly(true);
    auto* names = new QGridLayout;
    names->addWidget(new QLabel(QStringLiteral("Cur"), file), 0, 0);
    names->addWidget(txtCurFile, 0, 1);
    names->addWidget(new QLabel(QStringLiteral("Ref"), file), 1, 0);
    names->addWidget(txtRefFile, 1, 1);
    fg->addWidget(btnLoadFile, 0, 0, Qt::AlignLeft);
    fg->addLayout(names, 0, 1, 1, 3);
    // Twice their size where the screen has room for it, else at their own
    // size, so that the window fits a laptop's screen whole.
    const QSize room = availableScreenSize(this);
    const int scale = room.width() >= 1400 && room.height() >= 900 ? 2 : 1;
    imgCurRan = named(new GemImage(scale, file), "imgCurRan");
    imgCurCos = named(new GemImage(scale, file), "imgCurCos");
    ImgCurISO = named(new GemImage(scale, file), "ImgCurISO");
    ImgRefRan = named(new GemImage(scale, file), "ImgRefRan");
    ImgRefCos = named(new GemImage(scale, file), "ImgRefCos");
    ImgRefISO = named(new GemImage(scale, file), "ImgRefISO");
    const QString columns[] = {QStringLiteral("Random"), QStringLiteral("Cosine"), QStringLiteral("ISO")};
    GemImage* images[2][3] = {{imgCurRan, imgCurCos, ImgCurISO}, {ImgRefRan, ImgRefCos, ImgRefISO}};
    // The images and the movie take turns in the image area.
    stkImages = named(new QStackedWidget(file), "stkImages");
    auto* grid = new QWidget(stkImages);
    auto* ig = new QGridLayout(grid);
    ig->setContentsMargins(0, 0, 0, 0);
    for (int c = 0; c < 3; ++c)
        ig->addWidget(heading(columns[c], grid), 0, c + 1);
    for (int r = 0; r < 2; ++r) {
        ig->addWidget(new QLabel(r == 0 ? QStringLiteral("Cur") : QStringLiteral("Ref"), grid), r + 1, 0,
                      Qt::AlignRight);
        for (int c = 0; c < 3; ++c) {
            images[r][c]->setParent(grid);
            ig->addWidget(images[r][c], r + 1, c + 1);
        }
    }
    ig->setRowStretch(3, 1);
    picMovie = new MoviePlayer(2 * scale, stkImages);
    stkImages->addWidget(grid);
    stkImages->addWidget(picMovie);
    fg->addWidget(stkImages, 1, 0, 1, 4);

    // Movie: a rock or an orbit of the typed tilt, made, played and saved.
    auto* movie = new QGroupBox(QStringLiteral("Movie"), this);
    auto* mg = new QGridLayout(movie);
    optRock = named(new QRadioButton(QStringLiteral("Rock"), movie), "optRock");
    optOrbit = named(new QRadioButton(QStringLiteral("Orbit"), movie), "optOrbit");
    optRock->setChecked(true);
    txtFrames = box(movie, "txtFrames", true);
    txtFrames->setText(QString::number(DefaultMovieFrames));
    cmbMovieImage = named(new QComboBox(movie), "cmbMovieImage");
    cmbMovieImage->addItems({QStringLiteral("Random"), QStringLiteral("Cosine"), QStringLiteral("ISO"),
                             QStringLiteral("Colour")});
    btnMakeMovie = named(new QPushButton(QStringLiteral("Make Movie"), movie), "btnMakeMovie");
    btnAbortMovie = named(new QPushButton(QStringLiteral("Abort"), movie), "btnAbortMovie");
    btnSaveMovie = named(new QPushButton(QStringLiteral("Save Movie"), movie), "btnSaveMovie");
    chkShowMovie = named(new QCheckBox(QStringLiteral("Show movie"), movie), "chkShowMovie");
    prgMovie = named(new QProgressBar(movie), "prgMovie"); // no movie: no percentage
    mg->addWidget(optRock, 0, 0);
    mg->addWidget(optOrbit, 0, 1);
    mg->addWidget(new QLabel(QStringLiteral("Frames"), movie), 0, 2, Qt::AlignRight);
    mg->addWidget(txtFrames, 0, 3);
    mg->addWidget(new QLabel(QStringLiteral("Image"), movie), 0, 4, Qt::AlignRight);
    mg->addWidget(cmbMovieImage, 0, 5);
    mg->addWidget(chkShowMovie, 0, 6);
    auto* run = new QHBoxLayout;
    for (QWidget* b : {static_cast<QWidget*>(btnMakeMovie), static_cast<QWidget*>(btnAbortMovie),
                       static_cast<QWidget*>(prgMovie), static_cast<QWidget*>(btnSaveMovie)})
        run->addWidget(b);
    mg->addLayout(run, 1, 0, 1, 7);
    btnAbortMovie->setEnabled(false);
    btnSaveMovie->setEnabled(false);
    chkShowMovie->setEnabled(false);

    // bottom: status line and buttons
    txtInfoWin = named(new QLineEdit(this), "txtInfoWin");
    txtInfoWin->setReadOnly(true);
    txtInfoWin->setMinimumWidth(txtInfoWin->fontMetrics().horizontalAdvance(
        QStringLiteral("Gemray -p 41.500 41.500 -c 28.000 28.000 -g -i 1.5400 -x 7.071 -y 7.071 P R C I"))
                                 + 16);
    btnMakeRef = named(new QPushButton(QStringLiteral("Make Ref"), this), "btnMakeRef");
    btnSaveBMP = named(new QPushButton(QStringLiteral("Make BMP"), this), "btnSaveBMP");
    CalcButton = named(new QPushButton(QStringLiteral("Raytrace"), this), "CalcButton");
    CancelButton = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    for (QPushButton* b : {btnGemMat, btnPlotLim, btnLoadFile, btnMakeRef, btnSaveBMP, CalcButton, CancelButton,
                           btnMakeMovie, btnAbortMovie, btnSaveMovie})
        b->setAutoDefault(false);
    CalcButton->setDefault(true);

    // With small images the tilt plot goes under them: the window stays low.
    auto* left = new QVBoxLayout;
    left->addWidget(gem);
    left->addWidget(bright);
    left->addWidget(options);
    left->addWidget(movie);
    auto* right = new QVBoxLayout;
    right->addWidget(file);
    (scale == 1 ? right : left)->addWidget(tilt);
    left->addStretch(1);
    right->addStretch(1);
    auto* columnsRow = new QHBoxLayout;
    columnsRow->addLayout(left);
    columnsRow->addLayout(right);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(txtInfoWin, 1);
    for (QPushButton* b : {btnMakeRef, btnSaveBMP, CalcButton, CancelButton})
        bottom->addWidget(b);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columnsRow);
    top->addLayout(bottom);

    connect(CalcButton, &QPushButton::clicked, this, &PlayPenWindow::CalcButton_Click);
    connect(btnMakeRef, &QPushButton::clicked, this, &PlayPenWindow::btnMakeRef_Click);
    connect(btnSaveBMP, &QPushButton::clicked, this, &PlayPenWindow::btnSaveBMP_Click);
    connect(btnLoadFile, &QPushButton::clicked, this, &PlayPenWindow::btnLoadFile_Click);
    connect(btnGemMat, &QPushButton::clicked, this, &PlayPenWindow::btnGemMat_Click);
    connect(btnPlotLim, &QPushButton::clicked, this, &PlayPenWindow::btnPlotLim_Click);
    connect(CancelButton, &QPushButton::clicked, this, &PlayPenWindow::CancelButton_Click);
    connect(btnMakeMovie, &QPushButton::clicked, this, &PlayPenWindow::btnMakeMovie_Click);
    connect(btnAbortMovie, &QPushButton::clicked, this, &PlayPenWindow::btnAbortMovie_Click);
    connect(btnSaveMovie, &QPushButton::clicked, this, &PlayPenWindow::btnSaveMovie_Click);
    connect(chkShowMovie, &QCheckBox::toggled, this, [this](bool on) { stkImages->setCurrentIndex(on ? 1 : 0); });

    Form_Load();
}

PlayPenWindow::~PlayPenWindow() = default;

template <class F>
bool PlayPenWindow::guarded(const char* routine, F&& f)
{
    return runRoutine(m_env.runner.messages, QLatin1String(routine), std::forward<F>(f));
}

void PlayPenWindow::Form_Load()
{
    EnableButtons();
    const JobState& job = m_env.runner.job;
    placeWindow(this, m_env.design.positions.TPlay, m_env.design.positions.LPlay);
    optNormal->setChecked(true);
    guarded("Form_Load", [&] {
        m_pen->open();
        txtCurFile->setText(QFileInfo(job.fnam).fileName());
        if (m_env.txtItPav.isEmpty() || Val(m_env.txtItPav) == 0) {
            txtCurPav->setText(Format(job.stPav, u"#.000"));
            txtCurCrn->setText(Format(job.stCrn, u"#.000"));
        } else {
            txtCurPav->setText(m_env.txtItPav);
            txtCurCrn->setText(m_env.txtItCrn);
        }
        txtCurRI->setText(NumText(job.theRI));
        txtCurDisp->setText(NumText(job.theDisp));
        const bool tips = m_env.runner.prefs.DoTips;
        setTip(btnPlotLim, tips, QStringLiteral("Change tilt plot limits"));
        setTip(btnGemMat, tips, QStringLiteral("Select new gem material and colour"));
        setTip(btnLoadFile, tips, QStringLiteral("Play with a new file"));
        setTip(optNormal, tips, QStringLiteral("Normal single raytrace"));
        setTip(optTilt, tips, QStringLiteral("Evaluate tilt performance"));
        setTip(optRGB, tips, QStringLiteral("Render colour/dispersion image of gem"));
        setTip(btnMakeRef, tips, QStringLiteral("Save current gem as reference"));
        setTip(btnSaveBMP, tips, QStringLiteral("Save raytraces as windows .BMP files"));
        setTip(CancelButton, tips, QStringLiteral("Close window"));
        setTip(CalcButton, tips, QStringLiteral("Start Raytrace"));
        setTip(btnMakeMovie, tips, QStringLiteral("Raytrace a tilt movie: a rock in the tilt direction or an orbit"));
        setTip(btnSaveMovie, tips, QStringLiteral("Save the movie as an animated GIF (or WebP)"));
    });
}

void PlayPenWindow::setButtonsEnabled(bool on)
{
    // Nothing that reads or replaces the design or the images in the making.
    for (QPushButton* b : {CancelButton, btnSaveBMP, btnMakeRef, CalcButton, btnLoadFile, btnGemMat, btnPlotLim, btnMakeMovie})
        b->setEnabled(on);
    btnSaveMovie->setEnabled(on && !m_movie.frames.empty());
}

void PlayPenWindow::EnableButtons()
{
    setButtonsEnabled(true);
}

void PlayPenWindow::showStatus(const QString& text, StatusColours colours)
{
    showStatusIn(txtInfoWin, text, colours);
}

void PlayPenWindow::showPicture(const QString& bitmapFile)
{
    const QString name = QFileInfo(bitmapFile).fileName();
    GemImage* target = name == QLatin1String("ZEPc.BMP") ? imgCurCos
        : name == QLatin1String("ZEPi.BMP")              ? ImgCurISO
                                                         : imgCurRan;
    target->showFile(bitmapFile);
}

void PlayPenWindow::repaintNow()
{
    repaint();
}

void PlayPenWindow::CalcButton_Click()
{
    setButtonsEnabled(false);
    RaytraceEnd end = RaytraceEnd::Refused;
    guarded("CalcButton_Click", [&] {
        const RaytraceBoxes boxes{txtCurPav->text(), txtCurCrn->text(), txtCurRI->text(),
                                  txtCurDisp->text(), txtCurDir->text(), txtCurAng->text()};
        const PlayMode mode = optTilt->isChecked() ? PlayMode::Tilt
            : optRGB->isChecked()                  ? PlayMode::Colour
                                                   : PlayMode::Normal;
        end = m_pen->raytrace(boxes, mode);
        if (end != RaytraceEnd::Done)
            return;
        const PlayPenFields& f = m_pen->f;
        if (f.doPTilt) {
            txtCurAvg->setText(NumText(f.PAvgISO));
            txtCurVar->setText(NumText(f.PVarISO));
            DoTiltPlot();
        }
        if (f.doRGB)
            imgCurRan->showFile(m_pen->workFile(QStringLiteral("ZEPr.BMP")));
        txtCurISO->setText(NumText(f.PISO));
        txtCurCOS->setText(NumText(f.PCOS));
    });
    QCoreApplication::processEvents();
    // After an abort or a time-out only Cancel is left.
    if (end == RaytraceEnd::Aborted)
        CancelButton->setEnabled(true);
    else
        EnableButtons();
}

void PlayPenWindow::DoTiltPlot()
{
    guarded("DoTiltPlot", [&] {
        const PlayPenFields& f = m_pen->f;
        picTilt->plot(TiltCurves{f.PTiltISO, f.RTiltISO, m_pen->showsReferenceCurve(), f.PAng, f.PlotMaxISO,
                                 f.PlotMinISO});
        txtX2->setText(NumText(f.PAng));
        txtY1->setText(NumText(f.PlotMinISO));
        txtY2->setText(NumText(f.PlotMaxISO));
    });
}

void PlayPenWindow::btnPlotLim_Click()
{
    guarded("btnPlotLim_Click", [&] {
        FourNumExchange& n = m_env.dialogs.fourNum;
        PlayPenFields& f = m_pen->f;
        n.NA1 = f.PlotMaxISO;
        n.NA2 = f.PlotMinISO;
        n.NQ1 = QStringLiteral("Enter Max ISO Value for Plot");
        n.NQ2 = QStringLiteral("Enter Min ISO Value for Plot");
        n.NQ3.clear();
        n.NQ4.clear();
        n.title = QStringLiteral("Enter Plot Limits");
        showFourNums(m_env.dialogs, this);
        if (!n.NAnswer || !m_pen->setPlotLimits(n.NA1, n.NA2))
            return;
        // Before the first tilt evaluation only the axis labels change.
        if (f.hasTilt)
            DoTiltPlot();
        txtY1->setText(NumText(f.PlotMinISO));
        txtY2->setText(NumText(f.PlotMaxISO));
    });
}

void PlayPenWindow::btnMakeRef_Click()
{
    guarded("btnMakeRef_Click", [&] {
        m_pen->makeRefValues();
        const PlayPenFields& f = m_pen->f;
        txtRefFile->setText(txtCurFile->text());
        const std::pair<QLineEdit*, double> shown[] = {
            {txtRefPav, f.RPav}, {txtRefCrn, f.RCrn}, {txtRefRI, f.RRI},   {txtRefDisp, f.RDisp},
            {txtRefDir, f.PDir}, {txtRefAng, f.PAng}, {txtRefISO, f.RISO}, {txtRefCOS, f.RCOS},
            {txtRefVar, f.RVarISO}, {txtRefAvg, f.RAvgISO}};
        for (const auto& [b, value] : shown)
            b->setText(NumText(value));
        // Without a tilt evaluation the reference has no tilt figures.
        if (!f.refHasTilt) {
            txtRefVar->clear();
            txtRefAvg->clear();
        }
        m_pen->copyRefImages();
        ImgRefRan->showFile(m_pen->workFile(QStringLiteral("ZEPRefR.BMP")));
        ImgRefCos->showFile(m_pen->workFile(QStringLiteral("ZEPRefC.BMP")));
        ImgRefISO->showFile(m_pen->workFile(QStringLiteral("ZEPRefI.BMP")));
        m_pen->f.isRef = true;
        QCoreApplication::processEvents();
    });
}

void PlayPenWindow::btnSaveBMP_Click()
{
    guarded("btnSaveBMP_Click", [&] {
        YesNoExchange& yn = m_env.dialogs.yesNo;
        yn.YNLine1 = QStringLiteral("The Random, Cosine, and ISO Raytrace .BMP files will be:");
        yn.YNLine2 = QStringLiteral("ZEPR.BMP, ZEPC.BMP, and ZEPI.BMP.  NOTE: They may be");
        yn.YNLine3 = QStringLiteral("overwritten. RENAME / COPY THEM BEFORE PROCEEDING");
        const QString folder = m_env.runner.job.GemDir;
        yn.YNLine4 = QStringLiteral("They go into the design's folder ") + QDir::toNativeSeparators(folder);
        showYesNo(m_env.dialogs, this);
        if (yn.YNAnswer)
            showStatus(bitmapsWrittenText(copyBitmapsBeside(m_env.runner.shell.WorkPath, folder)),
                       StatusColours::System);
    });
}

void PlayPenWindow::btnLoadFile_Click()
{
    guarded("btnLoadFile_Click", [&] {
        // The dialog answers into its own exchange values: the main window's
        // design (and what the saved state keeps of it) stays as it is.
        DesignFileExchange fd = m_env.design.fd;
        fd.FDTitle = QStringLiteral("Select GemCAD File and Old Angles");
        fd.FDOK = false;
        const DesignEnv& d = m_env.design;
        DesignEnv env{d.job, fd, d.positions, d.prefs, d.materials, d.messages, d.workPath, d.pickColour};
        showDesignFileDialog(env, this);
        if (!fd.FDOK)
            return;
        m_pen->loadDesign(joinPath(fd.FDDir, fd.FDFile), fd.FDPav, fd.FDCrn);
        // The previous design's images, brightness, tilt curve and movie go.
        for (GemImage* image : {imgCurRan, imgCurCos, ImgCurISO})
            image->clearImage();
        for (QLineEdit* b : {txtCurISO, txtCurCOS, txtCurAvg, txtCurVar})
            b->clear();
        // The reference stays, its curve with its figures.
        if (m_pen->showsReferenceCurve()) {
            const PlayPenFields& f = m_pen->f;
            TiltCurves c{f.PTiltISO, f.RTiltISO, true, f.PAng, f.PlotMaxISO, f.PlotMinISO};
            c.withCurrent = false;
            picTilt->plot(c);
        } else {
            picTilt->clear();
        }
        m_movie = Movie{};
        picMovie->setMovie(m_movie);
        prgMovie->reset(); // no percentage of a movie that is gone
        chkShowMovie->setChecked(false);
        chkShowMovie->setEnabled(false);
        btnSaveMovie->setEnabled(false);
        txtCurFile->setText(fd.FDFile);
        txtCurPav->setText(NumText(fd.FDPav));
        txtCurCrn->setText(NumText(fd.FDCrn));
    });
}

void PlayPenWindow::btnGemMat_Click()
{
    guarded("btnGemMat_Click", [&] {
        showPlayMatDialog(m_env.design, m_env.values.playMat, txtCurRI, txtCurDisp, this);
    });
}

void PlayPenWindow::CancelButton_Click()
{
    guarded("CancelButton_Click", [&] {
        RunnerEnv& r = m_env.runner;
        r.AbortFlag = true;
        if (!r.shell.TimedOut)
            r.console.bringToFront();
        storeWindowPosition(this, m_env.design.positions.TPlay, m_env.design.positions.LPlay);
        if (m_env.values.PlayFile != r.job.fnam)
            r.messages.message(QStringLiteral("Leaving PlayPen - Returning to GEM File ") + r.job.fnam);
        QDialog::reject();
    });
}

void PlayPenWindow::reject()
{
    if (CancelButton->isEnabled())
        CancelButton_Click();
}

void PlayPenWindow::btnMakeMovie_Click()
{
    setButtonsEnabled(false);
    picMovie->pause();
    chkShowMovie->setChecked(false);
    btnAbortMovie->setEnabled(true);
    m_abortMovie = false;
    RaytraceEnd end = RaytraceEnd::Refused;
    guarded("btnMakeMovie_Click", [&] {
        MovieSpec spec;
        spec.sweep = optOrbit->isChecked() ? Sweep::Orbit : Sweep::Rock;
        spec.image = MovieImage(cmbMovieImage->currentIndex());
        spec.frames = ToInteger(ReadBox(txtFrames->text(), QStringLiteral("Frames"), MovieFramesRange));
        const RaytraceBoxes boxes{txtCurPav->text(), txtCurCrn->text(), txtCurRI->text(),
                                  txtCurDisp->text(), txtCurDir->text(), txtCurAng->text()};
        prgMovie->setRange(0, spec.frames);
        prgMovie->setValue(0);
        Movie made;
        end = makeMovie(*m_pen, boxes, spec, made, [&](int done) {
            prgMovie->setValue(done);
            QCoreApplication::processEvents();
            return !m_abortMovie;
        });
        // A movie refused before its first frame leaves the last one as it was.
        if (!made.frames.empty() || end == RaytraceEnd::Done)
            m_movie = std::move(made);
    });
    btnAbortMovie->setEnabled(false);
    // The current images again, as the movie left them.
    guarded("btnMakeMovie_Click", [&] {
        const std::pair<GemImage*, const char*> current[] = {
            {imgCurRan, "ZEPr.BMP"}, {imgCurCos, "ZEPc.BMP"}, {ImgCurISO, "ZEPi.BMP"}};
        for (const auto& [image, name] : current)
            fileExists(m_pen->workFile(QLatin1String(name))) ? image->showFile(m_pen->workFile(QLatin1String(name)))
                                                             : image->clearImage();
    });
    picMovie->setMovie(m_movie);
    chkShowMovie->setEnabled(!m_movie.frames.empty());
    if (!m_movie.frames.empty()) {
        chkShowMovie->setChecked(true);
        picMovie->play();
    }
    if (end == RaytraceEnd::Aborted)
        CancelButton->setEnabled(true);
    else
        EnableButtons();
}

void PlayPenWindow::btnAbortMovie_Click()
{
    m_abortMovie = true;
}

void PlayPenWindow::btnSaveMovie_Click()
{
    guarded("btnSaveMovie_Click", [&] {
        // The chooser opens in the design's folder and offers the design's name.
        FileChooserExchange& gf = m_env.dialogs.fileChooser;
        gf.GFOpen = false;
        gf.GFPattern = QStringLiteral("*.GIF;*.WEBP");
        gf.GFTitle = QStringLiteral("Save Movie");
        gf.GFPrompt = QStringLiteral("Please locate the directory to store the movie");
        gf.GFTip = QStringLiteral("A name ending in .webp saves an animated WebP, any other an animated GIF.");
        if (!m_env.runner.job.GemDir.isEmpty())
            gf.GFDir = m_env.runner.job.GemDir;
        gf.GFSuggested = QFileInfo(m_env.values.PlayFile).completeBaseName() + QStringLiteral(".gif");
        const QString chosen = chooseSavePath(m_env.dialogs, QStringLiteral(".gif"), this);
        if (chosen.isEmpty())
            return;
        const QString path = movieFileName(chosen);
        if (path != chosen && fileExists(path)
            && !m_env.runner.messages.question(QStringLiteral("The file ") + path
                                               + QStringLiteral(" already exists. Replace it?")))
            return;
        const int scale = DefaultMovieScale;
        writeFileSafely(path, movieBytes(m_movie, path, scale, picMovie->delayCs()));
        const int side = ImageSide * scale;
        showStatus(QStringLiteral("Wrote %1 in %2: %3 frames of %4 x %4")
                       .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(QFileInfo(path).absolutePath()))
                       .arg(m_movie.savedOrder().size())
                       .arg(side),
                   StatusColours::System);
    });
}

void showPlayPen(PlayPenEnv& env, QWidget* parent)
{
    PlayPenWindow window(env, parent);
    window.exec();
}

} // namespace zep
