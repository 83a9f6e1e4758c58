#pragma once
// The results the library keeps: one per design, material (name, index,
// dispersion), targets (the hash of their saved text), limits rule, search
// (climb or global) and ray tracer version. Only a result whose whole key
// matches the question asked is current; one of another ray tracer version or
// other targets is never shown as current. Also the list of designs with
// their current results, filtered and sorted in SQL, and its CSV.
#include "library/Designs.h"
#include "library/LibraryDb.h"

#include <QJsonObject>
#include <QString>
#include <array>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace zep {
struct OptimizationTargets;
}

namespace zep::library {

// The limits a job derives from the design (zeptool optimize's defaults).
inline const char* const DerivedLimits = "derived";

struct ResultKey {
    QString material;
    double ri = 0, disp = 0; // as the job's singles hold them
    QString targets;         // SHA-256 of the targets' saved text
    QString limits = QString::fromLatin1(DerivedLimits);
    QString search = QStringLiteral("climb"); // or "global"
    QString tracer;          // the ray tracer's version
    // A robust search's cutting tolerance; none: the plain search.
    std::optional<double> tolerance;
};

// The search as the results table keeps it: "climb", "global", and with a
// tolerance "climb@0.1", so that a robust and a plain result are two.
QString storedSearch(const ResultKey& key);
// The key of a search text kept that way.
void readStoredSearch(const QString& stored, ResultKey& key);

// The targets a job uses without --targets: ISO and illumination, weight 1 each.
OptimizationTargets defaultTargets();
// The key of a job in `material` (a name of the material table, any letter
// case) with the targets of `targetsFile` (empty: the default ones). Raises
// ZepError for an unknown material or a targets file that cannot be read.
ResultKey resultKey(const QString& material, const QString& targetsFile, bool global,
                    std::optional<double> tolerance = std::nullopt);

struct StoredResult {
    ResultKey key;
    float startPav = 0, startCrn = 0, finalPav = 0, finalCrn = 0, startMf = 0, finalMf = 0;
    QString components; // JSON of the merit function's components at start and final angles
    QString notes;
    QString error;      // why the job failed; empty for a result
    QString pavTier, crnTier; // the tiers of the start's old angles ("2", "B"); empty from an older ZEP
    std::optional<Proportions> proportions; // at the final angles
    // The margin: the tolerance, the worst merit function within it and its
    // angles; NaN when the job reported none (an older ZEP, a failed stencil).
    float marginTol = NAN, marginWorst = NAN, marginPav = NAN, marginCrn = NAN;
    int evaluations = 0;
    double seconds = 0;
    QString date;
};

// The result in a job's JSON line (zeptool optimize --json), or its error.
StoredResult resultFromJson(const QJsonObject& line, const ResultKey& key);
// Keeps a result, replacing one of the same key, in a transaction of its own.
// False, storing nothing, when the design has left the library meanwhile.
bool storeResult(LibraryDb& db, qint64 design, const StoredResult& r);
// Every result of a design, the best first.
std::vector<StoredResult> designResults(LibraryDb& db, qint64 design);
// Takes the job of a design for this process: false when a result of the key
// is there by now or a running process (on this machine) has taken it.
bool claimJob(LibraryDb& db, qint64 design, const ResultKey& key);
// Gives back every job this process has taken.
void releaseJobs(LibraryDb& db);

// The designs that have no result of `key` (among `among` when given).
std::vector<qint64> missingDesigns(LibraryDb& db, const ResultKey& key, const std::vector<qint64>* among = nullptr);

enum class SortColumn { Best, Name, Gear, Facets, LW, MeritFunction, Pavilion, Crown, Weight, Yield };

// A rough as a box of three sizes in mm (any order) and the density of its
// material.
struct Rough {
    std::array<double, 3> mm{};
    double density = 0;
};

struct ListFilter {
    std::optional<ResultKey> key; // the material and targets whose results are shown
    QString text;                 // words each found in the name, footnotes or a path
    std::optional<int> gear;
    std::optional<std::pair<int, int>> facets;
    std::optional<std::pair<double, double>> lw;
    std::optional<Rough> rough;   // what Weight and Yield sort by (with a key)
    std::optional<double> minMf;  // only designs whose current result reaches it
    SortColumn sort = SortColumn::Best;
    bool descending = false; // for columns other than Best
};

struct ListRow {
    qint64 id = 0;
    QString hash, name, format, path;
    int gear = 0, facets = 0, tiers = 0, symmetry = 0;
    bool mirror = false;
    double ri = 0, pav = 0, crn = 0, lw = 0;
    bool hasResult = false;
    float startMf = 0, finalMf = 0, finalPav = 0, finalCrn = 0;
    QString search;
    QString pavTier, crnTier; // of the current result: the tiers its angles belong to
    float marginTol = NAN, marginWorst = NAN; // its margin (NaN: none)
    QString failure;          // with no current result: why its job of the key failed
    std::optional<Proportions> own;    // at the design's own angles
    std::optional<Proportions> atFinal; // of the current result, at its final angles
};

// A design's stone in a rough: at its current result's angles; none without
// a result that knows its proportions.
struct StoneInRough {
    RoughFit fit;
    double weight = 0; // ct
};
std::optional<StoneInRough> stoneInRough(const ListRow& row, const Rough& rough);

// The designs the filter lets through, sorted, `limit` of them (-1: all)
// from `offset`.
std::vector<ListRow> listDesigns(LibraryDb& db, const ListFilter& filter, int offset = 0, int limit = -1);
int countDesigns(LibraryDb& db, const ListFilter& filter);

// A result's tier with the design's own angle of it, "2 at 41.50"; empty for
// a result of an older ZEP, which named none.
QString tierLabel(const QString& tier, double ownAngle);

// The table of `rows`, one row per design: its file, name, hash and figures,
// and with a key its current result.
// With a rough, the columns weight_ct and yield_pct end each row.
QString designTable(const std::vector<ListRow>& rows, bool withResults, const std::optional<Rough>& rough = {});

} // namespace zep::library
