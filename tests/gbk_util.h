// Test helper: GBK bytes to UTF-8, failing loudly on bytes that are no GBK. The converter is the
// platform's (iconv on POSIX systems, code page 936 on Windows: the one the window uses).
#pragma once

#include "support/test_env.h"
