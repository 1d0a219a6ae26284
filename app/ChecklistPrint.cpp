#include "ChecklistPrint.h"

#include "Common/CheckList/CheckListContainer.h"

#include <QCoreApplication>
#include <QDate>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

using zuchecklist::CheckListContainer;

namespace {

// Sizes in points, readable at arm's length.
constexpr qreal kBodyPoints = 11;
constexpr qreal kHeadingPoints = 13;
constexpr qreal kFooterPoints = 10;
// Rows stand this many line spacings apart, so that a line in a fallback font with taller glyphs
// (CJK) keeps clear of the next.
constexpr qreal kPitch = 1.25;
// Between two items, and above a list's name, in body rows.
constexpr qreal kItemGap = 0.25;
constexpr qreal kListGap = 1.0;
// The least margin at each edge of the paper, whatever the device's page layout leaves.
constexpr qreal kMinMarginMm = 12;
// The action column's share of the width; the item column takes the rest but the dots' room.
constexpr qreal kActionShare = 0.4;
// A paragraph is laid out in pieces of at most this many characters, each on lines of its own,
// so that no layout ever holds more than a piece of a text of megabytes.
constexpr int kPieceChars = 2000;

bool IsLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

// The end of a piece that must stop before 'end': the last place in text[start, end) where a
// line may break, or else the last boundary between two characters.
int PieceEnd(const QString& text, int start, int end)
{
    const QString piece = text.mid(start, end - start);
    for (const auto type : {QTextBoundaryFinder::Line, QTextBoundaryFinder::Grapheme}) {
        QTextBoundaryFinder finder(type, piece);
        finder.setPosition(piece.size());
        const auto at = finder.toPreviousBoundary();
        if (at > 0)
            return start + static_cast<int>(at);
    }
    return text.at(end - 1).isHighSurrogate() ? end - 1 : end;
}

// Calls piece(text, last) for the pieces of 'text' in order: its paragraphs, and a paragraph
// longer than kPieceChars in pieces of at most that many characters.
template <typename Piece> void EachPiece(const QString& text, Piece piece)
{
    const int size = text.size();
    int start = 0;
    for (;;) {
        const int limit = std::min(size, start + kPieceChars);
        int end = start;
        while (end < limit && !IsLineBreak(text.at(end)))
            ++end;
        if (end == limit && end < size && !IsLineBreak(text.at(end))) {
            end = PieceEnd(text, start, end);
            piece(text.mid(start, end - start), false);
            start = end;
            continue;
        }
        const bool last = end == size;
        piece(text.mid(start, end - start), last);
        if (last)
            return;
        const bool crlf = text.at(end) == QLatin1Char('\r') && end + 1 < size &&
                          text.at(end + 1) == QLatin1Char('\n');
        start = end + (crlf ? 2 : 1);
    }
}

// Characters whose width on a line is their advance alone, in scripts that join or combine
// nothing: most texts of a checklist are measured by adding up their characters' advances,
// which costs a fraction of shaping them.
constexpr ushort kSimpleEnd = 0x500;

bool IsSimple(QChar c)
{
    const ushort u = c.unicode();
    return u < kSimpleEnd && u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0) && u != 0xAD &&
           !(u >= 0x300 && u < 0x370) && !(u >= 0x483 && u < 0x48A);
}

// A font on the device, with the distance from one row's top to the next.
class Style
{
public:
    Style(const QFont& base, qreal points, bool bold, QPaintDevice* device)
        : font(Sized(base, points, bold)), device(device), metrics(font, device),
          pitch(metrics.lineSpacing() * kPitch), ascent(metrics.ascent())
    {
        m_advances.fill(-1);
    }

    // The width of a text on one line.
    qreal Width(const QString& text) const
    {
        qreal width = 0;
        for (const QChar c : text) {
            if (!IsSimple(c))
                return metrics.horizontalAdvance(text);
            qreal& advance = m_advances[c.unicode()];
            if (advance < 0)
                advance = metrics.inFont(c) ? metrics.horizontalAdvance(c) : kNotInFont;
            if (advance == kNotInFont)
                return metrics.horizontalAdvance(text);
            width += advance;
        }
        return width;
    }

    QFont font;
    QPaintDevice* device;
    QFontMetricsF metrics;
    qreal pitch;
    qreal ascent;

private:
    static constexpr qreal kNotInFont = -2;

