#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>

// The program's two streams: results on stdout, everything said along the way on stderr. On a
// terminal stderr ends in a block of progress lines, one per running target, drawn again in
// place; lines that stay (messages, outcomes) are written above it. Elsewhere (a file, a pipe,
// a CI log) nothing is ever redrawn and callers write one line per phase instead. Either way the
// control characters of every line are named (<0x1B>), as texts from indicators and files may hold
// any; output() leaves the exact text only to lines that hold none, such as JSON.
class Console : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRedrawInterval{200};

    // True when stderr is a terminal that can move the cursor.
    static bool stderrIsTerminal();

    explicit Console(bool terminal, QObject* parent = nullptr);
    ~Console() override;

    bool isTerminal() const { return m_terminal; }
    // The terminal's width in columns.
    int columns() const { return size().width(); }

    // Lines that stay on stderr, each line of the text after the prefix ("north-gate: ").
    // CR LF and lone CRs in the text end lines, as the window's boxes show them; empty lines are
    // left out.
    void message(const QString& prefix, const QString& text);
    // A line on stdout, flushed at once so that a reader sees each result as it comes. Once a
    // write fails (the reader has gone) nothing more is written there.
    void output(const QString& text);
    // The same, with the text as it is: for lines that are safe on a terminal already (JSON).
    void outputExact(const QString& text);

    // Where the progress lines come from; asked at every redraw. Terminal only; an empty list
    // shows nothing.
    void setProgressSource(std::function<QStringList()> source);
    void startProgress();
    // Erases the progress lines and stops redrawing them.
    void stopProgress();

private:
    void redraw();
    QByteArray eraseSequence() const;
    // The lines of the source, each cut to the terminal's width; counts them as shown.
    QByteArray progressBlock();
    // Columns and rows of the terminal.
    QSize size() const;

    bool m_terminal = false;
    bool m_stdoutGone = false;
    int m_shownLines = 0;
    QTimer m_timer;
    std::function<QStringList()> m_source;
};
