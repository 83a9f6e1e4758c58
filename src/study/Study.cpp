#include "study/Jobs.h"
#include "study/JobOptions.h"
#include "study/Study.h"

#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/NumText.h"
#include "common/ZepError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <functional>
#include <iostream>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace zep::tool {

const char* const StudyUsage =
    "DESIGN[@PAV,CRN]... --materials NAME,NAME... [-j N] [--csv OUT.csv | --jobs FILE] [--targets FILE] "
    "[--pav-limits MIN MAX] [--crn-limits MIN MAX] [--global] [--tolerance T] | --collect RESULTS [--csv OUT.csv]";


namespace {

// "DESIGN@PAV,CRN": the design and its two old angles. The angles are taken
// only from a last "@" followed by exactly two numbers, so a file name may
// hold "@"; anything else after such an "@" is refused.
std::pair<QString, QStringList> designAndAngles(const QString& given)
{
    static const QRegularExpression angles(QStringLiteral(R"(@([^@,]*(,[^@,]*)+)$)"));
    const QRegularExpressionMatch m = angles.match(given);
    if (!m.hasMatch() || QFileInfo::exists(given))
        return {given, {}};
    const QStringList parts = m.captured(1).split(u',');
    if (parts.size() != 2 || !IsNumber(parts[0]) || !IsNumber(parts[1]))
        throw UsageError("\"" + local(given) + "\": the old angles after @ must be two numbers, PAV,CRN");
    return {given.left(m.capturedStart()), {parts[0].trimmed(), parts[1].trimmed()}};
}

// A tier as a result names it: "2 at 41.50"; empty for a result without tiers.
QString tierCell(const QJsonObject& tier)
{
    const QJsonValue angle = tier.value(QStringLiteral("angle"));
    if (!angle.isDouble())
        return {};
    return QStringLiteral("%1 at %2").arg(tier.value(QStringLiteral("tier")).toString(), QString::number(angle.toDouble(), 'f', 2));
}

// A row of the study: the figures as ZEP's windows show them (angles to
// three decimals, merit functions and the index in NumText's 7 digits), the
// notes an optimizer window would show, and why a job failed.
QString csvRow(const StudyJob& job)
{
    const QJsonObject& r = job.result;
    const auto figure = [](const QJsonValue& v, const std::function<QString(float)>& text) {
        return v.isDouble() ? text(float(v.toDouble())) : QString();
    };
    const auto angle = [](float x) { return Format(x, u"#.000"); };
    const auto number = [](float x) { return NumText(x).trimmed(); };
    const QJsonObject start = r.value(QStringLiteral("start")).toObject();
    const QJsonObject final = r.value(QStringLiteral("final")).toObject();
    QStringList notes;
    for (const QJsonValue& n : r.value(QStringLiteral("notes")).toArray())
        notes << n.toString().trimmed();
    const QJsonValue seconds = r.value(QStringLiteral("seconds"));
    QStringList f{csvField(job.design),
                  csvField(job.material),
                  figure(r.value(QStringLiteral("index")), number),
                  figure(start.value(QStringLiteral("pav")), angle),
                  figure(start.value(QStringLiteral("crn")), angle),
                  figure(final.value(QStringLiteral("pav")), angle),
                  figure(final.value(QStringLiteral("crn")), angle),
                  figure(start.value(QStringLiteral("mf")), number),
                  figure(final.value(QStringLiteral("mf")), number),
                  r.contains(QStringLiteral("evaluations")) ? QString::number(r.value(QStringLiteral("evaluations")).toInt())
                                                            : QString(),
                  seconds.isDouble() ? QString::number(seconds.toDouble(), 'f', 3) : QString(),
                  csvField(notes.join(u' ')),
                  csvField(job.error)};
    // The tiers of the two angles, last, so that the columns before keep their places.
    for (const char* half : {"pav", "crn"})
        f << csvField(tierCell(r.value(QStringLiteral("tiers")).toObject().value(QLatin1String(half)).toObject()));
    // What the result can lose within the cutting tolerance, after them.
    const QJsonObject margin = r.value(QStringLiteral("margin")).toObject();
    f << figure(margin.value(QStringLiteral("tolerance")), number) << figure(margin.value(QStringLiteral("worst")), number);
    return f.join(u',');
}

// The study's table: a header and a row for each job, in the jobs' order.
QString studyTable(const std::vector<StudyJob>& jobs, int& failed)
{
    QString table = QStringLiteral("design,material,index,start_pav,start_crn,final_pav,final_crn,start_mf,final_mf,"
                                   "evaluations,seconds,note,error,pav_tier,crn_tier,margin_tolerance,margin_worst\n");
    failed = 0;
    for (const StudyJob& job : jobs) {
        table += csvRow(job) + u'\n';
        failed += job.error.isEmpty() ? 0 : 1;
    }
    return table;
}

} // namespace

