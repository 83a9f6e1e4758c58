#include "study/JobOptions.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "design/Materials.h"
#include "merit/Evaluation.h"
#include "merit/RobustMerit.h"
#include "optimize/TargetFile.h"
#include "recut/CuttingList.h"
#include "recut/Recut.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zep::tool {

std::string local(const QString& s) { return s.toLocal8Bit().toStdString(); }

std::string shortest(float x)
{
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

std::string jsonNumber(float x)
{
    return std::isfinite(x) ? shortest(x) : std::string("null");
}

QString jsonString(const QString& s)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

float takeTolerance(Arguments& args)
{
    const QString given = args.take("the cutting tolerance after --tolerance");
    const BoxRange range{MinTolerance, MaxTolerance};
    double x = std::numeric_limits<double>::quiet_NaN();
    try {
        x = StrictNumber(given);
    } catch (const ZepError&) {
        // Not a number, or far out of range: refused below.
    }
    if (!range.holds(x))
        throw UsageError("--tolerance takes a cutting tolerance in degrees " + local(range.text()) + ", not \""
                         + local(given) + "\"");
    return float(x);
}

namespace {

// A number of the command line as a single; one beyond a single's range is
// refused rather than taken as infinite.
float single(Arguments& args, const char* what)
{
    const double x = args.number(what);
    if (!(std::fabs(x) <= double(std::numeric_limits<float>::max())))
        throw UsageError(std::string(what) + " is out of range");
    return float(x);
}

Pair takePair(Arguments& args, const char* first, const char* second)
{
    const float a = single(args, first);
    return Pair{a, single(args, second)};
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
        o.ri = single(args, "the refractive index after --ri");
    else if (option == QLatin1String("--disp"))
        o.disp = single(args, "the dispersion after --disp");
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

// Limits lie in order within the angles a raytrace takes. `from` tells where
// limits that were not given came from.
void checkLimits(const Pair& p, const char* half, const std::string& from)
{
    const std::string limits = std::string("the ") + half + " limits" + from;
    if (!(p.a <= p.b))
        throw UsageError(limits + " are in the wrong order: " + shortest(p.a) + " is above " + shortest(p.b));
    if (!(AngleRange.holds(singleAsDecimal(p.a)) && AngleRange.holds(singleAsDecimal(p.b))))
        throw UsageError(limits + " must lie " + local(AngleRange.text()) + " degrees");
}

// Values of a targets file that the targets dialog would refuse, named by
// their keys: the tilt's views must fit the table of its samples.
void checkTargetValues(const OptimizationTargets& t, const QString& path)
{
    const auto check = [&](const char* key, double value, const BoxRange& range) {
        if (!range.holds(value))
            throw ZepError(err::InvalidCall, QStringLiteral("The targets file %1: %2 %3 must lie %4.")
                                                 .arg(QDir::toNativeSeparators(path), QLatin1String(key),
                                                      NumText(value).trimmed(), range.text()));
    };
    if (t.doTilt) {
        int directions = 0;
        for (int d = 1; d <= 8; ++d)
            directions += t.tiltDirection(d) ? 1 : 0;
        check("nTang", t.nTang, BoxRange{2, double(TiltTableSize / std::max(directions, 1))});
        check("TAngMax", singleAsDecimal(t.TAngMax), BoxRange{0, 89.9, true});
        check("dBZMF", singleAsDecimal(t.dBZMF), BoxRange{0, 1e300, true});
    }
    if (t.doSparkle) {
        check("SpDir1", t.SpDir1, BoxRange{0, 8});
        check("SpDir2", t.SpDir2, BoxRange{0, 8});
        check("SpAng1", singleAsDecimal(t.SpAng1), BoxRange{0, 89.9});
        check("SpAng2", singleAsDecimal(t.SpAng2), BoxRange{0, 89.9});
    }
    if (t.doFire)
        check("fireDisp", singleAsDecimal(t.fireDisp), BoxRange{0, 1});
}

// A free angle's search must be able to end: a step below the tolerance never
// moves it far enough to judge, a step wider than the limits leaves them at once.
void checkStep(float step, float lo, float hi, float tolerance, const char* half)
{
    if (!(step >= tolerance))
        throw UsageError(std::string("the ") + half + " step " + shortest(step) + " is below the angle tolerance "
                         + shortest(tolerance) + " (fix the angle with --fix-" + (half[0] == 'p' ? "pav" : "crn")
                         + " instead)");
    if (!(AngleThousandths(hi) - AngleThousandths(lo) >= AngleThousandths(step)))
        throw UsageError(std::string("the ") + half + " limits " + shortest(lo) + " and " + shortest(hi)
                         + " lie closer than one step (" + shortest(step) + ")");
}

void loadTargets(const QString& path, OptimizationTargets& t)
{
    RecordingSink said;
    bool loaded = false;
    try {
        loaded = LoadTargetFile(path, t, said);
    } catch (const ZepError& e) {
        if (!e.userMessage().isEmpty())
            throw;
        throw ZepError(e.number(), QStringLiteral("Cannot read the targets file %1: %2.")
                                       .arg(QDir::toNativeSeparators(path), e.description()));
    }
    if (!loaded)
        throw ZepError(err::InvalidCall, QDir::toNativeSeparators(path) + QStringLiteral(": ") + said.messages.join(u' '));
}

} // namespace

void setMaterial(const JobOptions& o, Job& j)
{
    JobState& s = j.job;
    const MaterialTable table = MaterialTable::standard();
    if (!o.material.isEmpty() && o.ri)
        throw UsageError("give either --material or --ri, not both");
    if (o.disp && !o.ri)
        throw UsageError("--disp goes with --ri (a material brings its own dispersion)");
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
        if (o.disp && !(*o.disp >= 0 && *o.disp <= 1))
            throw UsageError("the dispersion must lie from 0 to 1");
        j.material = QStringLiteral("Custom");
        s.useSpecRI = true;
        s.theRI = *o.ri;
        s.theDisp = o.disp.value_or(0);
    } else {
        throw UsageError("give the material with --material NAME or --ri N");
    }
    s.theMat = j.material;
}

QStringList targetInputs(const QString& path, OptimizationTargets& t)
{
    loadTargets(path, t);
    checkTargetValues(t, path);
    QStringList files{path};
    if (t.doSparkle && t.useSMsk)
        files << t.theSMsk;
    if (t.doFire && t.useFMsk)
        files << t.theFMsk;
    return files;
}

JobOptions parseJob(Arguments& args, const std::function<bool(const QString&)>& own)
{
    JobOptions o;
    o.design = args.take("the design file");
    while (!args.atEnd()) {
        const QString option = args.option("an option");
        if (!takeJobOption(option, args, o) && !own(option))
            throw UsageError("unknown option " + local(option));
    }
    return o;
}

Job makeJob(const JobOptions& o)
{
    Job j;
    JobState& s = j.job;
    const gemray::GemDesign design = loadDesign(o.design);
    s.fnam = QFileInfo(o.design).absoluteFilePath();
    j.inputs << o.design;
    setMaterial(o, j);

    const MainAngles main = mainAngles(design);
    if (!o.old) {
        const std::string why = notOptimizable(main);
        if (!why.empty())
            throw ZepError(err::InvalidCall, QStringLiteral("design file \"%1\" is not a stone to optimize: %2")
                                                 .arg(QDir::toNativeSeparators(o.design), QString::fromStdString(why)));
    }
    const Pair old = o.old.value_or(Pair{float(main.pavilion), float(main.crown)});
    if (!(old.a > 0 && old.a < 90 && old.b > 0 && old.b < 90))
        throw UsageError("the old angles must lie between 0 and 90 degrees");
    // The change of angles starts from tiers of the design: a mistyped old
    // angle would be taken for a ratio and give another stone.
    if (o.old)
        checkOldTiers(design, singleAsDecimal(old.a), singleAsDecimal(old.b));
    s.olPav = old.a;
    s.olCrn = old.b;
    j.pavTier = tierAt(design, true, singleAsDecimal(old.a));
    j.crnTier = tierAt(design, false, singleAsDecimal(old.b));
    const Pair start = o.start.value_or(old);
    s.stPav = start.a;
    s.stCrn = start.b;

    // Limits the job derives hold the design's own angles: a limit an own
    // angle lies beyond is widened to it, and the result says so. Limits
    // given are the user's, and a start given must lie within the limits.
    const auto widen = [&](AngleLimits limits, float angle, const char* half) {
        if (limits.widened)
            j.notes << QStringLiteral("%1 limits widened to %2 to hold the design's own angle")
                           .arg(QLatin1String(half), NumText(angle).trimmed());
        return Pair{limits.lo, limits.hi};
    };
    Pair pav = o.pavLimits ? *o.pavLimits : widen(derivedPavilionLimits(s.theRI, old.a), old.a, "pavilion");
    Pair crn = o.crnLimits ? *o.crnLimits : widen(derivedCrownLimits(old.b, old.b), old.b, "crown");
    checkLimits(pav, "pavilion",
                o.pavLimits ? std::string() : " from the critical angle of index " + shortest(s.theRI) + " (give them with --pav-limits)");
    checkLimits(crn, "crown", o.crnLimits ? std::string() : " around the old crown angle (give them with --crn-limits)");
    s.minPav = pav.a;
    s.maxPav = pav.b;
    s.minCrn = crn.a;
    s.maxCrn = crn.b;
    if (!WithinLimits(s.stPav, s.minPav, s.maxPav) || !WithinLimits(s.stCrn, s.minCrn, s.maxCrn))
        throw UsageError("Starting angles must be between Min and Max! (pavilion " + shortest(s.stPav) + " in "
                         + shortest(pav.a) + " to " + shortest(pav.b) + ", crown " + shortest(s.stCrn) + " in "
                         + shortest(crn.a) + " to " + shortest(crn.b) + ")");
    const Pair steps = o.steps.value_or(Pair{(s.maxPav - s.minPav) / 10, (s.maxCrn - s.minCrn) / 10});
    s.pStep = steps.a;
    s.cStep = steps.b;
    s.fixPav = o.fixPav;
    s.fixCrn = o.fixCrn;
    const float tolerance = Preferences{}.ATol;
    if (!s.fixPav)
        checkStep(s.pStep, s.minPav, s.maxPav, tolerance, "pavilion");
    if (!s.fixCrn)
        checkStep(s.cStep, s.minCrn, s.maxCrn, tolerance, "crown");

    if (o.targets.isEmpty()) {
        j.targets.doISO = j.targets.doIll = true;
        j.targets.wtISO = j.targets.wtILL = 1;
    } else {
        j.inputs << targetInputs(o.targets, j.targets);
    }
    const OptimizationTargets& t = j.targets;
    if (!t.doISO && !t.doIll && !t.doTilt && !t.doSparkle && !t.doFire)
        throw ZepError(err::InvalidCall, QStringLiteral("Please enter at least one optimization parameter"));
    return j;
}

} // namespace zep::tool
