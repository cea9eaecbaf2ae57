// CommandScanner: finds the reader's five-byte commands in the bytes the program sends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvalen::sim {

// The program writes each command as "(" three letters or digits ")" without any
// terminator; a serial line may split a command over reads, glue several together, or
// surround them with stray bytes (line noise, a program's purge remnants). The scanner
// keeps the start of a command that has not arrived whole yet, so feeding the stream in
// any pieces yields the same commands in the same order.
class CommandScanner {
  public:
    // The commands completed by `bytes`, each five characters, in stream order. Anything
    // that cannot be part of a command is dropped.
    std::vector<std::string> Feed(std::string_view bytes);

  private:
    std::string pending_;  // "(" and up to three command characters, or empty
};

}  // namespace korvalen::sim
