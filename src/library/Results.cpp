#include "library/Results.h"

#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/FileIO.h"
#include "common/ZepError.h"
#include "design/Materials.h"
#include "optimize/OptimizationTargets.h"
#include "optimize/TargetFile.h"
#include "raytracer/CommandLine.h"
#include "recut/CuttingList.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace zep::library {

namespace {

double single(double x) { return double(float(x)); }

// The current results of a key: a design's best of them.
const char* const CurrentJoin =
    " LEFT JOIN (SELECT design, final_pav, final_crn, MAX(final_mf) AS final_mf, start_mf, search, pav_tier, crn_tier,"
    " p_lw, p_tw, p_cw, p_gw, p_pw, p_hw, p_vw3, margin_tol, margin_worst"
    " FROM results WHERE material=? AND ri=? AND disp=? AND targets=? AND limits=? AND tracer=? AND tolerance IS ?"
    " AND error=''"
    " GROUP BY design) r ON r.design=d.id"
    // Why the jobs of the key failed, for a design without a result.
    " LEFT JOIN (SELECT design, MIN(error) AS error FROM results"
    " WHERE material=? AND ri=? AND disp=? AND targets=? AND limits=? AND tracer=? AND tolerance IS ? AND error<>''"
    " GROUP BY design) e ON e.design=d.id";

struct Query {
    QString sql;
    std::vector<QVariant> values;
};

Query filtered(const ListFilter& f, const QString& columns)
{
    Query q;
    q.sql = QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM designs d");
    if (f.key) {
        q.sql += QLatin1String(CurrentJoin);
        const ResultKey& k = *f.key;
        for (int join = 0; join < 2; ++join)
            q.values.insert(q.values.end(), {k.material, single(k.ri), single(k.disp), k.targets, k.limits, k.tracer,
                                             k.tolerance ? QVariant(single(*k.tolerance)) : QVariant()});
    }
    QStringList where;
    for (const QString& word : f.text.split(u' ', Qt::SkipEmptyParts)) {
        QString pattern = word;
        pattern.replace(u'\\', QStringLiteral("\\\\")).replace(u'%', QStringLiteral("\\%")).replace(u'_', QStringLiteral("\\_"));
        pattern = u'%' + pattern + u'%';
        where << QStringLiteral("(d.name LIKE ? ESCAPE '\\' OR d.footnotes LIKE ? ESCAPE '\\' OR EXISTS(SELECT 1 FROM "
                                "paths p WHERE p.design=d.id AND p.path LIKE ? ESCAPE '\\'))");
        q.values.insert(q.values.end(), {pattern, pattern, pattern});
    }
    if (f.gear) { // a gear is its teeth: a wheel counted either way round is the same wheel
        where << QStringLiteral("ABS(d.gear)=ABS(?)");
        q.values.push_back(*f.gear);
    }
    if (f.facets) {
        where << QStringLiteral("d.facets BETWEEN ? AND ?");
        q.values.insert(q.values.end(), {f.facets->first, f.facets->second});
    }
    if (f.lw) {
        where << QStringLiteral("d.lw BETWEEN ? AND ?");
        q.values.insert(q.values.end(), {f.lw->first, f.lw->second});
    }
    if (f.key && f.minMf) {
        // As the single the result holds: a merit function shown as X is at X.
        where << QStringLiteral("r.final_mf >= ?");
        q.values.push_back(double(float(*f.minMf)));
    }
    if (!where.isEmpty())
        q.sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    return q;
}

Statement prepared(LibraryDb& db, const Query& q)
{
    const QByteArray sql = q.sql.toUtf8();
    Statement s = db.prepare(sql.constData());
    for (std::size_t i = 0; i < q.values.size(); ++i) {
        const QVariant& v = q.values[i];
        if (!v.isValid())
            s.bindNull(int(i + 1));
        else if (v.typeId() == QMetaType::QString)
            s.bind(int(i + 1), v.toString());
        else if (v.typeId() == QMetaType::Double)
            s.bind(int(i + 1), v.toDouble());
        else
            s.bind(int(i + 1), v.toLongLong());
    }
    return s;
}

} // namespace

