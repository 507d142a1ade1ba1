#include "ManualDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>

#include <array>
#include <cmath>

namespace {
// Metric twins of Arial and Courier New, from fonts-liberation, which the program installs
// for its windows too.
const QStringList kSans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
const QStringList kMono = {QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")};
constexpr qreal kBodyPt = 10;
constexpr qreal kCodePt = 8.5;
// Heading levels 1 to 4; deeper levels take the last.
constexpr std::array<qreal, 4> kHeadingPt = {22, 16, 12.5, 11};
const QColor kHeadingColour(0x1f, 0x3a, 0x5f);
const QColor kBorderColour(0xa8, 0xb0, 0xbc);
const QColor kCodeBackground(0xf2, 0xf2, 0xf2);
const QColor kTableHeadBackground(0xe4, 0xea, 0xf1);
// Text formats take lengths in pixels of a 96 dpi screen. The screenshots were taken on such a
// screen: they print at that size, or at the text width when wider.
constexpr qreal kScreenDpi = 96;
// An image no taller than this share of the page, so that its paragraph always fits on one.
constexpr qreal kMaxImageHeightShare = 0.6;
// Chapters (level 2) begin a page; the contents list these levels.
constexpr int kChapterLevel = 2;
constexpr int kContentsDepth = 3;
// Marks the blocks of the table of contents, which are no headings of the text.
constexpr int kContentsProperty = QTextFormat::UserProperty + 1;
// The page number column's share of the contents' width.
constexpr qreal kPageColumnPercent = 10;

int headingLevel(const QTextBlock& block)
{
    return block.blockFormat().headingLevel();
}

bool isCode(const QTextBlockFormat& format)
{
    return format.hasProperty(QTextFormat::BlockCodeFence) ||
           format.hasProperty(QTextFormat::BlockCodeLanguage) || format.nonBreakableLines();
}

// The block holds one image and nothing else.
bool isImageParagraph(const QTextBlock& block)
{
    return block.text() == QString(QChar::ObjectReplacementCharacter) &&
           block.begin().fragment().charFormat().isImageFormat();
}

QList<QTextTable*> tablesIn(QTextFrame* frame)
{
    QList<QTextTable*> tables;
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child))
            tables.append(table);
        tables.append(tablesIn(child));
    }
    return tables;
}
} // namespace

ManualDocument::ManualDocument(QPaintDevice& device, const QSizeF& bodySize)
    : m_device(device)
    // Whole dots: the layout places pages in fixed point, and a fraction there would put a
    // page's first line on the page before it here.
    , m_bodySize(std::floor(bodySize.width()), std::floor(bodySize.height()))
{
    m_document.documentLayout()->setPaintDevice(&m_device);
    m_document.setPageSize(m_bodySize);
    m_document.setDocumentMargin(0);
    QFont font;
    font.setFamilies(kSans);
    font.setPointSizeF(kBodyPt);
    m_document.setDefaultFont(font);
}

// Formats take their lengths (margins, indents, borders, padding, image sizes) in pixels of a
// 96 dpi screen and scale them to the device themselves; fonts take points.
qreal ManualDocument::points(qreal pt)
{
    return pt * kScreenDpi / 72.0;
}

bool ManualDocument::addMarkdownFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    m_sources.append(QFileInfo(path).absoluteFilePath());

    QTextCursor cursor(&m_document);
    cursor.movePosition(QTextCursor::End);
    // Each file starts a block of its own, as its Markdown starts a paragraph.
    if (!m_document.isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    const int from = cursor.position();
    cursor.insertMarkdown(text, QTextDocument::MarkdownDialectGitHub);
    // An insertion keeps the format of the block it starts in, so the file's first block (its
    // heading, as a rule) gets its own format back.
    QTextDocument alone;
    alone.setMarkdown(text, QTextDocument::MarkdownDialectGitHub);
    QTextCursor(m_document.findBlock(from)).setBlockFormat(alone.begin().blockFormat());
    return resolveImages(from, cursor.position(), path, error);
}

