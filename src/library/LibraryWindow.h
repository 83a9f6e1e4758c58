#pragma once
// The Design Library window: the library's designs with their picture (the
// outline and facets from above), name and file, gear, facets, L/W and, in
// the job's material and targets, the final merit function and angles, and
// how many are shown. It filters as you type and sorts by any column over a
// model that reads the database a page at a time; pictures are drawn only
// for the rows that are shown. Add Folder adds designs in the background
// (closing the window stops it); Rank computes the missing results of the
// shown designs with zeptool's own processes (never the job's console), with
// progress, time left and Cancel, and rows fill in as results arrive. The
// rows follow the job's material and targets as they change. Use This Design
// hands the chosen design to the main window's usual design path.
#include "common/Messages.h"
#include "library/LibraryDb.h"
#include "library/Ranking.h"
#include "library/Results.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
#include <QSet>
#include <QWidget>
#include <array>
#include <optional>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTemporaryDir;
class QThread;
class QTimer;

namespace zep {
struct JobState;
struct OptimizationTargets;
} // namespace zep

namespace zep::library {

// The table over the database: a page of rows at a time.
class LibraryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Weight and Yield: the stone in the rough typed in (hidden without one);
    // Tiers: the tiers the result's angles belong to, or why its ranking failed.
    enum Column { Picture, Name, Gear, Facets, LW, MeritFunction, Pavilion, Crown, Weight, Yield, Tiers, Columns };
    LibraryModel(LibraryDb& db, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    void setKey(const std::optional<ResultKey>& key);
    void setText(const QString& text);
    // The rough whose weight and yield the rows show (in the key's material);
    // none: the two columns stay empty.
    void setRough(const std::optional<std::array<double, 3>>& mm);
    // Reads the rows again (as many as were read), keeping the filter.
    void reload();
    const ListFilter& filter() const { return m_filter; }
    int total() const { return m_total; }
    const ListRow& row(int r) const { return m_rows[std::size_t(r)]; }

    static constexpr int Page = 200;

private:
    // The tiers of its result ("2 at 41.50, B at 28.00"), or why its ranking failed.
    static QString tiersText(const ListRow& r);
    QPixmap picture(const ListRow& r) const;
    LibraryDb& m_db;
    ListFilter m_filter;
    std::vector<ListRow> m_rows;
    int m_total = 0;
    mutable QHash<qint64, QPixmap> m_pictures;
    std::optional<std::array<double, 3>> m_rough;
};

struct LibraryWindowEnv {
    const JobState& job;
    const OptimizationTargets& targets;
    MessageSink& messages;
    QString libraryPath;   // the database
    QString programs;      // the folder of zeptool and gemray
    // The main window's usual design path: the design, its own angles as old
    // angles, its best result's angles as start angles and its own index;
    // it returns what it set of the job (the limits), for the status line.
    std::function<QString(const QString& path, float olPav, float olCrn, float stPav, float stCrn, float ri)> useDesign;
};

class LibraryWindow : public QWidget {
    Q_OBJECT
public:
    // Raises ZepError when the library cannot be opened.
    LibraryWindow(LibraryWindowEnv env, QWidget* parent = nullptr);
    ~LibraryWindow() override;

    LibraryModel& model() { return *m_model; }
    bool busy() const;
    QString statusText() const;

public slots:
    // Adds the designs of a folder in the background.
    void addFolder(const QString& folder);
    void rank();
    void cancel();
    void useThisDesign();
    // The job's material or targets may have changed: the rows and the
    // material's label follow at once (after a ranking, which keeps its own).
    void jobChanged();

signals:
    void idle();

private:
    void chooseFolder();
    // The job's material and targets as a key; nothing (after a message)
    // when the job has no material of the table.
    std::optional<ResultKey> jobKey(bool tell);
    void setWorking(bool working, const QString& status);
    // Reads the three boxes of the rough: all filled, the columns of weight
    // and yield appear; a box that holds no size is named in the status.
    void roughChanged();
    // The chosen row's stone: its sizes at its result's angles (in the rough,
    // when there is one), else at its own.
    void showStone();

    LibraryWindowEnv m_env;
    std::unique_ptr<LibraryDb> m_db;
    Programs m_programs;
    LibraryModel* m_model;
    QLineEdit* m_filter;
    QLineEdit* m_rough[3];
    QLabel* m_material;
    QLabel* m_count; // the designs shown, of all
    QTableView* m_table;
    QPushButton *m_add, *m_rank, *m_use, *m_cancel;
    QProgressBar* m_progress;
    QLabel* m_status;
    QTimer* m_typing;
    QTimer* m_refill;
    std::unique_ptr<Ranking> m_ranking;
    std::unique_ptr<QTemporaryDir> m_targetsDir;
    QThread* m_adding = nullptr;
    std::atomic_bool m_closing = false; // the adding stops
};

// Opens the window, or tells why the library cannot be used (null then).
LibraryWindow* showLibraryWindow(LibraryWindowEnv env, QWidget* parent);

} // namespace zep::library
