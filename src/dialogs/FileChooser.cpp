#include "FileChooser.h"
#include "SmallDialogs.h"
#include "common/FileIO.h"
#include "common/Messages.h"
#include "dialogs/WindowSupport.h"

#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zep {

namespace {

// "*" and "?" wildcards, letter case ignored.
bool wildcardMatch(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()
            && (pattern[p] == u'?' || QChar(pattern[p]).toCaseFolded() == QChar(name[n]).toCaseFolded())) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool matchesOne(const QString& name, QStringView pattern)
{
    pattern = pattern.trimmed();
    if (pattern.isEmpty())
        return false;
    if (pattern == u"*.*" || wildcardMatch(name, pattern))
        return true;
    // Programs carry no ".EXE" here.
    const QStringView exe = u".exe";
    if (pattern.size() > exe.size() && pattern.endsWith(exe, Qt::CaseInsensitive) && !name.contains(u'.'))
        return wildcardMatch(name, pattern.chopped(exe.size()));
    return false;
}

QStringList entries(const QString& dir, QDir::Filters kind)
{
    return QDir(dir).entryList(kind | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

class FileChooserDialog : public QDialog {
public:
    FileChooserDialog(DialogEnv& env, QWidget* parent) : QDialog(parent), m_env(env)
    {
        setObjectName(QStringLiteral("frmGenericFile"));
        setWindowTitle(QStringLiteral("Select / Create File"));
        build();
        runRoutine(m_env.messages, QStringLiteral("GF_Form_Load"), [this] { load(); });
    }

    ~FileChooserDialog() override { m_dirList->removeEventFilter(this); }

    void reject() override
    {
        runRoutine(m_env.messages, QStringLiteral("GF_Cancel"), [this] {
            m_env.fileChooser.GFOK = false;
            storeWindowPosition(this, m_env.positions.TGF, m_env.positions.LGF);
            QDialog::reject();
        });
    }

protected:
    // dirList: leaving it enters the highlighted folder; Enter enters it too
    // (and does not press OK).
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == m_dirList && e->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(e)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                runRoutine(m_env.messages, QStringLiteral("dirList_LostFocus"), [this] {
                    const auto picked = m_dirList->selectedItems();
                    if (!picked.isEmpty())
                        changeDirectory(picked.first()->data(Qt::UserRole).toString());
                });
        } else if (watched == m_dirList && e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                if (QListWidgetItem* item = m_dirList->currentItem())
                    enterFolder(item);
                return true;
            }
        }
        return QDialog::eventFilter(watched, e);
    }

private:
    void build()
    {
        auto* layout = new QVBoxLayout(this);
        m_select = label("lblSelect", QStringLiteral("Select a file"));
        QFont bold = m_select->font();
        bold.setBold(true);
        m_select->setFont(bold);
        layout->addWidget(m_select);

        auto* pathRow = new QHBoxLayout;
        pathRow->addWidget(label("lblDir", QStringLiteral("Directory: ")));
        m_path = folderPathBox(this, m_env.messages, [this](const QString& folder, const QString& file) {
            runRoutine(m_env.messages, QStringLiteral("dirList_Change"), [&] { changeDirectory(folder); });
            const auto found = m_fileList->findItems(file, Qt::MatchExactly);
            if (m_env.fileChooser.GFOpen && !file.isEmpty() && !found.isEmpty())
                m_fileList->setCurrentItem(found.first());
        });
        pathRow->addWidget(m_path, 1);
        layout->addLayout(pathRow);

        auto* lists = new QGridLayout;
        m_dirList = new QListWidget(this);
        m_dirList->setObjectName(QStringLiteral("dirList"));
        m_dirList->installEventFilter(this);
        m_fileList = new QListWidget(this);
        m_fileList->setObjectName(QStringLiteral("fileList"));
        for (QListWidget* l : {m_dirList, m_fileList}) {
            l->setSelectionMode(QAbstractItemView::SingleSelection);
            l->setMinimumSize(220, 200);
        }
        lists->addWidget(label("lblFolders", QStringLiteral("Folders")), 0, 0);
        lists->addWidget(label("lblFiles", QStringLiteral("Current Files")), 0, 1);
        lists->addWidget(m_dirList, 1, 0);
        lists->addWidget(m_fileList, 1, 1);
        layout->addLayout(lists, 1);

        m_enterNew = label("lblEnterNew", QStringLiteral("Enter a new filename to create"));
        m_fileName = new QLineEdit(this);
        m_fileName->setObjectName(QStringLiteral("txtFileName"));
        selectAllOnFocus(m_fileName);
        layout->addWidget(m_enterNew);
        layout->addWidget(m_fileName);

        auto* tipRow = new QHBoxLayout;
        tipRow->addWidget(label("lblTipCaption", QStringLiteral("Tip")));
        m_tip = label("lblTip", QStringLiteral("Navigate and select."));
        m_tip->setWordWrap(true);
        tipRow->addWidget(m_tip, 1);
        layout->addLayout(tipRow);

        m_ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
        m_ok->setDefault(true);
        m_cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
        layout->addLayout(buttonRow({m_ok, m_cancel}));

        connect(m_dirList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { enterFolder(i); });
        connect(m_fileList, &QListWidget::itemDoubleClicked, this, [this] {
            if (m_env.fileChooser.GFOpen)
                m_ok->click();
        });
        connect(m_ok, &QPushButton::clicked, this,
                [this] { runRoutine(m_env.messages, QStringLiteral("GF_OKButton_Click"), [this] { okClick(); }); });
        connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    }

