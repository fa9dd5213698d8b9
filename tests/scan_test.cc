// The line scanner over whole texts: markers, blank and comment lines, keywords, line ends.
#include <gtest/gtest.h>

#include "codegen/codegen.h"
#include "out/out.h"
#include "scan/scan.h"

// Translate `text` as a whole input; the output, or "status N" after a statement error.
static std::string tr(std::string_view text) {
  restart();
  file_lines = text;
  int st = translate_all();
  return st ? "status " + std::to_string(st) : std::string(out_thing.view());
}

TEST(Scanner, MarkersCountOnlyAmpersandsBeforeTheFirstOtherByte) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      // Depth 2 in three spellings; an "& end" closes a depth-2 block by depth and then finds
      // nothing left at depth 1.
      {"&&if eax == 1\n& end\n", "status 11"},
      {"if eax == 0\n& & if eax == 1\n& & end\nend\n",
       "cmp eax, 0\njne .if_else_0\ncmp eax, 1\njne .if_else_2\n.if_else_2:\n.if_end_3:\n"
       ".if_else_0:\n.if_end_1:\n"},
      {" &  & if eax == 1\n& & end\n", "cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      // A tab ends the prefix: what follows is plain text, "&" included.
      {"\t&if eax == 1\n", "&if eax == 1\n"},
      {"&\tmov eax, 1\n", "mov eax, 1\n"},
      {"    mov   eax,  1   \n", "mov   eax,  1\n"},
      {"&&\n", "&&\n"},
      {"  ; note  \n&& ; note\n\n", "  ; note  \n&& ; note\n\n"},
      {"mov eax, 1 ; note\n", "mov eax, 1 ; note\n"},
      {"if(eax==1)\nendif\niff\nwhilex\n", "if(eax==1)\nendif\niff\nwhilex\n"},
      {"IF EAX == 1\nEND\n", "cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"},
      {"While Ecx != Edx\nEnd ; loop\n",
       ".while_head_0:\ncmp ecx, Edx\nje .while_end_1\njmp .while_head_0\n.while_end_1:\n"},
      {"if eax == 1\nelse if eax == 2\nend whatever\n",
       "cmp eax, 1\njne .if_else_0\njmp .if_end_1\n.if_else_0:\n.if_end_1:\n"},
      {"if\tEAX\t==\t1\n", "cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(tr(c.in), c.out) << c.in;
}

TEST(Scanner, EveryLineClosesTheBlocksDeeperThanItself) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      // A blank line closes the depth-1 block and leaves the depth-0 one open.
      {"if eax == 1\n& if ebx == 2\n\n",
       "cmp eax, 1\njne .if_else_0\ncmp ebx, 2\njne .if_else_2\n.if_else_2:\n.if_end_3:\n\n"
       ".if_else_0:\n.if_end_1:\n"},
      // A comment closes it too, before the comment is copied.
      {"& while ecx != 0\n; c\n",
       ".while_head_0:\ncmp ecx, 0\nje .while_end_1\njmp .while_head_0\n.while_end_1:\n; c\n"},
      // A line at the block's own depth stays inside it.
      {"& if eax == 1\n& inc ebx\n& end\n",
       "cmp eax, 1\njne .if_else_0\ninc ebx\n.if_else_0:\n.if_end_1:\n"},
      // Two nested blocks closed by one line: inner first.
      {"&while ecx UGT 0\n&&if eax == 5\n&&&inc ebx\n&dec ecx\nret\n",
       ".while_head_0:\ncmp ecx, 0\njbe .while_end_1\ncmp eax, 5\njne .if_else_2\ninc ebx\n"
       ".if_else_2:\n.if_end_3:\ndec ecx\njmp .while_head_0\n.while_end_1:\nret\n"},
      // An if at the depth of the block before it nests inside that block.
      {"if eax == 1\nif ebx == 2\n",
       "cmp eax, 1\njne .if_else_0\ncmp ebx, 2\njne .if_else_2\n.if_else_2:\n.if_end_3:\n"
       ".if_else_0:\n.if_end_1:\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(tr(c.in), c.out) << c.in;
}

TEST(Scanner, LineEnds) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      {"", ""},
      {"\n", "\n"},
      {"nop", "nop\n"},
      {"nop\n\n", "nop\n\n"},
      {"; a\r\n; b\r\n", "; a\n; b\n"},
      {"; a\r", "; a\n"},
      {"; a\r\r\n", "; a\r\n"},  // only one carriage return belongs to the line end
      {"; a\rb\n", "; a\rb\n"},  // one inside a line is an ordinary byte
      {"\r", "\n"},
      {std::string_view("mov al, 0\0x\n", 12), std::string_view("mov al, 0\0x\n", 12)},
  };
  for (const auto& c : cases) EXPECT_EQ(tr(c.in), c.out) << c.in;
}

