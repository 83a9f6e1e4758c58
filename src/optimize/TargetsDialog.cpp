// frmTargetDLOG, "Specify Optimization Targets": six tabs that edit the
// optimization targets, target files, the two masks and "Evaluate MF".
#include "optimize/OptimizeWindows.h"

#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "design/Materials.h"
#include "dialogs/DirectionPicture.h"
#include "dialogs/FileChooser.h"
#include "dialogs/WindowSupport.h"
#include "optimize/TargetFile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zep {

namespace {

QLabel* text(const QString& t, QWidget* parent)
{
    auto* l = new QLabel(t, parent);
    l->setWordWrap(true);
    return l;
}

class TargetsDialog : public QDialog {
public:
    TargetsDialog(TargetsEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
    {
        setObjectName(QStringLiteral("frmTargetDLOG"));
        setWindowTitle(QStringLiteral("Specify Optimization Targets"));

        m_tabs = named(new QTabWidget(this), "tbsTarget");
        const bool tips = env.dialogs.prefs.DoTips;
        struct Tab {
            const char* caption;
            const char* key;
            const char* tip;
            const char* frame;
        };
        const Tab tabs[6] = {
            {"General", "Gen", "Select targets and weights", "Targets and Weights"},
            {"ISO Brightness", "ISOB", "ISO brightness options", "ISO Brightness Options"},
            {"Illumination", "Ill", "Illumination pattern options", "Illumination Options"},
            {"Tilt", "Tilt", "Tilt performance options", "Tilt Options"},
            {"Sparkle", "Sparkle", "Sparkle performance options", "Sparkle Options"},
            {"Fire", "Fire", "Fire performance options", "Fire Options"},
        };
        QGroupBox* frames[6];
        for (int i = 0; i < 6; ++i) {
            frames[i] = new QGroupBox(QLatin1String(tabs[i].frame));
            frames[i]->setObjectName(QStringLiteral("fraTarget%1").arg(i));
            frames[i]->setProperty("tabKey", QLatin1String(tabs[i].key));
            m_tabs->addTab(frames[i], QLatin1String(tabs[i].caption));
            if (tips)
                m_tabs->setTabToolTip(i, QLatin1String(tabs[i].tip));
        }
        buildGeneral(frames[0]);
        buildTexts(frames[1], frames[2]);
        buildTilt(frames[3]);
        buildSparkle(frames[4]);
        buildFire(frames[5]);

        auto* ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
        m_cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
        for (QPushButton* b : findChildren<QPushButton*>())
            b->setAutoDefault(false);
        ok->setDefault(true);
        setTip(ok, tips, QStringLiteral("Accept values"));
        setTip(m_cancel, tips, QStringLiteral("Cancel - do not accept values"));

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_tabs);
        layout->addLayout(buttonRow({ok, m_cancel}));

        connect(ok, &QPushButton::clicked, this, [this] {
            guarded("OKButton_Click", [this] {
                if (!ExtractTargets())
                    return;
                storeWindowPosition(this, m_env.dialogs.positions.TTarg, m_env.dialogs.positions.LTarg);
                accept();
            });
        });
        connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
        connect(m_tabs, &QTabWidget::currentChanged, this, [this] { guarded("tbsTarget_Click", [] {}); });

        guarded("Form_Load", [this] { load(); });
    }

    // Esc and the window's close button act as Cancel, unless Cancel is off
    // (after Evaluate MF the targets are taken: only OK leaves).
    void reject() override
    {
        if (m_cancel->isEnabled())
            guarded("CancelButton_Click", [this] { QDialog::reject(); });
    }

private:
    template <class F>
    bool guarded(const char* routine, F&& f)
    {
        return runRoutine(m_env.dialogs.messages, QLatin1String(routine), std::forward<F>(f));
    }

    QLineEdit* numberBox(const char* name, QWidget* parent)
    {
        auto* box = named(new QLineEdit(parent), name);
        box->setMaximumWidth(90);
        selectAllOnFocus(box);
        return box;
    }