OptimizationTargets defaultTargets()
{
    OptimizationTargets t;
    t.doISO = t.doIll = true;
    t.wtISO = t.wtILL = 1;
    return t;
}

QString storedSearch(const ResultKey& key)
{
    return key.tolerance ? key.search + u'@' + QString::number(float(*key.tolerance), 'g', 6) : key.search;
}

void readStoredSearch(const QString& stored, ResultKey& key)
{
    key.search = stored.section(u'@', 0, 0);
    key.tolerance.reset();
    if (stored.contains(u'@'))
        key.tolerance = single(stored.section(u'@', 1).toDouble());
}

ResultKey resultKey(const QString& material, const QString& targetsFile, bool global, std::optional<double> tolerance)
{
    ResultKey k;
    const MaterialTable table = MaterialTable::standard();
    const auto found = std::find_if(table.Mat.begin(), table.Mat.end(),
                                    [&](const QString& m) { return m.compare(material, Qt::CaseInsensitive) == 0; });
    if (found == table.Mat.end())
        throw ZepError(err::InvalidCall, QStringLiteral("There is no material \"%1\" (the materials are %2).")
                                             .arg(material, table.Mat.join(QStringLiteral(", "))));
    k.material = *found;
    k.ri = single(table.riOf(*found));
    k.disp = single(table.dispOf(*found));
    OptimizationTargets t = defaultTargets();
    if (!targetsFile.isEmpty()) {
        t = OptimizationTargets{};
        RecordingSink said;
        if (!LoadTargetFile(targetsFile, t, said))
            throw ZepError(err::InvalidCall, QDir::toNativeSeparators(targetsFile) + QStringLiteral(": ")
                                                 + said.messages.join(u' '));
    }
    k.targets = targetsHash(t);
    k.search = global ? QStringLiteral("global") : QStringLiteral("climb");
    if (tolerance)
        k.tolerance = single(*tolerance);
    k.tracer = QString::fromLatin1(gemray::kTracerVersion);
    return k;
}

StoredResult resultFromJson(const QJsonObject& line, const ResultKey& key)
{
    StoredResult r;
    r.key = key;
    r.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    r.error = line.value(QStringLiteral("error")).toString();
    if (!r.error.isEmpty())
        return r;
    const QJsonObject start = line.value(QStringLiteral("start")).toObject();
    const QJsonObject final = line.value(QStringLiteral("final")).toObject();
    const auto number = [](const QJsonObject& o, const char* name) {
        const QJsonValue v = o.value(QLatin1String(name));
        return v.isDouble() ? float(v.toDouble()) : std::numeric_limits<float>::quiet_NaN();
    };
    r.startPav = number(start, "pav");
    r.startCrn = number(start, "crn");
    r.startMf = number(start, "mf");
    r.finalPav = number(final, "pav");
    r.finalCrn = number(final, "crn");
    r.finalMf = number(final, "mf");
    if (!std::isfinite(r.finalMf) || !std::isfinite(r.finalPav) || !std::isfinite(r.finalCrn))
        r.error = QStringLiteral("the job printed no final angles and merit function");
    const QJsonObject tiers = line.value(QStringLiteral("tiers")).toObject();
    r.pavTier = tiers.value(QStringLiteral("pav")).toObject().value(QStringLiteral("tier")).toString();
    r.crnTier = tiers.value(QStringLiteral("crn")).toObject().value(QStringLiteral("tier")).toString();
    const QJsonValue components = line.value(QStringLiteral("components"));
    r.components = components.isObject()
                       ? QString::fromUtf8(QJsonDocument(components.toObject()).toJson(QJsonDocument::Compact))
                       : QString();
    QStringList notes;
    for (const QJsonValue& n : line.value(QStringLiteral("notes")).toArray())
        notes << n.toString().trimmed();
    r.notes = notes.join(u' ');
    const QJsonObject p = line.value(QStringLiteral("proportions")).toObject();
    const char* const keys[] = {"lw", "tw", "cw", "gw", "pw", "hw", "vw3"};
    double figures[7];
    bool whole = true;
    for (int i = 0; i < 7; ++i) {
        const QJsonValue v = p.value(QLatin1String(keys[i]));
        figures[i] = v.toDouble();
        whole = whole && v.isDouble() && std::isfinite(figures[i]) && figures[i] >= 0;
    }
    if (whole && figures[6] > 0) {
        Proportions q;
        q.lw = figures[0], q.tw = figures[1], q.cw = figures[2], q.gw = figures[3], q.pw = figures[4];
        q.hw = figures[5], q.vw3 = figures[6];
        q.width = 1, q.length = q.lw, q.depth = q.hw, q.volume = q.vw3;
        r.proportions = q;
    }
    r.evaluations = line.value(QStringLiteral("evaluations")).toInt();
    r.seconds = line.value(QStringLiteral("seconds")).toDouble();
    const QJsonObject margin = line.value(QStringLiteral("margin")).toObject();
    const QJsonArray at = margin.value(QStringLiteral("worst_at")).toArray();
    if (at.size() == 2) {
        r.marginTol = number(margin, "tolerance");
        r.marginWorst = number(margin, "worst");
        r.marginPav = at[0].isDouble() ? float(at[0].toDouble()) : NAN;
        r.marginCrn = at[1].isDouble() ? float(at[1].toDouble()) : NAN;
    }
    return r;
}

