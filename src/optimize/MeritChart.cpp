#include "optimize/MeritChart.h"

#include <QPainter>
#include <cmath>

namespace zep {

namespace {

constexpr double Left = -0.5;
constexpr int AxisHeight = 34; // the sweep numbers and "Iteration" below the plot

} // namespace

MeritChart::MeritChart(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picMF"));
    setMinimumSize(280, 160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void MeritChart::setTop(float top)
{
    m_top = top;
    update();
}

void MeritChart::setSweeps(int sweeps)
{
    m_sweeps = std::max(6, sweeps);
    update();
}

void MeritChart::fillBox(QPointF a, QPointF b, const QColor& colour)
{
    m_strokes.push_back(Stroke{QRectF(a, b).normalized(), colour, false});
    update();
}

void MeritChart::line(float x0, float x1, float y, const QColor& colour)
{
    m_strokes.push_back(Stroke{QRectF(QPointF(x0, y), QPointF(x1, y)), colour, true});
    update();
}

QRect MeritChart::plotArea() const
{
    return QRect(0, 0, width(), std::max(1, height() - AxisHeight));
}

QPointF MeritChart::toPixel(QPointF world) const
{
    const QRect p = plotArea();
    const double x = (world.x() - Left) / worldWidth() * p.width();
    const double y = p.height() - world.y() / double(m_top) * p.height();
    return {x, y};
}

QPoint MeritChart::pixelAt(QPointF world) const
{
    const QPointF p = toPixel(world);
    return {int(std::floor(p.x())), int(std::floor(p.y()))};
}

int MeritChart::labelEvery(int sweeps, double room, int need)
{
    int every = 1;
    for (int k = 0; every * room < need && every < sweeps; ++k)
        every = (k % 3 == 1 ? 5 : 2) * every / (k % 3 == 1 ? 2 : 1);
    return every;
}

void MeritChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect plot = plotArea();
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setClipRect(plot);
    for (const Stroke& s : m_strokes) {
        const QPointF a = toPixel(s.box.topLeft());
        const QPointF b = toPixel(s.box.bottomRight());
        if (s.isLine) {
            painter.setPen(s.colour);
            painter.drawLine(QPointF(a.x(), std::round(a.y())), QPointF(b.x(), std::round(a.y())));
        } else {
            // Whole pixels, so that neighbouring boxes meet without seams.
            const QRect r(QPoint(int(std::lround(std::min(a.x(), b.x()))), int(std::lround(std::min(a.y(), b.y())))),
                          QPoint(int(std::lround(std::max(a.x(), b.x()))) - 1,
                                 int(std::lround(std::max(a.y(), b.y()))) - 1));
            painter.fillRect(r, s.colour);
        }
    }
    painter.setClipping(false);
    // The frame over the bars, which erase what stands above them.
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));

    // The axis: the sweeps (labelEvery) and its name.
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics fm(font());
    const double room = plot.width() / worldWidth();
    const int need = fm.horizontalAdvance(QString::number(m_sweeps)) + fm.horizontalAdvance(QLatin1Char(' '));
    const int every = labelEvery(m_sweeps, room, need);
    for (int i = every; i <= m_sweeps; i += every) {
        const QString label = QString::number(i);
        const int x = int(std::lround(toPixel(QPointF(i, 0)).x()));
        painter.drawText(x - fm.horizontalAdvance(label) / 2, plot.bottom() + fm.ascent() + 2, label);
    }
    const QString axis = QStringLiteral("Iteration");
    painter.drawText((width() - fm.horizontalAdvance(axis)) / 2, plot.bottom() + 2 * fm.height() + 2, axis);
}

} // namespace zep
