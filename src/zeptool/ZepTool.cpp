#include "zeptool/ZepTool.h"
#include "study/Jobs.h"
#include "zeptool/LibraryCommand.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "recut/CuttingList.h"
#include "recut/Diagram.h"
#include "recut/Proportions.h"
#include "recut/Recut.h"
#include "design/Materials.h"
#include "study/JobOptions.h"

#include <string>
#include <string_view>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace zep::tool {

namespace {

// A half that is not re-cut keeps its angle: any angle inside 0 to 90 stands
// for "unchanged" when old and new are the same.
constexpr double kUnchanged = 45;

std::string padded(const std::string& s, std::size_t width) { return s + std::string(width - s.size(), ' '); }

// The cutting list as an aligned table: name, side, angle (and the angle
// before the re-cut), distance, index positions, instructions.
void printList(const gemray::GemDesign& d, const gemray::GemDesign& original, bool was, std::ostream& out)
{
    out << d.headers[0] << '\n';
    out << "gear " << d.gear << ", offset " << local(NumText(d.gearOffset).trimmed()) << ", symmetry " << d.symmetry
        << (d.mirror ? ", mirror" : "") << "; refractive index " << local(NumText(d.refractiveIndex).trimmed())
        << '\n';
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> head{"name", "side", "angle"};
    if (was)
        head.push_back("was");
    head.insert(head.end(), {"distance", "index", "instructions"});
    table.push_back(head);
    for (const CutRow& r : cutRows(d, original)) {
        std::vector<std::string> row{r.name, r.side, ascNumber(r.angle, 6)};
        if (was)
            row.push_back(ascNumber(r.was, 6));
        row.insert(row.end(), {ascNumber(r.distance, 8), r.index, r.instructions});
        table.push_back(row);
    }
    std::vector<std::size_t> width(head.size(), 0);
    for (const auto& row : table)
        for (std::size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    for (const auto& row : table) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? padded(row[c], width[c] + 2) : row[c];
        out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
    }
}

// What the stone's size and weight are asked with: --width MM, and the density
// of --material NAME or --density G.
struct SizeOptions {
    std::optional<double> width, density;
    QString material;

    bool take(const QString& option, Arguments& args)
    {
        if (option == QLatin1String("--width"))
            width = args.size("the width after --width (mm)", kMaxRoughMm);
        else if (option == QLatin1String("--density"))
            density = args.size("the density after --density (g/cm3)", kMaxDensity);
        else if (option == QLatin1String("--material"))
            material = args.take("the material after --material");
        else
            return false;
        return true;
    }

    // Checks what was given together; takes the material's density.
    void finish()
    {
        if (!material.isEmpty()) {
            if (density)
                throw UsageError("give either --material or --density, not both");
            const MaterialTable table = MaterialTable::standard();
            const auto found = std::find_if(table.Mat.begin(), table.Mat.end(), [&](const QString& m) {
                return m.compare(material, Qt::CaseInsensitive) == 0;
            });
            if (found == table.Mat.end())
                throw UsageError("unknown material \"" + local(material) + "\" (the materials are "
                                 + local(table.Mat.join(u", ")) + ")");
            material = *found;
            density = table.densityOf(material);
        }
        if (density && !width)
            throw UsageError("a weight needs the stone's width: give --width MM");
    }

    // The stone's lines below the printed list.
    void print(const Proportions& p, std::ostream& out) const
    {
        out << "proportions  " << local(proportionsText(p)) << '\n';
        if (width)
            out << "stone        " << local(sizeText(p, *width, density))
                << (material.isEmpty() ? std::string() : " in " + local(material)) << '\n';
    }

