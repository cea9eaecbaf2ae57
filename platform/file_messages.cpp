// The open and write failures of output files, in the words the user sees.
#include "platform/file_messages.h"

#include "platform/string_printf.h"

namespace korvalen {

void ShowOpenFailure(MessageSink& sink, int code, const std::string& path, MessageIcon icon) {
    sink.ShowMessage(
        StringPrintf("Не удалось открыть файл на запись. Код ошибки: %i.\n%s", code, path.c_str()),
        kProgramCaption, icon);
}

void ShowWriteFailure(MessageSink& sink, CodePeriod period, int code, const std::string& path) {
    sink.ShowMessage(StringPrintf(period == CodePeriod::With
                                      ? "Не удалось записать информацию в файл. Код ошибки: %i.\n%s"
                                      : "Не удалось записать информацию в файл. Код ошибки: %i\n%s",
                                  code, path.c_str()),
                     kProgramCaption, MessageIcon::Stop);
}

}  // namespace korvalen
