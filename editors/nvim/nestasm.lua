-- nestasm in Neovim 0.7 or later: nestasm-lsp for buffers of filetype nestasm, NASM's colours,
-- the markers the server writes on Enter, what each end closes, and the folds of the blocks. Source it from init.lua (dofile),
-- or copy it there.

-- Which files are nestasm sources is yours to say (*.s is also GNU as): name them here.
vim.cmd('autocmd BufRead,BufNewFile *.s set filetype=nestasm')

-- Fold levels by buffer and line, from the server's folding ranges.
local levels = {}
function _G.nestasm_fold(lnum)
  local l = levels[vim.api.nvim_get_current_buf()]
  return l and l[lnum] or '0'
end

local function refresh_folds(client, bufnr)
  local params = { textDocument = vim.lsp.util.make_text_document_params(bufnr) }
  client.request('textDocument/foldingRange', params, function(err, ranges)
    if err or not ranges then return end
    local depth, t = {}, {}
    for _, r in ipairs(ranges) do
      for l = r.startLine + 1, r.endLine + 1 do depth[l] = (depth[l] or 0) + 1 end
    end
    for l, d in pairs(depth) do t[l] = tostring(d) end
    for _, r in ipairs(ranges) do t[r.startLine + 1] = '>' .. depth[r.startLine + 1] end
    levels[bufnr] = t
    for _, win in ipairs(vim.fn.win_findbuf(bufnr)) do
      vim.api.nvim_win_call(win, function() vim.wo.foldmethod = 'expr' end)
    end
  end, bufnr)
end

-- The translation beside the source: a read-only split per source buffer that follows its
-- edits (asked again after each check the server publishes) and its cursor.
local previews = {}  -- source buffer -> { buf = preview buffer, starts = the answer's starts }

local function show_lines(src)
  local p = previews[src]
  if not p or not p.starts then return end
  local row = vim.api.nvim_win_get_cursor(0)[1]
  local from, to = p.starts[row], p.starts[row + 1]
  if not from then return end
  from, to = from + p.head, to and to + p.head
  vim.api.nvim_buf_clear_namespace(p.buf, p.ns, 0, -1)
  for l = from, (to or from) - 1 do
    vim.api.nvim_buf_add_highlight(p.buf, p.ns, 'Visual', l, 0, -1)
  end
  for _, win in ipairs(vim.fn.win_findbuf(p.buf)) do
    vim.api.nvim_win_set_cursor(win, { math.min(from + 1, vim.api.nvim_buf_line_count(p.buf)), 0 })
  end
end

local function refresh_preview(client, src)
  local p = previews[src]
  if not p or not vim.api.nvim_buf_is_valid(p.buf) then previews[src] = nil return end
  local params = { textDocument = vim.lsp.util.make_text_document_params(src) }
  client.request('nestasm/translation', params, function(err, answer)
    if err or not answer or not vim.api.nvim_buf_is_valid(p.buf) then return end
    local lines = vim.split(answer.text, '\n', { plain = true })
    if lines[#lines] == '' then table.remove(lines) end
    -- Stopped at a statement error, the text is what came before it: the first line says so.
    p.head = 0
    if answer.stopped then
      table.insert(lines, 1, string.format('; translation stopped at line %d%s', answer.stopped + 1,
                                           answer.message and ': ' .. answer.message or ''))
      p.head = 1
    end
    vim.bo[p.buf].modifiable = true
    vim.api.nvim_buf_set_lines(p.buf, 0, -1, false, lines)
    vim.bo[p.buf].modifiable = false
    p.starts = answer.starts
    if vim.api.nvim_get_current_buf() == src then show_lines(src) end
  end, src)
end

function _G.nestasm_translation()
  local src = vim.api.nvim_get_current_buf()
  local p = previews[src]
  if not p or not vim.api.nvim_buf_is_valid(p.buf) then
    p = { buf = vim.api.nvim_create_buf(false, true), ns = vim.api.nvim_create_namespace('nestasm_preview'), head = 0 }
    previews[src] = p
    vim.bo[p.buf].filetype = 'nasm'
    vim.api.nvim_buf_set_name(p.buf, vim.api.nvim_buf_get_name(src):gsub('%.[^./]*$', '') .. '.asm [translation]')
  end
  local here = vim.api.nvim_get_current_win()
  vim.cmd('vertical sbuffer ' .. p.buf)
  vim.api.nvim_set_current_win(here)
  for _, client in pairs(vim.lsp.buf_get_clients(src)) do
    if client.name == 'nestasm' then refresh_preview(client, src) end
  end
end
vim.cmd('command! NestasmTranslation lua _G.nestasm_translation()')

-- Lines `first` to `last` (from 1) one level deeper or shallower: the server's code action of
-- that kind, applied at once. (vim.lsp.buf.code_action can filter and apply only from 0.8 on.)
local function shift(kind, first, last)
  local params = { textDocument = vim.lsp.util.make_text_document_params(),
                   range = { start = { line = first - 1, character = 0 },
                             ['end'] = { line = last, character = 0 } },
                   context = { diagnostics = {}, only = { kind } } }
  vim.lsp.buf_request(0, 'textDocument/codeAction', params, function(err, actions, ctx)
    local client = vim.lsp.get_client_by_id(ctx.client_id)
    for _, a in ipairs(not err and actions or {}) do
      if a.kind == kind and a.edit then
        return vim.lsp.util.apply_workspace_edit(a.edit, client.offset_encoding)
      end
    end
  end)
end

local function shift_keys(kind)
  return function()
    -- Out of Visual mode, 'v' is the cursor's line too.
    local first, last = vim.fn.line('v'), vim.fn.line('.')
    shift(kind, math.min(first, last), math.max(first, last))
    if vim.fn.mode() ~= 'n' then
      vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes('<Esc>', true, false, true), 'n', false)
    end
  end
end

-- What each line that closes blocks closes, at its end, from the server's inlay hints (Neovim
-- 0.7 shows none of its own). On unless vim.g.nestasm_inlay_hints is false; :NestasmHints on,
-- off, or with no word the other way.
local hint_ns = vim.api.nvim_create_namespace('nestasm_hints')
local hints_due = {}  -- buffers whose hints are asked for after a short pause

