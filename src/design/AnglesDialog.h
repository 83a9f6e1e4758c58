#pragma once
// frmAngDLOG: the start angles and limits, the fixed flags, the source of the
// refractive index and the gem's body colour.
#include "AngleEntry.h"
#include "DesignDialogs.h"

#include <QColor>
#include <QDialog>

class QCheckBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace zep {

class AnglesDialog : public QDialog {
    Q_OBJECT
public:
    AnglesDialog(DesignEnv& env, QWidget* parent = nullptr);

    QColor colour() const { return m_colour; }

private:
    void fillFromJob();
    void optionChosen();
    void setColour(const QColor& c);
    QString selectedMaterial() const;
    AngleEntry entry() const;
    void caClicked(bool minimum);
    void selectColourClicked();
    void okClicked();

    DesignEnv& m_env;
    QColor m_colour;
    QLineEdit *m_startPav, *m_minPav, *m_maxPav, *m_startCrn, *m_minCrn, *m_maxCrn;
    QCheckBox *m_fixPav, *m_fixCrn;
    QRadioButton *m_optFile, *m_optSpecRI, *m_optSelMat;
    QLineEdit *m_specRI, *m_specDisp, *m_specDensity;
    QListWidget* m_lstMatl;
    QPushButton *m_caMin, *m_caMax;
    QFrame* m_picCol;
};

} // namespace zep
