// frmPlayMatDLOG "PlayPen Gem Material": the material and body colour of the
// PlayPen.
#include "playpen/PlayPenWindow.h"

#include "common/Messages.h"
#include "common/NumText.h"
#include "design/AngleEntry.h"
#include "design/Materials.h"
#include "dialogs/WindowSupport.h"

#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace zep {

namespace {

class PlayMatDialog : public QDialog {
public:
    PlayMatDialog(DesignEnv& env, QString& playMat, QLineEdit* ri, QLineEdit* disp, QWidget* parent)
        : QDialog(parent), m_env(env), m_playMat(playMat), m_ri(ri), m_disp(disp)
    {
        setObjectName(QStringLiteral("frmPlayMatDLOG"));
        setWindowTitle(QStringLiteral("PlayPen Gem Material"));

        auto* matFrame = new QGroupBox(QStringLiteral("Select Gem Material"), this);
        m_list = named(new QListWidget(matFrame), "lstMatl");
        m_list->setSelectionMode(QAbstractItemView::SingleSelection);
        auto* ml = new QVBoxLayout(matFrame);
        ml->addWidget(m_list);
        ml->addWidget(new QLabel(QStringLiteral("Gem material for PlayPen"), matFrame));

        auto* colFrame = new QGroupBox(QStringLiteral("Gem Colour"), this);
        m_picCol = named(new QFrame(colFrame), "picCol");
        m_picCol->setFrameShape(QFrame::Box);
        m_picCol->setAutoFillBackground(true);
        m_picCol->setMinimumSize(64, 40);
        m_selCol = named(new QPushButton(QStringLiteral("Select Colour"), colFrame), "btnSelCol");
        auto* cl = new QVBoxLayout(colFrame);
        cl->addWidget(m_picCol);
        cl->addWidget(m_selCol);
        cl->addWidget(new QLabel(QStringLiteral("Note:  Used for Colour Raytrace"), colFrame));
        cl->addStretch(1);

        auto* tipFrame = new QGroupBox(QStringLiteral("Tip"), this);
        auto* tip = new QLabel(QStringLiteral(
            "Select gemstone material for automatic entry of Refractive Index and Dispersion values. "
            "The Gem Colour establishes the body colour in Colour Raytrace mode."), tipFrame);
        tip->setWordWrap(true);
        (new QVBoxLayout(tipFrame))->addWidget(tip);

        m_ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
        m_cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
        m_ok->setDefault(true);
        m_selCol->setAutoDefault(false);

        auto* top = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        row->addWidget(matFrame);
        auto* side = new QVBoxLayout;
        side->addWidget(colFrame);
        side->addWidget(tipFrame);
        row->addLayout(side);
        top->addLayout(row);
        top->addLayout(buttonRow({m_ok, m_cancel}));
        setMinimumWidth(460);

        connect(m_selCol, &QPushButton::clicked, this, [this] {
            runRoutine(m_env.messages, QStringLiteral("btnSelCol_Click"), [this] { selectColour(); });
        });
        connect(m_ok, &QPushButton::clicked, this, [this] {
            runRoutine(m_env.messages, QStringLiteral("OKButton_Click"), [this] { ok(); });
        });
        connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
        runRoutine(m_env.messages, QStringLiteral("Form_Load"), [this] { load(); });
    }

private:
    void load()
    {
        placeWindow(this, m_env.positions.TPMat, m_env.positions.LPMat);
        m_list->addItems(m_env.materials.Mat);
        const auto found = m_list->findItems(m_playMat, Qt::MatchExactly);
        if (!found.isEmpty())
            m_list->setCurrentItem(found.first());
        const JobState& job = m_env.job;
        const auto c = [](int16_t v) { return std::clamp(int(v), 0, 255); };
        setColour(QColor(c(job.theRCol), c(job.theGCol), c(job.theBCol)));
        const bool tips = m_env.prefs.DoTips;
        setTip(m_selCol, tips, QStringLiteral("Select body colour for gem"));
        setTip(m_cancel, tips, QStringLiteral("Cancel - do not accept values"));
        setTip(m_ok, tips, QStringLiteral("Accept values"));
    }

    void setColour(const QColor& c)
    {
        m_colour = c;
        QPalette p = m_picCol->palette();
        p.setColor(QPalette::Window, c);
        m_picCol->setPalette(p);
    }

    void selectColour()
    {
        const QColor chosen = m_env.pickColour ? m_env.pickColour(m_colour, this)
                                               : chooseColourWithDialog(m_colour, this);
        if (chosen.isValid())
            setColour(chosen);
    }

    void ok()
    {
        const auto selected = m_list->selectedItems();
        m_playMat = selected.isEmpty() ? QString() : selected.first()->text();
        // An unknown material ends here (Subscript out of range).
        const double ri = m_env.materials.riOf(m_playMat);
        const double disp = m_env.materials.dispOf(m_playMat);
        m_ri->setText(NumText(ri));
        m_disp->setText(NumText(disp));
        splitColour(colourValue(m_colour.red(), m_colour.green(), m_colour.blue()), m_env.job);
        storeWindowPosition(this, m_env.positions.TPMat, m_env.positions.LPMat);
        accept();
    }

    DesignEnv& m_env;
    QString& m_playMat;
    QLineEdit* m_ri;
    QLineEdit* m_disp;
    QListWidget* m_list;
    QFrame* m_picCol;
    QPushButton *m_selCol, *m_ok, *m_cancel;
    QColor m_colour;
};

} // namespace

void showPlayMatDialog(DesignEnv& env, QString& playMat, QLineEdit* ri, QLineEdit* disp, QWidget* parent)
{
    PlayMatDialog dialog(env, playMat, ri, disp, parent);
    dialog.exec();
}

} // namespace zep
