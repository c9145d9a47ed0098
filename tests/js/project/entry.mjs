// The package as an ES module resolves it.
export * from 'kessa2json';
