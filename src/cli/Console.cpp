#include "cli/Console.h"

#include "platform/TextRoutines.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kFallbackWidth = 80;
constexpr int kFallbackHeight = 24;
constexpr int kMinimumWidth = 20;
constexpr int kMinimumRows = 2;

void writeErr(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool Console::stderrIsTerminal()
{
#if defined(Q_OS_WIN)
    if (!_isatty(_fileno(stderr)))
        return false;
    // Without the console's escape sequences nothing can be redrawn in place.
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) &&
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#elif defined(Q_OS_UNIX)
    return isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
}

Console::Console(bool terminal, QObject* parent)
    : QObject(parent)
    , m_terminal(terminal)
{
    m_timer.setInterval(kRedrawInterval);
    connect(&m_timer, &QTimer::timeout, this, &Console::redraw);
}

Console::~Console()
{
    stopProgress();
}

QSize Console::size() const
{
#if defined(Q_OS_UNIX)
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0)
        return QSize(size.ws_col, size.ws_row);
#elif defined(Q_OS_WIN)
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return QSize(info.srWindow.Right - info.srWindow.Left + 1,
                     info.srWindow.Bottom - info.srWindow.Top + 1);
#endif
    return QSize(kFallbackWidth, kFallbackHeight);
}

void Console::message(const QString& prefix, const QString& text)
{
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalized.replace(u'\r', u'\n');
    QByteArray bytes = eraseSequence();
    m_shownLines = 0;
    // A box's blank line between paragraphs is no line on a terminal.
    for (const QString& line : normalized.split(u'\n', Qt::SkipEmptyParts))
        bytes += TextRoutines::describeControls(prefix + line).toLocal8Bit() + '\n';
    // The progress block comes back under the new lines at once, not at the next tick.
    if (m_timer.isActive())
        bytes += progressBlock();
    writeErr(bytes);
}

void Console::output(const QString& text)
{
    outputExact(TextRoutines::describeControls(text));
}

void Console::outputExact(const QString& text)
{
    if (m_stdoutGone)
        return;
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    if (written != size_t(bytes.size()) || std::fflush(stdout) != 0)
        m_stdoutGone = true;
}

void Console::setProgressSource(std::function<QStringList()> source)
{
    m_source = std::move(source);
}

void Console::startProgress()
{
    if (!m_terminal || m_timer.isActive())
        return;
    m_timer.start();
    redraw();
}

void Console::stopProgress()
{
    m_timer.stop();
    if (m_shownLines > 0) {
        writeErr(eraseSequence());
        m_shownLines = 0;
    }
}

void Console::redraw()
{
    // Erased and drawn in one write, so the terminal never shows the block half drawn.
    QByteArray bytes = eraseSequence();
    m_shownLines = 0;
    bytes += progressBlock();
    if (!bytes.isEmpty())
        writeErr(bytes);
}

// Back to the first progress line and everything below it cleared.
QByteArray Console::eraseSequence() const
{
    if (m_shownLines == 0)
        return {};
    return "\x1b[" + QByteArray::number(m_shownLines) + "A\r\x1b[J";
}

QByteArray Console::progressBlock()
{
    if (!m_terminal || !m_source)
        return {};
    QStringList lines = m_source();
    // A line as wide as the terminal would wrap, and a block as high as it would scroll: either
    // way the cursor would no longer find the block's top.
    const QSize screen = size();
    const int columns = std::max(kMinimumWidth, screen.width() - 1);
    const int rows = std::max(kMinimumRows, screen.height() - 1);
    if (lines.size() > rows) {
        const qsizetype hidden = lines.size() - (rows - 1);
        lines.resize(rows - 1);
        lines.append(QStringLiteral("... and %1 more").arg(hidden));
    }
    QByteArray block;
    for (const QString& line : lines)
        block += TextRoutines::describeControls(line).left(columns).toLocal8Bit() + '\n';
    m_shownLines = int(lines.size());
    return block;
}
