// Labels, false jumps, block closing and the statement handlers, driven one line at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codegen/codegen.h"
#include "cond/cond.h"
#include "out/out.h"

// Start as a new process would.
static void fresh() {
  reset_codegen();
  out_thing.clear();
}

TEST(MakeLbl, OneCounterForEveryRole) {
  fresh();
  EXPECT_EQ(make_lbl(), 0);
  EXPECT_EQ(make_lbl(), 1);
  lbl_n = 9;
  EXPECT_EQ(make_lbl(), 9);
  EXPECT_EQ(make_lbl(), 10);
  EXPECT_EQ(lbl_n, 11);
}

// The text of a label as a line names it, from put_lbl's 32 bytes of room.
static std::string lbl_text(role r, int64_t n) {
  char room[64];
  std::memset(room, '#', sizeof room);
  char* e = put_lbl(room, r, n);
  EXPECT_LE(e - room, 32) << n;
  return std::string(room, static_cast<size_t>(e - room));
}

TEST(PutLbl, EachRolesPrefixAndTheNumberInDecimal) {
  const struct {
    role r;
    int64_t n;
    std::string_view want;
  } cases[] = {
      {role::if_else, 0, ".if_else_0"},
      {role::if_end, 3, ".if_end_3"},
      {role::while_head, 9, ".while_head_9"},
      {role::while_end, 10, ".while_end_10"},
      // Either side of the eight digits written as one word, and the longest label of all.
      {role::if_else, 99999999, ".if_else_99999999"},
      {role::if_else, 100000000, ".if_else_100000000"},
      {role::if_end, 12345678901, ".if_end_12345678901"},
      {role::while_head, INT64_MAX, ".while_head_9223372036854775807"},
  };
  for (const auto& c : cases) EXPECT_EQ(lbl_text(c.r, c.n), c.want) << c.n;
}

TEST(PutLbl, NumbersAcrossEveryCarry) {
  // Every number around each power of ten, as the standard conversion writes it.
  for (int64_t p = 1; p <= INT64_MAX / 10; p *= 10)
    for (int64_t n = std::max<int64_t>(0, p - 3); n <= p + 3; ++n)
      for (role r : {role::if_else, role::if_end, role::while_head, role::while_end}) {
        const std::string got = lbl_text(r, n);
        ASSERT_EQ(got.substr(got.rfind('_') + 1), std::to_string(n)) << got;
      }
  for (int64_t n = 0; n < 200000; ++n)
    ASSERT_EQ(lbl_text(role::if_end, n), ".if_end_" + std::to_string(n));
}

