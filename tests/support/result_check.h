// A result of the platform's type as the unit tests check it.
#pragma once
#include <string>

#include "platform/result.h"

namespace testing_files {

// The result as it came, its detail also put into `detail` for the checks that follow.
inline platform::Result noted(platform::Result r, std::string& detail) {
    detail = r.detail;
    return r;
}

} // namespace testing_files
