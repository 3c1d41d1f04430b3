// Checks that a statement raises TQVException with a given code, source and line.
#pragma once

#include <gtest/gtest.h>

#include "QVException.h"

// `source` null: the exception carries no source.
template <class Action>
void ExpectRaise(Action action, QVResult code, const char* source, int32_t line) {
  try {
    action();
    ADD_FAILURE() << "no exception";
  } catch (const TQVException& error) {
    EXPECT_EQ(error.Code(), code);
    if (source)
      EXPECT_STREQ(error.GetSource(), source);
    else
      EXPECT_EQ(error.GetSource(), nullptr);
    EXPECT_EQ(error.Line(), line);
  }
}

#define EXPECT_RAISES(statement, code, source, line)                  \
  do {                                                                \
    SCOPED_TRACE(#statement);                                         \
    ExpectRaise([&] { statement; }, code, source, line);              \
  } while (0)