// A word of a POSIX shell's command line, quoted when it needs to be. It
// holds no control character (see checkWords).
QString shellWord(const QString& w)
{
    static const QRegularExpression plain(QStringLiteral("\\A[A-Za-z0-9_./,@%+=:-]+\\z"));
    if (plain.match(w).hasMatch())
        return w;
    QString q = w;
    q.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + q + u'\'';
}

namespace {

// The first control character of a text, or none.
std::optional<QChar> controlIn(const QString& text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return c;
    return std::nullopt;
}

} // namespace

bool holdsControl(const QString& text)
{
    return controlIn(text).has_value();
}

namespace {

// A job's words become a line of a file that engines read line by line and
// hand to a shell: a word with a line break would end its line and start a
// command of its own. No word of a job may hold a control character.
void checkWords(const QStringList& words)
{
    for (const QString& w : words) {
        if (!controlIn(w))
            continue;
        QString shown;
        for (const QChar c : w)
            shown += c.category() == QChar::Other_Control ? QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QChar(u'0'))
                                                          : QString(c);
        throw UsageError("\"" + local(shown) + "\" holds a control character: no job may carry one (rename it)");
    }
}

// A study holds at most this many jobs, so that a line's claim cannot make
// the table of one a runaway; a job's line is at most kMaxResultLine bytes.
constexpr int kMaxStudyJobs = 100000;
constexpr qint64 kMaxResultLine = 1 << 20;

// Why a job's JSON object does not hold a study's result, or nothing: its
// design and material are names without control characters, its figures
// finite numbers as singles (or null), its counts whole numbers.
QString damageIn(const QJsonObject& result, const QJsonObject& tag)
{
    for (const char* key : {"design", "material"}) {
        const QJsonValue v = tag.value(QLatin1String(key));
        if (!v.isString() || controlIn(v.toString()))
            return QStringLiteral("names its %1 with no text or with a control character").arg(QLatin1String(key));
    }
    if (result.contains(QStringLiteral("error")))
        return result.value(QStringLiteral("error")).isString() ? QString() : QStringLiteral("holds an error that is no text");
    const auto finite = [](const QJsonValue& v) {
        return v.isNull() || (v.isDouble() && std::fabs(v.toDouble()) <= double(std::numeric_limits<float>::max()));
    };
    for (const char* key : {"index", "seconds"})
        if (!finite(result.value(QLatin1String(key))))
            return QStringLiteral("holds a figure that is not a finite number (%1)").arg(QLatin1String(key));
    for (const char* key : {"start", "final"})
        for (const char* angle : {"pav", "crn", "mf"}) {
            const QJsonValue point = result.value(QLatin1String(key));
            if (!point.isObject() || !finite(point.toObject().value(QLatin1String(angle))))
                return QStringLiteral("holds a figure that is not a finite number (%1 %2)").arg(QLatin1String(key), QLatin1String(angle));
        }
    // The tiers (a line of an older zeptool has none): names without control
    // characters, finite angles.
    if (result.contains(QStringLiteral("tiers")))
        for (const char* half : {"pav", "crn"}) {
            const QJsonObject t = result.value(QStringLiteral("tiers")).toObject().value(QLatin1String(half)).toObject();
            const QJsonValue name = t.value(QStringLiteral("tier"));
            if (!name.isString() || controlIn(name.toString()) || !t.value(QStringLiteral("angle")).isDouble()
                || !finite(t.value(QStringLiteral("angle"))))
                return QStringLiteral("names its %1 tier with no text, a control character or no angle").arg(QLatin1String(half));
        }
    // The margin (a line of an older zeptool has none; null: not raytraced).
    const QJsonValue margin = result.value(QStringLiteral("margin"));
    if (margin.isObject()) {
        const QJsonObject m = margin.toObject();
        const QJsonArray at = m.value(QStringLiteral("worst_at")).toArray();
        if (!finite(m.value(QStringLiteral("tolerance"))) || !finite(m.value(QStringLiteral("worst"))) || at.size() != 2
            || !finite(at[0]) || !finite(at[1]))
            return QStringLiteral("holds a margin that is not finite numbers");
    } else if (!margin.isUndefined() && !margin.isNull()) {
        return QStringLiteral("holds a margin that is not finite numbers");
    }
    const QJsonValue n = result.value(QStringLiteral("evaluations"));
    if (!(n.isDouble() && n.toDouble() >= 0 && n.toDouble() <= 1e9 && n.toDouble() == std::floor(n.toDouble())))
        return QStringLiteral("holds evaluations that are not a whole number");
    return {};
}

