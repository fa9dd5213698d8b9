// The checker against the translator: the same verdict, and the translation left as it is.
#pragma once

#include <cstddef>
#include <cstdint>

// Abort with a reason when nestasm-check's analysis of `data` disagrees with nestasm's run.
void check_agrees(const uint8_t* data, size_t size);
