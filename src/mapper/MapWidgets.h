#pragma once
// The mapper window's pictures: an image shown at whole multiples of its
// size with sharp pixels, whose clicks come back in the image's own pixels,
// and the stacked merit bar.
#include "mapper/Mapper.h"

#include <QImage>
#include <QWidget>

namespace zep {

class PixelPicture : public QWidget {
    Q_OBJECT
public:
    // An image of imageSize pixels, each shown as scaleX × scaleY pixels.
    PixelPicture(QSize imageSize, int scaleX, int scaleY, QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // A widget point in the image's own pixels (fractions kept).
    QPointF toImage(QPointF widgetPoint) const;

signals:
    // Any mouse button released over (or dragged off) the picture.
    void released(QPointF imagePoint);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QImage m_image;
    int m_scaleX, m_scaleY;
};

// picMF: the switched-on components stacked from 0, the rest of the height
// in the button face colour, a line at MF0.
class MeritBarPicture : public QWidget {
    Q_OBJECT
public:
    explicit MeritBarPicture(QWidget* parent = nullptr);
    void setBar(const MeritBar& bar);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    MeritBar m_bar;
};

} // namespace zep
