// The stored sign-in and whether launches use it.
#pragma once

// Cleared by the global option "--offline".
extern bool g_use_account;

// Reads account.json from the data directory.
void account_load();
