// Out-of-class members of the fixed-string template.
#pragma once

#include <cstring>
#include <new>

#include "QVMemory.h"

template <int N>
TQVFixedString<N>::TQVFixedString(const char* text)
    : TQVFixedString(text, text ? int32_t(std::strlen(text)) : 0) {}

template <int N>
void TQVFixedString<N>::DeleteThis(uint32_t flags) {
  this->~TQVFixedString();
  if (flags & 1) QVFreeObject(this);
}
