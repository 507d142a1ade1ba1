#include "platform/LogSource.h"

#include <utility>

namespace {
// Set while a statement is built and taken by the handler it reaches, on the same thread.
thread_local QString t_name;
} // namespace

QString LogSource::take()
{
    return std::exchange(t_name, QString());
}

QDebug operator<<(QDebug debug, const LogSource& source)
{
    t_name = source.name;
    return debug;
}
