#pragma once

#include <QString>
#include <array>

// How a serial line is set: rate, data bits, parity and stop bits. The indicator speaks 8N1 at
// one of six rates; the text "19200,n,8,1" is made only where the settings are shown.
struct LineSettings {
    enum class Parity { None, Odd, Even, Mark, Space };

    // The six rates the indicator takes, in the order of their codes "0" to "5" in the settings
    // file and of the rate window's options.
    static constexpr std::array<int, 6> kRates = {4800, 9600, 19200, 38400, 57600, 115200};
    static constexpr int kDefaultRate = 19200;

    int rate = kDefaultRate;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;

    // 8N1 at the rate.
    static LineSettings at(int rate)
    {
        LineSettings settings;
        settings.rate = rate;
        return settings;
    }
    // "19200,n,8,1".
    QString text() const;
    // The rate's place among the six (its code in the settings file), or -1.
    static int rateCode(int rate);
    static bool isIndicatorRate(int rate) { return rateCode(rate) >= 0; }
    // "4800, 9600, 19200, 38400, 57600 or 115200", for help texts and messages.
    static QString ratesText();

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};
