// frmOptDLOG, "Optimization Progress": the buttons, the current point, the
// bar chart of the merit function breakdown and the "Current Gem" panel. The
// run itself is the Optimizer; this window only shows what it is told.
#include "optimize/OptimizeWindows.h"

#include "common/Messages.h"
#include "dialogs/WindowSupport.h"
#include "merit/CurrentGemPanel.h"
#include "merit/MarginLabel.h"
#include "merit/RobustMerit.h"
#include "optimize/MeritChart.h"

#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zep {

namespace {

QColor barColour(BarColour c)
{
    switch (c) {
    case BarColour::ISO: return QColor(255, 0, 0);
    case BarColour::Illumination: return QColor(0, 255, 0);
    case BarColour::Tilt: return QColor(0, 0, 255);
    case BarColour::Sparkle: return QColor(255, 255, 255);
    case BarColour::Fire: return QColor(255, 128, 0);
    }
    return {};
}

QLineEdit* valueBox(const char* name, QWidget* parent)
{
    auto* box = named(new QLineEdit(parent), name);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    box->setMinimumWidth(80);
    return box;
}

void paintBox(QLineEdit* box, const QColor& base, const QColor& text)
{
    QPalette p = box->palette();
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::Text, text);
    box->setPalette(p);
}

// The colour square and name of one component in the legend.
QWidget* legendEntry(const QString& name, const QColor& colour, QWidget* parent)
{
    auto* entry = new QWidget(parent);
    auto* row = new QHBoxLayout(entry);
    row->setContentsMargins(0, 0, 0, 0);
    auto* square = new QLabel(entry);
    // as tall as the name's capitals and ascenders, whatever the font's size
    const int side = square->fontMetrics().ascent();
    square->setFixedSize(side, side);
    square->setAutoFillBackground(true);
    square->setFrameShape(QFrame::Box);
    QPalette p = square->palette();
    p.setColor(QPalette::Window, colour);
    square->setPalette(p);
    row->addWidget(square);
    row->addWidget(new QLabel(name, entry));
    return entry;
}

