#pragma once

// The input of the fuzz targets that play a serial conversation: a series of steps, each
// a control byte, a little-endian 16-bit length and that many bytes (fewer at the end of
// the input). A readable layout, so that seeds can be real transfers cut into reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvalen::fuzzing {

struct Step {
    std::uint8_t control = 0;  // what the target makes of it: ticks, failures
    std::string_view bytes;
};

class StepReader {
  public:
    StepReader(const std::uint8_t* data, std::size_t size)
        : input_(reinterpret_cast<const char*>(data), size) {}

    bool Next(Step& step) {
        if (input_.empty())
            return false;
        step.control = static_cast<std::uint8_t>(input_[0]);
        std::size_t length = 0;
        if (input_.size() >= 3) {
            length = static_cast<std::uint8_t>(input_[1]) |
                     std::size_t{static_cast<std::uint8_t>(input_[2])} << 8;
            input_.remove_prefix(3);
        } else {
            input_.remove_prefix(input_.size());
        }
        step.bytes = input_.substr(0, length);
        input_.remove_prefix(step.bytes.size());
        return true;
    }

  private:
    std::string_view input_;
};

// The writer of the same layout, for the seeds.
inline std::string EncodeStep(std::uint8_t control, std::string_view bytes) {
    std::string out;
    out += static_cast<char>(control);
    out += static_cast<char>(bytes.size() & 0xFF);
    out += static_cast<char>((bytes.size() >> 8) & 0xFF);
    out.append(bytes);
    return out;
}

}  // namespace korvalen::fuzzing
