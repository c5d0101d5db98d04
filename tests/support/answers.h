// What a test answers in place of the user: every box and file dialog is recorded, and
// the answers are taken from queues. Plain C++, without GoogleTest, so that fuzz targets
// and benchmarks can use it too.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "frontend/userio.h"

struct UiTestAnswers {
  struct Box {
    BoxKind kind;
    std::string text;      // as given, with CR line breaks
    bool confirm = false;  // a "&Ja"/"&Abbrechen" box
  };
  struct FileRequest {
    bool save = false;
    std::string filter;
    std::string initialName;
  };
  std::vector<Box> boxes;                              // every box shown, in order
  std::deque<bool> confirmAnswers;                     // answers to Confirm, in order
  bool defaultConfirm = false;                         // when none is queued (false: Abbrechen)
  std::vector<FileRequest> fileRequests;               // every file dialog, in order
  std::deque<std::optional<std::string>> fileAnswers;  // nullopt: cancelled
  std::optional<std::string> defaultFileAnswer;        // when none is queued (nullopt: cancelled)
  int beeps = 0;
  std::vector<int> sleeps;  // every pause of an exchange, in ms, as asked for

  void Message(BoxKind kind, const std::string& text);
  bool Confirm(const std::string& text);
  std::optional<std::string> File(bool save, const std::string& filter,
                                  const std::string& initialName);
};
