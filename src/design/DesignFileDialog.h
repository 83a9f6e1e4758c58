#pragma once
// frmFileDLOG: browse folders, pick a design (.GEM or .asc), extract its facet angles
// and pick one pavilion and one crown angle.
#include "DesignDialogs.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace zep {

class DesignFileDialog : public QDialog {
    Q_OBJECT
public:
    DesignFileDialog(DesignEnv& env, QWidget* parent = nullptr);
    ~DesignFileDialog() override;

    // The folder shown by the directory and file lists.
    QString directory() const { return m_dir; }
    void setDirectory(const QString& dir);

    void reject() override; // Cancel, Escape and the window's close box

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillDirList();
    void fillFileList();
    QString selectedFile() const;
    void parseClicked();
    void okClicked();

    DesignEnv& m_env;
    QString m_dir;
    QLineEdit* m_dirPath;
    QListWidget* m_dirList;
    QListWidget* m_fileList;
    QListWidget* m_lstPav;
    QListWidget* m_lstCrn;
};

} // namespace zep
