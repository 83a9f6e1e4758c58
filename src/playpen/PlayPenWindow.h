#pragma once
// frmPlayDLOG "PlayPen": raytrace one design at typed angles, index and tilt,
// keep a reference, evaluate tilt (with its plot), render the colour image,
// copy the images beside the design, play with another design and choose
// another material (frmPlayMatDLOG).
#include "design/DesignDialogs.h"
#include "dialogs/DialogEnv.h"
#include "movie/Movie.h"
#include "playpen/PlayPen.h"

#include <QDialog>
#include <QImage>
#include <QLabel>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QStackedWidget;
class QPushButton;
class QRadioButton;

namespace zep {

class MoviePlayer;
class TiltPlot;

// What the PlayPen needs from the application.
struct PlayPenEnv {
    RunnerEnv runner;      // its views are replaced by the PlayPen's own
    DesignEnv design;      // the job, materials, positions and the design file dialog
    DialogEnv dialogs;     // the yes/no and four-number dialogs
    PlayPenValues& values;
    // The main window's optimized angles (txtItPav, txtItCrn) as shown.
    QString txtItPav, txtItCrn;
};

// A raytrace image shown at twice its size with sharp pixels.
class GemImage : public QLabel {
public:
    // Shown at `scale` times its size (2 where the screen has room).
    explicit GemImage(int scale, QWidget* parent = nullptr);
    // Shows a bitmap file; ZepError when it cannot be read.
    void showFile(const QString& bitmapFile);
    // The image as read, at its own size (null before the first).
    const QImage& image() const { return m_image; }
    // No image.
    void clearImage();

private:
    QImage m_image;
    int m_scale;
};

class PlayPenWindow : public QDialog, public RaytraceView {
    Q_OBJECT
public:
    explicit PlayPenWindow(PlayPenEnv& env, QWidget* parent = nullptr);
    ~PlayPenWindow() override;

    // Escape and the window's close box close it as Cancel does, while
    // Cancel is enabled.
    void reject() override;

    // RaytraceView: the runner's status line and images.
    void showStatus(const QString& text, StatusColours colours) override;
    void showPicture(const QString& bitmapFile) override;
    void showCurrentGem(const CurrentGemTexts&) override {}
    void setPictureLabel(const QString&) override {}
    void repaintNow() override;

    PlayPen& pen() { return *m_pen; }
    // The movie made last (its frames, those done when it was aborted).
    const Movie& movie() const { return m_movie; }

public slots:
    void CalcButton_Click();
    void btnMakeRef_Click();
    void btnSaveBMP_Click();
    void btnLoadFile_Click();
    void btnGemMat_Click();
    void btnPlotLim_Click();
    void CancelButton_Click();
    // Make Movie: the frames raytraced one by one through the console, then
    // played; Abort stops after the frame in progress and keeps those done;
    // Save Movie writes an animated GIF, or WebP for a name ending in ".webp".
    void btnMakeMovie_Click();
    void btnAbortMovie_Click();
    void btnSaveMovie_Click();

private:
    void Form_Load();
    void EnableButtons();
    void DoTiltPlot();
    void setButtonsEnabled(bool on);
    template <class F>
    bool guarded(const char* routine, F&& f);

    PlayPenEnv& m_env;
    std::unique_ptr<PlayPen> m_pen;

    QLineEdit *txtCurPav, *txtCurCrn, *txtCurRI, *txtCurDisp, *txtCurDir, *txtCurAng;
    QLineEdit *txtRefPav, *txtRefCrn, *txtRefRI, *txtRefDisp, *txtRefDir, *txtRefAng;
    QLineEdit *txtCurISO, *txtRefISO, *txtCurCOS, *txtRefCOS;
    QRadioButton *optNormal, *optTilt, *optRGB;
    TiltPlot* picTilt;
    QLineEdit *txtX1, *txtX2, *txtY1, *txtY2;
    QLineEdit *txtCurAvg, *txtRefAvg, *txtCurVar, *txtRefVar;
    QLineEdit *txtCurFile, *txtRefFile;
    GemImage *imgCurRan, *imgCurCos, *ImgCurISO, *ImgRefRan, *ImgRefCos, *ImgRefISO;
    QLineEdit* txtInfoWin;
    QPushButton *btnGemMat, *btnPlotLim, *btnLoadFile, *btnMakeRef, *btnSaveBMP, *CalcButton, *CancelButton;
    QRadioButton *optRock, *optOrbit;
    QLineEdit* txtFrames;
    QComboBox* cmbMovieImage;
    QPushButton *btnMakeMovie, *btnAbortMovie, *btnSaveMovie;
    QCheckBox* chkShowMovie;
    QProgressBar* prgMovie;
    QStackedWidget* stkImages;
    MoviePlayer* picMovie;
    Movie m_movie;
    bool m_abortMovie = false;
};

// Opens the PlayPen modally; returns when it has closed.
void showPlayPen(PlayPenEnv& env, QWidget* parent = nullptr);

// frmPlayMatDLOG "PlayPen Gem Material": a material from the table fills
// `ri` and `disp` (the PlayPen's boxes) and becomes `playMat`; the body
// colour goes to the job's theRCol, theGCol and theBCol.
void showPlayMatDialog(DesignEnv& env, QString& playMat, QLineEdit* ri, QLineEdit* disp,
                       QWidget* parent = nullptr);

} // namespace zep