// Images are named as the Markdown wrote them, relative to its file: each is read now, stored
// in the document under its full path and given its printed size.
bool ManualDocument::resolveImages(int from, int to, const QString& markdownPath, QString* error)
{
    const QDir folder = QFileInfo(markdownPath).absoluteDir();
    // Qt takes an image's size in pixels of a 96 dpi screen and scales it to the device.
    const qreal deviceDotsPerPixel = m_device.logicalDpiX() / kScreenDpi;
    const qreal maxWidth = m_bodySize.width() / deviceDotsPerPixel;
    const qreal maxHeight = m_bodySize.height() * kMaxImageHeightShare / deviceDotsPerPixel;
    QList<std::pair<int, QTextImageFormat>> images;
    for (QTextBlock block = m_document.findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QUrl url(format.name());
            const QString path =
                url.isRelative() ? folder.absoluteFilePath(url.path()) : url.toLocalFile();
            const QImage image(path);
            if (image.isNull()) {
                *error = QStringLiteral("%1: the image %2 cannot be read")
                             .arg(markdownPath, format.name());
                return false;
            }
            const QString absolute = QFileInfo(path).absoluteFilePath();
            if (!m_sources.contains(absolute))
                m_sources.append(absolute);
            const QString name = QUrl::fromLocalFile(absolute).toString();
            m_document.addResource(QTextDocument::ImageResource, QUrl(name), image);
            QSizeF size = image.size();
            if (size.width() > maxWidth)
                size *= maxWidth / size.width();
            if (size.height() > maxHeight)
                size *= maxHeight / size.height();
            format.setName(name);
            format.setWidth(size.width());
            format.setHeight(size.height());
            images.append({fragment.position(), format});
        }
    }
    for (const auto& [position, format] : images) {
        QTextCursor cursor(&m_document);
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
    return true;
}

void ManualDocument::finish(const QString& contentsTitle)
{
    applyStyles();
    if (!contentsTitle.isEmpty())
        insertContents(contentsTitle);
    placePageBreaks();
    fillContentsPages();
}

// The Markdown reader gives structure, not a print look: fonts, sizes, spacing, code and table
// looks are set here, on every block.
void ManualDocument::applyStyles()
{
    struct Run {
        int position;
        int length;
        QTextCharFormat format;
    };
    QList<Run> runs;
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat blockFormat = block.blockFormat();
        const int level = headingLevel(block);
        const bool code = isCode(blockFormat);
        const bool inTable = QTextCursor(block).currentTable() != nullptr;
        blockFormat.setTopMargin(0);
        blockFormat.setBottomMargin(inTable ? 0 : points(6));
        blockFormat.setLineHeight(inTable || code ? 100 : 115,
                                  QTextBlockFormat::ProportionalHeight);
        if (level > 0) {
            blockFormat.setTopMargin(level == 1 ? points(36) : level == 2 ? 0 : points(10));
            blockFormat.setBottomMargin(level == 1 ? points(14) : points(6));
            blockFormat.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
            if (level == kChapterLevel)
                blockFormat.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        } else if (code) {
            // A code block is a block per line: one grey box, spaced at its ends only.
            blockFormat.setBackground(kCodeBackground);
            blockFormat.setTextIndent(points(4));
            const bool first =
                !block.previous().isValid() || !isCode(block.previous().blockFormat());
            const bool last = !block.next().isValid() || !isCode(block.next().blockFormat());
            blockFormat.setTopMargin(first ? points(2) : 0);
            blockFormat.setBottomMargin(last ? points(8) : 0);
        } else if (block.textList()) {
            blockFormat.setBottomMargin(points(3));
        }
        if (isImageParagraph(block)) {
            blockFormat.setAlignment(Qt::AlignHCenter);
            blockFormat.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
            blockFormat.setTopMargin(points(4));
            blockFormat.setBottomMargin(points(10));
        }
        QTextCursor(block).setBlockFormat(blockFormat);

        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat())
                continue;
            const bool mono = code || format.fontFixedPitch();
            format.clearProperty(QTextFormat::FontSizeAdjustment);
            format.setFontFamilies(mono ? kMono : kSans);
            format.setFontPointSize(level > 0 ? kHeadingPt[std::min<size_t>(level, 4) - 1]
                                    : mono    ? kCodePt
                                              : kBodyPt);
            if (level > 0) {
                format.setFontWeight(QFont::Bold);
                format.setForeground(kHeadingColour);
            }
            runs.append({fragment.position(), fragment.length(), format});
        }
    }
    for (const Run& run : std::as_const(runs)) {
        QTextCursor cursor(&m_document);
        cursor.setPosition(run.position);
        cursor.setPosition(run.position + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(run.format);
    }

    for (QTextTable* table : tablesIn(m_document.rootFrame())) {
        QTextTableFormat format = table->format();
        format.setBorder(points(0.5));
        format.setBorderBrush(kBorderColour);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        format.setCellSpacing(0);
        format.setCellPadding(points(3));
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setHeaderRowCount(1);
        format.setTopMargin(points(6));
        format.setBottomMargin(points(6));
        table->setFormat(format);
        // Collapsed borders are drawn from the cells' own: a thin rule around every cell.
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(row, column);
                QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
                cellFormat.setBorder(points(0.5));
                cellFormat.setBorderBrush(kBorderColour);
                cellFormat.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                cell.setFormat(cellFormat);
            }
        }
        // The heading row, repeated on every page the table runs over.
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(kTableHeadBackground);
            cell.setFormat(cellFormat);
            QTextCursor text = cell.firstCursorPosition();
            text.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            text.mergeCharFormat(bold);
        }
        // The reader may open a table's first cell with an empty paragraph, which would push
        // that cell's text a line below its neighbours.
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                const QTextBlock first = cell.firstCursorPosition().block();
                if (first.text().isEmpty() &&
                    first.next().position() < cell.lastCursorPosition().position()) {
                    QTextCursor empty(first);
                    empty.deleteChar();
                }
            }
        }
    }
}

