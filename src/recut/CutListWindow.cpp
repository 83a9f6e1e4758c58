#include "recut/CutListWindow.h"
#include "recut/CuttingList.h"
#include "recut/Diagram.h"
#include "recut/Proportions.h"
#include "design/Materials.h"
#include "recut/Recut.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "dialogs/FileChooser.h"
#include "dialogs/WindowSupport.h"
#include "settings/WindowPlaces.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>
#include <optional>

namespace zep {

namespace {

const QChar kDegree(0x00B0);

QString angleText(double a)
{
    QString t = Format(a, u"##.00");
    if (t.startsWith(u'.'))
        t.prepend(u'0');
    return t + kDegree;
}

QString latin(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// The material as the diagram names it; empty for the design's own index.
QString materialLine(const JobState& j)
{
    if (j.useFileRI || !(j.theRI > 0))
        return QString();
    QString line = QStringLiteral("Material: ");
    if (j.useMatRI && !j.theMat.isEmpty())
        line += j.theMat + QStringLiteral(", ");
    return line + QStringLiteral("refractive index") + NumText(j.theRI) + QStringLiteral(", dispersion") +
           NumText(j.theDisp);
}

// The density of the job's material: the table's for a material of it, the
// one typed beside a specified index; none for the design's own index.
std::optional<double> jobDensity(const JobState& j)
{
    if (j.useMatRI && !j.theMat.isEmpty()) {
        const MaterialTable table = MaterialTable::standard();
        const int i = int(table.Mat.indexOf(j.theMat));
        if (i >= 0)
            return table.matDensity[std::size_t(i)];
    }
    if (j.useSpecRI && j.theDensity > 0)
        return double(j.theDensity);
    return std::nullopt;
}

// "Stone 10.00 x 10.00 x 6.23 mm, 1.23 ct in Quartz" at `widthMm`; without a
// density, no weight and why.
QString stoneLine(const Proportions& p, double widthMm, const JobState& j)
{
    const std::optional<double> density = jobDensity(j);
    QString line = QStringLiteral("Stone ") + sizeText(p, widthMm, density);
    if (!density)
        return line + QStringLiteral("; no weight without the material's density");
    return line + QStringLiteral(" in ") +
           (j.useMatRI ? j.theMat : QStringLiteral("a material of density") + NumText(*density));
}

// The stone as the diagram draws it: crown, pavilion and side.
class StoneViews : public QWidget {
public:
    explicit StoneViews(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("picStone"));
        setMinimumSize(420, 150);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    // Draws `design` from now on (the re-cut at the angles shown).
    void setDesign(const gemray::GemDesign& design)
    {
        m_design = design;
        update();
    }
    QSize sizeHint() const override { return {660, 230}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), Qt::white);
        const double caption = fontMetrics().height() + 2;
        paintStoneViews(p, m_design, QRectF(rect()).adjusted(4, 4, -4, -2),
                        {font(), caption, 8, logicalDpiX() / 25.4});
    }

private:
    gemray::GemDesign m_design;
};

struct SaveKind {
    const char* routine;
    QString title, pattern, extension, prompt, tip;
};

class CutListWindow : public QDialog {
public:
    CutListWindow(CutListEnv& env, DiagramInput input, QWidget* parent)
        : QDialog(parent), m_env(env), m_in(std::move(input)), m_saveDir(QFileInfo(env.job.fnam).absolutePath())
    {
        setObjectName(QStringLiteral("frmCutList"));
        setWindowTitle(QStringLiteral("Cutting List"));
        build();
        useScreenShare(this, 0.6); // larger pictures on a larger screen
        const WindowPlace place = readWindowPlace(placesFile(), QStringLiteral("CutList"));
        placeWindow(this, place.top, place.left);
    }

    void done(int r) override
    {
        runRoutine(m_env.dialogs.messages, QStringLiteral("CutList_Unload"), [this] {
            WindowPlace place;
            storeWindowPosition(this, place.top, place.left);
            storeWindowPlace(placesFile(), QStringLiteral("CutList"), place);
        });
        QDialog::done(r);
    }

private:
    QString placesFile() const { return m_env.dialogs.workPath + QLatin1String(kCutListPlaces); }