    // Kerning off: the width of a text is the sum of its characters' advances.
    static QFont Sized(QFont font, qreal points, bool bold)
    {
        font.setPointSizeF(points);
        font.setBold(bold);
        font.setKerning(false);
        return font;
    }

    mutable std::array<qreal, kSimpleEnd> m_advances;
};

// One line of a text: the whole text where it fits on one line, or a line of its layout.
class Line
{
public:
    Line(const QString& whole, qreal width) : m_whole(&whole), m_width(width) {}
    explicit Line(const QTextLine& line) : m_line(line), m_width(line.naturalTextWidth()) {}

    qreal Width() const { return m_width; }
    // The painter's font must be the text's style's.
    void Draw(QPainter* painter, qreal x, qreal baseline) const
    {
        if (m_whole)
            painter->drawText(QPointF(x, baseline), *m_whole);
        else
            m_line.draw(painter, QPointF(x, baseline - m_line.ascent()));
    }

private:
    const QString* m_whole = nullptr;
    QTextLine m_line;
    qreal m_width;
};

// Lays 'text' out on lines of at most 'width', never cutting it, and calls visit(line, last)
// for each line in order. Returns the number of lines: an empty text is one empty line.
template <typename Visit>
int WalkLines(const QString& text, const Style& style, qreal width, Visit visit)
{
    if (text.size() <= kPieceChars && std::none_of(text.begin(), text.end(), IsLineBreak)) {
        const qreal natural = style.Width(text);
        if (natural <= width) {
            visit(Line(text, natural), true);
            return 1;
        }
    }
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(Qt::LeftToRight);
    int count = 0;
    EachPiece(text, [&](const QString& piece, bool lastPiece) {
        QTextLayout layout(piece, style.font, style.device);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF());
        }
        layout.endLayout();
        const int lines = layout.lineCount();
        for (int i = 0; i < lines; ++i)
            visit(Line(layout.lineAt(i)), lastPiece && i == lines - 1);
        count += lines;
    });
    return count;
}

int CountLines(const QString& text, const Style& style, qreal width)
{
    return WalkLines(text, style, width, [](const Line&, bool) {});
}

// The dots of a leader: a fixed-pitch font's full stops stand apart as the dots of a leader do,
// and take half as many characters as a proportional font's. Shaped once for the widest row,
// so that each row on a PDF or a printer takes as many of the glyphs as it has room for.
class Leader
{
public:
    Leader(QPaintDevice* device, qreal width)
        : style(QFontDatabase::systemFont(QFontDatabase::FixedFont), kBodyPoints, false, device),
          pitch(style.metrics.horizontalAdvance(QLatin1Char('.')))
    {
        QTextLayout layout(QString(static_cast<int>(width / pitch) + 1, QLatin1Char('.')),
                           style.font, device);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(2 * width + pitch);
        line.setPosition(QPointF());
        layout.endLayout();
        m_ascent = line.ascent();
        const auto runs = layout.glyphRuns();
        if (runs.size() == 1) {
            m_run = runs.front();
            m_glyphs = m_run.glyphIndexes();
            m_positions = m_run.positions();
        }
    }

    // Whether the shaped glyphs serve on 'painter'. A PDF writes them as the text they are;
    // the preview's pictures would keep them as outlines, many times the size of the text.
    bool Shaped(QPainter* painter) const
    {
        return !m_glyphs.isEmpty() && painter->paintEngine()->type() == QPaintEngine::Pdf;
    }
    void Draw(QPainter* painter, qreal x, qreal baseline, int count)
    {
        count = std::min(count, static_cast<int>(m_glyphs.size()));
        m_run.setGlyphIndexes(m_glyphs.mid(0, count));
        m_run.setPositions(m_positions.mid(0, count));
        painter->drawGlyphRun(QPointF(x, baseline - m_ascent), m_run);
    }

    const Style style;
    const qreal pitch;

private:
    qreal m_ascent = 0;
    QGlyphRun m_run;
    decltype(m_run.glyphIndexes()) m_glyphs;
    decltype(m_run.positions()) m_positions;
};

