#include "study/Jobs.h"
#include "study/JobOptions.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "mapper/Mapper.h"
#include "merit/Evaluation.h"
#include "merit/RobustMerit.h"
#include "optimize/GlobalSearch.h"
#include "optimize/Optimizer.h"
#include "optimize/TargetFile.h"
#include "raytracer/CommandLine.h"
#include "recut/CuttingList.h"
#include "design/Materials.h"
#include "recut/Proportions.h"
#include "recut/Recut.h"
#include "runner/DirectPort.h"
#include "study/Workplace.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <map>
#include <optional>

namespace zep::tool {

const char* const OptimizeUsage =
    "DESIGN [--old PAV CRN] [--start PAV CRN] [--material NAME | --ri N [--disp D]] "
    "[--pav-limits MIN MAX] [--crn-limits MIN MAX] [--steps P C] [--fix-pav] [--fix-crn] "
    "[--targets FILE] [--global] [--tolerance T] [--json [--job K/N]] [--recut OUT.gem] [--width MM [--density G]]";
const char* const MapUsage =
    "DESIGN [--old PAV CRN] [--start PAV CRN] [--material NAME | --ri N [--disp D]] [--pav-limits MIN MAX] "
    "[--crn-limits MIN MAX] [--targets FILE] -o OUT.MFM [--png OUT.png]";
namespace {

// zeptool's working folders carry its process id, so that the next run can
// tell one left by a killed zeptool from one in use. Only real folders of
// this user go (another may have planted a link by that name).
QString workFolderTemplate()
{
    static const QRegularExpression own(QStringLiteral("^zeptool-([0-9]+)-"));
    QDir temp(QDir::tempPath());
    for (const QString& name : temp.entryList({QStringLiteral("zeptool-*")}, QDir::AllEntries | QDir::System)) {
        const QRegularExpressionMatch m = own.match(name);
        if (m.hasMatch() && !processAlive(m.captured(1).toLongLong()))
            removeOwnFolder(temp.filePath(name));
    }
    return temp.filePath(QStringLiteral("zeptool-%1-XXXXXX").arg(QCoreApplication::applicationPid()));
}

} // namespace

void checkOutputs(const QStringList& outputs, const QStringList& inputs)
{
    QStringList seen;
    for (const QString& o : outputs) {
        checkOutputFile(o, inputs);
        // One file named twice, however its folder is reached (a link to it too).
        const QString file = joinPath(QFileInfo(QFileInfo(o).absolutePath()).canonicalFilePath(), QFileInfo(o).fileName());
        if (seen.contains(file))
            throw UsageError("\"" + local(o) + "\" is named twice");
        seen << file;
        // What a killed zeptool left beside it goes now.
        removeDeadTemporaries(QFileInfo(o).absolutePath());
    }
}

Workplace::Workplace() : dir(workFolderTemplate())
{
    dir.setAutoRemove(false);
    if (!dir.isValid())
        throw ZepError(err::PathFileAccess, QStringLiteral("Cannot make a working folder: %1.").arg(dir.errorString()));
    shell.WorkDir = dir.path();
    shell.WorkPath = dir.path() + QDir::separator();
    const QString bin = QCoreApplication::applicationDirPath();
    const QString gemray = findNoCase(bin, {QStringLiteral("gemray")});
    if (gemray.isEmpty())
        throw ZepError(err::FileNotFound, QStringLiteral("The ray tracer gemray is not beside zeptool in %1.").arg(bin));
    port = std::make_unique<DirectPort>(dir.path(), joinPath(bin, gemray));
    buildAllTemplates(bitmaps, map.MapHeader);
    invidx(images);
}

Workplace::~Workplace()
{
    port.reset();
    if (dir.isValid())
        removeOwnFolder(dir.path());
}

RunnerEnv Workplace::runnerEnv(const JobState& job)
{
    return RunnerEnv{shell, prefs, job, images, bitmaps, AbortFlag, messages, *port, RaytraceViews{}};
}

void Workplace::readMasksFor(const OptimizationTargets& t)
{
    readMasks(t, images, bitmaps.BMP_Header, messages);
    failIfSaid(QStringLiteral("a mask cannot be read"));
}

void Workplace::failIfSaid(const QString& what) const
{
    if (!messages.messages.isEmpty())
        throw ZepError(err::InvalidCall, what + QStringLiteral(": ") + messages.messages.join(QStringLiteral(" | ")));
}

namespace {

// What an optimization found, global or not, for the output.
struct OptimizeOutcome {
    int evaluations = 0;
    double seconds = 0;
    QStringList notes;
    std::optional<GlobalResult> global;
};

// The global search's peaks as JSON: every grid peak (with its climb when it
// was climbed) and the climb from the start angles.
std::string peaksJson(const GlobalResult& r)
{
    const auto point = [](float pav, float crn, float mf) {
        return "{\"pav\":" + jsonNumber(pav) + ",\"crn\":" + jsonNumber(crn) + ",\"mf\":" + jsonNumber(mf) + "}";
    };
    const auto climbJson = [&](const GlobalClimb* c, bool best) {
        if (!c)
            return std::string("\"final\":null,\"kept_start\":false,\"evaluations\":0,\"best\":false,\"notes\":[]");
        QStringList notes;
        for (const QString& n : c->notes)
            notes << jsonString(n.trimmed());
        return std::string("\"final\":") + (c->success ? point(c->pav, c->crn, c->mf) : std::string("null"))
               + ",\"kept_start\":" + (c->keptStart ? "true" : "false") + ",\"evaluations\":"
               + std::to_string(c->evaluations) + ",\"best\":" + (best ? "true" : "false")
               + ",\"notes\":[" + local(notes.join(u',')) + "]";
    };
    std::string peaks, fromStart = "null";
    for (const GridPeak& p : r.peaks) {
        const GlobalClimb* climbed = nullptr;
        for (const GlobalClimb& c : r.climbs)
            if (c.peak && c.peak->cell.i == p.cell.i && c.peak->cell.j == p.cell.j)
                climbed = &c;
        const bool best = climbed && climbed - r.climbs.data() == r.best;
        if (!peaks.empty())
            peaks += ',';
        peaks += "{\"cell\":{\"row\":" + std::to_string(p.cell.i) + ",\"column\":" + std::to_string(p.cell.j)
                 + ",\"pav\":" + jsonNumber(r.pavAxis[std::size_t(p.cell.j)]) + ",\"crn\":"
                 + jsonNumber(r.crnAxis[std::size_t(p.cell.i)]) + ",\"mf\":" + jsonNumber(p.mf) + "},"
                 + climbJson(climbed, best) + "}";
    }
    if (r.fromStart >= 0) {
        const GlobalClimb& c = r.climbs[std::size_t(r.fromStart)];
        fromStart = "{\"start\":" + point(c.fromPav, c.fromCrn, r.startMF) + "," + climbJson(&c, r.fromStart == r.best) + "}";
    }
    return "\"grid_evaluations\":" + std::to_string(r.gridEvaluations) + ",\"peaks\":[" + peaks
           + "],\"from_start\":" + fromStart;
}

// "--job K/N" of a line that `zeptool study --jobs` wrote: job K of a study of
// N, as a JSON member with the design and the material as the study named
// them; empty without --job. Read from a copy: the job reads its options again.
QString jobTag(Arguments args)
{
    QString design, material, job;
    if (!args.atEnd())
        design = args.take("the design");
    while (!args.atEnd()) {
        const QString a = args.take("an option");
        if ((a == QLatin1String("--material") || a == QLatin1String("--job")) && !args.atEnd())
            (a == QLatin1String("--job") ? job : material) = args.take("its value");
    }
    if (job.isEmpty())
        return {};
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})/([0-9]{1,9})$"));
    const QRegularExpressionMatch m = form.match(job);
    const int k = m.captured(1).toInt(), n = m.captured(2).toInt();
    if (!m.hasMatch() || k < 1 || k > n)
        throw UsageError("--job takes K/N: job K of a study of N jobs, not \"" + local(job) + "\"");
    return QStringLiteral("\"job\":{\"number\":%1,\"of\":%2,\"design\":%3,\"material\":%4}")
        .arg(k)
        .arg(n)
        .arg(jsonString(QDir::toNativeSeparators(design)), jsonString(material));
}

