#include "MapperWindow.h"
#include "MapWidgets.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "dialogs/FileChooser.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/WindowSupport.h"
#include "mapper/MapPeaks.h"
#include "merit/CurrentGemPanel.h"
#include "merit/Evaluation.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTransform>
#include <QVBoxLayout>

#include <string_view>

namespace zep {

namespace {

// The 88 × 88 map at 352 × 352, or at 528 × 528 where the screen has room.
int mapScale(const QWidget* w)
{
    return availableScreenSize(w).height() >= 900 ? 6 : 4;
}
constexpr int StripWidth = 20;        // the colour scale: 256 indices, one or two pixels each

QLineEdit* valueBox(const char* name, QWidget* parent, int characters = 8)
{
    auto* box = named(new QLineEdit(parent), name);
    box->setReadOnly(true);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QLatin1Char('8')) * characters + 14);
    return box;
}

QImage loadPicture(const QString& file)
{
    QImage image;
    if (!image.load(file))
        throw ZepError(fileExists(file) ? err::DeviceIO : err::FileNotFound);
    return image;
}

class MapperWindow : public QDialog, public MapperView {
public:
    MapperWindow(MapperWindowEnv env, QWidget* parent);
    void Form_Load();

    // MapperView
    void setText(const char* box, const QString& text) override;
    void enable(const char* control, bool on) override;
    void drawBar(const MeritBar& bar) override;
    void showMap(const QString& bitmapFile) override;
    void showColourStrip(const QByteArray& bitmap) override;
    void showGem(const QString& bitmapFile) override;
    void letEventsRun() override { QCoreApplication::processEvents(); }
    void beep() override { QApplication::beep(); }

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void buildMapGroup(QBoxLayout* column);
    void buildBarArea(QBoxLayout* area);
    void btnCancel_Click();
    void btnSave_Click();
    void btnLoad_Click();
    void btnResetLims_Click();
    // The chooser's texts for saving or loading a map file.
    void setUpMapChooser(bool save);
    // "Use as Start Angles" after a run, a load or an opening: on when the
    // map holds a result; the framed cell, if any, is the clicked one.
    void offerStartAngles();
    void cmdUseAsStart_Click();

    MapperWindowEnv m_env;
    CurrentGemPanel* m_panel;
    std::unique_ptr<RaytraceRunner> m_runner;
    std::unique_ptr<MeritEnv> m_merit;
    std::unique_ptr<Mapper> m_logic;

    QPushButton *btnGo, *btnAbort, *btnCancel, *btnLoad, *btnSave, *btnResetLims;
    QCheckBox* chkShift;
    QRadioButton *optMerit, *optWorst;
    PixelPicture *imgMFMap, *imgCLUT;
    MeritBarPicture* picMF;
    QPushButton* cmdUseAsStart;
    std::optional<CellIndex> m_clicked; // the cell last clicked on this map
};