// The chapters and their sections, each with its page, before the first chapter.
void ManualDocument::insertContents(const QString& title)
{
    const QList<QTextBlock> entries = headings(kContentsDepth);
    QTextBlock firstChapter;
    for (const QTextBlock& block : entries) {
        if (headingLevel(block) == kChapterLevel) {
            firstChapter = block;
            break;
        }
    }
    if (!firstChapter.isValid())
        return;
    QStringList texts;
    QList<int> levels;
    for (const QTextBlock& block : entries) {
        if (headingLevel(block) < kChapterLevel)
            continue;
        texts.append(block.text());
        levels.append(headingLevel(block));
    }

    // The title looks like a chapter's, but is none: no heading, no page of its own.
    QTextBlockFormat headFormat = firstChapter.blockFormat();
    QTextCursor cursor(firstChapter);
    cursor.insertBlock();
    cursor.movePosition(QTextCursor::PreviousBlock);
    headFormat.setHeadingLevel(0);
    headFormat.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
    headFormat.setTopMargin(points(18));
    headFormat.setProperty(kContentsProperty, true);
    cursor.setBlockFormat(headFormat);
    QTextCharFormat headChars;
    headChars.setFontFamilies(kSans);
    headChars.setFontPointSize(kHeadingPt[kChapterLevel - 1]);
    headChars.setFontWeight(QFont::Bold);
    headChars.setForeground(kHeadingColour);
    cursor.setBlockCharFormat(headChars);
    cursor.insertText(title, headChars);

    QTextTableFormat tableFormat;
    tableFormat.setBorder(0);
    tableFormat.setCellSpacing(0);
    tableFormat.setCellPadding(points(1.5));
    tableFormat.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    tableFormat.setColumnWidthConstraints(
        {QTextLength(QTextLength::PercentageLength, 100 - kPageColumnPercent),
         QTextLength(QTextLength::PercentageLength, kPageColumnPercent)});
    tableFormat.setBottomMargin(points(6));
    m_contentsTable = cursor.insertTable(int(texts.size()), 2, tableFormat);
    for (int row = 0; row < texts.size(); ++row) {
        const bool chapter = levels[row] == kChapterLevel;
        QTextCharFormat chars;
        chars.setFontFamilies(kSans);
        chars.setFontPointSize(kBodyPt);
        chars.setFontWeight(chapter ? QFont::Bold : QFont::Normal);
        for (int column = 0; column < 2; ++column) {
            QTextCursor cell = m_contentsTable->cellAt(row, column).firstCursorPosition();
            QTextBlockFormat format;
            format.setProperty(kContentsProperty, true);
            format.setTopMargin(chapter && row > 0 ? points(4) : 0);
            if (column == 0)
                format.setLeftMargin(chapter ? 0 : points(14));
            else
                format.setAlignment(Qt::AlignRight);
            cell.setBlockFormat(format);
            // A two-digit stand-in: the real numbers are filled in once the pages are known,
            // and never change a line break of this narrow column.
            cell.insertText(column == 0 ? texts[row] : QStringLiteral("00"), chars);
        }
    }
    m_contentsEntries = headings(kContentsDepth);
    m_contentsEntries.removeIf([](const QTextBlock& b) { return headingLevel(b) < kChapterLevel; });
}

// The layout breaks a page wherever the page is full; where that would part what belongs
// together, the page breaks earlier: a heading, the contents' title or a line that ends in ':'
// stays with what follows it, and a table or code block shorter than half a page stays whole.
// Each break only moves text down, so passes end once none is added.
void ManualDocument::placePageBreaks()
{
    while (addPageBreak()) {
    }
}

