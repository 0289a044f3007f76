// placeholder, replaced below
#include <gtest/gtest.h>
TEST(FormatCore, Builds) {}
