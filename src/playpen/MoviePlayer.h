#pragma once
// The PlayPen's movie: the frames of a tilt movie played in a loop (a rock
// forward and back), with Play/Pause, a frame slider and a speed, and the
// ISO brightness of each frame as a curve under the picture with the frame
// shown marked.
#include "movie/Movie.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace zep {

// picMovieISO: the frames' ISO brightness, the current frame marked in red.
class MovieCurve : public QWidget {
public:
    explicit MovieCurve(QWidget* parent = nullptr);
    void setCurve(std::vector<float> iso);
    void mark(int frame);
    // The pixel at which frame k's point is drawn.
    QPointF pointOf(int frame) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<float> m_iso;
    int m_mark = 0;
};

class MoviePlayer : public QWidget {
public:
    // The pictures are shown at `scale` times their size, pixels sharp.
    explicit MoviePlayer(int scale, QWidget* parent = nullptr);

    // Takes the movie's frames (none: an empty player) and shows frame 0.
    void setMovie(const Movie& movie);
    int frames() const { return int(m_pictures.size()); }
    void play();
    void pause();
    bool playing() const { return m_timer.isActive(); }
    // Shows frame k (0 to frames - 1); playing goes on from there.
    void showFrame(int frame);
    int currentFrame() const { return m_frame; }
    // The picture shown, at its own size.
    const QImage& picture() const;
    // Hundredths of a second a frame, from the speed in frames a second.
    int delayCs() const;

private:
    void step();

    std::vector<QImage> m_pictures;
    std::vector<int> m_order;
    std::vector<QString> m_captions;
    int m_position = 0, m_frame = 0, m_scale;
    QTimer m_timer;
    QLabel* m_view;
    QLabel* m_caption;
    MovieCurve* m_curve;
    QPushButton* m_play;
    QSlider* m_slider;
    QSpinBox* m_speed;
};

} // namespace zep