// Every evaluation's components by its angles, so that a result can tell
// those of its start and of its final angles.
class ComponentLog : public MeritEvaluator {
public:
    ComponentLog(MeritEvaluator& inner, const MeritRecord& merit) : m_inner(inner), m_merit(merit) {}
    void evaluate(float pav, float crn) override
    {
        m_inner.evaluate(pav, crn);
        m_seen[{gemrayAngle(pav), gemrayAngle(crn)}] = {m_merit.MFISO, m_merit.MFIll, m_merit.MFTilt, m_merit.MFSparkle, m_merit.MFFire};
    }
    // The components at those angles as JSON, null when none was evaluated there.
    std::string json(float pav, float crn) const
    {
        const auto found = m_seen.find({gemrayAngle(pav), gemrayAngle(crn)});
        if (found == m_seen.end())
            return "null";
        const auto& c = found->second;
        return "{\"iso\":" + jsonNumber(c[0]) + ",\"illumination\":" + jsonNumber(c[1]) + ",\"tilt\":" + jsonNumber(c[2])
               + ",\"sparkle\":" + jsonNumber(c[3]) + ",\"fire\":" + jsonNumber(c[4]) + "}";
    }

private:
    MeritEvaluator& m_inner;
    const MeritRecord& m_merit;
    std::map<std::pair<QString, QString>, std::array<float, 5>> m_seen;
};

