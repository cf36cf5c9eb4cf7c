#include "sim_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "e2e_timing.h"
#include "scratch_dir.h"

namespace vornix7::e2e {

namespace {

constexpr const char* kListening = "listening on 127.0.0.1:";
// A device outlives no test by much even if every clean-up failed.
constexpr int kMaxSeconds = 300;

std::string ReadIfThere(const std::string& path)
{
    return test::FileExists(path) ? test::ReadFile(path) : std::string();
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

SimProcess::SimProcess(const std::string& dir, const std::vector<std::string>& args, int port,
                       const std::string& name)
    : countFile_(dir + "/" + name + ".count"), controlFile_(dir + "/" + name + ".control")
{
    SpawnOptions options;
    options.program = VORNIX7_SIM_PROGRAM;
    options.args = {"--port",    std::to_string(port), "--max-seconds", std::to_string(kMaxSeconds),
                    "--quiet",   "--count-file",       countFile_,      "--control",
                    controlFile_};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.stdoutPath = dir + "/" + name + ".out";
    options.stderrPath = dir + "/" + name + ".err";
    process_ = std::make_unique<ChildProcess>(options);

    const auto deadline = std::chrono::steady_clock::now() + Scaled(Millis(5000));
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string out = ReadIfThere(options.stdoutPath);
        const auto at = out.find(kListening);
        if (at != std::string::npos && out.find('\n', at) != std::string::npos) {
            port_ = std::stoi(out.substr(at + std::strlen(kListening)));
            return;
        }
        if (!process_->Running()) {
            break;
        }
        std::this_thread::sleep_for(Millis(5));
    }
    throw std::runtime_error("vornix7-sim did not start: " + ReadIfThere(options.stderrPath));
}

std::string SimProcess::url() const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

int SimProcess::Requests() const
{
    const std::string count = ReadIfThere(countFile_);
    return count.empty() ? 0 : std::stoi(count);
}

bool SimProcess::WaitForRequests(int count, Millis timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Requests() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(Millis(1));
    }
    return Requests() >= count;
}

void SimProcess::SetMode(const std::string& mode)
{
    // Renamed into place, so the device never reads a half-written file.
    const std::string temporary = controlFile_ + ".new";
    test::WriteFile(temporary, mode + "\n");
    if (std::rename(temporary.c_str(), controlFile_.c_str()) != 0) {
        throw std::runtime_error("cannot rename " + temporary);
    }
}

void SimProcess::Stop()
{
    process_->Signal(SIGTERM);
    if (!process_->WaitForExit(Scaled(Millis(5000)))) {
        process_->Kill();
    }
}

RefusingPort::RefusingPort()
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error(std::string("cannot bind a port: ") + std::strerror(errno));
    }
    port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string RefusingPort::url() const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

DeviceOrNobody::DeviceOrNobody(const std::string& dir, const std::vector<std::string>& args)
{
    if (args.empty()) {
        nobody_.emplace();
    } else {
        device_.emplace(dir, args);
    }
}

std::string HttpGetBody(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("cannot connect to the device");
    }
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::string response;
    bool sent =
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    char buffer[65536];
    ssize_t got = 0;
    while (sent && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        response.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    const auto headEnd = response.find("\r\n\r\n");
    if (!sent || got < 0 || headEnd == std::string::npos) {
        throw std::runtime_error("no whole answer from the device");
    }
    return response.substr(headEnd + 4);
}

} // namespace vornix7::e2e
