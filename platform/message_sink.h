// How the portable core shows its messages without knowing who shows them.
#pragma once

#include <string_view>

namespace korvalen {

enum class MessageIcon { None, Stop, Exclamation, Information };

// Where the core's modal messages go: a message box in the program, standard error in
// the tools, a recorder in tests. Texts are UTF-8.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
};

// The caption of the program's own message boxes.
inline constexpr std::string_view kProgramCaption = "Korvalen";

}  // namespace korvalen
