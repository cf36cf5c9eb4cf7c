#include "shell/error_report.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "common/runtime_error.h"

namespace vornix7 {

void WriteErrorLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

namespace {

struct Caught {
    std::string kind;
    std::string detail;
};

} // namespace

void RunAtBoundary(const std::function<void()>& body, const ErrorHandler& onError)
{
    std::optional<Caught> caught;
    try {
        if (body) {
            body();
        }
    } catch (const RuntimeError& error) {
        caught = Caught{error.kind(), error.detail()};
    } catch (const std::exception& error) {
        caught = Caught{kInternalError, error.what()};
    } catch (...) {
        caught = Caught{kInternalError, "an exception of unknown type"};
    }
    if (caught) {
        onError(caught->kind, caught->detail);
    }
}

} // namespace vornix7
