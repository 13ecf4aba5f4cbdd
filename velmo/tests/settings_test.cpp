#include <gtest/gtest.h>  // (tests to be written)
