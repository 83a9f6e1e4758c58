#include "AnglesDialog.h"
#include "Materials.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "dialogs/WindowSupport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

namespace zep {

namespace {

QLineEdit* angleBox(const char* name, QWidget* parent)
{
    auto* box = named(new QLineEdit(parent), name);
    selectAllOnFocus(box);
    return box;
}

int component(int16_t v)
{
    return std::clamp(int(v), 0, 255);
}

} // namespace

QColor chooseColourWithDialog(const QColor& preset, QWidget* parent)
{
    return QColorDialog::getColor(preset, parent, QString(), QColorDialog::DontUseNativeDialog);
}

AnglesDialog::AnglesDialog(DesignEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
{
    setObjectName(QStringLiteral("frmAngDLOG"));
    setWindowTitle(QStringLiteral("Specify Angles and Materials"));

    // angles
    m_startPav = angleBox("specStartPav", this);
    m_minPav = angleBox("specMinPav", this);
    m_maxPav = angleBox("specMaxPav", this);
    m_startCrn = angleBox("specStartCrn", this);
    m_minCrn = angleBox("specMinCrn", this);
    m_maxCrn = angleBox("specMaxCrn", this);
    m_fixPav = named(new QCheckBox(QStringLiteral("Fix Pavilion Angle"), this), "chkFixPav");
    m_fixCrn = named(new QCheckBox(QStringLiteral("Fix Crown Angle"), this), "chkFixCrn");

    auto* angles = new QGridLayout;
    auto angleRow = [&](int row, const QString& start, QLineEdit* st, QLineEdit* mn, QLineEdit* mx,
                        QCheckBox* fix) {
        angles->addWidget(new QLabel(start, this), row, 0);
        angles->addWidget(st, row, 1);
        angles->addWidget(new QLabel(QStringLiteral("Min"), this), row, 2);
        angles->addWidget(mn, row, 3);
        angles->addWidget(new QLabel(QStringLiteral("Max"), this), row, 4);
        angles->addWidget(mx, row, 5);
        angles->addWidget(fix, row, 6);
    };
    angleRow(0, QStringLiteral("Start Pavilion Angle"), m_startPav, m_minPav, m_maxPav, m_fixPav);
    angleRow(1, QStringLiteral("Start Crown Angle"), m_startCrn, m_minCrn, m_maxCrn, m_fixCrn);

    auto* help = new QLabel(QStringLiteral(
        "Select start angles from appropriate pavilion and crown facets of the input design (for "
        "example the breaks). Then specify minimum and maximum values for these angles. This "
        "determines how far the optimization can wander in search of a good solution. Select Fix "
        "to prevent optimization."), this);
    help->setWordWrap(true);

    // refractive index
    auto* riFrame = new QGroupBox(QStringLiteral("Specify Refractive Index"), this);
    m_optFile = named(new QRadioButton(QStringLiteral("Use value in GemCAD file"), riFrame), "optFile");
    m_optSpecRI = named(new QRadioButton(QStringLiteral("Specify RI and dispersion"), riFrame), "optSpecRI");
    m_optSelMat = named(new QRadioButton(QStringLiteral("Select Gem material:"), riFrame), "optSelMat");
    auto* group = new QButtonGroup(this);
    for (QRadioButton* o : {m_optFile, m_optSpecRI, m_optSelMat})
        group->addButton(o);
    m_specRI = named(new QLineEdit(riFrame), "specRI");
    m_specDisp = named(new QLineEdit(riFrame), "specDisp");
    m_specDensity = named(new QLineEdit(riFrame), "specDensity");
    m_lstMatl = named(new QListWidget(riFrame), "lstMatl");
    m_lstMatl->setSelectionMode(QAbstractItemView::SingleSelection);
    m_caMin = named(new QPushButton(QStringLiteral("Set Min Pav using CA"), riFrame), "btnCAmin");
    m_caMax = named(new QPushButton(QStringLiteral("Set Max Pav using CA"), riFrame), "btnCAmax");
    auto* caNote = new QLabel(QStringLiteral("These buttons set the minimum or maximum ")
                                  + QStringLiteral("pavilion angles according to the critical ")
                                  + QStringLiteral("angle for the given material. See ")
                                  + QStringLiteral("online documentation for details."),
                              riFrame);
    caNote->setWordWrap(true);
    caNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* ri = new QGridLayout(riFrame);
    ri->addWidget(m_optFile, 0, 0, 1, 4);
    ri->addWidget(m_optSpecRI, 1, 0, 1, 4);
    ri->addWidget(new QLabel(QStringLiteral("R. I."), riFrame), 2, 0);
    ri->addWidget(m_specRI, 2, 1);
    ri->addWidget(new QLabel(QStringLiteral("dispersion"), riFrame), 2, 2);
    ri->addWidget(m_specDisp, 2, 3);
    ri->addWidget(new QLabel(QStringLiteral("Density"), riFrame), 2, 4);
    ri->addWidget(m_specDensity, 2, 5);
    ri->addWidget(m_optSelMat, 3, 0, 1, 4);
    ri->addWidget(m_lstMatl, 4, 0, 3, 2);
    ri->addWidget(m_caMin, 4, 2, 1, 2);
    ri->addWidget(m_caMax, 5, 2, 1, 2);
    ri->addWidget(caNote, 6, 2, 1, 2);

    // colour
    auto* colFrame = new QGroupBox(QStringLiteral("Gem Colour"), this);
    m_picCol = named(new QFrame(colFrame), "picCol");
    m_picCol->setFrameShape(QFrame::Box);
    m_picCol->setAutoFillBackground(true);
    m_picCol->setMinimumSize(48, 32);
    auto* selCol = named(new QPushButton(QStringLiteral("Select Colour"), colFrame), "btnSelCol");
    auto* col = new QVBoxLayout(colFrame);
    col->addWidget(m_picCol);
    col->addWidget(selCol);
    col->addWidget(new QLabel(QStringLiteral("Note:  Used for Colour Raytrace"), colFrame));
    col->addWidget(new QLabel(QStringLiteral("in PlayPen Only"), colFrame));
    col->addStretch(1);

    auto* ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    for (QPushButton* b : {m_caMin, m_caMax, selCol, ok, cancel})
        b->setAutoDefault(false);

    const bool tips = env.prefs.DoTips;
    setTip(selCol, tips, QStringLiteral("Select gem body colour"));
    setTip(ok, tips, QStringLiteral("Accept values and close window"));
    setTip(cancel, tips, QStringLiteral("Cancel - do not accept values"));

    auto* top = new QVBoxLayout(this);
    top->addLayout(angles);
    top->addWidget(help);
    auto* middle = new QHBoxLayout;
    middle->addWidget(riFrame, 3);
    middle->addWidget(colFrame, 1);
    top->addLayout(middle);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);

    placeWindow(this, env.positions.Tang, env.positions.Lang);
    fillFromJob();

    for (QRadioButton* o : {m_optFile, m_optSpecRI, m_optSelMat})
        connect(o, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                optionChosen();
        });
    connect(m_caMin, &QPushButton::clicked, this, [this] { caClicked(true); });
    connect(m_caMax, &QPushButton::clicked, this, [this] { caClicked(false); });
    connect(selCol, &QPushButton::clicked, this, &AnglesDialog::selectColourClicked);
    connect(ok, &QPushButton::clicked, this, &AnglesDialog::okClicked);
    connect(cancel, &QPushButton::clicked, this, &AnglesDialog::reject);
}

