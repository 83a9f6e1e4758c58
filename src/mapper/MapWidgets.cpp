#include "MapWidgets.h"

#include <QMouseEvent>
#include <QPainter>

namespace zep {

PixelPicture::PixelPicture(QSize imageSize, int scaleX, int scaleY, QWidget* parent)
    : QWidget(parent), m_scaleX(scaleX), m_scaleY(scaleY)
{
    setFixedSize(imageSize.width() * scaleX, imageSize.height() * scaleY);
}

void PixelPicture::setImage(const QImage& image)
{
    m_image = image;
    update();
}

QPointF PixelPicture::toImage(QPointF p) const
{
    return {p.x() / m_scaleX, p.y() / m_scaleY};
}

void PixelPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.fillRect(rect(), palette().color(QPalette::Window).darker(110));
        return;
    }
    // Whole multiples without smoothing: every image pixel stays a sharp block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, m_image.width() * m_scaleX, m_image.height() * m_scaleY), m_image);
}

void PixelPicture::mouseReleaseEvent(QMouseEvent* e)
{
    emit released(toImage(e->position()));
}

MeritBarPicture::MeritBarPicture(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(60, 220);
}

void MeritBarPicture::setBar(const MeritBar& bar)
{
    m_bar = bar;
    update();
}

void MeritBarPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // World coordinates: x from −0.5 to 0.5, y from 0 (bottom) to top.
    const double top = m_bar.top > 0 ? double(m_bar.top) : 1.0;
    const auto px = [&](double x) { return (x + 0.5) * width(); };
    const auto py = [&](double y) { return height() * (1 - y / top); };
    const double left = px(-MeritBar::Width / 2), right = px(MeritBar::Width / 2);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    double base = 0;
    for (const MeritBar::Box& b : m_bar.boxes) {
        const QColor colour(b.colour.r, b.colour.g, b.colour.b);
        painter.fillRect(QRectF(QPointF(left, py(b.base + b.height)), QPointF(right, py(b.base))).normalized(), colour);
        base = double(b.base) + double(b.height);
    }
    // What lies above the bar shows no earlier, taller bar.
    if (py(base) > 0)
        painter.fillRect(QRectF(left, 0, right - left, py(base)), palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawLine(QPointF(left, py(m_bar.line)), QPointF(right, py(m_bar.line)));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace zep