    void buildGeneral(QGroupBox* f)
    {
        auto* g = new QGridLayout;
        g->addWidget(new QLabel(QStringLiteral("Use"), f), 0, 0);
        g->addWidget(new QLabel(QStringLiteral("Weighting Factor"), f), 0, 1);
        const std::pair<const char*, const char*> rows[5] = {
            {"ISO Brightness", "ISO"}, {"Illumination", "Ill"}, {"Tilt", "Tilt"},
            {"Sparkle", "Sparkle"},    {"Fire", "Fire"}};
        for (int i = 0; i < 5; ++i) {
            m_use[i] = new QCheckBox(QLatin1String(rows[i].first), f);
            m_use[i]->setObjectName(QStringLiteral("chk") + QLatin1String(rows[i].second));
            m_weight[i] = numberBox("", f);
            m_weight[i]->setObjectName(QStringLiteral("w") + QLatin1String(rows[i].second));
            g->addWidget(m_use[i], i + 1, 0);
            g->addWidget(m_weight[i], i + 1, 1);
        }
        auto* load = named(new QPushButton(QStringLiteral("Load Targets"), f), "btnLoadOpt");
        auto* save = named(new QPushButton(QStringLiteral("Save Targets"), f), "btnSaveOpt");
        auto* eval = named(new QPushButton(QStringLiteral("Evaluate MF"), f), "btnEvalMF");
        auto* buttons = new QVBoxLayout;
        for (QPushButton* b : {load, save, eval})
            buttons->addWidget(b);
        buttons->addStretch();
        auto* top = new QHBoxLayout;
        top->addLayout(g);
        top->addStretch();
        top->addLayout(buttons);
        auto* v = new QVBoxLayout(f);
        v->addLayout(top);
        v->addWidget(text(QStringLiteral(
            "Click on tabs to set options for the Optimization Targets. Weighting factors determine the "
            "importance of each target. Click \"Evaluate MF\" to accept the targets and evaluate the "
            "corresponding merit function. Note: this disables \"Cancel\"."), f));
        v->addStretch();

        connect(load, &QPushButton::clicked, this, [this] { guarded("btnLoadOpt_Click", [this] { loadTargets(); }); });
        connect(save, &QPushButton::clicked, this, [this] { guarded("btnSaveOpt_Click", [this] { saveTargets(); }); });
        connect(eval, &QPushButton::clicked, this, [this] { guarded("btnEvalMF_Click", [this] { evaluateMF(); }); });
    }

    void buildTexts(QGroupBox* iso, QGroupBox* ill)
    {
        auto* a = new QVBoxLayout(iso);
        a->addWidget(text(QStringLiteral("No Options - Maximizes ISO brightness"), iso));
        a->addWidget(text(QStringLiteral(
            "ISO Brightness characterizes the performance of the stone under uniform lighting "
            "conditions, i.e. equal lighting in all directions. A good overall indicator of face-up "
            "brightness."), iso));
        a->addStretch();
        auto* b = new QVBoxLayout(ill);
        b->addWidget(text(QStringLiteral("No Options - Maximizes ISO - COS brightness."), ill));
        b->addWidget(text(QStringLiteral(
            "The ISO lighting model is uniform, whereas the COS model is brightest directly above the "
            "gem and black toward the \"horizon.\"  Maximizing the difference between ISO and COS "
            "brightness increases the response of the gem to rays entering from directions other than "
            "straight up, for example through the crown breaks and star facets. This means reduced "
            "\"head shadow\" problems."), ill));
        b->addStretch();
    }

