#pragma once

#include <string>

namespace fotoshuttle {

enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// Every message the program shows goes through one service, so a box can be raised from any
// thread and tests can record the texts and answer them.
class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    // Blocks the calling thread, and only it, until the box is answered.
    virtual BoxAnswer Show(const std::string& text, BoxButtons buttons) = 0;
};

// The service in use; null until start-up (or a test) installs one. Installing is not
// synchronised with callers: do it before any thread may show a box.
void SetMessageBoxService(MessageBoxService* service);
MessageBoxService* CurrentMessageBoxService();

// Shows a box through the current service; without a service it answers Ok / No unseen.
BoxAnswer ShowMessageBox(const std::string& text, BoxButtons buttons = BoxButtons::Ok);

}  // namespace fotoshuttle
