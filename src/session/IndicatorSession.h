#pragma once

#include "link/ComPorts.h"
#include "link/CommandExchange.h"
#include "link/IndicatorQuery.h"
#include "link/PortAddress.h"
#include "platform/LineChannel.h"
#include "session/SessionFailure.h"
#include "ticket/DownloadRecorder.h"
#include "ticket/Downloader.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

// One indicator, reached by a port address: the channel to it, the query, the download, its
// proof and its record, for the window and the command line alike. Every failure comes out
// once, as a value; what the views show of a download comes from the downloader.
class IndicatorSession : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Open };
    Q_ENUM(State)

    explicit IndicatorSession(QObject* parent = nullptr);
    ~IndicatorSession() override;

    // The devices behind the COM ports and how they open.
    void setComPorts(const ComPorts& ports);
    const ComPorts& comPorts() const { return m_ports; }
    // The authorities, pin, certificate and key of a channel inside TLS; as the address, taken
    // at the next open.
    void setTlsTrust(const TlsTrust& trust);
    const TlsTrust& tlsTrust() const { return m_trust; }
    // Where the indicator is. A channel that is open stays as it is; the next open() goes there.
    void setAddress(const PortAddress& address);
    const PortAddress& address() const { return m_address; }
    // The serial line's settings: taken at once by an open channel that has a line (a serial
    // port is set, a device server asked), otherwise at the next open.
    void setLineSettings(const LineSettings& settings);
    const LineSettings& lineSettings() const { return m_lineSettings; }
    // The indicator the traffic log's lines name: a fleet's target; empty for none.
    void setLogName(const QString& name);
    // A network host that neither accepts nor refuses is given up after this long; 0: never.
    void setConnectLimit(std::chrono::milliseconds limit) { m_connectLimit = limit; }

    // A serial port opens at once, a network connection in the background.
    void open();
    void close();
    State state() const { return m_state; }
    LineChannel& channel() { return *m_channel; }
    const LineChannel& channel() const { return *m_channel; }
    // Where the channel leads, as the record names it: "COM 1 /dev/ttyS0", "/dev/ttyUSB0",
    // "192.168.1.50:4001", "rfc2217://192.168.1.50:4001", "tls:192.168.1.50:4001".
    QString channelDescription() const { return m_channel->description(); }
    // The serial line's rate, here or behind a device server; 0 over raw TCP/IP.
    int lineRate() const;

    // Asks for the version and the serial number; queryFinished() follows.
    void query();
    // Takes the tickets the next download sends and hashes them for its record.
    void prepareDownload(const SlotTable::Contents& contents, const SlotTable::Paths& paths);
    // Downloads the prepared tickets and records the download; the downloader's finished()
    // follows. False, and nothing sent, while the channel is closed or another exchange runs.
    bool startDownload();
    bool download(const SlotTable::Contents& contents, const SlotTable::Paths& paths);
    // The one way to cancel: a download stops after the reply in flight, a query is given up at
    // once. The request stands until the next open, query or download.
    void cancel();
    bool cancelRequested() const { return m_cancelRequested; }
    // Ends a download at once, for a program that is closing.
    void abandon();
    // A query or a download waits for the indicator.
    bool isBusy() const { return m_query.isRunning() || m_downloader.isRunning(); }
    const QByteArray& version() const { return m_version; }
    const QByteArray& serial() const { return m_serial; }
    // Why the last query failed; None when it was answered.
    const SessionFailure& queryFailure() const { return m_queryFailure; }
    // Where the record says the download went: the channel, its rate and the indicator's texts.
    void recordTarget();

    CommandExchange& exchange() { return m_exchange; }
    Downloader& downloader() { return m_downloader; }
    const Downloader& downloader() const { return m_downloader; }
    DownloadRecorder& recorder() { return m_recorder; }
    const DownloadRecorder& recorder() const { return m_recorder; }

signals:
    void stateChanged(IndicatorSession::State state);
    // A failure outside a download, once; the downloader reports its own.
    void failed(const SessionFailure& failure);
    void versionReceived(const QByteArray& version);
    void serialReceived(const QByteArray& serial);
    void queryFinished(bool ok);

private:
    void makeChannel();
    void setState(State state);
    void onChannelState(LineChannel::State state);
    void onChannelFailed(const ChannelFailure& failure);
    void onConnectLimit();
    void onQueryFinished(bool ok);
    SessionFailure failureOf(SessionFailure::Kind kind, const ChannelFailure& channel = {}) const;

    ComPorts m_ports;
    TlsTrust m_trust;
    PortAddress m_address = PortAddress::com(1);
    LineSettings m_lineSettings;
    QString m_logName;
    // Made for the address; the exchange, the query and the downloader go before it.
    std::unique_ptr<LineChannel> m_channel;
    // The address or the ports changed while the channel was open.
    bool m_channelStale = false;
    CommandExchange m_exchange;
    IndicatorQuery m_query{m_exchange};
    Downloader m_downloader{m_exchange};
    DownloadRecorder m_recorder{m_downloader, m_exchange};
    SlotTable::Contents m_prepared;
    QTimer m_connectTimer;
    std::chrono::milliseconds m_connectLimit{0};
    State m_state = State::Closed;
    // The channel's loss has been told since it was opened.
    bool m_lossReported = false;
    bool m_cancelRequested = false;
    QByteArray m_version;
    QByteArray m_serial;
    SessionFailure m_queryFailure;
};
