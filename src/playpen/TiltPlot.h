#pragma once
// picTilt: the ISO brightness at no, half and full tilt as a three-point
// curve, with the reference gem's curve in blue when there is one.
#include <QWidget>
#include <array>

namespace zep {

// What DoTiltPlot draws: both curves, the tilt angle and the plot limits.
struct TiltCurves {
    std::array<float, 3> current{};
    std::array<float, 3> reference{};
    bool withReference = false;
    float PAng = 0;
    float PlotMaxISO = 100, PlotMinISO = 0;
    bool withCurrent = true; // false: the reference alone (a new design, not yet tilted)
};

class TiltPlot : public QWidget {
public:
    explicit TiltPlot(QWidget* parent = nullptr);
    // Draws the curves (and keeps them: the plot repaints itself).
    void plot(const TiltCurves& curves);
    // An empty box again (another design was loaded).
    void clear();
    bool plotted() const { return m_plotted; }
    const TiltCurves& curves() const { return m_curves; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TiltCurves m_curves;
    bool m_plotted = false;
};

} // namespace zep
