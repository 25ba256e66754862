#pragma once

#include <string>

#include <gtest/gtest.h>

#include "fib/errors.h"

namespace nimbus::test {

// `f` raises client error `number` with exactly `text`.
template <typename F> void ExpectClientError(F f, int number, const std::string& text) {
  try {
    f();
    ADD_FAILURE() << "no error, expected client error " << number;
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), number);
    EXPECT_EQ(e.Message(), text);
  }
}

} // namespace nimbus::test
