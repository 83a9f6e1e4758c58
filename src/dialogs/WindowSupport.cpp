#include "WindowSupport.h"
#include "common/FileIO.h"

#include <QApplication>
#include <QGuiApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace zep {

namespace {

double dpi(const QWidget* w, bool vertical)
{
    const QScreen* s = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return 96.0;
    const double d = vertical ? s->logicalDotsPerInchY() : s->logicalDotsPerInchX();
    return d > 0 ? d : 96.0;
}

class SelectAllFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::FocusIn)
            if (auto* box = qobject_cast<QLineEdit*>(o))
                // after the focus change has settled (a mouse click would undo it)
                QTimer::singleShot(0, box, [box] { box->setSelection(0, int(box->text().size())); });
        return false;
    }
};

// The window manager's frame around a window on screen, once it is known
// (Qt learns it some time after the window first shows).
std::optional<QMargins> knownFrame(const QWidget* w)
{
    if (!w->isVisible() || w->isMinimized() || w->isMaximized() || w->isFullScreen())
        return std::nullopt;
    return frameAround(w->frameGeometry(), w->geometry());
}

// The frame a window will get: its own, or that of another framed window on
// screen (the window manager frames them alike); none when nothing is framed.
QMargins expectedFrame(const QWidget* w)
{
    if (const auto own = knownFrame(w))
        return *own;
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != w)
            if (const auto m = knownFrame(other))
                return *m;
    return {};
}

// Moves a window so that its frame's top left lands at `at` (kept on a
// screen). QWidget::move adds the frame Qt knows of at the time, which is
// none for a window the window manager has not framed yet.
void moveFrameTo(QWidget* w, QPoint at)
{
    const QMargins frame = expectedFrame(w);
    at = keptOnScreen(at, w->size().grownBy(frame));
    const QPoint knownToQt = w->geometry().topLeft() - w->frameGeometry().topLeft();
    w->move(at + QPoint(frame.left(), frame.top()) - knownToQt);
}

// A word-wrapped text grows taller as its window narrows, and the least size
// a layout gives a window does not count that: at the least width the texts
// would be cut and the widgets below them drawn over one another. The window
// keeps the height it opens with where it can and narrows only as far as its
// texts still fit in that height; one too short for them as it opens keeps
// its width and grows.
void holdWrappedTexts(QWidget* w)
{
    QLayout* layout = w->layout();
    if (!layout || !layout->hasHeightForWidth())
        return;
    const auto need = [layout](int width) { return layout->minimumHeightForWidth(width); };
    const int height = std::max(w->height(), w->minimumHeight());
    int least = std::max(w->minimumWidth(), layout->totalMinimumSize().width());
    int fits = std::max(least, w->width()); // the least width known to fit
    if (need(fits) > height)
        least = fits;
    while (least < fits) { // the texts' height falls as the width grows
        const int mid = least + (fits - least) / 2;
        if (need(mid) <= height)
            fits = mid;
        else
            least = mid + 1;
    }
    w->setMinimumSize(std::max(w->minimumWidth(), fits),
                      std::max(w->minimumHeight(), need(fits)));
}

// Puts a window's frame at its place just before the window appears: its
// size is final then, and the window manager takes the position of the
// window's inside. (A frame position set before the size settles is lost
// under X11.)
class FramePlacer : public QObject {
public:
    static constexpr const char* Name = "zepFramePlacer";
    FramePlacer(QWidget* w, QPoint frameTopLeft) : QObject(w), m_frameTopLeft(frameTopLeft)
    {
        setObjectName(QLatin1String(Name));
        w->installEventFilter(this);
    }
    void setTarget(QPoint frameTopLeft) { m_frameTopLeft = frameTopLeft; }

    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Show && o == parent()) {
            auto* w = static_cast<QWidget*>(o);
            holdWrappedTexts(w);
            moveFrameTo(w, m_frameTopLeft);
            w->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPoint m_frameTopLeft;
};

} // namespace

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

int twipsToPixels(float twips, const QWidget* w, bool vertical)
{
    return int(std::lround(double(twips) * dpi(w, vertical) / 1440.0));
}

float pixelsToTwips(int pixels, const QWidget* w, bool vertical)
{
    return float(std::round(pixels * 1440.0 / dpi(w, vertical)));
}

QSize availableScreenSize(const QWidget* w)
{
    const QScreen* s = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().size() : QSize();
}

void useScreenShare(QWidget* w, double share)
{
    const QSize room = availableScreenSize(w);
    const QSize need = w->sizeHint().expandedTo(w->minimumSizeHint());
    const auto side = [&](int r, int n) { return std::min(std::max(int(r * share), n), std::max(r, n)); };
    w->resize(side(room.width(), need.width()), side(room.height(), need.height()));
}

std::optional<QMargins> frameAround(const QRect& frame, const QRect& inside)
{
    const QMargins m(inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
                     frame.bottom() - inside.bottom());
    // Readings taken before the window manager framed the window, or while it
    // changes the frame, are out of these bounds (a title bar of up to 120
    // pixels, borders of up to 40).
    const bool plausible = m.left() >= 0 && m.right() >= 0 && m.bottom() >= 0 && m.top() >= 0
                           && m.left() <= 40 && m.right() <= 40 && m.bottom() <= 40 && m.top() <= 120;
    if (m.isNull() || !plausible)
        return std::nullopt;
    return m;
}

