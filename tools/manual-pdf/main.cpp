// manual-pdf: renders the operator's manual from its Markdown sections to an A4 PDF, with Qt's
// own Markdown reader and PDF writer, at build time and without a display.
//   manual-pdf --output FILE.pdf [--contents TITLE] [--depfile FILE.d] SECTION.md...
#include "ManualDocument.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr int kResolution = 300;
// Millimetres: left, top, right, bottom; the head and foot lines sit inside them.
const QMarginsF kMargins(22, 16, 20, 14);
constexpr qreal kHeadHeightPt = 22;
constexpr qreal kFootHeightPt = 22;
constexpr qreal kHeadFootPt = 8;
const QColor kHeadFootColour(0x55, 0x5f, 0x6d);

int fail(const QString& text)
{
    std::fprintf(stderr, "manual-pdf: %s\n", qPrintable(text));
    return 1;
}

// A name in a Makefile dependency line: blanks, '#' and '$' escaped as make and Ninja read them.
QString makeName(const QString& path)
{
    QString name;
    for (const QChar c : path) {
        if (c == u' ' || c == u'#' || c == u'\\')
            name += u'\\';
        if (c == u'$')
            name += u'$';
        name += c;
    }
    return name;
}

bool writeDepfile(const QString& path, const QString& output, const QStringList& sources)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString text = makeName(output) + u':';
    for (const QString& source : sources)
        text += QStringLiteral(" \\\n  ") + makeName(source);
    file.write((text + u'\n').toUtf8());
    return file.commit();
}

// The head line: the manual's title and the chapter; the foot line: the page of all pages.
void drawHeadAndFoot(QPainter& painter, const QRectF& head, const QRectF& foot,
                     const QString& title, const QString& chapter, int page, int pages)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPointSizeF(kHeadFootPt);
    painter.save();
    painter.setFont(font);
    painter.setPen(kHeadFootColour);
    if (!chapter.isEmpty()) {
        painter.drawText(head, Qt::AlignLeft | Qt::AlignTop, title);
        painter.drawText(head, Qt::AlignRight | Qt::AlignTop, chapter);
        const qreal rule = head.top() + painter.fontMetrics().height() * 1.4;
        painter.setPen(QPen(kHeadFootColour, 1));
        painter.drawLine(QPointF(head.left(), rule), QPointF(head.right(), rule));
    }
    painter.drawText(foot, Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("%1 / %2").arg(page).arg(pages));
    painter.restore();
}

} // namespace

int main(int argc, char* argv[])
{
    // Fonts and the PDF need a GUI application, but never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Text formats measure in pixels of a 96 dpi screen, whatever screen the platform reports.
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders Markdown sections to one A4 PDF."));
    parser.addHelpOption();
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("The PDF to write."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption contents(QStringLiteral("contents"),
                                      QStringLiteral("The title of the table of contents."),
                                      QStringLiteral("TITLE"));
    const QCommandLineOption depfile(QStringLiteral("depfile"),
                                     QStringLiteral("Write the files read, for the build."),
                                     QStringLiteral("FILE"));
    parser.addOptions({output, contents, depfile});
    parser.addPositionalArgument(QStringLiteral("SECTION.md"),
                                 QStringLiteral("The Markdown files, in their order."));
    parser.process(app);
    const QStringList inputs = parser.positionalArguments();
    if (!parser.isSet(output) || inputs.isEmpty())
        return fail(QStringLiteral("give --output FILE.pdf and at least one Markdown file"));
    const QString outputPath = parser.value(output);

    // Written beside the target and renamed at the end: a failed run leaves no half PDF that
    // the build would take for done.
    const QString partPath = outputPath + QStringLiteral(".part");
    int pages = 0;
    {
        QPdfWriter writer(partPath);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, kMargins,
                                         QPageLayout::Millimeter));
        writer.setCreator(QStringLiteral("manual-pdf"));
        const QRectF paper = writer.pageLayout().paintRectPixels(kResolution);
        const qreal dotsPerPoint = kResolution / 72.0;
        const qreal headHeight = kHeadHeightPt * dotsPerPoint;
        const qreal footHeight = kFootHeightPt * dotsPerPoint;
        ManualDocument manual(writer,
                              QSizeF(paper.width(), paper.height() - headHeight - footHeight));
        const QSizeF body = manual.bodySize();
        for (const QString& input : inputs) {
            QString error;
            if (!manual.addMarkdownFile(input, &error))
                return fail(error);
        }
        manual.finish(parser.value(contents));
        writer.setTitle(manual.title());

        QPainter painter;
        if (!painter.begin(&writer))
            return fail(QStringLiteral("%1 cannot be written").arg(partPath));
        pages = manual.pageCount();
        const QRectF head(0, 0, body.width(), headHeight);
        const QRectF foot(0, headHeight + body.height(), body.width(), footHeight);
        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                writer.newPage();
            painter.save();
            painter.translate(0, headHeight);
            manual.drawPage(painter, page);
            painter.restore();
            drawHeadAndFoot(painter, head, foot, manual.title(), manual.chapterOn(page), page + 1,
                            pages);
        }
        if (!painter.end())
            return fail(QStringLiteral("%1 could not be finished").arg(partPath));

        if (parser.isSet(depfile) &&
            !writeDepfile(parser.value(depfile), outputPath, manual.sources()))
            return fail(QStringLiteral("%1 cannot be written").arg(parser.value(depfile)));
    }
    QFile::remove(outputPath);
    if (!QFile::rename(partPath, outputPath))
        return fail(QStringLiteral("%1 cannot be renamed to %2").arg(partPath, outputPath));
    std::printf("%s: %d pages\n", qPrintable(outputPath), pages);
    return 0;
}