TEST(Scanner, RestartGivesTheSameResultTwice) {
  const std::string_view in = "while ecx != 0\n& if EAX > 7\n& & inc ebx\nend\n";
  const std::string first = tr(in);
  EXPECT_EQ(tr(in), first);
  EXPECT_EQ(first,
            ".while_head_0:\ncmp ecx, 0\nje .while_end_1\ncmp eax, 7\njle .if_else_2\ninc ebx\n"
            ".if_else_2:\n.if_end_3:\njmp .while_head_0\n.while_end_1:\n");
}

TEST(Scanner, PlainLinesOfEveryLengthAnywhereInTheText) {
  // Lines are copied in blocks that may reach past their end, and past the end of the text
  // only never: every length around the block size, at every distance from the end.
  for (size_t len = 0; len <= 70; ++len) {
    for (size_t tail = 0; tail <= 40; ++tail) {
      std::string body;
      for (size_t i = 0; i < len; ++i) body += static_cast<char>('a' + (i * 7 + len) % 26);
      if (len > 0) body[0] = 'm';  // no keyword, whatever the length
      const std::string filler(tail, 'x');
      std::string in = "& " + body + "\n" + filler;
      // A line of markers only is blank, and passes through with its markers.
      std::string want = (len ? body : "& ") + "\n" + (tail ? filler + "\n" : "");
      ASSERT_EQ(tr(in), want) << "len " << len << " tail " << tail;
      // The same line at depth 0 and as a comment, which passes through whole.
      in = body + "\n; " + filler;
      want = body + "\n; " + filler + "\n";
      ASSERT_EQ(tr(in), want) << "len " << len << " tail " << tail;
    }
  }
}

// Lines are taken apart in one pass when they end within 32 bytes and the text goes on for 64;
// each case runs alone (the lines nearest the end never go that way) and followed by a comment
// that lets every line of it go that way. All blocks are closed, so the comment comes last.
TEST(Scanner, ShortLinesFarFromTheEndTranslateAsAnyOther) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      {"    mov   eax,  1   \n", "mov   eax,  1\n"},
      {"&\tmov eax, 1\nnop\v\f\n", "mov eax, 1\nnop\n"},
      {"\t&if eax == 1\n", "&if eax == 1\n"},
      {"&& ; note  \r\n  \r\n\n&&\n", "&& ; note  \n  \n\n&&\n"},
      {"mov eax, 1\r\n", "mov eax, 1\n"},
      // Just within the window (31 bytes before the line end) and just beyond it.
      {"mov eax, 0123456789012345678\n", "mov eax, 0123456789012345678\n"},
      {"mov eax, 01234567890123456789\n", "mov eax, 01234567890123456789\n"},
      {"  mov eax, 0123456789012345678   \n", "mov eax, 0123456789012345678\n"},
      // The first two bytes may begin a keyword; the word then decides.
      {"in al, dx\niff\nendless\nElsewhere:\nwhilex\ni\ne\nw\nif(eax==1)\n",
       "in al, dx\niff\nendless\nElsewhere:\nwhilex\ni\ne\nw\nif(eax==1)\n"},
      {"IF eax == 1\n& inc ebx\nEnd\n", "cmp eax, 1\njne .if_else_0\ninc ebx\n.if_else_0:\n.if_end_1:\n"},
      {"eLse\r\n", "status 8"},
      // A plain line, a blank line and a comment each close the blocks deeper than they are.
      {"if eax == 1\n& if ebx == 2\n& & nop\n; c\nend\n",
       "cmp eax, 1\njne .if_else_0\ncmp ebx, 2\njne .if_else_2\nnop\n.if_else_2:\n.if_end_3:\n; c\n"
       ".if_else_0:\n.if_end_1:\n"},
      {"& while ecx != 0\n& & nop\n\nnop\n",
       ".while_head_0:\ncmp ecx, 0\nje .while_end_1\nnop\njmp .while_head_0\n.while_end_1:\n\nnop\n"},
      {"& if eax == 1\n& & nop\ninc eax\n",
       "cmp eax, 1\njne .if_else_0\nnop\n.if_else_0:\n.if_end_1:\ninc eax\n"},
      {std::string_view("mov al, '\0'\n", 12), std::string_view("mov al, '\0'\n", 12)},
  };
  const std::string pad = std::string(40, '&') + " ; " + std::string(40, 'p') + "\n";
  for (const auto& c : cases) {
    EXPECT_EQ(tr(c.in), c.out) << c.in;
    const std::string out(c.out);
    EXPECT_EQ(tr(std::string(c.in) + pad), out.starts_with("status") ? out : out + pad) << c.in;
  }
}