void AnglesDialog::fillFromJob()
{
    const JobState& job = m_env.job;
    m_startPav->setText(NumText(job.stPav));
    m_startCrn->setText(NumText(job.stCrn));
    m_minPav->setText(NumText(job.minPav));
    m_maxPav->setText(NumText(job.maxPav));
    m_minCrn->setText(NumText(job.minCrn));
    m_maxCrn->setText(NumText(job.maxCrn));
    m_fixPav->setChecked(job.fixPav);
    m_fixCrn->setChecked(job.fixCrn);

    m_lstMatl->addItems(m_env.materials.Mat);

    if (job.useFileRI || !(job.useSpecRI || job.useMatRI))
        m_optFile->setChecked(true);
    if (job.useSpecRI) {
        m_optSpecRI->setChecked(true);
        m_specRI->setText(NumText(job.theRI));
        m_specDisp->setText(NumText(job.theDisp));
        if (job.theDensity > 0)
            m_specDensity->setText(NumText(job.theDensity).trimmed());
    }
    if (job.useMatRI) {
        m_optSelMat->setChecked(true);
        const auto found = m_lstMatl->findItems(job.theMat, Qt::MatchExactly);
        if (!found.isEmpty())
            m_lstMatl->setCurrentItem(found.first());
    }

    m_caMin->setEnabled(!job.useFileRI);
    m_caMax->setEnabled(!job.useFileRI);

    setColour(QColor(component(job.theRCol), component(job.theGCol), component(job.theBCol)));
}

