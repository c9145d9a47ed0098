// Set up before the program for Node (npx kessa2json) starts: the process's environment (the
// cache of schemas by URL lies where $XDG_CACHE_HOME or $HOME say), standard streams that behave
// as a C program's, and, on Windows, paths with a drive letter taken as they are.

if (process.platform === 'win32') {
  // The program is built for POSIX paths: its arguments' backslashes become slashes (no Windows
  // name holds one).
  Module['arguments'] = process.argv.slice(2).map(function(arg) {
    return arg.replace(/\\/g, '/');
  });
}

Module['preRun'] = [function() {
  // emscripten's own environment has made-up values for these; the process's replace them.
  ['USER', 'LOGNAME', 'PATH', 'PWD', 'HOME', 'LANG', '_'].forEach(function(name) {
    ENV[name] = undefined;
  });
  Object.assign(ENV, process.env);

  // A descriptor that another process made non-blocking says EAGAIN where a C program's read or
  // write would wait: it waits here too. On Windows, the end of a pipe comes as an EOF error
  // rather than as nothing read. A pipe whose reader is gone (`| head`) ends a C program through
  // SIGPIPE, silently; Node ignores that signal, so the program ends here as the shell would
  // report that, with status 141.
  var pause = new Int32Array(new SharedArrayBuffer(4));
  ['read', 'write'].forEach(function(name) {
    var call = NODERAWFS[name];
    FS[name] = _wrapNodeError(function() {
      for (;;) {
        try {
          return call.apply(this, arguments);
        } catch (e) {
          if (e.code === 'EAGAIN') {
            Atomics.wait(pause, 0, 0, 5);
          } else if (e.code === 'EOF' && name === 'read') {
            return 0;
          } else if (e.code === 'EPIPE' && name === 'write') {
            process.exit(128 + 13);
          } else {
            throw e;
          }
        }
      }
    });
  });

  if (process.platform === 'win32') {
    // A path from a drive's root is absolute, as a UNC path is.
    var calculateAt = SYSCALLS.calculateAt;
    SYSCALLS.calculateAt = function(dirfd, path, allowEmpty) {
      return /^[A-Za-z]:\//.test(path) ? path : calculateAt(dirfd, path, allowEmpty);
    };
    if (!ENV['XDG_CACHE_HOME'] && ENV['LOCALAPPDATA']) {
      ENV['XDG_CACHE_HOME'] = ENV['LOCALAPPDATA'].replace(/\\/g, '/');
    }
  }
}];