// Names the design and material of the jobs that left no result from those
// that answered: a study's jobs are its designs times its materials, so with
// m materials job k (from 0) is design k / m in material k % m. A name is
// given only where every m that fits the answers gives the same.
void nameLostJobs(std::vector<StudyJob>& jobs, const std::vector<bool>& lost)
{
    const std::size_t n = jobs.size();
    std::optional<std::vector<std::pair<QString, QString>>> agreed;
    for (std::size_t m = 1; m <= n; ++m) {
        if (n % m != 0)
            continue;
        std::vector<QString> design(n / m), material(m);
        bool fits = true;
        for (std::size_t k = 0; k < n && fits; ++k) {
            if (lost[k])
                continue;
            QString &d = design[k / m], &mat = material[k % m];
            fits = (d.isNull() || d == jobs[k].design) && (mat.isNull() || mat == jobs[k].material);
            d = jobs[k].design;
            mat = jobs[k].material;
        }
        if (!fits)
            continue;
        std::vector<std::pair<QString, QString>> names(n);
        for (std::size_t k = 0; k < n; ++k)
            names[k] = {design[k / m], material[k % m]};
        if (!agreed) {
            agreed = std::move(names);
            continue;
        }
        for (std::size_t k = 0; k < n; ++k) {
            auto& [d, mat] = (*agreed)[k];
            d = d == names[k].first ? d : QString();
            mat = mat == names[k].second ? mat : QString();
        }
    }
    for (std::size_t k = 0; agreed && k < n; ++k)
        if (lost[k])
            std::tie(jobs[k].design, jobs[k].material) = (*agreed)[k];
}

} // namespace

// The jobs of a study from the JSON lines its jobs printed (`--job K/N`), in
// any order, read as they come. A job that printed no line fails with a row
// of its own; a job that ran twice counts with its success. A line that does
// not belong (another study's, a damaged one) is refused with its number.
std::vector<StudyJob> collectedJobs(const QString& path)
{
    std::map<int, StudyJob> answered;
    int of = 0;
    qint64 first = 0;
    const auto refuse = [&](qint64 line, const QString& why) {
        return ZepError(err::InvalidCall, QStringLiteral("Line %1 of %2 %3.").arg(line).arg(QDir::toNativeSeparators(path), why));
    };
    readFileLines(path, QStringLiteral("results"), kMaxResultLine, [&](qint64 n, const QByteArray& line) {
        if (line.trimmed().isEmpty())
            return;
        const QJsonObject result = QJsonDocument::fromJson(line).object();
        const QJsonObject tag = result.value(QStringLiteral("job")).toObject();
        const int k = tag.value(QStringLiteral("number")).toInt(), size = tag.value(QStringLiteral("of")).toInt();
        if (k < 1 || k > size)
            throw refuse(n, QStringLiteral("is not the result of a study's job (zeptool optimize ... --json --job K/N)"));
        if (size > kMaxStudyJobs)
            throw refuse(n, QStringLiteral("is a job of a study of %1 jobs; a study holds at most %2").arg(size).arg(kMaxStudyJobs));
        if (of == 0) {
            of = size;
            first = n;
        } else if (size != of) {
            throw refuse(n, QStringLiteral("is a job of a study of %1 jobs, line %2 of %3").arg(size).arg(first).arg(of));
        }
        const QString damage = damageIn(result, tag);
        if (!damage.isEmpty())
            throw refuse(n, damage);
        StudyJob job{tag.value(QStringLiteral("design")).toString(), {}, tag.value(QStringLiteral("material")).toString(),
                     {}, {}, result.value(QStringLiteral("error")).toString()};
        job.result = job.error.isEmpty() ? result : QJsonObject();
        const auto [earlier, fresh] = answered.try_emplace(k, job);
        if (fresh)
            return;
        if (earlier->second.design != job.design || earlier->second.material != job.material)
            throw refuse(n, QStringLiteral("is job %1 of another study: an earlier line gave it %2 in %3")
                                .arg(k).arg(earlier->second.design, earlier->second.material));
        if (!earlier->second.error.isEmpty())
            earlier->second = job;
    });
    if (of == 0)
        throw ZepError(err::InvalidCall, QStringLiteral("%1 holds no job's result.").arg(QDir::toNativeSeparators(path)));
    std::vector<StudyJob> jobs(static_cast<std::size_t>(of));
    std::vector<bool> lost(jobs.size());
    for (int k = 1; k <= of; ++k) {
        const auto found = answered.find(k);
        if (found != answered.end())
            jobs[std::size_t(k - 1)] = std::move(found->second);
        else
            jobs[std::size_t(k - 1)].error = QStringLiteral("job %1 of %2 left no result").arg(k).arg(of);
        lost[std::size_t(k - 1)] = found == answered.end();
    }
    nameLostJobs(jobs, lost);
    return jobs;
}

