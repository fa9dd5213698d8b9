// What the checker knows of NASM's side of a line: names, registers, numbers and labels. None of
// it decides what nestasm does with a line; it only judges what NASM will make of the result.
#pragma once

#include <cstddef>
#include <string_view>

// A byte that NASM allows inside an identifier.
bool ident_byte(char c);

// `w`, in lower case, is a register, a size or an operand keyword that NASM reads in any case.
bool nasm_word(std::string_view lower);

// The first name in `operand` that holds a capital and is none of nasm_word; empty when none.
// Quoted text and numbers are passed over.
std::string_view capital_name(std::string_view operand);

// `s` is an immediate to NASM although nestasm does not read it as a number: "10h", "0b101",
// "-1", "$1F", "1_000", "\"a\"" and the like.
bool nasm_number(std::string_view s);

// The label that a line of plain assembly defines ("name:" at its start), or empty.
std::string_view label_of(std::string_view body);

// For a first word that looks like a statement of another language ("endif", "elsif", "fi"),
// the statement meant ("end", "elif"); empty otherwise. `word` is as written.
std::string_view meant_statement(std::string_view word);

// The position of the first ";" in `s` outside single, double or back quotes, or npos.
size_t comment_at(std::string_view s);

// The operator that means the opposite order: ">" for "<", "ULE" for "UGE"; "==" and "!="
// stay.
std::string_view mirrored(std::string_view op);
