// Puts together the npm package and the page from their sources and the built module:
//
//   node assemble.mjs KESSA_WASM VERSION PACKAGE_DIR PAGE_DIR PROGRAM_JS...
//
// Each PROGRAM_JS (NAME.js) is a program built for Node, beside its NAME.wasm: the package's bins.
// The package's CommonJS core, kessa.cjs, is kessa.mjs with "export" taken off each declaration
// and the exported names gathered into module.exports; the page gets the package's browser files
// in kessa/, its script and editor bundled into page.js by esbuild (web/'s npm packages), and a
// service worker that keeps this version's files for offline use.

import { createHash } from 'node:crypto';
import { copyFileSync, existsSync, mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { basename, dirname, join, relative, sep } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const [wasm, version, packageDir, pageDir, ...programs] = process.argv.slice(2);
if (programs.length === 0) {
  console.error('usage: node assemble.mjs KESSA_WASM VERSION PACKAGE_DIR PAGE_DIR PROGRAM_JS...');
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
// The programs: CommonJS, as emscripten writes them, in a package of modules; each with its bin.
const bins = {};
mkdirSync(join(packageDir, 'bin'));
const binSource = readFileSync(join(here, 'cli', 'bin.cjs'), 'utf8');
for (const program of programs) {
  const name = basename(program, '.js');
  copyFileSync(program, join(packageDir, `${name}.cjs`));
  copyFileSync(program.replace(/\.js$/, '.wasm'), join(packageDir, `${name}.wasm`));
  bins[name] = `bin/${name}.cjs`;
  writeFileSync(join(packageDir, bins[name]), binSource.replaceAll('@PROGRAM@', name), { mode: 0o755 });
}

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
manifest.bin = bins;
manifest.files = [...manifest.files, ...Object.entries(bins).flatMap(([name, bin]) =>
  [bin, `${name}.cjs`, `${name}.wasm`])].sort();
writeFileSync(join(packageDir, 'package.json'), `${JSON.stringify(manifest, null, 2)}\n`);

// ---- the page ----
// The editor comes from web/'s npm packages, bundled with the page's script into one file.
const bundler = join(web, 'node_modules', 'esbuild', 'lib', 'main.js');
if (!existsSync(bundler)) {
  console.error(`assemble.mjs: the page's npm packages are missing: run "npm ci" in ${web} ` +
    '(scripts/test-js.sh and scripts/release.sh do)');
  process.exit(1);
}
fresh(pageDir);
mkdirSync(join(pageDir, 'kessa'));
const esbuild = await import(pathToFileURL(bundler).href);
const { metafile } = await (esbuild.build ?? esbuild.default.build)({
  entryPoints: [join(web, 'app.mjs')],
  outfile: join(pageDir, 'page.js'),
  bundle: true,
  format: 'esm',
  minify: true,
  target: 'es2022',
  legalComments: 'eof',
  logLevel: 'warning',
  metafile: true,
});
// The licences of the packages bundled, which ask to go with their code.
const modules = join(web, 'node_modules');
const bundled = new Set(Object.keys(metafile.inputs).map((input) => join(process.cwd(), input))
  .filter((path) => path.startsWith(modules + sep))
  .map((path) => {
    const parts = relative(modules, path).split(sep);
    return parts.slice(0, parts[0].startsWith('@') ? 2 : 1).join('/');
  }));
const notices = [...bundled].sort().map((name) => {
  const dir = join(modules, name);
  const licence = readdirSync(dir).find((file) => /^licen[cs]e/i.test(file));
  if (!licence) throw new Error(`assemble.mjs: ${name} is bundled into the page but has no licence file`);
  return `${name}\n\n${readFileSync(join(dir, licence), 'utf8').trim()}\n`;
});
writeFileSync(join(pageDir, 'licences.txt'),
  `The page's script bundles these packages, under these licences.\n\n${notices.join('\n')}`);
// The page as built: the notice that it needs building goes, what needs the build shows.
let page = readFileSync(join(web, 'index.html'), 'utf8');
const unbuilt = /\n *<!-- unbuilt -->[\s\S]*?<!-- \/unbuilt -->/;
if (!unbuilt.test(page) || !page.includes(' data-built hidden')) {
  throw new Error('web/index.html: no <!-- unbuilt --> notice or no element marked "data-built hidden"');
}
page = page.replace(unbuilt, '').replaceAll(' data-built hidden', '').replaceAll('@VERSION@', version);
writeFileSync(join(pageDir, 'index.html'), page);
for (const file of ['style.css', 'worker.mjs']) copyFileSync(join(web, file), join(pageDir, file));
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
