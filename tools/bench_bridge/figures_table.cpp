#include "tools/bench_bridge/figures_table.h"

#include <cstdio>

namespace corvane {
namespace {

std::string Cell(const std::optional<double>& value, const char* format) {
  if (!value) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, *value);
  return text;
}

std::optional<double> Minus(const std::optional<double>& a, const std::optional<double>& b) {
  if (!a || !b) return std::nullopt;
  return *a - *b;
}

}  // namespace

void PrintFiguresTable(const std::vector<TargetFigures>& rows) {
  const TargetFigures* direct = nullptr;
  for (const TargetFigures& row : rows) {
    if (row.label == "direct") direct = &row;
  }
  std::printf("\n  %-15s %7s %8s %8s %9s %9s %10s %10s %10s %10s %9s %9s\n", "target", "clients",
              "median", "p99", "+median", "+p99", "cmds/s", "CPU us", "syscalls", "switches",
              "idle %", "wakes/s");
  std::printf("  %-15s %7s %8s %8s %9s %9s %10s %10s %10s %10s %9s %9s\n", "", "", "us", "us", "us",
              "us", "", "per cmd", "per cmd", "per cmd", "core", "idle");
  for (const TargetFigures& row : rows) {
    const std::optional<double> none;
    std::printf("  %-15s %7d %8s %8s %9s %9s %10s %10s %10s %10s %9s %9s\n", row.label.c_str(),
                row.clients, Cell(row.median_us, "%.0f").c_str(), Cell(row.p99_us, "%.0f").c_str(),
                Cell(Minus(row.median_us, direct ? direct->median_us : none), "%+.0f").c_str(),
                Cell(Minus(row.p99_us, direct ? direct->p99_us : none), "%+.0f").c_str(),
                Cell(row.commands_per_s, "%.0f").c_str(), Cell(row.cpu_us, "%.1f").c_str(),
                Cell(row.syscalls, "%.1f").c_str(), Cell(row.switches, "%.1f").c_str(),
                Cell(row.idle_percent, "%.4f").c_str(),
                Cell(row.idle_wakeups_per_s, "%.1f").c_str());
  }
  std::fflush(stdout);
}

}  // namespace corvane
