#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/message_sink.h"

namespace korvalen {

// What a decoding pass needs from the window that runs it: modal messages (the
// MessageSink part), the question about records without ID and the ID prompt, the
// progress bar, the log list, the caption of the decode/abort button, the status bar and
// the window's UI state. The main window implements it with its controls, korvalen-decode
// with the console, tests with a recorder. Every call comes from the pass's own thread.
class DecodingHost : public MessageSink {
  public:
    // A modal question with the buttons Yes and No; true for Yes.
    virtual bool AskYesNo(std::string_view question) = 0;
    // The object ID prompt: the text it holds when it closes, however it was closed
    // ("0000" when cancelled).
    virtual std::string PromptObjectId() = 0;

    virtual int ProgressRangeUpper() = 0;
    virtual void SetProgressRange(std::uint16_t upper) = 0;  // the range 0 .. upper
    virtual void SetProgressPosition(int position) = 0;

    // The log list shows the newest line on top.
    virtual void InsertLogLineAtTop(std::string_view line) = 0;
    virtual int LogLineCount() = 0;

    // Button 1000: "Прервать" while a pass runs, "Декодировать файл" afterwards.
    virtual void SetActionButtonCaption(std::string_view caption) = 0;
    // The status bar's field 1, where the window says what it is doing.
    virtual void SetStatusText(std::string_view text) = 0;
    // 0 while reading or decoding, 1 ready; the window refreshes its controls with it.
    virtual void SetUiState(int state) = 0;

    // The date and time that heads the pass's summary, in the user's format.
    virtual std::string FormatDateTime(const CalendarTime& local);
};

// "dd.mm.yyyy h:mm:ss", the short date and the time of the program's Russian users;
// "Invalid DateTime" for a time that is not one.
std::string FormatLocalDateTime(const CalendarTime& local);

}  // namespace korvalen