    void build()
    {
        const RecutAngles& a = m_in.angles;
        auto* layout = new QVBoxLayout(this);
        auto* design = named(new PathLabel(QDir::toNativeSeparators(m_env.job.fnam), this), "lblDesign");
        design->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(design);
        layout->addWidget(named(new QLabel(QStringLiteral("Pavilion %1 to %2, crown %3 to %4 (%5)")
                                               .arg(angleText(a.oldPav), angleText(a.newPav), angleText(a.oldCrn),
                                                    angleText(a.newCrn),
                                                    m_env.hasResult ? QStringLiteral("optimization result")
                                                                    : QStringLiteral("start angles: no result yet")),
                                           this),
                                "lblAngles"));
        if (m_env.hasResult && !m_env.margin.isEmpty()) {
            const QString hint = m_env.marginHint.isEmpty() ? QString() : QStringLiteral("; ") + m_env.marginHint;
            auto* margin = named(new QLabel(m_env.margin + hint, this), "lblMargin");
            margin->setWordWrap(true);
            if (!hint.isEmpty()) {
                QPalette p = margin->palette();
                p.setColor(QPalette::WindowText, warningColour());
                margin->setPalette(p);
            }
            layout->addWidget(margin);
        }

        // The stone's size and weight at the width the cutter types.
        auto* sizeRow = new QHBoxLayout;
        auto* widthLabel = new QLabel(QStringLiteral("Width (mm)"), this);
        m_width = named(new QLineEdit(QStringLiteral("10"), this), "txtWidth");
        m_width->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.000")) + 16);
        widthLabel->setBuddy(m_width);
        m_stone = named(new QLabel(this), "lblStone");
        sizeRow->addWidget(widthLabel);
        sizeRow->addWidget(m_width);
        sizeRow->addWidget(m_stone, 1);
        layout->addLayout(sizeRow);
        connect(m_width, &QLineEdit::textChanged, this, [this] { showStone(); });
        showStone();

        m_views = new StoneViews(this);
        m_views->setDesign(m_in.recut);
        layout->addWidget(m_views, 1);

        const std::vector<CutRow> rows = cutRows(m_in.recut, m_in.original);
        auto* table = named(new QTableWidget(int(rows.size()), 6, this), "lstCuts");
        table->setHorizontalHeaderLabels({QStringLiteral("Tier"), QStringLiteral("Side"), QStringLiteral("Angle"),
                                          QStringLiteral("Was"), QStringLiteral("Index"),
                                          QStringLiteral("Instructions")});
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->verticalHeader()->hide();
        for (int i = 0; i < int(rows.size()); ++i) {
            const CutRow& r = rows[std::size_t(i)];
            const QString cells[] = {latin(r.name), latin(r.side), angleText(r.angle), angleText(r.was),
                                     latin(r.index), latin(r.instructions)};
            for (int c = 0; c < 6; ++c) {
                auto* item = new QTableWidgetItem(cells[c]);
                if (c == 2 || c == 3)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table->setItem(i, c, item);
            }
        }
        table->resizeColumnsToContents();
        table->horizontalHeader()->setStretchLastSection(true);
        int width = 0;
        for (int c = 0; c < 6; ++c)
            width += table->columnWidth(c);
        table->setMinimumSize(std::min(width + 40, 1100),
                              std::min(table->verticalHeader()->length() + table->horizontalHeader()->height() + 8, 300));
        layout->addWidget(table, 1);

        m_status = named(new QLabel(this), "lblStatus");
        layout->addWidget(m_status);

        const bool tips = m_env.dialogs.prefs.DoTips;
        auto* saveDesign = named(new QPushButton(QStringLiteral("Save Design"), this), "btnSaveDesign");
        auto* saveText = named(new QPushButton(QStringLiteral("Save Text"), this), "btnSaveText");
        auto* saveDiagram = named(new QPushButton(QStringLiteral("Save Diagram"), this), "btnSaveDiagram");
        auto* close = named(new QPushButton(QStringLiteral("Close"), this), "btnClose");
        setTip(saveDesign, tips, QStringLiteral("Save the re-cut design as a GemCAD file"));
        setTip(saveText, tips, QStringLiteral("Save the cutting list as GemCAD text (.asc)"));
        setTip(saveDiagram, tips, QStringLiteral("Save a printable cutting diagram (PDF)"));
        setTip(close, tips, QStringLiteral("Close the cutting list"));
        layout->addLayout(buttonRow({saveDesign, saveText, saveDiagram, close}));

        connect(saveDesign, &QPushButton::clicked, this, [this] {
            save({"btnSaveDesign_Click", QStringLiteral("Save Re-cut Design"), QStringLiteral("*.GEM"),
                  QStringLiteral(".gem"), QStringLiteral("Name the re-cut design"),
                  QStringLiteral("The design at the new angles, for GemCAD and the ray tracer. A name without "
                                 "an extension gets \".gem\".")},
                 [this] { return gemBytes(m_in.recut); });
        });
        connect(saveText, &QPushButton::clicked, this, [this] {
            save({"btnSaveText_Click", QStringLiteral("Save Cutting List Text"), QStringLiteral("*.ASC"),
                  QStringLiteral(".asc"), QStringLiteral("Name the cutting list text"),
                  QStringLiteral("GemCAD's text form of the re-cut design. A name without an extension gets "
                                 "\".asc\".")},
                 [this] { return ascText(m_in.recut); });
        });
        connect(saveDiagram, &QPushButton::clicked, this, [this] {
            save({"btnSaveDiagram_Click", QStringLiteral("Save Cutting Diagram"), QStringLiteral("*.PDF"),
                  QStringLiteral(".pdf"), QStringLiteral("Name the cutting diagram"),
                  QStringLiteral("A printable page with the tiers, their angles and index positions, and "
                                 "pictures of the stone. A name without an extension gets \".pdf\".")},
                 [this] { return diagramPdf(m_in); });
        });
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
    }

