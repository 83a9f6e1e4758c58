#pragma once
// The part of the optimizer and mapper windows that the raytrace runner
// fills: the status box InfoWin and the "Current Gem" frame with the latest
// raytrace picture, its angles, index, tilt, brightness and caption.
#include "runner/Runner.h"

#include <QElapsedTimer>
#include <QImage>
#include <QSet>
#include <QTimer>
#include <QWidget>

class QBoxLayout;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace zep {

// A status box shows `text` in the given colours: white on red while GemRay
// runs, the system's button colours otherwise.
void showStatusIn(QLineEdit* box, const QString& text, StatusColours colours);
// A picture from a bitmap file; ZepError when it cannot be read.
QImage loadPicture(const QString& bitmapFile);

class CurrentGemPanel : public QWidget, public RaytraceView {
    Q_OBJECT
public:
    explicit CurrentGemPanel(QWidget* parent = nullptr);

    // RaytraceView
    void showStatus(const QString& text, StatusColours colours) override;
    void showPicture(const QString& bitmapFile) override;
    void showCurrentGem(const CurrentGemTexts& texts) override;
    void setPictureLabel(const QString& label) override;
    void repaintNow() override;

    // The controls, for the windows that embed the panel.
    QLineEdit* InfoWin() const { return m_info; }
    QLabel* imgCurGem() const { return m_image; }
    QLineEdit* txtCGPav() const { return m_pav; }
    QLineEdit* txtCGCrn() const { return m_crn; }
    QLineEdit* txtCGRI() const { return m_ri; }
    QLineEdit* txtCGXang() const { return m_xang; }
    QLineEdit* txtCGYang() const { return m_yang; }
    QLineEdit* txtCGIB() const { return m_ib; }
    QLineEdit* txtCGCB() const { return m_cb; }
    QLineEdit* txtCGPicLbl() const { return m_picLbl; }
    // The "Current Gem" frame, and a column at its right for the window's
    // own controls (the mapper's merit bar and legend).
    QGroupBox* currentGemFrame() const { return m_frame; }
    QBoxLayout* extraArea() const { return m_extra; }

private:
    QLineEdit* m_info;
    QGroupBox* m_frame;
    QLabel* m_image;
    QLineEdit *m_pav, *m_crn, *m_ri, *m_xang, *m_yang, *m_ib, *m_cb, *m_picLbl;
    QBoxLayout* m_extra;
    QSet<QWidget*> m_changed; // controls changed since the last repaint

    // At most one paint in this many milliseconds (20 a second).
    static constexpr qint64 PaintIntervalMs = 50;
    void paintDeferred();
    QElapsedTimer m_lastPaint;
    QTimer m_paintLater;
};

} // namespace zep
