// Russian texts for failed transfers: libcurl's error codes and the HTTP
// statuses a player meets, each followed by the original in parentheses so
// that a bug report still carries it. Pure functions; any thread.
#pragma once

#include <curl/curl.h>

#include <string>

// "не удалось подключиться к серверу (Couldn't connect to server)". For
// CURLE_HTTP_RETURNED_ERROR with a known status, the status's text instead.
std::string transfer_error_text(CURLcode code, long http_status = 0);
// "файл не найден на сервере (HTTP 404)"; unknown statuses as "сервер ответил ошибкой (HTTP 418)".
std::string http_status_text(long status);