    // The stone's line at the typed width; a width that is no size says so,
    // naming the box, and the diagram then shows no stone line.
    void showStone()
    {
        try {
            const double width = ReadBox(m_width->text(), QStringLiteral("Width (mm)"), BoxRange{0, kMaxRoughMm, true, false});
            if (!m_proportions)
                m_proportions = proportionsOf(m_in.recut);
            m_in.stone = stoneLine(*m_proportions, width, m_env.job);
            m_stone->setText(m_in.stone);
        } catch (const ZepError& e) {
            m_in.stone.clear();
            m_stone->setText(e.messageFor(QStringLiteral("Width")));
        }
    }

    // Asks for a file name through the file chooser and writes the file in one
    // step; nothing is written when the user cancels.
    void save(const SaveKind& kind, const std::function<QByteArray()>& bytes)
    {
        runRoutine(m_env.dialogs.messages, QLatin1String(kind.routine), [&] {
            const QString path = askPath(kind);
            if (path.isEmpty())
                return;
            writeFileSafely(path, bytes());
            m_status->setText(QStringLiteral("Saved ") + QDir::toNativeSeparators(path));
        });
    }

    QString askPath(const SaveKind& kind)
    {
        FileChooserExchange& gf = m_env.dialogs.fileChooser;
        gf.GFOpen = false;
        gf.GFPattern = kind.pattern;
        gf.GFTitle = kind.title;
        gf.GFPrompt = kind.prompt;
        gf.GFTip = kind.tip;
        gf.GFDir = m_saveDir;
        const QString path = chooseSavePath(m_env.dialogs, kind.extension, this);
        if (gf.GFOK)
            m_saveDir = gf.GFDir;
        return path;
    }

    CutListEnv& m_env;
    DiagramInput m_in;
    QString m_saveDir;
    QLabel* m_status = nullptr;
    StoneViews* m_views = nullptr;
    QLineEdit* m_width = nullptr;
    QLabel* m_stone = nullptr;
    std::optional<Proportions> m_proportions;
};

} // namespace

void showCuttingList(CutListEnv& env, QWidget* parent)
{
    const JobState& j = env.job;
    DiagramInput input;
    const bool ready = runRoutine(env.dialogs.messages, QStringLiteral("CutList_Load"), [&] {
        input.angles = {singleAsDecimal(j.olPav), singleAsDecimal(env.hasResult ? j.theFinalPav : j.stPav),
                        singleAsDecimal(j.olCrn), singleAsDecimal(env.hasResult ? j.theFinalCrn : j.stCrn)};
        input.original = loadDesign(j.fnam);
        input.recut = recutDesign(input.original, input.angles);
        input.designName = QFileInfo(j.fnam).fileName();
        input.material = materialLine(j);
        if (env.hasResult)
            input.margin = env.margin;
    });
    if (!ready)
        return;
    CutListWindow w(env, std::move(input), parent);
    w.exec();
}

} // namespace zep
