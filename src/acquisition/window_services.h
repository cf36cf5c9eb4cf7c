#pragma once

#include <string>

namespace vornix7 {

// What the fetch and the poll schedule need from the window.
class WindowServices {
public:
    virtual ~WindowServices() = default;

    // Sets the status label; it repaints when events are next pumped.
    virtual void SetStatus(const std::string& text) = 0;

    // Processes waiting window events. Exit and window close take effect in
    // here and end the program without returning.
    virtual void PumpEvents() = 0;
};

// The pause between two steps of the fetch's wait loop.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void Sleep(int milliseconds) = 0;
};

} // namespace vornix7