// The proportions of the stone at the result's angles; none when the design
// cannot be re-cut to them.
static std::optional<Proportions> finalProportions(const QString& design, const JobState& s)
{
    try {
        const RecutAngles angles{singleAsDecimal(s.olPav), singleAsDecimal(s.theFinalPav), singleAsDecimal(s.olCrn),
                                 singleAsDecimal(s.theFinalCrn)};
        return proportionsOf(loadDesign(design), angles);
    } catch (const ZepError&) {
        return std::nullopt;
    }
}

// The margin of a finished result, or why it has none.
struct ResultMargin {
    std::optional<Margin> margin;
    int raytraces = 0; // what it cost beyond the search
    QString failure;
};

// After a robust search the result's merit function and its start's are
// their own (not the worst of their stencils): both were evaluated, so this
// costs nothing. Then the margin at the tolerance searched for (0.10 after a
// plain search): eight raytraces after a plain search, none after a robust
// one at that tolerance.
ResultMargin resultMargin(RobustEvaluator& kept, JobState& s, std::optional<float> tolerance, Workplace& w)
{
    ResultMargin r;
    w.AbortFlag = false;
    const int before = kept.passedOn();
    if (tolerance) {
        const std::optional<float> start = kept.plain(s.stPav, s.stCrn), final = kept.plain(s.theFinalPav, s.theFinalCrn);
        if (start && final) {
            s.theStartMF = *start;
            s.theFinalMF = *final;
        }
    } else {
        kept.keep(s.theFinalPav, s.theFinalCrn, s.theFinalMF);
    }
    w.messages.messages.clear();
    r.margin = kept.margin(s.theFinalPav, s.theFinalCrn, tolerance.value_or(DefaultTolerance));
    r.raytraces = kept.passedOn() - before;
    if (!r.margin)
        r.failure = w.messages.messages.join(u' ').trimmed();
    return r;
}

std::string marginJson(const ResultMargin& r)
{
    if (!r.margin)
        return "null";
    const Margin& m = *r.margin;
    return "{\"tolerance\":" + jsonNumber(m.tolerance) + ",\"worst\":" + jsonNumber(m.worst) + ",\"worst_at\":["
           + jsonNumber(m.worstPav) + ',' + jsonNumber(m.worstCrn) + "]}";
}

QString marginLine(const ResultMargin& r)
{
    if (!r.margin)
        return QStringLiteral("could not be raytraced: ") + r.failure;
    const Margin& m = *r.margin;
    return marginText(m) + QStringLiteral(", worst at %1 / %2 (%3 more evaluations)")
                               .arg(Format(m.worstPav, u"#.000"), Format(m.worstCrn, u"#.000"))
                               .arg(r.raytraces);
}

