#pragma once

// What every system call of the platform layer that can fail gives back:
// its value, or why it failed.

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vornix7 {

// Why a step failed: one of the error kinds of common/runtime_error.h
// ("Path not found", "Disk full", ...) and the system's own words for the
// cause. The callers turn it into a RuntimeError where the program ends.
struct SystemError {
    const char* kind;
    std::string reason;
    // Another program holds the file (Windows: a sharing or lock
    // violation): it may be free again later, nothing is wrong with it.
    bool busy = false;
};

// The one place per system (system_posix.cpp, system_windows.cpp) where a
// system error code, errno or GetLastError(), becomes one of the program's
// error kinds, with the system's words for it.
SystemError ErrorFromSystem(unsigned long code);

// A value, or the error that kept it from being had.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(SystemError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const SystemError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, SystemError> state_;
};

// A step without a value: it worked, or the error.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(SystemError error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    const SystemError& error() const { return *error_; }

private:
    std::optional<SystemError> error_;
};

// The value of a step that worked; for one that did not, `fail` is called
// with the error, and must throw (a RuntimeError where the program ends).
template <class T, class Fail> T ValueOrFail(Result<T> result, const Fail& fail)
{
    if (!result.ok()) {
        fail(result.error());
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*result);
    }
}

} // namespace vornix7
