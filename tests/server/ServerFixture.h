// The common ground of the server's tests: an isolated scratch world with an input and an
// output directory, the Distiller printer installed in the real printer table, recorded
// message boxes, a scripted event pump and recording engines.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPushButton>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/IsolatedEnvironment.h"
#include "support/RecordingEngine.h"
#include "support/ServerDoubles.h"
#include "common/Locations.h"
#include "common/Seam.h"
#include "platform/PrintSubsystem.h"
#include "platform/SettingsStore.h"
#include "server/Form1.h"

namespace vd::test {

class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    inputDir = environment.path("home/in dir");
    outputDir = environment.path("home/out");
    ASSERT_TRUE(ensureDirectory(inputDir));
    ASSERT_TRUE(ensureDirectory(outputDir));
  }

  static void installPrinter(const std::string& name) {
    PrinterRecord printer;
    printer.name = name;
    printer.driver = "Vellumdock PDF";
    printer.port = "VDPDF:";
    ASSERT_TRUE(printSubsystem().installPrinter(printer)) << name;
  }
  static void store(const std::string& key, const std::string& value) { settingsStore().write(key, value); }
  void storeDirectories(const std::string& seconds) {
    installPrinter("Adobe PDF");
    store("InputDir", inputDir);
    store("OutputDir", outputDir);
    store("Seconds", seconds);
  }

  std::unique_ptr<Form1> makeForm(const std::string& argumentText = "") {
    return std::make_unique<Form1>(argumentText, RecordingEngineFactory(engine));
  }

  // A settled input file: its modification time lies well in the past.
  static void writeFile(const std::string& path, const std::string& content, bool settled = true) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    if (settled) backdate(path);
  }
  static void backdate(const std::string& path, int seconds = 30) {
    const timespec now = [] {
      timespec value{};
      clock_gettime(CLOCK_REALTIME, &value);
      return value;
    }();
    const timespec times[2] = {{now.tv_sec - seconds, 0}, {now.tv_sec - seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
  }
  std::string in(const std::string& name) const { return inputDir + "/" + name; }
  std::string out(const std::string& name) const { return outputDir + "/" + name; }
  static bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
  }
  static std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
  }

  static QPushButton* button(Form1& form, const char* name) { return form.findChild<QPushButton*>(name); }
  static void clickStop(Form1& form) { button(form, "Command2")->click(); }

  // Starts the cycle with a one-second interval and stops it in the wait of the pass
  // after `passes` complete passes. statusAtPause collects the status line at each pause.
  void runPasses(Form1& form, int passes) {
    pump.onPause = [this, &form, passes](int pause) {
      statusAtPause.push_back(form.statusText());
      if (betweenPasses) betweenPasses(pause);
      if (pause == passes + 1) clickStop(form);
    };
    button(form, "Command1")->click();
  }

  // The log box split into its CR LF terminated lines; a last line without CR LF fails.
  static std::vector<std::string> logLines(const Form1& form) {
    std::vector<std::string> lines;
    const std::string& text = form.logText();
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      EXPECT_NE(end, std::string::npos) << "log line without CR LF: " << text.substr(start);
      if (end == std::string::npos) break;
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  // The text of a PDF file, through pdftotext.
  static std::string pdfText(const std::string& path) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
      dup2(pipeEnds[1], STDOUT_FILENO);
      close(pipeEnds[0]);
      char* const argv[] = {const_cast<char*>("pdftotext"), const_cast<char*>(path.c_str()), const_cast<char*>("-"),
                            nullptr};
      execvp("pdftotext", argv);
      _exit(127);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(count));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
  }

  IsolatedEnvironment environment;
  RecordingMessageBoxes messages;
  ScopedSeam<MessageBoxes> messagesSeam{messages};
  ScriptedEventPump pump;
  ScopedSeam<EventPump> pumpSeam{pump};
  EngineScript engine;
  std::string inputDir;
  std::string outputDir;
  std::vector<std::string> statusAtPause;
  std::function<void(int)> betweenPasses;
};

}  // namespace vd::test
