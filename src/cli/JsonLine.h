#pragma once

#include <QJsonObject>
#include <QString>

namespace Cli {

// An object as one line of compact JSON for stdout. JSON escapes the C0 controls but leaves DEL
// and the C1 controls as they are, and some terminals act on those; escaped too, the line means
// the same to a reader.
QString jsonLine(const QJsonObject& object);

} // namespace Cli
