-- nestasm in Neovim 0.7 or later: nestasm-lsp for buffers of filetype nestasm, and the folds of
-- their blocks. Source it from init.lua (dofile), or copy it there.

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

local config = {
  name = 'nestasm',
  cmd = { 'nestasm-lsp' },
  handlers = {
    -- Once the server has checked a change, the blocks may have moved too.
    ['textDocument/publishDiagnostics'] = function(err, result, ctx, cfg)
      vim.lsp.diagnostic.on_publish_diagnostics(err, result, ctx, cfg)
      local client = vim.lsp.get_client_by_id(ctx.client_id)
      local bufnr = vim.uri_to_bufnr(result.uri)
      if client and vim.api.nvim_buf_is_loaded(bufnr) then refresh_folds(client, bufnr) end
    end,
  },
}

vim.cmd('highlight default link LspReferenceText Visual')

local client_id
vim.api.nvim_create_autocmd('FileType', {
  pattern = 'nestasm',
  callback = function(args)
    vim.opt_local.foldmethod = 'expr'
    vim.opt_local.foldexpr = 'v:lua.nestasm_fold(v:lnum)'
    vim.opt_local.foldlevel = 99
    vim.opt_local.commentstring = '; %s'
    local function map(keys, fn) vim.keymap.set('n', keys, fn, { buffer = args.buf }) end
    map('K', vim.lsp.buf.hover)                 -- the translation, and the blocks around
    map('gd', vim.lsp.buf.definition)           -- to the if or while of an end, elif or else
    map('<leader>a', vim.lsp.buf.code_action)   -- a quick fix
    map('<leader>o', vim.lsp.buf.document_symbol)
    -- The statements of the chain under the cursor light up while it rests.
    vim.api.nvim_create_autocmd('CursorHold', { buffer = args.buf, callback = vim.lsp.buf.document_highlight })
    vim.api.nvim_create_autocmd('CursorMoved', { buffer = args.buf, callback = vim.lsp.buf.clear_references })
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
