#include "merit/CurrentGemPanel.h"

#include "common/FileIO.h"
#include "common/ZepError.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRegion>
#include <QVBoxLayout>

namespace zep {

namespace {

QLineEdit* makeBox(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setMinimumWidth(70);
    return box;
}

// The gem picture is shown at twice its size, each pixel a sharp 2 × 2 block.
constexpr int PictureScale = 2;

} // namespace

CurrentGemPanel::CurrentGemPanel(QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    m_info = makeBox(this, "InfoWin");
    m_info->setText(QStringLiteral("Status Window"));
    outer->addWidget(m_info);

    m_frame = new QGroupBox(QStringLiteral("Current Gem"), this);
    m_frame->setObjectName(QStringLiteral("fraCurrentGem"));
    outer->addWidget(m_frame);
    auto* row = new QHBoxLayout(m_frame);

    auto* pictureColumn = new QVBoxLayout;
    m_image = new QLabel(m_frame);
    m_image->setObjectName(QStringLiteral("imgCurGem"));
    m_image->setFixedSize(ImageSide * PictureScale, ImageSide * PictureScale);
    m_image->setAlignment(Qt::AlignCenter);
    pictureColumn->addWidget(m_image);
    m_picLbl = makeBox(m_frame, "txtCGPicLbl");
    m_picLbl->setFixedWidth(ImageSide * PictureScale);
    pictureColumn->addWidget(m_picLbl);
    pictureColumn->addStretch();
    row->addLayout(pictureColumn);

    auto* boxes = new QFormLayout;
    m_pav = makeBox(m_frame, "txtCGPav");
    m_crn = makeBox(m_frame, "txtCGCrn");
    m_ri = makeBox(m_frame, "txtCGRI");
    m_xang = makeBox(m_frame, "txtCGXang");
    m_yang = makeBox(m_frame, "txtCGYang");
    m_ib = makeBox(m_frame, "txtCGIB");
    m_cb = makeBox(m_frame, "txtCGCB");
    boxes->addRow(QStringLiteral("Pavilion Angle"), m_pav);
    boxes->addRow(QStringLiteral("Crown Angle"), m_crn);
    boxes->addRow(QStringLiteral("Refractive Index"), m_ri);
    boxes->addRow(QStringLiteral("X Tilt Angle"), m_xang);
    boxes->addRow(QStringLiteral("Y Tilt Angle"), m_yang);
    boxes->addRow(QStringLiteral("ISO Brightness"), m_ib);
    boxes->addRow(QStringLiteral("COS Brightness"), m_cb);
    row->addLayout(boxes);

    m_extra = new QVBoxLayout;
    row->addLayout(m_extra);

    showStatus(m_info->text(), StatusColours::System);

    m_paintLater.setSingleShot(true);
    connect(&m_paintLater, &QTimer::timeout, this, &CurrentGemPanel::paintDeferred);
}

void showStatusIn(QLineEdit* box, const QString& text, StatusColours colours)
{
    QPalette p = box->palette();
    if (colours == StatusColours::Busy) {
        p.setColor(QPalette::Base, QColor(255, 0, 0));
        p.setColor(QPalette::Text, QColor(255, 255, 255));
    } else {
        const QPalette system = QApplication::palette();
        p.setColor(QPalette::Base, system.color(QPalette::Button));
        p.setColor(QPalette::Text, system.color(QPalette::ButtonText));
    }
    box->setPalette(p);
    box->setText(text);
    box->setCursorPosition(0);
}

void CurrentGemPanel::showStatus(const QString& text, StatusColours colours)
{
    showStatusIn(m_info, text, colours);
    m_changed.insert(m_info);
}

QImage loadPicture(const QString& bitmapFile)
{
    QImage image;
    if (!image.load(bitmapFile))
        throw ZepError(fileExists(bitmapFile) ? err::DeviceIO : err::FileNotFound);
    return image;
}

void CurrentGemPanel::showPicture(const QString& bitmapFile)
{
    const QImage image = loadPicture(bitmapFile);
    m_image->setPixmap(QPixmap::fromImage(
        image.scaled(image.size() * PictureScale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    m_changed.insert(m_image);
}

void CurrentGemPanel::showCurrentGem(const CurrentGemTexts& t)
{
    m_pav->setText(t.pav);
    m_crn->setText(t.crn);
    m_ri->setText(t.ri);
    m_xang->setText(t.xang);
    m_yang->setText(t.yang);
    m_cb->setText(t.cb);
    m_ib->setText(t.ib);
    for (QWidget* box : {m_pav, m_crn, m_ri, m_xang, m_yang, m_cb, m_ib})
        m_changed.insert(box);
}

void CurrentGemPanel::setPictureLabel(const QString& label)
{
    m_picLbl->setText(label);
}

void CurrentGemPanel::repaintNow()
{
    // A run makes a hundred raytraces a second or more, far more than an eye
    // follows: within PaintIntervalMs of the last paint the panel paints
    // nothing (its controls' own updates are held back too) and shows the
    // latest state, whole, when the interval is over (the timer fires while
    // the runner waits for GemRay).
    if (m_lastPaint.isValid() && m_lastPaint.elapsed() < PaintIntervalMs) {
        if (!m_paintLater.isActive()) {
            setUpdatesEnabled(false);
            m_paintLater.start(int(PaintIntervalMs - m_lastPaint.elapsed()));
        }
        return;
    }
    m_lastPaint.start();
    // The controls that changed since the last time, in one paint: the rest
    // of the window shows what it showed.
    QRegion changed;
    for (QWidget* w : std::as_const(m_changed))
        changed += QRect(w->mapTo(this, QPoint(0, 0)), w->size());
    m_changed.clear();
    if (!changed.isEmpty())
        repaint(changed);
}

void CurrentGemPanel::paintDeferred()
{
    m_lastPaint.start();
    m_changed.clear();
    setUpdatesEnabled(true);
    repaint();
}

} // namespace zep
