// The launcher's version, set once by the build (project() in CMakeLists.txt).
#pragma once

#ifndef ZYL_VERSION
#error "ZYL_VERSION comes from the build"
#endif

inline constexpr const char *k_version = ZYL_VERSION;
