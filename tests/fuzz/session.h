// An editor's whole session with the language server, written by a few bytes: the document, its
// edits and every request, each answer held to what the protocol and the server promise.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What a session came to, for a person reading a finding or a replay.
struct session_stats {
  size_t bytes = 0;     // the largest text a document had
  size_t lines = 0;     // its lines
  size_t depth = 0;     // the most blocks open at once in any check
  size_t requests = 0;  // requests sent
  size_t changes = 0;   // didOpen and didChange messages sent
};

// Runs the session that `program` describes on a server in this process. Returns "" when every
// answer held, or the first thing that did not, with where it happened.
std::string run_session(std::string_view program, session_stats* stats = nullptr);
