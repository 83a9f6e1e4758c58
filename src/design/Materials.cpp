#include "Materials.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"

#include <algorithm>
#include <cmath>

namespace zep {

void buildMaterialTable(MaterialTable& t)
{
    // Specific gravities: typical values of the gemmological handbooks (the
    // middle of the range where a species varies).
    struct Row {
        const char* name;
        double ri, disp, density;
    };
    static const Row rows[] = {
        {"Beryl", 1.59, 0.014, 2.72},            {"Chrysoberyl", 1.75, 0.015, 3.73},
        {"Corundum", 1.77, 0.018, 4.00},         {"CZ", 2.17, 0.06, 5.80},
        {"Diamond", 2.418, 0.044, 3.52},         {"Pyrope_Garnet", 1.75, 0.022, 3.78},
        {"Almandine_Garnet", 1.81, 0.025, 4.05}, {"Spessartite_Garnet", 1.81, 0.027, 4.15},
        {"Rhodolite_Garnet", 1.76, 0.025, 3.84}, {"Grossular_Garnet", 1.81, 0.025, 3.61},
        {"Opal", 1.45, 0, 2.15},                 {"Peridot", 1.67, 0.02, 3.34},
        {"Quartz", 1.55, 0.013, 2.65},           {"Spinel", 1.72, 0.02, 3.60},
        {"Topaz", 1.62, 0.014, 3.53},            {"Tourmaline", 1.63, 0.017, 3.06},
        {"High_Zircon", 1.96, 0.038, 4.69},      {"Low_Zircon", 1.78, 0.038, 4.00},
    };
    t = MaterialTable();
    t.nMat = 18;
    for (const Row& r : rows) {
        t.Mat << QString::fromLatin1(r.name);
        t.matRI.push_back(r.ri);
        t.matDisp.push_back(r.disp);
        t.matDensity.push_back(r.density);
    }
}

MaterialTable MaterialTable::standard()
{
    MaterialTable t;
    buildMaterialTable(t);
    return t;
}

int MaterialTable::indexOf(const QString& name) const
{
    const int i = int(Mat.indexOf(name));
    if (i < 0)
        throw ZepError(err::SubscriptOutOfRange);
    return i;
}

double criticalAngle(float ri)
{
    const float s = 1.0f / ri;
    const double c = std::sqrt(1.0 - double(s) * double(s));
    if (c == 0)
        throw ZepError(err::DivisionByZero);
    if (std::isnan(c))
        throw ZepError(err::InvalidCall);
    return std::atan(double(s) / c) * 57.296;
}

std::optional<double> CalcCA(const CalcCAInput& in, const MaterialTable& table, MessageSink& messages)
{
    float ri;
    if (in.specifiedRI) {
        if (in.specRIText.isEmpty()) {
            messages.message(QStringLiteral("Please specify a refractive index"));
            return std::nullopt;
        }
        ri = ToSingle(ReadBox(in.specRIText, QStringLiteral("R. I."), BoxRange{}));
    } else {
        if (in.selectedMaterial.isEmpty()) {
            messages.message(QStringLiteral("Please select a material from the list first"));
            return std::nullopt;
        }
        ri = ToSingle(table.riOf(in.selectedMaterial));
    }
    if (ri < 1) {
        messages.message(QStringLiteral("Please specify a refractive index first"));
        return std::nullopt;
    }
    return criticalAngle(ri);
}

QString minPavFromCA(double ca)
{
    const float c = float(ca);
    return Format(c - 2.0f, u"#.00");
}

QString maxPavFromCA(double ca)
{
    const float c = float(ca);
    return Format((180.0f - c) / 3.0f + 2.0f, u"#.00");
}

namespace {

AngleLimits holding(AngleLimits l, float start)
{
    if (!WithinLimits(start, l.lo, l.hi)) { // to the three decimals gemray is given
        (start < l.lo ? l.lo : l.hi) = start;
        l.widened = true;
    }
    return l;
}

} // namespace

AngleLimits derivedPavilionLimits(float ri, float start)
{
    const double ca = criticalAngle(ri);
    return holding({float(Val(minPavFromCA(ca))), float(Val(maxPavFromCA(ca)))}, start);
}

AngleLimits derivedCrownLimits(float oldCrown, float start)
{
    // Both ends are kept in 5 to 60, so they stay in order for any crown.
    return holding({std::clamp(oldCrown - 10, 5.0f, 60.0f), std::clamp(oldCrown + 10, 5.0f, 60.0f)}, start);
}

} // namespace zep
