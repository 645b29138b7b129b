// Test helper: asserts that a call fails with an internal failure carrying
// exactly the given message.
#pragma once

#include <gtest/gtest.h>

#include "error.hpp"

inline void expect_panic(auto&& f, const char* message) {
  try {
    f();
    FAIL() << "expected panic " << message;
  } catch (const varnel::Panic& p) {
    EXPECT_STREQ(p.what(), message);
  }
}
