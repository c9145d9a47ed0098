-- Neovim's own LSP client, configured by doc/editors.md's lines (the init file), opens a kessa file
-- and writes what it shows to KESSA_NVIM_OUT: each diagnostic as Neovim holds it (byte columns,
-- from 0, and the start of its message), then the hover text of a value; then a second file of
-- the folder, which must come to the same client; then a third, which doc/editors.md's settings
-- check against a schema; then a fourth, saved, which doc/editors.md's lines format as it is saved
-- (client-test.sh compares the file with its layout). Run headless by client-test.sh.
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

-- A file that doc/editors.md's settings check against a schema: its diagnostics, the keys and the
-- values completion offers, and a key's hover.
if not open(os.getenv('KESSA_NVIM_SERVICE')) then return finish(1) end
if not vim.wait(60000, function()
  for _, d in ipairs(vim.diagnostic.get(0)) do
    if tostring(d.code):match('^schema') then return true end
  end
  return false
end, 20) then
  out:write('no diagnostics from the schema\n')
  return finish(1)
end
local function request(method, line, character)
  local replies = vim.lsp.buf_request_sync(0, method, {
    textDocument = vim.lsp.util.make_text_document_params(),
    position = { line = line, character = character },
  }, 60000)
  for _, reply in pairs(replies or {}) do
    if reply.result then return reply.result end
  end
  return {}
end
for _, d in ipairs(vim.diagnostic.get(0)) do
  out:write(string.format('%d:%d [%s] %s\n', d.lnum, d.col, tostring(d.code), d.message:sub(1, 40)))
end
for _, at in ipairs({ { 3, 0 }, { 2, 6 } }) do
  local labels = {}
  for _, item in ipairs(request('textDocument/completion', at[1], at[2]).items or {}) do
    table.insert(labels, item.label .. ' (' .. (item.detail or '') .. ')')
  end
  out:write(string.format('completion at %d:%d: %s\n', at[1], at[2], table.concat(labels, ', ')))
end
local hover = request('textDocument/hover', 1, 1).contents or {}
out:write('hover: ' .. (hover.value or ''):gsub('%(file://[^)]*%)', '(...)'):gsub('\n', '|') .. '\n')

-- A file out of the layout, saved.
if not open(os.getenv('KESSA_NVIM_UNFORMATTED')) then return finish(1) end
vim.cmd('silent write')
out:write('saved, lines: ' .. vim.api.nvim_buf_line_count(0) .. '\n')
finish(0)