    void buildTilt(QGroupBox* f)
    {
        auto* dirs = new QGroupBox(QStringLiteral("Tilt Direction(s)"), f);
        auto* checks = new QGridLayout;
        for (int d = 0; d < 8; ++d) {
            m_dir[d] = new QCheckBox(QString::number(d + 1), dirs);
            m_dir[d]->setObjectName(QStringLiteral("chk%1").arg(d + 1));
            checks->addWidget(m_dir[d], d % 4, d / 4);
        }
        auto* dl = new QHBoxLayout(dirs);
        dl->addLayout(checks);
        dl->addWidget(new DirectionPicture(dirs));

        m_maxTilt = numberBox("maxTilt", f);
        m_dBZMF = numberBox("dB_ZMF", f);
        auto* limits = new QGridLayout;
        limits->addWidget(new QLabel(QStringLiteral("Maximum Tilt Angle"), f), 0, 0);
        limits->addWidget(m_maxTilt, 0, 1);
        limits->addWidget(new QLabel(QStringLiteral("Brightness variation for\nZero Merit"), f), 1, 0);
        limits->addWidget(m_dBZMF, 1, 1);

        auto* v = new QVBoxLayout(f);
        v->addWidget(text(QStringLiteral("Minimizes variations in ISO brightness with tilt angle"), f));
        auto* row = new QHBoxLayout;
        row->addWidget(dirs);
        row->addLayout(limits);
        v->addLayout(row);
        v->addWidget(text(QStringLiteral(
            "Select one or more tilt directions, based on the symmetry of the gem. Zero brightness "
            "variation with angle contributes the full tilt weighting factor to the merit function. "
            "Specify the variation for zero merit contribution here."), f));
        v->addStretch();
    }

    // A mask frame: "Use Mask:", the path and "Select".
    QGroupBox* maskFrame(const QString& caption, const char* use, const char* path, const char* select,
                         QCheckBox*& useBox, QLineEdit*& pathBox, QWidget* parent)
    {
        auto* frame = new QGroupBox(caption, parent);
        useBox = named(new QCheckBox(QStringLiteral("Use Mask:"), frame), use);
        pathBox = named(new QLineEdit(frame), path);
        auto* button = named(new QPushButton(QStringLiteral("Select"), frame), select);
        auto* h = new QHBoxLayout(frame);
        h->addWidget(useBox);
        h->addWidget(pathBox, 1);
        h->addWidget(button);
        return frame;
    }

    void buildSparkle(QGroupBox* f)
    {
        auto* orient = new QGroupBox(QStringLiteral("Sparkle Orientations"), f);
        m_spDir1 = numberBox("Dir1", orient);
        m_spAng1 = numberBox("Ang1", orient);
        m_spDir2 = numberBox("Dir2", orient);
        m_spAng2 = numberBox("Ang2", orient);
        auto* g = new QGridLayout;
        g->addWidget(new QLabel(QStringLiteral("Direction"), orient), 0, 1);
        g->addWidget(new QLabel(QStringLiteral("Angle"), orient), 0, 2);
        g->addWidget(new QLabel(QStringLiteral("Orientation 1"), orient), 1, 0);
        g->addWidget(m_spDir1, 1, 1);
        g->addWidget(m_spAng1, 1, 2);
        g->addWidget(new QLabel(QStringLiteral("Orientation 2"), orient), 2, 0);
        g->addWidget(m_spDir2, 2, 1);
        g->addWidget(m_spAng2, 2, 2);
        auto* oh = new QHBoxLayout(orient);
        oh->addLayout(g);
        oh->setAlignment(g, Qt::AlignVCenter); // the captions just above their boxes, beside the picture
        oh->addWidget(new DirectionPicture(orient));

        QGroupBox* mask = maskFrame(QStringLiteral("Sparkle Mask"), "chkUseSMsk", "txtSMsk", "btnSelSMsk",
                                    m_useSMsk, m_sMsk, f);
        auto* v = new QVBoxLayout(f);
        v->addWidget(text(QStringLiteral("Maximizes local changes in brightness with angle."), f));
        v->addWidget(orient);
        v->addWidget(text(QStringLiteral("Maximizes the difference in the ray-traced images for two gem "
                                         "orientations. Select close angles to evaluate sparkle."), f));
        v->addWidget(mask);
        v->addStretch();
        connect(mask->findChild<QPushButton*>(QStringLiteral("btnSelSMsk")), &QPushButton::clicked, this, [this] {
            guarded("btnSelSMsk_Click", [this] {
                selectMask(QStringLiteral("Sparkle"), m_env.targets.theSMsk, m_sMsk);
            });
        });
    }

