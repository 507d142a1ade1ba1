// indicator-sim: a stand-in weighing indicator on a pseudo-terminal and/or TCP.
#include "IndicatorSimulator.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>

#include <pthread.h>

namespace {

enum ExitCode { ExitNormal = 0, ExitStartFailure = 1, ExitUsage = 2 };

// %1 is the program's name as it was called: indicator-sim in the build tree,
// ticket-talvor-indicator-sim once installed.
constexpr char HelpText[] = R"(Usage: %1 [options]

A stand-in weighing indicator. It answers ";C4" (version), ";SR" (serial number) and
";Eaaaa-dddddddd" (write 4 bytes) on a pseudo-terminal and/or a TCP port on 127.0.0.1,
and runs until SIGINT, SIGTERM or SIGHUP.

Transports (--pty is the default when neither --pty nor --tcp is given):
  --pty               Serve a new pseudo-terminal; prints "pty <slave path>".
  --link PATH         Place a symbolic link to the pseudo-terminal at PATH (implies --pty);
                      an existing symbolic link there is replaced; removed at exit.
  --tcp PORT          Serve TCP on 127.0.0.1:PORT (0 = any free port); prints "tcp <port>".

Indicator:
  --version TEXT      Text answered to ;C4 before ACK CR (default "IND V2.05").
  --serial TEXT       Text answered to ;SR before ACK CR (default "12345").

Faults:
  --nak-at ADDR       Answer NAK to a write to hex address ADDR, storing nothing. Repeatable.
  --silent-at ADDR    Never answer a write to hex address ADDR, storing nothing. Repeatable.
  --ignore-first K    Ignore the first K consecutive receipts of each command line; the
                      answer comes on attempt K+1. Lone CRs do not break the sequence.
  --silent-after N    Answer the first N commands, then none.
  --text-reply        Answer without ACK or NAK: the version or serial text, "OK" for a stored
                      write, "ERR" for a refused command; then CR.
  --no-cr             Leave out the CR that ends every reply.
  --delay-ms MS       Hold every reply back MS milliseconds after its command arrived.
  --baud B            Emulate the wire time of a serial line at B baud, 10 bits a byte, in
                      both directions (0 = off).
  --expect-baud B     Hear only lines sent while the pseudo-terminal's line is set to B baud;
                      a line sent at another rate gets no answer, as an indicator set to B
                      would make nothing of it (0 = any rate). No effect over TCP.
  --drop-after N      On a link's command N+1, unanswered, hang up the pseudo-terminal (the
                      device disappears) or close that TCP connection.
  --noise             Send 1 to 8 garbage bytes (never CR, LF, ACK, NAK, NUL or "V") just
                      before every reply.
  --late-at ADDR:MS   Answer the first write to hex address ADDR MS milliseconds late; the
                      replies after it wait behind it. Repeatable.
  --lone-cr nak|ignore
                      Answer an empty line (a lone CR) with NAK CR, or ignore it (default).
                      Either way it is not a command.
  --chatter-every N   After every N-th reply send the line "ST,GS,+0001234kg" CR unasked.
  --stall-after N     Once N commands are handled, hold every byte received, unread, as a
                      stopped process would, for ever or until --resume-after.
  --resume-after SECONDS
                      End the stall SECONDS (decimals allowed) after its first held byte
                      arrived; the held commands are then answered in order.
  --nak-line LINE     Answer NAK to the exact line LINE (without CR), storing nothing.
                      Repeatable.
  --crlf              End every reply with CR LF instead of CR.
  --lf-after MS       The same, with the LF sent MS milliseconds after the rest of the reply;
                      the replies after it wait behind it.
  --duplicate LINE    Send the answer to the exact line LINE (without CR) twice, the first time
                      it is answered. Repeatable.
  --duplicate-always LINE
                      Send the answer to the exact line LINE twice, every time. Repeatable.
  --duplicate-every N Send every N-th answer twice.
  --duplicate-delay MS
                      Send a copy MS milliseconds after its answer, the replies after it waiting
                      behind it (default 0: in the same write as the answer).
  --garble-every N    Every N-th answer arrives with BEL (0x07) instead of its ACK or NAK.
  --restart-after N   Restart on the command after the first N: it, and every byte received
                      for --deaf-ms, is lost, replies not yet sent are dropped, then the
                      version text and the line end arrive unasked (no ACK). Memory is kept.
  --deaf-ms MS        How long a restart hears nothing (default 2500).

