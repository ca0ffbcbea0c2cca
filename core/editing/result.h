// The core's steps report through the platform's result type: one convention from the file
// calls up.
#pragma once
#include "platform/result.h"

namespace editing {

using platform::failure;
using platform::Fault;
using platform::Result;

} // namespace editing