    QLabel* label(const char* name, const QString& text)
    {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        return l;
    }

    void load()
    {
        const FileChooserExchange& gf = m_env.fileChooser;
        placeWindow(this, m_env.positions.TGF, m_env.positions.LGF);
        if (gf.GFOpen) {
            m_enterNew->hide();
            m_fileName->hide();
        } else {
            // Shows what exists; nothing can be picked from it.
            m_fileList->setSelectionMode(QAbstractItemView::NoSelection);
            m_fileList->setFocusPolicy(Qt::NoFocus);
        }
        m_pattern = gf.GFPattern;
        if (!gf.GFTitle.isEmpty())
            setWindowTitle(gf.GFTitle);
        if (!gf.GFPrompt.isEmpty())
            m_select->setText(gf.GFPrompt);
        if (!gf.GFTip.isEmpty())
            m_tip->setText(gf.GFTip);
        setTip(m_ok, m_env.prefs.DoTips, QStringLiteral("Accept values"));
        setTip(m_cancel, m_env.prefs.DoTips, QStringLiteral("Cancel - do not accept values"));
        // A remembered folder that has gone away: say so, and start here.
        if (!gf.GFDir.isEmpty() && !QFileInfo(gf.GFDir).isDir()) {
            changeDirectory(QDir::currentPath());
            throw ZepError(err::PathNotFound);
        }
        changeDirectory(gf.GFDir.isEmpty() ? QDir::currentPath() : gf.GFDir);
        // Where the user types first: the new name (the offered one), or the
        // highlighted file.
        if (!gf.GFOpen) {
            m_fileName->setText(gf.GFSuggested);
            m_fileName->setFocus();
        } else if (m_fileList->currentItem()) {
            m_fileList->setFocus();
        }
        m_env.fileChooser.GFSuggested.clear();
    }

    void enterFolder(QListWidgetItem* item)
    {
        runRoutine(m_env.messages, QStringLiteral("dirList_Change"),
                   [&] { changeDirectory(item->data(Qt::UserRole).toString()); });
    }