Record:
  --dump-dir DIR      At exit and after every complete pointer table (entry 7 written after
                      entry 1) write DIR/memory.bin (65536 bytes) and DIR/slot1.bin ..
                      slot7.bin (each slot's bytes per its pointer entry; a slot with entry
                      0000 0000 gets no file and an old one is removed).
  --verbose           Log every line received and every reply on stderr, control characters
                      shown as <ACK>, <NAK>, <CR>, <LF>, <0xNN>.
  --help              Show this text.

Output on stdout, one line each, flushed at once: "pty <path>" and/or "tcp <port>".
Nothing else is written to stdout.

Exit codes: 0 ended by a signal (or --help), 1 could not start, 2 usage error.
)";

bool toCount(const QString& text, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok, 10);
    return ok && *value >= 0;
}

bool toAddress(const QString& text, quint16* value)
{
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    *value = quint16(v);
    return ok && !text.isEmpty() && text.size() <= 4;
}

// Decimal seconds to whole milliseconds, within what an int holds.
bool toMs(const QString& text, int* ms)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > std::numeric_limits<int>::max() / 1000.0)
        return false;
    *ms = int(std::lround(seconds * 1000));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString program = QFileInfo(args.value(0)).fileName();
    if (program.isEmpty())
        program = QStringLiteral("indicator-sim");
    const auto usageError = [&program](const QString& text) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(program), qPrintable(text),
                     qPrintable(program));
        return int(ExitUsage);
    };
    const auto startFailure = [&program](const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(text));
        return int(ExitStartFailure);
    };

    QCommandLineParser parser;
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption pty(QStringLiteral("pty"));
    const QCommandLineOption link(QStringLiteral("link"), {}, QStringLiteral("PATH"));
    const QCommandLineOption tcp(QStringLiteral("tcp"), {}, QStringLiteral("PORT"));
    const QCommandLineOption version(QStringLiteral("version"), {}, QStringLiteral("TEXT"));
    const QCommandLineOption serial(QStringLiteral("serial"), {}, QStringLiteral("TEXT"));
    const QCommandLineOption nakAt(QStringLiteral("nak-at"), {}, QStringLiteral("ADDR"));
    const QCommandLineOption silentAt(QStringLiteral("silent-at"), {}, QStringLiteral("ADDR"));
    const QCommandLineOption ignoreFirst(QStringLiteral("ignore-first"), {}, QStringLiteral("K"));
    const QCommandLineOption silentAfter(QStringLiteral("silent-after"), {}, QStringLiteral("N"));
    const QCommandLineOption textReply(QStringLiteral("text-reply"));
    const QCommandLineOption noCr(QStringLiteral("no-cr"));
    const QCommandLineOption delayMs(QStringLiteral("delay-ms"), {}, QStringLiteral("MS"));
    const QCommandLineOption baud(QStringLiteral("baud"), {}, QStringLiteral("B"));
    const QCommandLineOption expectBaud(QStringLiteral("expect-baud"), {}, QStringLiteral("B"));
    const QCommandLineOption dropAfter(QStringLiteral("drop-after"), {}, QStringLiteral("N"));
    const QCommandLineOption noise(QStringLiteral("noise"));
    const QCommandLineOption lateAt(QStringLiteral("late-at"), {}, QStringLiteral("ADDR:MS"));
    const QCommandLineOption loneCr(QStringLiteral("lone-cr"), {}, QStringLiteral("nak|ignore"));
    const QCommandLineOption chatterEvery(QStringLiteral("chatter-every"), {}, QStringLiteral("N"));
    const QCommandLineOption stallAfter(QStringLiteral("stall-after"), {}, QStringLiteral("N"));
    const QCommandLineOption resumeAfter(QStringLiteral("resume-after"), {},
                                         QStringLiteral("SECONDS"));
    const QCommandLineOption nakLine(QStringLiteral("nak-line"), {}, QStringLiteral("LINE"));
    const QCommandLineOption crlf(QStringLiteral("crlf"));
    const QCommandLineOption lfAfter(QStringLiteral("lf-after"), {}, QStringLiteral("MS"));
    const QCommandLineOption duplicate(QStringLiteral("duplicate"), {}, QStringLiteral("LINE"));
    const QCommandLineOption duplicateAlways(QStringLiteral("duplicate-always"), {},
                                             QStringLiteral("LINE"));
    const QCommandLineOption duplicateEvery(QStringLiteral("duplicate-every"), {},
                                            QStringLiteral("N"));
    const QCommandLineOption duplicateDelay(QStringLiteral("duplicate-delay"), {},
                                            QStringLiteral("MS"));
    const QCommandLineOption garbleEvery(QStringLiteral("garble-every"), {}, QStringLiteral("N"));
    const QCommandLineOption restartAfter(QStringLiteral("restart-after"), {}, QStringLiteral("N"));
    const QCommandLineOption deafMs(QStringLiteral("deaf-ms"), {}, QStringLiteral("MS"));
    const QCommandLineOption dumpDir(QStringLiteral("dump-dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption verbose(QStringLiteral("verbose"));
    parser.addOptions({help,           pty,
                       link,           tcp,
                       version,        serial,
                       nakAt,          silentAt,
                       ignoreFirst,    silentAfter,
                       textReply,      noCr,
                       delayMs,        baud,
                       expectBaud,     dropAfter,
                       noise,          lateAt,
                       loneCr,         chatterEvery,
                       stallAfter,     resumeAfter,
                       nakLine,        crlf,
                       lfAfter,        duplicate,
                       duplicateEvery, duplicateDelay,
                       garbleEvery,    restartAfter,
                       deafMs,         dumpDir,
                       verbose,        duplicateAlways});
    if (!parser.parse(args))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(QString::fromLatin1(HelpText).arg(program)), stdout);
        return ExitNormal;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(parser.positionalArguments().constFirst()));

    sim::Faults faults;
    for (const auto& [option, field] :
         {std::pair{&ignoreFirst, &sim::Faults::ignoreFirst},
          std::pair{&silentAfter, &sim::Faults::silentAfter},
          std::pair{&delayMs, &sim::Faults::delayMs}, std::pair{&baud, &sim::Faults::baud},
          std::pair{&expectBaud, &sim::Faults::expectBaud},
          std::pair{&dropAfter, &sim::Faults::dropAfter},
          std::pair{&lfAfter, &sim::Faults::lfAfterMs},
          std::pair{&duplicateEvery, &sim::Faults::duplicateEvery},
          std::pair{&duplicateDelay, &sim::Faults::duplicateDelayMs},
          std::pair{&garbleEvery, &sim::Faults::garbleEvery},
          std::pair{&restartAfter, &sim::Faults::restartAfter},
          std::pair{&deafMs, &sim::Faults::deafMs}}) {
        if (parser.isSet(*option) && !toCount(parser.value(*option), &(faults.*field)))
            return usageError(QStringLiteral("--%1 needs a whole number >= 0, not '%2'")
                                  .arg(option->names().constFirst(), parser.value(*option)));
    }
    for (const auto& [option, field] :
         {std::pair{&nakAt, &sim::Faults::nakAt}, std::pair{&silentAt, &sim::Faults::silentAt}}) {
        for (const QString& text : parser.values(*option)) {
            quint16 address = 0;
            if (!toAddress(text, &address))
                return usageError(QStringLiteral("--%1 needs 1 to 4 hex digits, not '%2'")
                                      .arg(option->names().constFirst(), text));
            (faults.*field).insert(address);
        }
    }
    for (const QString& text : parser.values(lateAt)) {
        const QStringList parts = text.split(QLatin1Char(':'));
        quint16 address = 0;
        int ms = 0;
        if (parts.size() != 2 || !toAddress(parts[0], &address) || !toCount(parts[1], &ms))
            return usageError(QStringLiteral("--late-at needs ADDR:MS (1 to 4 hex digits, a "
                                             "whole number >= 0), not '%1'")
                                  .arg(text));
        faults.lateAt.insert(address, ms);
    }
    if (parser.isSet(loneCr)) {
        const QString value = parser.value(loneCr);
        if (value != QLatin1String("nak") && value != QLatin1String("ignore"))
            return usageError(QStringLiteral("--lone-cr needs nak or ignore, not '%1'").arg(value));
        faults.loneCrNak = value == QLatin1String("nak");
    }
    if (parser.isSet(chatterEvery)) {
        int n = 0;
        if (!toCount(parser.value(chatterEvery), &n) || n == 0)
            return usageError(QStringLiteral("--chatter-every needs a whole number >= 1, not '%1'")
                                  .arg(parser.value(chatterEvery)));
        faults.chatterEvery = n;
    }
    if (parser.isSet(resumeAfter) && !parser.isSet(stallAfter))
        return usageError(QStringLiteral("--resume-after needs --stall-after"));
    if (parser.isSet(stallAfter)) {
        int n = 0;
        int ms = -1;
        if (!toCount(parser.value(stallAfter), &n))
            return usageError(QStringLiteral("--stall-after needs a whole number >= 0, not '%1'")
                                  .arg(parser.value(stallAfter)));
        if (parser.isSet(resumeAfter) && !toMs(parser.value(resumeAfter), &ms))
            return usageError(QStringLiteral("--resume-after needs seconds >= 0, not '%1'")
                                  .arg(parser.value(resumeAfter)));
        faults.stallAfter = n;
        faults.resumeAfterMs = ms;
    }
    for (const QString& text : parser.values(nakLine)) {
        // An empty line is the lone CR, which --lone-cr governs.
        if (text.isEmpty())
            return usageError(QStringLiteral("--nak-line needs a non-empty line"));
        faults.nakLines.insert(text.toLocal8Bit());
    }
    for (const auto& [option, lines] :
         {std::pair{&duplicate, &faults.duplicateLines},
          std::pair{&duplicateAlways, &faults.duplicateAlwaysLines}}) {
        for (const QString& text : parser.values(*option)) {
            if (text.isEmpty())
                return usageError(QStringLiteral("--%1 needs a non-empty line")
                                      .arg(option->names().constFirst()));
            lines->insert(text.toLocal8Bit());
        }
    }
    faults.crlf = parser.isSet(crlf) || parser.isSet(lfAfter);
    quint16 port = 0;
    if (parser.isSet(tcp)) {
        bool ok = false;
        const uint value = parser.value(tcp).toUInt(&ok, 10);
        if (!ok || value > 0xFFFF)
            return usageError(
                QStringLiteral("--tcp needs a port 0..65535, not '%1'").arg(parser.value(tcp)));
        port = quint16(value);
    }
    if (parser.isSet(version))
        faults.version = parser.value(version).toLocal8Bit();
    if (parser.isSet(serial))
        faults.serial = parser.value(serial).toLocal8Bit();
    faults.textReply = parser.isSet(textReply);
    faults.noCr = parser.isSet(noCr);
    faults.noise = parser.isSet(noise);

    sim::IndicatorSimulator indicator;
    indicator.setFaults(faults);
    indicator.setVerbose(parser.isSet(verbose));
    if (parser.isSet(dumpDir))
        indicator.setDumpDir(parser.value(dumpDir));

    // Block the ending signals before any thread starts, so that only sigwait() below sees them
    // and the simulator can stop cleanly (dump, link removal).
    sigset_t endSignals;
    sigemptyset(&endSignals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&endSignals, s);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QString error;
    const bool wantPty = parser.isSet(pty) || parser.isSet(link) || !parser.isSet(tcp);
    if (wantPty) {
        if (!indicator.startPty(&error))
            return startFailure(error);
        if (parser.isSet(link) && !indicator.setLink(parser.value(link), &error))
            return startFailure(error);
        std::printf("pty %s\n", qPrintable(indicator.ptyPath()));
        std::fflush(stdout);
    }
    if (parser.isSet(tcp)) {
        if (!indicator.startTcp(port, &error))
            return startFailure(error);
        std::printf("tcp %u\n", unsigned(indicator.tcpPort()));
        std::fflush(stdout);
    }

    int signal = 0;
    sigwait(&endSignals, &signal);
    indicator.stop();
    return ExitNormal;
}
