// The package as CommonJS resolves it.
module.exports = require('kessa2json');