    // The folder list moves to `dir`, and the file list with it.
    void changeDirectory(const QString& dir)
    {
        const QFileInfo info(dir);
        if (!info.isDir())
            throw ZepError(err::PathNotFound);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
        m_dirList->clear();
        QDir here(path);
        if (!here.isRoot()) {
            auto* up = new QListWidgetItem(style()->standardIcon(QStyle::SP_FileDialogToParent),
                                           QStringLiteral(".."), m_dirList);
            up->setData(Qt::UserRole, QDir::cleanPath(here.absoluteFilePath(QStringLiteral(".."))));
        }
        for (const QString& name : subfolders(path)) {
            auto* item = new QListWidgetItem(folder, name, m_dirList);
            item->setData(Qt::UserRole, here.absoluteFilePath(name));
        }
        m_fileList->clear();
        m_fileList->addItems(matchingFiles(path, m_pattern));
        // The one file that fits stands highlighted: OK takes it.
        if (m_env.fileChooser.GFOpen && m_fileList->count() == 1)
            m_fileList->setCurrentRow(0);
        m_dir = path;
        showFolder(m_path, path);
    }

    void okClick()
    {
        FileChooserExchange& gf = m_env.fileChooser;
        gf.GFOK = true;
        gf.GFDrv.clear();
        gf.GFDir = QDir::toNativeSeparators(m_dir);
        if (gf.GFOpen) {
            const auto picked = m_fileList->selectedItems();
            gf.GFFile = picked.isEmpty() ? QString() : picked.first()->text();
        } else {
            gf.GFFile = m_fileName->text();
            if (!gf.GFFile.isEmpty()) {
                const QString full = joinPath(gf.GFDir, gf.GFFile);
                if (QFileInfo(full).isDir())
                    throw ZepError(err::PathFileAccess);
                if (fileExists(full)) {
                    m_env.yesNo.YNLine1 = QStringLiteral("The specified file ") + full;
                    m_env.yesNo.YNLine2 = QStringLiteral("already exists!");
                    m_env.yesNo.YNLine3 = QStringLiteral("Click Ok to overwrite, Cancel to abort");
                    showYesNo(m_env, this);
                    if (!m_env.yesNo.YNAnswer)
                        return;
                    // The caller's write replaces the file in one step: it
                    // stays until then.
                }
            }
        }
        if (gf.GFFile.isEmpty()) {
            m_env.messages.message(gf.GFOpen ? QStringLiteral("Please select a file first")
                                             : QStringLiteral("Please enter a file name first"));
            return;
        }
        storeWindowPosition(this, m_env.positions.TGF, m_env.positions.LGF);
        QDialog::accept();
    }

    DialogEnv& m_env;
    QString m_dir;
    QString m_pattern;
    QLabel* m_select = nullptr;
    QLineEdit* m_path = nullptr;
    QLabel* m_tip = nullptr;
    QLabel* m_enterNew = nullptr;
    QListWidget* m_dirList = nullptr;
    QListWidget* m_fileList = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace

bool fileMatchesPattern(const QString& name, const QString& pattern)
{
    if (pattern.trimmed().isEmpty())
        return true;
    for (QStringView one : QStringView(pattern).split(u';'))
        if (matchesOne(name, one))
            return true;
    return false;
}

QStringList matchingFiles(const QString& dir, const QString& pattern)
{
    QStringList out;
    for (const QString& name : entries(dir, QDir::Files))
        if (fileMatchesPattern(name, pattern))
            out << name;
    return out;
}

QStringList subfolders(const QString& dir)
{
    return entries(dir, QDir::Dirs);
}

void showFileChooser(DialogEnv& env, QWidget* parent)
{
    FileChooserDialog d(env, parent);
    d.exec();
}

QString chooseSavePath(DialogEnv& env, const QString& extension, QWidget* parent)
{
    FileChooserExchange& gf = env.fileChooser;
    gf.GFOK = false;
    showFileChooser(env, parent);
    if (!gf.GFOK)
        return QString();
    const QString typed = joinPath(gf.GFDir, gf.GFFile);
    const QString path = withDefaultExtension(typed, extension);
    // The chooser has asked about replacing the name as typed.
    if (path != typed && fileExists(path)
        && !env.messages.question(QStringLiteral("The file ") + path + QStringLiteral(" already exists. Replace it?")))
        return QString();
    return path;
}

} // namespace zep
