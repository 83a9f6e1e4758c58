#include "library/Designs.h"

#include "common/FileIO.h"
#include "common/ZepError.h"
#include "raytracer/AscFile.h"
#include "raytracer/DesignCheck.h"
#include "recut/CuttingList.h"
#include "recut/Recut.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <map>
#include <limits>

namespace zep::library {

namespace {

QString decoded(const std::string& s)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(QByteArray::fromStdString(s));
    return utf8.hasError() ? QString::fromLatin1(s.data(), qsizetype(s.size())) : text;
}

// The outline seen from above: the girdle's corners, or every corner of a
// design without girdle facets.
double lengthToWidth(const gemray::GemDesign& d)
{
    double lo[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    double hi[2] = {-lo[0], -lo[1]};
    const auto take = [&](bool girdleOnly) {
        for (const gemray::GemFacet& f : d.facets) {
            if (girdleOnly && gemray::classifyNormal(gemray::normalized(f.abc)) != gemray::FacetKind::Girdle)
                continue;
            for (const gemray::Vec3& v : f.vertices) {
                lo[0] = std::min(lo[0], v.x), hi[0] = std::max(hi[0], v.x);
                lo[1] = std::min(lo[1], v.y), hi[1] = std::max(hi[1], v.y);
            }
        }
    };
    // Corners that span no area (no girdle facet, or one flat girdle facet,
    // whose corners differ across it only by rounding) are no outline.
    const auto spans = [&] {
        const double w = hi[0] - lo[0], l = hi[1] - lo[1];
        return std::min(w, l) > 1e-9 * std::max(w, l);
    };
    take(true);
    if (!spans())
        take(false);
    if (!spans())
        return 1;
    const double w = hi[0] - lo[0], l = hi[1] - lo[1];
    return std::max(w, l) / std::min(w, l);
}

QString now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate); }

} // namespace

QString oneLineName(const QString& path)
{
    QString out;
    for (const QChar c : QDir::toNativeSeparators(path)) {
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

DesignFacts readDesignFacts(const QString& path)
{
    const std::string label = QDir::toNativeSeparators(path).toStdString();
    QByteArray bytes;
    gemray::GemDesign d;
    try {
        gemray::checkDesignFile(QFile::encodeName(path).toStdString());
        bytes = readNamedFile(path, QStringLiteral("design"), qint64(gemray::kMaxDesignBytes));
        const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                 std::size_t(bytes.size()));
        d = gemray::parseDesign(span, label);
        gemray::checkStone(d, label);
    } catch (const gemray::GemFileError& e) {
        throw ZepError(err::InvalidCall, QString::fromStdString(e.what()));
    }
    DesignFacts f;
    f.hash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             std::size_t(bytes.size()));
    f.format = gemray::isAscText(span) ? QStringLiteral("asc") : QStringLiteral("GEM");
    f.name = decoded(d.title()).trimmed();
    QStringList notes;
    for (const std::string& n : d.footnotes)
        if (!decoded(n).trimmed().isEmpty())
            notes << decoded(n).trimmed();
    f.footnotes = notes.join(u'\n');
    f.gear = d.gear;
    f.symmetry = d.symmetry;
    f.mirror = d.mirror != 0;
    f.facets = int(d.facets.size());
    f.tiers = int(cuttingList(d).size());
    f.ri = d.refractiveIndex;
    const MainAngles main = mainAngles(d);
    const std::string why = notOptimizable(main);
    if (!why.empty())
        throw ZepError(err::InvalidCall, QStringLiteral("design file \"%1\" is not a stone to optimize: %2")
                                             .arg(QString::fromStdString(label), QString::fromStdString(why)));
    f.pav = main.pavilion;
    f.crn = main.crown;
    f.lw = lengthToWidth(d);
    try {
        f.proportions = proportionsOf(d);
    } catch (const ZepError&) {
        // A stone whose planes cannot be measured is kept without them.
    }
    return f;
}