    // The same as JSON members.
    std::string json(const Proportions& p) const
    {
        std::string s = ",\"proportions\":" + local(proportionsJson(p));
        if (width) {
            const double k = *width / p.width;
            s += ",\"size_mm\":{\"length\":" + local(DecimalText(p.length * k)) + ",\"width\":"
                 + local(DecimalText(*width)) + ",\"depth\":" + local(DecimalText(p.depth * k)) + "}";
            if (density)
                s += ",\"density\":" + local(DecimalText(*density)) + ",\"weight_ct\":"
                     + local(DecimalText(caratWeight(p.vw3, *width, *density)));
        }
        return s;
    }
};

void takeAngles(Arguments& args, double& oldAngle, double& newAngle, const char* half)
{
    const std::string h(half);
    oldAngle = args.number(("the old " + h + " angle").c_str());
    newAngle = args.number(("the new " + h + " angle").c_str());
}

// The main tiers of a design as JSON: {"pav":{"tier":"2","angle":41.5},"crn":{...}}.
std::string tiersJson(const gemray::GemDesign& d)
{
    const MainAngles m = mainAngles(d);
    const auto tier = [](const std::string& name, double angle) {
        return "{\"tier\":" + local(jsonString(QString::fromStdString(name))) + ",\"angle\":"
               + local(DecimalText(angle)) + "}";
    };
    return "{\"pav\":" + tier(m.pavilionTier, m.pavilion) + ",\"crn\":" + tier(m.crownTier, m.crown) + "}";
}

int anglesCommand(Arguments& args, std::ostream& out)
{
    const QString design = args.take("the design file");
    bool asc = false, json = false;
    RecutAngles angles{kUnchanged, kUnchanged, kUnchanged, kUnchanged};
    SizeOptions size;
    while (!args.atEnd()) {
        const QString option = args.option("an option");
        if (option == QLatin1String("--asc"))
            asc = true;
        else if (option == QLatin1String("--json"))
            json = true;
        else if (option == QLatin1String("--pav"))
            takeAngles(args, angles.oldPav, angles.newPav, "pavilion");
        else if (option == QLatin1String("--crn"))
            takeAngles(args, angles.oldCrn, angles.newCrn, "crown");
        else if (!size.take(option, args))
            throw UsageError("unknown option " + local(option));
    }
    if (asc && json)
        throw UsageError("give either --asc or --json, not both");
    size.finish();
    const gemray::GemDesign original = loadDesign(design);
    const gemray::GemDesign d = angles.changes() ? recutDesign(original, angles) : original;
    if (asc) {
        out << ascText(d).toStdString();
        return 0;
    }
    const Proportions p = proportionsOf(d);
    if (json) {
        out << "{\"design\":" << local(jsonString(QDir::toNativeSeparators(design))) << ",\"tiers\":" << tiersJson(d)
            << size.json(p) << "}\n";
        return 0;
    }
    printList(d, original, angles.changes(), out);
    size.print(p, out);
    return 0;
}

int recutCommand(Arguments& args, std::ostream& out)
{
    const QString design = args.take("the design file");
    RecutAngles angles{kUnchanged, kUnchanged, kUnchanged, kUnchanged};
    bool pav = false, crn = false;
    QString gem, asc, pdf;
    SizeOptions size;
    while (!args.atEnd()) {
        const QString option = args.option("an option");
        if (option == QLatin1String("--pav")) {
            takeAngles(args, angles.oldPav, angles.newPav, "pavilion");
            pav = true;
        } else if (option == QLatin1String("--crn")) {
            takeAngles(args, angles.oldCrn, angles.newCrn, "crown");
            crn = true;
        } else if (option == QLatin1String("-o")) {
            gem = args.take("the re-cut design's name after -o");
        } else if (option == QLatin1String("--asc")) {
            asc = args.take("the text file's name after --asc");
        } else if (option == QLatin1String("--pdf")) {
            pdf = args.take("the diagram's name after --pdf");
        } else if (!size.take(option, args)) {
            throw UsageError("unknown option " + local(option));
        }
    }
    if (gem.isEmpty())
        throw UsageError("name the re-cut design with -o OUT.gem");
    if (!pav && !crn)
        throw UsageError("give the angles to change with --pav OLD NEW, --crn OLD NEW or both");
    size.finish();
    QStringList outputs;
    for (const QString& name : {gem, asc, pdf})
        if (!name.isEmpty())
            outputs << name;
    checkOutputs(outputs, {design});

    const gemray::GemDesign original = loadDesign(design);
    DiagramInput diagram{original, recutDesign(original, angles), angles, QFileInfo(design).fileName(), QString(), QString()};
    const Proportions proportions = proportionsOf(diagram.recut);
    if (size.width)
        diagram.stone = QStringLiteral("Stone ") + sizeText(proportions, *size.width, size.density)
                        + (size.material.isEmpty() ? QString() : QStringLiteral(" in ") + size.material);
    QList<QPair<QString, QByteArray>> files{{gem, gemBytes(diagram.recut)}};
    if (!asc.isEmpty())
        files.append({asc, ascText(diagram.recut)});
    if (!pdf.isEmpty())
        files.append({pdf, diagramPdf(diagram)});
    writeFilesTogether(files);

    printList(diagram.recut, original, true, out);
    size.print(proportions, out);
    for (const auto& f : files)
        out << "wrote " << local(QDir::toNativeSeparators(f.first)) << '\n';
    return 0;
}

// A design in the other format: GemCAD text from a .GEM file and back, as the
// output's extension says.
int convertCommand(Arguments& args, std::ostream& out)
{
    const QString design = args.take("the design file");
    QString target;
    while (!args.atEnd()) {
        const QString option = args.option("an option");
        if (option != QLatin1String("-o"))
            throw UsageError("unknown option " + local(option));
        target = args.take("the converted design's name after -o");
    }
    if (target.isEmpty())
        throw UsageError("name the converted design with -o OUT.gem or -o OUT.asc");
    const QString kind = QFileInfo(target).suffix().toLower();
    if (kind != QLatin1String("gem") && kind != QLatin1String("asc"))
        throw UsageError("\"" + local(target) + "\" must end in .gem or .asc");
    checkOutputs({target}, {design});
    const gemray::GemDesign d = loadDesign(design);
    writeFilesTogether({{target, kind == QLatin1String("gem") ? gemBytes(d) : ascText(d)}});
    out << "wrote " << local(QDir::toNativeSeparators(target)) << '\n';
    return 0;
}

void printUsage(std::ostream& out)
{
    out << "usage:\n";
    for (const Subcommand& s : subcommands())
        out << "  zeptool " << s.name << ' ' << s.usage << "\n      " << s.summary << '\n';
}

} // namespace

