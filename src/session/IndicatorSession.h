#pragma once

#include "link/CommandExchange.h"
#include "link/IndicatorQuery.h"
#include "link/PortAddress.h"
#include "platform/Rfc2217Channel.h"
#include "platform/SerialPort.h"
#include "platform/TcpClient.h"
#include "ticket/DownloadRecorder.h"
#include "ticket/Downloader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class SettingsStore;
class UiServices;

// One indicator, reached by a port address: the channel to it, the query, the download, its
// proof and its record, for the window and the command line alike. Every failure comes out once,
// as a value with the one text the operator reads for it; what the views show of a download
// comes from the downloader's phase and byte counts.
class IndicatorSession : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Open };
    Q_ENUM(State)

    // Something that went wrong outside a download, with its message box title and text.
    struct Failure {
        enum class Kind {
            None,
            PortNotOpened, // the serial port did not open
            Unreachable,   // the TCP/IP connection was not made
            Lost,          // the open channel went away
            QueryRefused,  // the indicator refused the query
            NoAnswer,      // the indicator did not answer the query
        };
        Kind kind = Kind::None;
        QString title;
        QString text;
    };

    // What a whole run does after opening the channel (the command line's runs).
    enum class Task { Query, Download };

    explicit IndicatorSession(UiServices& ui, QObject* parent = nullptr);
    ~IndicatorSession() override;

    // The device behind each COM number and the low-latency switch, from the settings file.
    void applyPortSettings(const SettingsStore& settings);
    // Where the indicator is; takes effect at the next open().
    void setAddress(const PortAddress& address);
    const PortAddress& address() const { return m_address; }
    // The serial line's rate. On an open port it is applied at once: the port is closed and
    // opened again, and when it does not open it stays closed and failed() tells why.
    void setRate(int rate);
    // The indicator the traffic log's lines name: a fleet's target; empty for none.
    void setLogName(const QString& name);
    // A TCP/IP host that neither accepts nor refuses is given up after this long; 0: never.
    void setConnectLimit(std::chrono::milliseconds limit) { m_connectLimit = limit; }

    // A serial port opens at once, a TCP/IP connection in the background.
    void open();
    void close();
    State state() const { return m_state; }
    bool isTcp() const { return m_address.kind == PortAddress::Kind::Tcp; }
    bool isRfc2217() const { return m_address.kind == PortAddress::Kind::Rfc2217; }
    bool isNetwork() const { return m_address.isNetwork(); }
    LineChannel& channel();
    const LineChannel& channel() const;
    // Where the channel leads, as the record and the messages name it: "COM 1 /dev/ttyS0",
    // "/dev/ttyUSB0", "192.168.1.50:4001".
    QString channelDescription() const;
    // The serial line's rate, here or behind RFC 2217; 0 over raw TCP/IP.
    int lineRate() const;

    // Asks for the version and the serial number; queryFinished() follows.
    void query();
    // Downloads the tickets and records the download; the downloader's finished() follows.
    // False, and nothing sent, while the channel is closed or another exchange runs.
    bool download(const SlotTable::Contents& contents, const SlotTable::Paths& paths);
    // A query or a download waits for the indicator.
    bool isBusy() const { return m_query.isRunning() || m_downloader.isRunning(); }
    const QByteArray& version() const { return m_version; }
    const QByteArray& serial() const { return m_serial; }

    // A whole run for the command line: opens the channel, queries, downloads the tickets when
    // asked, records, and closes; runFinished() follows once, also when the channel did not open.
    void run(Task task, const SlotTable::Contents& contents, const SlotTable::Paths& paths);
    // Ends the run as soon as the indicator allows: a query at once, a download after the reply
    // in flight, as the window's Cancel does.
    void cancelRun();
    bool isRunning() const { return m_runActive; }
    // How the run ended: the download's outcome; Lost when the channel did not open or went
    // away, Refused or Stopped when the query was refused or not answered, None for a query
    // that was answered.
    Downloader::Outcome runOutcome() const { return m_runOutcome; }
    // The run's record, whether or not a download began.
    const DownloadRecord& record() const { return m_recorder.record(); }

    SerialPort& serialPort() { return m_serialPort; }
    const SerialPort& serialPort() const { return m_serialPort; }
    TcpClient& tcpClient() { return m_tcpClient; }
    const TcpClient& tcpClient() const { return m_tcpClient; }
    CommandExchange& exchange() { return m_exchange; }
    Downloader& downloader() { return m_downloader; }
    const Downloader& downloader() const { return m_downloader; }
    DownloadRecorder& recorder() { return m_recorder; }

signals:
    void stateChanged(IndicatorSession::State state);
    // A failure outside a download, once; the downloader reports its own.
    void failed(const IndicatorSession::Failure& failure);
    void versionReceived(const QByteArray& version);
    void serialReceived(const QByteArray& serial);
    void queryFinished(bool ok);
    void runFinished();

private:
    // The texts of the channel failures, in one place for the window and the command line.
    static Failure portFailure(int error, const QString& device);
    Failure lossFailure(const QString& reason) const;
    void setState(State state);
    void changeSerialPort(const std::function<void(SerialPort&)>& change);
    void openSerial();
    void onOpen();
    void fail(const Failure& failure);
    void reportLoss(const QString& reason);
    void onNetworkError(int number, const QString& description);
    void onNetworkConnected();
    void onConnectLimit();
    void onChannelLost(const QString& reason);
    void onQueryFinished(bool ok);
    void continueRun();
    void endRun(Downloader::Outcome outcome);

    SerialPort m_serialPort;
    TcpClient m_tcpClient;
    Rfc2217Channel m_rfc2217;
    CommandExchange m_exchange;
    IndicatorQuery m_query{m_exchange};
    Downloader m_downloader;
    DownloadRecorder m_recorder{m_downloader, m_exchange};
    QTimer m_connectTimer;
    std::chrono::milliseconds m_connectLimit{0};
    PortAddress m_address;
    State m_state = State::Closed;
    // The channel's loss has been told since it was opened.
    bool m_lossReported = false;
    QByteArray m_version;
    QByteArray m_serial;

    // The command line's run.
    bool m_runActive = false;
    bool m_cancelRequested = false;
    bool m_runQueried = false;
    Task m_runTask = Task::Query;
    SlotTable::Contents m_runContents;
    SlotTable::Paths m_runPaths;
    Downloader::Outcome m_runOutcome = Downloader::Outcome::None;
    QElapsedTimer m_runClock;
};