MapperWindow::MapperWindow(MapperWindowEnv env, QWidget* parent)
    : QDialog(parent), m_env(std::move(env))
{
    setObjectName(QStringLiteral("frmMFMap"));
    setWindowTitle(QStringLiteral("Merit Function Map"));

    auto* top = new QVBoxLayout(this);
    btnGo = named(new QPushButton(QStringLiteral("Go"), this), "btnGo");
    btnAbort = named(new QPushButton(QStringLiteral("Abort"), this), "btnAbort");
    btnCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    btnLoad = named(new QPushButton(QStringLiteral("Load"), this), "btnLoad");
    btnSave = named(new QPushButton(QStringLiteral("Save"), this), "btnSave");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnGo, btnAbort, btnCancel, btnLoad, btnSave}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    top->addLayout(buttons);

    auto* body = new QHBoxLayout;
    top->addLayout(body);
    auto* left = new QVBoxLayout;
    body->addLayout(left);
    auto* options = new QGroupBox(QStringLiteral("Options"), this);
    auto* optionsLayout = new QHBoxLayout(options);
    chkShift = named(new QCheckBox(QStringLiteral("Shift to include optimized angles"), options), "chkShift");
    optionsLayout->addWidget(chkShift);
    // The view, on the same line: the merit function, or the worst a cutter
    // may get who misses a cell's angles by up to one step of the grid.
    optMerit = named(new QRadioButton(QStringLiteral("Merit"), options), "optMerit");
    optWorst = named(new QRadioButton(QStringLiteral("Worst within \u00b1t"), options), "optWorst");
    optMerit->setChecked(true);
    optionsLayout->addStretch();
    optionsLayout->addWidget(optMerit);
    optionsLayout->addWidget(optWorst);
    left->addWidget(options);
    buildMapGroup(left);
    cmdUseAsStart = named(new QPushButton(QStringLiteral("Use as Start Angles"), this), "cmdUseAsStart");
    cmdUseAsStart->setAutoDefault(false);
    cmdUseAsStart->setEnabled(false);
    left->addWidget(cmdUseAsStart, 0, Qt::AlignLeft);
    // What the map belongs to and where it is kept.
    auto* source = named(new QLabel(this), "lblMapSource");
    source->setWordWrap(true);
    source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    left->addWidget(source);
    left->addStretch();

    m_panel = new CurrentGemPanel(this);
    body->addWidget(m_panel, 0, Qt::AlignTop);
    buildBarArea(m_panel->extraArea());

    m_runner = std::make_unique<RaytraceRunner>(m_env.runnerEnv(RaytraceViews{nullptr, m_panel}));
    const MapperEnv& e = m_env.mapper;
    m_merit = std::make_unique<MeritEnv>(MeritEnv{*m_runner, e.targets, e.job, m_env.images, e.bitmaps,
                                                  e.merit, e.AbortFlag, e.messages});
    m_logic = std::make_unique<Mapper>(m_env.mapper, *this, [this](float pav, float crn) {
        evalMF(*m_merit, pav, crn, QStringLiteral("MFM"));
    });

    connect(btnGo, &QPushButton::clicked, this, [this] {
        m_logic->btnGo_Click(m_env.itPav, m_env.itCrn);
        offerStartAngles();
    });
    connect(cmdUseAsStart, &QPushButton::clicked, this, &MapperWindow::cmdUseAsStart_Click);
    connect(btnAbort, &QPushButton::clicked, this, [this] { m_logic->btnAbort_Click(); });
    connect(btnCancel, &QPushButton::clicked, this, &MapperWindow::btnCancel_Click);
    connect(btnLoad, &QPushButton::clicked, this, &MapperWindow::btnLoad_Click);
    connect(btnSave, &QPushButton::clicked, this, &MapperWindow::btnSave_Click);
    connect(btnResetLims, &QPushButton::clicked, this, &MapperWindow::btnResetLims_Click);
    connect(chkShift, &QCheckBox::toggled, this, [this](bool on) { m_logic->chkShift = on; });
    connect(optWorst, &QRadioButton::toggled, this, [this](bool on) { m_logic->setWorstView(on); });
    connect(imgCLUT, &PixelPicture::released, this, [this](QPointF) { m_logic->imgCLUT_Click(); });
    connect(imgMFMap, &PixelPicture::released, this,
            [this](QPointF p) {
                m_logic->imgMFMap_MouseUp(p.x(), p.y());
                if (const auto cell = cellAt(p.x(), p.y(), MapPixelSide, MapPixelSide))
                    m_clicked = cell;
            });
}

void MapperWindow::buildMapGroup(QBoxLayout* column)
{
    auto* group = new QGroupBox(QStringLiteral("Merit Function Map"), this);
    auto* grid = new QGridLayout(group);
    const int zoom = mapScale(this);
    imgMFMap = named(new PixelPicture(QSize(MapPixelSide, MapPixelSide), zoom, zoom, group), "imgMFMap");
    imgCLUT = named(new PixelPicture(QSize(1, 256), StripWidth, zoom / 3, group), "imgCLUT");

    // The crown axis at the map's left, the pavilion axis under it.
    auto* crownAxis = new QVBoxLayout;
    crownAxis->addWidget(valueBox("txtCrnMax", group, 7));
    crownAxis->addStretch();
    crownAxis->addWidget(new QLabel(QStringLiteral("Crown"), group), 0, Qt::AlignCenter);
    crownAxis->addStretch();
    crownAxis->addWidget(valueBox("txtCrnMin", group, 7));
    grid->addLayout(crownAxis, 0, 0);
    grid->addWidget(imgMFMap, 0, 1);
    auto* pavAxis = new QHBoxLayout;
    pavAxis->addWidget(valueBox("txtPavMin", group, 7));
    pavAxis->addStretch();
    pavAxis->addWidget(new QLabel(QStringLiteral("Pavilion Angle"), group));
    pavAxis->addStretch();
    pavAxis->addWidget(valueBox("txtPavMax", group, 7));
    grid->addLayout(pavAxis, 1, 1);

    // The colour scale at the right, its limits at its ends.
    auto* scale = new QVBoxLayout;
    scale->addWidget(valueBox("txtCMax", group, 11));
    scale->addStretch();
    scale->addWidget(imgCLUT, 0, Qt::AlignHCenter);
    scale->addStretch();
    scale->addWidget(valueBox("txtCMin", group, 11));
    grid->addLayout(scale, 0, 2);

    btnResetLims = named(new QPushButton(QStringLiteral("Change Colour Map Limits"), group), "btnResetLims");
    btnResetLims->setAutoDefault(false);
    grid->addWidget(btnResetLims, 2, 1, 1, 2, Qt::AlignRight);
    column->addWidget(group);
}

