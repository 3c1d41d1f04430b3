// Block fill, copy and overlapping move used on array and string storage.
#pragma once

#include <cstddef>
#include <cstdint>

void QVFill(uint8_t value, void* destination, size_t count);
void QVCopy(void* destination, const void* source, size_t count);  // no overlap
void QVMove(void* destination, const void* source, size_t count);  // may overlap
