-- Neovim's own LSP client, configured by the README's lines (the init file), opens a kessa file
-- and writes what it shows to KESSA_NVIM_OUT: each diagnostic as Neovim holds it (byte columns,
-- from 0, and the start of its message), then the hover text of a value; then a second file of
-- the folder, which must come to the same client. Run headless by client-test.sh.
local out = assert(io.open(os.getenv('KESSA_NVIM_OUT'), 'w'))
local clients = vim.lsp.get_clients or vim.lsp.get_active_clients

local function finish(status)
  for _, client in pairs(clients()) do client.stop() end
  out:close()
  vim.cmd((status == 0 and 'qall!') or ('cquit ' .. status))
end

-- Opened by a name relative to the folder, as a user types it.
local function open(name)
  vim.cmd('edit ' .. vim.fn.fnameescape(name))
  if vim.bo.filetype ~= 'kessa' then
    out:write(name .. ': filetype "' .. vim.bo.filetype .. '", not kessa\n')
    return false
  end
  if not vim.wait(60000, function() return #vim.diagnostic.get(0) > 0 end, 20) then
    out:write(name .. ': no diagnostics; clients: ' .. #clients() .. '\n')
    return false
  end
  return true
end

if not open(os.getenv('KESSA_NVIM_FILE')) then return finish(1) end
local severities = { 'error', 'warning', 'info', 'hint' }
for _, d in ipairs(vim.diagnostic.get(0)) do
  out:write(string.format('%d:%d-%d:%d %s %s [%s] %s\n', d.lnum, d.col, d.end_lnum, d.end_col,
    d.source, severities[d.severity], tostring(d.code), d.message:sub(1, 30)))
end

local replies = vim.lsp.buf_request_sync(0, 'textDocument/hover', {
  textDocument = vim.lsp.util.make_text_document_params(),
  position = { line = 1, character = 6 },
}, 60000)
for _, reply in pairs(replies or {}) do
  if reply.result then out:write('hover: ' .. reply.result.contents.value .. '\n') end
end

if not open(os.getenv('KESSA_NVIM_OTHER')) then return finish(1) end
local names = {}
for _, client in pairs(clients()) do table.insert(names, client.name) end
out:write('clients: ' .. table.concat(names, ', ') .. '\n')
finish(0)
