// System calls of the program for Node (npx kessa2json) that emscripten's NODERAWFS answers
// wrongly, answered by Node itself: fstat of a descriptor asks the descriptor, not its path
// (standard input has none), and access asks the system, not the mode bits, so that a read-only
// output is refused as the native program refuses it.

mergeInto(LibraryManager.library, {
  $nodeCall__deps: ['$ERRNO_CODES'],
  // Runs `call`, a call of Node's fs; a failure becomes the negative errno a system call returns.
  $nodeCall: function(call) {
    try {
      return call();
    } catch (e) {
      if (!e.code) throw e;
      return -(ERRNO_CODES[e.code] || {{{ cDefine('EIO') }}});
    }
  },

  __syscall_fstat64__deps: ['$SYSCALLS', '$FS', '$nodeCall'],
  __syscall_fstat64: function(fd, buf) {
    var stream = FS.getStream(fd);
    if (!stream) return -{{{ cDefine('EBADF') }}};
    if (stream.nfd === undefined) return SYSCALLS.doStat(FS.stat, stream.path, buf);
    return nodeCall(function() {
      return SYSCALLS.doStat(function() { return fs.fstatSync(stream.nfd); }, '', buf);
    });
  },

  __syscall_faccessat__deps: ['$SYSCALLS', '$nodeCall'],
  __syscall_faccessat: function(dirfd, path, amode, flags) {
    path = SYSCALLS.calculateAt(dirfd, SYSCALLS.getStr(path));
    return nodeCall(function() {
      fs.accessSync(path, amode);
      return 0;
    });
  },
});
