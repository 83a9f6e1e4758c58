#pragma once
// Ranking: the results a library is missing for a key, computed by the same
// job as `zeptool optimize DESIGN --material NAME` (its defaults: the design's
// own angles, the limits it derives), each a zeptool process of its own run by
// the job pool, each result committed as soon as its job ends. A killed
// ranking loses only the jobs in flight. After a result, the design's picture
// is traced again at its angles. Drives zeptool's `library rank` and the
// library window alike.
#include "library/LibraryDb.h"
#include "library/Results.h"
#include "study/JobPool.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

namespace zep::library {

// The side of a design's picture (an ISO image, grey bytes top row first).
constexpr int PictureSide = 64;

// The programs of a ranking: zeptool and gemray, found beside each other.
struct Programs {
    QString zeptool, gemray;
};
// zeptool and gemray in `folder`; raises ZepError naming what is missing.
Programs programsIn(const QString& folder);

// The picture of a design traced by gemray at `pav` and `crn` (changed from
// its own main tiers) in index `ri`: a task for the job pool that hands the
// grey pixels (PictureSide squared bytes) to `done`, or nothing when the trace fails.
study::JobTask pictureTask(const QString& gemray, const QString& design, const DesignFacts& facts, double pav,
                           double crn, double ri, std::function<void(const QByteArray&)> done);
// Keeps a picture; `of` says at which angles: "own" or the result's search.
void storePicture(LibraryDb& db, qint64 design, const QByteArray& pixels, const QString& of);
// The stored picture (empty when none).
QByteArray storedPicture(LibraryDb& db, qint64 design);

// The command line arguments of a design's job (after the program).
QStringList jobArguments(const QString& design, const ResultKey& key, const QString& targetsFile);

class Ranking : public QObject {
    Q_OBJECT
public:
    struct Options {
        ResultKey key;
        QString targetsFile; // empty: the default targets
        int parallel = 1;
        Programs programs;
        std::optional<std::vector<qint64>> among; // only these designs
        bool pictures = true;
    };
    Ranking(LibraryDb& db, Options options, QObject* parent = nullptr);

    // Finds what is missing and starts its jobs; finished() follows when
    // none is missing.
    void start();
    void cancel();
    int total() const { return m_total; }
    int done() const { return m_done; }
    int failed() const { return m_failed; }
    // Jobs another running ranking had taken (or finished) by their turn.
    int leftToOthers() const { return m_others; }
    // Designs skipped because they have no tier to change (a preform).
    int notStones() const { return m_notStones; }
    bool isFinished() const { return m_finished; }
    // From the time the jobs ended so far; negative before the first.
    double secondsLeft() const;
    // Seconds as a cutter reads a time left, minutes and seconds ("12:05"); "?" while none is known.
    static QString timeText(double seconds);

signals:
    // A job ended: its design and one line on what came of it.
    void jobEnded(qint64 design, const QString& line);
    void pictureStored(qint64 design);
    void finished();

private:
    void jobDone(qint64 design, const QString& path, const study::JobEnd& end);
    void checkFinished();

    LibraryDb& m_db;
    Options m_options;
    study::JobPool m_pool;
    QElapsedTimer m_clock;
    int m_total = 0, m_done = 0, m_failed = 0, m_others = 0, m_notStones = 0;
    bool m_cancelled = false, m_finished = false;
};

} // namespace zep::library