class OptimizerWindow : public QDialog, public OptimizerView {
public:
    OptimizerWindow(OptimizerWindowEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
    {
        setObjectName(QStringLiteral("frmOptDLOG"));
        setWindowTitle(QStringLiteral("Optimization Progress"));

        m_go = named(new QPushButton(QStringLiteral("Go !"), this), "GoButton");
        m_abort = named(new QPushButton(QStringLiteral("Abort"), this), "AbortButton");
        m_cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
        for (QPushButton* b : {m_go, m_abort, m_cancel})
            b->setAutoDefault(false);

        auto* params = new QGroupBox(QStringLiteral("Current Optimization Parameters"), this);
        m_curPav = valueBox("txtCurPav", params);
        m_curCrn = valueBox("txtCurCrn", params);
        m_pavStep = valueBox("txtPavStep", params);
        m_crnStep = valueBox("txtCrnStep", params);
        m_itCnt = valueBox("txtItCnt", params);
        m_startMF = valueBox("txtStartMF", params);
        m_curMF = valueBox("txtCurMF", params);
        auto* pg = new QGridLayout(params);
        pg->addWidget(new QLabel(QStringLiteral("Pavilion"), params), 0, 0);
        pg->addWidget(m_curPav, 0, 1);
        pg->addWidget(new QLabel(QStringLiteral("step"), params), 0, 2);
        pg->addWidget(m_pavStep, 0, 3);
        pg->addWidget(new QLabel(QStringLiteral("Crown"), params), 1, 0);
        pg->addWidget(m_curCrn, 1, 1);
        pg->addWidget(new QLabel(QStringLiteral("step"), params), 1, 2);
        pg->addWidget(m_crnStep, 1, 3);
        pg->addWidget(new QLabel(QStringLiteral("Iteration"), params), 2, 0);
        pg->addWidget(m_itCnt, 2, 1);
        pg->addWidget(new QLabel(QStringLiteral("Start MF"), params), 3, 0);
        pg->addWidget(m_startMF, 3, 1);
        pg->addWidget(new QLabel(QStringLiteral("Current MF"), params), 3, 2);
        pg->addWidget(m_curMF, 3, 3);
        // What the result can lose within the cutting tolerance, once there is one.
        m_margin = named(new QLabel(params), "lblMargin");
        m_margin->setWordWrap(true);
        m_margin->setMinimumHeight(3 * m_margin->fontMetrics().lineSpacing()); // the margin and a wrapped hint
        pg->addWidget(m_margin, 4, 0, 1, 4);

        auto* breakdown = new QGroupBox(QStringLiteral("Merit Function Breakdown"), this);
        auto* bl = new QVBoxLayout(breakdown);
        auto* legend = new QHBoxLayout;
        legend->addWidget(new QLabel(QStringLiteral("Target x Weight"), breakdown));
        legend->addStretch();
        const std::pair<const char*, BarColour> entries[] = {
            {"ISO", BarColour::ISO},         {"Illum.", BarColour::Illumination},
            {"Tilt", BarColour::Tilt},       {"Sparkle", BarColour::Sparkle},
            {"Fire", BarColour::Fire}};
        for (const auto& [name, colour] : entries)
            legend->addWidget(legendEntry(QLatin1String(name), barColour(colour), breakdown));
        bl->addLayout(legend);
        m_chart = new MeritChart(breakdown);
        bl->addWidget(m_chart, 1);

        m_panel = new CurrentGemPanel(this);
        // The status line holds the longest ending whole, at the window's least size too.
        QLineEdit* info = m_panel->InfoWin();
        info->setMinimumWidth(info->fontMetrics().horizontalAdvance(Optimizer::CompletedText + Optimizer::RangeNote) + 16);

        auto* left = new QVBoxLayout;
        auto* buttons = new QHBoxLayout;
        for (QPushButton* b : {m_go, m_abort, m_cancel})
            buttons->addWidget(b);
        left->addLayout(buttons);
        left->addWidget(params);
        left->addWidget(breakdown, 1);
        auto* top = new QHBoxLayout(this);
        top->addLayout(left, 1);
        top->addWidget(m_panel);

        const bool tips = env.run.prefs.DoTips;
        setTip(m_go, tips, QStringLiteral("Start optimization sequence"));
        setTip(m_abort, tips, QStringLiteral("Abort optimization"));
        setTip(m_cancel, tips, QStringLiteral("Close window"));

        m_evaluator = env.makeEvaluator(*m_panel);
        // With "Optimize for the tolerance" the run climbs the robust merit
        // function; a plain run goes past the store, as it always has.
        const Preferences& prefs = env.run.prefs;
        m_robust = std::make_unique<RobustEvaluator>(*m_evaluator, env.run.merit, env.run.AbortFlag,
                                                     env.run.shell.TimedOut);
        m_robust->setTolerance(prefs.CutRobust ? prefs.CutTol : 0, env.run.job.fixPav, env.run.job.fixCrn);
        m_optimizer = std::make_unique<Optimizer>(
            env.run, prefs.CutRobust ? static_cast<MeritEvaluator&>(*m_robust) : *m_evaluator, *this);

        m_optimizer->finishing = [this](float pav, float crn, float mf) { return measureMargin(pav, crn, mf); };
        connect(m_go, &QPushButton::clicked, this, [this] {
            m_result.reset();
            m_optimizer->Go();
        });
        connect(m_abort, &QPushButton::clicked, this, [this] {
            runRoutine(m_env.run.messages, QStringLiteral("AbortButton_Click"), [this] { m_optimizer->Abort(); });
        });
        connect(m_cancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });

        runRoutine(env.run.messages, QStringLiteral("Form_Load"), [this] {
            useScreenShare(this, 0.6); // a larger chart on a larger screen
            placeWindow(this, m_env.positions.TOpt, m_env.positions.LOpt);
            m_optimizer->opened();
            readMasks(m_env.run.targets, m_env.images, m_env.bitmaps.BMP_Header, m_env.run.messages);
        });
    }

