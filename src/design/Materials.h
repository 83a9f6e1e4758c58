#pragma once
// The gem materials with their refractive index, dispersion and density, and the
// critical angle that sets pavilion limits.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace zep {

class MessageSink;

struct MaterialTable {
    int16_t nMat = 0;
    QStringList Mat;              // names in table order
    std::vector<double> matRI;    // by position in Mat
    std::vector<double> matDisp;
    std::vector<double> matDensity; // specific gravity, g/cm3

    // The table's 18 materials.
    static MaterialTable standard();
    // Index of a name; Subscript out of range (9) for an unknown name.
    int indexOf(const QString& name) const;
    double riOf(const QString& name) const { return matRI[std::size_t(indexOf(name))]; }
    double dispOf(const QString& name) const { return matDisp[std::size_t(indexOf(name))]; }
    double densityOf(const QString& name) const { return matDensity[std::size_t(indexOf(name))]; }
};

// Builds the table in place (the main window's load step).
void buildMaterialTable(MaterialTable& table);

// The critical angle, in degrees, for a refractive index (arcsin(1/ri) with
// 57.296 degrees a radian). An index of exactly 1 raises Division by zero (11).
double criticalAngle(float ri);

// What the angles dialog hands to CalcCA.
struct CalcCAInput {
    bool specifiedRI = false;   // the "Specify RI and dispersion" option is chosen
    QString specRIText;         // text of the RI box
    QString selectedMaterial;   // selected material name, empty when none
};
// CalcCA: the critical angle of the dialog's material, or nothing after its
// message. Raises ZepError for an index of exactly 1.
std::optional<double> CalcCA(const CalcCAInput& in, const MaterialTable& table, MessageSink& messages);

// Texts the two critical-angle buttons put into the limit boxes ("#.00").
QString minPavFromCA(double ca);
QString maxPavFromCA(double ca);

// Limits of an angle that a job derives when none are given: the pavilion's
// from the critical angle, the crown's 10 degrees either way of the design's
// crown (within 5 to 60). A limit the angle to hold (the design's own angle,
// or a window's start) lies beyond is widened to it (`widened` then says so).
struct AngleLimits {
    float lo = 0, hi = 0;
    bool widened = false;
};
AngleLimits derivedPavilionLimits(float ri, float start);
AngleLimits derivedCrownLimits(float oldCrown, float start);

} // namespace zep