namespace {

// Runs the jobs, `parallel` at a time, each a zeptool process of its own.
void runJobs(std::vector<StudyJob>& jobs, int parallel, std::ostream& progress)
{
    QEventLoop loop;
    std::deque<std::size_t> waiting;
    for (std::size_t k = 0; k < jobs.size(); ++k)
        waiting.push_back(k);
    int running = 0;
    std::size_t done = 0;
    std::function<void()> startNext = [&] {
        while (running < parallel && !waiting.empty()) {
            const std::size_t k = waiting.front();
            waiting.pop_front();
            auto* process = new QProcess(&loop);
            ++running;
            QObject::connect(process, &QProcess::finished, &loop, [&, k, process](int code, QProcess::ExitStatus status) {
                StudyJob& job = jobs[k];
                const QByteArray output = process->readAllStandardOutput();
                // Its message without the program's own name before it.
                QString err = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
                err.remove(QRegularExpression(QStringLiteral("^zeptool optimize: ")));
                if (status == QProcess::NormalExit && code == 0)
                    job.result = QJsonDocument::fromJson(output).object();
                if (job.result.isEmpty())
                    job.error = err.section(u'\n', 0, 0).isEmpty() ? QStringLiteral("the job ended without a result")
                                                                    : err.section(u'\n', 0, 0);
                ++done;
                progress << "[" << done << "/" << jobs.size() << "] " << local(job.design) << " in "
                         << local(job.material) << ": "
                         << (job.error.isEmpty()
                                 ? "done in " + QString::number(job.result.value(QStringLiteral("seconds")).toDouble(), 'f', 2).toStdString()
                                       + " s"
                                 : "failed: " + local(job.error))
                         << std::endl;
                process->deleteLater();
                --running;
                startNext();
                if (running == 0 && waiting.empty())
                    loop.quit();
            });
#ifdef Q_OS_LINUX
            // A job must not outlive its study (a killed study ends its jobs).
            process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
            process->start(QCoreApplication::applicationFilePath(), jobs[k].arguments);
        }
    };
    startNext();
    if (running > 0)
        loop.exec();
}

} // namespace

