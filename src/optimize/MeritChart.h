#pragma once
// picMF: the bar chart of the merit function breakdown. Drawing happens in
// world coordinates (x from -0.5 to the last sweep + 0.5, at least 6.5; y
// from 0 at the bottom to a top set by the run) and stays drawn, later bars
// over earlier ones; the chart keeps what was drawn and paints it again at
// any size and scale.
#include <QColor>
#include <QRectF>
#include <QWidget>
#include <vector>

namespace zep {

class MeritChart : public QWidget {
    Q_OBJECT
public:
    explicit MeritChart(QWidget* parent = nullptr);

    void setTop(float top);
    // The sweeps the x axis shows: 1 to `sweeps` (at least 6).
    void setSweeps(int sweeps);
    int sweeps() const { return m_sweeps; }
    // A filled box between two world corners.
    void fillBox(QPointF a, QPointF b, const QColor& colour);
    // A horizontal line at world height y from x0 to x1.
    void line(float x0, float x1, float y, const QColor& colour);

    // The pixel of the widget that shows the world point (for tests).
    QPoint pixelAt(QPointF world) const;
    // The area of the widget that shows the world (axis labels lie below it).
    QRect plotArea() const;

    QSize sizeHint() const override { return {360, 220}; }

    // Which sweeps the axis numbers: every one while numbers `need` pixels
    // wide fit side by side at `room` pixels a sweep, else every 2nd, 5th,
    // 10th, 20th ... (at most every `sweeps`th).
    static int labelEvery(int sweeps, double room, int need);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    struct Stroke {
        QRectF box;   // world coordinates
        QColor colour;
        bool isLine = false;
    };
    QPointF toPixel(QPointF world) const;
    double worldWidth() const { return m_sweeps + 1.0; }

    float m_top = 1;
    int m_sweeps = 6;
    std::vector<Stroke> m_strokes;
};

} // namespace zep
