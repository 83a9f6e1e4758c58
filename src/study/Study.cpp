#include "study/Jobs.h"
#include "study/JobOptions.h"
#include "study/Study.h"

#include "common/FileIO.h"
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
#include <functional>
#include <iostream>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace zep::tool {

const char* const StudyUsage =
    "DESIGN[@PAV,CRN]... --materials NAME,NAME... [-j N] [--csv OUT.csv | --jobs FILE] [--targets FILE] "
    "[--pav-limits MIN MAX] [--crn-limits MIN MAX] [--global] | --collect RESULTS [--csv OUT.csv]";


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

QString csvField(const QString& s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
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
    return f.join(u',');
}

// The study's table: a header and a row for each job, in the jobs' order.
QString studyTable(const std::vector<StudyJob>& jobs, int& failed)
{
    QString table = QStringLiteral("design,material,index,start_pav,start_crn,final_pav,final_crn,start_mf,final_mf,"
                                   "evaluations,seconds,note,error\n");
    failed = 0;
    for (const StudyJob& job : jobs) {
        table += csvRow(job) + u'\n';
        failed += job.error.isEmpty() ? 0 : 1;
    }
    return table;
}

} // namespace

// A word of a POSIX shell's command line, quoted when it needs to be.
QString shellWord(const QString& w)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./,@%+=:-]+$"));
    if (plain.match(w).hasMatch())
        return w;
    QString q = w;
    q.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + q + u'\'';
}

// The jobs of a study from the JSON lines its jobs printed (`--job K/N`), in
// any order. A job that printed no line fails with a row of its own; a job
// that ran twice counts with its success.
std::vector<StudyJob> collectedJobs(const QString& path)
{
    const QList<QByteArray> lines = readNamedFile(path, QStringLiteral("results")).split('\n');
    std::vector<StudyJob> jobs;
    std::vector<bool> answered;
    const auto refuse = [&](qsizetype line, const QString& why) {
        return ZepError(err::InvalidCall, QStringLiteral("Line %1 of %2 %3.").arg(line + 1).arg(QDir::toNativeSeparators(path), why));
    };
    for (qsizetype n = 0; n < lines.size(); ++n) {
        if (lines[n].trimmed().isEmpty())
            continue;
        const QJsonObject result = QJsonDocument::fromJson(lines[n]).object();
        const QJsonObject tag = result.value(QStringLiteral("job")).toObject();
        const int k = tag.value(QStringLiteral("number")).toInt(), of = tag.value(QStringLiteral("of")).toInt();
        if (k < 1 || k > of)
            throw refuse(n, QStringLiteral("is not the result of a study's job (zeptool optimize ... --json --job K/N)"));
        if (jobs.empty()) {
            jobs.resize(std::size_t(of));
            answered.resize(std::size_t(of));
        } else if (std::size_t(of) != jobs.size()) {
            throw refuse(n, QStringLiteral("is a job of a study of %1 jobs, the lines before of %2").arg(of).arg(jobs.size()));
        }
        StudyJob& job = jobs[std::size_t(k - 1)];
        if (answered[std::size_t(k - 1)] && job.error.isEmpty())
            continue;
        answered[std::size_t(k - 1)] = true;
        job.design = tag.value(QStringLiteral("design")).toString();
        job.material = tag.value(QStringLiteral("material")).toString();
        job.error = result.value(QStringLiteral("error")).toString();
        job.result = job.error.isEmpty() ? result : QJsonObject();
    }
    if (jobs.empty())
        throw ZepError(err::InvalidCall, QStringLiteral("%1 holds no job's result.").arg(QDir::toNativeSeparators(path)));
    for (std::size_t k = 0; k < jobs.size(); ++k)
        if (!answered[k])
            jobs[k].error = QStringLiteral("job %1 of %2 left no result").arg(k + 1).arg(jobs.size());
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
    QString csv, jobsFile, collect;
    int parallel = QThread::idealThreadCount();
    while (!args.atEnd()) {
        const QString a = args.take("a design or an option");
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
        } else if (a == QLatin1String("--jobs")) {
            jobsFile = args.take("the file of command lines after --jobs");
        } else if (a == QLatin1String("--collect")) {
            collect = args.take("the file of the jobs' results after --collect");
        } else if (a == QLatin1String("--targets")) {
            passOn << a << args.take("the targets file after --targets");
        } else if (a == QLatin1String("--pav-limits") || a == QLatin1String("--crn-limits")) {
            passOn << a << args.take("a lower limit") << args.take("an upper limit");
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
        if (!csv.isEmpty()) {
            checkOutputFile(csv, {collect});
            removeDeadTemporaries(QFileInfo(csv).absolutePath());
        }
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
        for (const QString& output : {csv, jobsFile}) {
            if (output.isEmpty())
                continue;
            QStringList inputs;
            for (const auto& d : named)
                inputs << d.first;
            checkOutputFile(output, inputs);
            removeDeadTemporaries(QFileInfo(output).absolutePath());
        }
        for (const auto& [design, old] : named) {
            for (const QString& material : materials) {
                StudyJob job{design, old.join(u','), material, {}, {}, {}};
                job.arguments << QStringLiteral("optimize") << design << QStringLiteral("--material") << material;
                if (!old.isEmpty())
                    job.arguments << QStringLiteral("--old") << old;
                job.arguments << passOn << QStringLiteral("--json");
                jobs.push_back(job);
            }
        }
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
