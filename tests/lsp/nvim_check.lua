-- Run inside Neovim with editors/nvim/nestasm.lua on classify.s whose `& else` lost its marker:
-- the diagnostic and the folds as the editor holds them, NASM's colours, the translation to the
-- side and where it stopped, lines a level deeper and shallower, a block typed with Enter (the
-- server writes its markers) and what its ends close, shown at their ends. Ends Neovim with status
-- 0 or 1.
local function done(msg)
  io.stdout:write(msg .. '\n')
  vim.cmd(msg:match('^ok') and 'qall!' or 'cquit!')
end
local buf = vim.api.nvim_get_current_buf()
if vim.bo.filetype ~= 'nestasm' then return done('FAIL: filetype ' .. vim.bo.filetype) end
if not vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end, 20) then
  return done('FAIL: no diagnostics')
end
local d = vim.diagnostic.get(buf)
local got = {}
for _, x in ipairs(d) do
  local rel = x.user_data and x.user_data.lsp and x.user_data.lsp.relatedInformation or {}
  table.insert(got, string.format('%d:%d %s %s %s related %d', x.lnum + 1, x.col + 1, x.severity,
                                  x.source, x.code, rel[1] and rel[1].location.range.start.line + 1 or 0))
end
local want = '31:1 1 nestasm status 8 related 15'
if table.concat(got, '; ') ~= want then return done('FAIL: diagnostics ' .. table.concat(got, '; ')) end
if not d[1].message:match('^else bad') then return done('FAIL: message ' .. d[1].message) end
-- The loop is open until the else stops the translation; the if-block's seven branches fold,
-- the last closed by that else, and so does the chain of them, one level above them.
if not vim.wait(10000, function() return vim.fn.foldlevel(15) > 0 end, 20) then
  return done('FAIL: no folds')
end
local levels = {}
for l = 14, 32 do table.insert(levels, vim.fn.foldlevel(l)) end
-- Each branch is a fold of its own: closing the one at line 19 hides lines 19 and 20.
vim.api.nvim_win_set_cursor(0, { 19, 0 })
vim.cmd('normal! zc')
local lv = table.concat(levels, '')
local branch = vim.fn.foldclosed(19) .. '-' .. vim.fn.foldclosedend(19)
if lv ~= '0113333333333333300' or branch ~= '19-20' then
  return done('FAIL: fold levels ' .. lv .. ', the fold at line 19 ' .. branch)
end
-- NASM's syntax colours the assembly, the markers and statement words have groups of their own.
local function group(l, c) return vim.fn.synIDattr(vim.fn.synID(l, c, 1), 'name') end
local groups = table.concat({ group(12, 9), group(12, 13), group(15, 1), group(16, 1), group(16, 3) }, ' ')
if groups ~= 'nasmStdInstruction nasmGen64Register nestasmStatement nestasmMarker nasmStdInstruction' then
  return done('FAIL: syntax groups ' .. groups)
end
-- :NestasmTranslation: a split beside the source, read-only, holding what the translation made
-- before the else that stops it, the first 51 lines of nestasm's output of the shipped file,
-- under a first line that says where it stopped and why.
vim.cmd('NestasmTranslation')
local function preview()
  for _, w in ipairs(vim.api.nvim_tabpage_list_wins(0)) do
    if vim.api.nvim_win_get_buf(w) ~= buf then return vim.api.nvim_win_get_buf(w) end
  end
end
if not vim.wait(10000, function()
  return preview() and vim.api.nvim_buf_line_count(preview()) > 1
end, 20) then
  return done('FAIL: no translation in a split')
