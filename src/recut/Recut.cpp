#include "recut/Recut.h"
#include "recut/CuttingList.h"
#include "raytracer/AscFile.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "raytracer/DesignCheck.h"
#include "raytracer/Stone.h"

#include <QDir>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace zep {

namespace {

using gemray::FacetKind;
using gemray::GemDesign;

// An old angle names a tier of the design when it lies this close to it: the
// design file dialog lists angles to two decimals.
constexpr double kTierMatch = 0.01;
const std::string kNotePrefix = "Re-cut by ZEP:";

QString angleText(double a) { return NumText(a).trimmed(); }

void checkRange(double angle, const char* which)
{
    if (!(angle > 0 && angle < 90))
        throw ZepError(err::InvalidCall, QStringLiteral("The %1 angle %2 must lie between 0 and 90 degrees.")
                                             .arg(QLatin1String(which), angleText(angle)));
}

void checkTier(const GemDesign& design, double oldAngle, FacetKind kind, const char* half)
{
    QStringList found;
    for (const CutGroup& g : cuttingList(design)) {
        if (g.kind != kind || g.angle == 0)
            continue;
        if (std::fabs(g.cuttingAngle() - oldAngle) <= kTierMatch)
            return;
        const QString a = Format(g.cuttingAngle(), u"##.00");
        if (!found.contains(a))
            found << a;
    }
    if (found.isEmpty())
        throw ZepError(err::InvalidCall,
                       QStringLiteral("The design has no %1 facets to re-cut.").arg(QLatin1String(half)));
    throw ZepError(err::InvalidCall, QStringLiteral("The design has no %1 tier at %2 degrees; its %1 angles are %3.")
                                         .arg(QLatin1String(half), angleText(oldAngle), found.join(u", ")));
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// The note goes where an earlier note stands, else on the first blank header
// line after the title, else on the first blank footnote, else on the last
// header line.
void placeNote(GemDesign& d, const std::string& note)
{
    std::vector<std::string*> lines;
    for (auto& h : d.headers)
        lines.push_back(&h);
    for (auto& f : d.footnotes)
        lines.push_back(&f);
    for (std::string* s : lines)
        if (s->rfind(kNotePrefix, 0) == 0) {
            *s = note;
            return;
        }
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (blank(*lines[i])) {
            *lines[i] = note;
            return;
        }
    d.headers.back() = note;
}

// A re-cut must read back as the stone it is meant to be: every facet on its
// side (a pavilion tier flattened past the girdle would be read as crown), and
// a closed stone whose corners lie on their planes.
void checkReadsBack(const GemDesign& design, const GemDesign& recut, const RecutAngles& a)
{
    const auto refuse = [&](const QString& why) {
        throw ZepError(err::InvalidCall, QStringLiteral("The re-cut to %1 is not a sound stone: %2.")
                                             .arg(describeChange(a, QStringLiteral(" degrees")), why));
    };
    const QByteArray bytes = gemBytes(recut);
    GemDesign back;
    // A design that is no closed stone to begin with (a pavilion alone) is
    // only held to its facets' sides.
    bool closed = true;
    try {
        gemray::checkStone(design, "the design");
    } catch (const gemray::GemFileError&) {
        closed = false;
    }
    try {
        back = gemray::parseGem({reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
                                "the re-cut design");
        if (closed)
            gemray::checkStone(back, "the re-cut design");
    } catch (const gemray::GemFileError& e) {
        refuse(QString::fromStdString(e.what()));
    }
    for (std::size_t i = 0; i < design.facets.size(); ++i)
        if (gemray::classifyNormal(gemray::normalized(back.facets[i].abc))
            != gemray::classifyNormal(gemray::normalized(design.facets[i].abc)))
            refuse(QStringLiteral("facet %1 would change sides").arg(i + 1));
}

} // namespace

double singleAsDecimal(float x)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    double d = 0;
    std::from_chars(buf, r.ptr, d);
    return d;
}

GemDesign loadDesign(const QString& path)
{
    if (fileLength(path) > qint64(gemray::kMaxDesignBytes)) // designs are a few kilobytes
        throw ZepError(err::InvalidCall,
                       QStringLiteral("%1 is too large to be a GemCAD design.").arg(QDir::toNativeSeparators(path)));
    const QByteArray bytes = readNamedFile(path, QStringLiteral("design"));
    const std::string label = QDir::toNativeSeparators(path).toStdString();
    try {
        gemray::GemDesign design =
            gemray::parseDesign({reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())}, label);
        // As the ray tracer will check its working copy, named for the user.
        gemray::checkStone(design, label);
        return design;
    } catch (const gemray::GemFileError& e) {
        QString why = QString::fromStdString(e.what());
        why[0] = why[0].toUpper();
        throw ZepError(err::InvalidCall, why + u'.');
    }
}

