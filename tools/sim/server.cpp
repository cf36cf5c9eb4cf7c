#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "answer.h"
#include "common/control_bytes.h"
#include "connection.h"
#include "http.h"

namespace vornix7::sim {

namespace {

// Request targets come from the client; keep control bytes out of the log.
std::string Printable(std::string_view text)
{
    return EscapeControlBytes(text, ControlBytes::kNonPrintable);
}

std::string LogLine(const RequestLine& request, Mode mode, const AnswerOutcome& outcome)
{
    std::string line = Printable(request.method) + " " + Printable(request.target) + " -> ";
    line += ModeName(mode);
    if (outcome.status != 0)
        line += " " + std::to_string(outcome.status) + ", " + std::to_string(outcome.bodyBytes) + " bytes";
    else if (outcome.note.empty())
        line += ", no answer";
    if (!outcome.note.empty())
        line += ", " + outcome.note;
    return line;
}

// The first word of the control file, empty when there is none. Read fresh
// before every request, so a test can switch the device between working
// and failing without restarting it (the port stays the same).
std::string ReadControlWord(const std::string& path)
{
    std::string word;
    std::ifstream(path) >> word;
    return word;
}

// Writes via a temporary file and rename, so a reader polling the file
// never sees it empty or half written.
bool WriteCountFile(const std::string& path, std::uint64_t count)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << count << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace

Server::Server(Options options, std::ostream* log)
    : options_(std::move(options)), log_(log), walk_(options_.sensors, options_.seed)
{
}

Server::~Server()
{
    if (listenFd_ >= 0)
        close(listenFd_);
}

std::uint16_t Server::Listen()
{
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    // Lets a test restart the simulator on the same port right after
    // killing it ("device gone, device back"), despite TIME_WAIT.
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(options_.port);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(options_.port) + ": "
                                 + std::strerror(errno));
    if (listen(listenFd_, 64) != 0)
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));

    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return port_;
}

void Server::Run(const StopSignal& stop)
{
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (options_.maxSeconds)
        deadline = std::chrono::steady_clock::now()
                   + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(*options_.maxSeconds));
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> workers;

    for (;;) {
        workers.remove_if([](Worker& w) {
            if (!w.done->load())
                return false;
            w.thread.join();
            return true;
        });

        int timeoutMs = -1;
        if (deadline) {
            timeoutMs = MillisecondsUntil(*deadline);
            if (timeoutMs <= 0)
                break;
        }
        const IoResult waited = WaitFor(listenFd_, POLLIN, stop, timeoutMs);
        if (waited == IoResult::Stopped)
            break;
        if (waited == IoResult::Failed)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (waited != IoResult::Ok)
            continue;

        const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            continue; // e.g. the client gave up before we accepted
        if (workers.size() >= kMaxConnections) {
            close(client);
            Log("too many connections; closed a new one");
            continue;
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers.push_back({std::thread([this, client, &stop, done] {
                               Serve(client, stop);
                               done->store(true);
                           }),
                           done});
    }

    // New clients are refused from now on, as from a device switched off.
    close(listenFd_);
    listenFd_ = -1;
    stop.Request(); // ends held, delayed and trickling connections too
    for (auto& w : workers)
        w.thread.join();
}

std::string Server::NextPage()
{
    std::lock_guard lock(mutex_);
    return BuildPage(options_.name, options_.fixedValues ? *options_.fixedValues : walk_.Next());
}

std::uint64_t Server::CountRequest()
{
    std::lock_guard lock(mutex_);
    const auto count = ++requests_;
    // Written before the answer, so a client that has its answer can trust
    // the file to include its request.
    if (!options_.countFile.empty() && !WriteCountFile(options_.countFile, count) && log_)
        *log_ << "cannot write " << options_.countFile << std::endl;
    return count;
}

void Server::Log(const std::string& line)
{
    std::lock_guard lock(mutex_);
    if (log_)
        *log_ << line << std::endl;
}

void Server::Serve(int fd, const StopSignal& stop)
{
    Connection connection(fd, stop);

    std::string buffer;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHeadTimeoutMs);
    std::optional<std::size_t> headLength;
    while (!(headLength = HeadLength(buffer))) {
        const int left = MillisecondsUntil(giveUp);
        if (buffer.size() > kMaxHeadBytes || left <= 0 || connection.Receive(buffer, left) != IoResult::Ok)
            break;
    }
    if (!headLength) {
        if (!buffer.empty())
            Log("incomplete request of " + std::to_string(buffer.size()) + " bytes; closed");
        return;
    }

    const auto request = ParseRequestLine(std::string_view(buffer).substr(0, *headLength));
    if (!request) {
        const std::string body = "<html><body>Bad request</body></html>\n";
        connection.SendAll(ResponseHead(400, HtmlHeaders(body.size())) + body);
        Log("malformed request -> 400");
        connection.CloseGracefully();
        return;
    }

    const auto number = CountRequest();
    Mode mode = options_.mode;
    if (!options_.controlFile.empty()) {
        const std::string word = ReadControlWord(options_.controlFile);
        if (const auto named = ModeFromName(word))
            mode = *named;
        else if (!word.empty())
            Log("control file word '" + Printable(word) + "' is no mode; using "
                + std::string(ModeName(mode)));
    }
    // The redirect target is served as the real page: a client that wrongly
    // follows redirects then logs readings, which its test can detect.
    if (mode == Mode::Redirect && TargetPath(request->target) == "/other")
        mode = Mode::Normal;

    const AnswerContext context{options_, [this] { return NextPage(); }, port_, request->method == "HEAD",
                                options_.seed + number};
    const AnswerOutcome outcome = Answer(connection, mode, context);
    Log(LogLine(*request, mode, outcome));

    if (outcome.holdOpen)
        connection.Drain();
    if (!outcome.closed)
        connection.CloseGracefully();
}

} // namespace vornix7::sim
