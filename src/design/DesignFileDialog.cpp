#include "DesignFileDialog.h"
#include "GemAngles.h"
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "dialogs/WindowSupport.h"

#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <new>

namespace zep {

namespace {

constexpr int PathRole = Qt::UserRole;

QLabel* label(const QString& text, QWidget* parent, const char* name = nullptr)
{
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

QListWidget* list(const char* name, QWidget* parent)
{
    auto* l = new QListWidget(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    return l;
}

} // namespace

DesignFileDialog::DesignFileDialog(DesignEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
{
    setObjectName(QStringLiteral("frmFileDLOG"));
    setWindowTitle(env.fd.FDTitle.isEmpty() ? QStringLiteral("Select GemCAD File and Old Angles")
                                            : env.fd.FDTitle);

    auto* instr = label(QStringLiteral("Step 1. Please select a GemCAD file and click \"Extract Angles\""),
                        this, "Instr");
    auto* parse1 = label(QStringLiteral("Step 2. Select one pavilion and one crown angle for optimization"),
                         this, "lblParse1");
    auto* help = label(QStringLiteral(
                           "Navigate to the drive and directory and select the desired GemCAD file. "
                           "ZEP will work on a copy of this file. Click \"Extract Angles\" to see a list "
                           "of suitable angles. Select one angle from each list. These are the \"old\" "
                           "angles from the GemCAD file. Unless changed, these will also be the \"start\" "
                           "angles for optimization."),
                       this, "Help");
    help->setWordWrap(true);

    m_dirPath = folderPathBox(this, env.messages, [this](const QString& folder, const QString& file) {
        setDirectory(folder);
        if (const auto found = m_fileList->findItems(file, Qt::MatchExactly); !file.isEmpty() && !found.isEmpty())
            m_fileList->setCurrentItem(found.first());
    });
    m_dirList = list("dirList", this);
    m_fileList = list("fileList", this);
    m_lstPav = list("lstPav", this);
    m_lstCrn = list("lstCrn", this);
    m_dirList->installEventFilter(this);

    auto* btnParse = named(new QPushButton(QStringLiteral("Extract Angles"), this), "btnParse");
    auto* ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    for (QPushButton* b : {btnParse, ok, cancel})
        b->setAutoDefault(false);

    const bool tips = env.prefs.DoTips;
    setTip(btnParse, tips, QStringLiteral("Extract angles from GemCAD file"));
    setTip(ok, tips, QStringLiteral("Accept values"));
    setTip(cancel, tips, QStringLiteral("Cancel - do not accept values"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(instr, 0, 0, 1, 4);
    auto* dirCaption = new QHBoxLayout;
    dirCaption->addWidget(label(QStringLiteral("Directory: "), this));
    dirCaption->addWidget(m_dirPath, 1);
    grid->addLayout(dirCaption, 1, 0, 1, 4); // the whole width, for long paths
    grid->addWidget(label(QStringLiteral("File:"), this), 2, 2, 1, 2);
    grid->addWidget(m_dirList, 3, 0, 1, 2);
    grid->addWidget(m_fileList, 3, 2, 1, 2);
    grid->addWidget(btnParse, 4, 0);
    grid->addWidget(parse1, 5, 0, 1, 4);
    grid->addWidget(label(QStringLiteral("Pavilion Angles"), this), 6, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Crown Angles"), this), 6, 2, 1, 2);
    grid->addWidget(m_lstPav, 7, 0, 1, 2);
    grid->addWidget(m_lstCrn, 7, 2, 1, 2);
    grid->addWidget(help, 8, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 9, 0, 1, 4);

    connect(m_dirList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setDirectory(item->data(PathRole).toString()); });
    connect(btnParse, &QPushButton::clicked, this, &DesignFileDialog::parseClicked);
    connect(ok, &QPushButton::clicked, this, &DesignFileDialog::okClicked);
    connect(cancel, &QPushButton::clicked, this, &DesignFileDialog::reject);

    // Opening: the saved place, the last folder, empty angle lists.
    placeWindow(this, env.positions.TFile, env.positions.LFile);
    QString start = QDir::currentPath();
    if (!env.fd.FDDir.isEmpty()) {
        if (QDir(env.fd.FDDir).exists())
            start = env.fd.FDDir;
        else
            env.messages.report(ZepError(err::PathNotFound), QStringLiteral("Form_Load"));
    }
    setDirectory(start);
}

DesignFileDialog::~DesignFileDialog()
{
    m_dirList->removeEventFilter(this);
}

void DesignFileDialog::setDirectory(const QString& dir)
{
    const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
    if (!QDir(clean).exists())
        return;
    m_dir = clean;
    showFolder(m_dirPath, m_dir);
    fillDirList();
    fillFileList();
}

// The folders from the root down to the current one, then its subfolders,
// indented by depth; the current folder is highlighted.
void DesignFileDialog::fillDirList()
{
    m_dirList->clear();
    QStringList chain;
    for (QDir d(m_dir);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    auto add = [this](const QString& path, int depth) {
        const QString name = QDir(path).isRoot() ? QDir::toNativeSeparators(path) : QDir(path).dirName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, m_dirList);
        item->setData(PathRole, path);
        return item;
    };
    int depth = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& path : chain)
        current = add(path, depth++);
    const QDir here(m_dir);
    for (const QString& sub : here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        add(here.absoluteFilePath(sub), depth);
    m_dirList->setCurrentItem(current);
}

void DesignFileDialog::fillFileList()
{
    m_fileList->clear();
    QDir here(m_dir);
    // Designs and GemCAD's text export of them; without CaseSensitive: any letter case.
    here.setNameFilters({QStringLiteral("*.GEM"), QStringLiteral("*.asc")});
    m_fileList->addItems(here.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

QString DesignFileDialog::selectedFile() const
{
    const auto items = m_fileList->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

// Leaving the directory list opens the folder highlighted in it.
bool DesignFileDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_dirList && event->type() == QEvent::FocusOut
        && static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason
        && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        if (QListWidgetItem* item = m_dirList->currentItem()) {
            const QString path = item->data(PathRole).toString();
            if (path != m_dir)
                setDirectory(path);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DesignFileDialog::parseClicked()
{
    const QString file = selectedFile();
    if (file.isEmpty()) {
        m_env.messages.message(QStringLiteral("Please select a file first"));
        return;
    }
    runRoutine(m_env.messages, QStringLiteral("btnParse_Click"), [&] {
        const GemAngleLists found = ParseFile(joinPath(m_dir, file), m_env.workPath + QStringLiteral("B"));
        m_lstPav->clear();
        m_lstCrn->clear();
        m_lstPav->addItems(found.pav);
        m_lstCrn->addItems(found.crn);
        // The design's own angles are chosen first; every tier stays offered.
        for (auto [list, main] : {std::pair{m_lstPav, found.mainPav}, std::pair{m_lstCrn, found.mainCrn}}) {
            const auto items = list->findItems(main, Qt::MatchExactly);
            if (!main.isEmpty() && !items.isEmpty())
                list->setCurrentItem(items.first());
        }
    });
}

void DesignFileDialog::okClicked()
{
    DesignFileExchange& fd = m_env.fd;
    fd.FDOK = true;
    // A path the saved state could not hold is refused before it is kept.
    const QString dir = QDir::toNativeSeparators(m_dir);
    const QString file = selectedFile();
    const QString refusal = pathRefusal(joinPath(dir, file));
    if (!refusal.isEmpty()) {
        m_env.messages.message(refusal);
        return;
    }
    fd.FDDrv.clear();
    fd.FDDir = dir;
    fd.FDFile = file;
    if (fd.FDFile.isEmpty()) {
        m_env.messages.message(QStringLiteral("Please select a file first"));
        return;
    }
    const auto pav = m_lstPav->selectedItems();
    const auto crn = m_lstCrn->selectedItems();
    if (pav.isEmpty() || crn.isEmpty()) {
        m_env.messages.message(
            QStringLiteral("Please parse the file and select one pavillion and one crown angle"));
        return;
    }
    if (!runRoutine(m_env.messages, QStringLiteral("OKButton_Click"), [&] {
            fd.FDPav = ToSingle(Val(pav.first()->text()));
            fd.FDCrn = ToSingle(Val(crn.first()->text()));
        }))
        return;
    storeWindowPosition(this, m_env.positions.TFile, m_env.positions.LFile);
    accept();
}

void DesignFileDialog::reject()
{
    m_env.fd.FDOK = false;
    QDialog::reject();
}

void showDesignFileDialog(DesignEnv& env, QWidget* parent)
{
    DesignFileDialog dialog(env, parent);
    dialog.exec();
}

} // namespace zep
