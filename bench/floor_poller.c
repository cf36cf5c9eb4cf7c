/* The floor of a poll's cost: the least a program can do per poll, in plain
 * C with no library between it and the system. Per poll it connects to the
 * device on loopback, sends one GET, reads the whole answer, finds <t0>..<t7>
 * and <devicename>, and appends one CSV line to LOG with open, write,
 * fdatasync and close. With --idle it wakes on the same schedule but never
 * polls, which gives the cost of waiting alone. Polls and run time are both
 * bounded; only http://127.0.0.1 URLs are polled.
 *
 * Usage: vornix7-floor-poller URL LOG [--polls N] [--seconds S] [--idle]
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kSensors = 8, kMaxPage = 1000000 };

static char page[kMaxPage + 1];

static double Now(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

/* The content of the first <tag>...</tag>, or an empty one. */
static const char* Element(const char* text, const char* tag, int* length)
{
    char open[32];
    char close[32];
    snprintf(open, sizeof open, "<%s>", tag);
    snprintf(close, sizeof close, "</%s>", tag);
    const char* start = strcasestr(text, open);
    const char* end = start != NULL ? strcasestr(start + strlen(open), close) : NULL;
    if (end == NULL) {
        *length = 0;
        return "";
    }
    start += strlen(open);
    *length = (int)(end - start);
    return start;
}

/* The whole answer of one GET, or -1 when there is none. */
static int Fetch(const struct sockaddr_in* device, const char* request)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    struct timeval limit = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    int got = -1;
    if (connect(fd, (const struct sockaddr*)device, sizeof *device) == 0
        && send(fd, request, strlen(request), MSG_NOSIGNAL) == (ssize_t)strlen(request)) {
        got = 0;
        for (ssize_t n; got < kMaxPage && (n = recv(fd, page + got, (size_t)(kMaxPage - got), 0)) != 0;) {
            if (n < 0) {
                got = -1;
                break;
            }
            got += (int)n;
        }
    }
    close(fd);
    if (got >= 0)
        page[got] = '\0';
    return got;
}

static void Poll(const struct sockaddr_in* device, const char* request, const char* logPath)
{
    char line[1024];
    const time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
    int at = (int)strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S,", &local);
    const int got = Fetch(device, request);
    const char* body = got > 0 ? strstr(page, "\r\n\r\n") : NULL;
    if (body == NULL) {
        at += snprintf(line + at, sizeof line - (size_t)at, ",ERROR\r\n");
    } else {
        int length = 0;
        const char* name = Element(body, "devicename", &length);
        at += snprintf(line + at, sizeof line - (size_t)at, "%.*s,", length > 64 ? 64 : length, name);
        for (int i = 0; i < kSensors; ++i) {
            char tag[8];
            snprintf(tag, sizeof tag, "t%d", i);
            const char* value = Element(body, tag, &length);
            at += snprintf(line + at, sizeof line - (size_t)at, "%g,", length > 0 ? atof(value) : 0.0);
        }
        at += snprintf(line + at, sizeof line - (size_t)at, "OK\r\n");
    }
    const int log = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (log < 0)
        return;
    if (write(log, line, (size_t)at) == at)
        fdatasync(log);
    close(log);
}

int main(int argc, char* argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s URL LOG [--polls N] [--seconds S] [--idle]\n", argv[0]);
        return 2;
    }
    long polls = 100;
    double seconds = 120;
    int idle = 0;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--polls") == 0 && i + 1 < argc)
            polls = atol(argv[++i]);
        else if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (strcmp(argv[i], "--idle") == 0)
            idle = 1;
        else {
            fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (polls < 0 || polls > 100000 || !(seconds > 0 && seconds <= 3600)) {
        fprintf(stderr, "--polls 0..100000, --seconds up to 3600\n");
        return 2;
    }
    unsigned port = 0;
    int pathAt = 0;
    if (sscanf(argv[1], "http://127.0.0.1:%u%n", &port, &pathAt) != 1 || port == 0 || port > 65535) {
        fprintf(stderr, "only http://127.0.0.1:PORT/ URLs are polled\n");
        return 2;
    }
    const char* path = argv[1][pathAt] == '/' ? argv[1] + pathAt : "/";
    char request[512];
    snprintf(request, sizeof request,
             "GET %s HTTP/1.1\r\nHost: 127.0.0.1:%u\r\nConnection: close\r\nUser-Agent: floor\r\n\r\n", path,
             port);
    struct sockaddr_in device;
    memset(&device, 0, sizeof device);
    device.sin_family = AF_INET;
    device.sin_port = htons((unsigned short)port);
    device.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    /* Like the logger's tick, the second counts from the end of a poll. */
    const double deadline = Now() + seconds;
    for (long i = 0; i < polls && Now() + 1.0 <= deadline; ++i) {
        sleep(1);
        if (!idle)
            Poll(&device, request, argv[2]);
    }
    return 0;
}