// Everything both passes need to know of the pages, in the painter's coordinates: device pixels
// from the top left corner of the page layout's paint rectangle.
struct Sheet
{
    explicit Sheet(QPagedPaintDevice* device)
        : body(QGuiApplication::font(), kBodyPoints, false, device),
          heading(QGuiApplication::font(), kHeadingPoints, true, device),
          footer(QGuiApplication::font(), kFooterPoints, false, device)
    {
        const int dpi = device->logicalDpiX();
        const QPageLayout layout = device->pageLayout();
        const QRectF full = layout.fullRectPixels(dpi);
        const QRectF paint = layout.paintRectPixels(dpi);
        const qreal least = kMinMarginMm / 25.4 * dpi;
        const qreal left = std::max(paint.left(), least) - paint.left();
        const qreal top = std::max(paint.top(), least) - paint.top();
        const qreal right = std::min(paint.right(), full.width() - least) - paint.left();
        const qreal bottom = std::min(paint.bottom(), full.height() - least) - paint.top();
        footerBaseline = bottom - footer.metrics.descent();
        area = QRectF(QPointF(left, top),
                      QPointF(right, footerBaseline - footer.ascent - footer.pitch));
        space = body.metrics.horizontalAdvance(QLatin1Char(' '));
        actionWidth = area.width() * kActionShare;
        leader = std::make_unique<Leader>(device, area.width());
        itemWidth = area.width() - actionWidth - 2 * space - 3 * leader->pitch;
    }

    // The rows of an item: its lines, of which the last carries the dots and the action's first.
    int ItemRows(const QString& text, const QString& action) const
    {
        return CountLines(text, body, itemWidth) - 1 + CountLines(action, body, actionWidth);
    }

    Style body;
    Style heading;
    Style footer;
    std::unique_ptr<Leader> leader;
    QRectF area; // the lists: the page less its margins and the footer
    qreal footerBaseline;
    qreal space;
    qreal itemWidth;   // from the left of the area
    qreal actionWidth; // ending at the right of the area
};

// The page after the first starts at a row of the flow, under the list's name and
// "(continued)" when the page goes on with a list.
struct PageBreak
{
    qint64 row;
    bool continued;
};

// What sums of the same heights in another order may differ by, in device pixels.
constexpr qreal kSlack = 0.01;

// Where the next row goes: rows are counted through the whole document, lists' names and items'
// lines alike. The first pass decides the page breaks, the second one replays them; both go
// through the same arithmetic, so the pages they see are the same.
class Flow
{
public:
    Flow(const Sheet& sheet, std::vector<PageBreak> breaks = {})
        : m_height(sheet.area.height()), m_continued(sheet.heading.pitch),
          m_breaks(std::move(breaks))
    {
    }

    // The first pass: the next row goes on a new page.
    void Break(bool continued)
    {
        m_breaks.push_back({m_row, continued});
        Top(continued);
    }
    // The second pass: called with the break for each page it starts.
    void OnNewPage(std::function<void(const PageBreak&)> newPage)
    {
        m_newPage = std::move(newPage);
    }

    // The top of the next row, 'pitch' high, 'gap' below the row before it but at the top of a
    // page or under a list's name.
    qreal Advance(qreal pitch, qreal gap)
    {
        if (m_newPage && m_next < m_breaks.size() && m_breaks[m_next].row == m_row) {
            m_newPage(m_breaks[m_next]);
            Top(m_breaks[m_next++].continued);
        }
        if (!m_fresh)
            m_y += gap;
        const qreal top = m_y;
        m_y += pitch;
        ++m_row;
        ++m_rowsOnPage;
        m_fresh = false;
        return top;
    }
    // Whether 'height' more, after 'gap', fit on the page; on an empty page anything does, so
    // that every page holds at least one row.
    bool Fits(qreal height, qreal gap) const
    {
        return m_rowsOnPage == 0 || m_y + (m_fresh ? 0 : gap) + height <= m_height + kSlack;
    }
    // Under a list's name the next item has no gap.
    void Fresh() { m_fresh = true; }
    const std::vector<PageBreak>& Breaks() const { return m_breaks; }

private:
    void Top(bool continued)
    {
        m_y = continued ? m_continued : 0;
        m_rowsOnPage = 0;
        m_fresh = true;
    }

    qreal m_height;
    qreal m_continued;
    std::vector<PageBreak> m_breaks;
    std::size_t m_next = 0;
    std::function<void(const PageBreak&)> m_newPage;
    qint64 m_row = 0;
    int m_rowsOnPage = 0;
    qreal m_y = 0;
    bool m_fresh = true;
};

