#pragma once
// What a window's layouts place: two of its widgets that lie over one
// another are a fault a user sees (a caption over a value, a button hidden).
#include <QLayout>
#include <QRegularExpression>
#include <QString>
#include <QTest>
#include <QWidget>

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

// Qt's own complaints about a layout (a span that ends before it starts, a
// widget or layout given two places) fail the test function: call it in init().
inline void failOnLayoutWarnings()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^(Q\\w*Layout\\b|QWidget::setLayout)")));
}

} // namespace zep::test
