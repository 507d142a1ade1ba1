#pragma once

#include <QString>

// The settings file's sections, keys and the values the program gives them meaning: the one
// place that names them. Keys match whatever their case when read.
namespace SettingsKeys {

// The channel the window opens.
inline const QString kCommSection = QStringLiteral("CommSettings");
// "1" to "8" for COM 1 to COM 8; a value holding "TCP" selects TCP/IP, one holding "RFC2217" a
// serial device server's port (in any case), "TLS" a device server's port inside TLS: a value
// that an older build reads as no port rather than as a plain network channel.
inline const QString kCommPort = QStringLiteral("CommPort");
inline const QString kCommPortTcp = QStringLiteral("TCP");
inline const QString kCommPortRfc2217 = QStringLiteral("RFC2217");
inline const QString kCommPortTls = QStringLiteral("TLS");
// Inside TLS: "rfc2217" (also when missing) or "raw", in any case.
inline const QString kTlsMode = QStringLiteral("TlsMode");
inline const QString kTlsModeRaw = QStringLiteral("raw");
// Inside TLS: the authority's certificate file (empty: the system's authorities), this
// program's certificate and key files, and the one server certificate trusted as
// "SHA256:<hex>". A relative path starts at the settings file's folder.
inline const QString kCa = QStringLiteral("CA");
inline const QString kCert = QStringLiteral("Cert");
inline const QString kKey = QStringLiteral("Key");
inline const QString kPin = QStringLiteral("Pin");
// The rate's code "0" to "5"; a new file gets this spelling, and CommBaud reads as it.
inline const QString kCommBaud = QStringLiteral("Commbaud");
// The code written back when CommBaud names no rate: 19200 baud.
constexpr int kFallbackRateCode = 2;
inline const QString kIp = QStringLiteral("IP");
inline const QString kPort = QStringLiteral("Port");

// The device behind each COM port, keys COM1 to COM8.
inline const QString kPortNamesSection = QStringLiteral("PortNames");
inline QString comKey(int comNumber)
{
    return QStringLiteral("COM") + QString::number(comNumber);
}

// "0" turns the low-latency request on USB adapters off; anything else leaves it on.
inline const QString kSerialPortSection = QStringLiteral("SerialPort");
inline const QString kLowLatency = QStringLiteral("LowLatency");
inline const QString kLowLatencyOff = QStringLiteral("0");

// The folder the file dialogs used last.
inline const QString kWorkspaceSection = QStringLiteral("Workspace");
inline const QString kLastFolder = QStringLiteral("LastFolder");

} // namespace SettingsKeys
