#include "platform/LineSettings.h"

#include <QStringList>

QString LineSettings::text() const
{
    static const char letters[] = {'n', 'o', 'e', 'm', 's'};
    return QStringLiteral("%1,%2,%3,%4")
        .arg(QString::number(rate), QChar::fromLatin1(letters[int(parity)]),
             QString::number(dataBits), QString::number(stopBits));
}

int LineSettings::rateCode(int rate)
{
    for (size_t i = 0; i < kRates.size(); ++i) {
        if (kRates[i] == rate)
            return int(i);
    }
    return -1;
}

QString LineSettings::ratesText()
{
    QStringList rates;
    for (const int rate : kRates)
        rates.append(QString::number(rate));
    const QString last = rates.takeLast();
    return rates.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}
