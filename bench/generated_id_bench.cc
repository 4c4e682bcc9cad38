// PopulateGeneratedInstanceId over a configuration of 100,000 marked objects
// (an array of objects, each holding an array of marked objects), beside its
// baseline: the same number of bare UUID_CreateRandom + free calls. A second
// walk over the completed configuration (nothing to add) shows the cost of
// the walk itself.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/run_order.h"
#include "cssupport/config/generated_id.h"
#include "cssupport/hostrt/hostrt.h"

namespace {

using rapidjson::Document;
using rapidjson::Value;

constexpr int kSwitches = 100;
constexpr int kPortsPerSwitch = 1000;
constexpr int kMarkedObjects = kSwitches * kPortsPerSwitch;
// Whole runs of 100,000 identifier calls per measurement: each takes long
// enough that a few give a stable figure, and both sides get the same count.
constexpr int kWholeRuns = 3;

constexpr char kSchema[] = R"({
  "type": "object",
  "properties": {
    "hostName": {"type": "string"},
    "switches": {
      "type": "array",
      "items": {
        "type": "object",
        "properties": {
          "name": {"type": "string"},
          "mtu": {"type": "integer"},
          "ports": {
            "type": "array",
            "items": {
              "type": "object",
              "properties": {
                "name": {"type": "string"},
                "vlanId": {"type": "integer"},
                "enabled": {"type": "boolean"},
                "cs_generated_id": {"type": "string"}
              }
            }
          }
        }
      }
    }
  }
})";

const Document& Schema() {
  static const Document* const schema = [] {
    auto* document = new Document;
    document->Parse(kSchema);
    return document;
  }();
  return *schema;
}

// The configuration without identifiers, built once per process.
const Document& Template() {
  static const Document* const config = [] {
    auto* document = new Document;
    auto& a = document->GetAllocator();
    document->SetObject();
    document->AddMember("hostName", "host-01", a);
    Value switches(rapidjson::kArrayType);
    char name[32];
    for (int s = 0; s < kSwitches; ++s) {
      Value ports(rapidjson::kArrayType);
      for (int p = 0; p < kPortsPerSwitch; ++p) {
        Value port(rapidjson::kObjectType);
        std::snprintf(name, sizeof name, "uplink%d.%d", s, p);
        port.AddMember("name", Value(name, a), a);
        port.AddMember("vlanId", p % 4095, a);
        port.AddMember("enabled", p % 3 != 0, a);
        ports.PushBack(port, a);
      }
      Value entry(rapidjson::kObjectType);
      std::snprintf(name, sizeof name, "switch%d", s);
      entry.AddMember("name", Value(name, a), a);
      entry.AddMember("mtu", 9000, a);
      entry.AddMember("ports", ports, a);
      switches.PushBack(entry, a);
    }
    document->AddMember("switches", switches, a);
    // A parsed document's member arrays are exactly full; so are these.
    auto* parsed = new Document;
    parsed->CopyFrom(*document, parsed->GetAllocator());
    delete document;
    return parsed;
  }();
  return *config;
}

std::unique_ptr<Document> FreshCopy() {
  auto copy = std::make_unique<Document>();
  copy->CopyFrom(Template(), copy->GetAllocator());
  return copy;
}

bool AllPortsHaveIds(const Document& config) {
  for (const auto& entry : config["switches"].GetArray()) {
    for (const auto& port : entry["ports"].GetArray()) {
      if (!port.HasMember("cs_generated_id")) return false;
    }
  }
  return true;
}

// Baseline: only the identifier calls the walk must make.
void BM_GeneratedIdBaseline_UuidCreateAndFree(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kMarkedObjects; ++i) {
      char* text = UUID_CreateRandom();
      benchmark::DoNotOptimize(text);
      std::free(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * kMarkedObjects);
  StampRunOrder(state);
}
BENCHMARK(BM_GeneratedIdBaseline_UuidCreateAndFree)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kWholeRuns);

// A fresh copy per iteration, made and destroyed with the timer paused.
void BM_GeneratedId_WalkAddingAll(benchmark::State& state) {
  const Document& schema = Schema();
  Template();
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<Document> config = FreshCopy();
    state.ResumeTiming();
    KoraConfigStore::PopulateGeneratedInstanceId(schema, *config);
    state.PauseTiming();
    if (!AllPortsHaveIds(*config)) state.SkipWithError("identifiers missing");
    config.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kMarkedObjects);
  StampRunOrder(state);
}
BENCHMARK(BM_GeneratedId_WalkAddingAll)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kWholeRuns);

void BM_GeneratedId_WalkNothingToAdd(benchmark::State& state) {
  const Document& schema = Schema();
  std::unique_ptr<Document> config = FreshCopy();
  KoraConfigStore::PopulateGeneratedInstanceId(schema, *config);
  const size_t size = config->GetAllocator().Size();
  for (auto _ : state) {
    KoraConfigStore::PopulateGeneratedInstanceId(schema, *config);
  }
  if (config->GetAllocator().Size() != size) state.SkipWithError("grew");
  state.SetItemsProcessed(state.iterations() * kMarkedObjects);
  StampRunOrder(state);
}
BENCHMARK(BM_GeneratedId_WalkNothingToAdd)->Unit(benchmark::kMillisecond);

}  // namespace
