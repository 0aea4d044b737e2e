// Test support for the account modules: the fake network, a temporary data
// folder and a blank account record.
#pragma once

#include "account/account.h"
#include "fakenet/net_test_env.h"
#include "fakenet/world_auth.h"

#include <cstdlib>

struct AccountTestEnv : NetTestEnv {
    explicit AccountTestEnv(const std::vector<std::string> &unreachable = {})
        : NetTestEnv(unreachable) {
        unsetenv("ZYL_AUTH_SERVER");
        account_publish(Account());
        account_use_set(true);
    }
    ~AccountTestEnv() {
        account_publish(Account());
        account_use_set(true);
    }
};
