#include "ticket/DownloadProgress.h"

#include "platform/TextRoutines.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

namespace DownloadProgress {

namespace {
constexpr std::chrono::milliseconds kRateAfter{1000};

enum class Round { Down, Up };

// a * b / c for non-negative a and b and positive c, exact while the product fits in 64 bits.
qint64 mulDiv(qint64 a, qint64 b, qint64 c, Round round)
{
    if (b != 0 && a > std::numeric_limits<qint64>::max() / b) {
        const long double q = static_cast<long double>(a) * b / c;
        return static_cast<qint64>(round == Round::Up ? std::ceil(q) : std::floor(q));
    }
    const qint64 product = a * b;
    return product / c + (round == Round::Up && product % c != 0 ? 1 : 0);
}
} // namespace

QString durationText(qint64 seconds)
{
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    if (h > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(QString::number(h), TextRoutines::twoDigits(m), TextRoutines::twoDigits(s));
    }
    return QStringLiteral("%1:%2").arg(QString::number(m), TextRoutines::twoDigits(s));
}

std::optional<qint64> secondsLeft(qint64 done, qint64 total, std::chrono::milliseconds elapsed)
{
    if (total <= 0)
        return std::nullopt;
    done = std::clamp<qint64>(done, 0, total);
    if (done == 0 || done == total || elapsed < kRateAfter)
        return std::nullopt;
    const qint64 leftMs = mulDiv(total - done, elapsed.count(), done, Round::Up);
    return mulDiv(leftMs, 1, 1000, Round::Up);
}

QString text(qint64 done, qint64 total, std::chrono::milliseconds elapsed)
{
    if (total <= 0)
        return QStringLiteral("0 %");
    done = std::clamp<qint64>(done, 0, total);
    if (done == total)
        return QStringLiteral("100 %");
    // In integers, so that 37 of 100 is 37 % and never 36 % through a rounding error.
    const QString share = QStringLiteral("%1 %").arg(mulDiv(done, 100, total, Round::Down));
    const std::optional<qint64> left = secondsLeft(done, total, elapsed);
    if (!left)
        return share;
    return QCoreApplication::translate("DownloadProgress", "%1 - %2 left")
        .arg(share, durationText(*left));
}

} // namespace DownloadProgress