QStringList designFilesUnder(const QStringList& paths)
{
    QStringList files;
    for (const QString& given : paths) {
        const QFileInfo info(given);
        // A folder named by a link is read; links met inside are not followed.
        if (!info.isDir()) {
            files << given;
            continue;
        }
        QStringList found;
        QDirIterator all(given, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (all.hasNext()) {
            const QString file = all.next();
            const QString suffix = QFileInfo(file).suffix().toLower();
            if (suffix == QLatin1String("gem") || suffix == QLatin1String("asc"))
                found << file;
        }
        found.sort();
        files << found;
    }
    return files;
}

QString fileHash(const QString& path)
{
    try {
        gemray::checkDesignFile(QFile::encodeName(path).toStdString());
        return QString::fromLatin1(
            QCryptographicHash::hash(readFileBytes(path, qint64(gemray::kMaxDesignBytes)), QCryptographicHash::Sha256)
                .toHex());
    } catch (...) {
        return {};
    }
}

void addFiles(LibraryDb& db, const QStringList& files, const std::function<void(const AddReport&)>& report,
              const std::function<bool()>& stop)
{
    Statement findHash = db.prepare("SELECT id FROM designs WHERE hash=?");
    Statement insertDesign =
        db.prepare("INSERT INTO designs(hash,format,name,footnotes,gear,symmetry,mirror,facets,tiers,ri,pav,crn,lw,added,"
                   "p_lw,p_tw,p_cw,p_gw,p_pw,p_hw,p_vw3) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    Statement insertPath = db.prepare("INSERT OR REPLACE INTO paths(path,design) VALUES(?,?)");
    std::vector<AddReport> pending;
    const auto commit = [&] {
        db.exec("COMMIT");
        for (const AddReport& r : pending)
            report(r);
        pending.clear();
    };
    QElapsedTimer batch;
    db.exec("BEGIN IMMEDIATE");
    batch.start();
    try {
        for (const QString& file : files) {
            if (stop && stop())
                break;
            AddReport r{file, AddOutcome::Refused, {}};
            std::optional<DesignFacts> f;
            try {
                f = readDesignFacts(file);
            } catch (const ZepError& e) {
                // A design's refusal stops no other; the library's own failure
                // (below) ends the adding.
                r.message = e.messageFor(QStringLiteral("library"));
            }
            if (f) {
                findHash.reset();
                findHash.bind(1, f->hash);
                qint64 id = 0;
                if (findHash.step()) {
                    id = findHash.integer(0);
                    r.outcome = AddOutcome::Known;
                } else {
                    insertDesign.reset();
                    insertDesign.bind(1, f->hash).bind(2, f->format).bind(3, f->name).bind(4, f->footnotes);
                    insertDesign.bind(5, f->gear).bind(6, f->symmetry).bind(7, int(f->mirror)).bind(8, f->facets);
                    insertDesign.bind(9, f->tiers).bind(10, f->ri).bind(11, f->pav).bind(12, f->crn).bind(13, f->lw);
                    insertDesign.bind(14, now());
                    bindProportions(insertDesign, 15, f->proportions);
                    insertDesign.step();
                    id = db.lastInsertId();
                    r.outcome = AddOutcome::Added;
                }
                insertPath.reset();
                insertPath.bind(1, QFileInfo(file).absoluteFilePath()).bind(2, id);
                insertPath.step();
            }
            pending.push_back(r);
            if (batch.elapsed() > 500) {
                commit();
                db.exec("BEGIN IMMEDIATE");
                batch.restart();
            }
        }
        commit();
    } catch (...) {
        db.rollback();
        throw;
    }
}

std::optional<qint64> findDesign(LibraryDb& db, const QString& designOrHash)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{6,64}$"));
    if (hex.match(designOrHash).hasMatch()) {
        Statement s = db.prepare("SELECT id FROM designs WHERE hash>=? AND hash<? LIMIT 2");
        const QString lower = designOrHash.toLower();
        s.bind(1, lower).bind(2, lower + QStringLiteral("g"));
        if (s.step()) {
            const qint64 id = s.integer(0);
            if (!s.step())
                return id;
            throw ZepError(err::InvalidCall, QStringLiteral("%1 is the start of the hash of several designs of the "
                                                            "library %2: give more of it.")
                                                 .arg(designOrHash, QDir::toNativeSeparators(db.path())));
        }
    }
    Statement p = db.prepare("SELECT design FROM paths WHERE path=?");
    p.bind(1, QFileInfo(designOrHash).absoluteFilePath());
    if (p.step())
        return p.integer(0);
    return std::nullopt;
}

DesignFacts designFacts(LibraryDb& db, qint64 design)
{
    Statement s = db.prepare("SELECT hash,format,name,footnotes,gear,symmetry,mirror,facets,tiers,ri,pav,crn,lw,"
                             "p_lw,p_tw,p_cw,p_gw,p_pw,p_hw,p_vw3 FROM designs WHERE id=?");
    s.bind(1, design);
    DesignFacts f;
    if (!s.step())
        return f;
    f.hash = s.text(0);
    f.format = s.text(1);
    f.name = s.text(2);
    f.footnotes = s.text(3);
    f.gear = int(s.integer(4));
    f.symmetry = int(s.integer(5));
    f.mirror = s.integer(6) != 0;
    f.facets = int(s.integer(7));
    f.tiers = int(s.integer(8));
    f.ri = s.real(9);
    f.pav = s.real(10);
    f.crn = s.real(11);
    f.lw = s.real(12);
    f.proportions = readProportions(s, 13);
    return f;
}

QStringList designPaths(LibraryDb& db, qint64 design)
{
    Statement s = db.prepare("SELECT path FROM paths WHERE design=? ORDER BY path");
    s.bind(1, design);
    QStringList paths;
    while (s.step())
        paths << s.text(0);
    return paths;
}

QString currentPath(LibraryDb& db, qint64 design)
{
    const QString hash = designFacts(db, design).hash;
    for (const QString& p : designPaths(db, design))
        if (fileHash(p) == hash)
            return p;
    return {};
}

void checkTableFile(LibraryDb& db, const QString& file, QStringList inputs)
{
    for (const char* log : {"", "-wal", "-shm", "-journal"})
        inputs << db.path() + QLatin1String(log);
    checkOutputFile(file, inputs);
    Statement known = db.prepare("SELECT 1 FROM paths WHERE path=? UNION SELECT 1 FROM designs WHERE hash=?");
    known.bind(1, QFileInfo(file).absoluteFilePath()).bind(2, fileHash(file));
    if (known.step())
        throw ZepError(err::PathFileAccess, QStringLiteral("%1 is a design of the library %2: ZEP does not write over it.")
                                                .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(db.path())));
}

