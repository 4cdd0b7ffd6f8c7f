// The monitor's end, natively under the sanitizers: the real check loop on a
// real thread, with the real probe against loopback servers, stopped the way
// the monitor stops it when it ends, at every kind of moment and many times.
// The table is freed as soon as the thread has ended, so that any later
// touch of it is a use after free that AddressSanitizer reports.
#include "probe.h"
#include "scheduler_rules.h"

#include "support/pop3_script_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Far below the probe's 30-second bound: a check that is not woken shows.
constexpr auto kStopBound = std::chrono::milliseconds(2000);

// What the monitor's main thread and its events do for the check thread:
// the sleep and the reload wait end early once the stop word is set. Nobody
// ever rebuilds the table here, so a reload wait lasts until the stop.
class MainThread {
public:
    std::atomic<bool> stop{false};

    CheckHooks Hooks(ProbeSettings& settings)
    {
        settings.Stop = &stop;
        return CheckHooks{
            [] {
                return static_cast<uint32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
            },
            // A short tick, so that many passes fit into a test.
            [this](uint32_t) {
                std::unique_lock<std::mutex> hold(lock_);
                woken_.wait_for(hold, std::chrono::milliseconds(2), [this] { return stop.load(); });
            },
            [&settings](const HostEntry& host, const ProgressReport& progress) {
                ProbeSettings withProgress = settings;
                withProgress.Progress = progress;
                return GuessState(host, withProgress);
            },
            [](unsigned, int32_t) { return true; },
            [this] {
                std::unique_lock<std::mutex> hold(lock_);
                woken_.wait(hold, [this] { return stop.load(); });
            },
        };
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop = true;
        }
        woken_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable woken_;
};

// A loopback port on which connects hang: its listener's queue is full and
// it never accepts.
class HangingListener {
public:
    HangingListener() : listener_(OpenStreamSocket())
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
        listen(listener_.get(), 0);
        socklen_t size = sizeof local;
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&local), &size);
        port_ = ntohs(local.sin_port);
        for (int i = 0; i < 8; ++i) {
            queued_.push_back(std::make_unique<UniqueSocket>(OpenStreamSocket()));
            if (ConnectWithin(queued_.back()->get(), ResolveHost("127.0.0.1", port_).front(), 200) != 0)
                break;
        }
    }
    uint16_t port() const { return port_; }

private:
    UniqueSocket listener_;
    uint16_t port_ = 0;
    std::vector<std::unique_ptr<UniqueSocket>> queued_;
};

// A loopback port where nothing listens: every connect is refused at once.
uint16_t RefusingPort()
{
    UniqueSocket probe(OpenStreamSocket());
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t size = sizeof local;
    getsockname(probe.get(), reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
}

// Where the check thread is when the monitor ends.
enum class Moment { Sleeping, Receiving, Connecting, WaitingForReload, BetweenHosts };

std::unique_ptr<HostTable> TableOf(size_t hosts, int32_t delay, uint16_t port = 110)
{
    std::vector<HostConfig> configs(hosts);
    for (HostConfig& host : configs) {
        host.Name = "127.0.0.1";
        host.Port = port;
        host.UserID = "anna";
        host.Password = "secret";
        host.Delay = delay;
    }
    auto table = std::make_unique<HostTable>();
    FillHostTable(*table, std::move(configs));
    return table;
}

TEST(CheckThreadStop, EndingTheMonitorAtAnyMomentStopsTheCheckThreadBeforeTheTableGoes)
{
    constexpr int kRounds = 20;
    Pop3ScriptServer silent(std::vector<Script>(kRounds, Script{}));
    ASSERT_TRUE(silent.listening());
    HangingListener hanging;
    const uint16_t refusing = RefusingPort();
    std::mt19937 random(20261207);

    for (int round = 0; round < kRounds; ++round) {
        for (Moment moment : {Moment::Sleeping, Moment::Receiving, Moment::Connecting, Moment::WaitingForReload,
                              Moment::BetweenHosts}) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", moment " << static_cast<int>(moment));
            MainThread main;
            ReloadSignals reload;
            ProbeSettings settings;
            std::unique_ptr<HostTable> table;
            switch (moment) {
            case Moment::Sleeping:
                table = TableOf(1, INT32_MAX);  // never due
                break;
            case Moment::Receiving:
                table = TableOf(1, 0, silent.port());
                break;
            case Moment::Connecting:
                table = TableOf(1, 0, hanging.port());
                break;
            case Moment::WaitingForReload:
                table = TableOf(1, 0);
                reload.Requested = true;
                break;
            case Moment::BetweenHosts:
                table = TableOf(20, 0, refusing);
                break;
            }
            const CheckHooks hooks = main.Hooks(settings);
            HostEntry& first = (*table)[0];
            std::atomic<bool> ended{false};
            std::thread checkThread([&] {
                RunCheckLoop(*table, reload, main.stop, hooks);
                ended = true;
            });

            const Clock::time_point start = Clock::now();
            const auto reached = [&] {
                switch (moment) {
                case Moment::Receiving:
                    return silent.connections() > static_cast<size_t>(round);
                case Moment::Connecting:
                    return first.StatusText.load() == kConnectingText;
                case Moment::WaitingForReload:
                    return reload.Paused.load();
                default:
                    return true;
                }
            };
            while (!reached() && Clock::now() - start < std::chrono::seconds(5))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_TRUE(reached());
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 15));

            const Clock::time_point stopped = Clock::now();
            main.Stop();
            while (!ended && Clock::now() - stopped < kStopBound)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_TRUE(ended) << "the check thread did not stop";
            checkThread.join();
            table.reset();
            if (moment == Moment::Receiving) {
                EXPECT_TRUE(silent.WaitForEnd(static_cast<size_t>(round)).clientClosed);
            }
        }
    }
}

}  // namespace
