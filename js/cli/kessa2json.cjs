#!/usr/bin/env node
// npx kessa2json: the kessa2json program itself, built for WebAssembly, on Node's file system. It
// takes the process's arguments, standard streams and environment, and ends the process with its
// exit status. Only the package's "bin" names this file: no bundler meets it.
'use strict';

// V8 runs WebAssembly first as its baseline compiler makes it, and a function moves to optimized
// code only when called again; a conversion is one long call, so it would run baseline code
// throughout, at half the speed. This process compiles the program optimized from the start.
require('node:v8').setFlagsFromString('--no-liftoff');
require('../kessa2json.cjs');