bool ManualDocument::addPageBreak()
{
    const qreal page = m_bodySize.height();
    const auto pageAt = [page](qreal y) { return int(y / page); };
    const QList<Item> items = flowItems();
    const auto keepsWithNext = [&](qsizetype i) {
        const Item& item = items[i];
        return !item.table && (headingLevel(item.first) > 0 ||
                               item.first.blockFormat().hasProperty(kContentsProperty) ||
                               item.first.text().trimmed().endsWith(u':'));
    };
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const qreal top = topOf(item);
        const bool parted =
            keepsWithNext(i) && i + 1 < items.size() && pageAt(topOf(items[i + 1])) > pageAt(top);
        const bool whole =
            item.table ? item.table != m_contentsTable : isCode(item.first.blockFormat());
        const qreal bottom = bottomOf(item);
        const bool split = whole && pageAt(bottom - 1) > pageAt(top) && bottom - top < page / 2;
        if (!parted && !split)
            continue;
        // The break goes before the headings and lead-in lines that belong to the item too.
        qsizetype first = i;
        while (first > 0 && keepsWithNext(first - 1) && !breaksBefore(items[first]))
            --first;
        // Once broken before, an item stays where that put it (a table's text starts below its
        // border and padding, never at the page's very top).
        if (breaksBefore(items[first]) || std::fmod(topOf(items[first]), page) < 1)
            continue;
        breakBefore(items[first]);
        return true;
    }
    return false;
}

// The top-level blocks and tables in their order, each code block's lines as one item.
QList<ManualDocument::Item> ManualDocument::flowItems() const
{
    QList<Item> items;
    for (auto it = m_document.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
            items.append({{}, {}, table});
            continue;
        }
        const QTextBlock block = it.currentBlock();
        if (!block.isValid())
            continue;
        if (!items.isEmpty() && !items.last().table && isCode(block.blockFormat()) &&
            isCode(items.last().last.blockFormat()) && items.last().last.next() == block) {
            items.last().last = block;
            continue;
        }
        items.append({block, block, nullptr});
    }
    return items;
}

qreal ManualDocument::topOf(const Item& item) const
{
    return item.table ? topOf(item.table->cellAt(0, 0).firstCursorPosition().block())
                      : topOf(item.first);
}

// A line that did not fit is pushed down within its block: the block's first line counts.
qreal ManualDocument::topOf(const QTextBlock& block) const
{
    const qreal top = m_document.documentLayout()->blockBoundingRect(block).top();
    const QTextLayout* layout = block.layout();
    return layout && layout->lineCount() > 0 ? top + layout->lineAt(0).y() : top;
}

qreal ManualDocument::bottomOf(const Item& item) const
{
    if (item.table)
        return m_document.documentLayout()->frameBoundingRect(item.table).bottom();
    const qreal top = m_document.documentLayout()->blockBoundingRect(item.last).top();
    const QTextLayout* layout = item.last.layout();
    if (!layout || layout->lineCount() == 0)
        return top;
    const QTextLine line = layout->lineAt(layout->lineCount() - 1);
    return top + line.y() + line.height();
}

bool ManualDocument::breaksBefore(const Item& item) const
{
    const QTextFormat::PageBreakFlags policy = item.table
                                                   ? item.table->format().pageBreakPolicy()
                                                   : item.first.blockFormat().pageBreakPolicy();
    return policy.testFlag(QTextFormat::PageBreak_AlwaysBefore);
}

void ManualDocument::breakBefore(const Item& item)
{
    if (item.table) {
        QTextTableFormat format = item.table->format();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        item.table->setFormat(format);
        return;
    }
    QTextBlockFormat format = item.first.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(item.first).setBlockFormat(format);
}

void ManualDocument::fillContentsPages()
{
    if (!m_contentsTable)
        return;
    for (int row = 0; row < m_contentsEntries.size(); ++row) {
        QTextTableCell cell = m_contentsTable->cellAt(row, 1);
        QTextCursor cursor = cell.firstCursorPosition();
        cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
        cursor.insertText(QString::number(pageOf(m_contentsEntries[row]) + 1));
    }
}

int ManualDocument::pageOf(const QTextBlock& block) const
{
    return int(topOf(block) / m_bodySize.height());
}

QList<QTextBlock> ManualDocument::headings(int maxLevel) const
{
    QList<QTextBlock> result;
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
        const int level = headingLevel(block);
        if (level > 0 && level <= maxLevel && !block.blockFormat().hasProperty(kContentsProperty))
            result.append(block);
    }
    return result;
}

int ManualDocument::pageCount() const
{
    return m_document.pageCount();
}

QString ManualDocument::title() const
{
    const QList<QTextBlock> all = headings(1);
    return all.isEmpty() ? QString() : all.first().text();
}

QString ManualDocument::chapterOn(int page) const
{
    QString chapter;
    for (const QTextBlock& block : headings(kChapterLevel)) {
        if (headingLevel(block) != kChapterLevel)
            continue;
        if (pageOf(block) > page)
            break;
        chapter = block.text();
    }
    return chapter;
}

void ManualDocument::drawPage(QPainter& painter, int page) const
{
    const QRectF clip(0, page * m_bodySize.height(), m_bodySize.width(), m_bodySize.height());
    painter.save();
    painter.translate(0, -clip.top());
    painter.setClipRect(clip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = clip;
    context.palette.setColor(QPalette::Text, Qt::black);
    m_document.documentLayout()->draw(&painter, context);
    painter.restore();
}
