// HTTP client and the content-service fallback rule.
#pragma once

#include <string>

// The content service's base URL without trailing "/": ZYL_API, else the
// api_url setting, else the default. Stays valid for the process.
const std::string &service_base_url();