// What the line loop tells an observer: each block opened, branched and closed, with the line
// and the way, and where the translation stops. One event a word: o(pen) b(ranch) c(lose) s(top),
// then the line (1-based); a close ends in how: e(nd) l(ine) b(lank) c(omment) i(nput end).
static std::string events(std::string_view text) {
  restart();
  file_lines = text;
  std::string got;
  const watcher w = [](const blk_event& e, void* ctx) {
    std::string& g = *static_cast<std::string*>(ctx);
    if (!g.empty()) g += ' ';
    g += "obcs"[static_cast<int>(e.what)];
    g += std::to_string(e.line + 1);
    if (e.what == ev::closed) g += "elbci"[static_cast<int>(e.how)];
    if (e.what == ev::stopped) g += "=" + std::to_string(e.status);
  };
  size_t pos = 0;
  for (lnum = 0; pos < file_lines.size(); ++lnum) {
    const std::string_view line = next_line(pos);
    if (translate_line(line, scan_line(line), w, &got)) return got;
  }
  finish_input(w, &got);
  return got;
}

TEST(Scanner, TellsTheObserverWhatEachLineDoesToTheBlocks) {
  const struct {
    std::string_view in, want;
  } cases[] = {
      {"if a == 1\nelif a == 2\nelse\nend\n", "o1 b2 b3 c4e"},
      {"while a != 0\n& if b == 1\nnop\nend\n", "o1 o2 c3l c4e"},
      {"if a == 1\n& if b == 1\n\n& if c == 1\n;\n", "o1 o2 c3b o4 c5c c6i"},
      {"& if a == 1\n& & while b == 1\n", "o1 o2 c3i c3i"},
      {"if a == 1\n& nop\n& end\n", "o1 s3=11"},
      {"if 1 == 1\nelif\n", "o1 s2=6"},
      {"end\n", "s1=11"},
      // Lines cut out of a text that goes on for 32 bytes and more after them.
      {"while a != 0\r\n& mov eax, [ebx + ecx * 4 + 0x10] ; one\r\n\r\nif b == 1\r\nend ; of it\n",
       "o1 o4 c5e c6i"},
  };
  for (const auto& c : cases) EXPECT_EQ(events(c.in), c.want) << c.in;
}

// A translation put aside at every line while another whole one runs, then put back, makes the
// output it makes alone: no part of the core's state is left out of set_aside.
TEST(Scanner, ATranslationPutAsideGoesOnAsIfNoneHadRun) {
  const std::string_view in =
      "while ecx != 0\n& if EAX > 7\n& & inc ebx\n& elif eax == 1\n& & dec ebx\n& else\n"
      "& & nop\nend\nif edx UGE 3\n& while esi < 2\n& & inc esi\n";
  const std::string_view other = "if eax == 1\n& while ebx != 2\n& & inc ebx\n& if ecx > 9\n";
  const std::string alone = tr(in);
  const std::string other_alone = tr(other);
  for (int64_t stop = 0; stop <= 11; ++stop) {
    restart();
    file_lines = in;
    size_t pos = 0;
    for (lnum = 0; pos < file_lines.size(); ++lnum) {
      if (lnum == stop) {
        translation_state s = set_aside();
        EXPECT_TRUE(stk.empty() && lbl_n == 0 && out_thing.view().empty()) << stop;
        EXPECT_EQ(tr(other), other_alone) << stop;
        put_back(std::move(s));
      }
      const std::string_view line = next_line(pos);
      ASSERT_EQ(translate_line(line, scan_line(line), nullptr, nullptr), 0);
    }
    finish_input(nullptr, nullptr);
    EXPECT_EQ(out_thing.view(), alone) << "put aside before line " << stop + 1;
  }
}

// Any text is cut into lines as the input is: at "\n", without one "\r" before it or at the end.
TEST(Scanner, NextLineOverAnyTextCutsAsTheInputIsCut) {
  const struct {
    std::string_view text;
    std::string_view lines;  // each line followed by "|"
  } cases[] = {
      {"a\nb", "a|b|"},           {"a\r\nb\r\n", "a|b|"}, {"a\rb\n", "a\rb|"},
      {"a\r", "a|"},              {"\n\n", "||"},         {"x\r\r\n", "x\r|"},
      {"", ""},                   {std::string_view("a\0b\n", 4), std::string_view("a\0b|", 4)},
  };
  for (const auto& c : cases) {
    std::string got;
    for (size_t pos = 0; pos < c.text.size();) (got += next_line(c.text, pos)) += '|';
    EXPECT_EQ(got, c.lines) << c.text;
  }
}
