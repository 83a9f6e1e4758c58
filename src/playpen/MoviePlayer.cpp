#include "playpen/MoviePlayer.h"

#include "common/NumText.h"
#include "dialogs/WindowSupport.h"
#include "movie/MovieFile.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

namespace zep {

MovieCurve::MovieCurve(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picMovieISO"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MovieCurve::setCurve(std::vector<float> iso)
{
    m_iso = std::move(iso);
    m_mark = 0;
    update();
}

void MovieCurve::mark(int frame)
{
    m_mark = frame;
    update();
}

QPointF MovieCurve::pointOf(int frame) const
{
    const auto [lo, hi] = std::minmax_element(m_iso.begin(), m_iso.end());
    // A flat curve runs through the middle; otherwise 10 % beyond each end.
    const double range = *hi - *lo, bottom = *lo - (range > 0 ? 0.1 * range : 1), span = range > 0 ? 1.2 * range : 2;
    const double x = m_iso.size() > 1 ? double(frame) / double(m_iso.size() - 1) : 0.5;
    const double margin = 6;
    return {margin + x * (width() - 2 * margin), height() - (m_iso[std::size_t(frame)] - bottom) / span * height()};
}

void MovieCurve::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (m_iso.empty())
        return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::ButtonText), 1.5));
    QPolygonF line;
    for (int k = 0; k < int(m_iso.size()); ++k)
        line << pointOf(k);
    p.drawPolyline(line);
    const QPointF at = pointOf(m_mark);
    p.setPen(QPen(QColor(255, 0, 0), 1));
    p.drawLine(QPointF(at.x(), 0), QPointF(at.x(), height()));
    p.setBrush(QColor(255, 0, 0));
    p.drawEllipse(at, 3.5, 3.5);
}

MoviePlayer::MoviePlayer(int scale, QWidget* parent) : QWidget(parent), m_scale(scale)
{
    setObjectName(QStringLiteral("picMovie"));
    const int side = ImageSide * scale + 2;
    m_view = named(new QLabel(this), "imgMovie");
    m_view->setFixedSize(side, side);
    m_view->setFrameShape(QFrame::Box);
    m_view->setAlignment(Qt::AlignCenter);
    m_curve = named(new MovieCurve(this), "picMovieCurve");
    m_curve->setFixedSize(side, 40);
    m_slider = named(new QSlider(Qt::Horizontal, this), "sldFrame");
    m_play = named(new QPushButton(QStringLiteral("Play"), this), "btnPlay");
    m_play->setAutoDefault(false);
    m_speed = named(new QSpinBox(this), "spnSpeed");
    m_speed->setRange(1, 50);
    m_speed->setValue(100 / DefaultMovieDelayCs);
    m_speed->setSuffix(QStringLiteral(" frames/s"));
    m_caption = named(new QLabel(this), "lblMovieFrame");
    m_caption->setWordWrap(true);
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Beside the picture the controls, under it the curve. The controls keep
    // one width whichever caption Play/Pause and the frame's line show.
    auto* block = named(new QWidget(this), "movieControls");
    auto* controls = new QVBoxLayout(block);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->addWidget(m_play);
    controls->addWidget(new QLabel(QStringLiteral("Frame"), this));
    controls->addWidget(m_slider);
    controls->addWidget(new QLabel(QStringLiteral("Speed"), this));
    controls->addWidget(m_speed);
    controls->addWidget(m_caption, 1);
    auto* g = new QGridLayout(this);
    g->setContentsMargins(0, 0, 0, 0);
    g->setVerticalSpacing(2);
    g->addWidget(m_view, 0, 0);
    g->addWidget(block, 0, 1);
    g->addWidget(m_curve, 1, 0);
    g->setColumnStretch(2, 1);

    int width = std::max(m_speed->sizeHint().width(), fontMetrics().averageCharWidth() * 16);
    for (const char* caption : {"Play", "Pause"}) {
        m_play->setText(QLatin1String(caption));
        width = std::max(width, m_play->sizeHint().width());
    }
    m_play->setText(QStringLiteral("Play"));
    block->setFixedWidth(width);

    connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
    connect(m_play, &QPushButton::clicked, this, [this] { playing() ? pause() : play(); });
    connect(m_speed, &QSpinBox::valueChanged, this, [this](int fps) { m_timer.setInterval(1000 / fps); });
    connect(m_slider, &QSlider::valueChanged, this, [this](int k) { showFrame(k); });
    m_timer.setInterval(1000 / m_speed->value());
    setMovie(Movie{});
}

void MoviePlayer::setMovie(const Movie& movie)
{
    pause();
    m_pictures.clear();
    m_captions.clear();
    std::vector<float> iso;
    for (const MovieFrame& f : movie.frames) {
        const std::vector<uint8_t> rgb = frameRgb(f.bitmap);
        m_pictures.push_back(QImage(rgb.data(), ImageSide, ImageSide, 3 * ImageSide, QImage::Format_RGB888).copy());
        iso.push_back(f.iso);
        const QString where = movie.spec.sweep == Sweep::Rock
                                  ? QStringLiteral("tilt%1 in direction%2").arg(NumText(f.at.tilt), NumText(f.at.direction))
                                  : QStringLiteral("tilt%1 towards%2°").arg(NumText(f.at.tilt), NumText(f.at.direction));
        m_captions.push_back(QStringLiteral("%1, ISO%2").arg(where, NumText(f.iso)));
    }
    m_order = movie.savedOrder();
    // The loop starts anew before the slider's range (whose change shows a frame) does.
    m_position = 0;
    m_frame = -1;
    m_curve->setCurve(iso);
    m_slider->setRange(0, std::max(0, frames() - 1));
    m_play->setEnabled(frames() > 1);
    if (frames() == 0) {
        m_view->clear();
        m_caption->clear();
        return;
    }
    m_slider->setValue(0);
    showFrame(0);
}

void MoviePlayer::play()
{
    if (frames() < 2)
        return;
    m_timer.start();
    m_play->setText(QStringLiteral("Pause"));
}

void MoviePlayer::pause()
{
    m_timer.stop();
    m_play->setText(QStringLiteral("Play"));
}

void MoviePlayer::showFrame(int frame)
{
    if (frame < 0 || frame >= frames() || frame == m_frame)
        return;
    m_frame = frame;
    // The loop goes on from this frame, the way it was going.
    if (m_order[std::size_t(m_position)] != frame)
        m_position = int(std::find(m_order.begin(), m_order.end(), frame) - m_order.begin());
    const QImage& image = m_pictures[std::size_t(frame)];
    m_view->setPixmap(QPixmap::fromImage(image.scaled(image.size() * m_scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    m_caption->setText(QStringLiteral("Frame %1 of %2: %3").arg(frame + 1).arg(frames()).arg(m_captions[std::size_t(frame)]));
    m_curve->mark(frame);
    m_slider->setValue(frame);
}

void MoviePlayer::step()
{
    m_position = (m_position + 1) % int(m_order.size());
    showFrame(m_order[std::size_t(m_position)]);
}

const QImage& MoviePlayer::picture() const
{
    static const QImage none;
    return frames() == 0 ? none : m_pictures[std::size_t(m_frame)];
}

int MoviePlayer::delayCs() const
{
    return int(std::lround(100.0 / m_speed->value()));
}

} // namespace zep
