// What every worker asks of the window that runs it, and the window's three states.
#pragma once

#include <cstdint>
#include <string_view>

#include "decode/decoding_host.h"

namespace korvalen {

// The window's three states: 0 while a flash transfer is read or a dump decoded (the
// window is busy), 1 when the reader is connected and the window waits for the user, 2
// when the port is not open.
enum class UiState : int { Busy = 0, Ready = 1, NoConnection = 2 };

// Button 1000 reads "Прервать" while a capture or a pass can be aborted.
inline constexpr std::string_view kAbortCaption = "Прервать";
inline constexpr std::string_view kDecodeCaption = "Декодировать файл";
// The status bar's state while a pass runs.
inline constexpr std::string_view kDecodingStatus = "Преобразование";

// What the workers (the reading thread, the job owner and its passes) need from the
// window that runs them: what a pass needs (messages, the question and the prompt, the
// log list), the shared progress bar, the caption of button 1000, the status bar's state
// text and the window's UI state. The main window implements it with its controls, the
// tools with the console, tests with a recorder; what only a window shows does nothing
// unless overridden. Every call comes from a worker's own thread, and only the modal
// ones (messages, the question, the prompt) wait for the window.
class WorkerHost : public DecodingHost {
  public:
    virtual int ProgressRangeUpper() { return 0; }
    virtual void SetProgressRange(std::uint16_t /*upper*/) {}  // the range 0 .. upper
    virtual void SetProgressPosition(int /*position*/) {}

    virtual void SetActionButtonCaption(std::string_view /*caption*/) {}
    // The status bar's field 1, where the window says what it is doing.
    virtual void SetStatusText(std::string_view /*text*/) {}
    // Switches the window's state and shows its info lines anew. Ready, asked by a worker
    // that ends, means: whatever the window shows when nothing runs.
    virtual void SetUiState(UiState /*state*/) {}
    // The reading thread found the port gone (an adapter pulled out): whoever owns the
    // port closes it and tries it again. Told once per loss.
    virtual void PortLost() {}
    // The reader answered on `port` ("COM3"): a transfer began with its reply header.
    // Whoever owns the port may remember the device behind it.
    virtual void ReaderAnswered(std::string_view /*port*/) {}
};

}  // namespace korvalen
