-- Stand-ins for what Neovim 0.8 (vim.lsp.start, vim.lsp.buf.format, vim.fs.dirname, filetype.lua by
-- default) and 0.11
-- (vim.lsp.config, vim.lsp.enable) add, as their manuals describe them, over the functions of
-- an older Neovim, so that doc/editors.md's lines for those versions run in Debian's 0.7.2. Each
-- checks what the lines give it as the real one needs it. Loaded before those lines; a Neovim
-- that has a function keeps its own.
local function check(holds, problem)
  if not holds then error('doc/editors.md lines: ' .. problem, 3) end
end

if vim.fn.has('nvim-0.8') == 0 then
  vim.g.do_filetype_lua = 1  -- the default from 0.8 on: vim.filetype.add takes effect
end

vim.fs = vim.fs or {}
vim.fs.dirname = vim.fs.dirname or function(path)
  check(type(path) == 'string', 'vim.fs.dirname takes a path')
  return vim.fn.fnamemodify(path, ':h')
end

local clients = vim.lsp.get_clients or vim.lsp.get_active_clients

-- Starts the client of `config`, or finds the one with its name and folder, and attaches the
-- buffer to it.
vim.lsp.start = vim.lsp.start or function(config, opts)
  check(type(config.name) == 'string', 'vim.lsp.start needs a name')
  check(type(config.cmd) == 'table' and vim.fn.executable(config.cmd[1]) == 1,
    'vim.lsp.start needs a cmd whose program is on the PATH')
  check(config.root_dir == nil or (vim.fn.isdirectory(config.root_dir) == 1
      and config.root_dir:sub(1, 1) == '/'), 'root_dir must be an absolute folder')
  local buffer = (opts and opts.bufnr) or vim.api.nvim_get_current_buf()
  for _, client in pairs(clients()) do
    if client.name == config.name and client.config.root_dir == config.root_dir then
      vim.lsp.buf_attach_client(buffer, client.id)
      return client.id
    end
  end
  local id = vim.lsp.start_client(config)
  if id then vim.lsp.buf_attach_client(buffer, id) end
  return id
end

-- Formats a buffer at once, as formatting_sync did before it: the current one, which a
-- BufWritePre autocommand's buffer is.
vim.lsp.buf.format = vim.lsp.buf.format or function(options)
  options = options or {}
  check(options.async ~= true, 'the stand-in of vim.lsp.buf.format does not format asynchronously')
  check(options.bufnr == nil or options.bufnr == 0 or options.bufnr == vim.api.nvim_get_current_buf(),
    'vim.lsp.buf.format of a buffer other than the current one')
  vim.lsp.buf.formatting_sync(nil, options.timeout_ms)
end

-- vim.lsp.config(name, config) merges a configuration; vim.lsp.enable(name) starts it for the
-- buffers of its filetypes, in the folder of the nearest root marker, or of none.
if not vim.lsp.config then
  local configs = {}
  vim.lsp.config = function(name, config)
    check(type(name) == 'string' and type(config) == 'table', 'vim.lsp.config(name, config)')
    configs[name] = vim.tbl_deep_extend('force', configs[name] or {}, config)
  end
  vim.lsp.enable = function(name)
    local config = configs[name]
    check(config ~= nil, 'vim.lsp.enable of a name that vim.lsp.config did not give')
    check(type(config.filetypes) == 'table', 'the configuration needs filetypes')
    vim.api.nvim_create_autocmd('FileType', {
      pattern = config.filetypes,
      callback = function(args)
        local start = vim.tbl_extend('force', { name = name }, config)
        start.filetypes, start.root_markers = nil, nil
        local path = vim.api.nvim_buf_get_name(args.buf)
        local folder = vim.fn.fnamemodify(path, ':p:h')
        for _, marker in ipairs(config.root_markers or {}) do
          local found = vim.fn.finddir(marker, folder .. ';')
          if found ~= '' then
            start.root_dir = vim.fn.fnamemodify(found, ':p:h:h')  -- the marker's own folder
            break
          end
          found = vim.fn.findfile(marker, folder .. ';')
          if found ~= '' then
            start.root_dir = vim.fn.fnamemodify(found, ':p:h')
            break
          end
        end
        vim.lsp.start(start, { bufnr = args.buf })
      end,
    })
  end
end