int optimizeJob(Arguments& args, std::ostream& out, const QString& tag)
{
    bool json = false, global = false;
    std::optional<float> tolerance; // given: the search is robust at it
    QString recut;
    std::optional<double> width, density;
    const JobOptions o = parseJob(args, [&](const QString& option) {
        if (option == QLatin1String("--width"))
            width = args.size("the width after --width (mm)", kMaxRoughMm);
        else if (option == QLatin1String("--density"))
            density = args.size("the density after --density (g/cm3)", kMaxDensity);
        else if (option == QLatin1String("--json"))
            json = true;
        else if (option == QLatin1String("--tolerance"))
            tolerance = takeTolerance(args);
        else if (option == QLatin1String("--global"))
            global = true;
        else if (option == QLatin1String("--job"))
            args.take("K/N after --job"); // read by jobTag
        else if (option == QLatin1String("--recut"))
            recut = args.take("the re-cut design's name after --recut");
        else
            return false;
        return true;
    });
    if (global && o.fixPav && o.fixCrn)
        throw UsageError("--global searches the free angles: fix at most one of them");
    if (!tag.isEmpty() && !json)
        throw UsageError("--job goes with --json");
    if (density && !o.ri)
        throw UsageError("--density goes with --ri (a material brings its own density)");
    if (density && !width)
        throw UsageError("a weight needs the stone's width: give --width MM");
    Job j = makeJob(o);
    if (!o.material.isEmpty())
        density = MaterialTable::standard().densityOf(j.material);
    if (!recut.isEmpty())
        checkOutputs({recut}, j.inputs);
    Workplace w;
    w.readMasksFor(j.targets);

    QElapsedTimer clock;
    clock.start();
    RaytraceEvaluator evaluator(w.runnerEnv(j.job), j.targets, w.merit, QStringLiteral("OPT"));
    ComponentLog logged(evaluator, w.merit);
    // Every pair the search and the margin evaluate is kept here; a plain
    // climb goes past it, as it always has.
    RobustEvaluator kept(logged, w.merit, w.AbortFlag, w.shell.TimedOut);
    kept.setTolerance(tolerance.value_or(0), o.fixPav, o.fixCrn);
    const OptimizerEnv env{j.job, j.targets, w.prefs, w.shell, w.merit, w.AbortFlag, w.messages};
    OptimizeOutcome result;
    bool success = false;
    if (global) {
        result.global = globalSearch(env, kept);
        success = result.global->complete;
        result.evaluations = result.global->evaluations;
        if (success)
            result.notes = result.global->climbs[std::size_t(result.global->best)].notes;
        else
            for (const GlobalClimb& c : result.global->climbs)
                w.messages.messages << c.notes;
    } else {
        QuietOptimizerView view;
        Optimizer opt(env, tolerance ? static_cast<MeritEvaluator&>(kept) : logged, view);
        opt.opened();
        opt.Go();
        opt.Cancel();
        success = opt.success;
        result.evaluations = opt.evaluations();
        result.notes = w.messages.messages;
    }
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    result.notes = j.notes + result.notes;
    if (!success)
        throw ZepError(err::InvalidCall, QStringLiteral("the optimization did not complete: ")
                                             + w.messages.messages.join(QStringLiteral(" | ")));
    JobState& s = j.job;
    const int raytraces = evaluator.runner().statistics().raytraces;
    const double seconds = result.seconds;
    const ResultMargin margin = resultMargin(kept, s, tolerance, w);

    // The result is printed whatever becomes of the re-cut; a re-cut that
    // cannot be made or written is told after it.
    std::optional<ZepError> recutFailure;
    if (!recut.isEmpty()) {
        try {
            const gemray::GemDesign design = loadDesign(o.design);
            const RecutAngles angles{singleAsDecimal(s.olPav), singleAsDecimal(s.theFinalPav),
                                     singleAsDecimal(s.olCrn), singleAsDecimal(s.theFinalCrn)};
            writeFilesTogether({{recut, gemBytes(recutDesign(design, angles))}});
        } catch (const ZepError& e) {
            recutFailure = e;
        }
    }
    const auto finish = [&] {
        if (recutFailure)
            throw ZepError(recutFailure->number(), recutFailure->messageFor(QStringLiteral("zeptool"))
                                                       + QStringLiteral(" The result above stands; nothing was re-cut."));
        return 0;
    };

    const std::optional<Proportions> stone = finalProportions(o.design, s);
    if (json) {
        QStringList notes;
        for (const QString& m : result.notes)
            notes << jsonString(m.trimmed());
        out << '{' << local(tag.isEmpty() ? tag : tag + u',') << "\"design\":"
            << local(jsonString(QDir::toNativeSeparators(o.design)))
            << ",\"material\":" << local(jsonString(j.material)) << ",\"index\":" << jsonNumber(s.theRI)
            << ",\"dispersion\":" << jsonNumber(s.theDisp) << ",\"old\":{\"pav\":" << jsonNumber(s.olPav)
            << ",\"crn\":" << jsonNumber(s.olCrn) << "},\"tiers\":{\"pav\":{\"tier\":"
            << local(jsonString(QString::fromStdString(j.pavTier))) << ",\"angle\":" << jsonNumber(s.olPav)
            << "},\"crn\":{\"tier\":" << local(jsonString(QString::fromStdString(j.crnTier))) << ",\"angle\":"
            << jsonNumber(s.olCrn) << "}},\"start\":{\"pav\":" << jsonNumber(s.stPav)
            << ",\"crn\":" << jsonNumber(s.stCrn) << ",\"mf\":" << jsonNumber(s.theStartMF) << "},\"final\":{\"pav\":"
            << jsonNumber(s.theFinalPav) << ",\"crn\":" << jsonNumber(s.theFinalCrn) << ",\"mf\":" << jsonNumber(s.theFinalMF)
            << "},\"evaluations\":" << result.evaluations << ",\"raytraces\":" << raytraces
            << ",\"seconds\":" << QString::number(seconds, 'f', 3).toStdString() << ",\"notes\":["
            << local(notes.join(u',')) << "],\"components\":{\"start\":" << logged.json(s.stPav, s.stCrn)
            << ",\"final\":" << logged.json(s.theFinalPav, s.theFinalCrn) << "},\"targets\":\""
            << local(targetsHash(j.targets)) << "\",\"search\":\"" << (global ? "global" : "climb")
            << "\",\"tracer\":\"" << gemray::kTracerVersion << "\",\"limits\":\""
            << (o.old || o.start || o.pavLimits || o.crnLimits || o.steps || o.fixPav || o.fixCrn ? "given" : "derived")
            << "\",\"tolerance\":" << (tolerance ? jsonNumber(*tolerance) : std::string("null")) << ",\"margin\":" << marginJson(margin);
        if (result.global)
            out << "," << peaksJson(*result.global);
        out << ",\"proportions\":" << (stone ? local(proportionsJson(*stone)) : std::string("null"));
        if (width && stone) {
            const double k = *width / stone->width;
            out << ",\"size_mm\":{\"length\":" << local(DecimalText(stone->length * k)) << ",\"width\":"
                << local(DecimalText(*width)) << ",\"depth\":" << local(DecimalText(stone->depth * k)) << '}';
            if (density)
                out << ",\"weight_ct\":" << local(DecimalText(caratWeight(stone->vw3, *width, *density)));
        }
        out << "}\n";
        return finish();
    }
    const auto angle = [](float x) { return local(Format(x, u"#.000")); };
    const auto row = [&](const char* label, float pav, float crn, float mf) {
        out << label << angle(pav) << std::string(10 - angle(pav).size(), ' ') << angle(crn)
            << std::string(10 - angle(crn).size(), ' ') << local(NumText(mf).trimmed());
    };
    out << "design      " << local(QDir::toNativeSeparators(o.design)) << '\n'
        << "material    " << local(j.material) << ", index" << local(NumText(s.theRI)) << ", dispersion"
        << local(NumText(s.theDisp)) << '\n'
        << "tiers       pavilion " << tierText(j.pavTier, singleAsDecimal(s.olPav)) << ", crown "
        << tierText(j.crnTier, singleAsDecimal(s.olCrn)) << '\n'
        << "            pavilion  crown     merit function\n";
    row("start       ", s.stPav, s.stCrn, s.theStartMF);
    out << '\n';
    row("optimized   ", s.theFinalPav, s.theFinalCrn, s.theFinalMF);
    out << '\n' << result.evaluations << " evaluations, " << raytraces << " raytraces, "
        << QString::number(seconds, 'f', 2).toStdString() << " s\n";
    out << "margin      " << local(marginLine(margin)) << '\n';
    if (result.global) {
        // Each climb: where it started, where it ended, and its evaluations.
        const GlobalResult& r = *result.global;
        out << r.peaks.size() << (r.peaks.size() == 1 ? " peak" : " peaks") << " on the grid ("
            << r.gridEvaluations << " evaluations); climbs:\n";
        for (const GlobalClimb& c : r.climbs) {
            row(c.peak ? "  from cell  " : "  from start ", c.fromPav, c.fromCrn,
                c.peak ? c.peak->mf : r.startMF);
            out << "  to  ";
            if (c.success)
                row("", c.pav, c.crn, c.mf);
            else
                out << "failed: " << local(c.notes.join(u' ').trimmed());
            out << "  (" << c.evaluations << " evaluations" << (c.keptStart ? ", kept its start" : "") << ")" << (&c == &r.climbs[std::size_t(r.best)] ? "  best" : "")
                << '\n';
        }
    }
    if (width && stone)
        out << "stone       " << local(sizeText(*stone, *width, density)) << '\n';
    for (const QString& m : result.notes)
        out << local(m.trimmed()) << '\n';
    if (!recut.isEmpty() && !recutFailure)
        out << "wrote " << local(QDir::toNativeSeparators(recut)) << '\n';
    return finish();
}

} // namespace

