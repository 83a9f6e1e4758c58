#include "library/Ranking.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "recut/CuttingList.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

namespace zep::library {

namespace {

const QString Removed = QStringLiteral("skipped: it left the library meanwhile");

} // namespace

Programs programsIn(const QString& folder)
{
    Programs p;
    const QString zeptool = findNoCase(folder, {QStringLiteral("zeptool")});
    const QString gemray = findNoCase(folder, {QStringLiteral("gemray")});
    if (zeptool.isEmpty() || gemray.isEmpty())
        throw ZepError(err::FileNotFound, QStringLiteral("The programs zeptool and gemray are not both in %1.")
                                              .arg(QDir::toNativeSeparators(folder)));
    p.zeptool = joinPath(folder, zeptool);
    p.gemray = joinPath(folder, gemray);
    return p;
}

study::JobTask pictureTask(const QString& gemray, const QString& design, const DesignFacts& facts, double pav,
                           double crn, double ri, std::function<void(const QByteArray&)> done)
{
    auto folder = std::make_shared<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zep-picture-XXXXXX"));
    const auto number = [](double x) { return QString::number(x, 'g', 9); };
    study::JobTask t;
    t.program = gemray;
    t.workingFolder = folder->path();
    t.arguments = QStringList{QStringLiteral("-p"), number(facts.pav), number(pav), QStringLiteral("-c"),
                              number(facts.crn), number(crn), QStringLiteral("-i"), number(ri), QStringLiteral("-s"),
                              QString::number(PictureSide), QStringLiteral("-t"), QStringLiteral("1"),
                              QStringLiteral("-g"), QFileInfo(design).absoluteFilePath(), QStringLiteral("N"),
                              QStringLiteral("N"), QStringLiteral("iso.raw")};
    t.ended = [folder, done = std::move(done)](const study::JobEnd& end) {
        QByteArray pixels;
        QFile raw(folder->filePath(QStringLiteral("iso.raw")));
        // A lead byte, the pixels and a tail byte.
        if (end.normalExit && end.exitCode == 0 && raw.open(QIODevice::ReadOnly)
            && raw.size() == PictureSide * PictureSide + 2)
            pixels = raw.readAll().mid(1, PictureSide * PictureSide);
        done(pixels);
    };
    return t;
}

void storePicture(LibraryDb& db, qint64 design, const QByteArray& pixels, const QString& of)
{
    db.transaction([&] {
        Statement s = db.prepare("UPDATE designs SET picture=?, picture_side=?, picture_of=? WHERE id=?");
        s.bindBlob(1, pixels).bind(2, PictureSide).bind(3, of).bind(4, design);
        s.step();
    });
}

QByteArray storedPicture(LibraryDb& db, qint64 design)
{
    Statement s = db.prepare("SELECT picture FROM designs WHERE id=? AND picture_side=?");
    s.bind(1, design).bind(2, PictureSide);
    return s.step() ? s.blob(0) : QByteArray();
}

QStringList jobArguments(const QString& design, const ResultKey& key, const QString& targetsFile)
{
    QStringList a{QStringLiteral("optimize"), design, QStringLiteral("--material"), key.material};
    if (!targetsFile.isEmpty())
        a << QStringLiteral("--targets") << targetsFile;
    if (key.search == QLatin1String("global"))
        a << QStringLiteral("--global");
    if (key.tolerance)
        a << QStringLiteral("--tolerance") << QString::number(float(*key.tolerance), 'g', 6);
    a << QStringLiteral("--json");
    return a;
}

Ranking::Ranking(LibraryDb& db, Options options, QObject* parent)
    : QObject(parent), m_db(db), m_options(std::move(options)), m_pool(m_options.parallel)
{
    connect(&m_pool, &study::JobPool::drained, this, &Ranking::checkFinished);
}

void Ranking::start()
{
    const std::vector<qint64> missing =
        missingDesigns(m_db, m_options.key, m_options.among ? &*m_options.among : nullptr);
    m_total = int(missing.size());
    m_clock.start();
    for (const qint64 design : missing) {
        // The job runs on a path that still holds the design's bytes.
        const QString path = currentPath(m_db, design);
        if (path.isEmpty()) {
            ++m_done;
            ++m_failed;
            emit jobEnded(design, QStringLiteral("skipped: none of its files holds it any more"));
            continue;
        }
        // A design an older ZEP added that has no tier to change is no
        // failed ranking: it is not a stone to optimize.
        const DesignFacts facts = designFacts(m_db, design);
        const std::string why = notOptimizable(MainAngles{facts.pav, facts.crn, {}, {}});
        if (!why.empty()) {
            ++m_done;
            ++m_notStones;
            emit jobEnded(design, QStringLiteral("skipped: not a stone to optimize: ") + QString::fromStdString(why));
            continue;
        }
        study::JobTask t{m_options.programs.zeptool, jobArguments(path, m_options.key, m_options.targetsFile), {}, {}, {}};
        t.ended = [this, design, path](const study::JobEnd& end) { jobDone(design, path, end); };
        // Two rankings of one library share the work: a job is taken at its
        // turn, when its file still holds the design it held when the ranking began.
        t.starting = [this, design, path, hash = designFacts(m_db, design).hash] {
            if (fileHash(path) != hash) {
                ++m_done;
                ++m_failed;
                emit jobEnded(design, QStringLiteral("skipped: its file changed meanwhile"));
                return false;
            }
            if (claimJob(m_db, design, m_options.key))
                return true;
            ++m_done;
            if (designFacts(m_db, design).hash.isEmpty()) {
                ++m_failed;
                emit jobEnded(design, Removed);
            } else {
                ++m_others;
                emit jobEnded(design, QStringLiteral("left to another ranking"));
            }
            return false;
        };
        m_pool.add(std::move(t));
    }
    checkFinished();
}

void Ranking::cancel()
{
    m_cancelled = true;
    m_pool.cancel();
    checkFinished();
}

QString Ranking::timeText(double seconds)
{
    if (!(seconds >= 0))
        return QStringLiteral("?");
    const double s = std::round(std::min(seconds, 1e9));
    return QStringLiteral("%1:%2").arg(std::floor(s / 60), 0, 'f', 0).arg(std::fmod(s, 60), 2, 'f', 0, QLatin1Char('0'));
}

double Ranking::secondsLeft() const
{
    if (m_done == 0)
        return -1;
    return double(m_clock.elapsed()) / 1000 / m_done * (m_total - m_done);
}

void Ranking::jobDone(qint64 design, const QString& path, const study::JobEnd& end)
{
    ++m_done;
    const QJsonObject line = QJsonDocument::fromJson(end.output).object();
    QString said;
    if (end.normalExit && end.exitCode == 0 && !line.isEmpty()) {
        const StoredResult r = resultFromJson(line, m_options.key);
        if (!storeResult(m_db, design, r)) {
            ++m_failed;
            said = Removed;
        } else if (r.error.isEmpty()) {
            said = QStringLiteral("merit function %1 at pavilion %2, crown %3")
                       .arg(NumText(r.finalMf).trimmed(), Format(r.finalPav, u"#.000"), Format(r.finalCrn, u"#.000"));
            if (m_options.pictures) {
                const DesignFacts facts = designFacts(m_db, design);
                m_pool.addFirst(pictureTask(m_options.programs.gemray, path, facts, r.finalPav, r.finalCrn,
                                            m_options.key.ri, [this, design](const QByteArray& pixels) {
                                                if (pixels.isEmpty())
                                                    return;
                                                storePicture(m_db, design, pixels, m_options.key.search);
                                                emit pictureStored(design);
                                            }));
            }
        } else {
            ++m_failed;
            said = QStringLiteral("failed: ") + r.error;
        }
    } else if (end.normalExit && end.exitCode == 1) {
        // The job refused the design or did not complete: kept as its answer,
        // so that it is not asked again.
        QString why = QString::fromLocal8Bit(end.errors).trimmed().section(u'\n', 0, 0);
        why.remove(QRegularExpression(QStringLiteral("^zeptool optimize: ")));
        StoredResult r;
        r.key = m_options.key;
        r.error = why.isEmpty() ? QStringLiteral("the job ended without a result") : why;
        r.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        ++m_failed;
        said = storeResult(m_db, design, r) ? QStringLiteral("failed: ") + r.error : Removed;
    } else {
        // A job that crashed or was killed leaves nothing: the next ranking runs it again.
        ++m_failed;
        said = QStringLiteral("failed: the job ended without a result (%1)")
                   .arg(QString::fromLocal8Bit(end.errors).trimmed().section(u'\n', 0, 0));
    }
    emit jobEnded(design, said);
    checkFinished();
}

void Ranking::checkFinished()
{
    if (m_finished || !(m_pool.idle() && (m_cancelled || m_done >= m_total)))
        return;
    m_finished = true;
    releaseJobs(m_db);
    emit finished();
}

} // namespace zep::library
