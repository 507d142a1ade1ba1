#pragma once

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

class QPaintDevice;
class QPainter;
class QTextTable;

// The operator's manual as one paged text document: its Markdown sections joined in the order
// given, styled for print, with a table of contents, and page breaks that keep a heading with
// its text and a short table or code block whole.
class ManualDocument {
public:
    // device: the printer the pages go to (fonts and lengths are measured on it);
    // bodySize: the text area of a page, without the head and foot lines.
    ManualDocument(QPaintDevice& device, const QSizeF& bodySize);

    // Appends a Markdown file; its images are read relative to its folder. False with the
    // reason when the file or one of its images cannot be read.
    bool addMarkdownFile(const QString& path, QString* error);
    // Styles the text, adds the table of contents under the title contentsTitle (none when
    // empty) and places the page breaks. Call once, after the last file.
    void finish(const QString& contentsTitle);

    int pageCount() const;
    // The text area of a page, in whole dots.
    QSizeF bodySize() const { return m_bodySize; }
    // The first heading: the manual's title.
    QString title() const;
    // The chapter a page belongs to (empty before the first chapter), for its head line.
    QString chapterOn(int page) const;
    // Every file read: the Markdown files and their images.
    QStringList sources() const { return m_sources; }

    // Paints page `page` (0-based) of the body at the painter's origin.
    void drawPage(QPainter& painter, int page) const;

private:
    // What the page breaks keep together: a block, the lines of a code block, or a table.
    struct Item {
        QTextBlock first;
        QTextBlock last;
        QTextTable* table = nullptr;
    };

    // A length in points, in the units the text formats take.
    static qreal points(qreal pt);
    bool resolveImages(int from, int to, const QString& markdownPath, QString* error);
    void applyStyles();
    void insertContents(const QString& title);
    void placePageBreaks();
    bool addPageBreak();
    QList<Item> flowItems() const;
    qreal topOf(const Item& item) const;
    qreal topOf(const QTextBlock& block) const;
    qreal bottomOf(const Item& item) const;
    bool breaksBefore(const Item& item) const;
    void breakBefore(const Item& item);
    void fillContentsPages();
    int pageOf(const QTextBlock& block) const;
    QList<QTextBlock> headings(int maxLevel) const;

    QPaintDevice& m_device;
    QSizeF m_bodySize;
    QTextDocument m_document;
    QStringList m_sources;
    // The rows of the table of contents: the heading each one names.
    QList<QTextBlock> m_contentsEntries;
    QTextTable* m_contentsTable = nullptr;
};
