// A message sink for tests that keeps every message instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "platform/message_sink.h"

namespace korvalen::testing {

// Keeps every message the code under test raised.
class RecordingMessageSink : public MessageSink {
  public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };
    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        messages.push_back({std::string(text), std::string(caption), icon});
    }
    std::vector<Message> messages;
};

}  // namespace korvalen::testing
