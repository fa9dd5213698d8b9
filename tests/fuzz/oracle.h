// Whole-translation checks shared by the fuzzer and the replay of its findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "agree.h"
#include "ref.h"

// Take standard error aside so the translator's messages can be checked; call once, first.
void oracle_setup();

// Translate `text` in process with the real translator and report it as ref_translate does: the
// output only on success, the message it wrote to standard error, lnum and lbl_n at the end.
ref_run core_run(std::string_view text);

// Translate `data` in process and abort with a reason when it differs from the reference or
// from another run of itself.
void check_input(const uint8_t* data, size_t size);
