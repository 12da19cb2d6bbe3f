#pragma once
// Program start: the command line, the optional simulated tracker, the
// shared context and the main window.
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

#include "common/result.h"

namespace zd573 {

class CZD573_UtilityApp {
 public:
  struct Options {
    bool demo = false;   // --demo: a simulated tracker that the search finds
    std::string port;    // --port PATH: use this port, no search
    bool help = false;
    bool version = false;
  };
  static constexpr const char* kUsage =
      "Usage: zd573-utility [--demo] [--port PATH]\n"
      "Configure a ZD-573 GPS tracker plugged in by USB and download its GPS log.\n"
      "\n"
      "  --demo       start with a simulated tracker, so every page can be tried without one\n"
      "  --port PATH  use this serial port instead of searching for the tracker\n"
      "  --help       show this help and exit\n"
      "  --version    show the version and exit\n";

  // Arguments after the program name.
  static Expected<Options> ParseArguments(const QStringList& arguments);

  // Starts the simulated tracker for --demo and keeps it until the returned
  // object goes; none, with `error` said, when it cannot start.
  using DemoStarter = std::function<std::shared_ptr<void>(std::string* error)>;

  // Runs the program; the result is its exit code.
  int Run(int argc, char** argv, const DemoStarter& startDemo);
};

// The program's demo: the simulated tracker where this build has it
// (DemoStart.cpp), otherwise a message that it is not available.
std::shared_ptr<void> StartDemo(std::string* error);

}  // namespace zd573