namespace {

// Asked in a write transaction, so that the answer holds till its end.
bool designKnown(LibraryDb& db, qint64 design)
{
    Statement s = db.prepare("SELECT 1 FROM designs WHERE id=?");
    s.bind(1, design);
    return s.step();
}

} // namespace

bool storeResult(LibraryDb& db, qint64 design, const StoredResult& r)
{
    bool stored = false;
    db.transaction([&] {
        if (!designKnown(db, design))
            return;
        Statement s = db.prepare(
            "INSERT OR REPLACE INTO results(design,material,ri,disp,targets,limits,search,tracer,start_pav,start_crn,"
            "final_pav,final_crn,start_mf,final_mf,components,notes,error,evaluations,seconds,date,pav_tier,crn_tier,"
            "tolerance,margin_tol,margin_worst,margin_pav,margin_crn,p_lw,p_tw,p_cw,p_gw,p_pw,p_hw,p_vw3)"
            " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        s.bind(1, design).bind(2, r.key.material).bind(3, single(r.key.ri)).bind(4, single(r.key.disp));
        s.bind(5, r.key.targets).bind(6, r.key.limits).bind(7, storedSearch(r.key)).bind(8, r.key.tracer);
        if (r.key.tolerance)
            s.bind(23, single(*r.key.tolerance));
        else
            s.bindNull(23);
        // A margin only whole and finite, and only with a result.
        const float margin[] = {r.marginTol, r.marginWorst, r.marginPav, r.marginCrn};
        const bool withMargin = r.error.isEmpty() && std::all_of(std::begin(margin), std::end(margin), [](float x) {
            return std::isfinite(x);
        });
        for (int i = 0; i < 4; ++i) {
            if (withMargin)
                s.bind(24 + i, double(margin[i]));
            else
                s.bindNull(24 + i);
        }
        const float figures[] = {r.startPav, r.startCrn, r.finalPav, r.finalCrn, r.startMf, r.finalMf};
        for (int i = 0; i < 6; ++i) {
            if (r.error.isEmpty() && std::isfinite(figures[i]))
                s.bind(9 + i, double(figures[i]));
            else
                s.bindNull(9 + i);
        }
        s.bind(15, r.components).bind(16, r.notes).bind(17, r.error).bind(18, r.evaluations);
        s.bind(19, r.seconds).bind(20, r.date).bind(21, r.pavTier).bind(22, r.crnTier);
        bindProportions(s, 28, r.error.isEmpty() ? r.proportions : std::nullopt);
        s.step();
        stored = true;
    });
    return stored;
}

std::vector<StoredResult> designResults(LibraryDb& db, qint64 design)
{
    Statement s = db.prepare("SELECT material,ri,disp,targets,limits,search,tracer,start_pav,start_crn,final_pav,"
                             "final_crn,start_mf,final_mf,components,notes,error,evaluations,seconds,date,pav_tier,crn_tier,margin_tol,"
                             "margin_worst,margin_pav,margin_crn,p_lw,p_tw,p_cw,p_gw,p_pw,p_hw,p_vw3 FROM results"
                             " WHERE design=? ORDER BY error<>'', final_mf DESC");
    s.bind(1, design);
    std::vector<StoredResult> out;
    while (s.step()) {
        StoredResult r;
        r.key = ResultKey{s.text(0), s.real(1), s.real(2), s.text(3), s.text(4), s.text(5), s.text(6), {}};
        readStoredSearch(s.text(5), r.key);
        float* figures[] = {&r.startPav, &r.startCrn, &r.finalPav, &r.finalCrn, &r.startMf, &r.finalMf};
        for (int i = 0; i < 6; ++i)
            *figures[i] = s.isNull(7 + i) ? std::numeric_limits<float>::quiet_NaN() : float(s.real(7 + i));
        r.components = s.text(13);
        r.notes = s.text(14);
        r.error = s.text(15);
        r.evaluations = int(s.integer(16));
        r.seconds = s.real(17);
        r.date = s.text(18);
        r.pavTier = s.text(19);
        r.crnTier = s.text(20);
        float* margin[] = {&r.marginTol, &r.marginWorst, &r.marginPav, &r.marginCrn};
        for (int i = 0; i < 4; ++i)
            *margin[i] = s.isNull(21 + i) ? NAN : float(s.real(21 + i));
        r.proportions = readProportions(s, 25);
        out.push_back(r);
    }
    return out;
}

namespace {

QString claimKey(const ResultKey& k)
{
    return QStringList{k.material, QString::number(single(k.ri), 'g', 9), QString::number(single(k.disp), 'g', 9),
                       k.targets, k.limits, storedSearch(k), k.tracer}
        .join(u'|');
}

} // namespace

bool claimJob(LibraryDb& db, qint64 design, const ResultKey& key)
{
    bool taken = false;
    db.transaction([&] {
        Statement done = db.prepare("SELECT 1 FROM results WHERE design=? AND material=? AND ri=? AND disp=? AND targets=?"
                                    " AND limits=? AND search=? AND tracer=?");
        done.bind(1, design).bind(2, key.material).bind(3, single(key.ri)).bind(4, single(key.disp));
        done.bind(5, key.targets).bind(6, key.limits).bind(7, storedSearch(key)).bind(8, key.tracer);
        if (done.step() || !designKnown(db, design))
            return;
        Statement holder = db.prepare("SELECT pid FROM claims WHERE design=? AND key=?");
        holder.bind(1, design).bind(2, claimKey(key));
        const qint64 own = QCoreApplication::applicationPid();
        if (holder.step() && holder.integer(0) != own && processAlive(holder.integer(0)))
            return;
        Statement claim = db.prepare("INSERT OR REPLACE INTO claims(design,key,pid) VALUES(?,?,?)");
        claim.bind(1, design).bind(2, claimKey(key)).bind(3, own);
        claim.step();
        taken = true;
    });
    return taken;
}

void releaseJobs(LibraryDb& db)
{
    db.transaction([&] {
        Statement s = db.prepare("DELETE FROM claims WHERE pid=?");
        s.bind(1, qint64(QCoreApplication::applicationPid()));
        s.step();
    });
}

std::vector<qint64> missingDesigns(LibraryDb& db, const ResultKey& key, const std::vector<qint64>* among)
{
    Statement s = db.prepare(
        "SELECT d.id FROM designs d WHERE NOT EXISTS(SELECT 1 FROM results r WHERE r.design=d.id AND r.material=?"
        " AND r.ri=? AND r.disp=? AND r.targets=? AND r.limits=? AND r.search=? AND r.tracer=?) ORDER BY d.id");
    s.bind(1, key.material).bind(2, single(key.ri)).bind(3, single(key.disp)).bind(4, key.targets);
    s.bind(5, key.limits).bind(6, storedSearch(key)).bind(7, key.tracer);
    std::vector<qint64> ids;
    while (s.step())
        ids.push_back(s.integer(0));
    if (among) {
        std::vector<qint64> wanted(*among);
        std::sort(wanted.begin(), wanted.end());
        std::erase_if(ids, [&](qint64 id) { return !std::binary_search(wanted.begin(), wanted.end(), id); });
    }
    return ids;
}

std::vector<ListRow> listDesigns(LibraryDb& db, const ListFilter& f, int offset, int limit)
{
    QString columns = QStringLiteral(
        "d.id,d.hash,d.name,d.format,(SELECT MIN(path) FROM paths p WHERE p.design=d.id),d.gear,d.facets,d.tiers,"
        "d.symmetry,d.mirror,d.ri,d.pav,d.crn,d.lw");
    columns += f.key ? QStringLiteral(",r.final_mf,r.start_mf,r.final_pav,r.final_crn,r.search,r.pav_tier,r.crn_tier,e.error,"
                                      "r.margin_tol,r.margin_worst")
                     : QStringLiteral(",NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    columns += QStringLiteral(",d.p_lw,d.p_tw,d.p_cw,d.p_gw,d.p_pw,d.p_hw,d.p_vw3");
    columns += f.key ? QStringLiteral(",r.p_lw,r.p_tw,r.p_cw,r.p_gw,r.p_pw,r.p_hw,r.p_vw3")
                     : QStringLiteral(",NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    Query q = filtered(f, columns);
    const char* order = "";
    switch (f.sort) {
    case SortColumn::Name: order = "d.name COLLATE NOCASE"; break;
    case SortColumn::Gear: order = "ABS(d.gear)"; break; // its teeth, whichever way it counts
    case SortColumn::Facets: order = "d.facets"; break;
    case SortColumn::LW: order = "d.lw"; break;
    case SortColumn::MeritFunction: order = f.key ? "r.final_mf" : ""; break;
    case SortColumn::Pavilion: order = f.key ? "r.final_pav" : ""; break;
    case SortColumn::Crown: order = f.key ? "r.final_crn" : ""; break;
    case SortColumn::Weight:
    case SortColumn::Yield: order = f.key && f.rough ? "weight" : ""; break;
    case SortColumn::Best: break;
    }
    QString orderBy = QLatin1String(order);
    if (*order == 'w') {
        // The stone's volume in the rough (weight and yield sort alike); the
        // expression stands twice: IS NULL, then the order.
        const auto& m = f.rough->mm;
        orderBy = QStringLiteral("zep_volume_in_rough(r.p_lw,r.p_hw,r.p_vw3,?,?,?)");
        for (int k = 0; k < 2; ++k)
            q.values.insert(q.values.end(), {m[0], m[1], m[2]});
    }
    if (!orderBy.isEmpty())
        // Designs without a figure last, whichever the direction.
        q.sql += QStringLiteral(" ORDER BY %1 IS NULL, %1 %2, d.id").arg(orderBy, f.descending ? "DESC" : "ASC");
    else
        q.sql += f.key ? QStringLiteral(" ORDER BY r.final_mf IS NULL, r.final_mf DESC, d.name COLLATE NOCASE, d.id")
                       : QStringLiteral(" ORDER BY d.name COLLATE NOCASE, d.id");
    q.sql += QStringLiteral(" LIMIT ? OFFSET ?");
    q.values.insert(q.values.end(), {limit, offset});
    Statement s = prepared(db, q);
    std::vector<ListRow> rows;
    while (s.step()) {
        ListRow r;
        r.id = s.integer(0);
        r.hash = s.text(1);
        r.name = s.text(2);
        r.format = s.text(3);
        r.path = s.text(4);
        r.gear = int(s.integer(5));
        r.facets = int(s.integer(6));
        r.tiers = int(s.integer(7));
        r.symmetry = int(s.integer(8));
        r.mirror = s.integer(9) != 0;
        r.ri = s.real(10);
        r.pav = s.real(11);
        r.crn = s.real(12);
        r.lw = s.real(13);
        r.hasResult = !s.isNull(14);
        if (r.hasResult) {
            r.finalMf = float(s.real(14));
            r.startMf = float(s.real(15));
            r.finalPav = float(s.real(16));
            r.finalCrn = float(s.real(17));
            r.search = s.text(18);
            r.pavTier = s.text(19);
            r.crnTier = s.text(20);
            if (!s.isNull(22) && !s.isNull(23)) {
                r.marginTol = float(s.real(22));
                r.marginWorst = float(s.real(23));
            }
        } else {
            r.failure = s.text(21);
        }
        r.own = readProportions(s, 24);
        r.atFinal = r.hasResult ? readProportions(s, 31) : std::nullopt;
        rows.push_back(r);
    }
    return rows;
}

int countDesigns(LibraryDb& db, const ListFilter& f)
{
    ListFilter plain = f;
    plain.key.reset(); // the results change no count
    Statement s = prepared(db, filtered(plain, QStringLiteral("COUNT(*)")));
    s.step();
    return int(s.integer(0));
}

QString tierLabel(const QString& tier, double ownAngle)
{
    if (tier.isEmpty())
        return {};
    return QString::fromStdString(tierText(tier.toStdString(), ownAngle));
}

std::optional<StoneInRough> stoneInRough(const ListRow& row, const Rough& rough)
{
    if (!row.atFinal)
        return std::nullopt;
    StoneInRough s;
    s.fit = fitRough(*row.atFinal, rough.mm);
    s.weight = caratWeight(row.atFinal->vw3, s.fit.width, rough.density);
    return s;
}

QString designTable(const std::vector<ListRow>& rows, bool withResults, const std::optional<Rough>& rough)
{
    QString table = QStringLiteral("file,name,hash,format,gear,symmetry,mirror,facets,tiers,index,pav,crn,lw");
    if (withResults)
        table += QStringLiteral(",search,start_mf,final_pav,final_crn,final_mf,pav_tier,crn_tier,failed,margin_tolerance,"
                                "margin_worst");
    if (withResults && rough)
        table += QStringLiteral(",weight_ct,yield_pct");
    table += u'\n';
    const auto number = [](double x) { return NumText(float(x)).trimmed(); };
    const auto angle = [](double x) { return Format(float(x), u"#.000"); };
    for (const ListRow& r : rows) {
        QStringList f{csvField(QDir::toNativeSeparators(r.path)), csvField(r.name), r.hash, r.format,
                      QString::number(r.gear), QString::number(r.symmetry), r.mirror ? QStringLiteral("1") : QStringLiteral("0"),
                      QString::number(r.facets), QString::number(r.tiers), number(r.ri), angle(r.pav), angle(r.crn),
                      QString::number(r.lw, 'f', 3)};
        if (withResults) {
            if (r.hasResult)
                f << r.search << number(r.startMf) << angle(r.finalPav) << angle(r.finalCrn) << number(r.finalMf)
                  << csvField(tierLabel(r.pavTier, r.pav)) << csvField(tierLabel(r.crnTier, r.crn)) << QString()
                  << (std::isfinite(r.marginTol) ? number(r.marginTol) : QString())
                  << (std::isfinite(r.marginWorst) ? number(r.marginWorst) : QString());
            else
                f << QString() << QString() << QString() << QString() << QString() << QString() << QString()
                  << csvField(r.failure) << QString() << QString();
            if (rough) {
                const auto stone = stoneInRough(r, *rough);
                f << (stone ? DecimalText(std::round(stone->weight * 1000) / 1000) : QString())
                  << (stone ? DecimalText(std::round(stone->fit.yieldPercent * 100) / 100) : QString());
            }
        }
        table += f.join(u',') + u'\n';
    }
    return table;
}

} // namespace zep::library
