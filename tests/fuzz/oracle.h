// Whole-translation checks shared by the fuzzer and the replay of its findings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agree.h"

// Take standard error aside so the translator's messages can be checked; call once, first.
void oracle_setup();

// Translate `data` in process and abort with a reason when any property of a run fails.
void check_input(const uint8_t* data, size_t size);
