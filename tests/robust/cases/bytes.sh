# NUL and bytes above 0x7F are ordinary bytes: not blanks, not digits, not letters to lower.
# Each input line (printf format), then what it gives; blocks still open close at the end.
pairs=(
  'mov e\000ax, 1'            'mov e\000ax, 1'
  '\377\376 plain \200  '     '\377\376 plain \200'
  '\240 nbsp\240'             '\240 nbsp\240'
  'if \311AX == \000'         'cmp \311ax, \000\njne .if_else_0'
  '& while \377\377 UGT 1\000' '.while_head_2:\ncmp \377\377, 1\000\njbe .while_end_3'
  '& & \000'                  '\000'
  '& end\000'                 'end\000'
  '&\000& nop'                '\000& nop'
  '& end \000'                'jmp .while_head_2\n.while_end_3:'
  'IF\240eax == 1'            'IF\240eax == 1'
  'if 5\000 == 5'             'cmp 5\000, 5\njne .if_else_4'
  'end'                       '.if_else_4:\n.if_end_5:'
  '\000if eax == 1'           '\000if eax == 1\n.if_else_0:\n.if_end_1:'
)
: >in.s
: >want
for ((i = 0; i < ${#pairs[@]}; i += 2)); do
  printf "${pairs[i]}\n" >>in.s
  printf "${pairs[i + 1]}\n" >>want
done
run in.s
want_status 0
want_noerr
same in.asm want "output file"
same "$out" want stdout
# A NUL ends no operand: "5\0" is no number, so this is no constant condition.
printf 'if 5 == 5\000\n' >nul.s
run nul.s
want_fail 4
[ ! -e nul.asm ] || fail "nul.asm written by a failed run"
