// The lines the road puts into the log list, above a pass's summary or on their own.
#pragma once

namespace korvalen::road_text {

inline constexpr const char* kRedo =
    "Восстановление: файл '%s' не был доставлен в InBox, декодируется заново";
inline constexpr const char* kPublished =
    "Восстановление: файлы декодирования '%s' доставлены в InBox";
inline constexpr const char* kNotPublished =
    "Восстановление: файлы декодирования '%s' не удалось переместить в InBox (код ошибки %i)";
inline constexpr const char* kUndelivered =
    "Файлы не доставлены в InBox: '%s' будет декодирован заново при следующем запуске или "
    "командой \"Декодировать отложенные файлы\"";
inline constexpr const char* kGone = "Файл '%s' не найден: он не будет декодирован";
inline constexpr const char* kJournalUnreadable =
    "Журнал в папке Data не удалось прочитать (%s): отложенные файлы ждут следующего запуска";
inline constexpr const char* kJournalNotWritten =
    "Файлы не доставлены в InBox: журнал в папке Data не удалось записать (%s)";
inline constexpr const char* kCsvKept =
    "Файл '%s' ждет: CSV-файл '%s' не удалось вернуть к длине до декодирования (%s)";
inline constexpr const char* kHeldElsewhere =
    "Файл '%s' ожидает доставки другой программой и будет доставлен ею";
inline constexpr const char* kSweptKept =
    "CSV-файл '%s' не удалось вернуть к длине до декодирования: папка декодирования оставлена";
// A transfer that ended short of its size was not acknowledged: the reader keeps it and
// sends it again, and what this part delivers is left out then.
inline constexpr const char* kCut =
    "Передача прервана: получено %lld из %lld байт; полученное доставлено, остальное придет "
    "при следующем считывании";
// A transfer that began with the part an earlier one delivered.
inline constexpr const char* kDeliveredBefore = "Уже доставлено при прошлом считывании: записей %d";
// A complete transfer of new data that was not acknowledged because its dump or the
// journal could not be put onto the disk.
inline constexpr const char* kUnacknowledged =
    "Передача не подтверждена: файл считывания или журнал в папке Data не удалось записать "
    "на диск; данные остались в считывателе и придут при следующем считывании";
inline constexpr const char* kHeaderless =
    "Передача без заголовка: получено %lld байт; данные остались в считывателе и придут при "
    "следующем считывании";

}  // namespace korvalen::road_text
