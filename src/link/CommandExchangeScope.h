#pragma once

#include "link/CommandExchange.h"

#include <utility>

// Marks a stretch during which an outcome must not be emitted at once. When the outermost scope
// ends, an outcome reached inside it is emitted: directly at the end of a receipt, so chained
// commands cost no extra pass of the event loop; from the event loop after a call or a write,
// so no caller sees finished() before its call returns.
class CommandExchange::Scope {
public:
    Scope(CommandExchange& exchange, bool deliverDirectly)
        : m_exchange(exchange)
        , m_outermost(exchange.m_syncDepth == 0)
        , m_direct(deliverDirectly)
    {
        ++m_exchange.m_syncDepth;
    }
    ~Scope()
    {
        --m_exchange.m_syncDepth;
        if (!m_outermost || !std::exchange(m_exchange.m_deliveryOwed, false))
            return;
        if (m_direct)
            m_exchange.deliverFinished();
        else
            QMetaObject::invokeMethod(&m_exchange, &CommandExchange::deliverFinished,
                                      Qt::QueuedConnection);
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    CommandExchange& m_exchange;
    bool m_outermost;
    bool m_direct;
};
