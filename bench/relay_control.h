#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "acquisition/transfer_control.h"

namespace vornix7::bench {

// A transfer control that hands every call to another one, each inside a
// hook: the benches time or watch the real control through it.
class RelayControl final : public TransferControl {
public:
    // Runs `call`, one of the four operations named by `operation`, with
    // whatever the bench does around it.
    using Around = std::function<void(const char* operation, const std::function<void()>& call)>;

    RelayControl(TransferControl& inner, Around around) : inner_(inner), around_(std::move(around)) {}

    void Cancel() override
    {
        around_("Cancel", [&] { inner_.Cancel(); });
    }
    void Execute(const std::string& url, const std::string& operation) override
    {
        around_("Execute", [&] { inner_.Execute(url, operation); });
    }
    bool StillExecuting() override
    {
        around_("StillExecuting", [&] { running_ = inner_.StillExecuting(); });
        return running_;
    }
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override
    {
        std::optional<std::string> chunk;
        around_("GetChunk", [&] { chunk = inner_.GetChunk(size, dataType); });
        return chunk;
    }

    // What the last StillExecuting answered.
    bool running() const { return running_; }

private:
    TransferControl& inner_;
    Around around_;
    bool running_ = false;
};

} // namespace vornix7::bench
