#include "tests/support/answers.h"

void UiTestAnswers::Message(BoxKind kind, const std::string& text) {
  boxes.push_back({kind, text, false});
}

bool UiTestAnswers::Confirm(const std::string& text) {
  boxes.push_back({BoxKind::Confirmation, text, true});
  if (confirmAnswers.empty()) return defaultConfirm;
  const bool answer = confirmAnswers.front();
  confirmAnswers.pop_front();
  return answer;
}

std::optional<std::string> UiTestAnswers::File(bool save, const std::string& filter,
                                               const std::string& initialName) {
  fileRequests.push_back({save, filter, initialName});
  if (fileAnswers.empty()) return defaultFileAnswer;
  auto answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}
