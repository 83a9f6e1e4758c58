#pragma once
// A window's look as a cutter sees it, kept as text in tests/data/looks/<name>.txt: each shown widget's kind,
// name, place and size (the window's least size too), its words, alignment and font, a table's column widths, and a
// coarse print of each picture. A caption lost, a box moved or a picture drawn wrong fails its test; a look changed
// on purpose is kept again with ZEP_KEEP_LOOKS=1 and reviewed in the commit like code.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QWidget>
#include <typeinfo>

namespace zep::test {

// 8 x 8 cells of a picture, each colour in eight steps a channel: what is
// drawn where, not how the edges are smoothed.
inline QString printOf(const QImage& image)
{
    if (image.isNull())
        return QStringLiteral("none");
    const QImage small = image.convertToFormat(QImage::Format_RGB32).scaled(8, 8, Qt::IgnoreAspectRatio,
                                                                            Qt::SmoothTransformation);
    QString s;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const QRgb c = small.pixel(x, y);
            s += QString::number((qRed(c) >> 5) * 64 + (qGreen(c) >> 5) * 8 + (qBlue(c) >> 5), 8).rightJustified(3, u'0');
        }
    return s;
}

inline QString lookOf(QWidget* window)
{
    // A test's temporary folder has a new name each run.
    const QRegularExpression tmp(QRegularExpression::escape(QDir::tempPath()) + QStringLiteral("/[^/\\s\"]+"));
    const auto words = [&tmp](QString s) {
        return u'"' + s.replace(u'\n', QStringLiteral("\\n")).replace(tmp, QStringLiteral("<tmp>")) + u'"';
    };
    QStringList lines;
    const QFont base = window->font();
    QWidgetList all{window};
    all += window->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (w != window && (!w->isVisible() || w->isWindow()))
            continue;
        const QPoint at = w->mapTo(window, QPoint(0, 0));
        QString l = QStringLiteral("%1 %2 %3,%4 %5x%6")
                        .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName())
                        .arg(at.x()).arg(at.y()).arg(w->width()).arg(w->height());
        if (w == window) { // how small it can be made, and its caption
            const QSize least = w->minimumSize().expandedTo(w->minimumSizeHint());
            l += QStringLiteral(" at least %1x%2 titled ").arg(least.width()).arg(least.height()) + words(w->windowTitle());
        }
        if (!w->isEnabled())
            l += QStringLiteral(" disabled");
        if (w->font() != base)
            l += QStringLiteral(" font %1%2").arg(w->font().pointSizeF()).arg(w->font().bold() ? QStringLiteral(" bold") : QString());
        if (!w->toolTip().isEmpty())
            l += QStringLiteral(" tip ") + words(w->toolTip());
        if (w != window && w->autoFillBackground()) // a swatch, a highlighted box
            l += QStringLiteral(" fill ") + w->palette().color(w->backgroundRole()).name();
        if (auto* x = qobject_cast<QLabel*>(w)) {
            l += u' ' + words(x->text()) + QStringLiteral(" align %1").arg(x->alignment().toInt(), 0, 16);
            if (!x->pixmap().isNull())
                l += QStringLiteral(" picture ") + printOf(x->pixmap().toImage());
        } else if (auto* x = qobject_cast<QAbstractButton*>(w)) {
            l += u' ' + words(x->text()) + (x->isChecked() ? QStringLiteral(" checked") : QString());
            if (!x->icon().isNull())
                l += QStringLiteral(" icon ") + printOf(x->icon().pixmap(x->iconSize()).toImage());
        } else if (auto* x = qobject_cast<QLineEdit*>(w)) {
            l += u' ' + words(x->text()) + QStringLiteral(" align %1").arg(x->alignment().toInt(), 0, 16)
                 + (x->isReadOnly() ? QStringLiteral(" read-only") : QString())
                 + (x->palette().color(QPalette::Base) == x->palette().color(QPalette::Window) ? QStringLiteral(" on the window")
                                                                                            : QString());
        } else if (auto* x = qobject_cast<QComboBox*>(w)) {
            l += u' ' + words(x->currentText()) + QStringLiteral(" of %1").arg(x->count());
        } else if (auto* x = qobject_cast<QGroupBox*>(w)) {
            l += u' ' + words(x->title());
        } else if (auto* x = qobject_cast<QAbstractSlider*>(w)) {
            l += QStringLiteral(" %1 in %2..%3").arg(x->value()).arg(x->minimum()).arg(x->maximum());
        } else if (auto* x = qobject_cast<QAbstractSpinBox*>(w)) {
            l += u' ' + words(x->text());
        } else if (auto* x = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < x->count(); ++i)
                l += u' ' + words(x->tabText(i));
        } else if (auto* x = qobject_cast<QAbstractItemView*>(w); x && x->model()) {
            auto* t = qobject_cast<QTableView*>(w); // a table: its rows' height, each column's width ("-" when hidden)
            l += QStringLiteral(" %1 rows").arg(x->model()->rowCount()) + (t ? QStringLiteral(" %1 high").arg(t->verticalHeader()->defaultSectionSize()) : QString());
            for (int c = 0; t && c < t->model()->columnCount(); ++c)
                l += t->isColumnHidden(c) ? QStringLiteral(" -") : QStringLiteral(" %1").arg(t->columnWidth(c));
        } else if (QByteArray(typeid(*w).name()).startsWith("N3zep") // a widget of ours that paints
                   && w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty()) {
            l += QStringLiteral(" picture ") + printOf(w->grab().toImage());
        }
        lines << l;
    }
    return lines.join(u'\n') + u'\n';
}

