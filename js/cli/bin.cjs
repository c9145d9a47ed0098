#!/usr/bin/env node
// npx @PROGRAM@: the @PROGRAM@ program itself, built for WebAssembly, on Node's file system. It
// takes the process's arguments, standard streams and environment, and ends the process with its
// exit status. The package is assembled with one copy of this file a program, each named by the
// package's "bin" alone: no bundler meets them.
'use strict';

// V8 runs WebAssembly first as its baseline compiler makes it, and a function moves to optimized
// code only when called again; a conversion is one long call, so it would run baseline code
// throughout, at half the speed. This process compiles the program optimized from the start.
require('node:v8').setFlagsFromString('--no-liftoff');
require('../@PROGRAM@.cjs');