void checkRecutAngles(const GemDesign& design, const RecutAngles& a)
{
    checkRange(a.oldPav, "old pavilion");
    checkRange(a.newPav, "new pavilion");
    checkRange(a.oldCrn, "old crown");
    checkRange(a.newCrn, "new crown");
    if (a.oldPav != a.newPav)
        checkTier(design, a.oldPav, FacetKind::Pavilion, "pavilion");
    if (a.oldCrn != a.newCrn)
        checkTier(design, a.oldCrn, FacetKind::Crown, "crown");
}

void checkOldTiers(const GemDesign& design, double oldPav, double oldCrn)
{
    checkTier(design, oldPav, FacetKind::Pavilion, "pavilion");
    checkTier(design, oldCrn, FacetKind::Crown, "crown");
}

std::string recutNote(const RecutAngles& a)
{
    return kNotePrefix + " " + describeChange(a, QString()).toStdString();
}

QString describeChange(const RecutAngles& a, const QString& unit)
{
    QStringList parts;
    auto text = [&unit](double x) { return Format(x, u"##.00") + unit; };
    if (a.oldPav != a.newPav)
        parts << QStringLiteral("pavilion ") + text(a.oldPav) + QStringLiteral(" to ") + text(a.newPav);
    if (a.oldCrn != a.newCrn)
        parts << QStringLiteral("crown ") + text(a.oldCrn) + QStringLiteral(" to ") + text(a.newCrn);
    return parts.isEmpty() ? QStringLiteral("at its own angles") : parts.join(QStringLiteral(", "));
}

GemDesign recutDesign(const GemDesign& design, const RecutAngles& a)
{
    checkRecutAngles(design, a);
    const gemray::Stone before(design);
    gemray::Stone after;
    try {
        after = gemray::stoneAtAngles(design, a.oldPav, a.newPav, a.oldCrn, a.newCrn);
    } catch (const std::runtime_error& e) {
        throw ZepError(err::InvalidCall,
                       QStringLiteral("The design cannot be re-cut: %1.").arg(QString::fromStdString(e.what())));
    }
    GemDesign out = design;
    for (std::size_t i = 0; i < out.facets.size(); ++i) {
        const gemray::Facet& was = before.facets()[i];
        const gemray::Facet& now = after.facets()[i];
        // A plane the change leaves alone keeps its stored coefficients bit for bit.
        if (now.normal != was.normal || now.distance != was.distance)
            out.facets[i].abc = now.normal * (1.0 / now.distance);
        out.facets[i].vertices = now.vertices;
    }
    placeNote(out, recutNote(a));
    checkReadsBack(design, out, a);
    return out;
}

QByteArray gemBytes(const GemDesign& design)
{
    // Texts hold no control characters; a facet's tab parts its name from its
    // instructions.
    GemDesign plain = design;
    for (auto* lines : {&plain.headers, &plain.footnotes})
        for (std::string& line : *lines)
            line = blankControls(line);
    for (gemray::GemFacet& f : plain.facets)
        f.text = blankControls(f.text, '\t');
    try {
        const std::vector<std::uint8_t> bytes = gemray::serializeGem(plain);
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    } catch (const std::invalid_argument&) {
        throw ZepError(err::InvalidCall, QStringLiteral("A text of the design is longer than 255 bytes."));
    }
}

} // namespace zep