QPoint keptOnScreen(QPoint wanted, QSize frameSize)
{
    const QRect frame(wanted, frameSize);
    // The screen holding most of the window, else the nearest one.
    const QScreen* best = nullptr;
    qint64 bestArea = -1;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect a = s->availableGeometry();
        const QRect common = a.intersected(frame);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        const QPoint c = a.center() - frame.center();
        const qint64 distance = qint64(c.x()) * c.x() + qint64(c.y()) * c.y();
        if (area > bestArea || (area == bestArea && distance < bestDistance)) {
            best = s;
            bestArea = area;
            bestDistance = distance;
        }
    }
    if (!best)
        return wanted;
    const QRect a = best->availableGeometry();
    const int x = std::clamp(wanted.x(), a.left(), std::max(a.left(), a.right() + 1 - frameSize.width()));
    const int y = std::clamp(wanted.y(), a.top(), std::max(a.top(), a.bottom() + 1 - frameSize.height()));
    return {x, y};
}

void placeWindowAt(QWidget* w, QPoint frameTopLeft)
{
    if (w->isVisible()) {
        moveFrameTo(w, frameTopLeft);
        return;
    }
    // Until it shows, the window stands where it asked to be.
    w->move(frameTopLeft);
    if (QObject* placer = w->findChild<QObject*>(QLatin1String(FramePlacer::Name), Qt::FindDirectChildrenOnly))
        static_cast<FramePlacer*>(placer)->setTarget(frameTopLeft);
    else
        new FramePlacer(w, frameTopLeft);
}

void placeWindow(QWidget* w, float top, float left)
{
    placeWindowAt(w, QPoint(twipsToPixels(left, w, false), twipsToPixels(top, w, true)));
}

QPoint framePosition(const QWidget* w)
{
    // From the window's inside and the frame expected around it, the same
    // reckoning that placed it: Qt's own frame reading may lag behind.
    const QMargins frame = expectedFrame(w);
    return w->geometry().topLeft() - QPoint(frame.left(), frame.top());
}

void storeWindowPosition(const QWidget* w, float& top, float& left)
{
    const QPoint p = framePosition(w);
    top = pixelsToTwips(p.y(), w, true);
    left = pixelsToTwips(p.x(), w, false);
}

void setTip(QWidget* w, bool doTips, const QString& tip)
{
    if (doTips)
        w->setToolTip(tip);
}

void setScrollBarLook()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || app->styleSheet().contains(QLatin1String("QScrollBar")))
        return;
    app->setStyleSheet(app->styleSheet() + QStringLiteral(
        "QScrollBar:vertical { background: #ececec; width: 15px; margin: 0; }"
        "QScrollBar:horizontal { background: #ececec; height: 15px; margin: 0; }"
        "QScrollBar::handle { background: #8c8c8c; border-radius: 4px; margin: 2px; }"
        "QScrollBar::handle:hover { background: #6e6e6e; }"
        "QScrollBar::handle:vertical { min-height: 24px; }"
        "QScrollBar::handle:horizontal { min-width: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"));
}

void selectAllOnFocus(QLineEdit* box)
{
    box->installEventFilter(new SelectAllFilter(box));
}

namespace {

const char* const FolderProperty = "zepFolder";

class PathEntry : public QObject {
public:
    PathEntry(QLineEdit* box, MessageSink& messages, std::function<void(const QString&, const QString&)> go)
        : QObject(box), m_messages(messages), m_go(std::move(go))
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        auto* box = static_cast<QLineEdit*>(o);
        const TypedPath p = resolveTypedPath(box->text(), box->property(FolderProperty).toString());
        if (p.folder.isEmpty())
            m_messages.message(QStringLiteral("There is no folder or file ") + box->text().trimmed());
        else
            m_go(p.folder, p.file);
        return true; // Enter here goes to the folder, not to the dialog's buttons
    }

private:
    MessageSink& m_messages;
    std::function<void(const QString&, const QString&)> m_go;
};

} // namespace

QLineEdit* folderPathBox(QWidget* parent, MessageSink& messages,
                         std::function<void(const QString& folder, const QString& file)> go)
{
    auto* box = named(new QLineEdit(parent), "txtDirPath");
    new PathEntry(box, messages, std::move(go));
    return box;
}

void showFolder(QLineEdit* box, const QString& folder)
{
    box->setProperty(FolderProperty, folder);
    box->setText(QDir::toNativeSeparators(folder));
}

void MessageBoxSink::message(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool MessageBoxSink::question(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

QSize PathLabel::sizeHint() const { return {minimumWidth(), QLabel::sizeHint().height()}; }

QSize PathLabel::minimumSizeHint() const { return {minimumWidth(), QLabel::minimumSizeHint().height()}; }

// Where QLabel puts its text: within the frame, half an x in from a framed edge.
static QRect textRect(const PathLabel& l)
{
    int in = l.indent();
    if (in < 0)
        in = l.frameWidth() > 0 ? l.fontMetrics().horizontalAdvance(u'x') / 2 : 0;
    return l.contentsRect().adjusted(l.margin() + in, l.margin(), -l.margin() - in, -l.margin());
}

QString PathLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect(*this).width());
}

void PathLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawFrame(&p);
    style()->drawItemText(&p, textRect(*this), int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

} // namespace zep
