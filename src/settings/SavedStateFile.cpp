#include "SavedStateFile.h"
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "optimize/TargetFile.h"

#include <cmath>
#include <variant>

namespace zep {

namespace {

using JobField = std::variant<QString JobState::*, float JobState::*, bool JobState::*,
                              int16_t JobState::*, QString DesignFileExchange::*>;

struct JobKey {
    const char* name;
    JobField field;
};

// Lines 2 to 23 in file order. "OldPav" … "STCrn" carry olPav … stCrn.
const std::array<JobKey, 22>& jobKeys()
{
    using J = JobState;
    using D = DesignFileExchange;
    static const std::array<JobKey, 22> k{{
        {"FDDrv", &D::FDDrv}, {"FDDir", &D::FDDir}, {"FDFile", &D::FDFile},
        {"OldPav", &J::olPav}, {"OldCrn", &J::olCrn}, {"STPav", &J::stPav}, {"STCrn", &J::stCrn},
        {"minPav", &J::minPav}, {"minCrn", &J::minCrn}, {"maxPav", &J::maxPav},
        {"maxCrn", &J::maxCrn}, {"fixPav", &J::fixPav}, {"fixCrn", &J::fixCrn},
        {"useFileRI", &J::useFileRI}, {"useSpecRI", &J::useSpecRI}, {"useMatRI", &J::useMatRI},
        {"theRI", &J::theRI}, {"theMat", &J::theMat}, {"theDisp", &J::theDisp},
        {"theRCol", &J::theRCol}, {"theGCol", &J::theGCol}, {"theBCol", &J::theBCol},
    }};
    return k;
}

} // namespace

QByteArray savedStateBytes(const SavedStateRefs& s)
{
    KvWriter w;
    w.number(QStringLiteral("ZEPLast"), 1);
    for (const JobKey& k : jobKeys()) {
        const QString name = QLatin1String(k.name);
        std::visit(
            [&](auto member) {
                using C = std::conditional_t<std::is_same_v<decltype(member), QString DesignFileExchange::*>,
                                             DesignFileExchange, JobState>;
                const C& owner = [&]() -> const C& {
                    if constexpr (std::is_same_v<C, DesignFileExchange>)
                        return s.design;
                    else
                        return s.job;
                }();
                using M = std::remove_cvref_t<decltype(owner.*member)>;
                if constexpr (std::is_same_v<M, QString>)
                    w.string(name, owner.*member);
                else if constexpr (std::is_same_v<M, bool>)
                    w.boolean(name, owner.*member);
                else
                    w.number(name, double(owner.*member));
            },
            k.field);
    }
    WriteOpt6(w, s.targets);
    for (const auto& k : WindowPositions::keys())
        w.number(QLatin1String(k.name), s.positions.*(k.field));
    w.string(QStringLiteral("END"), QStringLiteral("LastState"));
    return w.bytes();
}

void SaveState(const QString& path, const SavedStateRefs& s)
{
    writeFileSafely(path, savedStateBytes(s));
}

StateRead readSavedState(const QString& path, const SavedStateRefs& s, MessageSink& messages)
{
    QByteArray bytes;
    try {
        if (!fileExists(path))
            return StateRead::NoFile;
        bytes = readFileBytes(path);
    } catch (const ZepError& e) {
        messages.report(e, QStringLiteral("GetLast"));
        return StateRead::Failed;
    }
    return parseSavedState(bytes, s, messages);
}

StateRead parseSavedState(const QByteArray& bytes, const SavedStateRefs& s, MessageSink& messages)
{
    try {
        KvReader r(bytes);
        const KvPair header = r.next();
        if (header.keyText() != QLatin1String("ZEPLast")) {
            messages.message(QStringLiteral("ZEPLast.txt is not a ZEP Save State File. Aborting Load"));
            return StateRead::Refused;
        }
        if (!header.value.equalsNumber(1))
            messages.message(QStringLiteral("Restoring state from version ") + header.value.shownText()
                             + QStringLiteral(" This is version ") + NumText(1)
                             + QStringLiteral(" Proceed with caution"));
        for (;;) {
            const KvPair p = r.next();
            const QString key = p.keyText();
            for (const JobKey& k : jobKeys()) {
                if (key != QLatin1String(k.name))
                    continue;
                std::visit(
                    [&](auto member) {
                        if constexpr (std::is_same_v<decltype(member), QString DesignFileExchange::*>) {
                            s.design.*member = p.value.toText();
                        } else {
                            using M = std::remove_cvref_t<decltype(s.job.*member)>;
                            if constexpr (std::is_same_v<M, QString>)
                                s.job.*member = p.value.toText();
                            else if constexpr (std::is_same_v<M, bool>)
                                s.job.*member = p.value.toBool();
                            else if constexpr (std::is_same_v<M, float>)
                                s.job.*member = p.value.toSingle();
                            else
                                s.job.*member = p.value.toInteger();
                        }
                    },
                    k.field);
            }
            ParseOpt(s.targets, key, p.value);
            for (const auto& k : WindowPositions::keys())
                if (key == QLatin1String(k.name))
                    s.positions.*(k.field) = p.value.toSingle();
            if (key == QLatin1String("END"))
                return StateRead::Complete;
        }
    } catch (const ZepError& e) {
        messages.report(e, QStringLiteral("GetLast"));
        return StateRead::Failed;
    }
}

namespace {
const QString ResultKey = QStringLiteral("ZEPResult");
const char* const ResultNumbers[] = {"theFinalPav", "theFinalCrn", "theStartMF", "theFinalMF"};
const QString MarginKey = QStringLiteral("theMargin");
} // namespace

QByteArray lastResultBytes(const LastResult& r)
{
    KvWriter w;
    w.number(ResultKey, 1);
    w.string(QStringLiteral("fnam"), r.design);
    const float values[] = {r.pav, r.crn, r.startMF, r.finalMF};
    for (int k = 0; k < 4; ++k)
        w.number(QLatin1String(ResultNumbers[k]), values[k]);
    w.string(QStringLiteral("END"), ResultKey);
    if (!r.owner.isEmpty())
        w.string(QStringLiteral("theResultFor"), QString::fromLatin1(r.owner));
    if (!r.owner.isEmpty() && r.margin) {
        QStringList m;
        for (const float x : *r.margin)
            m << NumTextBare(x);
        w.string(MarginKey, m.join(u' '));
    }
    return w.bytes();
}

std::optional<LastResult> parseLastResult(const QByteArray& bytes)
{
    try {
        KvReader in(bytes);
        const KvPair head = in.next();
        if (head.keyText() != ResultKey || !head.value.equalsNumber(1))
            return std::nullopt;
        LastResult r;
        const KvPair design = in.next();
        if (design.keyText() != QLatin1String("fnam") || design.value.kind != KvValue::Kind::String
            || design.value.text.isEmpty())
            return std::nullopt;
        r.design = design.value.text;
        float* values[] = {&r.pav, &r.crn, &r.startMF, &r.finalMF};
        for (int k = 0; k < 4; ++k) {
            const KvPair p = in.next();
            if (p.keyText() != QLatin1String(ResultNumbers[k]) || p.value.kind != KvValue::Kind::Number)
                return std::nullopt;
            *values[k] = p.value.toSingle();
            if (!std::isfinite(*values[k]))
                return std::nullopt;
        }
        const KvPair end = in.next();
        if (end.keyText() != QLatin1String("END") || end.value.toText() != ResultKey)
            return std::nullopt;
        for (const float a : {r.pav, r.crn})
            if (!(a >= 0.1f && a <= 89.9f))
                return std::nullopt;
        // After the end only what the result was computed for (and then its
        // margin) may follow: anything else is a damaged file, which is not trusted.
        if (!in.atEnd()) {
            const KvPair owner = in.next();
            if (owner.keyText() != QLatin1String("theResultFor") || owner.value.kind != KvValue::Kind::String
                || owner.value.text.isEmpty())
                return std::nullopt;
            r.owner = owner.value.text.toLatin1();
        }
        // Then, with an owner only, the margin: four finite numbers, the
        // tolerance from 0 to 1 and the angles within a raytrace's.
        if (!in.atEnd()) {
            const KvPair margin = in.next();
            const QStringList parts = margin.value.text.split(u' ');
            if (margin.keyText() != MarginKey || margin.value.kind != KvValue::Kind::String || parts.size() != 4
                || !in.atEnd())
                return std::nullopt;
            std::array<float, 4> m{};
            for (std::size_t k = 0; k < 4; ++k) {
                m[k] = ToSingle(StrictNumber(parts[qsizetype(k)]));
                if (!std::isfinite(m[k]))
                    return std::nullopt;
            }
            if (!(m[0] >= 0 && m[0] <= 1) || !(m[2] >= 0.1f && m[2] <= 89.9f) || !(m[3] >= 0.1f && m[3] <= 89.9f))
                return std::nullopt;
            r.margin = m;
        }
        return r;
    } catch (const ZepError&) {
        return std::nullopt; // cut short or not numbers
    }
}

void saveLastResult(const QString& path, const LastResult& r)
{
    if (!kvStorable(r.design)) {
        removeIfExists(path);
        return;
    }
    writeFileSafely(path, lastResultBytes(r));
}

std::optional<LastResult> readLastResult(const QString& path)
{
    try {
        if (!fileExists(path))
            return std::nullopt;
        return parseLastResult(readFileBytes(path, 1 << 16));
    } catch (const ZepError&) {
        return std::nullopt;
    }
}

} // namespace zep