    void buildFire(QGroupBox* f)
    {
        auto* material = new QGroupBox(QStringLiteral("Material Selection"), f);
        m_optPreset = named(new QRadioButton(QStringLiteral("Gem material preset:"), material), "optPreset");
        m_optCustom = named(new QRadioButton(QStringLiteral("Custom material dispersion:"), material), "optCustom");
        auto* group = new QButtonGroup(material);
        group->addButton(m_optPreset);
        group->addButton(m_optCustom);
        m_combo = named(new QComboBox(material), "Combo1");
        m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        m_disp = numberBox("Disp", material);
        auto* g = new QGridLayout(material);
        g->addWidget(m_optPreset, 0, 0);
        g->addWidget(m_combo, 0, 1);
        g->addWidget(m_optCustom, 1, 0);
        g->addWidget(m_disp, 1, 1);

        QGroupBox* mask = maskFrame(QStringLiteral("Fire Mask"), "chkUseFMsk", "txtFMsk", "btnSelFMsk",
                                    m_useFMsk, m_fMsk, f);
        auto* v = new QVBoxLayout(f);
        v->addWidget(text(QStringLiteral("Maximizes local changes in brightness with wavelength"), f));
        v->addWidget(text(QStringLiteral("Maximizes the difference in the ray-traced images for two "
                                         "refractive indices with the gem in face-up orientation."), f));
        v->addWidget(material);
        v->addWidget(mask);
        v->addStretch();
        connect(mask->findChild<QPushButton*>(QStringLiteral("btnSelFMsk")), &QPushButton::clicked, this, [this] {
            guarded("btnSelFMsk_Click", [this] {
                selectMask(QStringLiteral("Fire"), m_env.targets.theFMsk, m_fMsk);
            });
        });
    }

    void load()
    {
        placeWindow(this, m_env.dialogs.positions.TTarg, m_env.dialogs.positions.LTarg);
        m_cancel->setEnabled(true);
        m_combo->clear();
        m_combo->addItems(m_env.materials.Mat);
        // The fire material follows the gem's material when it has one.
        OptimizationTargets& t = m_env.targets;
        const JobState& j = m_env.job;
        if (!j.theMat.isEmpty()) {
            t.firePreset = j.theMat != QLatin1String("Custom");
            t.fireMat = j.theMat;
            t.fireDisp = j.theDisp;
        }
        guarded("RefreshTargets", [this] { RefreshTargets(); });
        m_tabs->setCurrentIndex(0);
    }

public:
    void RefreshTargets()
    {
        const OptimizationTargets& t = m_env.targets;
        const bool on[5] = {t.doISO, t.doIll, t.doTilt, t.doSparkle, t.doFire};
        const float weight[5] = {t.wtISO, t.wtILL, t.wtTilt, t.wtSparkle, t.wtFire};
        for (int i = 0; i < 5; ++i) {
            m_use[i]->setChecked(on[i]);
            m_weight[i]->setText(DecimalText(weight[i]));
        }
        for (int d = 0; d < 8; ++d)
            m_dir[d]->setChecked(t.tiltDirection(d + 1));
        m_maxTilt->setText(NumText(t.TAngMax));
        m_dBZMF->setText(NumText(t.dBZMF));
        m_spDir1->setText(NumText(t.SpDir1));
        m_spAng1->setText(NumText(t.SpAng1));
        m_spDir2->setText(NumText(t.SpDir2));
        m_spAng2->setText(NumText(t.SpAng2));
        m_useSMsk->setChecked(t.useSMsk);
        m_sMsk->setText(t.theSMsk);
        if (t.firePreset) {
            m_optPreset->setChecked(true);
            m_combo->setCurrentIndex(m_combo->findText(t.fireMat));
        } else {
            m_optCustom->setChecked(true);
            m_disp->setText(NumText(t.fireDisp));
        }
        m_useFMsk->setChecked(t.useFMsk);
        m_fMsk->setText(t.theFMsk);
    }

