// What the server answers on a document, one row a feature: the method, the capability
// initialize announces for it, and the handler, which reads the document's last check.
#include "lsp/lsp.h"

// An answer to be written as JSON text straight into the message, after the room it needs.
static answer room() {
  answer a(nullptr);
  a.text.assign(head, ' ');
  return a;
}

static answer bad_position() { return error(invalid_params, "position is missing or wrong"); }

// The request's position, as the translator's line and byte.
static bool read_at(const server& s, const doc& d, const json& p, pos& at) {
  if (!read_pos(get(p, "position"), at)) return false;
  at = source_of(s, d, at);
  return true;
}

// An answer whose JSON text `put` writes straight into the message.
template <class F>
static answer written(F&& put) {
  answer a = room();
  put(a.text);
  return a;
}

static const feature features[] = {
    {"textDocument/codeAction", "codeActionProvider",
     R"({"codeActionKinds":["quickfix","refactor.rewrite"]})",
     [](server& s, doc& d, const json& p) {
       return written([&](std::string& o) {
         put_code_actions(o, s, d, p);
         put_shift_actions(o, s, d, p);
       });
     }},
    {"textDocument/foldingRange", "foldingRangeProvider", "true",
     [](server& s, doc& d, const json&) { return written([&](auto& o) { put_folding(o, s, d); }); }},
    {"textDocument/documentHighlight", "documentHighlightProvider", "true",
     [](server& s, doc& d, const json& p) {
       pos at;
       if (!read_at(s, d, p, at)) return bad_position();
       return written([&](auto& o) { put_highlights(o, s, d, at); });
     }},
    {"textDocument/definition", "definitionProvider", "true",
     [](server& s, doc& d, const json& p) {
       pos at;
       return read_at(s, d, p, at) ? answer(definition(s, d, at)) : bad_position();
     }},
    {"textDocument/documentSymbol", "documentSymbolProvider", "true",
     [](server& s, doc& d, const json&) { return written([&](auto& o) { put_symbols(o, s, d); }); }},
    {"textDocument/hover", "hoverProvider", "true",
     [](server& s, doc& d, const json& p) {
       pos at;
       return read_at(s, d, p, at) ? answer(hover(s, d, at)) : bad_position();
     }},
    {"textDocument/inlayHint", "inlayHintProvider", "true",
     [](server& s, doc& d, const json& p) {
       return written([&](auto& o) { put_inlay_hints(o, s, d, p); });
     }},
    {"textDocument/semanticTokens/full", "semanticTokensProvider", tokens_capability,
     [](server& s, doc& d, const json& p) {
       return written([&](auto& o) { put_tokens(o, s, d, p, false); });
     }},
    {"textDocument/semanticTokens/range", nullptr, nullptr,
     [](server& s, doc& d, const json& p) {
       return written([&](auto& o) { put_tokens(o, s, d, p, true); });
     }},
    {"nestasm/translation", "experimental", R"({"nestasmTranslation":true})",
     [](server&, doc& d, const json&) { return written([&](auto& o) { put_translation(o, d); }); }},
    {"textDocument/onTypeFormatting", "documentOnTypeFormattingProvider",
     R"({"firstTriggerCharacter":"\n"})",
     [](server& s, doc& d, const json& p) {
       pos at;
       const json& ch = get(p, "ch");
       if (!read_at(s, d, p, at) || !ch.is_string()) return bad_position();
       return written([&](auto& o) { put_on_type(o, s, d, at, ch.get_ref<const std::string&>()); });
     }},
    {"textDocument/formatting", "documentFormattingProvider", "true",
     [](server& s, doc& d, const json&) {
       return written([&](auto& o) { put_formatting(o, s, d, 0, line_count(d) - 1); });
     }},
    {"textDocument/rangeFormatting", "documentRangeFormattingProvider", "true",
     [](server& s, doc& d, const json& p) {
       int64_t first = 0, last = 0;
       if (!selected_lines(s, d, get(p, "range"), first, last))
         return error(invalid_params, "range is missing or wrong");
       return written([&](auto& o) { put_formatting(o, s, d, first, last); });
     }},
};

std::span<const feature> feature_table() { return features; }
