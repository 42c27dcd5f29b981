// Two transient faults in a row, anywhere in a rewrite: the first fault may
// leave the file half written, and the second may strike the very steps that
// are to put it right. Every ordered pair of such faults over the calls of a
// rewrite is tried, for programs and pages, below and just over one write
// chunk. The file must end exactly as it was with nothing said, or fully
// repaired and reported once.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/read_file_all.h"
#include "testbed/fault_plan.h"
#include "tests/unit/repair_cases.h"

namespace vx {
namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;

std::vector<RepairCase> AllRepairs() {
  return {RestorerCase(5000), RestorerCase(kChunk + 1000), CleanerCase(4000), CleanerCase(700000)};
}

class RewriteFaultPairs : public ::testing::Test {
 protected:
  void TearDown() override {
    SetWindow(nullptr);
    SetPlatform(nullptr);
  }

  // Runs the repair under the plan on a fresh machine. Returns the outcome, the
  // faults that fired and the operations of every call made, in order.
  struct Run {
    RepairOutcome outcome = RepairOutcome::kUntouched;
    int fired = 0;
    bool isVoid = false;
    std::vector<Op> ops;
  };
  Run RunPlan(const RepairCase& r, const std::vector<PlannedFault>& plan, bool check = true) {
    MemoryPlatform m;
    FaultPlanPlatform p(m);
    FakeWindow w;
    PrepareRepair(r, m, w);
    SetPlatform(&p);
    SetWindow(&w);
    p.SetPlan(plan);
    r.run(r.path);
    SetPlatform(nullptr);
    Run run;
    run.fired = p.Fired();
    run.isVoid = p.Void();
    run.ops = p.CallOps();
    std::vector<std::string> problems;
    run.outcome = JudgeRepair(r, m, w, false, &problems);
    if (check && !run.isVoid) {
      std::string faults;
      for (const std::string& f : p.FiredAt()) faults += "\n  " + f;
      for (const std::string& problem : problems) ADD_FAILURE() << r.name << ": " << problem << faults;
    }
    return run;
  }

  // The calls the repair makes before its rewrite starts (reading the file).
  int ReadCalls(const RepairCase& r) {
    MemoryPlatform m;
    FaultPlanPlatform p(m);
    m.AddFile(r.path, r.before);
    SetPlatform(&p);
    ReadFileAll(r.path);
    SetPlatform(nullptr);
    return p.Calls();
  }
};

std::vector<FaultKind> KindsFor(Op op) {
  if (op == Op::WriteFile) {
    return {FaultKind::kRetryable, FaultKind::kHard, FaultKind::kWriteCut, FaultKind::kWriteCutShort};
  }
  return {FaultKind::kRetryable, FaultKind::kHard};
}

PlannedFault AnyCall(int nth, FaultKind kind) {
  PlannedFault f;
  f.nth = nth;
  f.kind = kind;
  return f;
}

PlannedFault Call(Op op, int nth, FaultKind kind, std::uint32_t bytes = 10) {
  PlannedFault f;
  f.op = op;
  f.nth = nth;
  f.kind = kind;
  f.bytes = bytes;
  return f;
}

// Pairs once found to break a file: each fault alone is harmless.
TEST_F(RewriteFaultPairs, PairsThatOnceDamagedOrHidARepair) {
  const std::vector<std::vector<PlannedFault>> plans = {
      // A write cut after 10 bytes, then the seek that puts the original back.
      {Call(Op::WriteFile, 1, FaultKind::kWriteCut), Call(Op::SetFilePointer, 1, FaultKind::kHard)},
      // The close after the rewrite (the read's close comes first), then the open that checks it.
      {Call(Op::CloseHandle, 2, FaultKind::kHard), Call(Op::CreateFileA, 1, FaultKind::kHard)},
      // A flush, then a seek.
      {Call(Op::FlushFileBuffers, 1, FaultKind::kHard), Call(Op::SetFilePointer, 1, FaultKind::kHard)},
      // The close, then the second chunk of a write.
      {Call(Op::CloseHandle, 2, FaultKind::kHard), Call(Op::WriteFile, 2, FaultKind::kHard)},
  };
  int cases = 0;
  for (const RepairCase& r : AllRepairs()) {
    for (std::size_t i = 0; i < plans.size(); ++i) {
      SCOPED_TRACE("plan " + std::to_string(i + 1) + ", " + r.name);
      Run run = RunPlan(r, plans[i]);
      EXPECT_NE(run.outcome, RepairOutcome::kLost) << r.name;
      ++cases;
    }
  }
  EXPECT_EQ(cases, 16);
}

// Every ordered pair of transient faults over the calls of the rewrite: the
// first at any call, the second at any later call of that run.
TEST_F(RewriteFaultPairs, EveryOrderedPairKeepsOrRepairsTheFile) {
  FaultTally total;
  for (const RepairCase& r : AllRepairs()) {
    FaultTally tally;
    const int skip = ReadCalls(r);  // faults there only make the repair give up before it starts
    Run clean = RunPlan(r, {});
    ASSERT_EQ(clean.outcome, RepairOutcome::kRepaired) << r.name;
    for (int first = skip + 1; first <= static_cast<int>(clean.ops.size()); ++first) {
      for (FaultKind k1 : KindsFor(clean.ops[first - 1])) {
        Run one = RunPlan(r, {AnyCall(first, k1)});
        if (one.isVoid || one.fired == 0) continue;
        tally.Add(one.outcome);
        for (int later = first + 1; later <= static_cast<int>(one.ops.size()); ++later) {
          for (FaultKind k2 : KindsFor(one.ops[later - 1])) {
            Run two = RunPlan(r, {AnyCall(first, k1), AnyCall(later - first, k2)});
            if (two.isVoid || two.fired < 2) continue;
            tally.Add(two.outcome);
          }
        }
      }
    }
    std::printf("[ fault pairs ] %s: %d cases, %d untouched, %d repaired, %d lost\n", r.name.c_str(),
                tally.cases, tally.untouched, tally.repaired, tally.lost);
    EXPECT_EQ(tally.lost, 0) << r.name;
    EXPECT_GT(tally.untouched, 0) << r.name;
    EXPECT_GT(tally.repaired, 0) << r.name;
    total.cases += tally.cases;
    total.lost += tally.lost;
  }
  std::printf("[ fault pairs ] all: %d cases, %d lost\n", total.cases, total.lost);
  EXPECT_GT(total.cases, 1000);
}

}  // namespace
}  // namespace vx
