#include "SmallDialogs.h"
#include "common/NumText.h"
#include "dialogs/WindowSupport.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

namespace zep {

namespace {

const QString TipAccept = QStringLiteral("Accept values");
const QString TipCancel = QStringLiteral("Cancel - do not accept values");

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    return named(new QPushButton(caption, parent), name);
}

QLineEdit* readOnlyBox(QWidget* parent, const QString& name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFrame(false);
    box->setFocusPolicy(Qt::NoFocus);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    box->setPalette(pal);
    return box;
}

// Wide enough for the longest of the texts, within reason.
void fitWidth(QLineEdit* box, const QStringList& texts)
{
    int w = 0;
    for (const QString& t : texts)
        w = std::max(w, box->fontMetrics().horizontalAdvance(t));
    box->setMinimumWidth(std::clamp(w + 16, 320, 900));
}

// ---------------------------------------------------------------- yes / no

class YesNoDialog : public QDialog {
public:
    YesNoDialog(DialogEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
    {
        setObjectName(QStringLiteral("frmYesNoDLOG"));
        setWindowTitle(QStringLiteral("Alert"));
        auto* layout = new QVBoxLayout(this);
        for (int i = 0; i < 4; ++i) {
            m_lines[i] = readOnlyBox(this, QStringLiteral("txtQ%1").arg(i + 1));
            layout->addWidget(m_lines[i]);
        }
        m_ok = button(this, "OKButton", QStringLiteral("OK"));
        m_cancel = button(this, "CancelButton", QStringLiteral("Cancel"));
        m_ok->setDefault(true);
        layout->addLayout(buttonRow({m_ok, m_cancel}));
        connect(m_ok, &QPushButton::clicked, this, [this] { answer(true, "OKButton_Click"); });
        connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
        runRoutine(m_env.messages, QStringLiteral("Form_Load"), [this] { load(); });
    }

    void reject() override { answer(false, "CancelButton_Click"); }

private:
    void load()
    {
        placeWindow(this, m_env.positions.TYesNo, m_env.positions.LYesNo);
        const YesNoExchange& yn = m_env.yesNo;
        m_lines[0]->setText(yn.YNLine1);
        m_lines[1]->setText(yn.YNLine2);
        m_lines[2]->setText(yn.YNLine3);
        m_lines[3]->setText(yn.YNLine4);
        m_lines[3]->setVisible(!yn.YNLine4.isEmpty());
        for (QLineEdit* box : m_lines) {
            box->setCursorPosition(0);
            fitWidth(box, {yn.YNLine1, yn.YNLine2, yn.YNLine3, yn.YNLine4});
        }
        m_env.yesNo.YNLine4.clear();
        setTip(m_ok, m_env.prefs.DoTips, TipAccept);
        setTip(m_cancel, m_env.prefs.DoTips, TipCancel);
    }

    void answer(bool ok, const char* routine)
    {
        runRoutine(m_env.messages, QLatin1String(routine), [&] {
            m_env.yesNo.YNAnswer = ok;
            storeWindowPosition(this, m_env.positions.TYesNo, m_env.positions.LYesNo);
            done(ok ? Accepted : Rejected);
        });
    }

    DialogEnv& m_env;
    std::array<QLineEdit*, 4> m_lines{};
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// ------------------------------------------------------------ four numbers

class FourNumsDialog : public QDialog {
public:
    FourNumsDialog(DialogEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
    {
        setObjectName(QStringLiteral("frm4NumsDLOG"));
        setWindowTitle(QStringLiteral("User Prompt"));
        auto* layout = new QVBoxLayout(this);
        auto* grid = new QGridLayout;
        for (int i = 0; i < 4; ++i) {
            m_prompt[i] = readOnlyBox(this, QStringLiteral("txtNq%1").arg(i + 1));
            m_prompt[i]->setMinimumWidth(260);
            m_value[i] = new QLineEdit(this);
            m_value[i]->setObjectName(QStringLiteral("txtNA%1").arg(i + 1));
            selectAllOnFocus(m_value[i]);
            grid->addWidget(m_prompt[i], i, 0);
            grid->addWidget(m_value[i], i, 1);
        }
        layout->addLayout(grid);
        m_ok = button(this, "OKButton", QStringLiteral("OK"));
        m_cancel = button(this, "CancelButton", QStringLiteral("Cancel"));
        m_ok->setDefault(true);
        layout->addLayout(buttonRow({m_ok, m_cancel}));
        connect(m_ok, &QPushButton::clicked, this,
                [this] { runRoutine(m_env.messages, QStringLiteral("OKButton_Click"), [this] { okClick(); }); });
        connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
        runRoutine(m_env.messages, QStringLiteral("Form_Load"), [this] { load(); });
    }

    void reject() override
    {
        runRoutine(m_env.messages, QStringLiteral("CancelButton_Click"), [this] {
            m_env.fourNum.NAnswer = false;
            QDialog::reject();
        });
    }

private:
    std::array<QString*, 4> prompts() const
    {
        FourNumExchange& n = m_env.fourNum;
        return {&n.NQ1, &n.NQ2, &n.NQ3, &n.NQ4};
    }
    std::array<float*, 4> values() const
    {
        FourNumExchange& n = m_env.fourNum;
        return {&n.NA1, &n.NA2, &n.NA3, &n.NA4};
    }

    void load()
    {
        placeWindow(this, m_env.positions.T4Num, m_env.positions.L4Num);
        if (!m_env.fourNum.title.isEmpty())
            setWindowTitle(m_env.fourNum.title);
        const auto q = prompts();
        const auto a = values();
        for (int i = 0; i < 4; ++i) {
            const bool shown = !q[i]->isEmpty();
            m_prompt[i]->setVisible(shown);
            m_value[i]->setVisible(shown);
            if (shown) {
                m_prompt[i]->setText(*q[i]);
                m_prompt[i]->setCursorPosition(0);
                m_value[i]->setText(NumText(*a[i]));
            }
        }
        setTip(m_ok, m_env.prefs.DoTips, TipAccept);
        setTip(m_cancel, m_env.prefs.DoTips, TipCancel);
    }

    // OK: every shown row needs a number, named by its question when it
    // holds none; nothing is stored until all are read.
    void okClick()
    {
        const auto q = prompts();
        for (int i = 0; i < 4; ++i)
            if (!q[i]->isEmpty() && m_value[i]->text().isEmpty()) {
                m_env.messages.message(QStringLiteral("Please supply values for all fields"));
                return;
            }
        std::array<float, 4> read{};
        if (!runRoutine(m_env.messages, QStringLiteral("OKButton_Click"), [&] {
                for (int i = 0; i < 4; ++i)
                    if (!q[i]->isEmpty())
                        read[std::size_t(i)] = ToSingle(ReadBox(m_value[i]->text(), *q[i], BoxRange{}));
            }))
            return;
        if (m_env.fourNum.refusal) {
            const QString refused = m_env.fourNum.refusal(read);
            if (!refused.isEmpty()) {
                m_env.messages.message(refused);
                return;
            }
        }
        m_env.fourNum.NAnswer = true;
        // Hidden rows keep their values exactly.
        const auto a = values();
        for (int i = 0; i < 4; ++i)
            if (!q[i]->isEmpty())
                *a[i] = read[std::size_t(i)];
        storeWindowPosition(this, m_env.positions.T4Num, m_env.positions.L4Num);
        QDialog::accept();
    }

    DialogEnv& m_env;
    std::array<QLineEdit*, 4> m_prompt{};
    std::array<QLineEdit*, 4> m_value{};
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// ------------------------------------------------------------- information

// A small cut stone seen from above: table, crown facets and girdle.
QPixmap gemPicture()
{
    const int size = 64;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(size / 2.0, size / 2.0);
    // An octagon: the girdle, the table half its size, a crown facet's edge
    // from each of the table's corners to the girdle's.
    QPolygonF girdle, table;
    QList<QLineF> edges;
    for (int i = 0; i < 8; ++i) {
        const double a = (i * 45.0 + 22.5) * 3.14159265358979 / 180.0;
        const QPointF toCorner(std::cos(a), std::sin(a));
        girdle << c + toCorner * 30.0;
        table << c + toCorner * 15.0;
        edges << QLineF(girdle.last(), table.last());
    }
    p.setPen(QPen(QColor(20, 40, 90), 1.2));
    p.setBrush(QColor(90, 150, 230));
    p.drawPolygon(girdle);
    p.drawLines(edges);
    p.setBrush(QColor(180, 215, 255));
    p.drawPolygon(table);
    return pm;
}

class AboutDialog : public QDialog {
public:
    AboutDialog(DialogEnv& env, std::function<void(QWidget*)> openPreferences, QWidget* parent)
        : QDialog(parent), m_env(env), m_openPreferences(std::move(openPreferences))
    {
        setObjectName(QStringLiteral("frmAboutDLOG"));
        setWindowTitle(QStringLiteral("About ZEP"));
        auto* layout = new QVBoxLayout(this);

        auto* head = new QHBoxLayout;
        m_icon = new QLabel(this);
        m_icon->setObjectName(QStringLiteral("picIcon"));
        m_icon->setPixmap(gemPicture());
        head->addWidget(m_icon);
        auto* titles = new QVBoxLayout;
        auto* name = new QLabel(QStringLiteral("ZEP"), this);
        name->setObjectName(QStringLiteral("lblName"));
        QFont big = name->font();
        big.setPointSizeF(big.pointSizeF() * 2);
        big.setBold(true);
        name->setFont(big);
        auto* subtitle = new QLabel(QStringLiteral("Angle optimization for faceted gem designs"), this);
        subtitle->setObjectName(QStringLiteral("lblTitle"));
        m_version = readOnlyBox(this, QStringLiteral("txtVers"));
        titles->addWidget(name);
        titles->addWidget(subtitle);
        titles->addWidget(m_version);
        head->addLayout(titles, 1);
        layout->addLayout(head);

        auto* disclaimer = new QLabel(
            QStringLiteral("This program is offered as it is, without any warranty. Its results are "
                           "computed from models of light in a stone, and a model is never the stone "
                           "itself: check every design before you cut it. You use it at your own risk."),
            this);
        disclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
        disclaimer->setWordWrap(true);
        auto* thanks = new QLabel(
            QStringLiteral("Thanks to the gem cutters who tried the early versions, reported what went "
                           "wrong and suggested what was missing."),
            this);
        thanks->setObjectName(QStringLiteral("lblAck"));
        thanks->setWordWrap(true);
        layout->addWidget(disclaimer);
        layout->addWidget(thanks);

        m_cust = button(this, "btnCust", QStringLiteral("Customize ZEP"));
        m_ok = button(this, "cmdOK", QStringLiteral("OK"));
        m_ok->setDefault(true);
        layout->addLayout(buttonRow({m_cust, m_ok}));
        setMinimumWidth(420);

        connect(m_cust, &QPushButton::clicked, this, [this] {
            runRoutine(m_env.messages, QStringLiteral("btnCust_Click"), [this] {
                if (m_openPreferences)
                    m_openPreferences(this);
            });
        });
        connect(m_ok, &QPushButton::clicked, this, [this] { reject(); });
        runRoutine(m_env.messages, QStringLiteral("Form_Load"), [this] { load(); });
    }

    // cmdOK and closing the window alike keep the position.
    void reject() override
    {
        runRoutine(m_env.messages, QStringLiteral("cmdOK_Click"), [this] {
            storeWindowPosition(this, m_env.positions.TAbout, m_env.positions.LAbout);
            QDialog::reject();
        });
    }

private:
    void load()
    {
        placeWindow(this, m_env.positions.TAbout, m_env.positions.LAbout);
        m_version->setText(versionText());
        const bool tips = m_env.prefs.DoTips;
        setTip(m_icon, tips, QStringLiteral("Don't let the #@$&! grind you down"));
        setTip(m_cust, tips, QStringLiteral("Set Preferences"));
        setTip(m_ok, tips, QStringLiteral("Close Window"));
    }

    DialogEnv& m_env;
    std::function<void(QWidget*)> m_openPreferences;
    QLabel* m_icon;
    QLineEdit* m_version;
    QPushButton* m_cust;
    QPushButton* m_ok;
};

} // namespace

QString versionText()
{
    return QStringLiteral("Version ") + Format(1.0f, u"#.00") + QStringLiteral(" 17 September 2002");
}

void showYesNo(DialogEnv& env, QWidget* parent)
{
    YesNoDialog d(env, parent);
    d.exec();
}

void showFourNums(DialogEnv& env, QWidget* parent)
{
    FourNumsDialog d(env, parent);
    d.exec();
    env.fourNum.refusal = {};
}

void showAbout(DialogEnv& env, const std::function<void(QWidget*)>& openPreferences, QWidget* parent)
{
    AboutDialog d(env, openPreferences, parent);
    d.exec();
}

} // namespace zep