void MapperWindow::buildBarArea(QBoxLayout* area)
{
    auto* barAndLegend = new QHBoxLayout;
    auto* barColumn = new QVBoxLayout;
    barColumn->addWidget(new QLabel(QStringLiteral("MF"), this), 0, Qt::AlignHCenter);
    barColumn->addWidget(valueBox("txtMFMax", this, 11));
    picMF = named(new MeritBarPicture(this), "picMF");
    barColumn->addWidget(picMF, 0, Qt::AlignHCenter);
    QLineEdit* mfMin = valueBox("txtMFMin", this, 11);
    mfMin->setText(QStringLiteral("0"));
    barColumn->addWidget(mfMin);
    barAndLegend->addLayout(barColumn);

    auto* legend = new QVBoxLayout;
    legend->addStretch();
    const char* names[5] = {"ISO", "Illum.", "Tilt", "Sparkle", "Fire"};
    for (int k = 0; k < 5; ++k) {
        auto* row = new QHBoxLayout;
        auto* square = new QLabel(this);
        square->setFixedSize(14, 14);
        square->setStyleSheet(QStringLiteral("background-color: rgb(%1, %2, %3); border: 1px solid gray;")
                                  .arg(BarColours[k].r)
                                  .arg(BarColours[k].g)
                                  .arg(BarColours[k].b));
        row->addWidget(square);
        row->addWidget(new QLabel(QLatin1String(names[k]), this));
        row->addStretch();
        legend->addLayout(row);
    }
    legend->addStretch();
    barAndLegend->addLayout(legend);
    area->addLayout(barAndLegend);

    auto* figures = new QGridLayout;
    figures->addWidget(new QLabel(QStringLiteral("Max MF"), this), 0, 0);
    figures->addWidget(valueBox("txtMaxMF", this, 10), 0, 1);
    figures->addWidget(new QLabel(QStringLiteral("Current MF"), this), 1, 0);
    figures->addWidget(valueBox("txtCurMF", this, 10), 1, 1);
    figures->addWidget(new QLabel(QStringLiteral("Worst neighbour"), this), 2, 0);
    figures->addWidget(valueBox("txtWorstMF", this, 10), 2, 1);
    figures->addWidget(named(new QLabel(this), "lblWorstAt"), 3, 1);
    area->addLayout(figures);
    area->addStretch();
}

void MapperWindow::Form_Load()
{
    const MapperEnv& e = m_env.mapper;
    placeWindow(this, m_env.dialogs.positions.TMFM, m_env.dialogs.positions.LMFM);
    const bool tips = m_env.dialogs.prefs.DoTips;
    setTip(imgCLUT, tips, QStringLiteral("Click to change colours"));
    setTip(imgMFMap, tips, QStringLiteral("Click to see Gem"));
    setTip(optWorst, tips, QStringLiteral("Each cell coloured by the worst merit function of its 3 x 3 neighbourhood "
                                          "(t: one step of the grid); Use as Start Angles takes its best cell"));
    setTip(btnLoad, tips, QStringLiteral("Click to load a saved MF Map"));
    setTip(btnSave, tips, QStringLiteral("Click to save current MF Map"));
    setTip(btnResetLims, tips, QStringLiteral("Set MF values for top/bottom of colour map"));
    setTip(btnGo, tips, QStringLiteral("Start MF Map"));
    setTip(btnAbort, tips, QStringLiteral("Abort MF Map"));
    setTip(btnCancel, tips, QStringLiteral("Close Window"));
    m_logic->Form_Load();
    offerStartAngles(); // a map kept from an earlier opening
    readMasks(e.targets, m_env.images, m_env.bitmaps.BMP_Header, e.messages);
}

void MapperWindow::setText(const char* box, const QString& text)
{
    if (box == std::string_view("InfoWin"))
        m_panel->showStatus(text, StatusColours::System);
    else if (auto* b = findChild<QLineEdit*>(QLatin1String(box))) {
        b->setText(text);
        b->setCursorPosition(0);
    } else if (auto* l = findChild<QLabel*>(QLatin1String(box))) {
        l->setText(text);
    }
}

void MapperWindow::enable(const char* control, bool on)
{
    if (auto* w = findChild<QWidget*>(QLatin1String(control)))
        w->setEnabled(on);
}

void MapperWindow::drawBar(const MeritBar& bar)
{
    picMF->setBar(bar);
    picMF->repaint();
}

void MapperWindow::showMap(const QString& bitmapFile)
{
    imgMFMap->setImage(loadPicture(bitmapFile));
}

void MapperWindow::showColourStrip(const QByteArray& bitmap)
{
    // The 256 × 1 strip stands upright: index 255 at the top.
    const QImage strip = QImage::fromData(bitmap, "BMP");
    imgCLUT->setImage(strip.transformed(QTransform().rotate(-90)));
}