void AnglesDialog::optionChosen()
{
    const bool caUsable = !m_optFile->isChecked();
    m_caMin->setEnabled(caUsable);
    m_caMax->setEnabled(caUsable);
    if (m_optSpecRI->isChecked() && m_specDisp->text().isEmpty())
        m_specDisp->setText(QStringLiteral("0"));
}

void AnglesDialog::setColour(const QColor& c)
{
    m_colour = c;
    QPalette p = m_picCol->palette();
    p.setColor(QPalette::Window, c);
    m_picCol->setPalette(p);
}

QString AnglesDialog::selectedMaterial() const
{
    const auto items = m_lstMatl->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

AngleEntry AnglesDialog::entry() const
{
    AngleEntry e;
    e.startPav = m_startPav->text();
    e.minPav = m_minPav->text();
    e.maxPav = m_maxPav->text();
    e.startCrn = m_startCrn->text();
    e.minCrn = m_minCrn->text();
    e.maxCrn = m_maxCrn->text();
    e.fixPav = m_fixPav->isChecked();
    e.fixCrn = m_fixCrn->isChecked();
    e.source = m_optSpecRI->isChecked() ? RISource::Specified
        : m_optSelMat->isChecked()      ? RISource::Material
                                        : RISource::File;
    e.specRI = m_specRI->text();
    e.specDisp = m_specDisp->text();
    e.specDensity = m_specDensity->text();
    e.material = selectedMaterial();
    e.colour = colourValue(m_colour.red(), m_colour.green(), m_colour.blue());
    return e;
}

void AnglesDialog::caClicked(bool minimum)
{
    std::optional<double> ca;
    const bool computed = runRoutine(m_env.messages, QStringLiteral("CalcCA"), [&] {
        ca = CalcCA({m_optSpecRI->isChecked(), m_specRI->text(), selectedMaterial()}, m_env.materials,
                    m_env.messages);
    });
    if (!computed || !ca)
        return;
    runRoutine(m_env.messages, minimum ? QStringLiteral("btnCAmin_Click") : QStringLiteral("btnCAmax_Click"), [&] {
        (minimum ? m_minPav : m_maxPav)->setText(minimum ? minPavFromCA(*ca) : maxPavFromCA(*ca));
    });
}

void AnglesDialog::selectColourClicked()
{
    const QColor chosen = m_env.pickColour ? m_env.pickColour(m_colour, this)
                                           : chooseColourWithDialog(m_colour, this);
    if (chosen.isValid())
        setColour(chosen);
}

void AnglesDialog::okClicked()
{
    bool stored = false;
    runRoutine(m_env.messages, QStringLiteral("OKButton_Click"),
               [&] { stored = storeAngleEntry(entry(), m_env.job, m_env.materials, m_env.messages); });
    if (!stored)
        return;
    storeWindowPosition(this, m_env.positions.Tang, m_env.positions.Lang);
    accept();
}

void showAnglesDialog(DesignEnv& env, QWidget* parent)
{
    AnglesDialog dialog(env, parent);
    dialog.exec();
}

} // namespace zep