    // OptimizerView
    void showPoint(const QString& pav, const QString& crn, const QString& pavStep,
                   const QString& crnStep) override
    {
        m_curPav->setText(pav);
        m_curCrn->setText(crn);
        m_pavStep->setText(pavStep);
        m_crnStep->setText(crnStep);
    }
    void showCurrentMF(const QString& mf) override { m_curMF->setText(mf); }
    void showStart(const QString& iso, const QString& cos, const QString& mf0) override
    {
        m_panel->txtCGIB()->setText(iso);
        m_panel->txtCGCB()->setText(cos);
        m_startMF->setText(mf0);
    }
    void showSweep(const QString& itCnt) override { m_itCnt->setText(itCnt); }
    void setChartTop(float top) override
    {
        m_top = top;
        m_chart->setTop(top);
    }
    void setChartSweeps(int sweeps) override { m_chart->setSweeps(sweeps); }
    void drawBar(int x, const std::vector<BarPart>& parts, float mf0) override
    {
        const double left = x - 0.45, right = x + 0.45;
        double y = 0;
        for (const BarPart& p : parts) {
            m_chart->fillBox({left, y}, {right, y + double(p.value)}, barColour(p.colour));
            y += double(p.value);
        }
        // What an earlier, taller bar left above this one goes.
        m_chart->fillBox({left, y}, {right, 2.0 * double(m_top) + 1}, palette().color(QPalette::Window));
        m_chart->line(-1, float(m_chart->sweeps()) + 2, mf0, palette().color(QPalette::WindowText));
    }
    void markAngle(int k, AngleMark mark) override
    {
        const QPalette system = QApplication::palette();
        for (QLineEdit* box : k == 0 ? std::array{m_curPav, m_pavStep} : std::array{m_curCrn, m_crnStep}) {
            switch (mark) {
            case AngleMark::None:
                paintBox(box, system.color(QPalette::Button), system.color(QPalette::ButtonText));
                break;
            case AngleMark::Searching: paintBox(box, QColor(0, 0, 255), Qt::white); break;
            case AngleMark::OutOfRange: paintBox(box, QColor(255, 0, 0), Qt::white); break;
            }
        }
    }
    void showCompleted(const QString& text) override
    {
        paintBox(m_panel->InfoWin(), QColor(0, 255, 0), Qt::black);
        m_panel->InfoWin()->setText(text);
        m_panel->InfoWin()->setCursorPosition(0);
    }
    void showStopped(const QString& text) override
    {
        const QPalette system = QApplication::palette();
        paintBox(m_panel->InfoWin(), system.color(QPalette::Base), system.color(QPalette::Text));
        m_panel->InfoWin()->setText(text);
        m_panel->InfoWin()->setCursorPosition(0);
    }
    void enableGo(bool on) override { m_go->setEnabled(on); }
    void enableAbort(bool on) override { m_abort->setEnabled(on); }
    void enableCancel(bool on) override { m_cancel->setEnabled(on); }
    void beep() override { QApplication::beep(); }
    void bringConsoleToFront() override
    {
        if (m_env.bringConsoleToFront)
            m_env.bringConsoleToFront();
    }
    void letEventsRun() override { QCoreApplication::processEvents(); }

protected:
    // Esc and the window's close button act as Cancel, but only where Cancel
    // may be pressed: a running search is left with Abort first.
    void reject() override
    {
        if (m_cancel->isEnabled())
            btnCancel_Click();
    }

private:
    // As the run converges, still running: the result's own merit function
    // and its start's (a robust run climbed the worst of their stencils),
    // and the margin at the preference's tolerance (eight more evaluations
    // after a plain run). False when Abort or a failure stopped it.
    bool measureMargin(float pav, float crn, float mf)
    {
        const Optimizer& o = *m_optimizer;
        std::optional<float> startMF = o.MF0, finalMF = mf;
        if (m_env.run.prefs.CutRobust) {
            startMF = m_robust->plain(m_env.run.job.stPav, m_env.run.job.stCrn);
            finalMF = m_robust->plain(pav, crn);
        } else {
            m_robust->keep(pav, crn, mf);
        }
        const std::optional<Margin> m = m_robust->margin(pav, crn, m_env.run.prefs.CutTol);
        if (!startMF || !finalMF || !m)
            return false;
        m_result = {*startMF, *finalMF, m};
        showMargin(m_margin, m);
        return true;
    }

    void btnCancel_Click()
    {
        runRoutine(m_env.run.messages, QStringLiteral("btnCancel_Click"), [this] {
            m_optimizer->Cancel();
            // The result as the cutter gets it, with what it can lose.
            JobState& job = m_env.run.job;
            if (m_optimizer->success && m_result) {
                job.theStartMF = m_result->startMF;
                job.theFinalMF = m_result->finalMF;
                if (const auto& m = m_result->margin) {
                    job.theMarginKnown = true;
                    job.theMarginTol = m->tolerance;
                    job.theMarginWorst = m->worst;
                    job.theMarginPav = m->worstPav;
                    job.theMarginCrn = m->worstCrn;
                }
            }
            storeWindowPosition(this, m_env.positions.TOpt, m_env.positions.LOpt);
            QDialog::done(QDialog::Rejected);
        });
    }

    OptimizerWindowEnv& m_env;
    std::unique_ptr<MeritEvaluator> m_evaluator;
    std::unique_ptr<RobustEvaluator> m_robust;
    std::unique_ptr<Optimizer> m_optimizer;
    struct Result {
        float startMF, finalMF;
        std::optional<Margin> margin;
    };
    std::optional<Result> m_result;
    QLabel* m_margin;
    QPushButton *m_go, *m_abort, *m_cancel;
    QLineEdit *m_curPav, *m_curCrn, *m_pavStep, *m_crnStep, *m_itCnt, *m_startMF, *m_curMF;
    MeritChart* m_chart;
    CurrentGemPanel* m_panel;
    float m_top = 1;
};

} // namespace

void showOptimizer(OptimizerWindowEnv& env, QWidget* parent)
{
    OptimizerWindow w(env, parent);
    w.exec();
}

} // namespace zep
