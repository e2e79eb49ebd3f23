#pragma once

#include "platform/MessageBoxService.h"

namespace fotoshuttle {

// Shows boxes as QMessageBox with the executable's name as caption. On the GUI thread the box is
// modal; from any other thread the GUI thread shows it without modality and only the caller
// waits for the answer.
class QtMessageBoxService : public MessageBoxService {
  public:
    BoxAnswer Show(const std::string& text, BoxButtons buttons) override;
};

}  // namespace fotoshuttle