// The first pass: where the pages break. Only the rows of items up to a page ahead are held.
std::vector<PageBreak> Paginate(const CheckListContainer& document, const Sheet& sheet)
{
    Flow flow(sheet);
    const qreal page = sheet.area.height();
    const qreal row = sheet.body.pitch;
    const qreal itemGap = kItemGap * row;
    const qreal listGap = kListGap * row;
    std::vector<int> ahead; // the rows of the list's first items
    for (int l = 0; l < document.GetListCount(); ++l) {
        const int headingRows =
            CountLines(document.GetListName(l), sheet.heading, sheet.area.width());
        const int items = document.GetItemCount(l);
        const auto rows = [&](int i) {
            return i < static_cast<int>(ahead.size())
                       ? ahead[i]
                       : sheet.ItemRows(document.GetItemText(l, i), document.GetItemAction(l, i));
        };
        // The list's height, measured as far as a page.
        ahead.clear();
        qreal height = headingRows * sheet.heading.pitch;
        for (int i = 0; i < items && height <= page; ++i) {
            ahead.push_back(rows(i));
            height += (i > 0 ? itemGap : 0) + ahead.back() * row;
        }
        const bool whole = height <= page;
        // A list that fits on a page starts on a new one where it does not fit on this one; a
        // longer one where not even its name and first item do.
        const qreal start =
            whole ? height
                  : headingRows * sheet.heading.pitch + (items > 0 ? ahead.front() * row : 0);
        if (!flow.Fits(start, listGap))
            flow.Break(false);
        for (int r = 0; r < headingRows; ++r) {
            if (!flow.Fits(sheet.heading.pitch, r == 0 ? listGap : 0))
                flow.Break(false);
            flow.Advance(sheet.heading.pitch, r == 0 ? listGap : 0);
        }
        flow.Fresh();
        for (int i = 0; i < items; ++i) {
            const int itemRows = rows(i);
            // An item that fits on a page goes to the next one whole.
            if (!flow.Fits(itemRows * row, itemGap) && itemRows * row <= page - sheet.heading.pitch)
                flow.Break(true);
            for (int r = 0; r < itemRows; ++r) {
                if (!flow.Fits(row, r == 0 ? itemGap : 0))
                    flow.Break(true);
                flow.Advance(row, r == 0 ? itemGap : 0);
            }
        }
    }
    return flow.Breaks();
}

// The second pass: paints the rows where the first pass put them.
class PagePainter
{
public:
    PagePainter(const CheckListContainer& document, QPagedPaintDevice* device, const Sheet& sheet,
                const QString& title, std::vector<PageBreak> breaks)
        : m_document(document), m_device(device), m_sheet(sheet), m_title(title),
          m_pages(static_cast<int>(breaks.size()) + 1), m_flow(sheet, std::move(breaks))
    {
        m_flow.OnNewPage([this](const PageBreak& pageBreak) {
            m_device->newPage();
            ++m_page;
            PaintFooter();
            if (pageBreak.continued)
                PaintContinued();
        });
    }

    bool Paint()
    {
        if (!m_painter.begin(m_device))
            return false;
        m_shapedDots = m_sheet.leader->Shaped(&m_painter);
        PaintFooter();
        for (int l = 0; l < m_document.GetListCount(); ++l) {
            m_list = l;
            PaintHeading(m_document.GetListName(l));
            for (int i = 0; i < m_document.GetItemCount(l); ++i)
                PaintItem(m_document.GetItemText(l, i), m_document.GetItemAction(l, i));
        }
        return m_painter.end();
    }

    int Pages() const { return m_pages; }

private:
    void Use(const Style& style)
    {
        if (m_style != &style) {
            m_painter.setFont(style.font);
            m_style = &style;
        }
    }
    qreal Baseline(qreal top, const Style& style) const
    {
        return m_sheet.area.top() + top + style.ascent;
    }

    void PaintHeading(const QString& name)
    {
        const Style& heading = m_sheet.heading;
        bool first = true;
        WalkLines(name, heading, m_sheet.area.width(), [&](const Line& line, bool) {
            const qreal top =
                m_flow.Advance(heading.pitch, first ? kListGap * m_sheet.body.pitch : 0);
            first = false;
            Use(heading);
            line.Draw(&m_painter, m_sheet.area.left(), Baseline(top, heading));
        });
        m_flow.Fresh();
    }

