// What a decoding pass asks of the window it runs for, and the date format of its summary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/message_sink.h"

namespace korvalen {

// What a decoding pass needs from the window that runs it: its messages, the question
// about records without ID, the ID prompt and the log list. Every call comes from the
// pass's own thread.
class DecodingHost : public MessageSink {
  public:
    // A modal question with the buttons Yes and No; true for Yes.
    virtual bool AskYesNo(std::string_view question) = 0;
    // The object ID prompt: the text it holds when it closes, however it was closed
    // ("0000" when cancelled).
    virtual std::string PromptObjectId() = 0;

    // The log list shows the newest line on top.
    virtual void InsertLogLineAtTop(std::string_view line) = 0;
    virtual int LogLineCount() = 0;

    // The date and time that heads the pass's summary, in the user's format.
    virtual std::string FormatDateTime(const CalendarTime& local);
};

// "dd.mm.yyyy h:mm:ss", the short date and the time of the program's Russian users;
// "Invalid DateTime" for a time that is not one.
std::string FormatLocalDateTime(const CalendarTime& local);

}  // namespace korvalen
