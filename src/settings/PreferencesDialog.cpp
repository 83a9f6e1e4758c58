#include "PreferencesDialog.h"
#include "common/KeyNotation.h"
#include "common/KeyValue.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/WindowSupport.h"
#include "settings/PreferencesFile.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace zep {

namespace {

class PreferencesDialog : public QDialog {
public:
    PreferencesDialog(DialogEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
    {
        setObjectName(QStringLiteral("frmPrefsDLOG"));
        setWindowTitle(QStringLiteral("Customize ZEP"));
        auto* layout = new QVBoxLayout(this);
        m_atol = box(layout, "txtATol", "lblATol",
                     QStringLiteral("Angle Tolerance - Optimization stops when step size is below this value"));
        m_dosPaste = box(layout, "txtDP", "lblDP",
                         QStringLiteral("Keystroke sequence to paste into a DOS window (typically %<spacebar>EP)"));
        m_tout = box(layout, "txtTout", "lblTout",
                     QStringLiteral("GemRay (DOS window) time-out interval. ZEP aborts after this many seconds"));
        m_threads = box(layout, "txtThreads", "lblThreads",
                        QStringLiteral("Ray tracer threads for each raytrace (0: one per core; "
                                       "takes effect when the console next starts)"));
        m_cutTol = box(layout, "txtCutTol", "lblCutTol",
                       QStringLiteral("Cutting tolerance - how far (degrees, 0 to 1) the angles may miss when cut"));
        m_cutRobust = new QCheckBox(QStringLiteral("Optimize for the tolerance"), this);
        m_cutRobust->setObjectName(QStringLiteral("chkCutRobust"));
        layout->addWidget(m_cutRobust);
        m_doBat = new QCheckBox(
            QStringLiteral("Use batch files instead of DOS window paste (may be faster on some systems)"), this);
        m_doBat->setObjectName(QStringLiteral("chkDoBat"));
        m_tips = new QCheckBox(QStringLiteral("Show Tool Tips (hints / info when cursor pauses over controls)"), this);
        m_tips->setObjectName(QStringLiteral("chkTips"));
        layout->addWidget(m_doBat);
        layout->addWidget(m_tips);

        m_ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
        m_ok->setDefault(true);
        m_cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
        layout->addLayout(buttonRow({m_ok, m_cancel}));

        connect(m_ok, &QPushButton::clicked, this,
                [this] { runRoutine(m_env.messages, QStringLiteral("OKButton_Click"), [this] { okClick(); }); });
        connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
        runRoutine(m_env.messages, QStringLiteral("Form_Load"), [this] { load(); });
    }

    // Cancel stores nothing, not even the position.
    void reject() override
    {
        runRoutine(m_env.messages, QStringLiteral("CancelButton_Click"), [this] { QDialog::reject(); });
    }

private:
    QLineEdit* box(QVBoxLayout* layout, const char* name, const char* labelName, const QString& caption)
    {
        auto* l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(labelName));
        auto* b = new QLineEdit(this);
        b->setObjectName(QLatin1String(name));
        l->setBuddy(b);
        selectAllOnFocus(b);
        layout->addWidget(l);
        layout->addWidget(b);
        return b;
    }

    void load()
    {
        placeWindow(this, m_env.positions.TPrefs, m_env.positions.LPrefs);
        const Preferences& p = m_env.prefs;
        m_atol->setText(NumText(p.ATol));
        m_dosPaste->setText(p.DosPaste);
        m_tout->setText(NumText(p.Tout));
        m_threads->setText(NumText(p.Threads));
        m_cutTol->setText(NumText(p.CutTol));
        m_cutRobust->setChecked(p.CutRobust);
        m_doBat->setChecked(p.DoBat);
        m_tips->setChecked(p.DoTips);
        setTip(m_tips, p.DoTips, QStringLiteral("Click here to shut me up"));
        setTip(m_ok, p.DoTips, QStringLiteral("Accept values"));
        setTip(m_cancel, p.DoTips, QStringLiteral("Cancel - do not accept values"));
    }

    void okClick()
    {
        PreferenceEntries in;
        in.ATol = m_atol->text();
        in.DosPaste = m_dosPaste->text();
        in.Tout = m_tout->text();
        in.Threads = m_threads->text();
        in.CutTol = m_cutTol->text();
        in.CutRobust = m_cutRobust->isChecked();
        in.DoBat = m_doBat->checkState() != Qt::Unchecked;
        in.DoTips = m_tips->checkState() != Qt::Unchecked;
        takePreferenceEntries(in, m_env.prefs);
        writePreferences(m_env.workPath + QStringLiteral("ZEPPrefs.txt"), m_env.prefs);
        storeWindowPosition(this, m_env.positions.TPrefs, m_env.positions.LPrefs);
        QDialog::accept();
    }

    DialogEnv& m_env;
    QLineEdit* m_atol;
    QLineEdit* m_dosPaste;
    QLineEdit* m_tout;
    QLineEdit* m_threads;
    QLineEdit* m_cutTol;
    QCheckBox* m_cutRobust;
    QCheckBox* m_doBat;
    QCheckBox* m_tips;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace

void takePreferenceEntries(const PreferenceEntries& in, Preferences& prefs)
{
    // Every box is checked before anything is taken: a refused value leaves
    // every preference as it was.
    const float atol = ToSingle(ReadBox(in.ATol, QStringLiteral("Angle Tolerance"), BoxRange{0, 10, true}));
    const float tout = ToSingle(ReadBox(in.Tout, QStringLiteral("time-out interval"), BoxRange{0, 3600, true}));
    const double threads = ReadBox(in.Threads, QStringLiteral("Ray tracer threads"), BoxRange{0, double(MaxThreads)});
    if (threads != std::floor(threads))
        throw ZepError(err::InvalidCall, QStringLiteral("The box \"Ray tracer threads\" needs a whole number "
                                                        "from 0 to %1.").arg(MaxThreads));
    const float cutTol = ToSingle(ReadBox(in.CutTol, QStringLiteral("Cutting tolerance"), BoxRange{0, 1}));
    if (!kvStorable(in.DosPaste))
        throw ZepError(err::InvalidCall, kvNotStorableMessage(QStringLiteral("The keystroke sequence")));
    // A sequence the console cannot read would fail every paste, and the
    // start of ZEP with it.
    const KeyNotationResult keys = parseKeyNotation(in.DosPaste);
    if (!keys.ok())
        throw ZepError(err::InvalidCall, QStringLiteral("The keystroke sequence %1 cannot be used: %2")
                                             .arg(in.DosPaste, keys.error));
    prefs.ATol = atol;
    prefs.DosPaste = in.DosPaste;
    prefs.DoBat = in.DoBat;
    prefs.DoTips = in.DoTips;
    prefs.Tout = tout;
    prefs.Threads = int16_t(threads);
    prefs.CutTol = cutTol;
    prefs.CutRobust = in.CutRobust;
}

void showPreferences(DialogEnv& env, QWidget* parent)
{
    PreferencesDialog d(env, parent);
    d.exec();
}

} // namespace zep
