#pragma once

#include "link/ComPorts.h"
#include "link/PortAddress.h"
#include "platform/LineChannel.h"
#include "platform/TlsTrust.h"

#include <memory>

// The one place that knows the kinds of channel: it makes the channel a port address leads to.
// Everything else speaks to a LineChannel.
namespace ChannelFactory {

// A closed channel for the address; COM ports take their device from ports, channels inside TLS
// their certificates and authorities from trust.
std::unique_ptr<LineChannel> make(const PortAddress& address, const ComPorts& ports,
                                  const TlsTrust& trust = {}, QObject* parent = nullptr);

} // namespace ChannelFactory
