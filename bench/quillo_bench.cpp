// The native half of the benchmarks: what one check costs the client (the
// probe beside the least a POP3 check can do), and how a pass over the hosts
// grows with their number. Prints "key value" lines for scripts/bench.
#include "host_table.h"
#include "password_scrambling.h"
#include "probe.h"
#include "scheduler_rules.h"
#include "support/pop3_script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kUser[] = "bench";
constexpr char kPassword[] = "secret";

struct Cost {
    double wallUs;
    double cpuUs;  // this thread's user and system time
};

double ThreadCpuUs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

double WallUs()
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <typename Work>
Cost Measure(Work&& work)
{
    const double wall = WallUs();
    const double cpu = ThreadCpuUs();
    work();
    return {WallUs() - wall, ThreadCpuUs() - cpu};
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Reads up to and with the next LF, in whatever pieces the kernel hands
// over; false when the line does not come.
bool ReadReplyLine(int socket)
{
    char buffer[512];
    for (;;) {
        const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        if (std::memchr(buffer, '\n', static_cast<size_t>(got)) != nullptr)
            return true;
    }
}

bool SendText(int socket, const char* text)
{
    const size_t length = std::strlen(text);
    return send(socket, text, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

// Sends the command, and with splitLine its CR LF in a send of its own.
bool SendCommandLine(int socket, const char* command, bool splitLine)
{
    if (!splitLine)
        return SendText(socket, (std::string(command) + "\r\n").c_str());
    return SendText(socket, command) && SendText(socket, "\r\n");
}

// The least a check can be: connect, greeting, USER, PASS, STAT, QUIT, close;
// blocking calls, whole-buffer reads, no status, no bounds. With splitLine
// every command goes out the way the probe sends it (text, then CR LF), which
// shows what that alone costs; noDelay turns off Nagle's algorithm, which
// holds a second small send until the first one is acknowledged.
bool FloorCheck(uint16_t port, bool splitLine = false, bool noDelay = false)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket < 0)
        return false;
    if (noDelay) {
        const int on = 1;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0 &&
              ReadReplyLine(socket) && SendCommandLine(socket, "USER bench", splitLine) && ReadReplyLine(socket) &&
              SendCommandLine(socket, "PASS secret", splitLine) && ReadReplyLine(socket) &&
              SendCommandLine(socket, "STAT", splitLine) && ReadReplyLine(socket) &&
              SendCommandLine(socket, "QUIT", splitLine);
    close(socket);
    return ok;
}

void FillHost(HostConfig& host, uint16_t port)
{
    host.Name = "127.0.0.1";
    host.Port = port;
    host.UserID = kUser;
    host.Password = kPassword;
    host.Delay = 0;
}

std::vector<Script> Dialogues(size_t count)
{
    return std::vector<Script>(count, ScriptedPop3Session("+OK 0 0\r\n"));
}

// Probe, floor and now and then the split-line floor take turns, so that drift of the machine hits both alike.
int RunCheckCost(int rounds)
{
    constexpr int kWarmUp = 50;
    Pop3ScriptServer server(Dialogues(4 * static_cast<size_t>(rounds + kWarmUp)));
    if (!server.listening()) {
        std::fprintf(stderr, "bench: no scripted server\n");
        return 1;
    }
    ProbeSettings settings;
    settings.BoundMs = 5000;
    HostConfig host;
    FillHost(host, server.port());

    std::vector<double> probeWall, probeCpu, floorWall, floorCpu, splitWall, splitNoDelayWall;
    int failures = 0;
    for (int round = 0; round < rounds + kWarmUp; ++round) {
        int32_t state = Unknown;
        const Cost probe = Measure([&] { state = GuessState(host, settings).State; });
        bool floorOk = false;
        const Cost floor = Measure([&] { floorOk = FloorCheck(server.port()); });
        // Every tenth round only: a split-line check is slow, and its median
        // needs no more samples than that.
        bool splitOk = true;
        Cost split{};
        if (round % 10 == 0)
            split = Measure([&] { splitOk = FloorCheck(server.port(), true); });
        bool noDelayOk = false;
        const Cost splitNoDelay = Measure([&] { noDelayOk = FloorCheck(server.port(), true, true); });
        if (state != NoMail || !floorOk || !splitOk || !noDelayOk)
            ++failures;
        if (round < kWarmUp)
            continue;
        probeWall.push_back(probe.wallUs);
        probeCpu.push_back(probe.cpuUs);
        floorWall.push_back(floor.wallUs);
        floorCpu.push_back(floor.cpuUs);
        if (round % 10 == 0)
            splitWall.push_back(split.wallUs);
        splitNoDelayWall.push_back(splitNoDelay.wallUs);
    }
    std::printf("checks %d\nfailures %d\n", rounds, failures);
    std::printf("probe_wall_us %.1f\nfloor_wall_us %.1f\n", Median(probeWall), Median(floorWall));
    std::printf("split_floor_wall_us %.1f\n", Median(splitWall));
    std::printf("split_nodelay_floor_wall_us %.1f\n", Median(splitNoDelayWall));
    std::printf("probe_cpu_us %.1f\nfloor_cpu_us %.1f\n", Median(probeCpu), Median(floorCpu));
    return failures == 0 ? 0 : 1;
}

// One pass of the check thread's rules over N due hosts, each checked by the
// real probe; the median of several passes, per host.
int RunScale(int passes)
{
    const int sizes[] = {10, 50, 200};
    size_t connections = 0;
    for (const int size : sizes)
        connections += static_cast<size_t>(size) * (passes + 1);
    Pop3ScriptServer server(Dialogues(connections));
    if (!server.listening())
        return 1;
    ProbeSettings settings;
    settings.BoundMs = 5000;

    int failures = 0;
    CheckHooks hooks;
    // As the monitor checks: the progress shown and posted on the way.
    hooks.GuessState = [&](const HostEntry& host, const ProgressReport& progress) {
        ProbeSettings withProgress = settings;
        withProgress.Progress = progress;
        const ProbeResult result = GuessState(host, withProgress);
        failures += result.State != NoMail;
        return result;
    };
    hooks.Post = [](unsigned, int32_t) { return true; };
    const std::atomic<bool> neverStopped{false};
    for (const int size : sizes) {
        std::vector<HostConfig> hosts(static_cast<size_t>(size));
        for (HostConfig& host : hosts)
            FillHost(host, server.port());
        HostTable table;
        FillHostTable(table, std::move(hosts));
        std::vector<double> perHost;
        for (int pass = 0; pass <= passes; ++pass) {
            const Cost cost = Measure([&] { CheckDueHosts(table, kTickSleepMs, neverStopped, hooks); });
            if (pass > 0)  // the first pass warms up
                perHost.push_back(cost.wallUs / size);
        }
        std::printf("scale_%d_pass_ms %.2f\nscale_%d_per_host_us %.1f\n", size, Median(perHost) * size / 1000, size,
                    Median(perHost));
    }
    std::printf("scale_failures %d\n", failures);
    return failures == 0 ? 0 : 1;
}

// The registry form of a password, for scripts that store hosts with
// `wine reg add`.
int PrintScrambled(const char* clear)
{
    const std::optional<std::string> scrambled = ScramblePassword(clear);
    if (!scrambled)
        return 1;
    std::printf("%s\n", scrambled->c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const int count = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "check-cost" && count > 0)
        return RunCheckCost(count);
    if (mode == "scale" && count > 0)
        return RunScale(count);
    if (mode == "scramble" && argc > 2)
        return PrintScrambled(argv[2]);
    std::fprintf(stderr, "usage: quillo_bench check-cost N | scale PASSES | scramble PASSWORD\n");
    return 2;
}
