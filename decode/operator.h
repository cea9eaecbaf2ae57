// What must wait for a person: the messages, the question about records without ID and
// the ID prompt.
#pragma once

#include <string>
#include <string_view>

#include "platform/message_sink.h"

namespace korvalen {

// The operator of a pass: whoever answers what the pass cannot decide alone. The window
// asks the person at the screen; a tool answers from its command line; a test records.
// Every call comes from the pass's own thread and returns once it has been answered.
class Operator : public MessageSink {
  public:
    // A modal question with the buttons Yes and No; true for Yes.
    virtual bool AskYesNo(std::string_view question) = 0;
    // The object ID prompt: the text it holds when it closes, however it was closed
    // ("0000" when cancelled).
    virtual std::string PromptObjectId() = 0;
};

// Nobody there: messages go nowhere, the question is answered No, the prompt cancelled.
class NullOperator final : public Operator {
  public:
    void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
    bool AskYesNo(std::string_view) override { return false; }
    std::string PromptObjectId() override { return "0000"; }
};

}  // namespace korvalen