    // Stores the controls into the targets. A switched-off component keeps
    // its weight and options, but its boxes must still hold numbers (letters
    // are refused whether or not the target is ticked). Every box is checked
    // first: a refusal names the box, and nothing is stored. False after a
    // failure's message.
    bool ExtractTargets()
    {
        return guarded("ExtractTargets", [this] {
            OptimizationTargets t = m_env.targets;
            static const char* const names[5] = {"ISO Brightness", "Illumination", "Tilt", "Sparkle", "Fire"};
            bool* on[5] = {&t.doISO, &t.doIll, &t.doTilt, &t.doSparkle, &t.doFire};
            float* weight[5] = {&t.wtISO, &t.wtILL, &t.wtTilt, &t.wtSparkle, &t.wtFire};
            for (int i = 0; i < 5; ++i)
                *on[i] = m_use[i]->isChecked();
            // A ticked target's box holds a number in its range; an unticked
            // one's a number (its old value, kept, may lie outside).
            const auto read = [](bool ticked, const QLineEdit* box, const QString& name, const BoxRange& range) {
                return number(box, name, ticked ? range : BoxRange{});
            };
            for (int i = 0; i < 5; ++i) {
                const float w = read(*on[i], m_weight[i], QLatin1String(names[i]) + QStringLiteral(" Weighting Factor"),
                                     BoxRange{});
                if (*on[i])
                    *weight[i] = w;
            }
            const float maxTilt = read(t.doTilt, m_maxTilt, QStringLiteral("Maximum Tilt Angle"), BoxRange{0, 89.9, true});
            const float dBZMF = read(t.doTilt, m_dBZMF, QStringLiteral("Brightness variation for Zero Merit"),
                                     BoxRange{0, 1e300, true});
            if (t.doTilt) {
                bool* dirs[8] = {&t.doTilt1, &t.doTilt2, &t.doTilt3, &t.doTilt4,
                                 &t.doTilt5, &t.doTilt6, &t.doTilt7, &t.doTilt8};
                for (int d = 0; d < 8; ++d)
                    *dirs[d] = m_dir[d]->isChecked();
                t.TAngMax = maxTilt;
                t.dBZMF = dBZMF;
            }
            const bool sp = t.doSparkle;
            const float spDir1 = read(sp, m_spDir1, QStringLiteral("Orientation 1 Direction"), BoxRange{0, 8});
            const float spDir2 = read(sp, m_spDir2, QStringLiteral("Orientation 2 Direction"), BoxRange{0, 8});
            const float spAng1 = read(sp, m_spAng1, QStringLiteral("Orientation 1 Angle"), BoxRange{0, 89.9});
            const float spAng2 = read(sp, m_spAng2, QStringLiteral("Orientation 2 Angle"), BoxRange{0, 89.9});
            if (sp) {
                t.SpDir1 = ToInteger(spDir1);
                t.SpDir2 = ToInteger(spDir2);
                t.SpAng1 = spAng1;
                t.SpAng2 = spAng2;
                t.useSMsk = m_useSMsk->isChecked();
                if (t.useSMsk)
                    t.theSMsk = storable(m_sMsk->text(), QStringLiteral("Sparkle"));
            }
            const float customDisp = m_optPreset->isChecked() ? 0
                                                                : read(t.doFire, m_disp, QStringLiteral("Custom material dispersion"),
                                                                       BoxRange{0, 1});
            if (t.doFire) {
                if (m_optPreset->isChecked()) {
                    t.firePreset = true;
                    t.fireMat = m_combo->currentText();
                    t.fireDisp = ToSingle(m_env.materials.dispOf(t.fireMat));
                } else {
                    t.firePreset = false;
                    t.fireMat = QStringLiteral("Custom");
                    t.fireDisp = customDisp;
                }
                t.useFMsk = m_useFMsk->isChecked();
                if (t.useFMsk)
                    t.theFMsk = storable(m_fMsk->text(), QStringLiteral("Fire"));
            }
            m_env.targets = t;
            if (t.doFire)
                m_env.job.theDisp = t.fireDisp;
        });
    }

private:
    static float number(const QLineEdit* box, const QString& name, const BoxRange& range)
    {
        return ToSingle(ReadBox(box->text(), name, range));
    }

