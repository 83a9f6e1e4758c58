#pragma once
// What a window's layouts place: two of its widgets that lie over one
// another are a fault a user sees (a caption over a value, a button hidden).
#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QRegularExpression>
#include <QString>
#include <QTest>
#include <QWidget>
#include <typeinfo>

namespace zep::test {

inline bool placedBy(const QLayout* layout, const QWidget* w)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w || (item->layout() && placedBy(item->layout(), w)))
            return true;
    }
    return false;
}

// "a over b" for the first two shown widgets that the window's layouts place
// over one another (neither inside the other), or a shown widget that its
// parent's layout leaves out (it lies where it was made, over the others);
// empty when none are.
inline QString overlapping(const QWidget* window)
{
    QWidgetList placed;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->isWindow() || !w->parentWidget()->layout())
            continue;
        if (!placedBy(w->parentWidget()->layout(), w))
            return w->objectName() + u'(' + w->metaObject()->className() + QStringLiteral(") is in no layout");
        placed << w;
    }
    const auto rect = [window](const QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); };
    for (const QWidget* x : placed)
        for (const QWidget* y : placed)
            if (x < y && !x->isAncestorOf(y) && !y->isAncestorOf(x) && rect(x).intersects(rect(y)))
                return x->objectName() + u'(' + x->metaObject()->className() + QStringLiteral(") over ")
                       + y->objectName() + u'(' + y->metaObject()->className() + u')';
    return {};
}

// "name: text" for the first shown text that its box cuts off (a caption, a read-only value, a button's word;
// an edit box scrolls, a path may not fit, a label of its own kind draws its text), empty when every one is whole.
inline QString cutOff(const QWidget* window)
{
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        int room = 0; // the text's width inside the frame (a line edit keeps 2 pixels each side too)
        const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        if (const auto* e = qobject_cast<const QLineEdit*>(w); e && e->isReadOnly() && !e->text().contains(u'/'))
            text = e->text(), room = e->width() - (e->hasFrame() ? 2 * frame : 0) - 4 - e->textMargins().left() - e->textMargins().right();
        else if (const auto* l = qobject_cast<const QLabel*>(w); l && typeid(*l) == typeid(QLabel) && !l->wordWrap()
                 && l->textFormat() != Qt::RichText && !Qt::mightBeRichText(l->text()))
            text = QString(l->text()).replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1")), room = l->contentsRect().width() - 2 * l->margin();
        else if (const auto* b = qobject_cast<const QPushButton*>(w); b && b->icon().isNull())
            text = QString(b->text()).replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1")), room = b->width() - 2 * frame;
        for (const QString& line : text.split(u'\n'))
            if (w->isVisible() && w->fontMetrics().horizontalAdvance(line) > room)
                return w->objectName() + u'(' + w->metaObject()->className() + QStringLiteral("): ") + line;
    }
    return {};
}

// What `check` finds in `window` shrunk to the least size its layouts allow; the window gets its size back.
template <typename Check> QString atLeastSize(QWidget* window, Check check)
{
    const QSize was = window->size();
    window->resize(window->minimumSizeHint().expandedTo(window->minimumSize()));
    QCoreApplication::sendPostedEvents(); // the layouts place the children now
    const QString found = check(window);
    window->resize(was);
    QCoreApplication::sendPostedEvents();
    return found;
}

// Widgets over one another or texts cut off, as the window stands and at its least size.
inline QString misplaced(QWidget* w) { return overlapping(w) + cutOff(w) + atLeastSize(w, overlapping) + atLeastSize(w, cutOff); }

// Qt's own complaints about a layout (a span that ends before it starts, a
// widget or layout given two places) fail the test function: call it in init().
inline void failOnLayoutWarnings()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^(Q\\w*Layout\\b|QWidget::setLayout)")));
}

} // namespace zep::test
