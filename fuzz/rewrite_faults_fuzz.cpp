// Fault plans over a repair: up to four passing faults anywhere in the calls
// of a program's restore or a page's cleaning, small or over one write chunk.
// The file ends exactly as it was with nothing said, or fully repaired and
// reported once; no file beside it, no handle left open.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "testbed/fault_plan.h"
#include "tests/unit/repair_cases.h"

namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;
// The rewrite outlasts this many passing faults; more may exhaust its tries.
constexpr int kMaxFaults = 4;

// Large cases are made once: building a megabyte of sample bytes under the
// fuzzer's instrumentation costs more than the repair itself.
const vx::RepairCase& LargeCase(bool page, int variant) {
  static std::map<std::pair<bool, int>, vx::RepairCase> made;
  auto key = std::make_pair(page, variant);
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  std::size_t extra = static_cast<std::size_t>(variant) * 997;
  // A page keeps 1.5 times `around`: just over one chunk at the least.
  vx::RepairCase r = page ? vx::CleanerCase(kChunk * 2 / 3 + 2 + extra) : vx::RestorerCase(kChunk + extra);
  return made.emplace(key, std::move(r)).first->second;
}

vx::RepairCase PickRepair(FuzzedDataProvider& in) {
  bool page = in.ConsumeBool();
  bool large = in.ConsumeIntegralInRange<int>(0, 15) == 15;  // large files cost time: one input in 16
  if (large) return LargeCase(page, in.ConsumeIntegralInRange<int>(0, 3));
  std::size_t size = in.ConsumeIntegralInRange<std::size_t>(0, 4000);
  return page ? vx::CleanerCase(size) : vx::RestorerCase(size);
}

std::vector<vx::PlannedFault> PickPlan(FuzzedDataProvider& in) {
  std::vector<vx::PlannedFault> plan(in.ConsumeIntegralInRange<int>(0, kMaxFaults));
  for (vx::PlannedFault& f : plan) {
    f.nth = in.ConsumeIntegralInRange<int>(1, 48);
    f.kind = static_cast<vx::FaultKind>(in.ConsumeIntegralInRange<int>(0, 3));
    f.bytes = in.ConsumeIntegralInRange<std::uint32_t>(0, 64);
    if (in.ConsumeBool()) f.bytes = static_cast<std::uint32_t>(kChunk - 1 + f.bytes % 3);
  }
  return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx;
  FuzzedDataProvider in(data, size);
  RepairCase r = PickRepair(in);
  std::vector<PlannedFault> plan = PickPlan(in);

  TestBed bed;
  FaultPlanPlatform faults(bed.machine);
  PrepareRepair(r, bed.machine, bed.window);
  faults.SetPlan(plan);
  SetPlatform(&faults);
  r.run(r.path);
  SetPlatform(&bed.machine);

  std::vector<std::string> problems;
  JudgeRepair(r, bed.machine, bed.window, false, &problems);
  if (!problems.empty()) {
    std::string what = r.name + ": " + problems[0];
    for (const std::string& f : faults.FiredAt()) what += "\n  " + f;
    Broken(what);
  }
  return 0;
}
