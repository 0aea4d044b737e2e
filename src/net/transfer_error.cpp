// Translation tables for libcurl errors and HTTP statuses.
#include "net/transfer_error.h"

#include "base/strings.h"

namespace {

struct CurlText {
    CURLcode code;
    const char *text;
};

const CurlText k_curl_texts[] = {
    {CURLE_COULDNT_RESOLVE_HOST, "адрес сервера не найден — нет сети или DNS"},
    {CURLE_COULDNT_RESOLVE_PROXY, "адрес прокси не найден"},
    {CURLE_COULDNT_CONNECT, "не удалось подключиться к серверу"},
    {CURLE_OPERATION_TIMEDOUT, "сервер не ответил вовремя"},
    {CURLE_SSL_CONNECT_ERROR, "не удалось установить защищённое соединение"},
    {CURLE_PEER_FAILED_VERIFICATION, "сертификат сервера не прошёл проверку"},
    {CURLE_GOT_NOTHING, "сервер закрыл соединение, ничего не ответив"},
    {CURLE_SEND_ERROR, "соединение оборвалось при отправке"},
    {CURLE_RECV_ERROR, "соединение оборвалось при получении данных"},
    {CURLE_PARTIAL_FILE, "файл пришёл не полностью"},
    {CURLE_TOO_MANY_REDIRECTS, "слишком много перенаправлений"},
    {CURLE_FILESIZE_EXCEEDED, "файл больше допустимого"},
    {CURLE_WRITE_ERROR, "не удалось записать полученные данные"},
    {CURLE_UNSUPPORTED_PROTOCOL, "адрес с неподдерживаемым протоколом"},
    {CURLE_URL_MALFORMAT, "неверный адрес"},
    {CURLE_OUT_OF_MEMORY, "не хватило памяти"},
    {CURLE_ABORTED_BY_CALLBACK, "загрузка прервана"},
    {CURLE_HTTP_RETURNED_ERROR, "сервер ответил ошибкой"},
    {CURLE_BAD_CONTENT_ENCODING, "сервер прислал повреждённые сжатые данные"},
};

struct StatusText {
    long status;
    const char *text;
};

const StatusText k_status_texts[] = {
    {400, "сервер отклонил запрос"},
    {401, "нужна авторизация"},
    {403, "доступ запрещён"},
    {404, "файл не найден на сервере"},
    {408, "сервер не дождался запроса"},
    {410, "файл удалён с сервера"},
    {429, "слишком много запросов — подождите и повторите"},
    {500, "внутренняя ошибка сервера"},
    {502, "сервер-посредник не получил ответа"},
    {503, "сервер временно недоступен"},
    {504, "сервер-посредник не дождался ответа"},
};

} // namespace

std::string http_status_text(long status) {
    for (const StatusText &s : k_status_texts)
        if (s.status == status) return format_alloc("%s (HTTP %ld)", s.text, status);
    return format_alloc("сервер ответил ошибкой (HTTP %ld)", status);
}

std::string transfer_error_text(CURLcode code, long http_status) {
    if (code == CURLE_HTTP_RETURNED_ERROR && http_status >= 400) return http_status_text(http_status);
    const char *original = curl_easy_strerror(code);
    for (const CurlText &t : k_curl_texts)
        if (t.code == code) return format_alloc("%s (%s)", t.text, original);
    return format_alloc("ошибка сети (%s)", original);
}
