// The built program end to end, as a user meets it: started on a virtual X display (Xvfb),
// its window found and clicked and its boxes answered by xdotool through the X test extension,
// its exit code and the database on disk checked afterwards.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/app/window/TestDatabase.h"

namespace {

namespace fs = std::filesystem;

const std::string kProgram = std::string(VASKOLI_BINARY_DIR) + "/bin/vaskoli-upgrade";

struct Outcome {
  int exitCode = -1;
  std::string log;  // what the driver script printed
};

// Runs the program under xvfb-run with the driver commands `drive` (a shell fragment that may
// use $pid) and answers the program's exit code. The driver gives the program 60 seconds.
Outcome RunOnVirtualDisplay(const fs::path& folder, const std::string& drive) {
  const fs::path script = folder / "drive.sh";
  const fs::path log = folder / "drive.log";
  // The debug build's leak checker knows the system libraries' own start-up leaks; a sanitizer
  // report ends the program with 99, so that it never passes for the exit code 1 of a failed
  // start-up.
  std::ofstream(script) << "unset QT_QPA_PLATFORM\n"
                        << "export ASAN_OPTIONS=exitcode=99\n"
                        << "export LSAN_OPTIONS=suppressions=" << VASKOLI_SOURCE_DIR
                        << "/tests/lsan.supp:print_suppressions=0\n"
                        << "\"" << kProgram << "\" & pid=$!\n"
                        << "( sleep 60; kill $pid 2>/dev/null ) & watchdog=$!\n"
                        << drive << "\n"
                        << "wait $pid; rc=$?\n"
                        << "kill $watchdog 2>/dev/null\n"
                        << "exit $rc\n";
  const std::string cmd = "xvfb-run -a -s '-screen 0 1024x768x24' sh '" + script.string() +
                          "' > '" + log.string() + "' 2>&1";
  const int status = std::system(cmd.c_str());
  Outcome outcome;
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(log);
  outcome.log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return outcome;
}

// Clicks the middle of a button of the main window; (x, y) is the button's centre in window
// coordinates at 96 pixels per inch.
std::string ClickInMainWindow(int x, int y) {
  return "w=$(xdotool search --sync --onlyvisible --name '^Form1$' | head -n 1)\n"
         "xdotool mousemove --window \"$w\" " +
         std::to_string(x) + " " + std::to_string(y) + " click 1\n";
}

// Focuses the box with the given title and presses Return (its OK button).
std::string AnswerBox(const std::string& title) {
  return "b=$(xdotool search --sync --onlyvisible --name '^" + title +
         "$' | head -n 1)\n"
         "xdotool windowfocus --sync \"$b\" key Return\n";
}

bool HaveVirtualDisplay() {
  return std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null") == 0;
}

class ProgramEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveVirtualDisplay()) << "scripts/setup installs xvfb and xdotool";
    ASSERT_TRUE(fs::exists(kProgram)) << kProgram;
  }
  app_test::TestDatabase db_;
};

// The green button's centre: Left 120 + 153/2, Top 32 + 73/2; the red one's: Top 136 + 73/2.
constexpr int kButtonX = 196, kGreenY = 68, kRedY = 172;

TEST_F(ProgramEndToEndTest, TheGreenButtonUpgradesKinderAndEndsWithZero) {
  db_.MakeKinder();
  const Outcome run = RunOnVirtualDisplay(db_.Data(), ClickInMainWindow(kButtonX, kGreenY));
  EXPECT_EQ(run.exitCode, 0) << run.log;
  const app_test::TableShape kinder = db_.Kinder();
  EXPECT_EQ(kinder.fields.size(), 7u);
  EXPECT_EQ(kinder.fields.back(), "Migrationshintergrund");
  EXPECT_EQ(kinder.records, 3u);
}

TEST_F(ProgramEndToEndTest, TheRedButtonEndsWithZeroAndChangesNothing) {
  db_.MakeKinder();
  const Outcome run = RunOnVirtualDisplay(db_.Data(), ClickInMainWindow(kButtonX, kRedY));
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(db_.Kinder().fields.size(), 3u);
}

TEST_F(ProgramEndToEndTest, ASecondRunIsRefusedInABoxAndTheWindowStays) {
  db_.MakeKinder();
  ASSERT_EQ(RunOnVirtualDisplay(db_.Data(), ClickInMainWindow(kButtonX, kGreenY)).exitCode, 0);
  // The refusal box carries the application's title; after it the red button still works.
  const Outcome run = RunOnVirtualDisplay(db_.Data(), ClickInMainWindow(kButtonX, kGreenY) +
                                                          AnswerBox("Vaskoli-upgrade") +
                                                          ClickInMainWindow(kButtonX, kRedY));
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(db_.Kinder().fields.size(), 7u);
}

TEST_F(ProgramEndToEndTest, AMissingAliasEndsWithOneAfterTheStartUpBox) {
  db_.WriteAlias("Andere_DB=" + db_.Data() + ";A");
  const Outcome run = RunOnVirtualDisplay(db_.Data(), AnswerBox("Anwendungsfehler"));
  EXPECT_EQ(run.exitCode, 1) << run.log;
}

}  // namespace
