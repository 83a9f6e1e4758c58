#include "merit/RobustMerit.h"

#include "common/NumText.h"
#include "runner/Runner.h"

#include <cmath>

namespace zep {

std::vector<std::pair<float, float>> stencil(float pav, float crn, float t, bool fixPav, bool fixCrn)
{
    const auto offsets = [t](bool fixed) {
        return fixed || t == 0 ? std::vector<float>{0} : std::vector<float>{0, -t, t};
    };
    std::vector<std::pair<float, float>> points;
    for (float dp : offsets(fixPav))
        for (float dc : offsets(fixCrn))
            points.emplace_back(pav + dp, crn + dc);
    return points;
}

QString marginText(const Margin& m)
{
    const long percent = std::lround(double(m.change()) * 100);
    QString sign = percent < 0 ? QStringLiteral("\u2212") : percent > 0 ? QStringLiteral("+") : QString();
    const auto leadingZero = [](QString s) { return s.startsWith(u'.') ? u'0' + s : s; };
    return QStringLiteral("within \u00b1%1\u00b0: at least %2 (%3%4 %)")
        .arg(leadingZero(Format(m.tolerance, u"#.00")), leadingZero(Format(m.worst, u"#.0")), sign)
        .arg(std::labs(percent));
}

const MeritRecord* RobustEvaluator::record(float pav, float crn)
{
    const std::pair<QString, QString> key{gemrayAngle(pav), gemrayAngle(crn)};
    const auto found = m_kept.find(key);
    if (found != m_kept.end())
        return &found->second;
    ++m_passedOn;
    m_inner.evaluate(pav, crn);
    if (m_abort || m_timedOut)
        return nullptr;
    return &m_kept.emplace(key, m_merit).first->second;
}

bool RobustEvaluator::worstOf(float pav, float crn, float t, const MeritRecord*& worst, std::pair<float, float>& at)
{
    worst = nullptr;
    for (const auto& point : stencil(pav, crn, t, m_fixPav, m_fixCrn)) {
        const MeritRecord* r = record(point.first, point.second);
        if (!r)
            return false;
        if (!worst || r->MFTotal < worst->MFTotal) {
            worst = r;
            at = point;
        }
    }
    return true;
}

void RobustEvaluator::evaluate(float pav, float crn)
{
    const MeritRecord* worst = nullptr;
    std::pair<float, float> at;
    // A stencil point that failed left its flag and its record as the
    // evaluation left them: the pair fails as that evaluation did.
    if (worstOf(pav, crn, m_tolerance, worst, at))
        m_merit = *worst;
}

std::optional<float> RobustEvaluator::plain(float pav, float crn)
{
    const MeritRecord* r = record(pav, crn);
    if (!r)
        return std::nullopt;
    return r->MFTotal;
}

std::optional<Margin> RobustEvaluator::margin(float pav, float crn, float t)
{
    const std::optional<float> centre = plain(pav, crn);
    const MeritRecord* worst = nullptr;
    std::pair<float, float> at;
    if (!centre || !worstOf(pav, crn, t, worst, at))
        return std::nullopt;
    Margin m;
    m.tolerance = t;
    m.mf = *centre;
    m.worst = worst->MFTotal;
    m.worstPav = at.first;
    m.worstCrn = at.second;
    return m;
}

void RobustEvaluator::keep(float pav, float crn, float mf)
{
    MeritRecord r;
    r.MFTotal = mf;
    m_kept.emplace(std::pair<QString, QString>{gemrayAngle(pav), gemrayAngle(crn)}, r);
}

} // namespace zep
