#include "platform/signal_bridge.h"

namespace vornix7 {

struct SignalBridge::PreviousHandlers {};

SignalBridge::SignalBridge(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
}

SignalBridge::~SignalBridge() = default;

void SignalBridge::OnReadable() {}

} // namespace vornix7
