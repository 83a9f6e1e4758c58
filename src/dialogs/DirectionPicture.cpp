#include "dialogs/DirectionPicture.h"

#include <QPainter>
#include <cmath>

namespace zep {

DirectionPicture::DirectionPicture(QWidget* parent) : QWidget(parent)
{
    setFixedSize(120, 120);
}

void DirectionPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double spoke = 34, labelAt = 48;
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    p.drawEllipse(centre, 4, 4);
    const QFontMetrics fm(font());
    for (int d = 1; d <= 8; ++d) {
        const double a = (d - 1) * M_PI / 4; // clockwise from straight up
        const QPointF dir(std::sin(a), -std::cos(a));
        p.drawLine(centre + 6 * dir, centre + spoke * dir);
        const QString n = QString::number(d);
        const QPointF at = centre + labelAt * dir;
        p.drawText(QPointF(at.x() - fm.horizontalAdvance(n) / 2.0, at.y() + fm.ascent() / 2.0 - 1), n);
    }
}

} // namespace zep
