#!/usr/bin/env node
// npx kessa2json: the kessa2json program itself, built for WebAssembly, on Node's file system. It
// takes the process's arguments, standard streams and environment, and ends the process with its
// exit status. Only the package's "bin" names this file: no bundler meets it.
'use strict';

require('../kessa2json.cjs');
