#pragma once

#include <QObject>

#include <memory>

#include "platform/transfer_control.h"

namespace vornix7 {

// Gives the window's transfer control a place among the window's Qt
// children, under its design name, so it lives and dies with the window
// like the control it stands for.
class TransferControlOwner final : public QObject {
public:
    TransferControlOwner(std::unique_ptr<TransferControl> control, QObject* parent)
        : QObject(parent), control_(std::move(control))
    {
    }

    TransferControl& control() { return *control_; }

private:
    std::unique_ptr<TransferControl> control_;
};

} // namespace vornix7
