// Amounts as a Russian reader expects them: sizes with a decimal comma,
// durations, a time left, and the plural form of a counted word. Pure
// functions; any thread.
#pragma once

#include <string>

// "512 Б", "1,5 КБ", "41,2 МБ", "326 МБ": one decimal below 100 of the unit.
std::string amount_bytes(long long bytes);
// "41,2 из 326 МБ": both in the unit the total needs.
std::string amount_bytes_of(long long done, long long total);
// "0,4 с", "21 с", "2 мин 5 с", "1 ч 3 мин".
std::string amount_duration(double seconds);
// A rough time left: "~15 с", "~2 мин", "~1 ч".
std::string amount_time_left(double seconds);
// Russian plural: one ("файл"), few ("файла") or many ("файлов") for n.
const char *plural_word(long n, const char *one, const char *few, const char *many);
