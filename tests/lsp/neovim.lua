-- Neovim's own LSP client opens a kessa file with kessa-language-server configured, and writes
-- what it shows to KESSA_NVIM_OUT: each diagnostic as Neovim holds it (byte columns, from 0,
-- and the start of its message), then the hover text of a value. Run headless by neovim-test.sh.
local server = os.getenv('KESSA_LANGUAGE_SERVER')
local file = os.getenv('KESSA_NVIM_FILE')
local out = assert(io.open(os.getenv('KESSA_NVIM_OUT'), 'w'))

local function finish(status)
  out:close()
  vim.cmd((status == 0 and 'qall!') or ('cquit ' .. status))
end

vim.cmd('edit ' .. vim.fn.fnameescape(file))
local client = vim.lsp.start_client({
  name = 'kessa',
  cmd = { server },
  root_dir = vim.fn.fnamemodify(file, ':h'),
})
if not client or not vim.lsp.buf_attach_client(0, client) then
  out:write('the server did not start\n')
  return finish(1)
end

local shown = vim.wait(20000, function() return #vim.diagnostic.get(0) > 0 end, 20)
if not shown then
  out:write('no diagnostics\n')
  return finish(1)
end
local severities = { 'error', 'warning', 'info', 'hint' }
for _, d in ipairs(vim.diagnostic.get(0)) do
  out:write(string.format('%d:%d-%d:%d %s %s [%s] %s\n', d.lnum, d.col, d.end_lnum, d.end_col,
    d.source, severities[d.severity], tostring(d.code), d.message:sub(1, 30)))
end

local replies = vim.lsp.buf_request_sync(0, 'textDocument/hover', {
  textDocument = vim.lsp.util.make_text_document_params(),
  position = { line = 1, character = 6 },
}, 20000)
for _, reply in pairs(replies or {}) do
  if reply.result then out:write('hover: ' .. reply.result.contents.value .. '\n') end
end

vim.lsp.stop_client(client)
finish(0)
