// A broken or hostile server: answers that never end, lie about their length
// or redirect forever. Served under "/<endpoint>/hostile/..." of every
// endpoint, so a test can aim any part of the launcher at them:
//   /hostile/endless   a chunked body of "x" that goes on until the client
//                      stops reading (or a safety stop of 96 MB, above the
//                      launcher's 64 MB cap, so a test without limits ends)
//   /hostile/huge      announces 2 GB (Content-Length), then sends like endless
//   /hostile/loop      a 302 to itself
#pragma once

constexpr long long k_hostile_body_stop = 96LL << 20;
