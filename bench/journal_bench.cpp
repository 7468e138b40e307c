// What the transaction journal costs a call: every record is on the disk (fsync) before the call
// goes on, five records for an approved sale.
//
// SaleWithJournal/N: an approved sale with one relay through card_trans against the simulators,
// on a virtual clock (the fixed pauses of a call cost nothing), with the journal off (0), on tmpfs
// (1, /dev/shm) and on the work disk (2, beside the benchmark's working directory). The overhead
// is the difference of the mean times.
//
// JournalRecord/N: one record of a sale's size written and synced, on tmpfs (1) and on the work
// disk (2); five of them are a sale's share.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "journal/journal_file.h"
#include "quendal/card_trans.h"
#include "sim/host_sim.h"
#include "sim/terminal_sim.h"
#include "support/virtual_clock.h"

namespace {

std::string journal_path(int64_t where) {
  const std::string name = "quendal_bench_journal_" + std::to_string(::getpid()) + ".jsonl";
  if (where == 1) return "/dev/shm/" + name;
  char cwd[4096];
  return std::string(::getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".") + "/" + name;
}

void SaleWithJournal(benchmark::State& state) {
  quendal::VirtualClock virtual_clock;
  quendal::ScopedClock use(virtual_clock);
  quendal_sim::TerminalScenario scenario;
  scenario.relays = 1;
  quendal_sim::TerminalSim terminal(scenario);
  quendal_sim::HostSim bank("bank", quendal_sim::HostRole::kBank);
  quendal_sim::HostSim business("business", quendal_sim::HostRole::kBusiness);
  if (!terminal.Start() || !bank.Start() || !business.Start()) {
    state.SkipWithError("no pty or host port");
    return;
  }
  bank.SetScenario(quendal_sim::answer_of_size(40));
  business.SetScenario(quendal_sim::business_accept());
  setenv("QUENDAL_COM97", terminal.SlavePath().c_str(), 1);
  const std::string path = journal_path(state.range(0));
  if (state.range(0) == 0) {
    unsetenv("QUENDAL_JOURNAL");
  } else {
    setenv("QUENDAL_JOURNAL", path.c_str(), 1);
  }
  const std::string request =
      "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||97|127.0.0.1|" +
      std::to_string(bank.Port()) + "|30|127.0.0.1|" + std::to_string(business.Port()) + "|30";
  char result[QUENDAL_RESULT_SIZE];
  for (auto _ : state) {
    if (card_trans(request.c_str(), result) != 0) {
      state.SkipWithError("the sale was not approved");
      break;
    }
  }
  unsetenv("QUENDAL_JOURNAL");
  unsetenv("QUENDAL_COM97");
  ::unlink(path.c_str());
  terminal.Stop();
  bank.Stop();
  business.Stop();
}
BENCHMARK(SaleWithJournal)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(40);

void JournalRecord(benchmark::State& state) {
  const std::string path = journal_path(state.range(0));
  quendal::journal::JournalFile file;
  if (!file.Open(path.c_str())) {
    state.SkipWithError("cannot open the journal");
    return;
  }
  const std::string record = "{\"record\":\"final\",\"call\":\"1a2648f0f9d-41a4-b0dacb53\"," +
                             std::string(300, 'x') + "}\n";
  for (auto _ : state) {
    if (!file.Append(record)) {
      state.SkipWithError("cannot write the journal");
      break;
    }
  }
  file.Close();
  ::unlink(path.c_str());
}
BENCHMARK(JournalRecord)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