int optimizeCommand(Arguments& args, std::ostream& out)
{
    const QString tag = jobTag(args);
    if (tag.isEmpty())
        return optimizeJob(args, out, tag);
    try {
        return optimizeJob(args, out, tag);
    } catch (const std::exception& e) {
        // A job of a study answers with one line even when it fails; the error
        // output and the exit status tell it too.
        out << '{' << local(tag) << ",\"error\":"
            << local(jsonString(QString::fromStdString(failureText(e)).section(u'\n', 0, 0))) << "}\n";
        throw;
    }
}

namespace {

// The map at four times its size with its axes and colour scale.
QByteArray mapPicture(const MapStore& map, const Header8& table, const QString& title)
{
    const QImage cells = QImage::fromData(mapBitmapBytes(map), "BMP");
    const auto stripBytes = colourScaleBitmap(table);
    const QImage strip = QImage::fromData(stripBytes.data(), int(stripBytes.size()), "BMP");
    const int scale = 4, side = cells.width() * scale, margin = 56;
    // Room right of the colour scale for its two labels.
    QImage out(side + 2 * margin + 120, side + 2 * margin, QImage::Format_RGB32);
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
    // The labels start right of the scale (which ends at side + 40).
    text(margin + side + 48 + 60, margin, NumText(map.CMFMax).trimmed(), Qt::AlignLeft | Qt::AlignVCenter);
    text(margin + side + 48 + 60, margin + side, NumText(map.CMFMin).trimmed(), Qt::AlignLeft | Qt::AlignVCenter);
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
    // The map spans the limits in fixed steps with both angles moving.
    if (o.steps || o.fixPav || o.fixCrn)
        throw UsageError("map does not use --steps, --fix-pav or --fix-crn: it spans the limits");
    QStringList outputs{mfm};
    if (!png.isEmpty())
        outputs << png;
    Job j = makeJob(o);
    checkOutputs(outputs, j.inputs);
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

    CellMask all;
    all.fill(true);
    const CellIndex best = bestCell(w.map.MFGrid, all).value_or(CellIndex{});
    const int i = best.i, jj = best.j;
    out << "map of " << local(QDir::toNativeSeparators(o.design)) << " in " << local(j.material) << ": pavilion "
        << local(Format(w.map.MP1, u"#.000")) << " to " << local(Format(w.map.MP2, u"#.000")) << ", crown "
        << local(Format(w.map.MC1, u"#.000")) << " to " << local(Format(w.map.MC2, u"#.000")) << '\n'
        << "merit function" << local(NumText(w.map.MFMin)) << " to" << local(NumText(w.map.MFMax))
        << ", best at pavilion " << local(Format(w.map.PavGrid[std::size_t(jj)], u"#.000")) << ", crown "
        << local(Format(w.map.CrnGrid[std::size_t(i)], u"#.000")) << '\n'
        << evaluations << " evaluations, " << evaluator.runner().statistics().raytraces << " raytraces, "
        << QString::number(seconds, 'f', 2).toStdString() << " s\n";
    // The summary above stands even when the files cannot be written.
    writeFilesTogether(files);
    for (const auto& f : files)
        out << "wrote " << local(QDir::toNativeSeparators(f.first)) << '\n';
    return 0;
}

} // namespace zep::tool
