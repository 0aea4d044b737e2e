// A broken or hostile server: answers that never end, lie about their length
// or redirect forever. Served under "/<endpoint>/hostile/..." of every
// endpoint, so a test can aim any part of the launcher at them:
//   /hostile/endless   a chunked body of "x" that goes on until the client
//                      stops reading (or a safety stop of 96 MB, above the
//                      launcher's 64 MB cap, so a test without limits ends)
//   /hostile/huge      announces 2 GB (Content-Length), then sends like endless
//   /hostile/loop      a 302 to itself
//   /hostile/silent    headers announcing k_hostile_silent_length bytes, then
//                      silence until the server stops (or k_hostile_silence_ms):
//                      a transfer only a cancel ends
//   /hostile/chunked?bytes=N
//                      N bytes of "x" in one chunk, no length announced
#pragma once

constexpr long long k_hostile_body_stop = 96LL << 20;
constexpr int k_hostile_silence_ms = 60000;
constexpr long k_hostile_silent_length = 1000;
