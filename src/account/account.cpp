// Account record and account.json.
#include "account/account.h"

bool g_use_account = true;

void account_load() {}
