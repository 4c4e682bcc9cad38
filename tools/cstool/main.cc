// cstool: the command-line companion of libcssupport.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

#include "commands.h"

namespace cstool {
namespace {

std::vector<std::pair<int, RegisterFn>>& Registry() {
  static std::vector<std::pair<int, RegisterFn>> registry;
  return registry;
}

}  // namespace

CommandRegistration::CommandRegistration(int order, RegisterFn fn) {
  Registry().emplace_back(order, fn);
}

}  // namespace cstool

namespace {

int Run(int argc, char** argv) {
  CLI::App app{
      "cstool: inspect and exercise the ConfigStore support library "
      "(error codes, build data, event records, configuration identifiers)"};
  app.require_subcommand(1);
  auto& registry = cstool::Registry();
  std::stable_sort(
      registry.begin(), registry.end(),
      [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& entry : registry) entry.second(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? cstool::kExitOk : cstool::kExitUsage;
  }
  return cstool::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const cstool::CommandError& e) {
    std::fprintf(stderr, "cstool: %s\n", e.message.c_str());
    return e.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cstool: %s\n", e.what());
    return cstool::kExitFailure;
  } catch (...) {
    std::fprintf(stderr, "cstool: unexpected failure\n");
    return cstool::kExitFailure;
  }
}
