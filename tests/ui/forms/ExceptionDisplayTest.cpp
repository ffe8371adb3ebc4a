// The exception display of the message loop and the start-up failure text.
#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>

#include "ui/forms/ExceptionDisplay.h"
#include "ui/forms/QtTestSupport.h"

namespace {

std::string DisplayTextOf(const std::string& message) {
  return ExceptionDisplayText(Exception(message));
}

}  // namespace

TEST(ExceptionDisplay, DotIsAddedOnlyAfterCharactersSortingAfterDot) {
  EXPECT_EQ(DisplayTextOf("x"), "x.");
  EXPECT_EQ(DisplayTextOf("Tabelle gesperrt"), "Tabelle gesperrt.");
  EXPECT_EQ(DisplayTextOf("Schon fertig."), "Schon fertig.");
  EXPECT_EQ(DisplayTextOf("endet mit Blank "), "endet mit Blank ");
  EXPECT_EQ(DisplayTextOf("Fehler!"), "Fehler!");     // '!' sorts before '.'
  EXPECT_EQ(DisplayTextOf("Wert 7"), "Wert 7.");      // digits sort after '.'
  EXPECT_EQ(DisplayTextOf("Fehler ä"), "Fehler ä.");  // non-ASCII sorts after '.'
  EXPECT_EQ(DisplayTextOf(""), "");
}

TEST(ExceptionDisplay, WrappedExceptionsShowTheInnermostNonEmptyMessage) {
  try {
    try {
      try {
        throw Exception("innen");
      } catch (...) {
        std::throw_with_nested(Exception(""));
      }
    } catch (...) {
      std::throw_with_nested(std::runtime_error("aussen"));
    }
  } catch (const std::exception& e) {
    EXPECT_EQ(InnermostMessage(e), "innen");
    EXPECT_EQ(ExceptionDisplayText(e), "innen.");
  }
  try {
    try {
      throw Exception("");
    } catch (...) {
      std::throw_with_nested(Exception("nur aussen"));
    }
  } catch (const std::exception& e) {
    EXPECT_EQ(InnermostMessage(e), "nur aussen");
  }
}

TEST(ExceptionDisplay, StartupFailureTextNamesClassModuleAndAddress) {
  const std::regex format(
      "Exception EConvertError in Modul ([^ ]+) bei [0-9A-F]{8}\\.\nkein Wert\\.\n");
  std::smatch match;
  const std::string text = StartupFailureText(EConvertError("kein Wert"));
  ASSERT_TRUE(std::regex_match(text, match, format)) << text;
  EXPECT_FALSE(match[1].str().empty());

  // A message ending in "." gets no second one; an empty message stays empty.
  EXPECT_NE(StartupFailureText(Exception("Ende.")).find("\nEnde.\n"), std::string::npos);
  const std::string empty = StartupFailureText(EAbort(""));
  EXPECT_TRUE(
      std::regex_match(empty, std::regex("Exception EAbort in Modul [^ ]+ bei [0-9A-F]{8}\\.\n\n")))
      << empty;
}

TEST(ExceptionDisplay, StartupFailureOfAForeignExceptionUsesItsTypeAndTheProgram) {
  const std::string text = StartupFailureText(std::runtime_error("roh"));
  EXPECT_EQ(text.rfind("Exception std::runtime_error in Modul " + ProgramFileName() + " bei ", 0),
            0u)
      << text;
  EXPECT_NE(text.find("\nroh.\n"), std::string::npos);
}

TEST(ExceptionDisplay, StartupFailureBoxHasNoOwnerAndIsTaskModal) {
  qt_test::RecordedBoxes boxes;
  ShowStartupFailure(ERangeError("zu gross"));
  ASSERT_EQ(boxes.Requests().size(), 1u);
  const MessageBoxRequest& box = boxes.Requests()[0];
  EXPECT_EQ(box.Title, "Anwendungsfehler");
  EXPECT_EQ(box.Icon, MessageBoxIcon::Error);
  EXPECT_EQ(box.Buttons, MessageBoxButtons::Ok);
  EXPECT_EQ(box.Owner, nullptr);
  EXPECT_TRUE(box.TaskModal);
  EXPECT_NE(box.Text.find("ERangeError"), std::string::npos);
}

TEST(MessageBoxesSelection, RecordingBoxesAnswerFromTheQueueThenTheDefault) {
  RecordingMessageBoxes recording;
  recording.QueueAnswer(MessageBoxResult::No);
  recording.SetDefaultAnswer(MessageBoxResult::Cancel);
  {
    ScopedMessageBoxes scope(&recording);
    EXPECT_EQ(&MessageBoxes(), &recording);
    EXPECT_EQ(MessageBoxes().Show({}), MessageBoxResult::No);
    EXPECT_EQ(MessageBoxes().Show({}), MessageBoxResult::Cancel);
  }
  EXPECT_NE(&MessageBoxes(), &recording);
  EXPECT_EQ(recording.Requests().size(), 2u);
}
