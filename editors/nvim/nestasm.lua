-- nestasm in Neovim 0.7 or later: nestasm-lsp for buffers of filetype nestasm, NASM's colours,
-- the markers written on Enter, and the folds of their blocks. Source it from init.lua (dofile),
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
    p = { buf = vim.api.nvim_create_buf(false, true), ns = vim.api.nvim_create_namespace('') }
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

local config = {
  name = 'nestasm',
  cmd = { 'nestasm-lsp' },
  handlers = {
    -- Once the server has checked a change, the blocks may have moved too.
    ['textDocument/publishDiagnostics'] = function(err, result, ctx, cfg)
      vim.lsp.diagnostic.on_publish_diagnostics(err, result, ctx, cfg)
      local client = vim.lsp.get_client_by_id(ctx.client_id)
      local bufnr = vim.uri_to_bufnr(result.uri)
      if client and vim.api.nvim_buf_is_loaded(bufnr) then
        refresh_folds(client, bufnr)
        if previews[bufnr] then refresh_preview(client, bufnr) end
      end
    end,
  },
}

vim.cmd('highlight default link LspReferenceText Visual')
vim.cmd('highlight default link nestasmMarker Operator')
vim.cmd('highlight default link nestasmStatement Conditional')

-- A line's depth is the number of & before its text; the statement word follows them.
local function parse(line)
  local prefix = line:match('^[ &]*')
  local _, depth = prefix:gsub('&', '')
  local word = line:sub(#prefix + 1):gsub('^[\t\v\f\r ]+', ''):match('^[^ \t]*'):lower()
  return depth, word, prefix
end
local opens = { ['if'] = true, elif = true, ['else'] = true, ['while'] = true }

-- The depth of the innermost block still open above line row, read upwards: a line closes
-- the blocks deeper than itself, an end also the one at its own depth.
local function open_depth(buf, row)
  local limit = math.huge
  for r = row - 1, 1, -1 do
    local depth, word = parse(vim.api.nvim_buf_get_lines(buf, r - 1, r, true)[1])
    if opens[word] and depth < limit then return depth end
    limit = math.min(limit, word == 'end' and depth or depth + 1)
    if limit == 0 then return nil end
  end
end

-- Enter: an end, elif or else typed among the lines of the body goes to its block's own depth,
-- and the new line starts with the markers of the depth it is in.
local function enter(below_only)
  local buf, win = vim.api.nvim_get_current_buf(), vim.api.nvim_get_current_win()
  local row, col = unpack(vim.api.nvim_win_get_cursor(win))
  local line = vim.api.nvim_buf_get_lines(buf, row - 1, row, true)[1]
  if below_only then col = #line end
  local before, after = line:sub(1, col), below_only and '' or line:sub(col + 1)
  local depth, word, prefix = parse(before)
  if word == 'end' or word == 'elif' or word == 'else' then
    local own = open_depth(buf, row)
    if own and own < depth then
      before, depth = string.rep('& ', own) .. before:sub(#prefix + 1), own
    end
  end
  local markers = string.rep('& ', opens[word] and depth + 1 or depth)
  vim.api.nvim_buf_set_lines(buf, row - 1, row, true, { before, markers .. after })
  vim.api.nvim_win_set_cursor(win, { row + 1, #markers })
end
function _G.nestasm_enter() enter(false) end

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
    -- Enter still accepts a completion from the popup menu.
    vim.keymap.set('i', '<CR>', function()
      return vim.fn.pumvisible() == 1 and '<C-y>' or '<Cmd>lua _G.nestasm_enter()<CR>'
    end, { buffer = args.buf, expr = true })
    vim.keymap.set('n', 'o', function() enter(true) vim.cmd('startinsert!') end, { buffer = args.buf })
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
