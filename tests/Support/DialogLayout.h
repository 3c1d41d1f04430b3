// Checks a dialog of a module's resource file against the parameter block it edits.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "qvhost/ResourceFile.h"

// Field names with their offsets in the block, in the resource file's order.
using FieldOffsets = std::vector<std::pair<std::string, size_t>>;

// The dialog gives the block's size and exactly `fields`, in order, at their offsets.
inline void ExpectDialogLayout(const qvhost::DialogResource* dialog, size_t blockSize, const FieldOffsets& fields) {
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->blockSize, blockSize);
  ASSERT_EQ(dialog->fields.size(), fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(dialog->fields[i].name, fields[i].first);
    EXPECT_EQ(dialog->fields[i].offset, fields[i].second) << fields[i].first;
  }
}