int studyCommand(Arguments& args, std::ostream& out)
{
    QStringList designs, materials, passOn;
    QString csv, jobsFile, collect, targets;
    int parallel = QThread::idealThreadCount();
    while (!args.atEnd()) {
        const QString a = args.option("a design or an option");
        if (a == QLatin1String("--materials")) {
            materials = args.take("the materials after --materials").split(u',', Qt::SkipEmptyParts);
        } else if (a == QLatin1String("-j")) {
            const double n = args.number("the number of jobs at a time after -j");
            if (!(n >= 1 && n <= 256 && n == std::floor(n)))
                throw UsageError("-j takes a whole number from 1 to 256");
            parallel = int(n);
        } else if (a == QLatin1String("--csv")) {
            csv = args.take("the CSV file's name after --csv");
        } else if (a == QLatin1String("--global")) {
            passOn << a;
        } else if (a == QLatin1String("--tolerance")) {
            passOn << a << QString::fromStdString(shortest(takeTolerance(args)));
        } else if (a == QLatin1String("--jobs")) {
            jobsFile = args.take("the file of command lines after --jobs");
        } else if (a == QLatin1String("--collect")) {
            collect = args.take("the file of the jobs' results after --collect");
        } else if (a == QLatin1String("--targets")) {
            targets = args.take("the targets file after --targets");
            passOn << a << targets;
        } else if (a == QLatin1String("--pav-limits") || a == QLatin1String("--crn-limits")) {
            passOn << a << args.numeral("a lower limit") << args.numeral("an upper limit");
        } else if (a.startsWith(u'-')) {
            throw UsageError("unknown option " + local(a));
        } else {
            designs << a;
        }
    }
    std::vector<StudyJob> jobs;
    QElapsedTimer clock;
    clock.start();
    if (!collect.isEmpty()) {
        if (!designs.isEmpty() || !materials.isEmpty() || !passOn.isEmpty() || !jobsFile.isEmpty())
            throw UsageError("--collect goes with --csv only: the jobs named everything else");
        if (!csv.isEmpty())
            checkOutputs({csv}, {collect});
        jobs = collectedJobs(collect);
    } else {
        if (designs.isEmpty())
            throw UsageError("name at least one design");
        if (materials.isEmpty())
            throw UsageError("name the materials with --materials NAME,NAME...");
        if (!csv.isEmpty() && !jobsFile.isEmpty())
            throw UsageError("--jobs writes the jobs, --csv the table of a study run here: give one");
        std::vector<std::pair<QString, QStringList>> named; // design, its old angles
        for (const QString& given : designs)
            named.push_back(designAndAngles(given));
        if (qint64(named.size()) * materials.size() > kMaxStudyJobs)
            throw UsageError("a study holds at most " + std::to_string(kMaxStudyJobs) + " jobs (designs times materials)");
        for (const auto& [design, old] : named) {
            for (const QString& material : materials) {
                StudyJob job{design, old.join(u','), material, {}, {}, {}};
                job.arguments << QStringLiteral("optimize") << design << QStringLiteral("--material") << material;
                if (!old.isEmpty())
                    job.arguments << QStringLiteral("--old") << old;
                job.arguments << passOn << QStringLiteral("--json");
                checkWords(job.arguments);
                jobs.push_back(job);
            }
        }
        checkWords({QCoreApplication::applicationFilePath()});
        QStringList inputs;
        for (const auto& d : named)
            inputs << d.first;
        if (!targets.isEmpty()) {
            OptimizationTargets read;
            inputs << targetInputs(targets, read);
        }
        for (const QString& output : {csv, jobsFile})
            if (!output.isEmpty())
                checkOutputs({output}, inputs);
        if (!jobsFile.isEmpty()) {
            // One line a job that runs anywhere this zeptool's path does.
            QString lines;
            for (std::size_t k = 0; k < jobs.size(); ++k) {
                QStringList words{shellWord(QCoreApplication::applicationFilePath())};
                for (const QString& a : jobs[k].arguments + QStringList{QStringLiteral("--job"),
                                                                        QStringLiteral("%1/%2").arg(k + 1).arg(jobs.size())})
                    words << shellWord(a);
                lines += words.join(u' ') + u'\n';
            }
            writeFilesTogether({{jobsFile, lines.toUtf8()}});
            out << jobs.size() << " jobs; wrote " << local(QDir::toNativeSeparators(jobsFile)) << '\n';
            return 0;
        }
        runJobs(jobs, parallel, std::cerr);
    }

    int failed = 0;
    const QString table = studyTable(jobs, failed);
    if (csv.isEmpty()) {
        out << local(table);
    } else {
        try {
            writeFilesTogether({{csv, table.toUtf8()}});
        } catch (const ZepError& e) {
            // The finished work is not lost: the table goes to the output.
            out << local(table);
            throw ZepError(e.number(), e.messageFor(QStringLiteral("zeptool"))
                                           + QStringLiteral(" The table above holds every result."));
        }
        out << jobs.size() << " jobs, " << failed << " failed, " << QString::number(double(clock.elapsed()) / 1000, 'f', 2).toStdString()
            << " s; wrote " << local(QDir::toNativeSeparators(csv)) << '\n';
    }
    return failed == 0 ? 0 : 1;
}

} // namespace zep::tool
