#include "zeptool/LibraryCommand.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "library/Designs.h"
#include "library/LibraryDb.h"
#include "library/Ranking.h"
#include "library/Results.h"
#include "design/Materials.h"
#include "recut/Proportions.h"
#include "merit/RobustMerit.h"
#include "raytracer/CommandLine.h"
#include "study/JobOptions.h"
#include "study/Study.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <iostream>

namespace zep::tool {

const char* const LibraryUsage =
    "add PATH... | list [--material NAME [--tolerance T] [--rough L W H] [--by mf|weight|yield] [--min-mf X]] "
    "[--text WORDS] [--gear N] [--facets MIN MAX] [--lw MIN MAX] [--json] | "
    "rank --material NAME [--rough L W H] [--by mf|weight|yield] [--min-mf X] [--targets FILE] [--global] "
    "[--tolerance T] [-j N] [--csv OUT.csv | --jobs FILE] | collect RESULTS | "
    "show DESIGN-OR-HASH | remove DESIGN-OR-HASH | export --csv OUT [--material NAME]; each with [--db FILE]";

namespace {

using namespace zep::library;

// A subcommand's words with --db taken out, wherever it stood.
struct Words {
    QString db;
    QStringList rest;
};

Words takeDb(Arguments& args)
{
    Words w;
    bool named = false;
    while (!args.atEnd()) {
        const QString a = args.take("an argument");
        if (a != QLatin1String("--db")) {
            w.rest << a;
            continue;
        }
        if (named)
            throw UsageError("--db names the library once");
        named = true;
        // An empty name (an unset variable) never stands for the default library.
        w.db = args.take("the library file after --db");
        if (w.db.isEmpty())
            throw UsageError("the library file after --db is empty");
    }
    if (!named)
        w.db = defaultLibraryPath();
    return w;
}

std::string line(const QString& s) { return local(oneLineName(s)); }

int wholeNumber(Arguments& a, const char* what)
{
    const double n = a.number(what);
    if (!(std::fabs(n) < 1e9 && n == std::floor(n)))
        throw UsageError(std::string(what) + " must be a whole number");
    return int(n);
}

std::string angle(double x) { return local(Format(float(x), u"#.000")); }
std::string merit(double x) { return local(NumText(float(x)).trimmed()); }

// The library a command works on, opened only once the command's arguments
// are read: a command refused for them leaves no library behind. Only add
// makes a library; the others, given a name with no library, say so (a name
// mistyped is never made into an empty library).
class Library {
public:
    Library(QString path, bool makeFolder, bool makes)
        : m_path(std::move(path)), m_makeFolder(makeFolder), m_makes(makes)
    {
    }
    LibraryDb& operator()()
    {
        if (!m_db) {
            const QFileInfo file(m_path);
            if (!m_makes && !file.exists() && !file.isSymLink())
                throw ZepError(err::FileNotFound, QStringLiteral("there is no design library at ") +
                                                      oneLineName(m_path) + QStringLiteral(" (zeptool library add makes one)"));
            m_db = std::make_unique<LibraryDb>(m_path, m_makeFolder);
        }
        return *m_db;
    }

private:
    QString m_path;
    bool m_makeFolder, m_makes;
    std::unique_ptr<LibraryDb> m_db;
};

int addCommand(Library& open, Arguments& a, std::ostream& out)
{
    QStringList paths;
    while (!a.atEnd()) {
        const QString p = a.take("a path");
        if (p.startsWith(u'-') && !QFileInfo::exists(p))
            throw UsageError("unknown option " + local(p));
        paths << p;
    }
    if (paths.isEmpty())
        throw UsageError("name the design files or folders to add");
    LibraryDb& db = open();
    int counts[3] = {0, 0, 0}, notStones = 0;
    addFiles(db, designFilesUnder(paths), [&](const AddReport& r) {
        ++counts[int(r.outcome)];
        // A preform or a letter shape is a design, but not a stone to rank.
        if (r.outcome == AddOutcome::Refused
            && (r.message.contains(QLatin1String("is not a closed stone: ")) || r.message.contains(QLatin1String("is not a stone to optimize: "))))
            ++notStones;
        switch (r.outcome) {
        case AddOutcome::Added: out << "added   " << line(r.path) << '\n'; break;
        case AddOutcome::Known: out << "known   " << line(r.path) << " (same content)\n"; break;
        case AddOutcome::Refused: out << "refused " << line(r.path) << ": " << line(r.message) << '\n'; break;
        }
        out.flush();
    });
    out << counts[0] << " added, " << counts[1] << " known, " << counts[2] << " refused"
        << (notStones ? " (" + std::to_string(notStones) + " not stones to optimize)" : std::string()) << "; library "
        << line(db.path()) << '\n';
    return counts[2] == 0 ? 0 : 1;
}

// The options that rank a library for a rough: --rough L W H, --by and --min-mf.
struct RoughOptions {
    std::optional<std::array<double, 3>> rough;
    QString by = QStringLiteral("mf");
    std::optional<double> minMf;

