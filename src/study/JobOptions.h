#pragma once
// A job of zeptool optimize and map: its options read from the command line,
// checked, and completed with the defaults into the main window's fields and
// the targets. Every refusal comes here, before the first raytrace.
#include "common/SharedState.h"
#include "optimize/OptimizationTargets.h"
#include "study/Arguments.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>

namespace zep::tool {

std::string local(const QString& s);
// The shortest text that reads back as the same single.
std::string shortest(float x);
// A JSON number: the shortest text, or null for a value that is not finite.
std::string jsonNumber(float x);
// A JSON string literal.
QString jsonString(const QString& s);

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

// The cutting tolerance after --tolerance, in degrees: a number from 0 to 1.
// UsageError naming the argument for anything else (letters, NaN, -0.1, 2).
float takeTolerance(Arguments& args);

// The design, then job options and the subcommand's `own` options (`own`
// takes one and says whether it was one). UsageError for anything else.
JobOptions parseJob(Arguments& args, const std::function<bool(const QString&)>& own);

// A job ready to run: the main window's fields and the targets.
struct Job {
    JobState job;
    OptimizationTargets targets;
    QString material; // the table's name, or "Custom"
    QStringList inputs; // every file it reads: design, targets, masks
    // The tiers of the old angles, as the cutting list names them ("2", "B").
    std::string pavTier, crnTier;
    // What the job changed of its defaults ("pavilion limits widened to ..."),
    // told with its result.
    QStringList notes;
};

// The files a targets file makes a job read: itself and the masks it uses.
// Raises ZepError when it cannot be read.
QStringList targetInputs(const QString& path, OptimizationTargets& t);

// The index and dispersion of --material NAME or --ri N [--disp D] into the
// job (UsageError for an unknown material, both given, or neither).
void setMaterial(const JobOptions& o, Job& j);

// Fills in the defaults and refuses what cannot run: an old angle that is no
// tier of the design, limits in the wrong order or outside 0 to 90, a start
// outside its limits, a free angle's step below the angle tolerance or wider
// than its limits, an index or dispersion out of range, a targets file that
// cannot be read or switches nothing on. Raises UsageError or ZepError.
Job makeJob(const JobOptions& o);

} // namespace zep::tool
