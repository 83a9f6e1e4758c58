#pragma once
// What every ZEP window does alike: open at its saved place and store it (in
// twips), set tooltips only while DoTips is on, select a box's whole text
// when it gains the focus, and show messages in message boxes.
#include "common/Messages.h"

#include <QColor>
#include <QLabel>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <initializer_list>
#include <optional>

class QWidget;
class QLineEdit;
class QHBoxLayout;
class QPushButton;

namespace zep {

// A label showing a file's path. However long the path, the label asks its
// layout for no more room than its minimum width, so a design deep in the
// folders cannot push a window past the screen; a path that does not fit
// loses its middle, keeping the folder's start and the file's name (a plain
// label would cut the name off). text() is the whole path.
class PathLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    QString shownText() const; // the path as it fits the label now

protected:
    void paintEvent(QPaintEvent*) override;
};

// Gives a control its name (the name tests and handlers know it by).
template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

// A row of buttons at the right (OK, Cancel).
QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons);

// Twips (1/1440 inch) and pixels, with the screen's logical DPI.
int twipsToPixels(float twips, const QWidget* w, bool vertical);
float pixelsToTwips(int pixels, const QWidget* w, bool vertical);
// Places a window with its frame's top left at (top, left) in twips, kept on
// a screen. A window not yet shown goes there when it is shown; from then on
// it narrows or shortens only as far as its word-wrapped texts still fit.
void placeWindow(QWidget* w, float top, float left);
// The same in pixels.
void placeWindowAt(QWidget* w, QPoint frameTopLeft);
// The window's frame position in twips.
void storeWindowPosition(const QWidget* w, float& top, float& left);
// The same in pixels.
QPoint framePosition(const QWidget* w);
// The frame of a window whose frame geometry is `frame` around its own
// geometry `inside`: none when nothing frames it or when the reading is no
// frame's (taken before the window manager framed the window, or midway).
std::optional<QMargins> frameAround(const QRect& frame, const QRect& inside);
// Where a window of `frameSize` (frame included) may open with its frame's
// top left near `wanted`: whole on one screen when it fits there, its top
// left corner on the screen in any case.
QPoint keptOnScreen(QPoint wanted, QSize frameSize);

// The room for windows on the screen `w` is on (the primary screen when it
// has none yet): the screen less its panels.
QSize availableScreenSize(const QWidget* w = nullptr);
// Gives a resizable window `share` of that room where it is more than the
// window needs (a large screen), else the size it needs.
void useScreenShare(QWidget* w, double share);

// Sets a tooltip when tips are on (the control keeps none otherwise).
void setTip(QWidget* w, bool doTips, const QString& tip);

// Selects the whole text of a line edit whenever it gains the focus.
void selectAllOnFocus(QLineEdit* box);

// Scroll bars whose handle reads as the handle: darker than its groove (the
// style's own handle, lighter than the groove, was taken for the part of
// the list below, so that a list at its top seemed scrolled to its end).
void setScrollBarLook();

// The box above a folder list ("txtDirPath") that shows the folder and takes
// a typed or pasted path: Enter calls `go` with the folder it names and, for
// a file, the file's name, and presses no button of the dialog. A path to
// nothing gets a message.
QLineEdit* folderPathBox(QWidget* parent, MessageSink& messages,
                         std::function<void(const QString& folder, const QString& file)> go);
// Shows `folder` in such a box; a relative path typed there starts from it.
void showFolder(QLineEdit* box, const QString& folder);

// The colour of a warning in ZEP's windows (a result that can lose much).
inline QColor warningColour() { return QColor(176, 0, 0); }

// Message boxes titled "ZEP" (or the given title) with OK, or Yes and No.
class MessageBoxSink : public MessageSink {
public:
    explicit MessageBoxSink(QWidget* parent = nullptr) : m_parent(parent) {}
    void message(const QString& text, const QString& title = QStringLiteral("ZEP")) override;
    bool question(const QString& text, const QString& title = QStringLiteral("ZEP")) override;

private:
    QWidget* m_parent;
};

} // namespace zep