const std::vector<Subcommand>& subcommands()
{
    // The options of a job, which optimize and map share.
    static const std::string jobLines =
        "  --old PAV CRN            the design's angles the change starts from (default: its own\n"
        "                           angles, the pavilion tier at the culet or keel and the crown tier\n"
        "                           at the table, of most area; derived limits widen to hold them)\n"
        "  --start PAV CRN          where the search starts (default: the old angles)\n"
        "  --material NAME          a material of the table (its index and dispersion)\n"
        "  --ri N [--disp D]        an index above 1, at most 10, and a dispersion 0 to 1, instead\n"
        "  --pav-limits MIN MAX     the pavilion's limits (default: from the critical angle)\n"
        "  --crn-limits MIN MAX     the crown's limits (default: the old crown +-10, within 5 to 60)\n"
        "  --targets FILE           a targets file saved by the targets dialog (default: ISO and\n"
        "                           illumination, weight 1 each)\n";
    static const std::string optimizeLines =
        jobLines
        + "  --steps P C              the first steps (default: a tenth of each range)\n"
          "  --fix-pav, --fix-crn     keep that angle\n"
          "  --global                 the global search (a grid, then climbs from its peaks)\n"
          "  --tolerance T            search for the angles whose worst merit function within +-T\n"
          "                           degrees is highest (0 to 1); without it the margin is at 0.10\n"
          "  --json                   one JSON object instead of the table\n"
          "  --job K/N                with --json: the job's number among N, in the object\n"
          "  --recut OUT.gem          also write the design re-cut to the result\n"
          "  --width MM               the optimized stone's sizes in mm at that width, and its weight\n"
          "  --density G              with --ri: a density (specific gravity) for the weight\n";
    static const std::string mapLines = jobLines
                                        + "  -o OUT.MFM               the map file, as the mapper's Load opens it\n"
                                          "  --png OUT.png            also a picture of the map with its axes and scale\n";
    static const std::vector<Subcommand> table{
        {"angles", "DESIGN [--pav OLD NEW] [--crn OLD NEW] [--asc | --json] [--width MM [--material NAME | --density G]]",
         "prints the design's cutting list and proportions (--asc: as GemCAD's text export)", anglesCommand,
         "  --pav OLD NEW            the proportions with the pavilion tier OLD at NEW degrees\n"
         "  --crn OLD NEW            the proportions with the crown tier OLD at NEW degrees\n"
         "  --asc                    print GemCAD's text export instead of the table\n"
         "  --json                   the tiers and proportions as one JSON object\n"
         "  --width MM               the stone's sizes in mm at that width, and its weight\n"
         "  --material NAME          the material whose density gives the weight\n"
         "  --density G              a density (specific gravity) instead\n"},
        {"recut", "DESIGN [--pav OLD NEW] [--crn OLD NEW] -o OUT.gem [--asc OUT.asc] [--pdf OUT.pdf] "
                  "[--width MM [--material NAME | --density G]]",
         "writes the design re-cut to new angles, its text and its cutting diagram", recutCommand,
         "  --pav OLD NEW            change the pavilion tier OLD to NEW degrees\n"
         "  --crn OLD NEW            change the crown tier OLD to NEW degrees\n"
         "  -o OUT.gem               the re-cut design\n"
         "  --asc OUT.asc            also its text export\n"
         "  --pdf OUT.pdf            also its cutting diagram\n"
         "  --width MM               the stone's sizes in mm at that width, and its weight\n"
         "  --material NAME          the material whose density gives the weight\n"
         "  --density G              a density (specific gravity) instead\n"},
        {"convert", "DESIGN -o OUT.gem|OUT.asc",
         "writes the design as a .GEM file or as GemCAD's text export (.asc)", convertCommand,
         "  -o OUT.gem|OUT.asc       the design in the format its extension names\n"},
        {"optimize", OptimizeUsage, "optimizes the pavilion and crown angles as ZEP's optimizer does", optimizeCommand,
         optimizeLines.c_str()},
        {"map", MapUsage, "maps the merit function over the angle limits into a ZEP map file", mapCommand,
         mapLines.c_str()},
        {"study", StudyUsage, "optimizes every design in every material, several jobs at a time, into CSV",
         studyCommand,
         "  DESIGN[@PAV,CRN]         a design, with its old angles after @ (default: its main tiers)\n"
         "  --materials NAME,...     the materials to study each design in\n"
         "  -j N                     jobs at a time (default: one per core)\n"
         "  --csv OUT.csv            the table of results (default: the standard output)\n"
         "  --jobs FILE              write the jobs as command lines instead of running them\n"
         "  --targets FILE           a targets file saved by the targets dialog (default: ISO and\n"
         "                           illumination, weight 1 each)\n"
         "  --pav-limits MIN MAX     the pavilion's limits of every job\n"
         "  --crn-limits MIN MAX     the crown's limits of every job\n"
         "  --global                 the global search instead of the climb\n"
         "  --tolerance T            every job robust at a cutting tolerance of T degrees (0 to 1)\n"
         "  --collect RESULTS        gather the JSON results of jobs run elsewhere into the table\n"},
        {"library", LibraryUsage, "keeps a library of designs and ranks them by their optimized merit function",
         libraryCommand,
         "  add PATH...              add the designs of files and folders\n"
         "  list                     the designs, sorted by name (with --material: best first)\n"
         "  --material NAME          list, rank, export: the material whose results are meant\n"
         "  --text WORDS             list: words each found in the name, footnotes or a path\n"
         "  --gear N                 list: designs of that gear\n"
         "  --facets MIN MAX         list: designs with that many facets\n"
         "  --lw MIN MAX             list: designs of that length to width\n"
         "  --rough L W H            list, rank: the weight and yield from a rough of those sizes (mm)\n"
         "  --by mf|weight|yield     list, rank: the order (default mf)\n"
         "  --min-mf X               list, rank: only designs at or above that merit function\n"
         "  --json                   list: as JSON\n"
         "  rank                     compute the missing results of --material NAME\n"
         "  --targets FILE           rank: a targets file (default: ISO and illumination)\n"
         "  --global                 rank: the global search instead of the climb\n"
         "  --tolerance T            list, rank: the results robust at a tolerance of T degrees\n"
         "  -j N                     rank: jobs at a time (default: one per core)\n"
         "  --csv OUT.csv            rank: the results as CSV; export: the table of designs\n"
         "  --jobs FILE              rank: write the jobs as command lines to run elsewhere\n"
         "  collect RESULTS          take in the JSON results of jobs run elsewhere\n"
         "  show DESIGN-OR-HASH      a design's facts, files and results\n"
         "  remove DESIGN-OR-HASH    forget a design\n"
         "  export                   the table of designs, with --csv OUT\n"
         "  --db FILE                the library (default: the Design Library's own)\n"},
        {"movie", MovieUsage, "raytraces a tilt movie of the design (a rock or an orbit) into an animated GIF or WebP",
         movieCommand,
         "  --angles PAV CRN         the angles to trace (default: the design's main tiers)\n"
         "  --material NAME          a material of the table (colour needs an index)\n"
         "  --ri N [--disp D]        an index and a dispersion, instead\n"
         "  --rock DIR               rock towards direction DIR, 1 to 8\n"
         "  --orbit                  tilt the stone round a full circle\n"
         "  --tilt T                 the tilt in degrees, above 0, at most 89.9\n"
         "  --frames N               frames, 2 to 120 (default 24)\n"
         "  --image KIND             random, cos, iso or colour (default random)\n"
         "  --scale K                K x K pixels a pixel of the picture (default 2)\n"
         "  -j N                     frames traced at a time (default: one per core)\n"
         "  -o OUT.gif|OUT.webp      the animated GIF or WebP\n"
         "  --csv FRAMES.csv         also a table of the frames' tilts and brightness\n"},
    };
    return table;
}