    bool take(const QString& o, Arguments& a)
    {
        if (o == QLatin1String("--rough")) {
            if (rough)
                throw UsageError("--rough is given twice");
            std::array<double, 3> mm{};
            for (double& x : mm)
                x = a.size("each size of the rough after --rough (mm)", kMaxRoughMm);
            rough = mm;
        } else if (o == QLatin1String("--by")) {
            by = a.take("mf, weight or yield after --by");
            if (by != QLatin1String("mf") && by != QLatin1String("weight") && by != QLatin1String("yield"))
                throw UsageError("--by takes mf, weight or yield, not \"" + local(by) + "\"");
        } else if (o == QLatin1String("--min-mf")) {
            const double x = a.number("the merit function after --min-mf");
            if (!std::isfinite(x))
                throw UsageError("the merit function after --min-mf must be a finite number");
            minMf = x;
        } else {
            return false;
        }
        return true;
    }

    // Into the filter of a material's ranking.
    void apply(ListFilter& f) const
    {
        if (rough)
            f.rough = Rough{*rough, MaterialTable::standard().densityOf(f.key->material)};
        f.minMf = minMf;
        if (by != QLatin1String("mf")) {
            if (!rough)
                throw UsageError("--by " + local(by) + " needs the rough: give --rough L W H");
            f.sort = by == QLatin1String("weight") ? SortColumn::Weight : SortColumn::Yield;
            f.descending = true;
        }
    }
};

std::string weightText(const ListRow& r, const std::optional<Rough>& rough)
{
    if (!rough)
        return {};
    const auto stone = stoneInRough(r, *rough);
    char buf[64];
    if (stone)
        std::snprintf(buf, sizeof buf, "%9s ct %7s %%  ", local(Format(stone->weight, u"#.00")).c_str(),
                      local(Format(stone->fit.yieldPercent, u"#.00")).c_str());
    else
        std::snprintf(buf, sizeof buf, "%9s ct %7s %%  ", "-", "-");
    return buf;
}

Margin rowMargin(const ListRow& r)
{
    Margin m;
    m.tolerance = r.marginTol;
    m.worst = r.marginWorst;
    m.mf = r.finalMf;
    return m;
}

void printRows(const std::vector<ListRow>& rows, bool withResults, std::ostream& out,
               const std::optional<Rough>& rough = {})
{
    int place = 0;
    for (const ListRow& r : rows) {
        char head[96] = ""; // the place and result, when a material is given
        if (withResults && r.hasResult)
            std::snprintf(head, sizeof head, "%4d  %-10s %-8s %-8s", ++place, merit(r.finalMf).c_str(),
                          angle(r.finalPav).c_str(), angle(r.finalCrn).c_str());
        else if (withResults)
            std::snprintf(head, sizeof head, "%4s  %-10s %-8s %-8s", "-", "-", "-", "-");
        char figures[96];
        std::snprintf(figures, sizeof figures, "gear %-3d %4d facets  L/W %.3f  %s", std::abs(r.gear), r.facets, r.lw,
                      r.hash.left(12).toLatin1().constData());
        out << head << (withResults ? "  " : "") << weightText(r, rough) << figures << "  " << line(r.name) << "  " << line(r.path);
        // Which tiers the angles are of; for a design without a result, why its job failed.
        if (withResults && r.hasResult && !r.pavTier.isEmpty())
            out << "  (tiers " << line(tierLabel(r.pavTier, r.pav)) << ", " << line(tierLabel(r.crnTier, r.crn)) << ')';
        if (withResults && r.hasResult && std::isfinite(r.marginWorst))
            out << "  " << local(marginText(rowMargin(r)));
        else if (withResults && !r.failure.isEmpty())
            out << "  failed: " << line(r.failure);
        out << '\n';
    }
}

QString jsonRow(const ListRow& r, bool withResults, const std::optional<Rough>& rough = {})
{
    QString o = QStringLiteral("{\"hash\":%1,\"name\":%2,\"file\":%3,\"format\":%4,\"gear\":%5,\"symmetry\":%6,"
                               "\"mirror\":%7,\"facets\":%8,\"tiers\":%9")
                    .arg(jsonString(r.hash), jsonString(r.name), jsonString(QDir::toNativeSeparators(r.path)),
                         jsonString(r.format))
                    .arg(r.gear)
                    .arg(r.symmetry)
                    .arg(r.mirror ? QStringLiteral("true") : QStringLiteral("false"))
                    .arg(r.facets)
                    .arg(r.tiers);
    o += QStringLiteral(",\"index\":%1,\"pav\":%2,\"crn\":%3,\"lw\":%4")
             .arg(QString::fromStdString(jsonNumber(float(r.ri))), QString::fromStdString(jsonNumber(float(r.pav))),
                  QString::fromStdString(jsonNumber(float(r.crn))), QString::number(r.lw, 'g', 6));
    if (withResults) {
        const auto tier = [](const QString& name, double own) {
            return name.isEmpty() ? QStringLiteral("null")
                                  : QStringLiteral("{\"tier\":%1,\"angle\":%2}")
                                        .arg(jsonString(name), QString::fromStdString(jsonNumber(float(own))));
        };
        if (r.hasResult)
            o += QStringLiteral(",\"result\":{\"search\":%1,\"start_mf\":%2,\"final\":{\"pav\":%3,\"crn\":%4,\"mf\":%5},"
                                "\"tiers\":{\"pav\":%6,\"crn\":%7},\"margin\":%8}")
                     .arg(jsonString(r.search), QString::fromStdString(jsonNumber(r.startMf)),
                          QString::fromStdString(jsonNumber(r.finalPav)), QString::fromStdString(jsonNumber(r.finalCrn)),
                          QString::fromStdString(jsonNumber(r.finalMf)), tier(r.pavTier, r.pav), tier(r.crnTier, r.crn),
                          std::isfinite(r.marginWorst)
                              ? QStringLiteral("{\"tolerance\":%1,\"worst\":%2}")
                                    .arg(QString::fromStdString(jsonNumber(r.marginTol)),
                                         QString::fromStdString(jsonNumber(r.marginWorst)))
                              : QStringLiteral("null"));
        else
            o += QStringLiteral(",\"result\":null");
        if (!r.failure.isEmpty())
            o += QStringLiteral(",\"failed\":%1").arg(jsonString(r.failure));
        o += QStringLiteral(",\"final_proportions\":%1").arg(r.atFinal ? proportionsJson(*r.atFinal) : QStringLiteral("null"));
        if (rough) {
            const auto stone = stoneInRough(r, *rough);
            o += stone ? QStringLiteral(",\"weight_ct\":%1,\"yield_pct\":%2,\"size_mm\":{\"length\":%3,\"width\":%4,\"depth\":%5}")
                             .arg(DecimalText(stone->weight), DecimalText(stone->fit.yieldPercent),
                                  DecimalText(stone->fit.length), DecimalText(stone->fit.width), DecimalText(stone->fit.depth))
                       : QStringLiteral(",\"weight_ct\":null,\"yield_pct\":null");
        }
    }
    o += QStringLiteral(",\"proportions\":%1").arg(r.own ? proportionsJson(*r.own) : QStringLiteral("null"));
    return o + u'}';
}

int listCommand(Library& open, Arguments& a, std::ostream& out)
{
    ListFilter f;
    bool json = false;
    QString material;
    RoughOptions ranking;
    std::optional<double> tolerance;
    while (!a.atEnd()) {
        const QString o = a.take("an option");
        if (ranking.take(o, a))
            continue;
        if (o == QLatin1String("--material"))
            material = a.take("the material after --material");
        else if (o == QLatin1String("--tolerance"))
            tolerance = takeTolerance(a);
        else if (o == QLatin1String("--text"))
            f.text = a.take("the words after --text");
        else if (o == QLatin1String("--gear"))
            f.gear = wholeNumber(a, "the gear after --gear");
        else if (o == QLatin1String("--facets")) {
            const int lo = wholeNumber(a, "the fewest facets"), hi = wholeNumber(a, "the most facets");
            if (lo > hi)
                throw UsageError("--facets takes the fewest facets first, then the most");
            f.facets = std::pair{lo, hi};
        } else if (o == QLatin1String("--lw")) {
            const double lo = a.number("the lowest L/W"), hi = a.number("the highest L/W");
            if (lo > hi)
                throw UsageError("--lw takes the lowest L/W first, then the highest");
            f.lw = std::pair{lo, hi};
        } else if (o == QLatin1String("--json"))
            json = true;
        else
            throw UsageError("unknown option " + local(o));
    }
    if (tolerance && material.isEmpty())
        throw UsageError("--tolerance names the results of a material: give --material NAME too");
    if (!material.isEmpty()) {
        f.key = resultKey(material, {}, false, tolerance);
        ranking.apply(f);
    } else if (ranking.rough || ranking.minMf || ranking.by != QLatin1String("mf")) {
        throw UsageError("--rough, --by and --min-mf rank in a material: give --material NAME");
    }
    const std::vector<ListRow> rows = listDesigns(open(), f);
    if (json) {
        QStringList items;
        for (const ListRow& r : rows)
            items << jsonRow(r, f.key.has_value(), f.rough);
        out << '[' << local(items.join(QStringLiteral(",\n"))) << "]\n";
    } else {
        printRows(rows, f.key.has_value(), out, f.rough);
    }
    return 0;
}

// The one design a command names, by a path or its hash.
std::optional<qint64> takeDesign(Library& open, Arguments& a, const char* command)
{
    const QString which = a.take("the design or its hash");
    if (!a.atEnd())
        throw UsageError(std::string(command) + " takes one design");
    LibraryDb& db = open();
    const auto id = findDesign(db, which);
    if (!id)
        throw ZepError(err::FileNotFound, QStringLiteral("The library %1 holds no design %2.")
                                              .arg(QDir::toNativeSeparators(db.path()), oneLineName(which)));
    return id;
}

int showCommand(Library& open, Arguments& a, std::ostream& out)
{
    const auto id = takeDesign(open, a, "show");
    LibraryDb& db = open();
    const DesignFacts f = designFacts(db, *id);
    out << line(f.name) << '\n' << "hash      " << local(f.hash) << '\n' << "format    " << local(f.format) << '\n';
    for (const QString& p : designPaths(db, *id))
        out << "file      " << line(p) << (fileHash(p) == f.hash ? "" : "  (changed or gone)") << '\n';
    for (const QString& n : f.footnotes.split(u'\n', Qt::SkipEmptyParts))
        out << "footnote  " << line(n) << '\n';
    out << "gear " << f.gear << ", symmetry " << f.symmetry << (f.mirror ? ", mirror" : "") << "; " << f.facets
        << " facets in " << f.tiers << " tiers; index " << merit(f.ri) << "; pavilion " << angle(f.pav) << ", crown "
        << angle(f.crn) << "; L/W " << QString::number(f.lw, 'f', 3).toStdString() << '\n';
    if (f.proportions)
        out << "own       " << local(proportionsText(*f.proportions)) << '\n';
    const QString tracer = QString::fromLatin1(gemray::kTracerVersion);
    for (const StoredResult& r : designResults(db, *id)) {
        out << "result    " << local(r.key.material) << " (index " << merit(r.key.ri) << "), " << local(storedSearch(r.key))
            << ", targets " << local(r.key.targets.left(12)) << (r.key.tracer == tracer ? "" : ", an older ray tracer")
            << ": ";
        if (r.error.isEmpty())
            out << "start " << angle(r.startPav) << ' ' << angle(r.startCrn) << ' ' << merit(r.startMf) << ", final "
                << angle(r.finalPav) << ' ' << angle(r.finalCrn) << ' ' << merit(r.finalMf) << "; " << r.evaluations
                << " evaluations, " << QString::number(r.seconds, 'f', 2).toStdString() << " s, " << local(r.date)
                << (r.pavTier.isEmpty() ? std::string()
                                        : "; tiers " + line(tierLabel(r.pavTier, f.pav)) + ", " + line(tierLabel(r.crnTier, f.crn)))
                << (r.notes.isEmpty() ? "" : "; ") << line(r.notes)
                << (r.proportions ? "; " + local(proportionsText(*r.proportions)) : std::string())
                << (std::isfinite(r.marginWorst)
                        ? "; " + local(marginText(Margin{r.marginTol, r.finalMf, r.marginWorst, r.marginPav, r.marginCrn}))
                              // where a miss costs most: the way not to err at the wheel
                              + (std::isfinite(r.marginPav) && std::isfinite(r.marginCrn)
                                     ? ", worst at " + angle(r.marginPav) + ' ' + angle(r.marginCrn)
                                     : std::string())
                        : std::string())
                << '\n';
        else
            out << "failed: " << line(r.error) << ", " << local(r.date) << '\n';
    }
    return 0;
}

int removeCommand(Library& open, Arguments& a, std::ostream& out)
{
    const auto id = takeDesign(open, a, "remove");
    LibraryDb& db = open();
    const DesignFacts f = designFacts(db, *id);
    removeDesign(db, *id);
    out << "removed " << line(f.name) << " (" << local(f.hash.left(12)) << "); its files stay\n";
    return 0;
}

void writeTable(const QString& csv, const QString& table, std::ostream& out)
{
    try {
        writeFilesTogether({{csv, table.toUtf8()}});
    } catch (const ZepError& e) {
        out << local(table);
        throw ZepError(e.number(), e.messageFor(QStringLiteral("zeptool")) + QStringLiteral(" The table above holds every row."));
    }
    out << "wrote " << line(csv) << '\n';
}

int exportCommand(Library& open, Arguments& a, std::ostream& out)
{
    QString csv, material;
    while (!a.atEnd()) {
        const QString o = a.take("an option");
        if (o == QLatin1String("--csv"))
            csv = a.take("the CSV file's name after --csv");
        else if (o == QLatin1String("--material"))
            material = a.take("the material after --material");
        else
            throw UsageError("unknown option " + local(o));
    }
    if (csv.isEmpty())
        throw UsageError("name the table with --csv OUT");
    ListFilter f;
    if (!material.isEmpty())
        f.key = resultKey(material, {}, false);
    LibraryDb& db = open();
    checkTableFile(db, csv, {});
    removeDeadTemporaries(QFileInfo(csv).absolutePath());
    writeTable(csv, designTable(listDesigns(db, f), f.key.has_value()), out);
    return 0;
}

// The missing jobs as command lines for another engine, as zeptool study
// --jobs writes them; collect files what they print.
int writeJobs(LibraryDb& db, const Ranking::Options& options, const QString& jobsFile, std::ostream& out)
{
    for (const QString& word : {options.programs.zeptool, options.targetsFile})
        if (holdsControl(word))
            throw UsageError("\"" + line(word) + "\" holds a control character: no job may carry one (rename it)");
    QStringList paths;
    for (const qint64 design : missingDesigns(db, options.key)) {
        const QString path = currentPath(db, design);
        if (path.isEmpty())
            std::cerr << "skipped " << line(designFacts(db, design).name) << ": none of its files holds it any more\n";
        else if (holdsControl(path))
            std::cerr << "skipped " << line(path) << ": a line of jobs cannot carry a name with a control character\n";
        else
            paths << path;
    }
    QString lines;
    for (qsizetype k = 0; k < paths.size(); ++k) {
        QStringList words{shellWord(options.programs.zeptool)};
        for (const QString& a : jobArguments(paths[k], options.key, options.targetsFile)
                                    + QStringList{QStringLiteral("--job"), QStringLiteral("%1/%2").arg(k + 1).arg(paths.size())})
            words << shellWord(a);
        lines += words.join(u' ') + u'\n';
    }
    writeFilesTogether({{jobsFile, lines.toUtf8()}});
    out << paths.size() << " jobs; wrote " << line(jobsFile) << '\n';
    return 0;
}

// Files the results that the lines of `rank --jobs` printed, gathered in one
// file in any order: each by its design's path, when that file still holds
// the design, with the key the job itself reported.
int collectCommand(Library& open, Arguments& a, std::ostream& out)
{
    const QString results = a.take("the file of the jobs' results");
    if (!a.atEnd())
        throw UsageError("collect takes one file of results");
    LibraryDb& db = open();
    int filed = 0, failed = 0, unknown = 0;
    for (const StudyJob& job : collectedJobs(results)) {
        const QJsonObject& r = job.result;
        const auto design = findDesign(db, job.design);
        const QString why =
            !job.error.isEmpty() ? job.error
            : !design || fileHash(job.design) != designFacts(db, *design).hash
                ? QStringLiteral("the library holds no design with these bytes")
            : r.value(QStringLiteral("limits")).toString() != QLatin1String(DerivedLimits)
                ? QStringLiteral("the job was given its own angles or limits")
                : QString();
        if (!why.isEmpty()) {
            ++(job.error.isEmpty() ? unknown : failed);
            out << "not filed " << line(job.design) << " in " << line(job.material) << ": " << line(why) << '\n';
            continue;
        }
        ResultKey key = resultKey(job.material, {}, false);
        key.ri = r.value(QStringLiteral("index")).toDouble();
        key.disp = r.value(QStringLiteral("dispersion")).toDouble();
        key.targets = r.value(QStringLiteral("targets")).toString();
        key.search = r.value(QStringLiteral("search")).toString();
        if (r.value(QStringLiteral("tolerance")).isDouble())
            key.tolerance = float(r.value(QStringLiteral("tolerance")).toDouble());
        key.tracer = r.value(QStringLiteral("tracer")).toString();
        // A design removed meanwhile takes no result.
        ++(storeResult(db, *design, resultFromJson(r, key)) ? filed : unknown);
    }
    out << filed << " results filed, " << failed << " jobs failed, " << unknown << " not filed; library "
        << line(db.path()) << '\n';
    return failed + unknown == 0 ? 0 : 1;
}

int rankCommand(Library& open, Arguments& a, std::ostream& out)
{
    QString material, targets, csv, jobsFile;
    bool global = false;
    RoughOptions byRough;
    std::optional<double> tolerance;
    int parallel = QThread::idealThreadCount();
    while (!a.atEnd()) {
        const QString o = a.take("an option");
        if (byRough.take(o, a))
            continue;
        if (o == QLatin1String("--material"))
            material = a.take("the material after --material");
        else if (o == QLatin1String("--targets"))
            targets = a.take("the targets file after --targets");
        else if (o == QLatin1String("--global"))
            global = true;
        else if (o == QLatin1String("--tolerance"))
            tolerance = takeTolerance(a);
        else if (o == QLatin1String("-j")) {
            parallel = wholeNumber(a, "the number of jobs at a time after -j");
            if (parallel < 1 || parallel > 256)
                throw UsageError("-j takes a whole number from 1 to 256");
        } else if (o == QLatin1String("--csv"))
            csv = a.take("the CSV file's name after --csv");
        else if (o == QLatin1String("--jobs"))
            jobsFile = a.take("the file of command lines after --jobs");
        else
            throw UsageError("unknown option " + local(o));
    }
    if (material.isEmpty())
        throw UsageError("name the material with --material NAME");
    if (!csv.isEmpty() && !jobsFile.isEmpty())
        throw UsageError("--jobs writes the jobs, --csv the ranking of jobs run here: give one");
    const QString targetsFile = targets.isEmpty() ? targets : QFileInfo(targets).absoluteFilePath();
    Ranking::Options options;
    options.key = resultKey(material, targetsFile, global, tolerance);
    ListFilter f;
    f.key = options.key;
    byRough.apply(f); // before any job: a bad --by is refused at once
    LibraryDb& db = open();
    for (const QString& output : {csv, jobsFile}) {
        if (output.isEmpty())
            continue;
        checkTableFile(db, output, {targets});
        removeDeadTemporaries(QFileInfo(output).absolutePath());
    }
    options.targetsFile = targetsFile;
    options.parallel = parallel;
    options.programs = programsIn(QCoreApplication::applicationDirPath());
    if (!jobsFile.isEmpty())
        return writeJobs(db, options, jobsFile, out);
    Ranking ranking(db, options);
    QEventLoop loop;
    QObject::connect(&ranking, &Ranking::finished, &loop, &QEventLoop::quit);
    QObject::connect(&ranking, &Ranking::jobEnded, [&](qint64 design, const QString& said) {
        std::cerr << '[' << ranking.done() << '/' << ranking.total() << "] " << line(designFacts(db, design).name)
                  << ": " << line(said) << "; " << local(Ranking::timeText(ranking.secondsLeft())) << " left" << std::endl;
    });
    ranking.start();
    if (!ranking.isFinished())
        loop.exec();
    const std::vector<ListRow> rows = listDesigns(db, f);
    printRows(rows, true, out, f.rough);
    out << ranking.total() << " jobs, " << ranking.failed() << " failed";
    if (ranking.notStones())
        out << ", " << ranking.notStones() << " not stones to optimize";
    if (ranking.leftToOthers())
        out << ", " << ranking.leftToOthers() << " left to another ranking";
    out << "; library " << line(db.path()) << '\n';
    if (!csv.isEmpty())
        writeTable(csv, designTable(rows, true, f.rough), out);
    return ranking.failed() == 0 ? 0 : 1;
}

} // namespace

int libraryCommand(Arguments& args, std::ostream& out)
{
    const QString sub = args.take("the library command (add, list, rank, collect, show, remove, export)");
    Words w = takeDb(args);
    Arguments rest(w.rest);
    int (*run)(Library&, Arguments&, std::ostream&) = nullptr;
    if (sub == QLatin1String("add"))
        run = addCommand;
    else if (sub == QLatin1String("list"))
        run = listCommand;
    else if (sub == QLatin1String("rank"))
        run = rankCommand;
    else if (sub == QLatin1String("collect"))
        run = collectCommand;
    else if (sub == QLatin1String("show"))
        run = showCommand;
    else if (sub == QLatin1String("remove"))
        run = removeCommand;
    else if (sub == QLatin1String("export"))
        run = exportCommand;
    else
        throw UsageError("unknown library command \"" + local(sub) + "\"");
    // The default library's folder is made when missing; a named one's is not.
    Library library(w.db, w.db == defaultLibraryPath(), run == addCommand);
    return run(library, rest, out);
}

} // namespace zep::tool
