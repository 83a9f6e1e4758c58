#pragma once
// The study's pieces that the design library shares: a job's line for
// another engine and the collecting of the results such jobs printed.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace zep::tool {

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

// A word of a POSIX shell's command line, quoted when it needs to be.
QString shellWord(const QString& w);

// Whether a text holds a control character: no word of a job line may, since
// engines read the lines one by one and hand them to a shell.
bool holdsControl(const QString& text);

// The jobs of a study from the JSON lines its jobs printed (`--job K/N`), in
// any order. A job that printed no line fails with a row of its own; a job
// that ran twice counts with its success.
std::vector<StudyJob> collectedJobs(const QString& path);

} // namespace zep::tool
