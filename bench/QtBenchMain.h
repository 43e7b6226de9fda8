#pragma once
// The main function of a benchmark program that needs Qt widgets: a QApplication on the
// offscreen platform (unless QT_QPA_PLATFORM says otherwise), then the benchmarks.

#include <QApplication>

#include <benchmark/benchmark.h>

namespace tardivox::bench {

inline int RunWidgetBenchmarks(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tardivox::bench
