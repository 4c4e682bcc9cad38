// Shared by the benchmark binaries.
#ifndef CSSUPPORT_BENCH_RUN_ORDER_H_
#define CSSUPPORT_BENCH_RUN_ORDER_H_

#include <benchmark/benchmark.h>

// Records, as the counter "seq", where this run of a case falls in the
// process's sequence of runs. Call once per run, after the timed loop. With
// random interleaving, scripts/bench pairs each repetition of a case with the
// repetition of its baseline that ran nearest to it in that sequence, so that
// both saw the machine in the same state. In a multi-threaded case only
// thread 0 records (counters of threads are summed).
inline void StampRunOrder(benchmark::State& state) {
  static long order = 0;
  if (state.thread_index() == 0) {
    state.counters["seq"] = static_cast<double>(++order);
  }
}

#endif  // CSSUPPORT_BENCH_RUN_ORDER_H_
