// The system's event log, for a service's starts, stops and failures.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

namespace korvalen {

// Entries of one event source (the service's name) in the Application log. Each entry is
// its text as one insertion string of event 1, which the message table linked into
// korvalen-read.exe shows as it stands once the source is registered with it
// (RegisterEventMessages below); without that, Event Viewer says it has no description for
// event 1 and shows the text after that, under "The following information was included
// with the event".
class EventLog {
  public:
    enum class Kind { Information, Warning, Error };

    explicit EventLog(const std::wstring& source);

    // Nothing happens when the log could not be opened: the read log has the lines too.
    void Report(Kind kind, std::string_view text);

  private:
    struct Deregister {
        void operator()(HANDLE handle) const { DeregisterEventSource(handle); }
    };
    std::unique_ptr<void, Deregister> handle_;
};

// Names korvalen-read.exe (`program`) as the message file of the source, so that Event
// Viewer shows the entries' texts; and removes the source again. Both need an
// administrator; false when the registry could not be written.
bool RegisterEventMessages(const std::wstring& source, const std::wstring& program);
void UnregisterEventMessages(const std::wstring& source);

}  // namespace korvalen
