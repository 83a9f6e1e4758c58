#include "zeptool/Jobs.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "design/Materials.h"
#include "mapper/Mapper.h"
#include "merit/Evaluation.h"
#include "optimize/Optimizer.h"
#include "optimize/TargetFile.h"
#include "recut/CuttingList.h"
#include "recut/Recut.h"
#include "runner/DirectPort.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <charconv>
#include <cmath>
#include <deque>
#include <iostream>
#include <optional>

namespace zep::tool {

const char* const OptimizeUsage =
    "DESIGN [--old PAV CRN] [--start PAV CRN] [--material NAME | --ri N [--disp D]] "
    "[--pav-limits MIN MAX] [--crn-limits MIN MAX] [--steps P C] [--fix-pav] [--fix-crn] "
    "[--targets FILE] [--json] [--recut OUT.gem]";
const char* const MapUsage =
    "DESIGN [--old PAV CRN] [--start PAV CRN] [--material NAME | --ri N [--disp D]] [--pav-limits MIN MAX] "
    "[--crn-limits MIN MAX] [--targets FILE] -o OUT.MFM [--png OUT.png]";
const char* const StudyUsage =
    "DESIGN[@PAV,CRN]... --materials NAME,NAME... [-j N] [--csv OUT.csv] [--targets FILE] "
    "[--pav-limits MIN MAX] [--crn-limits MIN MAX]";

namespace {

std::string local(const QString& s) { return s.toLocal8Bit().toStdString(); }

// The shortest text that reads back as the same single.
std::string shortest(float x)
{
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

QString jsonString(const QString& s)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

struct Pair {
    float a = 0, b = 0;
};

// What a job's options say, before the defaults are filled in.
struct JobOptions {
    QString design;
    std::optional<Pair> old, start, pavLimits, crnLimits, steps;
    QString material;
    std::optional<float> ri, disp;
    bool fixPav = false, fixCrn = false;
    QString targets;
};

Pair takePair(Arguments& args, const char* first, const char* second)
{
    const float a = float(args.number(first));
    return Pair{a, float(args.number(second))};
}

// Takes `option` when it is a job option; false when it is not one.
bool takeJobOption(const QString& option, Arguments& args, JobOptions& o)
{
    if (option == QLatin1String("--old"))
        o.old = takePair(args, "the old pavilion angle", "the old crown angle");
    else if (option == QLatin1String("--start"))
        o.start = takePair(args, "the start pavilion angle", "the start crown angle");
    else if (option == QLatin1String("--pav-limits"))
        o.pavLimits = takePair(args, "the pavilion's lower limit", "the pavilion's upper limit");
    else if (option == QLatin1String("--crn-limits"))
        o.crnLimits = takePair(args, "the crown's lower limit", "the crown's upper limit");
    else if (option == QLatin1String("--steps"))
        o.steps = takePair(args, "the pavilion step", "the crown step");
    else if (option == QLatin1String("--material"))
        o.material = args.take("the material after --material");
    else if (option == QLatin1String("--ri"))
        o.ri = float(args.number("the refractive index after --ri"));
    else if (option == QLatin1String("--disp"))
        o.disp = float(args.number("the dispersion after --disp"));
    else if (option == QLatin1String("--fix-pav"))
        o.fixPav = true;
    else if (option == QLatin1String("--fix-crn"))
        o.fixCrn = true;
    else if (option == QLatin1String("--targets"))
        o.targets = args.take("the targets file after --targets");
    else
        return false;
    return true;
}

void checkLimits(const Pair& p, const char* half)
{
    if (!(p.a <= p.b))
        throw UsageError(std::string("the ") + half + " limits are in the wrong order: " + shortest(p.a) + " is above "
                         + shortest(p.b));
    if (!(p.a > 0 && p.b < 90))
        throw UsageError(std::string("the ") + half + " limits must lie between 0 and 90 degrees");
}

// A job ready to run: the main window's fields and the targets.
struct Job {
    JobState job;
    OptimizationTargets targets;
    QString material; // the table's name, or "Custom"
};

Job makeJob(const JobOptions& o)
{
    Job j;
    JobState& s = j.job;
    const gemray::GemDesign design = loadDesign(o.design);
    s.fnam = QFileInfo(o.design).absoluteFilePath();

    const MaterialTable table = MaterialTable::standard();
    if (!o.material.isEmpty() && o.ri)
        throw UsageError("give either --material or --ri, not both");
    if (!o.material.isEmpty()) {
        const auto found = std::find_if(table.Mat.begin(), table.Mat.end(), [&](const QString& m) {
            return m.compare(o.material, Qt::CaseInsensitive) == 0;
        });
        if (found == table.Mat.end())
            throw UsageError("unknown material \"" + local(o.material) + "\" (the materials are "
                             + local(table.Mat.join(u", ")) + ")");
        j.material = *found;
        s.useMatRI = true;
        s.theRI = float(table.riOf(*found));
        s.theDisp = float(table.dispOf(*found));
    } else if (o.ri) {
        if (!(*o.ri > 1 && *o.ri <= 10))
            throw UsageError("the refractive index must lie above 1 and at most 10");
        j.material = QStringLiteral("Custom");
        s.useSpecRI = true;
        s.theRI = *o.ri;
        s.theDisp = o.disp.value_or(0);
    } else {
        throw UsageError("give the material with --material NAME or --ri N");
    }
    s.theMat = j.material;

    const MainAngles main = mainAngles(design);
    const Pair old = o.old.value_or(Pair{float(main.pavilion), float(main.crown)});
    if (!(old.a > 0 && old.a < 90 && old.b > 0 && old.b < 90))
        throw UsageError("the old angles must lie between 0 and 90 degrees");
    s.olPav = old.a;
    s.olCrn = old.b;
    const Pair start = o.start.value_or(old);
    s.stPav = start.a;
    s.stCrn = start.b;

    const double ca = criticalAngle(s.theRI);
    const Pair pav = o.pavLimits.value_or(Pair{float(Val(minPavFromCA(ca))), float(Val(maxPavFromCA(ca)))});
    const Pair crn = o.crnLimits.value_or(Pair{std::max(5.0f, old.b - 10), std::min(60.0f, old.b + 10)});
    checkLimits(pav, "pavilion");
    checkLimits(crn, "crown");
    s.minPav = pav.a;
    s.maxPav = pav.b;
    s.minCrn = crn.a;
    s.maxCrn = crn.b;
    if (s.stPav > s.maxPav || s.stPav < s.minPav || s.stCrn > s.maxCrn || s.stCrn < s.minCrn)
        throw UsageError("Starting angles must be between Min and Max! (pavilion " + shortest(s.stPav) + " in "
                         + shortest(pav.a) + " to " + shortest(pav.b) + ", crown " + shortest(s.stCrn) + " in "
                         + shortest(crn.a) + " to " + shortest(crn.b) + ")");
    const Pair steps = o.steps.value_or(Pair{(s.maxPav - s.minPav) / 10, (s.maxCrn - s.minCrn) / 10});
    s.pStep = steps.a;
    s.cStep = steps.b;
    s.fixPav = o.fixPav;
    s.fixCrn = o.fixCrn;

    if (o.targets.isEmpty()) {
        j.targets.doISO = j.targets.doIll = true;
        j.targets.wtISO = j.targets.wtILL = 1;
    } else {
        RecordingSink said;
        bool loaded = false;
        try {
            loaded = LoadTargetFile(o.targets, j.targets, said);
        } catch (const ZepError& e) {
            throw ZepError(e.number(), QStringLiteral("Cannot read the targets file %1: %2.")
                                           .arg(QDir::toNativeSeparators(o.targets), e.description()));
        }
        if (!loaded)
            throw ZepError(err::InvalidCall,
                           QDir::toNativeSeparators(o.targets) + QStringLiteral(": ") + said.messages.join(u' '));
    }
    const OptimizationTargets& t = j.targets;
    if (!t.doISO && !t.doIll && !t.doTilt && !t.doSparkle && !t.doFire)
        throw ZepError(err::InvalidCall, QStringLiteral("Please enter at least one optimization parameter"));
    return j;
}

// A working folder of the job's own with everything a run shares, and gemray
// started directly in it.
struct Workplace {
    QTemporaryDir dir;
    ShellValues shell;
    Preferences prefs;
    ImageStore images;
    BitmapTemplates bitmaps;
    MapStore map;
    MeritRecord merit;
    bool AbortFlag = false;
    RecordingSink messages;
    std::unique_ptr<DirectPort> port;

    Workplace()
    {
        if (!dir.isValid())
            throw ZepError(err::PathFileAccess, QStringLiteral("Cannot make a working folder: %1.").arg(dir.errorString()));
        shell.WorkDir = dir.path();
        shell.WorkPath = dir.path() + QDir::separator();
        const QString bin = QCoreApplication::applicationDirPath();
        const QString gemray = findNoCase(bin, {QStringLiteral("gemray")});
        if (gemray.isEmpty())
            throw ZepError(err::FileNotFound,
                           QStringLiteral("The ray tracer gemray is not beside zeptool in %1.").arg(bin));
        port = std::make_unique<DirectPort>(dir.path(), joinPath(bin, gemray));
        buildAllTemplates(bitmaps, map.MapHeader);
        invidx(images);
    }

    RunnerEnv runnerEnv(const JobState& job)
    {
        return RunnerEnv{shell, prefs, job, images, bitmaps, AbortFlag, messages, *port, RaytraceViews{}};
    }

    // Masks the targets use, read as a window reads them when it opens.
    void readMasksFor(const OptimizationTargets& t)
    {
        readMasks(t, images, bitmaps.BMP_Header, messages);
        failIfSaid(QStringLiteral("a mask cannot be read"));
    }

    void failIfSaid(const QString& what) const
    {
        if (!messages.messages.isEmpty())
            throw ZepError(err::InvalidCall, what + QStringLiteral(": ") + messages.messages.join(QStringLiteral(" | ")));
    }
};

JobOptions parseJob(Arguments& args, const std::function<bool(const QString&)>& own)
{
    JobOptions o;
    o.design = args.take("the design file");
    while (!args.atEnd()) {
        const QString option = args.take("an option");
        if (!takeJobOption(option, args, o) && !own(option))
            throw UsageError("unknown option " + local(option));
    }
    return o;
}

} // namespace

int optimizeCommand(Arguments& args, std::ostream& out)
{
    bool json = false;
    QString recut;
    const JobOptions o = parseJob(args, [&](const QString& option) {
        if (option == QLatin1String("--json"))
            json = true;
        else if (option == QLatin1String("--recut"))
            recut = args.take("the re-cut design's name after --recut");
        else
            return false;
        return true;
    });
    if (!recut.isEmpty() && QFileInfo(recut).absoluteFilePath() == QFileInfo(o.design).absoluteFilePath())
        throw UsageError("--recut names the design itself");
    Job j = makeJob(o);
    Workplace w;
    w.readMasksFor(j.targets);

    QElapsedTimer clock;
    clock.start();
    RaytraceEvaluator evaluator(w.runnerEnv(j.job), j.targets, w.merit, QStringLiteral("OPT"));
    QuietOptimizerView view;
    Optimizer opt(OptimizerEnv{j.job, j.targets, w.prefs, w.shell, w.merit, w.AbortFlag, w.messages}, evaluator, view);
    opt.opened();
    opt.Go();
    opt.Cancel();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!opt.success)
        throw ZepError(err::InvalidCall, QStringLiteral("the optimization did not complete: ")
                                             + w.messages.messages.join(QStringLiteral(" | ")));
    const JobState& s = j.job;
    const int raytraces = evaluator.runner().statistics().raytraces;

