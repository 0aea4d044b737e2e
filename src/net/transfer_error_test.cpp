#include "net/transfer_error.h"

#include <gtest/gtest.h>

TEST(TransferError, RussianWithTheOriginalKept) {
    struct Case {
        CURLcode code;
        long status;
        const char *want;
    } cases[] = {
        {CURLE_COULDNT_CONNECT, 0, "не удалось подключиться к серверу (Couldn't connect to server)"},
        {CURLE_HTTP_RETURNED_ERROR, 404, "файл не найден на сервере (HTTP 404)"},
        {CURLE_HTTP_RETURNED_ERROR, 418, "сервер ответил ошибкой (HTTP 418)"},
        // Without a status the curl text is all there is.
        {CURLE_HTTP_RETURNED_ERROR, 0, "сервер ответил ошибкой (HTTP response code said error)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(transfer_error_text(c.code, c.status), c.want) << c.code;
    // A code without its own text still says what libcurl said.
    EXPECT_EQ(transfer_error_text(CURLE_SSL_CACERT_BADFILE),
              std::string("ошибка сети (") + curl_easy_strerror(CURLE_SSL_CACERT_BADFILE) + ")");
}
