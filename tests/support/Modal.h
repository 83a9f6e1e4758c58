#pragma once
// Answers the next modal dialog from the event loop: waits (without spinning) until a modal widget is up, then
// runs `act` on it; a dialog that never comes (in 5 s) fails the test, one that `act` leaves open is closed. Every
// dialog answered so is first looked over: none of its widgets may lie over another (support/Layout.h).
// Also: controls found by object name, and what a user does with them.
#include "support/Layout.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace zep::test {

inline void onModal(const char* name, std::function<void(QWidget*)> act, int triesLeft = 500)
{
    QTimer::singleShot(10, qApp, [name, act = std::move(act), triesLeft]() mutable {
        QPointer<QWidget> w = QApplication::activeModalWidget();
        if (w && w->isVisible() && (!name || w->objectName() == QLatin1String(name))) {
            if (const QString over = misplaced(w); !over.isEmpty())
                QTest::qFail(qPrintable(w->objectName() + QStringLiteral(": ") + over), __FILE__, __LINE__);
            act(w);
            if (w && w->isVisible())
                w->close();
            return;
        }
        if (triesLeft > 0)
            onModal(name, std::move(act), triesLeft - 1);
        else // (the checks in `act` would not have run)
            QTest::qFail(QByteArray("no modal dialog came: ").append(name).constData(), __FILE__, __LINE__);
    });
}

// The next modal window, whatever its name. (onModal passes over an outer
// modal window that is still in front.)
inline void onNextModal(std::function<void(QWidget*)> act)
{
    onModal(nullptr, std::move(act));
}

// Finds a child by object name, failing loudly when there is none.
template <class T = QWidget>
T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no control %s in %s", name, qPrintable(w->objectName()));
    return c;
}

inline void click(QWidget* w, const char* button) { child<QAbstractButton>(w, button)->click(); }
inline void type(QWidget* w, const char* box, const QString& text) { child<QLineEdit>(w, box)->setText(text); }
inline QString text(QWidget* w, const char* box) { return child<QLineEdit>(w, box)->text(); }

// The entries of a list, and the one picked by its text.
inline QStringList items(QWidget* w, const char* list)
{
    QStringList out;
    auto* l = child<QListWidget>(w, list);
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

inline void pick(QWidget* w, const char* list, const QString& text, Qt::MatchFlags how = Qt::MatchExactly)
{
    const auto found = child<QListWidget>(w, list)->findItems(text, how);
    if (found.size() != 1)
        qFatal("%s has no single %s", list, qPrintable(text));
    child<QListWidget>(w, list)->setCurrentItem(found.first());
}

// Chooses a design in the design file dialog `d`: the file, Parse, an angle of each list, OK.
inline void chooseDesign(QWidget* d, const QString& file, const QString& pav, const QString& crn)
{
    pick(d, "fileList", file);
    click(d, "btnParse");
    pick(d, "lstPav", pav);
    pick(d, "lstCrn", crn);
    click(d, "OKButton");
}

} // namespace zep::test
