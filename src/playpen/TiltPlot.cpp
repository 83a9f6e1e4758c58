#include "playpen/TiltPlot.h"
#include "playpen/PlayPen.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace zep {

TiltPlot::TiltPlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picTilt"));
    setFixedSize(280, 170);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TiltPlot::plot(const TiltCurves& curves)
{
    m_curves = curves;
    m_plotted = true;
    update();
}

void TiltPlot::clear()
{
    m_plotted = false;
    update();
}

void TiltPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const TiltCurves& c = m_curves;
    const TiltPlotScale scale = tiltPlotScale(c.PAng, c.PlotMaxISO, c.PlotMinISO);
    // Before the first plot, and on a tilt axis of no width, the box stays empty.
    if (!m_plotted || !scale.drawable())
        return;
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF size = this->size();
    // Points far outside the box are held at a distance the painter can draw.
    const auto at = [&](double x, double y) {
        const QPointF q = scale.toPixel(x, y, size);
        return QPointF(std::clamp(q.x(), -1e5, 1e5), std::clamp(q.y(), -1e5, 1e5));
    };
    const double radius = std::min(std::abs(0.5 / scale.width * size.width()), 1e5);
    const auto curve = [&](const std::array<float, 3>& iso, const QColor& colour) {
        p.setPen(QPen(colour, 2));
        p.setBrush(colour);
        const QPointF pts[3] = {at(0, iso[0]), at(c.PAng / 2, iso[1]), at(c.PAng, iso[2])};
        p.drawPolyline(pts, 3);
        for (const QPointF& q : pts)
            p.drawEllipse(q, radius, radius);
    };
    if (c.withReference)
        curve(c.reference, QColor(0, 0, 255));
    if (c.withCurrent)
        curve(c.current, palette().color(QPalette::ButtonText));
}

} // namespace zep