end
local flat = vim.fn.readfile('shipped/classify.asm')
local shown = vim.api.nvim_buf_get_lines(preview(), 0, -1, true)
if #vim.api.nvim_tabpage_list_wins(0) ~= 2 or vim.api.nvim_get_current_buf() ~= buf or
    vim.bo[preview()].modifiable or #shown ~= 52 or
    shown[1] ~= '; translation stopped at line 31: else bad' or
    table.concat(shown, '\n', 2) ~= table.concat(vim.list_slice(flat, 1, 51), '\n') then
  return done('FAIL: the translation shown, ' .. #shown .. ' lines: ' .. table.concat(shown, '|'))
end
-- The cursor on line 17, the if, lights up its two output lines, one below the stop line.
vim.api.nvim_win_set_cursor(0, { 17, 0 })
vim.cmd('doautocmd CursorMoved')
local lit = {}
for _, m in ipairs(vim.api.nvim_buf_get_extmarks(preview(), vim.api.nvim_create_namespace('nestasm_preview'), 0, -1, {})) do table.insert(lit, m[2] + 1) end
local lit_want = table.concat({ vim.fn.index(flat, "cmp al, ' '") + 2, vim.fn.index(flat, "cmp al, ' '") + 3 }, ' ')
if table.concat(lit, ' ') ~= lit_want then
  return done('FAIL: line 17 lights up preview lines ' .. table.concat(lit, ' ') .. ', not ' .. lit_want)
end
vim.cmd('only')

-- \] and \[: the line under the cursor, or the lines selected, a marker deeper or shallower.
local function keys(k)
  vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes(k, true, false, true), 'x', false)
end
local function lines(a, b)
  return table.concat(vim.api.nvim_buf_get_lines(buf, a - 1, b, true), '|')
end
local function changed(a, b, want)
  return vim.wait(5000, function() return lines(a, b) == want end, 20) or
         done('FAIL: lines ' .. lines(a, b))
end
vim.api.nvim_win_set_cursor(0, { 34, 0 })
keys('\\]')
if changed(34, 34, '& & mov [rdi], dl') ~= true then return end
keys('Vj\\[')
if changed(34, 35, '& mov [rdi], dl|inc rdi') ~= true then return end
vim.api.nvim_buf_set_lines(buf, 33, 35, true, { '& mov [rdi], dl', '& inc rdi' })

-- A block typed at the end of the file with Enter (and o): the user types no marker at all; the
-- server writes them, so the else gets its marker back first.
vim.api.nvim_buf_set_lines(buf, 30, 31, true, { '& else' })
local last = vim.api.nvim_buf_line_count(buf)
vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes('Gowhile ecx != 0<CR>inc eax<CR>IF eax == 3<Esc>' ..
  'odec ecx<CR>elif eax == 4<CR>inc edx<CR>&\tend<CR>inc ecx<CR><CR>end<CR>nop<Esc>', true, false, true), 'x', false)
local typed = table.concat(vim.api.nvim_buf_get_lines(buf, last, -1, true), '|')
local want = 'while ecx != 0|& inc eax|& IF eax == 3|& & dec ecx|& elif eax == 4|& & inc edx|& \tend|& inc ecx|& |end|nop'
if typed ~= want then return done('FAIL: typed ' .. typed) end
-- What the end and the last end close, at the end of their lines; only those lines of the block.
local function hints()
  local got = {}
  for _, m in ipairs(vim.api.nvim_buf_get_extmarks(buf, vim.api.nvim_create_namespace('nestasm_hints'),
                                                   { last, 0 }, -1, { details = true })) do
    table.insert(got, (m[2] - last + 1) .. ' ' .. m[4].virt_text[1][1] .. ' ' .. m[4].virt_text[1][2])
  end
  return table.concat(got, '; ')
end
local hints_want = '7 closes IF eax == 3 (line 51) NestasmHint; 10 closes while ecx != 0 (line 49) NestasmHint'
if not vim.wait(5000, function() return hints() == hints_want end, 20) then
  return done('FAIL: hints ' .. hints())
end
vim.cmd('NestasmHints off')
if #vim.api.nvim_buf_get_extmarks(buf, vim.api.nvim_create_namespace('nestasm_hints'), 0, -1, {}) ~= 0 then
  return done('FAIL: hints left on after :NestasmHints off')
end
done('ok: diagnostics, folds, colours, translation, levels, markers typed and hints in Neovim 0.' ..
     tostring(vim.version().minor))