    // A mask path that the targets can keep (no double quotes or line breaks).
    static QString storable(const QString& path, const QString& which)
    {
        if (!kvStorable(path))
            throw ZepError(err::BadFileName, kvNotStorableMessage(QStringLiteral("The path of the ") + which
                                                                   + QStringLiteral(" Mask")));
        return path;
    }

    void chooseFile(bool open, const QString& pattern, const QString& title, const QString& prompt,
                    const QString& help)
    {
        FileChooserExchange& gf = m_env.dialogs.fileChooser;
        gf.GFOpen = open;
        gf.GFPattern = pattern;
        gf.GFTitle = title;
        gf.GFPrompt = prompt;
        gf.GFTip = help;
        gf.GFOK = false;
        showFileChooser(m_env.dialogs, this);
    }

    QString chosenPath() const
    {
        const FileChooserExchange& gf = m_env.dialogs.fileChooser;
        return joinPath(gf.GFDir, gf.GFFile);
    }

    void selectMask(const QString& which, QString& target, QLineEdit* box)
    {
        chooseFile(true, QStringLiteral("*.BMP"), QStringLiteral("Load ") + which + QStringLiteral(" Mask"),
                   QStringLiteral("Please locate the .BMP file containing the ") + which + QStringLiteral(" Mask"),
                   QStringLiteral("Navigate to the directory containing the ") + which
                       + QStringLiteral(" Mask and select it from the file box. See the ZEP documentation for "
                                        "further details of working with masks."));
        if (!m_env.dialogs.fileChooser.GFOK)
            return;
        target = storable(chosenPath(), which);
        box->setText(target);
    }

    void loadTargets()
    {
        chooseFile(true, QStringLiteral("*.TXT"), QStringLiteral("Load Optimization Targets"),
                   QStringLiteral("Please locate the file containing Optimization Targets"),
                   QStringLiteral("Navigate to the directory containing the Optimization Targets file and "
                                  "select it from the file box. You can examine this file with a text editor, "
                                  "but it should not be altered outside ZEP"));
        if (!m_env.dialogs.fileChooser.GFOK)
            return;
        m_env.job.TargsFile = chosenPath();
        if (LoadTargetFile(m_env.job.TargsFile, m_env.targets, m_env.dialogs.messages))
            guarded("RefreshTargets", [this] { RefreshTargets(); });
    }

    void saveTargets()
    {
        if (!ExtractTargets())
            return;
        chooseFile(false, QStringLiteral("*.TXT"), QStringLiteral("Save Optimization Targets"),
                   QStringLiteral("Please enter a file name for Optimization Targets"),
                   QStringLiteral("Navigate to the directory where you wish to place the Optimization Targets "
                                  "file and enter a filename. NOTE: These are text files...don't forget the "
                                  ".TXT extension"));
        if (!m_env.dialogs.fileChooser.GFOK)
            return;
        m_env.job.TargsFile = chosenPath();
        SaveTargetFile(m_env.job.TargsFile, m_env.targets, m_env.job.TargsFile);
    }

    void evaluateMF()
    {
        if (!ExtractTargets())
            return;
        m_cancel->setEnabled(false);
        m_env.job.once = 1;
        if (m_env.openOptimizer)
            m_env.openOptimizer(this);
    }

    TargetsEnv& m_env;
    QTabWidget* m_tabs;
    QPushButton* m_cancel;
    QCheckBox* m_use[5];
    QLineEdit* m_weight[5];
    QCheckBox* m_dir[8];
    QLineEdit *m_maxTilt, *m_dBZMF;
    QLineEdit *m_spDir1, *m_spAng1, *m_spDir2, *m_spAng2;
    QCheckBox* m_useSMsk;
    QLineEdit* m_sMsk;
    QRadioButton *m_optPreset, *m_optCustom;
    QComboBox* m_combo;
    QLineEdit* m_disp;
    QCheckBox* m_useFMsk;
    QLineEdit* m_fMsk;
};

} // namespace

void showTargets(TargetsEnv& env, QWidget* parent)
{
    TargetsDialog d(env, parent);
    d.exec();
}

} // namespace zep
