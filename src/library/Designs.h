#pragma once
// The designs of the library: what is read from a design file when it is
// added, adding files and folders, finding and forgetting a design. A design
// is known by the SHA-256 of its bytes; the same bytes at two paths are one
// design with two paths. The library never writes to a design file.
#include "library/LibraryDb.h"
#include "recut/Proportions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace zep::library {

struct DesignFacts {
    QString hash;      // SHA-256 of the file's bytes, 64 hex digits
    QString format;    // "GEM" or "asc"
    QString name;      // the first header line
    QString footnotes; // the footnote lines that are not empty, one a line
    int gear = 0, symmetry = 0;
    bool mirror = false;
    int facets = 0, tiers = 0;
    double ri = 0;           // the design's own index of refraction
    double pav = 0, crn = 0; // its main tiers (mainAngles)
    double lw = 0;           // length to width of its outline, the longer side first
    // At its own angles; none for a design whose planes cannot be measured (or
    // not yet measured, in a library of an older ZEP whose file is gone).
    std::optional<Proportions> proportions;
};

// The columns that hold proportions, in designs and results alike.
inline constexpr const char* ProportionColumns = "p_lw,p_tw,p_cw,p_gw,p_pw,p_hw,p_vw3";
// Binds the seven figures from place `first` on (NULL for none).
void bindProportions(Statement& s, int first, const std::optional<Proportions>& p);
// Reads them from column `first` on: none when NULL. The sizes are over the
// width (a width of 1).
std::optional<Proportions> readProportions(const Statement& s, int first);
// Measures what a library of an older ZEP lacks, in the transaction that
// brings it up to this one: designs from their files (when a file still holds
// them), results at their final angles from the design. What cannot be
// measured stays without proportions; a failing write raises ZepError (and the
// step is undone, to be taken again at the next opening).
void fillProportions(LibraryDb& db);

// Reads a design file as gemray does (the closed-stone check included).
// Raises ZepError with the reader's message.
DesignFacts readDesignFacts(const QString& path);

enum class AddOutcome { Added, Known, Refused };
struct AddReport {
    QString path;
    AddOutcome outcome = AddOutcome::Refused;
    QString message; // why a file was refused
};

// The design files under `paths`: a file as named, a folder's .gem and .asc
// files (any letter case) at any depth, links to folders not followed.
QStringList designFilesUnder(const QStringList& paths);

// Adds the files (designFilesUnder), committing every few files; `report` is
// told of each. A refused file never stops the others; `stop`, asked before
// each file, ends the adding with what was done kept. Raises ZepError only
// when the library fails.
void addFiles(LibraryDb& db, const QStringList& files, const std::function<void(const AddReport&)>& report,
              const std::function<bool()>& stop = {});

// A design by its hash (or a unique start of it, at least 6 digits) or by one
// of its paths; nothing when there is none. Raises ZepError when the start
// of a hash is that of several designs.
std::optional<qint64> findDesign(LibraryDb& db, const QString& designOrHash);

// The design's stored figures.
DesignFacts designFacts(LibraryDb& db, qint64 design);
// Its paths, as they were added.
QStringList designPaths(LibraryDb& db, qint64 design);
// The first of its paths that still holds its bytes; empty when none does.
QString currentPath(LibraryDb& db, qint64 design);
// The SHA-256 of a file's bytes (64 hex digits), empty when it cannot be read.
QString fileHash(const QString& path);

// Raises ZepError unless `file` may take a table (checkOutputFile with
// `inputs`): never the library or its logs, nor a file of a design it holds.
void checkTableFile(LibraryDb& db, const QString& file, QStringList inputs);

// Forgets a design with its paths and results.
void removeDesign(LibraryDb& db, qint64 design);

// A file name fit for one line of output: the native separators, a line
// break or another control character written as \n, \t or \xHH.
QString oneLineName(const QString& path);

} // namespace zep::library
