// Hang watchdog: a thread that notices when the interface thread stops
// beating, samples its stack and writes hang.txt.
#pragma once

// Starts the watchdog (runs until the process ends) and installs the handler
// of the sampling signal. Called once, on the interface thread, which is the
// thread that will be sampled.
void hang_watchdog_start();
// Blocks the sampling signal in the calling thread (every thread but the
// interface thread), so that only the interface thread ever takes it.
void diag_block_sampling_signal();

// The watchdog's bookkeeping, one step per second of the heartbeat counter.
struct HangState {
    unsigned last = 0;
    int still = 0;         // seconds without change
    bool reported = false; // this hang already has its report
};
enum class HangEvent { None, Frozen, Recovered };
// Feeds one sample; Frozen after the 8th second without change (once per
// hang), Recovered when the counter moves after a reported hang (*seconds
// receives how long it stood still).
HangEvent hang_step(HangState &s, unsigned heartbeat, int *seconds);
