// What the user is told when a file cannot be opened or written.
#pragma once

#include <string>

#include "platform/message_sink.h"

namespace korvalen {

// The messages of the output writers, with the system's error code and the file name.

// "Не удалось открыть файл на запись. Код ошибки: %i.\n%s"; the stop icon but for the
// dump file of a capture, whose message has none.
void ShowOpenFailure(MessageSink& sink, int code, const std::string& path,
                     MessageIcon icon = MessageIcon::Stop);

enum class CodePeriod { Without, With };
// "Не удалось записать информацию в файл. Код ошибки: %i\n%s", or with a period after the
// code: the position record and the "C" line have none, the inputs record and the "N" line
// have one.
void ShowWriteFailure(MessageSink& sink, CodePeriod period, int code, const std::string& path);

}  // namespace korvalen
