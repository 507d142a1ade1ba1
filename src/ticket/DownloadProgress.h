#pragma once

#include <QString>
#include <chrono>
#include <optional>

// The text on the download's progress bar.
namespace DownloadProgress {

// "37 % - 2:41 left": the share done, floored, and the time left at the rate so far, rounded up
// to the whole second (m:ss, or h:mm:ss from an hour up). Until a rate can be trusted (nothing
// done yet, or less than a second gone) only the share ("0 %", "4 %"); when all is done only
// "100 %". done is clamped to 0..total; a total of 0 or less reads "0 %".
QString text(qint64 done, qint64 total, std::chrono::milliseconds elapsed);

// The time left at the rate so far, in whole seconds rounded up; nothing until a rate can be
// trusted (nothing done yet, or less than a second gone) or when all is done.
std::optional<qint64> secondsLeft(qint64 done, qint64 total, std::chrono::milliseconds elapsed);

// "0:05", "2:41", "1:02:03".
QString durationText(qint64 seconds);

} // namespace DownloadProgress