void removeDesign(LibraryDb& db, qint64 design)
{
    db.transaction([&] {
        Statement s = db.prepare("DELETE FROM designs WHERE id=?");
        s.bind(1, design);
        s.step();
    });
}

void bindProportions(Statement& s, int first, const std::optional<Proportions>& p)
{
    const double figures[] = {p ? p->lw : 0, p ? p->tw : 0, p ? p->cw : 0, p ? p->gw : 0,
                              p ? p->pw : 0, p ? p->hw : 0, p ? p->vw3 : 0};
    for (int i = 0; i < 7; ++i) {
        if (p && std::isfinite(figures[i]))
            s.bind(first + i, figures[i]);
        else
            s.bindNull(first + i);
    }
}

std::optional<Proportions> readProportions(const Statement& s, int first)
{
    for (int i = 0; i < 7; ++i)
        if (s.isNull(first + i))
            return std::nullopt;
    Proportions p;
    p.lw = s.real(first), p.tw = s.real(first + 1), p.cw = s.real(first + 2), p.gw = s.real(first + 3);
    p.pw = s.real(first + 4), p.hw = s.real(first + 5), p.vw3 = s.real(first + 6);
    p.width = 1, p.length = p.lw, p.depth = p.hw, p.volume = p.vw3;
    return p;
}

void fillProportions(LibraryDb& db)
{
    {
        std::vector<std::pair<qint64, Proportions>> designs;
        std::map<qint64, gemray::GemDesign> read; // by design: read once, for itself and its results
        {
            Statement s = db.prepare("SELECT id FROM designs WHERE p_vw3 IS NULL");
            std::vector<qint64> ids;
            while (s.step())
                ids.push_back(s.integer(0));
            for (const qint64 id : ids) {
                const QString path = currentPath(db, id);
                if (path.isEmpty())
                    continue;
                try {
                    read[id] = loadDesign(path);
                    designs.emplace_back(id, proportionsOf(read[id]));
                } catch (const std::exception&) {
                }
            }
        }
        struct ResultRow {
            qint64 rowid;
            Proportions p;
        };
        std::vector<ResultRow> results;
        {
            Statement s = db.prepare("SELECT r.rowid,r.design,r.final_pav,r.final_crn,d.pav,d.crn FROM results r"
                                     " JOIN designs d ON d.id=r.design"
                                     " WHERE r.p_vw3 IS NULL AND r.error='' AND r.final_pav IS NOT NULL");
            while (s.step()) {
                // Every design lacks its proportions in this step, so each was read above; one with no
                // file, or one that no longer reads, leaves its results without them too.
                const auto design = read.find(s.integer(1));
                try {
                    if (design != read.end()) {
                        const RecutAngles angles{s.real(4), singleAsDecimal(float(s.real(2))), s.real(5),
                                                 singleAsDecimal(float(s.real(3)))};
                        results.push_back({s.integer(0), proportionsOf(design->second, angles)});
                    }
                } catch (const std::exception&) {
                }
            }
        }
        {
            Statement d = db.prepare("UPDATE designs SET p_lw=?,p_tw=?,p_cw=?,p_gw=?,p_pw=?,p_hw=?,p_vw3=? WHERE id=?");
            for (const auto& [id, p] : designs) {
                d.reset();
                bindProportions(d, 1, p);
                d.bind(8, id);
                d.step();
            }
            Statement r = db.prepare("UPDATE results SET p_lw=?,p_tw=?,p_cw=?,p_gw=?,p_pw=?,p_hw=?,p_vw3=? WHERE rowid=?");
            for (const ResultRow& row : results) {
                r.reset();
                bindProportions(r, 1, row.p);
                r.bind(8, row.rowid);
                r.step();
            }
        }
    }
}

} // namespace zep::library