// False, with the first line that differs, when `seen` is not the look kept
// as <name>; the look seen is written beside the test program (look-<name>.txt)
// to compare.
inline bool asKept(const QString& seen, const QString& name)
{
    if (!qEnvironmentVariable("FONTCONFIG_FILE").endsWith(QStringLiteral("tests/data/fonts.conf"))) {
        qWarning("a look is seen with the tests' fonts only: run the test through ctest, or with "
                 "FONTCONFIG_FILE=tests/data/fonts.conf");
        return false;
    }
    const QString path = QStringLiteral(ZEP_LOOKS_DIR "/") + name + QStringLiteral(".txt");
    QFile kept(path);
    if (qEnvironmentVariableIntValue("ZEP_KEEP_LOOKS") == 1) {
        if (!kept.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        kept.write(seen.toUtf8());
        return true;
    }
    const QString was = kept.open(QIODevice::ReadOnly) ? QString::fromUtf8(kept.readAll()) : QString();
    if (was == seen)
        return true;
    QFile out(QCoreApplication::applicationDirPath() + QStringLiteral("/look-") + name + QStringLiteral(".txt"));
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(seen.toUtf8());
    const QStringList a = was.split(u'\n'), b = seen.split(u'\n');
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i)
        if (a.value(i) != b.value(i)) {
            qWarning().noquote() << "look" << name << "line" << i + 1 << "\n  kept:" << a.value(i) << "\n  seen:"
                                 << b.value(i) << "\n  (all of it in" << out.fileName() << ")";
            break;
        }
    return false;
}

inline bool looksAsKept(QWidget* window, const QString& name) { return asKept(lookOf(window), name); }

// Printed pages as kept: each page's grey in cells of 4 x 4 pixels, in
// sixteen steps (a hex digit, 0 the darkest), a line a row of cells ending in
// a checksum of its pixels: a line of text, a picture or a margin moved by a
// pixel shows.
inline bool pagesAsKept(const QList<QImage>& pages, const QString& name)
{
    QString seen;
    for (const QImage& page : pages) {
        const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y + 4 <= grey.height(); y += 4) {
            QByteArray strip;
            for (int x = 0; x + 4 <= grey.width(); x += 4) {
                int sum = 0;
                for (int k = 0; k < 16; ++k)
                    sum += grey.constScanLine(y + k / 4)[x + k % 4];
                seen += QString::number(sum / 16 / 16, 16);
            }
            for (int k = 0; k < 4; ++k)
                strip += QByteArray(reinterpret_cast<const char*>(grey.constScanLine(y + k)), grey.width());
            seen += QStringLiteral(" %1\n").arg(qChecksum(strip), 4, 16, QLatin1Char('0'));
        }
        seen += QStringLiteral("--\n");
    }
    return asKept(seen, name);
}

} // namespace zep::test
