#pragma once
// Test helpers: a fake speaker on loopback built on the socket layer, and a
// loop that runs the test dispatcher until a condition holds.

#include "platform/Dispatcher.h"
#include "platform/net/TcpSocket.h"
#include "platform/net/UdpSocket.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zv2::test {

inline constexpr std::size_t StreamBlockSize = 52100;

// Block `number` of a test stream: bytes whose values tell blocks and offsets apart.
inline std::vector<std::uint8_t> NumberedBlock(int number) {
    std::vector<std::uint8_t> block(StreamBlockSize);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(number * 7 + static_cast<int>(i) + static_cast<int>(i >> 8));
    }
    return block;
}

// Upper bound of every wait in these tests: only reached when something is
// broken, so a failure ends the test instead of hanging it.
inline constexpr int GiveUpMs = 15000;

// Runs the dispatcher's queue until `done` holds; false when GiveUpMs passed first.
inline bool PumpUntil(platform::TQueueDispatcher& dispatcher, const std::function<bool()>& done,
                      int limitMs = GiveUpMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        dispatcher.WaitAndRun(20);
    }
    return true;
}

// A test dispatcher that counts the calls posted to it, so a test can wait
// until a worker has handed something over without running it.
class TCountingDispatcher : public platform::TQueueDispatcher {
public:
    void Post(std::function<void()> fn) override {
        ++Posted_;
        TQueueDispatcher::Post(std::move(fn));
    }
    int Posted() const { return Posted_.load(); }

    // Waits (without running anything) until `count` calls were posted.
    bool WaitForPosts(int count) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(GiveUpMs);
        while (Posted_.load() < count) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    std::atomic<int> Posted_{0};
};

struct TDatagram {
    std::string Text;
    platform::TSocketAddress From;
};

// A speaker's two sockets on a loopback address, on ports the system picks
// (or the given ones: several speakers on their own addresses share ports, as
// real ones do).
class TSpeakerPeer {
public:
    explicit TSpeakerPeer(const std::string& address = "127.0.0.1", std::uint16_t controlPort = 0,
                          std::uint16_t streamPort = 0) {
        const auto at = platform::TSocketAddress::Parse(address, controlPort);
        Ok = at && Udp.Open(*at, false) == platform::TNetResult::Ok &&
             Listener.Listen({at->Host, streamPort}) == platform::TNetResult::Ok;
    }

    std::uint16_t ControlPort() const { return Udp.LocalAddress().Port; }
    std::uint16_t StreamPort() const { return Listener.LocalAddress().Port; }

    std::optional<TDatagram> Receive(int timeoutMs = GiveUpMs) {
        std::vector<char> buffer(8192);
        std::size_t got = 0;
        TDatagram datagram;
        if (Udp.ReceiveFrom(buffer.data(), buffer.size(), got, datagram.From, timeoutMs) != platform::TNetResult::Ok) {
            return std::nullopt;
        }
        datagram.Text.assign(buffer.data(), got);
        return datagram;
    }

    void Reply(const std::string& text, const platform::TSocketAddress& to) {
        Udp.SendTo(to, text.data(), text.size());
    }

    std::unique_ptr<platform::TTcpSocket> Accept(int timeoutMs = GiveUpMs) {
        std::unique_ptr<platform::TTcpSocket> socket;
        Listener.Accept(socket, timeoutMs);
        return socket;
    }

    bool Ok = false;
    platform::TUdpSocket Udp;
    platform::TTcpListener Listener;
};

// A listener that answers no connection request: its backlog is filled by
// connections nobody accepts, and the system drops further requests, so a
// connect to it waits until its time limit or an abort.
class TDeafListener {
public:
    TDeafListener() {
        Ok = Listener.Listen(*platform::TSocketAddress::Parse("127.0.0.1", 0), 0) == platform::TNetResult::Ok;
        while (Ok && Fillers.size() < 16) {
            Fillers.push_back(std::make_unique<platform::TTcpSocket>());
            if (Fillers.back()->Connect(Address(), 300) == platform::TNetResult::Timeout) {
                return;
            }
        }
        Ok = false;
    }
    platform::TSocketAddress Address() const { return Listener.LocalAddress(); }

    bool Ok = false;
    platform::TTcpListener Listener;
    std::vector<std::unique_ptr<platform::TTcpSocket>> Fillers;
};

// Reads exactly `size` bytes; shorter when the stream ends or GiveUpMs passes without data.
inline std::vector<std::uint8_t> ReadExactly(platform::TTcpSocket& socket, std::size_t size) {
    std::vector<std::uint8_t> out(size);
    std::size_t have = 0;
    while (have < size) {
        std::size_t got = 0;
        if (socket.Receive(out.data() + have, size - have, got, GiveUpMs) != platform::TNetResult::Ok) {
            break;
        }
        have += got;
    }
    out.resize(have);
    return out;
}

// Reads until the peer closes the connection; true when it did.
inline bool ReadUntilClosed(platform::TTcpSocket& socket) {
    char buffer[4096];
    for (;;) {
        std::size_t got = 0;
        const auto result = socket.Receive(buffer, sizeof buffer, got, GiveUpMs);
        if (result == platform::TNetResult::Closed || result == platform::TNetResult::Error) {
            return true;
        }
        if (result != platform::TNetResult::Ok) {
            return false;
        }
    }
}

} // namespace zv2::test
