// Puts together the npm package and the page from their sources and the built module:
//
//   node assemble.mjs KESSA_WASM VERSION PACKAGE_DIR PAGE_DIR
//
// The package's CommonJS core, kessa.cjs, is kessa.mjs with "export" taken off each declaration
// and the exported names gathered into module.exports; the page gets the package's browser files
// in kessa/ and a service worker that keeps this version's files for offline use.

import { createHash } from 'node:crypto';
import { copyFileSync, mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [wasm, version, packageDir, pageDir] = process.argv.slice(2);
if (!pageDir) {
  console.error('usage: node assemble.mjs KESSA_WASM VERSION PACKAGE_DIR PAGE_DIR');
  process.exit(1);
}
const here = dirname(fileURLToPath(import.meta.url));
const src = join(here, 'src');
const web = join(here, '..', 'web');

function fresh(dir) {
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(dir, { recursive: true });
}

// ---- the npm package ----
fresh(packageDir);
for (const file of ['kessa.mjs', 'node.mjs', 'node.cjs', 'browser.mjs', 'kessa.d.ts']) {
  copyFileSync(join(src, file), join(packageDir, file));
}
copyFileSync(join(src, 'kessa.d.ts'), join(packageDir, 'kessa.d.cts'));
// The entry that carries the module, for bundlers that would leave kessa.wasm behind.
writeFileSync(join(packageDir, 'inline.mjs'), readFileSync(join(src, 'inline.mjs'), 'utf8')
  .replace('@KESSA_WASM_BASE64@', readFileSync(wasm).toString('base64')));
copyFileSync(wasm, join(packageDir, 'kessa.wasm'));
copyFileSync(join(here, '..', 'LICENSE'), join(packageDir, 'LICENSE'));
copyFileSync(join(here, 'README.md'), join(packageDir, 'README.md'));

const names = [];
const core = readFileSync(join(src, 'kessa.mjs'), 'utf8').replace(
  /^export (?:async )?(?:function|class|const|let) ([A-Za-z_$][\w$]*)/gm,
  (declaration, name) => {
    names.push(name);
    return declaration.slice('export '.length);
  },
);
if (/^\s*(export|import)\b/m.test(core)) {
  throw new Error('kessa.mjs: only "export" declarations can be made CommonJS');
}
writeFileSync(join(packageDir, 'kessa.cjs'),
  `'use strict';\n\n${core}\nmodule.exports = { ${names.join(', ')} };\n`);

const manifest = JSON.parse(readFileSync(join(here, 'package.template.json'), 'utf8'));
manifest.version = version;
writeFileSync(join(packageDir, 'package.json'), `${JSON.stringify(manifest, null, 2)}\n`);

// ---- the page ----
fresh(pageDir);
mkdirSync(join(pageDir, 'kessa'));
for (const file of readdirSync(web)) {
  if (file === 'index.html') {
    const page = readFileSync(join(web, file), 'utf8').replaceAll('@VERSION@', version);
    writeFileSync(join(pageDir, file), page);
  } else {
    copyFileSync(join(web, file), join(pageDir, file));
  }
}
for (const file of ['kessa.mjs', 'browser.mjs', 'kessa.wasm']) {
  copyFileSync(join(packageDir, file), join(pageDir, 'kessa', file));
}
// The worker's cache is named after the files' contents, so that a new version replaces it.
const files = [
  ...readdirSync(pageDir).filter((file) => file.includes('.') && file !== 'sw.js'),
  ...readdirSync(join(pageDir, 'kessa')).map((file) => `kessa/${file}`),
].sort();
const hash = createHash('sha256');
for (const file of files) hash.update(file).update(readFileSync(join(pageDir, file)));
const worker = readFileSync(join(web, 'sw.js'), 'utf8')
  .replace('@CACHE@', `kessa2json-${version}-${hash.digest('hex').slice(0, 12)}`)
  .replace('@FILES@', JSON.stringify(['./', ...files]));
writeFileSync(join(pageDir, 'sw.js'), worker);
