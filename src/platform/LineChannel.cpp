#include "platform/LineChannel.h"

void LineChannel::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void LineChannel::fail(const ChannelFailure& failure)
{
    setState(State::Closed);
    emit failed(failure);
}