TEST(Jmpfalse, JumpTakenWhenTheConditionFails) {
  // Each operator text through the lookup the handlers fall back on; a text with no record gives
  // none, and "jne".
  const struct {
    std::string op;
    bool unsig;
    std::string want;
  } cases[] = {
      {"==", false, "jne"}, {"!=", false, "je"},   {">=", false, "jl"},  {"<=", false, "jg"},
      {">", false, "jle"},  {"<", false, "jge"},   {"UGT", true, "jbe"}, {"UGE", true, "jb"},
      {"ULT", true, "jae"}, {"ULE", true, "ja"},   {"UGT", false, "jne"}, {"==", true, "jne"},
      {"<", true, "jne"},   {"ugt", true, "jne"},  {"ugt", false, "jne"}, {"", false, "jne"},
      {"", true, "jne"},    {"=", false, "jne"},   {"UGX", true, "jne"}, {"UG", true, "jne"},
      {"ULTE", true, "jne"}, {"XGT", true, "jne"}, {"=>", false, "jne"}, {"!!", false, "jne"},
      {">==", false, "jne"}, {"<>", false, "jne"},  {"!", false, "jne"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(jmpfalse(op_find(c.op), c.unsig), c.want) << c.op << c.unsig;
}

// A while-block's head label is written through the member the closing code reads: a constant
// evaluation refuses to read the other member of the union.
static_assert(make_bx(while_blk, 0, 5, 6).head_lbl == 5);
static_assert(make_bx(if_blk, 0, 5, 6).else_lbl == 5);

TEST(CloseTil, ClosesInnermostFirstDownToTheDepth) {
  fresh();
  // kind, depth, else or head label, end label
  const auto blk = make_bx;
  stk.push_back(blk(if_blk, 0, 0, 1));
  stk.push_back(blk(while_blk, 0, 2, 3));
  stk.push_back(blk(else_blk, 2, 0, 5));
  close_til(3);
  EXPECT_EQ(out_thing.view(), "");
  close_til(1);
  EXPECT_EQ(out_thing.view(), ".if_end_5:\n");
  close_til(0);
  EXPECT_EQ(out_thing.view(), ".if_end_5:\njmp .while_head_2\n.while_end_3:\n.if_else_0:\n.if_end_1:\n");
  EXPECT_TRUE(stk.empty());
  const std::string all(out_thing.view());
  close_til(0);  // nothing left to close
  EXPECT_EQ(out_thing.view(), all);
}

// Call the handler of one statement written as "& & keyword argument": leading "&" give the
// depth, the first word names the handler. The fixtures are all in this plain form.
static int64_t depth_of(std::string_view l) {
  int64_t d = 0;
  for (char c : l) {
    if (c != '&' && c != ' ') break;
    d += c == '&';
  }
  return d;
}

static int call(std::string_view l) {
  const int64_t depth = depth_of(l);
  l.remove_prefix(std::min(l.find_first_not_of("& "), l.size()));
  const size_t sp = std::min(l.find(' '), l.size());
  const std::string_view kw = l.substr(0, sp);
  const std::string_view arg = sp < l.size() ? l.substr(sp + 1) : std::string_view();
  if (kw == "if") return do_if(depth, arg);
  if (kw == "elif") return do_elif(depth, arg);
  if (kw == "else") return do_else(depth, arg);
  if (kw == "while") return do_while(depth, arg);
  if (kw == "end") return do_end(depth, arg);
  ADD_FAILURE() << "no statement in fixture: " << l;
  return -1;
}

// One statement per call, in order, each closing what is deeper first as a line would; the
// result is the output so far and the last status.
static std::pair<std::string, int> run(std::initializer_list<std::string_view> lines) {
  fresh();
  int st = 0;
  for (std::string_view l : lines) {
    close_til(depth_of(l) + 1);
    if ((st = call(l)) != 0) break;
  }
  return {std::string(out_thing.view()), st};
}

TEST(Handlers, StatementErrorsInTheOrderTheyAreTested) {
  const struct {
    std::initializer_list<std::string_view> lines;
    int status;
  } cases[] = {
      {{"if"}, 3},
      {{"if eax ugt 5"}, 3},
      {{"if 5 == eax"}, 4},
      {{"if 'a' == al"}, 4},
      {{"if 97 == 'a'"}, 4},
      {{"if 99999999999999999999 == 1"}, 12},
      {{"if 1 == 0x8000000000000000"}, 12},
      {{"elif eax == 1"}, 5},
      {{"elif"}, 5},  // the block test comes before the parse
      {{"while ecx != 0", "elif eax == 1"}, 5},
      {{"if eax == 1", "else", "elif eax == 2"}, 5},
      {{"if eax == 1", "& elif eax == 2"}, 5},
      {{"if eax == 1", "elif"}, 6},
      {{"if eax == 1", "elif 1 == eax"}, 7},
      {{"if eax == 1", "elif 1 == 99999999999999999999"}, 12},
      {{"else"}, 8},
      {{"if eax == 1", "else", "else"}, 8},
      {{"while ecx != 0", "else"}, 8},
      {{"if eax == 1", "& else"}, 8},
      {{"while"}, 9},
      {{"while 0 ULT ecx"}, 10},
      {{"while 0x8000000000000000 ULT 1"}, 12},
      {{"end"}, 11},
      {{"if eax == 1", "& end"}, 11},
      {{"if eax == 1", "end", "end"}, 11},
      {{"if eax == 99999999999999999999"}, 0},  // not constant, so no number is converted
      {{"if 1 == 2", "elif 3 == 3", "else", "end"}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.lines).second, c.status) << *c.lines.begin() << " ... " << c.lines.size();
  }
}

TEST(Handlers, CompareLineAndFalseJump) {
  const struct {
    std::string_view line;
    std::string want;
  } cases[] = {
      {"if al == 'A'", "cmp al, 'A'\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      {"if EAX == EBX", "cmp eax, EBX\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      {"if eax == 1 ; note", "cmp eax, 1 ; note\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      {"if [EBX+4] ULE dword [ECX]",
       "cmp [ebx+4], dword [ECX]\nja .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      {"if 2 == 2", ".if_else_0:\n.if_end_1:\n"},
      {"if 1 == 2", "jmp .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      {"while 1 == 1", ".while_head_0:\njmp .while_head_0\n.while_end_1:\n"},
      {"while 1 == 2", ".while_head_0:\njmp .while_end_1\njmp .while_head_0\n.while_end_1:\n"},
      {"while ecx ULT 10", ".while_head_0:\ncmp ecx, 10\njae .while_end_1\njmp .while_head_0\n"
                           ".while_end_1:\n"},
  };
  for (const auto& c : cases) {
    fresh();
    ASSERT_EQ(call(c.line), 0) << c.line;
    close_til(0);
    EXPECT_EQ(out_thing.view(), c.want) << c.line;
  }
}

TEST(Handlers, ChainOfIfElifElifElseTakesFourNumbersAndOneEnd) {
  auto [out, st] = run({"if eax == 1", "elif eax == 2", "elif 3 == 4", "else", "end", "if ebx == 0"});
  EXPECT_EQ(st, 0);
  EXPECT_EQ(out,
            "cmp eax, 1\njne .if_else_0\n"
            "jmp .if_end_1\n.if_else_0:\ncmp eax, 2\njne .if_else_2\n"
            "jmp .if_end_1\n.if_else_2:\njmp .if_else_3\n"
            "jmp .if_end_1\n.if_else_3:\n"
            ".if_end_1:\n"
            "cmp ebx, 0\njne .if_else_4\n");
}
