#pragma once

#include "support/TempDir.h"

namespace server_tests {
using testing_support::TempDir;
}  // namespace server_tests