    void PaintItem(const QString& text, const QString& action)
    {
        const Style& body = m_sheet.body;
        bool first = true;
        qreal lastTop = 0;
        qreal textEnd = 0;
        WalkLines(text, body, m_sheet.itemWidth, [&](const Line& line, bool last) {
            const qreal top = m_flow.Advance(body.pitch, first ? kItemGap * body.pitch : 0);
            first = false;
            Use(body);
            line.Draw(&m_painter, m_sheet.area.left(), Baseline(top, body));
            if (last) {
                lastTop = top;
                textEnd = m_sheet.area.left() + line.Width();
            }
        });
        first = true;
        WalkLines(action, body, m_sheet.actionWidth, [&](const Line& line, bool) {
            const qreal top = first ? lastTop : m_flow.Advance(body.pitch, 0);
            const qreal x = m_sheet.area.right() - line.Width();
            Use(body);
            line.Draw(&m_painter, x, Baseline(top, body));
            if (first && !action.isEmpty())
                PaintDots(textEnd, x, Baseline(top, body));
            first = false;
        });
    }

    // Dots from a space after 'from' to a space before 'to', on a grid from the left margin so
    // that the dots of all rows stand in columns.
    void PaintDots(qreal from, qreal to, qreal baseline)
    {
        Leader& leader = *m_sheet.leader;
        const qreal left = m_sheet.area.left();
        const qreal start =
            left + std::ceil((from + m_sheet.space - left) / leader.pitch) * leader.pitch;
        const int count = static_cast<int>(std::floor((to - m_sheet.space - start) / leader.pitch));
        if (count <= 0)
            return;
        if (m_shapedDots) {
            leader.Draw(&m_painter, start, baseline, count);
        } else {
            Use(leader.style);
            m_painter.drawText(QPointF(start, baseline), QString(count, QLatin1Char('.')));
        }
    }

    // The list's name on one line, cut short where it does not fit, and "(continued)".
    void PaintContinued()
    {
        const Style& heading = m_sheet.heading;
        QString name = m_document.GetListName(m_list).left(kPieceChars);
        std::replace_if(name.begin(), name.end(), IsLineBreak, QLatin1Char(' '));
        const QString continued = QCoreApplication::translate("ChecklistPrint", "%1 (continued)");
        const qreal room =
            m_sheet.area.width() - heading.metrics.horizontalAdvance(continued.arg(QString()));
        Use(heading);
        m_painter.drawText(QPointF(m_sheet.area.left(), Baseline(0, heading)),
                           continued.arg(heading.metrics.elidedText(name, Qt::ElideRight, room)));
    }

    void PaintFooter()
    {
        const Style& footer = m_sheet.footer;
        const QRectF& area = m_sheet.area;
        const qreal baseline = m_sheet.footerBaseline;
        const QString page =
            QCoreApplication::translate("ChecklistPrint", "Page %1 of %2").arg(m_page).arg(m_pages);
        const qreal pageWidth = footer.metrics.horizontalAdvance(page);
        const qreal dateWidth = footer.metrics.horizontalAdvance(m_date);
        const qreal titleRoom = (area.width() - pageWidth) / 2 - footer.metrics.averageCharWidth();
        Use(footer);
        m_painter.drawText(QPointF(area.left(), baseline),
                           footer.metrics.elidedText(m_title, Qt::ElideMiddle, titleRoom));
        m_painter.drawText(QPointF(area.center().x() - pageWidth / 2, baseline), page);
        m_painter.drawText(QPointF(area.right() - dateWidth, baseline), m_date);
    }

    const CheckListContainer& m_document;
    QPagedPaintDevice* m_device;
    const Sheet& m_sheet;
    const QString& m_title;
    const QString m_date = QDate::currentDate().toString(Qt::ISODate);
    const int m_pages;
    Flow m_flow;
    QPainter m_painter;
    const Style* m_style = nullptr;
    bool m_shapedDots = false;
    int m_page = 1;
    int m_list = 0;
};

} // namespace

int PrintChecklist(const CheckListContainer& document, QPagedPaintDevice* device,
                   const QString& title)
{
    if (document.GetListCount() == 0)
        return 0;
    const Sheet sheet(device);
    PagePainter painter(document, device, sheet, title, Paginate(document, sheet));
    return painter.Paint() ? painter.Pages() : -1;
}
