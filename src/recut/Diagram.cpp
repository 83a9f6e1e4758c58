#include "recut/Diagram.h"
#include "recut/CuttingList.h"

#include "common/NumText.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace zep {

namespace {

using gemray::FacetKind;
using gemray::GemDesign;

// Page geometry in millimetres (A4).
constexpr double kPageWidth = 210, kPageHeight = 297, kMargin = 15;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
constexpr double kPictureHeight = 58, kPictureGap = 6;
constexpr double kCellPad = 1.0;
// The width a cell's or a note's text wraps in: measured and drawn alike, so
// a wrapped text always fits the row measured for it.
constexpr double textWidth(double boxWidth) { return boxWidth - 2 * kCellPad; }
constexpr int kPdfDpi = 300;
const QChar kDegree(0x00B0);

enum class View { Above, Below, Side };

struct Outline {
    QPolygonF points; // in design units, seen from the view
    QColor fill;
    QString label;
};

QString angleText(double a)
{
    QString t = Format(a, u"##.00");
    if (t.startsWith(u'.'))
        t.prepend(u'0');
    return t;
}

QString latin(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

QColor fillFor(FacetKind kind, double angle)
{
    if (kind == FacetKind::Girdle)
        return QColor(245, 245, 245);
    if (kind == FacetKind::Pavilion)
        return QColor(226, 226, 226);
    return angle == 0 ? QColor(186, 210, 240) : QColor(212, 227, 246);
}

// The facets that face a viewer above, below (looking up, so x runs to the
// left) or in front (at -y) of the stone, projected onto the view.
std::vector<Outline> viewOutlines(const GemDesign& d, const std::vector<CutGroup>& groups, View view)
{
    std::vector<Outline> out;
    for (const CutGroup& g : groups)
        for (std::size_t i : g.facets) {
            const gemray::GemFacet& f = d.facets[i];
            const double facing = view == View::Above ? f.abc.z : view == View::Below ? -f.abc.z : -f.abc.y;
            if (facing <= gemray::kGirdleNormalZ * gemray::length(f.abc) || f.vertices.size() < 3)
                continue;
            Outline o;
            for (const gemray::Vec3& v : f.vertices)
                o.points << (view == View::Above ? QPointF(v.x, v.y)
                             : view == View::Below ? QPointF(-v.x, v.y)
                                                   : QPointF(v.x, v.z));
            o.fill = fillFor(g.kind, g.angle);
            if (view != View::Side)
                o.label = latin(g.name);
            out.push_back(std::move(o));
        }
    return out;
}

void paintView(QPainter& p, const std::vector<Outline>& outlines, QPointF centre, const QRectF& box, double scale,
               const StoneViewStyle& style)
{
    // Design y (and z) point up, page y down.
    auto place = [&](QPointF q) {
        return QPointF(box.center().x() + (q.x() - centre.x()) * scale, box.center().y() - (q.y() - centre.y()) * scale);
    };
    p.setPen(QPen(Qt::black, 0.12 * style.millimetre));
    p.setFont(style.font);
    const QFontMetricsF fm(style.font, p.device());
    for (const Outline& o : outlines) {
        QPolygonF poly;
        for (const QPointF& q : o.points)
            poly << place(q);
        p.setBrush(o.fill);
        p.drawPolygon(poly);
        const QRectF r = poly.boundingRect();
        const QSizeF text = fm.size(0, o.label);
        if (!o.label.isEmpty() && r.width() > text.width() * 1.6 && r.height() > text.height() * 1.4) {
            QPointF c;
            for (const QPointF& q : poly)
                c += q;
            c /= poly.size();
            p.drawText(QRectF(c.x() - text.width(), c.y() - text.height() / 2, 2 * text.width(), text.height()),
                       Qt::AlignCenter, o.label);
        }
    }
}

// The table's header and a tier's row; the "Was" column only for a re-cut.
QStringList tableHeader(bool was)
{
    QStringList h{QStringLiteral("Tier"), QStringLiteral("Side"), QStringLiteral("Angle")};
    if (was)
        h << QStringLiteral("Was");
    return h << QStringLiteral("Index") << QStringLiteral("Instructions");
}

QStringList tableRow(const CutRow& r, bool was)
{
    QStringList c{latin(r.name), latin(r.side), angleText(r.angle) + kDegree};
    if (was)
        c << angleText(r.was) + kDegree;
    return c << latin(r.index) << latin(r.instructions);
}

struct Cell {
    QString text;
    double width; // mm
};

class DiagramLayout {
public:
    DiagramLayout(const DiagramInput& in, QPaintDevice& device) : m_in(in), m_device(device)
    {
        m_dpi = device.logicalDpiY();
        m_title.setPointSizeF(14);
        m_title.setBold(true);
        m_text.setPointSizeF(9);
        m_table.setPointSizeF(8);
        m_bold = m_table;
        m_bold.setBold(true);
        m_small.setPointSizeF(6);
        m_rows = cutRows(in.recut, in.original);
        buildTitleLines();
        paginate();
    }

    int pageCount() const { return int(m_pages.size()); }

    void paint(QPainter& p, int page) const
    {
        if (page == 0) {
            paintTitle(p);
            paintPictures(p, picturesTop());
        } else {
            p.setFont(m_bold);
            p.drawText(QPointF(mm(kMargin), mm(kMargin) + QFontMetricsF(m_bold, &m_device).ascent()),
                       m_titleLines.first() + QStringLiteral(" (continued)"));
        }
        double y = paintRow(p, tableTop(page), headerCells(), true, false);
        bool shade = false;
        for (const Block& b : m_pages[std::size_t(page)]) {
            if (b.row >= 0)
                y = paintRow(p, y, rowCells(m_rows[std::size_t(b.row)]), false, shade = !shade);
            else
                y = paintNote(p, y, b.note);
        }
        p.setFont(m_small);
        const QString footer = QStringLiteral("ZEP cutting diagram - page %1 of %2").arg(page + 1).arg(pageCount());
        p.drawText(QRectF(mm(kMargin), mm(kPageHeight - 11), mm(kContentWidth), mm(5)), Qt::AlignCenter, footer);
    }

private:
    // A row of the table or a footnote below it, with its height in mm.
    struct Block {
        int row = -1;
        QString note;
        double height = 0;
    };

    double mm(double v) const { return v * m_dpi / 25.4; }
    double toMm(double px) const { return px * 25.4 / m_dpi; }
    double lineHeight(const QFont& f) const { return toMm(QFontMetricsF(f, &m_device).lineSpacing()); }
    bool hasWas() const { return m_in.angles.changes(); }

    void buildTitleLines()
    {
        const GemDesign& d = m_in.original;
        const QString title = latin(d.headers[0]).trimmed();
        m_titleLines << (title.isEmpty() ? m_in.designName : title);
        for (std::size_t i = 1; i < d.headers.size(); ++i)
            if (!latin(d.headers[i]).trimmed().isEmpty())
                m_titleLines << latin(d.headers[i]).trimmed();
        m_titleLines << QStringLiteral("Design file: ") + m_in.designName;
        const RecutAngles& a = m_in.angles;
        m_titleLines << (a.changes() ? QStringLiteral("Re-cut by tangent ratio: ") + describeChange(a, kDegree) +
                                           QStringLiteral("; the girdle and the outline stay.")
                                     : QStringLiteral("At the design's own angles."));
        m_titleLines << (m_in.material.isEmpty()
                             ? QStringLiteral("Refractive index") + NumText(d.refractiveIndex) +
                                   QStringLiteral(" (the design's own)")
                             : m_in.material);
        if (!m_in.stone.isEmpty())
            m_titleLines << m_in.stone;
        if (!m_in.margin.isEmpty())
            m_titleLines << QStringLiteral("Cutting tolerance: ") + m_in.margin;
        QString gear = QStringLiteral("Index gear ") + NumText(d.gear).trimmed();
        if (d.gearOffset != 0)
            gear += QStringLiteral(", offset ") + NumText(d.gearOffset).trimmed();
        gear += QStringLiteral("; symmetry ") + NumText(d.symmetry).trimmed() +
                (d.mirror ? QStringLiteral(", mirror") : QString());
        m_titleLines << gear;
    }

    double titleHeight() const
    {
        return lineHeight(m_title) + (m_titleLines.size() - 1) * lineHeight(m_text);
    }

    // Where the pictures start on the first page, and where the table's
    // header row starts on a page: below the pictures and their captions on
    // the first, below the continued title on the others. The pagination and
    // the painting both place the rows from here.
    double picturesTop() const { return kMargin + titleHeight() + 3; }
    double tableTop(int page) const
    {
        return page == 0 ? picturesTop() + kPictureHeight + lineHeight(m_small) + 4 : kMargin + lineHeight(m_bold) + 2;
    }

    std::vector<Cell> headerCells() const { return withWidths(tableHeader(hasWas())); }
    std::vector<Cell> rowCells(const CutRow& r) const { return withWidths(tableRow(r, hasWas())); }

    // The columns' widths: Tier, Side, Angle, (Was,) Index, and the rest for
    // the instructions.
    static std::vector<Cell> withWidths(const QStringList& texts)
    {
        const bool was = texts.size() == 6;
        std::vector<double> widths{16, 17, 15};
        if (was)
            widths.push_back(15);
        widths.push_back(62);
        double used = 0;
        for (double w : widths)
            used += w;
        widths.push_back(kContentWidth - used);
        std::vector<Cell> c;
        for (qsizetype i = 0; i < texts.size(); ++i)
            c.push_back({texts[i], widths[std::size_t(i)]});
        return c;
    }

    double wrappedHeight(const QFont& f, const QString& text, double widthMm) const
    {
        const QRectF r = QFontMetricsF(f, &m_device)
                             .boundingRect(QRectF(0, 0, mm(textWidth(widthMm)), 1e6), Qt::TextWordWrap, text);
        return toMm(r.height());
    }

    double rowHeight(const std::vector<Cell>& cells, const QFont& f) const
    {
        double h = lineHeight(f);
        for (const Cell& c : cells)
            h = std::max(h, wrappedHeight(f, c.text, c.width));
        return h + 2 * kCellPad;
    }

    void paginate()
    {
        std::vector<Block> blocks;
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            blocks.push_back({int(i), QString(), rowHeight(rowCells(m_rows[i]), m_table)});
        for (const std::string& f : m_in.original.footnotes)
            if (!latin(f).trimmed().isEmpty())
                blocks.push_back({-1, latin(f).trimmed(), wrappedHeight(m_text, latin(f), kContentWidth) + 1});
        const double bottom = kPageHeight - kMargin - 3;
        const double header = rowHeight(headerCells(), m_bold);
        double y = tableTop(0) + header;
        m_pages.emplace_back();
        for (const Block& b : blocks) {
            if (y + b.height > bottom && !m_pages.back().empty()) {
                m_pages.emplace_back();
                y = tableTop(1) + header;
            }
            m_pages.back().push_back(b);
            y += b.height;
        }
    }

    void paintTitle(QPainter& p) const
    {
        double y = kMargin;
        for (int i = 0; i < m_titleLines.size(); ++i) {
            const QFont& f = i == 0 ? m_title : m_text;
            p.setFont(f);
            p.drawText(QPointF(mm(kMargin), mm(y) + QFontMetricsF(f, &m_device).ascent()), m_titleLines[i]);
            y += lineHeight(f);
        }
    }

    // The three views side by side, at one scale, each with its caption below.
    void paintPictures(QPainter& p, double y) const
    {
        const double caption = lineHeight(m_small) + 1;
        paintStoneViews(p, m_in.recut, QRectF(mm(kMargin), mm(y), mm(kContentWidth), mm(kPictureHeight + caption)),
                        {m_small, mm(caption), mm(kPictureGap), mm(1)});
    }

    double paintRow(QPainter& p, double y, const std::vector<Cell>& cells, bool header, bool shade) const
    {
        const QFont& f = header ? m_bold : m_table;
        const double h = rowHeight(cells, f);
        const QRectF band(mm(kMargin), mm(y), mm(kContentWidth), mm(h));
        if (shade)
            p.fillRect(band, QColor(242, 242, 242));
        p.setFont(f);
        p.setPen(Qt::black);
        double x = kMargin;
        for (const Cell& c : cells) {
            p.drawText(QRectF(mm(x + kCellPad), mm(y + kCellPad), mm(textWidth(c.width)), mm(h)),
                       Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, c.text);
            x += c.width;
        }
        if (header) {
            p.setPen(QPen(Qt::black, mm(0.2)));
            p.drawLine(band.bottomLeft(), band.bottomRight());
        }
        return y + h;
    }

    double paintNote(QPainter& p, double y, const QString& note) const
    {
        p.setFont(m_text);
        p.setPen(Qt::black);
        const double h = wrappedHeight(m_text, note, kContentWidth) + 1;
        p.drawText(QRectF(mm(kMargin + kCellPad), mm(y + 1), mm(textWidth(kContentWidth)), mm(h)),
                   Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, note);
        return y + h;
    }

    const DiagramInput& m_in;
    QPaintDevice& m_device;
    double m_dpi = 96;
    QFont m_title, m_text, m_table, m_bold, m_small;
    std::vector<CutRow> m_rows;
    QStringList m_titleLines;
    std::vector<std::vector<Block>> m_pages;
};

} // namespace

void paintStoneViews(QPainter& p, const GemDesign& design, const QRectF& area, const StoneViewStyle& style)
{
    const double width = (area.width() - 2 * style.gap) / 3;
    const double height = area.height() - style.captionHeight;
    const View views[] = {View::Above, View::Below, View::Side};
    const QString captions[] = {QStringLiteral("Crown, from above"), QStringLiteral("Pavilion, from below"),
                                QStringLiteral("Side")};
    const std::vector<CutGroup> groups = cuttingList(design);
    std::vector<std::vector<Outline>> outlines;
    QRectF bounds[3];
    for (int v = 0; v < 3; ++v) {
        outlines.push_back(viewOutlines(design, groups, views[v]));
        for (const Outline& o : outlines.back())
            bounds[v] = bounds[v].united(o.points.boundingRect());
    }
    // One scale for the three, so that they compare.
    double scale = std::numeric_limits<double>::infinity();
    for (const QRectF& b : bounds)
        if (b.width() > 0 && b.height() > 0)
            scale = std::min({scale, width / b.width(), height / b.height()});
    scale *= 0.92;
    for (int v = 0; v < 3; ++v) {
        const QRectF box(area.left() + v * (width + style.gap), area.top(), width, height);
        p.setPen(QPen(QColor(190, 190, 190), 0.2 * style.millimetre));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
        if (std::isfinite(scale) && height > 0)
            paintView(p, outlines[std::size_t(v)], bounds[v].center(), box, scale, style);
        p.setPen(Qt::black);
        p.setFont(style.font);
        p.drawText(QRectF(box.left(), box.bottom(), box.width(), style.captionHeight), Qt::AlignHCenter | Qt::AlignTop,
                   captions[v]);
    }
}

QImage outlinePicture(const GemDesign& design, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    const std::vector<CutGroup> groups = cuttingList(design);
    std::vector<Outline> outlines = viewOutlines(design, groups, View::Above);
    if (outlines.empty()) // a design without a crown: its pavilion
        outlines = viewOutlines(design, groups, View::Below);
    QRectF bounds;
    for (const Outline& o : outlines)
        bounds = bounds.united(o.points.boundingRect());
    if (outlines.empty() || !(bounds.width() > 0 && bounds.height() > 0))
        return image;
    const double scale = 0.94 * (side - 2) / std::max(bounds.width(), bounds.height());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, side / 120.0)));
    const QPointF c = bounds.center();
    for (const Outline& o : outlines) {
        QPolygonF poly;
        for (const QPointF& q : o.points)
            poly << QPointF(side / 2.0 + (q.x() - c.x()) * scale, side / 2.0 - (q.y() - c.y()) * scale);
        p.drawPolygon(poly);
    }
    return image;
}

