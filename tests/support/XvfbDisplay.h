// An X server of its own for a test, on a display it picks itself among the free ones,
// with a system tray on it when asked (trayer, docking tray icons as desktop panels do).
#pragma once

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/RunningProgram.h"

namespace vd::test {

struct XvfbDisplay {
  // `name` is ":N", or empty when the server did not come up; its output goes to log.
  explicit XvfbDisplay(const std::string& log) {
    if (access("/usr/bin/Xvfb", X_OK) != 0) return;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    server = std::make_unique<RunningProgram>(
        "/usr/bin/Xvfb",
        std::vector<std::string>{"-displayfd", std::to_string(pipeEnds[1]), "-nolisten", "tcp", "-screen", "0",
                                 "1024x768x24"},
        log);
    close(pipeEnds[1]);
    // The server writes its display number once it accepts clients.
    std::string number;
    pollfd waiting{pipeEnds[0], POLLIN, 0};
    char c = 0;
    while (poll(&waiting, 1, 20000) > 0 && read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipeEnds[0]);
    if (!number.empty()) name = ":" + number;
  }
  ~XvfbDisplay() {
    tray.reset();
    // Asked to end, the server removes its lock and socket.
    if (!server) return;
    server->signal(SIGTERM);
    WaitUntil(*server, [] { return false; }, std::chrono::seconds(10));
  }

  // Starts a system tray on the display; false when there is no tray program.
  bool startTray(const std::string& log) {
    if (name.empty() || access("/usr/bin/trayer", X_OK) != 0) return false;
    tray = std::make_unique<RunningProgram>(
        "/usr/bin/trayer",
        std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32"}, log,
        std::vector<std::pair<std::string, std::string>>{{"DISPLAY", name}});
    return true;
  }

  std::unique_ptr<RunningProgram> server;
  std::unique_ptr<RunningProgram> tray;
  std::string name;
};

}  // namespace vd::test
