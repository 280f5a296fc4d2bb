// The simulator's event loop: moves bytes between the pseudo-terminal and the loader, at the
// times the line model gives, until a signal, a hang-up or the last dialogue asked for.
#pragma once

#include "garbage.h"
#include "loader.h"
#include "options.h"
#include "pty_port.h"
#include "receive_queue.h"
#include "transmit_queue.h"

#include <cstdint>
#include <optional>

namespace sim {

class SlaveWatch;

class Simulator final : private LoaderEvents {
public:
    Simulator(const Options& options, PtyPort& port);
    ~Simulator() override;

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Returns the exit status.
    int Run();

private:
    void Send(Outgoing outgoing) override;
    void StartGarbage() override;
    void HangUp() override;

    bool ReadHost(std::int64_t nowNs);
    void Process(std::int64_t nowNs);
    void Transmit(std::int64_t nowNs);
    std::optional<std::int64_t> NextEventNs();
    void ArmTimer(std::optional<std::int64_t> atNs);
    bool Done() const;
    void LetHostRead(SlaveWatch& watch);
    void TakeLastFrames();

    const Options& options_;
    PtyPort& port_;
    Loader loader_;
    ReceiveQueue received_;
    TransmitQueue transmit_;
    Garbage garbage_;
    bool garbageOn_ = false;
    bool hangUpPending_ = false;
    bool writeBlocked_ = false;
    int timer_ = -1;
    int signals_ = -1;
};

} // namespace sim