void MapperWindow::showGem(const QString& bitmapFile)
{
    m_panel->showPicture(bitmapFile);
    m_panel->repaintNow();
}

void MapperWindow::btnCancel_Click()
{
    storeWindowPosition(this, m_env.dialogs.positions.TMFM, m_env.dialogs.positions.LMFM);
    m_logic->btnCancel_Click();
    done(QDialog::Rejected);
}

void MapperWindow::closeEvent(QCloseEvent* e)
{
    // The frame's close button is Cancel, and like it waits for a run to end.
    e->ignore();
    if (btnCancel->isEnabled())
        btnCancel_Click();
}

void MapperWindow::reject()
{
    if (btnCancel->isEnabled())
        btnCancel_Click();
}

void MapperWindow::setUpMapChooser(bool save)
{
    FileChooserExchange& gf = m_env.dialogs.fileChooser;
    gf.GFPattern = QStringLiteral("*.MFM");
    gf.GFOK = false;
    gf.GFOpen = !save;
    if (save) {
        gf.GFTitle = QStringLiteral("Save Merit Function Map");
        gf.GFPrompt = QStringLiteral("Please locate the directory to store the MF Map");
        gf.GFTip = QStringLiteral("Navigate to the directory where you wish to place the Merit Function data and "
                                  "enter a filename. NOTE: Don't forget the .MFM extension!");
    } else {
        gf.GFTitle = QStringLiteral("Load Merit Function Map");
        gf.GFPrompt = QStringLiteral("Please locate the directory containing the MF Map");
        gf.GFTip = QStringLiteral("Navigate to the directory containing the Merit Function file and select it from "
                                  "the file box. If you don't see the file, you may have forgotten to add the .MFM "
                                  "extension. Add this extension and try again.");
    }
}

void MapperWindow::btnSave_Click()
{
    // The chooser opens in the design's folder and offers the design's name.
    FileChooserExchange& gf = m_env.dialogs.fileChooser;
    if (!m_env.mapper.job.GemDir.isEmpty())
        gf.GFDir = m_env.mapper.job.GemDir;
    gf.GFSuggested = m_logic->suggestedMapName();
    setUpMapChooser(true);
    const QString path = chooseSavePath(m_env.dialogs, QStringLiteral(".MFM"), this);
    if (!path.isEmpty())
        m_logic->saveMap(path);
}

void MapperWindow::btnLoad_Click()
{
    setUpMapChooser(false);
    showFileChooser(m_env.dialogs, this);
    if (m_env.dialogs.fileChooser.GFOK) {
        m_logic->loadMap(joinPath(m_env.dialogs.fileChooser.GFDir, m_env.dialogs.fileChooser.GFFile));
        offerStartAngles();
    }
}

void MapperWindow::offerStartAngles()
{
    // The cell still framed (kept through a Load and a new opening) counts as clicked.
    const MapStore& m = m_env.mapper.map;
    m_clicked.reset();
    if (m.clickedI >= 0 && m.clickedJ >= 0)
        m_clicked = CellIndex{m.clickedI, m.clickedJ};
    cmdUseAsStart->setEnabled(bestCell(m.MFGrid, cellsWithResults(m)).has_value());
}

void MapperWindow::cmdUseAsStart_Click()
{
    const MapperEnv& e = m_env.mapper;
    // In the view "Worst within ±t" the best cell is that view's.
    const Grid view = m_logic->viewGrid();
    if (const auto angles = startAnglesFromMap(e.map, m_clicked, e.job, e.messages, &view); angles && m_env.useAsStart)
        m_env.useAsStart(angles->first, angles->second);
}

void MapperWindow::btnResetLims_Click()
{
    FourNumExchange& fn = m_env.dialogs.fourNum;
    fn.NA1 = m_env.mapper.map.CMFMax;
    fn.NA2 = m_env.mapper.map.CMFMin;
    fn.NQ1 = QStringLiteral("Enter Max MF Value for Plot");
    fn.NQ2 = QStringLiteral("Enter Min MF Value for Plot");
    fn.NQ3.clear();
    fn.NQ4.clear();
    fn.title = QStringLiteral("Enter MF Map Limits");
    // Reversed limits keep the dialog open, as letters do.
    fn.refusal = [](const std::array<float, 4>& typed) { return Mapper::reversedLimitsText(typed[0], typed[1]); };
    showFourNums(m_env.dialogs, this);
    if (fn.NAnswer)
        m_logic->setColourLimits(fn.NA1, fn.NA2);
}

} // namespace

void showMapper(MapperWindowEnv env, QWidget* parent)
{
    MapperWindow w(std::move(env), parent);
    w.Form_Load();
    w.exec();
}

} // namespace zep