local function refresh_hints(client, buf)
  if vim.g.nestasm_inlay_hints == false then
    return vim.api.nvim_buf_clear_namespace(buf, hint_ns, 0, -1)
  end
  -- A burst of checks while typing asks once, after the last of them.
  if hints_due[buf] then return end
  hints_due[buf] = true
  vim.defer_fn(function()
    hints_due[buf] = nil
    if not vim.api.nvim_buf_is_loaded(buf) then return end
    local params = { textDocument = vim.lsp.util.make_text_document_params(buf),
                     range = { start = { line = 0, character = 0 },
                               ['end'] = { line = vim.api.nvim_buf_line_count(buf), character = 0 } } }
    client.request('textDocument/inlayHint', params, function(err, hints)
      if err or not hints or not vim.api.nvim_buf_is_loaded(buf) then return end
      vim.api.nvim_buf_clear_namespace(buf, hint_ns, 0, -1)
      if vim.g.nestasm_inlay_hints == false then return end
      for _, h in ipairs(hints) do
        local label = h.label
        if type(label) == 'table' then
          local parts = {}
          for _, part in ipairs(label) do table.insert(parts, part.value) end
          label = table.concat(parts)
        end
        -- A reply older than the text may name a line that is gone: that hint is left out.
        pcall(vim.api.nvim_buf_set_extmark, buf, hint_ns, h.position.line, 0,
              { virt_text = { { label, 'NestasmHint' } }, virt_text_pos = 'eol' })
      end
    end, buf)
  end, 100)
end

local function nestasm_client(buf)
  for _, c in pairs(vim.lsp.buf_get_clients(buf)) do
    if c.name == 'nestasm' then return c end
  end
end

function _G.nestasm_hints(word)
  if word == 'on' or word == 'off' then
    vim.g.nestasm_inlay_hints = word == 'on'
  else
    vim.g.nestasm_inlay_hints = vim.g.nestasm_inlay_hints == false
  end
  for _, buf in ipairs(vim.api.nvim_list_bufs()) do
    local client = vim.api.nvim_buf_is_loaded(buf) and nestasm_client(buf)
    if client then refresh_hints(client, buf) end
  end
end
vim.cmd([[command! -nargs=? NestasmHints lua _G.nestasm_hints(<q-args>)]])

-- The server writes the markers as the user types: once one of the characters it names (Enter
-- is one) is in, it is asked what that changes, and its edits are applied before the next key.
-- The cursor keeps its place from the end of its line.
function _G.nestasm_typed(byte)
  local buf, win = vim.api.nvim_get_current_buf(), vim.api.nvim_get_current_win()
  local client = nestasm_client(buf)
  if not client then return end
  local row, col = unpack(vim.api.nvim_win_get_cursor(win))
  local after = #vim.api.nvim_buf_get_lines(buf, row - 1, row, true)[1] - col
  local params = vim.lsp.util.make_position_params(win, client.offset_encoding)
  params.ch = string.char(byte)
  params.options = { tabSize = vim.bo[buf].tabstop, insertSpaces = vim.bo[buf].expandtab }
  local reply = client.request_sync('textDocument/onTypeFormatting', params, 500, buf)
  if not reply or reply.err or type(reply.result) ~= 'table' or #reply.result == 0 then return end
  vim.lsp.util.apply_text_edits(reply.result, buf, client.offset_encoding)
  local now = #vim.api.nvim_buf_get_lines(buf, row - 1, row, true)[1]
  vim.api.nvim_win_set_cursor(win, { row, math.max(now - after, 0) })
end