int runTool(const QStringList& args, std::ostream& out, std::ostream& err)
{
    if (args.isEmpty()) {
        printUsage(err);
        return 2;
    }
    const QString name = args.first();
    if (name == QLatin1String("help") || name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printUsage(out);
        return 0;
    }
    const auto& table = subcommands();
    const auto sub = std::find_if(table.begin(), table.end(),
                                  [&](const Subcommand& s) { return name == QLatin1String(s.name); });
    if (sub == table.end()) {
        err << "zeptool: unknown command \"" << local(name) << "\"\n";
        printUsage(err);
        return 2;
    }
    // "--help" anywhere after the command asks for its usage, not for a design of that name.
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << "usage: zeptool " << sub->name << ' ' << sub->usage << "\n\n" << sub->summary << "\n\n"
            << sub->options << "  -h, --help               show this text\n";
        return 0;
    }
    try {
        Arguments rest(args.mid(1));
        return sub->run(rest, out);
    } catch (const UsageError& e) {
        // A refused value is its one line; an option the command does not
        // know is answered with the options it knows.
        err << "zeptool " << sub->name << ": " << e.what() << '\n';
        if (std::string_view(e.what()).starts_with("unknown "))
            err << "usage: zeptool " << sub->name << ' ' << sub->usage << '\n';
        return 2;
    } catch (const std::exception& e) {
        err << "zeptool " << sub->name << ": " << failureText(e) << '\n';
        return 1;
    }
}

} // namespace zep::tool