std::vector<QStringList> diagramTable(const DiagramInput& input)
{
    const bool was = input.angles.changes();
    std::vector<QStringList> table{tableHeader(was)};
    for (const CutRow& r : cutRows(input.recut, input.original))
        table.push_back(tableRow(r, was));
    return table;
}

QByteArray diagramPdf(const DiagramInput& input)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(kPdfDpi);
        writer.setCreator(QStringLiteral("ZEP"));
        writer.setTitle(input.designName);
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing);
        const DiagramLayout layout(input, writer);
        for (int page = 0; page < layout.pageCount(); ++page) {
            if (page > 0)
                writer.newPage();
            layout.paint(painter, page);
        }
    }
    return bytes;
}

QList<QImage> diagramImages(const DiagramInput& input, int dpi)
{
    const int dotsPerMetre = int(std::lround(dpi / 0.0254));
    auto page = [&] {
        QImage img(int(std::lround(kPageWidth / 25.4 * dpi)), int(std::lround(kPageHeight / 25.4 * dpi)),
                   QImage::Format_RGB32);
        img.setDotsPerMeterX(dotsPerMetre);
        img.setDotsPerMeterY(dotsPerMetre);
        img.fill(Qt::white);
        return img;
    };
    QImage probe = page();
    const DiagramLayout layout(input, probe);
    QList<QImage> pages;
    for (int i = 0; i < layout.pageCount(); ++i) {
        QImage img = page();
        QPainter painter(&img);
        painter.setRenderHint(QPainter::Antialiasing);
        layout.paint(painter, i);
        painter.end();
        pages << img;
    }
    return pages;
}

} // namespace zep
