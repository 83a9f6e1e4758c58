#include "WindowSupport.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cmath>

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

void placeWindow(QWidget* w, float top, float left)
{
    w->move(twipsToPixels(left, w, false), twipsToPixels(top, w, true));
}

void storeWindowPosition(const QWidget* w, float& top, float& left)
{
    const QPoint p = w->pos();
    top = pixelsToTwips(p.y(), w, true);
    left = pixelsToTwips(p.x(), w, false);
}

void setTip(QWidget* w, bool doTips, const QString& tip)
{
    if (doTips)
        w->setToolTip(tip);
}

void selectAllOnFocus(QLineEdit* box)
{
    box->installEventFilter(new SelectAllFilter(box));
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

} // namespace zep