    if (!recut.isEmpty()) {
        const gemray::GemDesign design = loadDesign(o.design);
        const RecutAngles angles{singleAsDecimal(s.olPav), singleAsDecimal(s.theFinalPav), singleAsDecimal(s.olCrn),
                                 singleAsDecimal(s.theFinalCrn)};
        writeFileSafely(recut, gemBytes(recutDesign(design, angles)));
    }

    if (json) {
        QStringList notes;
        for (const QString& m : w.messages.messages)
            notes << jsonString(m.trimmed());
        out << "{\"design\":" << local(jsonString(QDir::toNativeSeparators(o.design)))
            << ",\"material\":" << local(jsonString(j.material)) << ",\"index\":" << shortest(s.theRI)
            << ",\"dispersion\":" << shortest(s.theDisp) << ",\"old\":{\"pav\":" << shortest(s.olPav)
            << ",\"crn\":" << shortest(s.olCrn) << "},\"start\":{\"pav\":" << shortest(s.stPav)
            << ",\"crn\":" << shortest(s.stCrn) << ",\"mf\":" << shortest(s.theStartMF) << "},\"final\":{\"pav\":"
            << shortest(s.theFinalPav) << ",\"crn\":" << shortest(s.theFinalCrn) << ",\"mf\":" << shortest(s.theFinalMF)
            << "},\"evaluations\":" << opt.evaluations() << ",\"raytraces\":" << raytraces
            << ",\"seconds\":" << QString::number(seconds, 'f', 3).toStdString() << ",\"notes\":["
            << local(notes.join(u',')) << "]}\n";
        return 0;
    }
    const auto angle = [](float x) { return local(Format(x, u"#.000")); };
    out << "design      " << local(QDir::toNativeSeparators(o.design)) << '\n'
        << "material    " << local(j.material) << ", index" << local(NumText(s.theRI)) << ", dispersion"
        << local(NumText(s.theDisp)) << '\n'
        << "            pavilion  crown     merit function\n"
        << "start       " << angle(s.stPav) << std::string(10 - angle(s.stPav).size(), ' ') << angle(s.stCrn)
        << std::string(10 - angle(s.stCrn).size(), ' ') << local(NumText(s.theStartMF).trimmed()) << '\n'
        << "optimized   " << angle(s.theFinalPav) << std::string(10 - angle(s.theFinalPav).size(), ' ')
        << angle(s.theFinalCrn) << std::string(10 - angle(s.theFinalCrn).size(), ' ')
        << local(NumText(s.theFinalMF).trimmed()) << '\n'
        << opt.evaluations() << " evaluations, " << raytraces << " raytraces, "
        << QString::number(seconds, 'f', 2).toStdString() << " s\n";
    for (const QString& m : w.messages.messages)
        out << local(m.trimmed()) << '\n';
    if (!recut.isEmpty())
        out << "wrote " << local(QDir::toNativeSeparators(recut)) << '\n';
    return 0;
}

namespace {

// The map at four times its size with its axes and colour scale.
QByteArray mapPicture(const MapStore& map, const Header8& table, const QString& title)
{
    const QImage cells = QImage::fromData(mapBitmapBytes(map), "BMP");
    const auto stripBytes = colourScaleBitmap(table);
    const QImage strip = QImage::fromData(stripBytes.data(), int(stripBytes.size()), "BMP");
    const int scale = 4, side = cells.width() * scale, margin = 56;
    QImage out(side + 2 * margin + 60, side + 2 * margin, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(QRect(margin, margin, side, side), cells);
    p.drawImage(QRect(margin + side + 20, margin, 20, side), strip.transformed(QTransform().rotate(-90)));
    p.setPen(Qt::black);
    const auto text = [&](int x, int y, const QString& t, int flags) {
        p.drawText(QRect(x - 60, y - 10, 120, 20), flags, t);
    };
    p.drawText(QRect(0, 8, out.width(), 24), Qt::AlignCenter, title);
    text(margin, margin + side + 18, Format(map.MP1, u"#.000"), Qt::AlignCenter);
    text(margin + side, margin + side + 18, Format(map.MP2, u"#.000"), Qt::AlignCenter);
    text(margin + side / 2, margin + side + 38, QStringLiteral("pavilion angle"), Qt::AlignCenter);
    text(margin - 64, margin + side - 6, Format(map.MC1, u"#.000"), Qt::AlignRight | Qt::AlignVCenter);
    text(margin - 64, margin + 6, Format(map.MC2, u"#.000"), Qt::AlignRight | Qt::AlignVCenter);
    p.save();
    p.translate(14, margin + side / 2);
    p.rotate(-90);
    p.drawText(QRect(-60, -10, 120, 20), Qt::AlignCenter, QStringLiteral("crown angle"));
    p.restore();
    text(margin + side + 30 + 60, margin, NumText(map.CMFMax).trimmed(), Qt::AlignLeft | Qt::AlignVCenter);
    text(margin + side + 30 + 60, margin + side, NumText(map.CMFMin).trimmed(), Qt::AlignLeft | Qt::AlignVCenter);
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    out.save(&buffer, "PNG");
    return png;
}

} // namespace

int mapCommand(Arguments& args, std::ostream& out)
{
    QString mfm, png;
    const JobOptions o = parseJob(args, [&](const QString& option) {
        if (option == QLatin1String("-o"))
            mfm = args.take("the map file's name after -o");
        else if (option == QLatin1String("--png"))
            png = args.take("the picture's name after --png");
        else
            return false;
        return true;
    });
    if (mfm.isEmpty())
        throw UsageError("name the map file with -o OUT.MFM");
    const auto same = [](const QString& a, const QString& b) {
        return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
    };
    if (same(mfm, o.design) || (!png.isEmpty() && same(png, o.design)))
        throw UsageError("an output names the design itself");
    if (!png.isEmpty() && same(png, mfm))
        throw UsageError("the map file and the picture have the same name");
    Job j = makeJob(o);
    Workplace w;
    w.readMasksFor(j.targets);

    QElapsedTimer clock;
    clock.start();
    RaytraceEvaluator evaluator(w.runnerEnv(j.job), j.targets, w.merit, QStringLiteral("MFM"));
    QuietMapperView view;
    int evaluations = 0;
    Mapper mapper(MapperEnv{w.map, j.job, j.targets, w.merit, w.bitmaps, w.shell, w.AbortFlag, w.messages, *w.port},
                  view, [&](float pav, float crn) {
                      ++evaluations;
                      evaluator.evaluate(pav, crn);
                  });
    mapper.Form_Load();
    mapper.btnGo_Click({}, {});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (w.AbortFlag || w.shell.TimedOut)
        throw ZepError(err::InvalidCall, QStringLiteral("the map did not complete: ")
                                             + w.messages.messages.join(QStringLiteral(" | ")));

    QList<QPair<QString, QByteArray>> files{{mfm, mfmBytes(w.map)}};
    if (!png.isEmpty())
        files.append({png, mapPicture(w.map, w.map.MapHeader,
                                      QStringLiteral("Merit function of %1 in %2")
                                          .arg(QFileInfo(o.design).fileName(), j.material))});
    writeFilesTogether(files);

    // The best cell of the map.
    int best = 0;
    for (int k = 1; k < int(w.map.MFGrid.size()); ++k)
        if (w.map.MFGrid[std::size_t(k)] > w.map.MFGrid[std::size_t(best)])
            best = k;
    const int i = best / MapGridSide, jj = best % MapGridSide;
    out << "map of " << local(QDir::toNativeSeparators(o.design)) << " in " << local(j.material) << ": pavilion "
        << local(Format(w.map.MP1, u"#.000")) << " to " << local(Format(w.map.MP2, u"#.000")) << ", crown "
        << local(Format(w.map.MC1, u"#.000")) << " to " << local(Format(w.map.MC2, u"#.000")) << '\n'
        << "merit function" << local(NumText(w.map.MFMin)) << " to" << local(NumText(w.map.MFMax))
        << ", best at pavilion " << local(Format(w.map.PavGrid[std::size_t(jj)], u"#.000")) << ", crown "
        << local(Format(w.map.CrnGrid[std::size_t(i)], u"#.000")) << '\n'
        << evaluations << " evaluations, " << evaluator.runner().statistics().raytraces << " raytraces, "
        << QString::number(seconds, 'f', 2).toStdString() << " s\n";
    for (const auto& f : files)
        out << "wrote " << local(QDir::toNativeSeparators(f.first)) << '\n';
    return 0;
}

namespace {

// One job of a study: a design in a material, run as a zeptool process.
struct StudyJob {
    QString design;   // as given, without "@PAV,CRN"
    QString oldAngles; // "PAV,CRN" or empty
    QString material;
    QStringList arguments;
    // The result: the job's JSON object, or why it failed.
    QJsonObject result;
    QString error;
};

QString csvField(const QString& s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString csvRow(const StudyJob& job)
{
    const QJsonObject& r = job.result;
    const auto number = [](const QJsonValue& v) { return v.isDouble() ? QString::number(v.toDouble(), 'g', 9) : QString(); };
    const QJsonObject start = r.value(QStringLiteral("start")).toObject();
    const QJsonObject final = r.value(QStringLiteral("final")).toObject();
    QStringList f{csvField(job.design),
                  csvField(job.material),
                  number(r.value(QStringLiteral("index"))),
                  number(start.value(QStringLiteral("pav"))),
                  number(start.value(QStringLiteral("crn"))),
                  number(final.value(QStringLiteral("pav"))),
                  number(final.value(QStringLiteral("crn"))),
                  number(start.value(QStringLiteral("mf"))),
                  number(final.value(QStringLiteral("mf"))),
                  number(r.value(QStringLiteral("evaluations"))),
                  number(r.value(QStringLiteral("seconds"))),
                  csvField(job.error)};
    return f.join(u',');
}

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
    QString csv;
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
    if (designs.isEmpty())
        throw UsageError("name at least one design");
    if (materials.isEmpty())
        throw UsageError("name the materials with --materials NAME,NAME...");
    for (const QString& d : designs)
        if (!csv.isEmpty() && QFileInfo(csv).absoluteFilePath() == QFileInfo(d.section(u'@', 0, 0)).absoluteFilePath())
            throw UsageError("--csv names a design");

    std::vector<StudyJob> jobs;
    for (const QString& given : designs) {
        const QString design = given.section(u'@', 0, 0);
        const QString old = given.contains(u'@') ? given.section(u'@', 1) : QString();
        for (const QString& material : materials) {
            StudyJob job{design, old, material, {}, {}, {}};
            job.arguments << QStringLiteral("optimize") << design << QStringLiteral("--material") << material;
            if (!old.isEmpty())
                job.arguments << QStringLiteral("--old") << old.section(u',', 0, 0) << old.section(u',', 1, 1);
            job.arguments << passOn << QStringLiteral("--json");
            jobs.push_back(job);
        }
    }
    QElapsedTimer clock;
    clock.start();
    runJobs(jobs, parallel, std::cerr);

    QString table = QStringLiteral("design,material,index,start_pav,start_crn,final_pav,final_crn,start_mf,final_mf,"
                                   "evaluations,seconds,error\n");
    int failed = 0;
    for (const StudyJob& job : jobs) {
        table += csvRow(job) + u'\n';
        failed += job.error.isEmpty() ? 0 : 1;
    }
    if (csv.isEmpty()) {
        out << local(table);
    } else {
        writeFileSafely(csv, table.toUtf8());
        out << jobs.size() << " jobs, " << failed << " failed, " << QString::number(double(clock.elapsed()) / 1000, 'f', 2).toStdString()
            << " s; wrote " << local(QDir::toNativeSeparators(csv)) << '\n';
    }
    return failed == 0 ? 0 : 1;
}

} // namespace zep::tool