-- The keys of the server's trigger characters, and o for the Enter that opens a line below.
local key_of = { ['\n'] = '<CR>', [' '] = '<Space>', ['<'] = '<lt>', ['|'] = '<Bar>', ['\\'] = '<Bslash>' }
local function map_triggers(client, buf)
  local cap = client.server_capabilities.documentOnTypeFormattingProvider
  if type(cap) ~= 'table' then return end
  local chars = vim.list_extend({ cap.firstTriggerCharacter }, cap.moreTriggerCharacter or {})
  for _, ch in ipairs(chars) do
    if #ch == 1 then
      local key = key_of[ch] or ch
      local ask = string.format('<Cmd>lua _G.nestasm_typed(%d)<CR>', ch:byte())
      vim.keymap.set('i', key, function()
        -- Enter still accepts a completion from the popup menu.
        if ch == '\n' and vim.fn.pumvisible() == 1 then return '<C-y>' end
        return key .. ask
      end, { buffer = buf, expr = true })
      if ch == '\n' then vim.keymap.set('n', 'o', 'o' .. ask, { buffer = buf }) end
    end
  end
end

local config = {
  name = 'nestasm',
  cmd = { 'nestasm-lsp' },
  on_attach = function(client, buf)
    map_triggers(client, buf)
  end,
  handlers = {
    -- Once the server has checked a change, the blocks may have moved too.
    ['textDocument/publishDiagnostics'] = function(err, result, ctx, cfg)
      vim.lsp.diagnostic.on_publish_diagnostics(err, result, ctx, cfg)
      local client = vim.lsp.get_client_by_id(ctx.client_id)
      local bufnr = vim.uri_to_bufnr(result.uri)
      if client and vim.api.nvim_buf_is_loaded(bufnr) then
        refresh_folds(client, bufnr)
        refresh_hints(client, bufnr)
        if previews[bufnr] then refresh_preview(client, bufnr) end
      end
    end,
  },
}

vim.cmd('highlight default link LspReferenceText Visual')
vim.cmd('highlight default link nestasmMarker Operator')
vim.cmd('highlight default link nestasmStatement Conditional')
vim.cmd('highlight default link NestasmHint Comment')

-- NASM's own colours, and the markers and statement words over them. Run after Vim's own
-- handler of the Syntax event, which clears what came before it.
local function syntax()
  vim.cmd('runtime! syntax/nasm.vim')
  vim.cmd([[syntax match nestasmMarker /^[ &]\+/ containedin=ALL]])
  vim.cmd([[syntax match nestasmStatement /\c^[ &]*[\t\v\f\r ]*\zs\(if\|elif\|else\|while\|end\)\ze\([ \t]\|$\)/ containedin=ALL]])
  vim.b.current_syntax = 'nestasm'
end

local client_id
vim.api.nvim_create_autocmd('FileType', {
  pattern = 'nestasm',
  callback = function(args)
    vim.opt_local.foldmethod = 'expr'
    vim.opt_local.foldexpr = 'v:lua.nestasm_fold(v:lnum)'
    vim.opt_local.foldlevel = 99
    vim.opt_local.commentstring = '; %s'
    vim.api.nvim_create_autocmd('Syntax', { buffer = args.buf, callback = syntax })
    vim.opt_local.autoindent = false
    local function map(keys, fn) vim.keymap.set('n', keys, fn, { buffer = args.buf }) end
    map('K', vim.lsp.buf.hover)                 -- the translation, and the blocks around
    map('gd', vim.lsp.buf.definition)           -- to the if or while of an end, elif or else
    -- <leader> is the key set by vim.g.mapleader, a backslash unless you set it: \a, \o.
    map('<leader>a', vim.lsp.buf.code_action)   -- a quick fix
    map('<leader>o', vim.lsp.buf.document_symbol)
    map('<leader>t', _G.nestasm_translation)    -- :NestasmTranslation, the flat text to the side
    -- The line, or the lines selected, one marker more or less (Vim's own >> and << indent).
    local here = { buffer = args.buf }
    vim.keymap.set({ 'n', 'x' }, '<leader>]', shift_keys('refactor.rewrite.deeper'), here)
    vim.keymap.set({ 'n', 'x' }, '<leader>[', shift_keys('refactor.rewrite.shallower'), here)
    -- The statements of the chain under the cursor light up while it rests.
    vim.api.nvim_create_autocmd('CursorHold', { buffer = args.buf, callback = vim.lsp.buf.document_highlight })
    vim.api.nvim_create_autocmd('CursorMoved', { buffer = args.buf, callback = vim.lsp.buf.clear_references })
    vim.api.nvim_create_autocmd('CursorMoved', { buffer = args.buf, callback = function() show_lines(args.buf) end })
    if vim.lsp.start then
      vim.lsp.start(config)
    else
      if not client_id or not vim.lsp.get_client_by_id(client_id) then
        client_id = vim.lsp.start_client(config)
      end
      vim.lsp.buf_attach_client(args.buf, client_id)
    end
  end,
})
