// Fuzz target: the message-file reader of korvalen-inspect and its record lines, over any
// bytes: the records it gives cover the file exactly up to the error it names, and every
// record prints as one line.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "output/message_file_reader.h"
#include "record/mrv_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvalen;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const MessageFileContents contents = ReadMessageRecords(bytes);
    std::size_t covered = 0;
    for (const MessageRecord& record : contents.records) {
        FUZZ_CHECK(record.offset == covered);
        const auto head = EncodeMessageHead(record.head);
        FUZZ_CHECK(bytes.substr(covered, head.size()) ==
                   std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
        FUZZ_CHECK(bytes.substr(covered + head.size(), record.text.size()) == record.text);
        covered += head.size() + record.text.size();

        const std::string line = FormatMessageRecord(record);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
    FUZZ_CHECK(contents.error.empty() ? covered == size : covered < size);
    return 0;
}
