#pragma once
// frmZepMain: the hub that holds the job, shows its summary and opens every
// activity.
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zep {

class ZepApplication;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(ZepApplication& app);

    // The load step: templates, stale files, materials, saved state, place, tips.
    void Form_Load();
    // GetLast: restores the saved state and re-applies it through the commands.
    void GetLast();
    // SaveState, for Quit: the state file, and the last result beside it.
    void SaveState();
    // The file beside the saved state that keeps the last result.
    static constexpr const char* LastResultFile = "ZEPResult.txt";
    // The optimized angles as the result boxes show them.
    QString txtItPavText() const;
    QString txtItCrnText() const;

public slots:
    void btnFSel_Click();
    void btnModAng_Click();
    void btnModTargets_Click();
    void btnOpt_Click();
    void btnCutList_Click();
    void btnPlay_Click();
    void btnMFMap_Click();
    void btnLibrary_Click();
    // The Design Library's Use This Design: the design at `path` as Select
    // .GEM File takes one, with these old and start angles, and the limits
    // and steps derived for them (what was set is returned for the status).
    QString useLibraryDesign(const QString& path, float olPav, float olCrn, float stPav, float stCrn, float designRi);
    void btnAbout_Click();
    void btnQuit_Click();

signals:
    void quitted();

protected:
    // Closing the window through its frame runs Quit, so the job is saved.
    void closeEvent(QCloseEvent* e) override;

private:
    void refreshAngleSummary();
    void takeChosenDesign();
    // The result boxes from the job's result, when it still belongs to the
    // job's design, material and targets (else it is dropped and they are
    // empty); whether they show one.
    bool showResult();
    void refreshTargetList();
    bool checkJob(const QString& message);
    // Opens an activity's window (or says it is not there yet), then offers a
    // console restart after a time-out.
    void openActivity(const std::function<void(QWidget*)>& window, const QString& name);
    // The PlayPen and the mapper: the job check, then the window.
    void openGemActivity(const char* routine, const std::function<void(QWidget*)>& window, const QString& name);
    template <class F>
    void guarded(const char* routine, F&& f);

    ZepApplication& m_app;
    bool m_quitting = false;

    QPushButton *btnFSel, *btnModAng, *btnModTargets, *btnOpt, *btnCutList, *btnPlay, *btnMFMap, *btnLibrary, *btnAbout,
        *btnQuit;
    QPointer<QWidget> m_library;
    QLabel *lblFileName, *lblOlPav, *lblOlCrn, *lblTiers;
    QLabel *lblStartPav, *lblMinPav, *lblMaxPav, *lblStartCrn, *lblMinCrn, *lblMaxCrn;
    QLineEdit *txtPavFixed, *txtCrnFixed;
    QLabel *lblMat, *lblRI, *lblDisp;
    QListWidget* lstTargets;
    QLineEdit *txtItPav, *txtItCrn, *txtStartMF, *txtItMF;
    QLabel* lblMargin; // what the result can lose within the cutting tolerance
};

} // namespace zep
